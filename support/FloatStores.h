#pragma once
// Checked stores and elementary functions for the numeric routines: every operation that
// would raise on the original hardware (overflow into a narrower type, division by zero,
// logarithm or root of an invalid argument) throws EArithmetic here, so no NaN or infinity
// escapes into a result.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "Errors.h"
#include "Types.h"

namespace qv::fp {

inline constexpr const char* kOverflow = "Floating point overflow";
inline constexpr const char* kZeroDivide = "Floating point division by zero";
inline constexpr const char* kInvalid = "Invalid floating point operation";

// Rounds to 32 bits; values that would round to infinity overflow.
inline float Single(Extended v) {
  if (std::isnan(v)) throw EArithmetic(kInvalid);
  if (!(std::fabs(v) < 0x1.ffffffp127L)) throw EArithmetic(kOverflow);
  return static_cast<float>(v);
}

// Rounds to 64 bits; values that would round to infinity overflow.
inline double Double(Extended v) {
  if (std::isnan(v)) throw EArithmetic(kInvalid);
  if (!(std::fabs(v) < 0x1.fffffffffffff8p1023L)) throw EArithmetic(kOverflow);
  return static_cast<double>(v);
}

// An Extended result that must stay finite.
inline Extended Finite(Extended v) {
  if (std::isnan(v)) throw EArithmetic(kInvalid);
  if (std::isinf(v)) throw EArithmetic(kOverflow);
  return v;
}

inline Extended Div(Extended a, Extended b) {
  if (b == 0) throw EArithmetic(a == 0 || std::isnan(a) ? kInvalid : kZeroDivide);
  return Finite(a / b);
}

inline Extended Ln(Extended x) {
  if (std::isnan(x) || x < 0) throw EArithmetic(kInvalid);
  if (x == 0) throw EArithmetic(kZeroDivide);
  return Finite(std::log(x));
}

inline Extended Sqrt(Extended x) {
  if (std::isnan(x) || x < 0) throw EArithmetic(kInvalid);
  return Finite(std::sqrt(x));
}

inline Extended Exp(Extended x) { return Finite(std::exp(Finite(x))); }

// Whether a nonzero deviation can be inverted and squared as a 32-bit float without overflow
// or a square that vanishes, so Z scores and variances computed from it stay finite.
inline bool DeviationFits(Extended Dev) {
  const Extended A = std::fabs(Dev);
  return A * A <= 0x1.fffffep127L && A * A >= 0x1p-126L && 1 / A <= 0x1.fffffep127L;
}

// True when Value lies within Ulps units of its last place of a point halfway between two
// adjacent floats, or outside the range of normal floats. A double holds 29 bits more than a
// float, so the halfway points are the doubles whose low 29 bits are 1 followed by zeros. A value
// computed in double that is further than its error bound from every such point rounds to the
// float of the exact value, as an extended computation with the smaller error does.
inline bool NearFloatMidpoint(double Value, uint64_t Ulps) {
  uint64_t Bits;
  std::memcpy(&Bits, &Value, 8);
  const int64_t Exponent = static_cast<int64_t>(Bits >> 52 & 0x7FF) - 1023;
  if (Exponent < -126 || Exponent > 127) return true;
  const uint64_t Low = Bits & ((uint64_t{1} << 29) - 1), Half = uint64_t{1} << 28;
  return (Low > Half ? Low - Half : Half - Low) <= Ulps;
}

}  // namespace qv::fp
