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
  for (size_t k = 0; k < N; ++k) {
    V4F Lanes;
    for (size_t b = 0; b < Batch; ++b) Lanes[b] = Raw[std::min(b, Count - 1)][k];
    R[k] = __builtin_convertvector(Lanes, V4D);
  }
  V4L Hard = {0, 0, 0, 0};
  for (size_t i0 = 0; i0 < N; i0 += 4) {
    V4D Sum[4] = {};
    V4F Rounded[4] = {};
    for (size_t k = N; k-- > 0;) {
      const double* Column = FColumns.data() + (k * static_cast<size_t>(FGroups) + i0 / 4) * 4;
      for (size_t j = 0; j < 4; ++j) {
        const V4D Step = Column[j] * R[k] + Sum[j];
        Rounded[j] = __builtin_convertvector(Step, V4F);
        Sum[j] = __builtin_convertvector(Rounded[j], V4D);
        // The float nearest the step and the one on its other side are Sum and Sum + 2 (Step -
        // Sum); the second is a float too (exactly) only when the step lies halfway between them.
        // A step beyond the floats rounds to infinity and is caught the same way.
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
