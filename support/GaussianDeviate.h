#pragma once
// The polar method behind GaussRandom, split so that the uniform draws (which must come from
// the generator in order) and the factor sqrt(-2 ln s / s) (which need not) can run apart.
//
// Every value equals the one of the extended-precision formulas
//   u = 2 r1 - 1, v = 2 r2 - 1 (rounded to float), s = u^2 + v^2 (Extended, rounded to float),
//   f = sqrt(-2 ln s / s) (Extended, rounded to float), deviates u f and v f (rounded to float),
// but is computed in double, which costs a fraction of the time; where the double result lies
// so close to a point halfway between two floats that the two paths could round apart, the
// extended path is taken instead.
#include <cstddef>
#include <cstdint>
#include <random>

#include "Mersenne64.h"
#include "Types.h"

namespace qv {

// One accepted pair of the polar method (0 < S < 1).
struct TGaussPair {
  float U = 0;
  float V = 0;
  float S = 0;
};

// Draws uniforms from the generator (the process-wide one, or the given one) until a pair is
// accepted.
TGaussPair DrawGaussPair();
TGaussPair DrawGaussPair(std::mt19937_64& Generator);
TGaussPair DrawGaussPair(TMersenne64& Generator);

// 2 r - 1 rounded to float for the 53-bit uniform r of one raw draw: exact in double, so
// rounding it to float once is the extended path's rounding.
inline float GaussUniform(uint64_t Draw) {
  return static_cast<float>(2 * (static_cast<double>(Draw >> 11) * 0x1.0p-53) - 1);
}
// Whether 0 < GaussSquareSum(U, V) < 1, mostly without rounding the sum to float.
bool GaussAccepted(float U, float V);

// The uniforms of consecutive raw draws (GaussUniform of each), taken two at a time as
// DrawGaussPair takes them; the pairs that are accepted are moved to the front, U then V, and
// counted. Count is even.
int64_t AcceptGaussPairs(float* Uniforms, int64_t Count);

// sqrt(-2 ln S / S) rounded to float, for 0 < S < 1.
float GaussFactor(float S);
// The two deviates of a pair with its factor: U x F, then V x F.
inline float GaussDeviate(float X, float F) { return static_cast<float>(static_cast<double>(X) * F); }

// The deviates of Count accepted pairs (U then V of each, as AcceptGaussPairs leaves them), two a
// pair in order: GaussDeviate(U, F), GaussDeviate(V, F) with F = GaussFactor(GaussSquareSum(U, V)).
// Where the processor has AVX2 four pairs go side by side; the baseline loop runs anywhere.
void GaussDeviatesOfPairs(const float* Pairs, size_t Count, float* Out);
void GaussDeviatesOfPairsBaseline(const float* Pairs, size_t Count, float* Out);

// ln of positive normal doubles as GaussDeviatesOfPairs takes it, four at a time where the
// processor has AVX2 (the library's elsewhere), for the tests that bound it.
void GaussLogs(const double* In, double* Out, size_t Count);

// The extended-precision formulas themselves, and the double-precision steps with their
// fallback, for the tests that hold them equal.
float GaussSquareSumExtended(float U, float V);
float GaussSquareSum(float U, float V);
float GaussFactorExtended(float S);

// GaussRandom: the cached deviate when there is one, else the first of a new pair.
float NextGaussDeviate();

// The deviate GaussRandom keeps from the last pair it drew; Full is false when there is none.
struct TGaussCache {
  bool Full = false;
  float Value = 0;
};
TGaussCache GaussCacheState();
void SetGaussCacheState(const TGaussCache& Cache);

}  // namespace qv
