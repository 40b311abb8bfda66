#pragma once
// log10 of millions of stored floats, rounded to float: the same floats as
//   Value > Above ? static_cast<float>(std::log10(static_cast<double>(Value))) : 0
// at a fraction of its cost. Four values at a time take a double-precision logarithm of a few
// units in the last place; where that lies so close to a point halfway between two floats that
// it and the library's logarithm could round apart, or where the value is subnormal, infinite or
// exactly 1, the library's logarithm is taken instead.
#include <cstddef>
#include <cstdint>

namespace qv {

// Out must not overlap In. Above must not be negative. Where the processor has AVX2 the loop
// built for it runs; Log10AboveBaseline runs the one for the baseline instruction set anywhere.
void Log10Above(const float* In, float* Out, size_t Count, float Above);
void Log10AboveBaseline(const float* In, float* Out, size_t Count, float Above);

// The library's value, as the stages computed it before.
float Log10AboveReference(float Value, float Above);

// The double-precision logarithm of the fast path for one positive normal float, and whether its
// float is taken from it (false: the library's logarithm decides), for the tests that bound it.
double FastLog10(float Value);
bool FastLog10Rounds(double Log);

}  // namespace qv
