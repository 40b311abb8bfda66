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
  // Four events side by side: the steps of one product wait on each other, those of four do not.
  const float* R[Batch];
  for (size_t b = 0; b < Batch; ++b) R[b] = Raw[std::min(b, Count - 1)];
  const size_t G = static_cast<size_t>(FGroups);
  const V4L Magnitude = {INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX};
  uint32_t Hard = 0;
  for (size_t g = 0; g < G; ++g) {
    V4D Sum[Batch] = {};
    V4L OutOfRange[Batch] = {};
    V4I Midpoint[Batch] = {};
    for (int32_t k = FSize - 1; k >= 0; --k) {
      V4D Column;
      std::memcpy(&Column, FColumns.data() + (static_cast<size_t>(k) * G + g) * 4, sizeof(Column));
      for (size_t b = 0; b < Batch; ++b) {
        const V4D Step = Column * static_cast<double>(R[b][k]) + Sum[b];
        // A zero sum is exact; any other must be a normal float below 2^127 and not a midpoint.
        V4L Bits;
        std::memcpy(&Bits, &Step, sizeof(Bits));
        Bits &= Magnitude;
        V4D Size;
        std::memcpy(&Size, &Bits, sizeof(Size));
        OutOfRange[b] |= (Size != 0) & ((Size < 0x1p-126) | !(Size < 0x1p127));
        Midpoint[b] |= (LowWords(Step) & ((1 << 29) - 1)) == (1 << 28);
        Sum[b] = __builtin_convertvector(__builtin_convertvector(Step, V4F), V4D);
      }
    }
    const size_t Lanes = std::min<size_t>(4, static_cast<size_t>(FSize) - 4 * g);
    for (size_t b = 0; b < Count; ++b) {
      if (AnyLane(OutOfRange[b]) || AnyLane(Midpoint[b])) Hard |= 1u << b;
      const V4F Rounded = __builtin_convertvector(Sum[b], V4F);
      std::memcpy(Out[b] + 4 * g, &Rounded, Lanes * sizeof(float));
    }
  }
  return Hard;
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
