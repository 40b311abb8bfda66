#include "GaussianDeviate.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "FloatStores.h"
#include "Random.h"

namespace qv {

namespace {

TGaussCache Cache;

}  // namespace

float GaussSquareSumExtended(float U, float V) { return fp::Single(Extended(U) * U + Extended(V) * V); }

float GaussSquareSum(float U, float V) {
  // The squares are exact in double; only the sum rounds. A double sum that is not exactly halfway
  // between two floats rounds to the float of the exact sum, and so does the extended one.
  const double Sum = static_cast<double>(U) * U + static_cast<double>(V) * V;
  if (fp::NearFloatMidpoint(Sum, 0)) return GaussSquareSumExtended(U, V);
  return static_cast<float>(Sum);
}

float GaussFactorExtended(float S) { return fp::Single(fp::Sqrt(fp::Div(-2 * fp::Ln(S), S))); }

float GaussFactor(float S) {
  // log, the division and the root put the double result within 2^-50 of the exact value, the
  // extended one is within 2^-61; 256 units (at least 2^-45) leave ample room for both.
  const double F = std::sqrt(-2 * std::log(static_cast<double>(S)) / S);
  if (!(S > 0 && S < 1) || fp::NearFloatMidpoint(F, 256)) return GaussFactorExtended(S);
  return static_cast<float>(F);
}

bool GaussAccepted(float U, float V) {
  // Below the midpoint between 1 and the float under it, the float of the sum (by either path) is
  // under 1, above it at least 1; a square sum of floats of this kind is 0 only for U = V = 0.
  // Only a sum on that midpoint itself needs the rounded value.
  constexpr double Midpoint = 1 - 0x1.0p-25;
  const double Sum = static_cast<double>(U) * U + static_cast<double>(V) * V;
  if (Sum != Midpoint) return Sum > 0 && Sum < Midpoint;
  const float S = GaussSquareSum(U, V);
  return S > 0 && S < 1;
}

namespace {

template <class TGenerator>
TGaussPair DrawPair(TGenerator& Generator) {
  TGaussPair P;
  do {
    P.U = GaussUniform(Generator());
    P.V = GaussUniform(Generator());
  } while (!GaussAccepted(P.U, P.V));
  P.S = GaussSquareSum(P.U, P.V);
  return P;
}

}  // namespace

TGaussPair DrawGaussPair(std::mt19937_64& Generator) { return DrawPair(Generator); }
TGaussPair DrawGaussPair(TMersenne64& Generator) { return DrawPair(Generator); }

TGaussPair DrawGaussPair() { return DrawGaussPair(RandomGenerator()); }

int64_t AcceptGaussPairs(float* Uniforms, int64_t Count) {
  // The pair written never lies beyond the two uniforms just read.
  int64_t Accepted = 0;
  for (int64_t k = 0; k + 1 < Count; k += 2) {
    const float U = Uniforms[k], V = Uniforms[k + 1];
    Uniforms[2 * Accepted] = U;
    Uniforms[2 * Accepted + 1] = V;
    Accepted += GaussAccepted(U, V);
  }
  return Accepted;
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
