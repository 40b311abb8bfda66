#include "analysis/StaticProduct.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "FloatStores.h"
#include "Vectors.h"

// The vectors stay inside inlined code; no function passes one by value across a boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

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

QV_VECTOR_CLONES
uint32_t TStaticProduct::Compute(const float* const* Raw, float* const* Out, size_t Count) const {
  using namespace simd;
  // Four events side by side, one in each lane, and four rows at a time: the steps of one sum
  // wait on each other, those of sixteen do not.
  const size_t N = static_cast<size_t>(FSize);
  V4D R[16];
  for (size_t k = 0; k < N; ++k)
    for (size_t b = 0; b < Batch; ++b) R[k][b] = Raw[std::min(b, Count - 1)][k];
  V4I Hard = {0, 0, 0, 0};
  for (size_t i0 = 0; i0 < N; i0 += 4) {
    V4D Sum[4] = {};
    for (size_t k = N; k-- > 0;) {
      const double* Column = FColumns.data() + (k * static_cast<size_t>(FGroups) + i0 / 4) * 4;
      for (size_t j = 0; j < 4; ++j) {
        const V4D Step = Column[j] * R[k] + Sum[j];
        // A zero sum is exact; any other must be a normal float below 2^127 and not a midpoint.
        V8I Words;
        std::memcpy(&Words, &Step, sizeof(Words));
        const V4I Low = __builtin_shufflevector(Words, Words, 0, 2, 4, 6);
        const V4I Exponent = (__builtin_shufflevector(Words, Words, 1, 3, 5, 7) >> 20) & 0x7FF;
        Hard |= ((Low & ((1 << 29) - 1)) == (1 << 28)) | ((Exponent != 0) & (Exponent < 1023 - 126)) |
                (Exponent > 1023 + 126);
        Sum[j] = __builtin_convertvector(__builtin_convertvector(Step, V4F), V4D);
      }
    }
    const size_t Rows = std::min<size_t>(4, N - i0);
    for (size_t j = 0; j < Rows; ++j) {
      const V4F Rounded = __builtin_convertvector(Sum[j], V4F);
      for (size_t b = 0; b < Count; ++b) Out[b][i0 + j] = Rounded[b];
    }
  }
  uint32_t Mask = 0;
  for (size_t b = 0; b < Count; ++b)
    if (Hard[b]) Mask |= 1u << b;
  return Mask;
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
