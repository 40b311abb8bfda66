#pragma once
// Four-lane vectors for the loops that run over millions of values (GCC and Clang map them to
// what the target has: two SSE registers each on x86-64-v2, one AVX register with AVX2). The hot
// loops are built for the baseline and, on x86-64, for AVX2 too, the one to run chosen at run
// time. Every lane does the same IEEE operations either way, so the results are the same on
// every machine.
#include <cstdint>
#include <cstring>

namespace qv::simd {

typedef float V4F __attribute__((vector_size(16)));
typedef int32_t V4I __attribute__((vector_size(16)));
typedef uint32_t V4U __attribute__((vector_size(16)));
typedef double V4D __attribute__((vector_size(32)));
typedef int64_t V4L __attribute__((vector_size(32)));
typedef int32_t V8I __attribute__((vector_size(32)));

// The low 32 bits of each double's representation.
inline V4I LowWords(const V4D& Value) {
  V8I Words;
  std::memcpy(&Words, &Value, sizeof(Words));
  return __builtin_shufflevector(Words, Words, 0, 2, 4, 6);
}

template <class TVector>
bool AnyLane(const TVector& Mask) {
  uint64_t Words[sizeof(TVector) / 8];
  std::memcpy(Words, &Mask, sizeof(Words));
  uint64_t Any = 0;
  for (uint64_t W : Words) Any |= W;
  return Any != 0;
}

}  // namespace qv::simd

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QV_X86_KERNELS 1
#else
#define QV_X86_KERNELS 0
#endif
