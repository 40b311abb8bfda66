#include "GaussianDeviate.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "FloatStores.h"
#include "Random.h"

namespace qv {

namespace {

TGaussCache Cache;

// True when the positive Value lies within Ulps units of its last place (2^-52 Value at most) of
// a point halfway between two adjacent floats, or outside the range of normal floats. A double
// holds 29 bits more than a float, so the halfway points are the doubles whose low 29 bits are
// 1 followed by zeros.
bool NearFloatMidpoint(double Value, uint64_t Ulps) {
  uint64_t Bits;
  std::memcpy(&Bits, &Value, 8);
  const int64_t Exponent = static_cast<int64_t>(Bits >> 52 & 0x7FF) - 1023;
  if (Exponent < -126 || Exponent > 127) return true;
  const uint64_t Low = Bits & ((uint64_t{1} << 29) - 1), Half = uint64_t{1} << 28;
  return (Low > Half ? Low - Half : Half - Low) <= Ulps;
}

}  // namespace

float GaussSquareSumExtended(float U, float V) { return fp::Single(Extended(U) * U + Extended(V) * V); }

float GaussSquareSum(float U, float V) {
  // The squares are exact in double; only the sum rounds. A double sum that is not exactly halfway
  // between two floats rounds to the float of the exact sum, and so does the extended one.
  const double Sum = static_cast<double>(U) * U + static_cast<double>(V) * V;
  if (NearFloatMidpoint(Sum, 0)) return GaussSquareSumExtended(U, V);
  return static_cast<float>(Sum);
}

float GaussFactorExtended(float S) { return fp::Single(fp::Sqrt(fp::Div(-2 * fp::Ln(S), S))); }

float GaussFactor(float S) {
  // log, the division and the root put the double result within 2^-50 of the exact value, the
  // extended one is within 2^-61; 256 units (at least 2^-45) leave ample room for both.
  const double F = std::sqrt(-2 * std::log(static_cast<double>(S)) / S);
  if (!(S > 0 && S < 1) || NearFloatMidpoint(F, 256)) return GaussFactorExtended(S);
  return static_cast<float>(F);
}

TGaussPair DrawGaussPair() {
  std::mt19937_64& Generator = RandomGenerator();
  // Random01, inline: 53 random bits.
  auto Uniform = [&Generator] { return static_cast<double>(Generator() >> 11) * 0x1.0p-53; };
  TGaussPair P;
  do {
    // 2 r - 1 is exact in double for the 53-bit r of Random01, so rounding it to float once is
    // the extended path's rounding.
    P.U = static_cast<float>(2 * Uniform() - 1);
    P.V = static_cast<float>(2 * Uniform() - 1);
    P.S = GaussSquareSum(P.U, P.V);
  } while (!(P.S > 0 && P.S < 1));
  return P;
}

float NextGaussDeviate() {
  if (Cache.Full) {
    Cache.Full = false;
    return Cache.Value;
  }
  const TGaussPair Pair = DrawGaussPair();
  const float F = GaussFactor(Pair.S);
  Cache = {true, GaussDeviate(Pair.V, F)};
  return GaussDeviate(Pair.U, F);
}

TGaussCache GaussCacheState() { return Cache; }
void SetGaussCacheState(const TGaussCache& State) { Cache = State; }

}  // namespace qv
