// The double-precision steps of the Gaussian deviates against the extended-precision formulas,
// on inputs built to lie on or next to a point halfway between two floats, where a careless
// double path rounds the other way, and on a long sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "FloatStores.h"
#include "GaussianDeviate.h"
#include "Random.h"
#include "Statistics.h"

namespace qv {
namespace {

// The midpoint above the float nearest X.
double MidpointAbove(float X) {
  return (static_cast<double>(X) + std::nextafter(X, std::numeric_limits<float>::infinity())) / 2;
}

TEST(GaussianDeviate, SquareSumsThatRoundInDoubleOntoAMidpoint) {
  // u = a 2^-24 and v = (2^23 + c) 2^-36 give u^2 + v^2 = 2^-26 + (a^2 + c) 2^-48 + c^2 2^-72.
  // With c = -a^2 mod 2^23 the first terms are a midpoint between floats of [0.25, 0.5) and the
  // last lies below half a double unit: the double sum is the midpoint and rounds to even, the
  // exact and the extended sums lie just above it and round up.
  int Traps = 0, Checked = 0;
  for (uint64_t a = uint64_t{1} << 23; a < 11863283; ++a) {
    const uint64_t c = ((uint64_t{1} << 23) - (a * a) % (uint64_t{1} << 23)) % (uint64_t{1} << 23);
    if (c < 8 || c >= 362) continue;
    const float u = std::ldexp(static_cast<float>(a), -24);
    const float v = std::ldexp(static_cast<float>((uint64_t{1} << 23) + c), -36);
    const double DoubleSum = static_cast<double>(u) * u + static_cast<double>(v) * v;
    ASSERT_EQ(DoubleSum, MidpointAbove(static_cast<float>(std::ldexp(std::floor(std::ldexp(DoubleSum, 25)), -25))));
    ++Checked;
    const float Extended = GaussSquareSumExtended(u, v);
    Traps += static_cast<float>(DoubleSum) != Extended;
    ASSERT_EQ(GaussSquareSum(u, v), Extended) << u << " " << v;
    ASSERT_EQ(GaussSquareSum(v, u), GaussSquareSumExtended(v, u));
  }
  EXPECT_GT(Checked, 100);
  EXPECT_GT(Traps, 10) << "the construction should catch a plain double sum";
}

TEST(GaussianDeviate, FactorsNextToAMidpointTakeTheExtendedPath) {
  // Scans s in [0.25, 0.25 + 2^-2 x 2^21 ulps) for factors whose double value lies within 2^-40
  // of a midpoint (about one in 65,000) and holds all of them, and every 97th s, to the
  // extended formula.
  int Near = 0;
  float s = 0.25f;
  for (int k = 0; k < (1 << 21); ++k, s = std::nextafter(s, 1.0f)) {
    const double F = std::sqrt(-2 * std::log(static_cast<double>(s)) / s);
    const float Nearest = static_cast<float>(F);
    const double Below = (static_cast<double>(Nearest) + std::nextafter(Nearest, 0.0f)) / 2;
    const double Above = MidpointAbove(Nearest);
    const bool IsNear = std::min(F - Below, Above - F) < std::ldexp(F, -40);
    if (!IsNear && k % 97 != 0) continue;
    Near += IsNear;
    ASSERT_EQ(GaussFactor(s), GaussFactorExtended(s)) << s;
  }
  EXPECT_GT(Near, 3);
}

TEST(GaussianDeviate, LongSampleEqualsTheExtendedPolarMethod) {
  // The polar method written out in extended precision, as GaussRandom was.
  struct {
    bool Full = false;
    float Cache = 0;
    float operator()() {
      if (Full) {
        Full = false;
        return Cache;
      }
      float u, v, s;
      do {
        u = fp::Single(2 * Extended(Random01()) - 1);
        v = fp::Single(2 * Extended(Random01()) - 1);
        s = fp::Single(Extended(u) * u + Extended(v) * v);
      } while (!(s > 0 && s < 1));
      const float f = fp::Single(fp::Sqrt(fp::Div(-2 * fp::Ln(s), s)));
      Cache = fp::Single(Extended(v) * f);
      Full = true;
      return fp::Single(Extended(u) * f);
    }
  } Extended;
  constexpr int Count = 300001;
  std::vector<float> Expected(Count), Got(Count);
  Randomize(42);
  for (float& X : Expected) X = Extended();
  const double After = Random01();
  Randomize(42);
  for (float& X : Got) X = GaussRandom();
  EXPECT_EQ(Random01(), After);
  EXPECT_TRUE(Got == Expected);
  // The odd count left one deviate in the cache.
  EXPECT_TRUE(GaussCacheState().Full);
  EXPECT_EQ(GaussCacheState().Value, Extended.Cache);

  // The pair steps alone over the same draws.
  Randomize(43);
  for (int k = 0; k < 200000; ++k) {
    const TGaussPair P = DrawGaussPair();
    ASSERT_EQ(P.S, GaussSquareSumExtended(P.U, P.V));
    ASSERT_EQ(GaussFactor(P.S), GaussFactorExtended(P.S));
  }
}

TEST(GaussianDeviate, TheAcceptanceTestNextToOneAgreesWithTheRoundedSum) {
  // u just under 1 and v chosen so that u^2 + v^2 lies within a few double units of the point
  // halfway between 1 and the float below it, on both sides, in every sign.
  constexpr double Midpoint = 1 - 0x1.0p-25;
  int Accepted = 0, Rejected = 0;
  std::vector<float> Uniforms, Kept;
  for (int k = 1; k < 4000; ++k) {
    const float u = 1.0f - std::ldexp(static_cast<float>(k), -24);
    const double Need = Midpoint - static_cast<double>(u) * u;
    if (Need <= 0) continue;
    float v = static_cast<float>(std::sqrt(Need));
    v = std::nextafter(std::nextafter(v, 0.0f), 0.0f);
    for (int Step = 0; Step < 5; ++Step, v = std::nextafter(v, 1.0f))
      for (float U : {u, -u})
        for (float V : {v, -v}) {
          const float S = GaussSquareSumExtended(U, V);
          const bool Expected = S > 0 && S < 1;
          ASSERT_EQ(GaussAccepted(U, V), Expected) << U << " " << V;
          ASSERT_EQ(GaussAccepted(V, U), Expected) << U << " " << V;
          (Expected ? Accepted : Rejected)++;
          Uniforms.insert(Uniforms.end(), {U, V});
          if (Expected) Kept.insert(Kept.end(), {U, V});
        }
  }
  EXPECT_GT(Accepted, 1000);
  EXPECT_GT(Rejected, 1000);
  EXPECT_FALSE(GaussAccepted(0.0f, 0.0f));
  EXPECT_TRUE(GaussAccepted(0.0f, -0x1p-52f));
  // The same pairs in a run, as segments of raw draws are taken (several at a time).
  const int64_t Pairs = AcceptGaussPairs(Uniforms.data(), static_cast<int64_t>(Uniforms.size()));
  ASSERT_EQ(Pairs, static_cast<int64_t>(Kept.size() / 2));
  EXPECT_TRUE(std::equal(Kept.begin(), Kept.end(), Uniforms.begin()));
}

TEST(GaussianDeviate, PairsAcceptedFromRawDrawsAreThoseDrawnOneByOne) {
  // The uniforms of one generator's draws, turned into pairs in place, against DrawGaussPair on a
  // copy.
  Randomize(44);
  std::mt19937_64 Generator = RandomGenerator();
  std::vector<float> Uniforms(400000);
  for (float& U : Uniforms) U = GaussUniform(RandomGenerator()());
  const int64_t Pairs = AcceptGaussPairs(Uniforms.data(), static_cast<int64_t>(Uniforms.size()));
  EXPECT_GT(Pairs, 150000);
  EXPECT_LT(Pairs, 165000);
  for (int64_t k = 0; k < Pairs; ++k) {
    const TGaussPair Expected = DrawGaussPair(Generator);
    const float U = Uniforms[static_cast<size_t>(2 * k)], V = Uniforms[static_cast<size_t>(2 * k + 1)];
    ASSERT_EQ(U, Expected.U) << k;
    ASSERT_EQ(V, Expected.V) << k;
    ASSERT_EQ(GaussSquareSum(U, V), Expected.S);
  }
  // What follows the last pair: only rejected draws, up to the end of the segment.
  std::mt19937_64 End = Generator;
  while (!(End == RandomGenerator())) {
    const float U = GaussUniform(End()), V = GaussUniform(End());
    ASSERT_FALSE(GaussAccepted(U, V));
  }
}

// The logarithm of the side-by-side factors stays within two units in the last place of the
// library's on floats across (0, 1) (every float there was checked once: at most one); the
// factor's check allows 256.
TEST(GaussianDeviate, LogarithmOfTheFactorsWithinTwoUnitsOfTheLibrarys) {
  std::vector<double> In, Out;
  for (uint32_t Bits = 0x00800000; Bits < 0x3f800000; Bits += 4099) {
    float F;
    std::memcpy(&F, &Bits, sizeof F);
    In.push_back(F);
  }
  for (const double Near1 : {1 - 0x1p-24, 1 - 0x1p-23, 0.5 + 0x1p-24, 0.70710677, 0.70710683}) In.push_back(Near1);
  Out.resize(In.size());
  GaussLogs(In.data(), Out.data(), In.size());
  for (size_t i = 0; i < In.size(); ++i) {
    const double Library = std::log(In[i]);
    int64_t A, B;
    std::memcpy(&A, &Out[i], sizeof A);
    std::memcpy(&B, &Library, sizeof B);
    ASSERT_LE(std::abs(A - B), 2) << In[i];
  }
}

// The deviates of many pairs side by side are those of each pair alone: accepted pairs of a long
// sample, and among them pairs whose double square sum lies on a midpoint (the construction
// above), in runs of every length modulo four.
TEST(GaussianDeviate, DeviatesOfPairsSideBySideAsOneAtATime) {
  Randomize(45);
  std::vector<float> Pairs(2 * 200000);
  for (float& U : Pairs) U = GaussUniform(RandomGenerator()());
  const size_t Count = static_cast<size_t>(AcceptGaussPairs(Pairs.data(), static_cast<int64_t>(Pairs.size())));
  int Traps = 0;
  for (uint64_t a = uint64_t{1} << 23; a < 11863283 && Traps < 200; ++a) {
    const uint64_t c = ((uint64_t{1} << 23) - (a * a) % (uint64_t{1} << 23)) % (uint64_t{1} << 23);
    if (c < 8 || c >= 362) continue;
    const size_t At = 2 * static_cast<size_t>(RandomInt(static_cast<int32_t>(Count)));
    Pairs[At] = std::ldexp(static_cast<float>(a), -24);
    Pairs[At + 1] = std::ldexp(static_cast<float>((uint64_t{1} << 23) + c), -36);
    ++Traps;
  }
  EXPECT_GT(Traps, 100);
  for (const size_t Offset : {size_t{0}, size_t{1}, size_t{2}, size_t{3}}) {
    const size_t n = Count - Offset;
    std::vector<float> Fast(2 * n), Plain(2 * n);
    GaussDeviatesOfPairs(Pairs.data() + 2 * Offset, n, Fast.data());
    GaussDeviatesOfPairsBaseline(Pairs.data() + 2 * Offset, n, Plain.data());
    for (size_t k = 0; k < n; ++k) {
      const float U = Pairs[2 * (Offset + k)], V = Pairs[2 * (Offset + k) + 1];
      const float F = GaussFactor(GaussSquareSum(U, V));
      ASSERT_EQ(Plain[2 * k], GaussDeviate(U, F)) << k;
      ASSERT_EQ(Plain[2 * k + 1], GaussDeviate(V, F)) << k;
      ASSERT_EQ(Fast[2 * k], Plain[2 * k]) << k;
      ASSERT_EQ(Fast[2 * k + 1], Plain[2 * k + 1]) << k;
    }
  }
}

}  // namespace
}  // namespace qv
