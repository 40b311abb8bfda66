// The four-at-a-time log10 against the library's, float for float.
#include "FloatLogs.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace qv {
namespace {

float FromBits(uint32_t Bits) {
  float F;
  std::memcpy(&F, &Bits, 4);
  return F;
}

// Every value of In through Log10Above, and through the loop for the baseline instructions, and
// through the reference, in runs of awkward lengths; answers how many differ in any bit.
size_t Differences(const std::vector<float>& In, float Above) {
  size_t Differ = 0;
  for (const auto Log : {&Log10Above, &Log10AboveBaseline}) {
    std::vector<float> Out(In.size());
    for (size_t Start = 0, Step = 1; Start < In.size(); Start += Step, Step = Step * 7 % 997 + 1)
      Log(In.data() + Start, Out.data() + Start, std::min(Step, In.size() - Start), Above);
    for (size_t i = 0; i < In.size(); ++i) {
      const float Expected = Log10AboveReference(In[i], Above);
      if (std::memcmp(&Out[i], &Expected, 4) != 0 && Differ++ < 5)
        ADD_FAILURE() << std::hexfloat << In[i] << ": " << Out[i] << " instead of " << Expected;
    }
  }
  return Differ;
}

TEST(FloatLogs, EveryFloatFromAHalfToTwo) {
  // Both sides of 1, where the slices next to 1 and the cancellation in the others lie.
  std::vector<float> In;
  for (uint32_t Bits = 0x3F000000; Bits < 0x40000000; ++Bits) In.push_back(FromBits(Bits));
  EXPECT_EQ(Differences(In, 0.0f), 0u);
  EXPECT_EQ(Differences(In, 1.0f), 0u);
}

TEST(FloatLogs, RandomBitsAndTheEdgesOfTheFloats) {
  std::vector<float> In = {0.0f, -0.0f, 1.0f, -1.0f, 2.0f, 10.0f, 100.0f, 1e-10f, 1e10f, FLT_MIN, FLT_MAX,
                           std::numeric_limits<float>::denorm_min(), 1e-40f, INFINITY, -INFINITY, NAN,
                           std::nextafter(1.0f, 2.0f), std::nextafter(1.0f, 0.0f), std::nextafter(FLT_MIN, 0.0f)};
  for (int p = -38; p <= 38; ++p) In.push_back(std::pow(10.0f, static_cast<float>(p)));
  std::mt19937_64 Random(11);
  for (int i = 0; i < 3000000; ++i) In.push_back(FromBits(static_cast<uint32_t>(Random())));
  for (int i = 0; i < 1000000; ++i) In.push_back(static_cast<float>(std::exp(std::uniform_real_distribution<>(-5, 15)(Random))));
  EXPECT_EQ(Differences(In, 0.0f), 0u);
  EXPECT_EQ(Differences(In, 1.0f), 0u);
  EXPECT_EQ(Differences(In, 2.5f), 0u);
}

// The fast value is taken only when it lies further from every float midpoint than its error
// and the library's together: within 8 units in the last place of the exact logarithm here,
// far inside that margin; values it cannot vouch for go to the library, and so do the near
// misses found among these.
TEST(FloatLogs, FastValueWithinItsErrorBoundAndNearMidpointsLeftToTheLibrary) {
  std::mt19937_64 Random(3);
  double Worst = 0;
  std::vector<float> NearMidpoints;
  for (int i = 0; i < 4000000; ++i) {
    const float X = FromBits(0x00800000u + static_cast<uint32_t>(Random() % (0x7F800000u - 0x00800000u)));
    const double Fast = FastLog10(X);
    const long double Exact = log10l(static_cast<long double>(X));
    if (Exact != 0) Worst = std::max(Worst, static_cast<double>(std::fabs((Fast - Exact) / Exact)));
    if (!FastLog10Rounds(Fast)) NearMidpoints.push_back(X);
  }
  EXPECT_LT(Worst, 8 * 0x1p-53);
  EXPECT_FALSE(NearMidpoints.empty());
  EXPECT_EQ(Differences(NearMidpoints, 0.0f), 0u);
  EXPECT_EQ(FastLog10(1.0f), 0.0);
  // Within 256 units of a midpoint the library decides; a float itself is far from any.
  const double Midpoint = (1.0 + static_cast<double>(std::nextafter(1.0f, 2.0f))) / 2;
  for (const int64_t Ulps : {-256, -1, 0, 1, 256}) {
    double Near = Midpoint;
    for (int64_t u = 0; u < std::abs(Ulps); ++u) Near = std::nextafter(Near, Ulps > 0 ? 2.0 : 0.0);
    EXPECT_FALSE(FastLog10Rounds(Near)) << Ulps;
    EXPECT_FALSE(FastLog10Rounds(-Near)) << Ulps;
  }
  EXPECT_TRUE(FastLog10Rounds(std::nextafter(std::nextafter(Midpoint - 256 * 0x1p-52, 0.0), 0.0)));
  EXPECT_TRUE(FastLog10Rounds(1.0));
  EXPECT_TRUE(FastLog10Rounds(-0.30102999566398120));
}

}  // namespace
}  // namespace qv
