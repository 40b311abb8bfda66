#pragma once
// The static compensation's product Compensated = Matrix x Raw: each sum from the last term to
// the first, rounded to 32 bits at every step (as MultiplyMatrix computes it), the product and
// sum of each step in extended precision.
//
// TStaticProduct computes the same in double, four events at a time. A float times a float is
// exact in double, and a sum rounded to double rounds to the same float as the extended sum
// unless the double lands exactly on a point halfway between two floats; such steps, and steps
// beyond the floats, are left to MultiplyStatic.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Types.h"

namespace qv {

void MultiplyStatic(const TMatrix& Matrix, std::span<const float> Raw, std::span<float> Compensated);

class TStaticProduct {
 public:
  // Matrix is square (N x N).
  explicit TStaticProduct(const TMatrix& Matrix);
  static constexpr size_t Batch = 4;
  // The N compensated values of Raw[b] into Out[b] for b < Count (at most Batch); answers the
  // events (bit b) whose values MultiplyStatic must give instead.
  uint32_t Compute(const float* const* Raw, float* const* Out, size_t Count) const;
  // The same on the baseline instruction set where Compute takes AVX2 (for the tests).
  uint32_t ComputeBaseline(const float* const* Raw, float* const* Out, size_t Count) const;
  // The largest |value| any step can reach with every |Raw[k]| at most RawBound[k] (some margin
  // over the exact bound; infinite when any input is not finite).
  double StepBound(std::span<const double> RawBound) const;

 private:
  int32_t FSize = 0;
  int32_t FGroups = 0;
  std::vector<double> FColumns;  // [k][group][lane]: Matrix[4 group + lane][k], 0 past the rows
  TMatrix FMatrix;
};

}  // namespace qv
