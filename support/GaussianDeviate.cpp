#include "GaussianDeviate.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "FloatStores.h"
#include "Random.h"
#include "Vectors.h"

#if QV_X86_KERNELS
#include <immintrin.h>
#endif

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

namespace {

// The pairs of Uniforms[From, Count) accepted, moved to 2 Accepted on; answers the new count.
int64_t AcceptPairsFrom(float* Uniforms, int64_t From, int64_t Count, int64_t Accepted) {
  // The pair written never lies beyond the two uniforms just read.
  for (int64_t k = From; k + 1 < Count; k += 2) {
    const float U = Uniforms[k], V = Uniforms[k + 1];
    Uniforms[2 * Accepted] = U;
    Uniforms[2 * Accepted + 1] = V;
    Accepted += GaussAccepted(U, V);
  }
  return Accepted;
}

#if QV_X86_KERNELS
// Four pairs at a time: GaussAccepted's sums side by side, the accepted pairs moved together by
// one permutation of the eight uniforms; a group with a sum on the midpoint goes pair by pair.
__attribute__((target("avx2"))) int64_t AcceptGaussPairsAvx2(float* Uniforms, int64_t Count) {
  // For each mask of accepted pairs, the uniforms of those pairs first.
  static const struct TMoves {
    int32_t Index[16][8];
    TMoves() : Index{} {
      for (int Mask = 0; Mask < 16; ++Mask) {
        int n = 0;
        for (int Pair = 0; Pair < 4; ++Pair)
          if (Mask >> Pair & 1) {
            Index[Mask][n++] = 2 * Pair;
            Index[Mask][n++] = 2 * Pair + 1;
          }
      }
    }
  } Moves;
  constexpr double Midpoint = 1 - 0x1.0p-25;
  const __m256i Split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  int64_t Accepted = 0, k = 0;
  for (; k + 8 <= Count; k += 8) {
    const __m256 Group = _mm256_loadu_ps(Uniforms + k);
    const __m256 UV = _mm256_permutevar8x32_ps(Group, Split);
    const __m256d U = _mm256_cvtps_pd(_mm256_castps256_ps128(UV)), V = _mm256_cvtps_pd(_mm256_extractf128_ps(UV, 1));
    const __m256d Sum = _mm256_add_pd(_mm256_mul_pd(U, U), _mm256_mul_pd(V, V));
    if (_mm256_movemask_pd(_mm256_cmp_pd(Sum, _mm256_set1_pd(Midpoint), _CMP_EQ_OQ))) {
      Accepted = AcceptPairsFrom(Uniforms, k, k + 8, Accepted);
      continue;
    }
    const int Mask = _mm256_movemask_pd(_mm256_and_pd(_mm256_cmp_pd(Sum, _mm256_setzero_pd(), _CMP_GT_OQ),
                                                      _mm256_cmp_pd(Sum, _mm256_set1_pd(Midpoint), _CMP_LT_OQ)));
    const __m256i Move = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Moves.Index[Mask]));
    // Eight floats from 2 Accepted <= k: only uniforms already read are overwritten.
    _mm256_storeu_ps(Uniforms + 2 * Accepted, _mm256_permutevar8x32_ps(Group, Move));
    Accepted += __builtin_popcount(static_cast<unsigned>(Mask));
  }
  return AcceptPairsFrom(Uniforms, k, Count, Accepted);
}
#endif

}  // namespace

int64_t AcceptGaussPairs(float* Uniforms, int64_t Count) {
#if QV_X86_KERNELS
  static const bool Avx2 = __builtin_cpu_supports("avx2");
  if (Avx2) return AcceptGaussPairsAvx2(Uniforms, Count);
#endif
  return AcceptPairsFrom(Uniforms, 0, Count, 0);
}

void GaussDeviatesOfPairsBaseline(const float* Pairs, size_t Count, float* Out) {
  for (size_t k = 0; k < Count; ++k) {
    const float U = Pairs[2 * k], V = Pairs[2 * k + 1];
    const float F = GaussFactor(GaussSquareSum(U, V));
    Out[2 * k] = GaussDeviate(U, F);
    Out[2 * k + 1] = GaussDeviate(V, F);
  }
}

#if QV_X86_KERNELS
namespace {

// Lanes of Value that fp::NearFloatMidpoint(Value, Ulps) leaves alone.
__attribute__((target("avx2"))) inline __m256d FarFromMidpoint(__m256d Value, int64_t Ulps) {
  const __m256i Bits = _mm256_castpd_si256(Value);
  const __m256i Exponent = _mm256_and_si256(_mm256_srli_epi64(Bits, 52), _mm256_set1_epi64x(0x7FF));
  const __m256i Normal = _mm256_andnot_si256(_mm256_cmpgt_epi64(_mm256_set1_epi64x(1023 - 126), Exponent),
                                             _mm256_cmpgt_epi64(_mm256_set1_epi64x(1023 + 128), Exponent));
  const __m256i Offset = _mm256_sub_epi64(_mm256_and_si256(Bits, _mm256_set1_epi64x(0x1FFFFFFF)),
                                          _mm256_set1_epi64x((int64_t{1} << 28) - Ulps));
  const __m256i Far = _mm256_or_si256(_mm256_cmpgt_epi64(_mm256_setzero_si256(), Offset),
                                      _mm256_cmpgt_epi64(Offset, _mm256_set1_epi64x(2 * Ulps)));
  return _mm256_castsi256_pd(_mm256_and_si256(Normal, Far));
}

// ln of four positive normal doubles: the reduction to m 2^k with m in [sqrt(2)/2, sqrt(2)) and
// the polynomial in s = (m - 1) / (m + 1) of the classic fdlibm logarithm, within about one
// unit in the last place. GaussFactor's check leaves room for far more: its factor may be 256
// units from the exact one before a float could round the other way.
__attribute__((target("avx2"))) inline __m256d LogLanes(__m256d X) {
  const __m256i Bits = _mm256_castpd_si256(X);
  __m256i High = _mm256_srli_epi64(Bits, 32);
  __m256i K = _mm256_sub_epi64(_mm256_srli_epi64(High, 20), _mm256_set1_epi64x(1023));
  High = _mm256_and_si256(High, _mm256_set1_epi64x(0x000fffff));
  const __m256i Half = _mm256_and_si256(_mm256_add_epi64(High, _mm256_set1_epi64x(0x95f64)), _mm256_set1_epi64x(0x100000));
  K = _mm256_add_epi64(K, _mm256_srli_epi64(Half, 20));
  const __m256i MBits = _mm256_or_si256(
      _mm256_slli_epi64(_mm256_or_si256(High, _mm256_xor_si256(Half, _mm256_set1_epi64x(0x3ff00000))), 32),
      _mm256_and_si256(Bits, _mm256_set1_epi64x(0xffffffffLL)));
  const __m256d f = _mm256_sub_pd(_mm256_castsi256_pd(MBits), _mm256_set1_pd(1.0));
  const __m256i KLow = _mm256_permutevar8x32_epi32(K, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6));
  const __m256d dk = _mm256_cvtepi32_pd(_mm256_castsi256_si128(KLow));
  const __m256d s = _mm256_div_pd(f, _mm256_add_pd(_mm256_set1_pd(2.0), f));
  const __m256d z = _mm256_mul_pd(s, s), w = _mm256_mul_pd(z, z);
  const __m256d t1 = _mm256_mul_pd(
      w, _mm256_add_pd(_mm256_set1_pd(3.999999999940941908e-01),
                       _mm256_mul_pd(w, _mm256_add_pd(_mm256_set1_pd(2.222219843214978396e-01), _mm256_mul_pd(w, _mm256_set1_pd(1.531383769920937332e-01))))));
  const __m256d t2 = _mm256_mul_pd(
      z, _mm256_add_pd(
             _mm256_set1_pd(6.666666666666735130e-01),
             _mm256_mul_pd(w, _mm256_add_pd(_mm256_set1_pd(2.857142874366239149e-01),
                                            _mm256_mul_pd(w, _mm256_add_pd(_mm256_set1_pd(1.818357216161805012e-01),
                                                                           _mm256_mul_pd(w, _mm256_set1_pd(1.479819860511658591e-01))))))));
  const __m256d R = _mm256_add_pd(t2, t1);
  const __m256d hfsq = _mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(0.5), f), f);
  const __m256d Inner = _mm256_add_pd(_mm256_mul_pd(s, _mm256_add_pd(hfsq, R)), _mm256_mul_pd(dk, _mm256_set1_pd(1.90821492927058770002e-10)));
  return _mm256_sub_pd(_mm256_mul_pd(dk, _mm256_set1_pd(6.93147180369123816490e-01)), _mm256_sub_pd(_mm256_sub_pd(hfsq, Inner), f));
}

// The steps of GaussSquareSum, GaussFactor and GaussDeviate for four pairs; a group with a lane
// the double steps do not settle goes the one-at-a-time way.
__attribute__((target("avx2"))) void GaussDeviatesOfPairsAvx2(const float* Pairs, size_t Count, float* Out) {
  const __m256i Split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  size_t k = 0;
  for (; k + 4 <= Count; k += 4) {
    const __m256 UV = _mm256_permutevar8x32_ps(_mm256_loadu_ps(Pairs + 2 * k), Split);
    const __m256d U = _mm256_cvtps_pd(_mm256_castps256_ps128(UV)), V = _mm256_cvtps_pd(_mm256_extractf128_ps(UV, 1));
    const __m256d Sum = _mm256_add_pd(_mm256_mul_pd(U, U), _mm256_mul_pd(V, V));
    const __m256d S = _mm256_cvtps_pd(_mm256_cvtpd_ps(Sum));
    const __m256d F = _mm256_sqrt_pd(_mm256_div_pd(_mm256_mul_pd(_mm256_set1_pd(-2.0), LogLanes(S)), S));
    const __m256d Inside = _mm256_and_pd(_mm256_cmp_pd(S, _mm256_setzero_pd(), _CMP_GT_OQ),
                                         _mm256_cmp_pd(S, _mm256_set1_pd(1.0), _CMP_LT_OQ));
    const __m256d Settled = _mm256_and_pd(_mm256_and_pd(FarFromMidpoint(Sum, 0), Inside), FarFromMidpoint(F, 256));
    if (_mm256_movemask_pd(Settled) != 0xF) {
      GaussDeviatesOfPairsBaseline(Pairs + 2 * k, 4, Out + 2 * k);
      continue;
    }
    const __m256d Factor = _mm256_cvtps_pd(_mm256_cvtpd_ps(F));
    const __m128 DU = _mm256_cvtpd_ps(_mm256_mul_pd(U, Factor)), DV = _mm256_cvtpd_ps(_mm256_mul_pd(V, Factor));
    _mm_storeu_ps(Out + 2 * k, _mm_unpacklo_ps(DU, DV));
    _mm_storeu_ps(Out + 2 * k + 4, _mm_unpackhi_ps(DU, DV));
  }
  GaussDeviatesOfPairsBaseline(Pairs + 2 * k, Count - k, Out + 2 * k);
}

__attribute__((target("avx2"))) void StoreLogs(const double* In, double* Out) {
  _mm256_storeu_pd(Out, LogLanes(_mm256_loadu_pd(In)));
}

}  // namespace
#endif

void GaussLogs(const double* In, double* Out, size_t Count) {
  size_t k = 0;
#if QV_X86_KERNELS
  if (__builtin_cpu_supports("avx2"))
    for (; k + 4 <= Count; k += 4) StoreLogs(In + k, Out + k);
#endif
  for (; k < Count; ++k) Out[k] = std::log(In[k]);
}

void GaussDeviatesOfPairs(const float* Pairs, size_t Count, float* Out) {
#if QV_X86_KERNELS
  static const bool Avx2 = __builtin_cpu_supports("avx2");
  if (Avx2) return GaussDeviatesOfPairsAvx2(Pairs, Count, Out);
#endif
  GaussDeviatesOfPairsBaseline(Pairs, Count, Out);
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
