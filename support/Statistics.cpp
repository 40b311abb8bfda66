#include "Statistics.h"

#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

#include "Errors.h"
#include "FloatStores.h"
#include "GaussianDeviate.h"
#include "LinearAlgebra.h"
#include "Random.h"

namespace qv {

using fp::Div;
using fp::Double;
using fp::Finite;
using fp::Ln;
using fp::Single;
using fp::Sqrt;

namespace {

void SemiDeviationsImpl(const TSglArray& Values, TSkewMoment& Stats, const Extended* Centre) {
  const int32_t n = static_cast<int32_t>(Values.size());
  TSkewMoment s;
  s.Count = n;
  s.Mean = 0;
  for (int32_t i = n - 1; i >= 0; --i) s.Mean = Double(Extended(s.Mean) + Values[i]);
  if (n >= 1) s.Mean = Double(Extended(s.Mean) / n);
  const Extended centre = Centre ? *Centre : Extended(s.Mean);
  for (int32_t i = n - 1; i >= 0; --i) {
    const double d = Double(Values[i] - centre);
    const double q = Double(Extended(d) * d);
    s.RMSDeviation = Double(Extended(s.RMSDeviation) + q);
    if (d > 0) {
      s.UpperSemiDeviation = Double(Extended(s.UpperSemiDeviation) + q);
      ++s.CountUpper;
    } else {
      s.LowerSemiDeviation = Double(Extended(s.LowerSemiDeviation) + q);
      ++s.CountLower;
    }
  }
  auto root = [](double sum, int32_t count) { return count >= 1 ? Double(Sqrt(Extended(sum) / count)) : sum; };
  s.RMSDeviation = root(s.RMSDeviation, s.Count);
  s.UpperSemiDeviation = root(s.UpperSemiDeviation, s.CountUpper);
  s.LowerSemiDeviation = root(s.LowerSemiDeviation, s.CountLower);
  Stats = s;
}

// The sum of the values in extended precision, added last first. When every value is a whole
// multiple of the last place q of the smallest nonzero magnitude and n times the largest
// magnitude stays below 2^62 q, every partial sum is such a multiple below 2^62 q, so every
// extended addition is exact and the sum is the exact one: whole numbers (or doubles, when the
// bound is 2^52 q) then give it in any order, and faster.
Extended FloatSum(const TSglArray& Values) {
  const size_t n = Values.size();
  float Largest = 0, Smallest = std::numeric_limits<float>::infinity();
  bool Finite = true;
  for (const float V : Values) {
    const float A = std::fabs(V);
    Finite = Finite && A <= std::numeric_limits<float>::max();
    Largest = A > Largest ? A : Largest;
    if (A != 0 && A < Smallest) Smallest = A;
  }
  if (Finite && Largest == 0) return 0;
  if (Finite) {
    int Exponent = 0;
    std::frexp(Smallest, &Exponent);
    const int Shift = std::min(149, 24 - Exponent);  // q = 2^-Shift
    const Extended Bound = Extended(n) * Largest;
    if (Bound < std::ldexp(Extended(1), 52 - Shift)) {
      double Part[4] = {0, 0, 0, 0};
      size_t i = 0;
      for (; i + 4 <= n; i += 4)
        for (size_t k = 0; k < 4; ++k) Part[k] += Values[i + k];
      for (; i < n; ++i) Part[0] += Values[i];
      return Extended((Part[0] + Part[1]) + (Part[2] + Part[3]));
    }
    if (Bound < std::ldexp(Extended(1), 62 - Shift)) {
      const double Scale = std::ldexp(1.0, Shift);
      int64_t Whole = 0;
      for (const float V : Values) Whole += static_cast<int64_t>(static_cast<double>(V) * Scale);
      return std::ldexp(static_cast<Extended>(Whole), -Shift);
    }
  }
  Extended Sum = 0;
  for (size_t i = n; i-- > 0;) Sum += Values[i];
  return Sum;
}

// Variance, third moment and deviation from the sums of the squared and cubed deviations.
void FinishMoments(TMoment& s, Extended s2, Extended s3, int32_t n, bool weighted) {
  s.Variance = Double(weighted ? s2 * n / (n - 1) : s2 / (n - 1));
  if (n < 3)
    s.ThirdMoment = 0;
  else
    s.ThirdMoment = Double(weighted ? s3 * n / (n - 1) * n / (n - 2) : s3 / (n - 1) * n / (n - 2));
  s.SD = s.Variance > 0 ? Double(Sqrt(s.Variance)) : 0.0;
}

// The exact sum FloatSum finds when every value is a multiple of the last place of the smallest
// magnitude and n times the largest stays below 2^62 of those places; false elsewhere.
bool ExactFloatSum(size_t n, float Largest, float Smallest, bool Finite, const std::array<int64_t, 2 * 255>& Buckets,
                   Extended& Sum) {
  if (!Finite) return false;
  if (Largest == 0) {
    Sum = 0;
    return true;
  }
  int Exponent = 0;
  std::frexp(Smallest, &Exponent);
  const int Shift = std::min(149, 24 - Exponent);
  if (!(Extended(n) * Largest < std::ldexp(Extended(1), 62 - Shift))) return false;
  // Each value is Significand x 2^(e - 150) (2^-149 for subnormals) and a whole multiple of
  // 2^-Shift, and the magnitudes in units of 2^-Shift sum below 2^62: every term is whole.
  int64_t Whole = 0;
  for (int e = 0; e < 255; ++e) {
    const int64_t Significands = Buckets[e] + Buckets[255 + e];
    if (Significands == 0) continue;
    const int Place = (e == 0 ? -149 : e - 150) + Shift;
    Whole += Place >= 0 ? Significands * (int64_t{1} << Place) : Significands >> -Place;
  }
  Sum = std::ldexp(static_cast<Extended>(Whole), -Shift);
  return true;
}

}  // namespace

void TMomentBuilder::Add(const float* Values, size_t Count) {
  for (size_t i = 0; i < Count; ++i) {
    const float V = Values[i];
    const float A = std::fabs(V);
    FFinite = FFinite && A <= std::numeric_limits<float>::max();
    FLargest = A > FLargest ? A : FLargest;
    if (A != 0 && A < FSmallest) FSmallest = A;
    const uint32_t Bits = std::bit_cast<uint32_t>(V);
    const uint32_t Biased = (Bits >> 23) & 0xff;
    if (Biased < 255) {
      const int64_t Significand = (Bits & 0x7fffff) | (Biased ? 0x800000 : 0);
      FBuckets[(i & 1) * 255 + Biased] += (Bits >> 31) ? -Significand : Significand;
    }
  }
  if (Count > 0) FFirst = Values[Count - 1];
  FCount += static_cast<int64_t>(Count);
}

void TMomentBuilder::EndAdd() {
  FExact = FCount >= 2 && ExactFloatSum(static_cast<size_t>(FCount), FLargest, FSmallest, FFinite, FBuckets, FSum);
}

void TMomentBuilder::AddToSum(const float* Values, size_t Count) {
  Extended Sum = FSum;
  for (size_t i = 0; i < Count; ++i) Sum += Values[i];
  FSum = Sum;
}

void TMomentBuilder::StartDeviations() {
  if (FCount < 2) return;
  const int32_t n = static_cast<int32_t>(FCount);
  FMoment.Count = n;
  FMoment.Max = FMoment.Min = FFirst;
  FMoment.Mean = Double(FSum / n);
}

void TMomentBuilder::AddDeviations(const float* Values, size_t Count) {
  const Extended Mean = FMoment.Mean;
  Extended s2 = FS2, s3 = FS3;
  float Min = FMoment.Min, Max = FMoment.Max;
  for (size_t i = 0; i < Count; ++i) {
    const float value = Values[i];
    const Extended d = value - Mean;
    s2 += d * d;
    s3 += d * d * d;
    if (value < Min) Min = value;
    if (value > Max) Max = value;
  }
  FS2 = s2;
  FS3 = s3;
  FMoment.Min = Min;
  FMoment.Max = Max;
}

TMoment TMomentBuilder::Result() const {
  if (FCount < 2) return TMoment{};
  TMoment s = FMoment;
  FinishMoments(s, FS2, FS3, static_cast<int32_t>(FCount), false);
  return s;
}

void DescriptiveStatistics(const TSglArray& Values, const TIntArray& Weights, TMoment& Stats) {
  const int32_t n = static_cast<int32_t>(Values.size());
  if (n < 2) return;
  const bool weighted = !Weights.empty();
  if (weighted && Weights.size() < Values.size()) throw RangeCheckError();

  TMoment s = Stats;
  s.Count = n;
  s.Max = s.Min = Values[0];
  s.Mean = 0;
  int64_t totalWeight = 0;
  if (!weighted) {
    s.Mean = Double(FloatSum(Values) / n);
  } else {
    for (int32_t i = n - 1; i >= 0; --i) {
      s.Mean = Double(s.Mean + Extended(Weights[i]) * Values[i]);
      totalWeight += Weights[i];
    }
    if (totalWeight < 1) {
      s.Mean = 0;
      Stats = s;
      return;
    }
    s.Mean = Double(Extended(s.Mean) / totalWeight);
  }

  Extended s2 = 0, s3 = 0;
  for (int32_t i = n - 1; i >= 0; --i) {
    const float value = Values[i];
    const Extended d = value - Extended(s.Mean);
    if (weighted) {
      const Extended share = Extended(Weights[i]) / totalWeight;
      s2 += d * d * share;
      s3 += d * d * d * share;
    } else {
      s2 += d * d;
      s3 += d * d * d;
    }
    if (value < s.Min) s.Min = value;
    if (value > s.Max) s.Max = value;
  }
  FinishMoments(s, s2, s3, n, weighted);
  Stats = s;
}

void SemiDeviations(const TSglArray& Values, TSkewMoment& Stats) { SemiDeviationsImpl(Values, Stats, nullptr); }

void SemiDeviationsAbout(const TSglArray& Values, TSkewMoment& Stats, float Centre) {
  const Extended centre = Centre;
  SemiDeviationsImpl(Values, Stats, &centre);
}

// ---------------------------------------------------------------------------------------------
// Tail probabilities.

double ChiSquareProbability(double Statistic, double DF) {
  if (DF <= 0) return 1;
  try {
    const double r = Double(Div(Extended(Statistic) - DF, DF));
    if (DF >= 15 && r > 0 && r <= 0.15001L) {
      // Just above the mean of a large DF the normal approximation is used.
      const Extended rounded = std::nearbyint(Extended(DF));  // ties to even
      if (rounded > std::numeric_limits<int32_t>::max()) throw RangeCheckError();
      const double z = Double(ChiSquareZ(static_cast<int32_t>(rounded), Statistic));
      const double t = NormalTwoTailProbability(Single(z));
      return Double(z > 0 ? Extended(t) / 2 : 1 - Extended(t) / 2);
    }
    return GammaQ(DF / 2, Statistic / 2);
  } catch (const std::exception&) {
    return 1;
  }
}

Extended ChiSquareZ(int32_t N, double X) {
  if (N <= 0 || X <= 0) return 0;
  const Extended c = Div(Extended(N) - 1, X);
  Extended g;
  if (c == 0)
    g = 1;
  else if (c == 1)
    g = 0;
  else
    g = Div(1 - c * c + 2 * c * Ln(c), (1 - c) * (1 - c));
  return Finite((Extended(X) - N + 2.0L / 3.0L - 0.08L / N) * Sqrt(Div(1 + g, 2 * Extended(X))));
}

namespace {

// The erf series of NormalTwoTailProbability: term i is (-1)^i u^(2i+1) / (i! (2i+1)), summed
// until 1e-15 |sum| > |term|. u^(2i+1) and i! are carried from term to term: the same chain of
// products, in the same order, as computing each term afresh, so the values are identical to
// the last bit. Checked guards every step; without it the caller vouches that no step can
// overflow (the results are then the same, only faster).
template <bool Checked>
Extended NormalSeries(Extended u) {
  // Far enough out the terms overflow long before this; the cap only guards a pathological input.
  constexpr int kMaxTerms = 100000;
  const auto Guard = [](Extended v) { return Checked ? Finite(v) : v; };
  Extended sum = 0;
  Extended power = Guard(u);
  Extended factorial = 1;
  for (int i = 0;; ++i) {
    if (i >= kMaxTerms) throw EArithmetic(fp::kInvalid);
    if (i > 0) {
      power = Guard(power * u);
      power = Guard(power * u);
      if (i >= 2) factorial = Guard(factorial * i);
    }
    Extended term = Checked ? Div(power, Finite(factorial * (2 * i + 1))) : power / (factorial * (2 * i + 1));
    if (i % 2 == 1) term = -term;
    sum += term;
    if (1e-15L * std::fabs(sum) > std::fabs(term)) break;
  }
  return sum;
}

// The denominators i! (2i + 1) of the series' terms, each with the sign of its term, as the series
// forms them (-(a / b) is a / -b to the last bit); enough for every |Z| up to 10.
struct TNormalSeriesTable {
  static constexpr int Terms = 256;
  Extended Denominator[Terms];
  TNormalSeriesTable() {
    Extended factorial = 1;
    for (int i = 0; i < Terms; ++i) {
      if (i >= 2) factorial = factorial * i;
      const Extended d = factorial * (2 * i + 1);
      Denominator[i] = i % 2 == 1 ? -d : d;
    }
  }
};

// NormalSeries<false> with the denominators from the table.
Extended NormalSeriesByTable(Extended u) {
  static const TNormalSeriesTable Table;
  Extended sum = 0;
  Extended power = u;
  for (int i = 0;; ++i) {
    if (i >= TNormalSeriesTable::Terms) throw EArithmetic(fp::kInvalid);
    if (i > 0) {
      power = power * u;
      power = power * u;
    }
    const Extended term = power / Table.Denominator[i];
    sum += term;
    if (1e-15L * std::fabs(sum) > std::fabs(term)) break;
  }
  return sum;
}

}  // namespace

double NormalTwoTailProbability(float Z) {
  if (Z == 0) return 1;
  // Computed once, by the same operations as at every call before.
  static const Extended TwoOverRootPi = Div(2, Sqrt(std::numbers::pi_v<Extended>));
  try {
    const Extended u = Div(std::fabs(Extended(Z)), Sqrt(2));
    // Up to |Z| = 10 the series ends within some 150 terms, far from overflowing the extended
    // range, so the guards can be left out there.
    const Extended sum = std::fabs(Z) <= 10 ? NormalSeriesByTable(u) : NormalSeries<true>(u);
    const Extended p = 1 - TwoOverRootPi * sum;
    if (p > 1 || !(p > 0)) return 0;
    return Double(p);
  } catch (const std::exception&) {
    return 0;
  }
}

double GammaQ(double A, double X) {
  double lnGammaA;
  if (X < Extended(A) + 1) return Double(1 - Extended(GammaSeries(A, X, lnGammaA)));
  return GammaContinuedFraction(A, X, lnGammaA);
}

double GammaSeries(double A, double X, double& LnGammaA) {
  constexpr int kMaxTerms = 99;
  LnGammaA = LnGamma(A);
  if (X <= 0 || A == 0) return 0;
  double ap = A;
  double del = Double(Div(1, A));
  double sum = del;
  for (int n = 1; n <= kMaxTerms; ++n) {
    ap = Double(Extended(ap) + 1);
    del = Double(Div(Extended(del) * X, ap));
    sum = Double(Extended(sum) + del);
    if (std::fabs(del) < std::fabs(Extended(sum)) * 3e-7L) break;
  }
  return Double(Extended(sum) * fp::Exp(-Extended(X) + A * Ln(X) - LnGammaA));
}

double GammaContinuedFraction(double A, double X, double& LnGammaA) {
  constexpr int kMaxIterations = 99;
  LnGammaA = LnGamma(A);
  double a0 = 1, a1 = X, b0 = 0, b1 = 1, fac = 1, g = 1, gOld = 0;
  for (int n = 1; n <= kMaxIterations; ++n) {
    const double ana = Double(Extended(n) - A);
    a0 = Double((a1 + Extended(a0) * ana) * fac);
    b0 = Double((b1 + Extended(b0) * ana) * fac);
    const double anf = Double(Extended(n) * fac);
    a1 = Double(Extended(X) * a0 + Extended(anf) * a1);
    b1 = Double(Extended(X) * b0 + Extended(anf) * b1);
    if (a1 != 0) {
      fac = Double(Div(1, a1));
      g = Double(Extended(b1) * fac);
    }
    if (std::fabs(Div(Extended(g) - gOld, g)) < 3e-7L) break;
    gOld = g;
  }
  return Double(fp::Exp(-Extended(X) + A * Ln(X) - LnGammaA) * g);
}

// ---------------------------------------------------------------------------------------------
// Ranks.

void RankScores(const TSglArray& Values, TSglArray& Scores, float Tolerance) {
  const size_t n = Values.size();
  TSglArray scores(n, 0.0f);
  for (size_t i = 0; i + 1 < n; ++i)
    for (size_t j = i + 1; j < n; ++j) {
      const float a = Values[i], b = Values[j];
      const float diff = Single(std::fabs(Extended(a) - b));
      auto tied = [&](float smaller) { return smaller != 0 && std::fabs(Extended(diff) / smaller) <= Tolerance; };
      if (a > b) {
        if (tied(b)) {
          scores[i] += 0.5f;
          scores[j] += 0.5f;
        } else {
          scores[i] += 1.0f;
        }
      } else if (a == b) {
        scores[i] += 0.5f;
        scores[j] += 0.5f;
      } else if (a < b) {
        if (tied(a)) {
          scores[i] += 0.5f;
          scores[j] += 0.5f;
        } else {
          scores[j] += 1.0f;
        }
      }
    }
  Scores = std::move(scores);
}

float SpearmanCorrelation(const TSglArray& X, const TSglArray& Y) {
  const size_t n = X.size();
  if (Y.size() != n || n < 2) return 0;
  TSglArray rx, ry;
  RankScores(X, rx, 0);
  RankScores(Y, ry, 0);
  Extended d2 = 0, d = 0;
  for (size_t i = n; i-- > 0;) {
    const Extended diff = Extended(rx[i]) - ry[i];
    d2 += diff * diff;
    d += diff;
  }
  if (d != 0) return 0;
  const Extended count = static_cast<Extended>(n);  // n^3 - n in Extended: no integer overflow
  return Single(1 - Div(6 * d2, count * count * count - count));
}

// ---------------------------------------------------------------------------------------------
// Gaussian random numbers.

void ClearGaussCache() { SetGaussCacheState({}); }

float GaussRandom() { return NextGaussDeviate(); }

float SimulatedMean(int32_t N, double Mean, double SD) {
  if (N <= 0) return 0;
  float sum = 0;
  for (int32_t i = 0; i < N; ++i) sum = Single(sum + (Extended(Mean) + Extended(SD) * GaussRandom()));
  return Single(Extended(sum) / N);
}

// ---------------------------------------------------------------------------------------------
// Log-gamma, incomplete beta and the F distribution.

double LnGamma(double X) {
  if (!(X > 0)) return 0;
  static constexpr Extended kCoefficients[6] = {76.18009173L,   -86.50532033L,   24.01409822L,
                                                -1.231739516L,  0.00120858003L, -0.00000536382L};
  try {
    const Extended y = Extended(X) - 1;
    const Extended t = y + 5.5L;
    Extended s = 1;
    for (int j = 1; j <= 6; ++j) s += fp::Div(kCoefficients[j - 1], y + j);
    return fp::Double((y + 0.5L) * fp::Ln(t) - t + fp::Ln(2.50662827465L * s));
  } catch (const Exception&) {
    return 0;
  }
}

Extended BetaContinuedFraction(double A, double B, double X) {
  constexpr int kMaxIterations = 100;
  constexpr Extended kEpsilon = 3e-7L;
  constexpr Extended kFloor = 1e-30L;
  auto floored = [&](Extended v) { return std::fabs(v) < kFloor ? kFloor : v; };

  const Extended qab = Extended(A) + B, qap = Extended(A) + 1, qam = Extended(A) - 1;
  Extended c = 1;
  Extended d = fp::Div(1, floored(1 - fp::Div(qab * X, qap)));
  Extended h = d;
  for (int m = 1; m <= kMaxIterations; ++m) {
    const int m2 = 2 * m;
    Extended aa = fp::Div(m * (Extended(B) - m) * X, (qam + m2) * (Extended(A) + m2));
    d = fp::Div(1, floored(1 + aa * d));
    c = floored(1 + fp::Div(aa, c));
    h = fp::Finite(h * d * c);
    aa = fp::Div(-(Extended(A) + m) * (qab + m) * X, (Extended(A) + m2) * (qap + m2));
    d = fp::Div(1, floored(1 + aa * d));
    c = floored(1 + fp::Div(aa, c));
    const Extended del = d * c;
    h = fp::Finite(h * del);
    if (std::fabs(del - 1) < kEpsilon) break;
  }
  return h;
}

double BetaI(double A, double B, double X) {
  if (X < 0 || X > 1) return 0;
  Extended bt = 0;
  if (X != 0 && X != 1)
    bt = fp::Exp(Extended(LnGamma(A + B)) - LnGamma(A) - LnGamma(B) + A * fp::Ln(X) +
                 B * fp::Ln(1 - Extended(X)));
  if (X < fp::Div(Extended(A) + 1, Extended(A) + B + 2))
    return fp::Double(fp::Div(bt * BetaContinuedFraction(A, B, X), A));
  return fp::Double(1 - fp::Div(bt * BetaContinuedFraction(B, A, 1 - X), B));
}

double FProbability(int32_t DF1, int32_t DF2, double F) {
  if (Extended(DF1) * DF2 * F <= 0) return 1;
  const double x = fp::Double(fp::Div(DF2, DF2 + Extended(DF1) * F));
  return BetaI(DF2 / 2.0, DF1 / 2.0, x);
}

}  // namespace qv
