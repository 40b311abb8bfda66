#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>
#include <set>

#include "Errors.h"
#include "Random.h"
#include "Statistics.h"

namespace qv {
namespace {

TEST(DescriptiveStatistics, PlainSeries) {
  TMoment m;
  DescriptiveStatistics({1, 2, 3}, {}, m);
  EXPECT_EQ(m.Count, 3);
  EXPECT_DOUBLE_EQ(m.Mean, 2);
  EXPECT_DOUBLE_EQ(m.Variance, 1);
  EXPECT_DOUBLE_EQ(m.SD, 1);
  EXPECT_DOUBLE_EQ(m.ThirdMoment, 0);
  EXPECT_EQ(m.Min, 1);
  EXPECT_EQ(m.Max, 3);

  DescriptiveStatistics({6, 1, 2}, {}, m);  // deviations -2, -1, 3 about 3
  EXPECT_DOUBLE_EQ(m.Variance, 7);
  EXPECT_DOUBLE_EQ(m.ThirdMoment, 27);
  EXPECT_EQ(m.Min, 1);
  EXPECT_EQ(m.Max, 6);

  DescriptiveStatistics({5, 5}, {}, m);
  EXPECT_EQ(m.SD, 0);
  EXPECT_EQ(m.ThirdMoment, 0);
}

// The mean is the extended sum of the values, last first, divided by their count, whichever way
// the sum is formed: sums that stay exact, sums of widely spread magnitudes, cancellation,
// subnormals, zeros of both signs and infinities.
TEST(DescriptiveStatistics, MeanIsTheExtendedSumLastFirst) {
  Randomize(31);
  std::vector<TSglArray> Sets;
  TSglArray Logs, Tiny, Spread, Cancel, Subnormal, Zeros = {0.0f, -0.0f, -0.0f}, WithInf = {1, 2, INFINITY};
  for (int i = 0; i < 100000; ++i) {
    Logs.push_back(static_cast<float>(2.5 + 0.3 * GaussRandom()));
    Tiny.push_back(static_cast<float>(1e-3 * (1 + Random01()) + (i % 7 == 0 ? 3000 : 0)));
    Spread.push_back(static_cast<float>(std::pow(10.0, 30 * Random01() - 20)));
    Cancel.push_back(static_cast<float>((i % 2 ? -1 : 1) * (1e6 + i)));
    Subnormal.push_back(std::bit_cast<float>(static_cast<uint32_t>(1 + i)));
  }
  Cancel.push_back(0.5f);
  Sets = {Logs, Tiny, Spread, Cancel, Subnormal, Zeros, WithInf};
  for (size_t k = 0; k < Sets.size(); ++k) {
    SCOPED_TRACE("set " + std::to_string(k));
    Extended Sum = 0;
    for (size_t i = Sets[k].size(); i-- > 0;) Sum += Sets[k][i];
    TMoment M;
    if (!std::isfinite(Sum)) {
      EXPECT_THROW(DescriptiveStatistics(Sets[k], {}, M), EArithmetic);
      continue;
    }
    DescriptiveStatistics(Sets[k], {}, M);
    EXPECT_EQ(M.Mean, static_cast<double>(Sum / static_cast<int32_t>(Sets[k].size())));
  }
}

// The statistics of values given in pieces must be those of the whole array, bit for bit, on
// every branch of the sum (exact in double, exact in 64-bit integers, extended last first), with
// signed zeros, subnormals, huge values and cancellation, whatever the pieces.
TEST(DescriptiveStatistics, BuilderFedInPiecesMatchesTheArray) {
  Randomize(37);
  TSglArray Logs, Mixed, Huge, Cancel, Subnormal, Wide;
  for (int i = 0; i < 20000; ++i) {
    Logs.push_back(static_cast<float>(2.5 + 0.3 * GaussRandom()));
    Mixed.push_back(static_cast<float>(1e-3 * (1 + Random01()) + (i % 7 == 0 ? 3000 : 0)));
    Huge.push_back(static_cast<float>(std::pow(10.0, 30 + 8 * Random01())));
    Cancel.push_back(static_cast<float>((i % 2 ? -1 : 1) * (1e6 + i)));
    Subnormal.push_back(std::bit_cast<float>(static_cast<uint32_t>((i % 3 ? 1 : 0x80000001u) + i)));
    Wide.push_back(static_cast<float>((i % 2 ? -1 : 1) * std::pow(10.0, 60 * Random01() - 30)));
  }
  const std::vector<TSglArray> Sets = {Logs, Mixed, Huge, Cancel, Subnormal, Wide, {0.0f, -0.0f, -0.0f},
                                       {-0.0f, 0.0f, 3.0f, -0.0f}, {7.0f}, {}, {1.0f, 2.0f}, {1, 2, INFINITY}};
  const auto Same = [](const TMoment& A, const TMoment& B) {
    return std::bit_cast<uint64_t>(A.Mean) == std::bit_cast<uint64_t>(B.Mean) &&
           std::bit_cast<uint64_t>(A.SD) == std::bit_cast<uint64_t>(B.SD) &&
           std::bit_cast<uint64_t>(A.Variance) == std::bit_cast<uint64_t>(B.Variance) &&
           std::bit_cast<uint64_t>(A.ThirdMoment) == std::bit_cast<uint64_t>(B.ThirdMoment) &&
           std::bit_cast<uint32_t>(A.Max) == std::bit_cast<uint32_t>(B.Max) &&
           std::bit_cast<uint32_t>(A.Min) == std::bit_cast<uint32_t>(B.Min) && A.Count == B.Count;
  };
  for (size_t k = 0; k < Sets.size(); ++k)
    for (const size_t Piece : {size_t{1}, size_t{7}, size_t{4096}}) {
      SCOPED_TRACE("set " + std::to_string(k) + ", pieces of " + std::to_string(Piece));
      const TSglArray& V = Sets[k];
      TMoment Whole;
      bool Throws = false;
      try {
        DescriptiveStatistics(V, {}, Whole);
      } catch (const EArithmetic&) {
        Throws = true;
      }
      // Each walk runs from the last value to the first, a piece at a time.
      const auto Feed = [&](auto&& Take) {
        TSglArray Reversed(V.rbegin(), V.rend());
        for (size_t At = 0; At < Reversed.size(); At += Piece)
          Take(Reversed.data() + At, std::min(Piece, Reversed.size() - At));
      };
      TMomentBuilder B;
      Feed([&](const float* P, size_t N) { B.Add(P, N); });
      B.EndAdd();
      if (B.NeedsSum()) Feed([&](const float* P, size_t N) { B.AddToSum(P, N); });
      if (Throws) {
        EXPECT_THROW(B.StartDeviations(), EArithmetic);
        continue;
      }
      B.StartDeviations();
      if (B.NeedsDeviations()) Feed([&](const float* P, size_t N) { B.AddDeviations(P, N); });
      EXPECT_TRUE(Same(B.Result(), Whole));
    }
}

TEST(DescriptiveStatistics, FewerThanTwoValuesLeaveTheRecord) {
  TMoment m;
  m.Mean = 42;
  m.Count = 7;
  DescriptiveStatistics({5}, {}, m);
  DescriptiveStatistics({}, {}, m);
  EXPECT_EQ(m.Mean, 42);
  EXPECT_EQ(m.Count, 7);
}

TEST(DescriptiveStatistics, Weighted) {
  TMoment m;
  DescriptiveStatistics({2, 4}, {1, 3}, m);
  EXPECT_DOUBLE_EQ(m.Mean, 3.5);
  EXPECT_DOUBLE_EQ(m.Variance, 1.5);
  EXPECT_DOUBLE_EQ(m.SD, std::sqrt(1.5));

  // No weight at all: the mean is 0 and the spread fields keep what they held.
  m.Variance = 9;
  DescriptiveStatistics({2, 4}, {0, 0}, m);
  EXPECT_EQ(m.Mean, 0);
  EXPECT_EQ(m.Variance, 9);

  EXPECT_THROW(DescriptiveStatistics({1, 2, 3}, {1, 1}, m), ERangeError);
}

TEST(SemiDeviations, AboutACentreAndAboutTheMean) {
  TSkewMoment s;
  SemiDeviationsAbout({1, 3}, s, 2);
  EXPECT_EQ(s.Count, 2);
  EXPECT_DOUBLE_EQ(s.Mean, 2);
  EXPECT_DOUBLE_EQ(s.RMSDeviation, 1);
  EXPECT_DOUBLE_EQ(s.LowerSemiDeviation, 1);
  EXPECT_DOUBLE_EQ(s.UpperSemiDeviation, 1);
  EXPECT_EQ(s.CountLower, 1);
  EXPECT_EQ(s.CountUpper, 1);

  SemiDeviationsAbout({2, 2, 4}, s, 2);  // values on the centre count as lower
  EXPECT_EQ(s.CountLower, 2);
  EXPECT_EQ(s.CountUpper, 1);
  EXPECT_DOUBLE_EQ(s.LowerSemiDeviation, 0);
  EXPECT_DOUBLE_EQ(s.UpperSemiDeviation, 2);

  SemiDeviations({6, 1, 2}, s);  // mean 3
  EXPECT_DOUBLE_EQ(s.Mean, 3);
  EXPECT_DOUBLE_EQ(s.RMSDeviation, std::sqrt(14.0 / 3));
  EXPECT_DOUBLE_EQ(s.LowerSemiDeviation, std::sqrt(2.5));
  EXPECT_DOUBLE_EQ(s.UpperSemiDeviation, 3);

  s.RMSDeviation = 5;
  SemiDeviations({}, s);
  EXPECT_EQ(s.Count, 0);
  EXPECT_EQ(s.Mean, 0);
  EXPECT_EQ(s.RMSDeviation, 0);
}

// Reference values from an independent arbitrary-precision evaluation.
TEST(ChiSquareProbability, Branches) {
  EXPECT_EQ(ChiSquareProbability(5, 0), 1);
  EXPECT_EQ(ChiSquareProbability(5, -3), 1);
  EXPECT_NEAR(ChiSquareProbability(3.841, 1), 0.0500137, 1e-6);
  EXPECT_NEAR(ChiSquareProbability(15, 14), 0.3781547, 1e-6);
  EXPECT_NEAR(ChiSquareProbability(20, 20), 0.4579297, 1e-6);  // r = 0: incomplete gamma
  // Just above the mean with DF >= 15 the normal approximation answers; the exact tail is
  // 0.3405106.
  EXPECT_NEAR(ChiSquareProbability(22, 20), 0.340501, 1e-6);
  EXPECT_NEAR(ChiSquareProbability(0, 4), 1, 1e-12);
  EXPECT_LT(ChiSquareProbability(200, 3), 1e-30);
}

TEST(ChiSquareProbability, ErrorsGiveOne) {
  EXPECT_EQ(ChiSquareProbability(NAN, 5), 1);
  EXPECT_EQ(ChiSquareProbability(5, NAN), 1);
  EXPECT_EQ(ChiSquareProbability(INFINITY, 5), 1);
}

TEST(ChiSquareZ, Degenerate) {
  EXPECT_EQ(ChiSquareZ(0, 5), 0);
  EXPECT_EQ(ChiSquareZ(5, 0), 0);
  EXPECT_NEAR(ChiSquareZ(1, 5), (5 - 1 + 2.0 / 3 - 0.08) * std::sqrt(2.0 / 10), 1e-15);  // c = 0
  EXPECT_NEAR(ChiSquareZ(6, 5), (5 - 6 + 2.0 / 3 - 0.08 / 6) * std::sqrt(1.0 / 10), 1e-15);  // c = 1
}

TEST(NormalTwoTailProbability, Values) {
  EXPECT_EQ(NormalTwoTailProbability(0), 1);
  EXPECT_NEAR(NormalTwoTailProbability(1.96f), 0.0499958, 1e-6);
  EXPECT_EQ(NormalTwoTailProbability(-1.96f), NormalTwoTailProbability(1.96f));
  EXPECT_NEAR(NormalTwoTailProbability(1), 0.3173105, 1e-6);
  EXPECT_NEAR(NormalTwoTailProbability(3), 0.0026998, 1e-6);
}

// The series as it was first written, term by term: the tabled denominators and the constant
// computed once give the same doubles.
double SeriesTwoTail(float Z) {
  const Extended u = std::fabs(Extended(Z)) / std::sqrt(Extended(2));
  Extended sum = 0, power = u, factorial = 1;
  for (int i = 0;; ++i) {
    if (i > 0) {
      power = power * u;
      power = power * u;
      if (i >= 2) factorial = factorial * i;
    }
    Extended term = power / (factorial * (2 * i + 1));
    if (i % 2 == 1) term = -term;
    sum += term;
    if (1e-15L * std::fabs(sum) > std::fabs(term)) break;
  }
  const Extended p = 1 - 2 / std::sqrt(std::numbers::pi_v<Extended>) * sum;
  return p > 1 || !(p > 0) ? 0 : static_cast<double>(p);
}

TEST(NormalTwoTailProbability, SameAsTheSeriesTermByTerm) {
  Randomize(17);
  std::vector<float> Zs = {1e-30f, 1e-7f, 0.5f, 1, 4.999f, 5, 7.5f, 9.999f, 10, -10};
  for (int i = 0; i < 200000; ++i) Zs.push_back(static_cast<float>(20 * Random01() - 10));
  for (float Z : Zs) ASSERT_EQ(NormalTwoTailProbability(Z), SeriesTwoTail(Z)) << Z;
}

TEST(NormalTwoTailProbability, FarTailsEndAtZeroWithoutNaN) {
  for (float z : {12.0f, 40.0f, 1e6f, 1e30f, INFINITY, NAN}) {
    SCOPED_TRACE(z);
    const double p = NormalTwoTailProbability(z);
    EXPECT_TRUE(std::isfinite(p));
    EXPECT_GE(p, 0);
    EXPECT_LT(p, 1e-6);
  }
}

TEST(LnGamma, ValuesAndErrors) {
  EXPECT_NEAR(LnGamma(1), 0, 1e-9);
  EXPECT_NEAR(LnGamma(5), std::log(24.0), 1e-9);
  EXPECT_NEAR(LnGamma(0.5), 0.5 * std::log(M_PI), 1e-8);
  EXPECT_NEAR(LnGamma(100), 359.1342054, 1e-6);
  EXPECT_EQ(LnGamma(0), 0);
  EXPECT_EQ(LnGamma(-2.5), 0);
  EXPECT_EQ(LnGamma(1e308), 0);  // overflows a double
}

TEST(IncompleteBeta, ValuesAndEnds) {
  EXPECT_NEAR(BetaI(2.5, 3.5, 0.3), 0.2967530, 1e-6);
  EXPECT_NEAR(BetaI(2.5, 3.5, 0.8), 0.9784401, 1e-6);
  EXPECT_EQ(BetaI(2, 3, 0), 0);
  EXPECT_EQ(BetaI(2, 3, 1), 1);
  EXPECT_EQ(BetaI(2, 3, -0.1), 0);
  EXPECT_EQ(BetaI(2, 3, 1.1), 0);
}

TEST(FProbability, Values) {
  EXPECT_NEAR(FProbability(1, 10, 4.965), 0.0499924, 1e-6);
  EXPECT_NEAR(FProbability(1, 4, 36.125 / 0.875), 0.00301638, 1e-7);
  EXPECT_EQ(FProbability(1, 10, 0), 1);
  EXPECT_EQ(FProbability(0, 10, 3), 1);
  EXPECT_EQ(FProbability(2, 10, -1), 1);
  EXPECT_THROW(FProbability(1, 10, NAN), EArithmetic);
}

TEST(RankScores, MidRanksAndTolerance) {
  TSglArray s;
  RankScores({3, 1, 2}, s, 0);
  EXPECT_EQ(s, (TSglArray{2, 0, 1}));
  RankScores({1, 1, 5}, s, 0);
  EXPECT_EQ(s, (TSglArray{0.5f, 0.5f, 2}));
  RankScores({1.0f, 1.05f, 2.0f}, s, 0.1f);
  EXPECT_EQ(s, (TSglArray{0.5f, 0.5f, 2}));
  RankScores({105, 100}, s, 0.1f);
  EXPECT_EQ(s, (TSglArray{0.5f, 0.5f}));
  RankScores({105, 100}, s, 0.01f);
  EXPECT_EQ(s, (TSglArray{1, 0}));
  RankScores({0, 0.01f}, s, 0.5f);  // a zero never ties by ratio
  EXPECT_EQ(s, (TSglArray{0, 1}));
  s = {9, 9, 9};
  RankScores({4}, s, 0);
  EXPECT_EQ(s, (TSglArray{0}));
}

TEST(SpearmanCorrelation, OrderAndDegenerateInput) {
  EXPECT_FLOAT_EQ(SpearmanCorrelation({1, 2, 3, 4}, {10, 20, 25, 90}), 1);
  EXPECT_FLOAT_EQ(SpearmanCorrelation({1, 2, 3, 4}, {9, 5, 2, 1}), -1);
  EXPECT_FLOAT_EQ(SpearmanCorrelation({1, 2, 3, 4, 5}, {2, 1, 4, 3, 5}), 0.8f);
  EXPECT_EQ(SpearmanCorrelation({1, 2, 3}, {1, 2}), 0);
  EXPECT_EQ(SpearmanCorrelation({1}, {1}), 0);

  // n^3 overflows 32 bits here.
  TSglArray x(2000), y(2000);
  for (int i = 0; i < 2000; ++i) x[i] = y[i] = float(i);
  EXPECT_FLOAT_EQ(SpearmanCorrelation(x, y), 1);
}

TEST(Random, IntegersAndUnitInterval) {
  Randomize(7);
  EXPECT_EQ(RandomInt(0), 0);
  EXPECT_EQ(RandomInt(-5), 0);
  std::set<int32_t> seen;
  for (int i = 0; i < 2000; ++i) {
    const int32_t r = RandomInt(6);
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 6);
    seen.insert(r);
    const double u = Random01();
    ASSERT_GE(u, 0);
    ASSERT_LT(u, 1);
  }
  EXPECT_EQ(seen.size(), 6u);

  Randomize(99);
  const double a = Random01();
  const int32_t b = RandomInt(1000000);
  Randomize(99);
  EXPECT_EQ(Random01(), a);
  EXPECT_EQ(RandomInt(1000000), b);
}

TEST(GaussRandom, SecondDeviateOfAPairIsCachedNotDrawn) {
  Randomize(5);
  GaussRandom();
  const double next = Random01();

  Randomize(5);
  const float first = GaussRandom();
  const float second = GaussRandom();
  EXPECT_EQ(Random01(), next);
  EXPECT_NE(first, second);

  // Randomize empties the cache, so a seeded run repeats exactly.
  Randomize(5);
  EXPECT_EQ(GaussRandom(), first);
  Randomize(5);
  EXPECT_EQ(GaussRandom(), first);
  EXPECT_EQ(GaussRandom(), second);
}

TEST(GaussRandom, StandardNormalMoments) {
  Randomize(12345);
  constexpr int kPairs = 100000;
  double sum = 0, sumSquares = 0, sumProducts = 0, within1 = 0;
  for (int i = 0; i < kPairs; ++i) {
    const double a = GaussRandom(), b = GaussRandom();
    sum += a + b;
    sumSquares += a * a + b * b;
    sumProducts += a * b;
    within1 += (std::fabs(a) < 1) + (std::fabs(b) < 1);
  }
  const double n = 2.0 * kPairs;
  EXPECT_NEAR(sum / n, 0, 0.01);                 // standard error 0.0022
  EXPECT_NEAR(sumSquares / n - 0, 1, 0.015);     // standard error 0.0032
  EXPECT_NEAR(sumProducts / kPairs, 0, 0.015);   // members of a pair are uncorrelated
  EXPECT_NEAR(within1 / n, 0.6826895, 0.005);
}

TEST(SimulatedMean, Values) {
  EXPECT_EQ(SimulatedMean(0, 5, 1), 0);
  EXPECT_EQ(SimulatedMean(-3, 5, 1), 0);
  EXPECT_FLOAT_EQ(SimulatedMean(10, 2.5, 0), 2.5f);
  Randomize(3);
  EXPECT_NEAR(SimulatedMean(20000, 5, 2), 5, 0.06);  // standard error 0.014
}

}  // namespace
}  // namespace qv
