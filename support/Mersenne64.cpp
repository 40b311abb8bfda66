#include "Mersenne64.h"

#include <algorithm>

#include "GaussianDeviate.h"
#include "Vectors.h"

#if QV_X86_KERNELS
#include <immintrin.h>
#endif

namespace qv {

namespace {

constexpr size_t N = TMersenne64::Words, M = 156;
constexpr uint64_t Upper = 0xFFFFFFFF80000000ULL, Lower = 0x7FFFFFFFULL, Matrix = 0xB5026F5AA96619E9ULL;

// A word of the next block from the word at its place, the one after it and the one M places on
// (of the old block, or already of the new one, as the standard's recurrence takes them).
inline uint64_t Next(uint64_t Word, uint64_t Successor, uint64_t Far) {
  const uint64_t Y = (Word & Upper) | (Successor & Lower);
  return Far ^ (Y >> 1) ^ ((uint64_t{0} - (Y & 1)) & Matrix);
}

}  // namespace

namespace mersenne {

void TwistBaseline(const uint64_t* Old, uint64_t* New) {
  for (size_t k = 0; k < N - M; ++k) New[k] = Next(Old[k], Old[k + 1], Old[k + M]);
  for (size_t k = N - M; k < N - 1; ++k) New[k] = Next(Old[k], Old[k + 1], New[k - (N - M)]);
  New[N - 1] = Next(Old[N - 1], New[0], New[M - 1]);
}

void UniformsBaseline(const uint64_t* Words, float* Out, size_t Count) {
  for (size_t i = 0; i < Count; ++i) Out[i] = GaussUniform(TMersenne64::Temper(Words[i]));
}

}  // namespace mersenne

namespace {

#if QV_X86_KERNELS
__attribute__((target("avx2"))) inline __m256i NextLanes(__m256i Word, __m256i Successor, __m256i Far) {
  const __m256i Y = _mm256_or_si256(_mm256_and_si256(Word, _mm256_set1_epi64x(static_cast<int64_t>(Upper))),
                                    _mm256_and_si256(Successor, _mm256_set1_epi64x(static_cast<int64_t>(Lower))));
  const __m256i Odd = _mm256_sub_epi64(_mm256_setzero_si256(), _mm256_and_si256(Y, _mm256_set1_epi64x(1)));
  return _mm256_xor_si256(_mm256_xor_si256(Far, _mm256_srli_epi64(Y, 1)),
                          _mm256_and_si256(Odd, _mm256_set1_epi64x(static_cast<int64_t>(Matrix))));
}

__attribute__((target("avx2"))) inline __m256i Load(const uint64_t* At) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(At)); }

// Four words at a time: within each loop the four words of a step depend on none of the others.
__attribute__((target("avx2"))) void TwistAvx2(const uint64_t* Old, uint64_t* New) {
  size_t k = 0;
  for (; k < N - M; k += 4)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(New + k), NextLanes(Load(Old + k), Load(Old + k + 1), Load(Old + k + M)));
  for (; k + 4 <= N - 1; k += 4)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(New + k),
                        NextLanes(Load(Old + k), Load(Old + k + 1), Load(New + k - (N - M))));
  for (; k < N - 1; ++k) New[k] = Next(Old[k], Old[k + 1], New[k - (N - M)]);
  New[N - 1] = Next(Old[N - 1], New[0], New[M - 1]);
}

// Temper, then GaussUniform: the 53 high bits r of the draw as a double in two exact halves,
// 2 (r 2^-53) - 1 (exact), rounded to float once.
__attribute__((target("avx2"))) void UniformsAvx2(const uint64_t* Words, float* Out, size_t Count) {
  const __m256i ExponentBits = _mm256_set1_epi64x(0x4330000000000000LL);
  const __m256d Two52 = _mm256_set1_pd(0x1.0p52), Two32 = _mm256_set1_pd(0x1.0p32);
  size_t i = 0;
  for (; i + 4 <= Count; i += 4) {
    __m256i Z = Load(Words + i);
    Z = _mm256_xor_si256(Z, _mm256_and_si256(_mm256_srli_epi64(Z, 29), _mm256_set1_epi64x(0x5555555555555555LL)));
    Z = _mm256_xor_si256(
        Z, _mm256_and_si256(_mm256_slli_epi64(Z, 17), _mm256_set1_epi64x(static_cast<int64_t>(0x71D67FFFEDA60000ULL))));
    Z = _mm256_xor_si256(
        Z, _mm256_and_si256(_mm256_slli_epi64(Z, 37), _mm256_set1_epi64x(static_cast<int64_t>(0xFFF7EEE000000000ULL))));
    Z = _mm256_xor_si256(Z, _mm256_srli_epi64(Z, 43));
    const __m256i R = _mm256_srli_epi64(Z, 11);
    const __m256d High =
        _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(_mm256_srli_epi64(R, 32), ExponentBits)), Two52);
    const __m256d Low = _mm256_sub_pd(
        _mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(R, _mm256_set1_epi64x(0xFFFFFFFFLL)), ExponentBits)),
        Two52);
    const __m256d Uniform = _mm256_add_pd(_mm256_mul_pd(High, Two32), Low);
    const __m256d Value =
        _mm256_sub_pd(_mm256_mul_pd(_mm256_set1_pd(2.0), _mm256_mul_pd(Uniform, _mm256_set1_pd(0x1.0p-53))),
                      _mm256_set1_pd(1.0));
    _mm_storeu_ps(Out + i, _mm256_cvtpd_ps(Value));
  }
  mersenne::UniformsBaseline(Words + i, Out + i, Count - i);
}

const bool Avx2 = __builtin_cpu_supports("avx2");
#endif

}  // namespace

namespace mersenne {

void Twist(const uint64_t* Old, uint64_t* New) {
#if QV_X86_KERNELS
  if (Avx2) return TwistAvx2(Old, New);
#endif
  TwistBaseline(Old, New);
}

void Uniforms(const uint64_t* Words, float* Out, size_t Count) {
#if QV_X86_KERNELS
  if (Avx2) return UniformsAvx2(Words, Out, Count);
#endif
  UniformsBaseline(Words, Out, Count);
}

}  // namespace mersenne

namespace {

// Hands std::mt19937_64::seed the words of a block, as the standard's seeding by a sequence
// takes them (two 32-bit values a word, low half first): the engine then stands where the
// block has just been drawn to its end.
struct TBlockSeed {
  using result_type = uint32_t;
  const uint64_t* Words;
  template <class It>
  void generate(It Begin, It End) {
    for (size_t i = 0; Begin != End; ++i) *Begin++ = static_cast<uint32_t>(Words[i / 2] >> (i % 2 * 32));
  }
};

}  // namespace

TMersenne64::TMersenne64(const std::mt19937_64& Generator) : FOrigin(Generator) {
  // The next Words draws, untempered, are the state block they come from.
  std::mt19937_64 Ahead = Generator;
  for (size_t i = 0; i < Words; ++i) FBlocks[0][i] = Untemper(Ahead());
}

uint64_t TMersenne64::Untemper(uint64_t Z) {
  Z ^= Z >> 43;
  Z ^= (Z << 37) & 0xFFF7EEE000000000ULL;
  uint64_t Y = Z;
  for (int i = 0; i < 4; ++i) Y = Z ^ ((Y << 17) & 0x71D67FFFEDA60000ULL);
  Z = Y;
  for (int i = 0; i < 3; ++i) Y = Z ^ ((Y >> 29) & 0x5555555555555555ULL);
  return Y;
}

void TMersenne64::Twist() {
  mersenne::Twist(FBlocks[FCurrent], FBlocks[1 - FCurrent]);
  FCurrent = 1 - FCurrent;
  FNext = 0;
  FHavePrevious = true;
}

void TMersenne64::Uniforms(float* Out, size_t Count) {
  while (Count > 0) {
    if (FNext == Words) Twist();
    const size_t n = std::min(Count, Words - FNext);
    mersenne::Uniforms(FBlocks[FCurrent] + FNext, Out, n);
    if (!FHavePrevious) FSinceOrigin += n;
    FNext += n;
    Out += n;
    Count -= n;
  }
}

std::mt19937_64 TMersenne64::Standard() const {
  std::mt19937_64 Generator = FOrigin;
  if (!FHavePrevious) {
    Generator.discard(FSinceOrigin);
    return Generator;
  }
  // Seeding takes the previous block as the words drawn last (a block twisted from another is
  // never the one all-zero state that seeding would change), then the engine twists the
  // current one from it.
  TBlockSeed Seed{FBlocks[1 - FCurrent]};
  Generator.seed(Seed);
  Generator.discard(FNext);
  return Generator;
}

}  // namespace qv
