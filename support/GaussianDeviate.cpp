#include "GaussianDeviate.h"

#include <cmath>
#include <limits>

#include "FloatStores.h"
#include "Random.h"

namespace qv {

namespace {

TGaussCache Cache;

// True when Value lies within Value x 2^-Margin of a point halfway between two adjacent floats
// (or on one), so that a slightly different Value could round to another float.
bool NearFloatMidpoint(double Value, int Margin) {
  const float F = static_cast<float>(Value);
  const float Below = std::nextafter(F, -std::numeric_limits<float>::infinity());
  const float Above = std::nextafter(F, std::numeric_limits<float>::infinity());
  // Sums of adjacent floats are exact in double.
  const double Low = (static_cast<double>(F) + Below) / 2, High = (static_cast<double>(F) + Above) / 2;
  const double Slack = std::ldexp(std::fabs(Value), -Margin);
  return Value - Low <= Slack || High - Value <= Slack;
}

}  // namespace

float GaussSquareSumExtended(float U, float V) { return fp::Single(Extended(U) * U + Extended(V) * V); }

float GaussSquareSum(float U, float V) {
  // The squares are exact in double; only the sum rounds. A double sum that is not exactly halfway
  // between two floats rounds to the float of the exact sum, and so does the extended one.
  const double Sum = static_cast<double>(U) * U + static_cast<double>(V) * V;
  if (NearFloatMidpoint(Sum, 200)) return GaussSquareSumExtended(U, V);
  return static_cast<float>(Sum);
}

float GaussFactorExtended(float S) { return fp::Single(fp::Sqrt(fp::Div(-2 * fp::Ln(S), S))); }

float GaussFactor(float S) {
  // log, the division and the root put the double result within 2^-50 of the exact value, the
  // extended one is within 2^-61; 2^-45 leaves ample room for both.
  const double F = std::sqrt(-2 * std::log(static_cast<double>(S)) / S);
  if (!(S > 0 && S < 1) || NearFloatMidpoint(F, 45)) return GaussFactorExtended(S);
  return static_cast<float>(F);
}

TGaussPair DrawGaussPair() {
  TGaussPair P;
  do {
    // 2 r - 1 is exact in double for the 53-bit r of Random01, so rounding it to float once is
    // the extended path's rounding.
    P.U = static_cast<float>(2 * Random01() - 1);
    P.V = static_cast<float>(2 * Random01() - 1);
    P.S = GaussSquareSum(P.U, P.V);
  } while (!(P.S > 0 && P.S < 1));
  return P;
}

TGaussCache GaussCacheState() { return Cache; }
void SetGaussCacheState(const TGaussCache& State) { Cache = State; }

}  // namespace qv
