#include "analysis/StaticProduct.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "FloatStores.h"
#include "Vectors.h"

#if QV_X86_KERNELS
#include <immintrin.h>
#endif

namespace qv {

void MultiplyStatic(const TMatrix& Matrix, std::span<const float> Raw, std::span<float> Compensated) {
  const int32_t N = static_cast<int32_t>(Raw.size());
  for (int32_t i = 0; i < N; ++i) {
    const float* Row = Matrix[static_cast<size_t>(i)].data();
    float Sum = 0.0f;
    for (int32_t k = N - 1; k >= 0; --k) Sum = fp::Single(static_cast<Extended>(Row[k]) * Raw[k] + Sum);
    Compensated[i] = Sum;
  }
}

TStaticProduct::TStaticProduct(const TMatrix& Matrix)
    : FSize(static_cast<int32_t>(Matrix.size())), FGroups((FSize + 3) / 4), FMatrix(Matrix) {
  FColumns.assign(static_cast<size_t>(FSize) * static_cast<size_t>(FGroups) * 4, 0.0);
  for (int32_t k = 0; k < FSize; ++k)
    for (int32_t i = 0; i < FSize; ++i)
      FColumns[(static_cast<size_t>(k) * FGroups + i / 4) * 4 + i % 4] = Matrix[i][k];
}

namespace {

// The float nearest each step and the one on its other side are Sum and Sum + 2 (Step - Sum);
// the second is a float too (exactly) only when the step lies halfway between them. A step
// beyond the floats rounds to infinity and is caught the same way. Four events side by side,
// one in each lane, and four rows at a time: the steps of one sum wait on each other, those of
// sixteen do not. Both versions do the same operations on each lane.
uint32_t ProductOfFour(const double* Columns, size_t N, size_t Groups, const float* const* Raw, float* const* Out,
                       size_t Count) {
  using namespace simd;
  V4D R[16];
  for (size_t k = 0; k < N; ++k) {
    V4F Lanes;
    for (size_t b = 0; b < TStaticProduct::Batch; ++b) Lanes[b] = Raw[std::min(b, Count - 1)][k];
    R[k] = __builtin_convertvector(Lanes, V4D);
  }
  V4L Hard = {0, 0, 0, 0};
  for (size_t i0 = 0; i0 < N; i0 += 4) {
    V4D Sum[4] = {};
    V4F Rounded[4] = {};
    for (size_t k = N; k-- > 0;) {
      const double* Column = Columns + (k * Groups + i0 / 4) * 4;
      for (size_t j = 0; j < 4; ++j) {
        const V4D Step = Column[j] * R[k] + Sum[j];
        Rounded[j] = __builtin_convertvector(Step, V4F);
        Sum[j] = __builtin_convertvector(Rounded[j], V4D);
        const V4D Error = Step - Sum[j];
        const V4D Mirror = Step + Error;
        Hard |= (Error != 0) & (__builtin_convertvector(__builtin_convertvector(Mirror, V4F), V4D) == Mirror);
      }
    }
    const size_t Rows = std::min<size_t>(4, N - i0);
    for (size_t j = 0; j < Rows; ++j)
      for (size_t b = 0; b < Count; ++b) Out[b][i0 + j] = Rounded[j][b];
  }
  uint32_t Mask = 0;
  for (size_t b = 0; b < Count; ++b)
    if (Hard[b]) Mask |= 1u << b;
  return Mask;
}

#if QV_X86_KERNELS
// The same with AVX2 instructions written out (the compiler's own lowering of the vector
// conversions goes through memory).
__attribute__((target("avx2"))) uint32_t ProductOfFourAvx2(const double* Columns, size_t N, size_t Groups,
                                                           const float* const* Raw, float* const* Out, size_t Count) {
  const float* P[4];
  for (size_t b = 0; b < 4; ++b) P[b] = Raw[std::min(b, Count - 1)];
  __m256d R[16];
  for (size_t k = 0; k < N; ++k) R[k] = _mm256_cvtps_pd(_mm_setr_ps(P[0][k], P[1][k], P[2][k], P[3][k]));
  const __m256d Zero = _mm256_setzero_pd();
  __m256d Hard = Zero;
  for (size_t i0 = 0; i0 < N; i0 += 4) {
    __m256d Sum[4] = {Zero, Zero, Zero, Zero};
    __m128 Rounded[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (size_t k = N; k-- > 0;) {
      const double* Column = Columns + (k * Groups + i0 / 4) * 4;
      for (size_t j = 0; j < 4; ++j) {
        const __m256d Step = _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(Column[j]), R[k]), Sum[j]);
        Rounded[j] = _mm256_cvtpd_ps(Step);
        Sum[j] = _mm256_cvtps_pd(Rounded[j]);
        const __m256d Error = _mm256_sub_pd(Step, Sum[j]);
        const __m256d Mirror = _mm256_add_pd(Step, Error);
        const __m256d Back = _mm256_cvtps_pd(_mm256_cvtpd_ps(Mirror));
        Hard = _mm256_or_pd(Hard, _mm256_and_pd(_mm256_cmp_pd(Error, Zero, _CMP_NEQ_UQ),
                                                _mm256_cmp_pd(Back, Mirror, _CMP_EQ_OQ)));
      }
    }
    const size_t Rows = std::min<size_t>(4, N - i0);
    for (size_t j = 0; j < Rows; ++j) {
      float Lanes[4];
      _mm_storeu_ps(Lanes, Rounded[j]);
      for (size_t b = 0; b < Count; ++b) Out[b][i0 + j] = Lanes[b];
    }
  }
  return static_cast<uint32_t>(_mm256_movemask_pd(Hard)) & ((1u << Count) - 1);
}
#endif

}  // namespace

uint32_t TStaticProduct::Compute(const float* const* Raw, float* const* Out, size_t Count) const {
  const size_t N = static_cast<size_t>(FSize), G = static_cast<size_t>(FGroups);
#if QV_X86_KERNELS
  static const bool Avx2 = __builtin_cpu_supports("avx2");
  if (Avx2) return ProductOfFourAvx2(FColumns.data(), N, G, Raw, Out, Count);
#endif
  return ProductOfFour(FColumns.data(), N, G, Raw, Out, Count);
}

uint32_t TStaticProduct::ComputeBaseline(const float* const* Raw, float* const* Out, size_t Count) const {
  return ProductOfFour(FColumns.data(), static_cast<size_t>(FSize), static_cast<size_t>(FGroups), Raw, Out, Count);
}

double TStaticProduct::StepBound(std::span<const double> RawBound) const {
  double Largest = 0;
  for (int32_t i = 0; i < FSize; ++i) {
    double Sum = 0;
    for (int32_t k = 0; k < FSize; ++k) Sum += std::fabs(static_cast<double>(FMatrix[i][k])) * RawBound[k];
    if (!(Sum <= std::numeric_limits<double>::max())) return INFINITY;
    Largest = std::max(Largest, Sum);
  }
  // Each of at most 15 roundings to float adds at most 2^-24 of the value.
  return Largest * 1.001;
}

}  // namespace qv
