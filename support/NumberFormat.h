#pragma once
// Number formatting and parsing used by every report, export and settings value.
#include <cstdint>
#include <string>

#include "Types.h"

namespace qv {

// Process-wide decimal separator; the program always uses '.', tests may set ','.
char DecimalSeparator();
void SetDecimalSeparator(char separator);

// Formats Value with a mask: '0' digit always written, '#' digit written when significant,
// '.' decimal separator, ',' thousands grouping, "E+"/"E-"/"e+"/"e-" scientific notation
// (zeros after it give the minimum exponent digits), quoted text and other characters literal,
// up to three ';'-separated sections (positive;negative;zero). Decimal digits are rounded half
// away from zero from the exact binary value; no minus sign is printed when every printed digit
// is zero.
std::string FormatFloat(const std::string& Mask, Extended Value);

// FormatFloat with one mask parsed once, for exports and grids that format millions of values.
// Fixed-point masks of one section are formatted in place without allocating; every other
// mask falls back to FormatFloat. The text is always FormatFloat's.
class TFixedFormat {
 public:
  explicit TFixedFormat(std::string Mask);
  const std::string& Mask() const { return FMask; }
  // Appends FormatFloat(Mask, Value) to Text. Stored 32-bit values take a shorter road.
  void AppendTo(std::string& Text, Extended Value) const;
  void AppendTo(std::string& Text, double Value) const { AppendTo(Text, static_cast<Extended>(Value)); }
  void AppendTo(std::string& Text, float Value) const;
  std::string operator()(Extended Value) const;
  std::string operator()(double Value) const { return (*this)(static_cast<Extended>(Value)); }
  std::string operator()(float Value) const;

 private:
  // Value = M x 2^E; Value is kept for the general road.
  void AppendExact(std::string& Text, uint64_t M, int E, bool Negative, Extended Value) const;
  std::string FMask;
  bool FFast = false;
  std::string FPrefix, FSuffix;
  int FMinInt = 0;
  int FDecimals = 0;
  int FMinDecimals = 0;
  bool FThousands = false;
};

// General format with 15 significant digits ("1.96000003814697", "4", "1E20", "1.5E-6").
std::string FloatToStr(Extended Value);

std::string IntToStr(int64_t Value);

// Decimal text with the current separator, optional sign and exponent, blanks around allowed.
bool TryStrToFloat(const std::string& Text, Extended& Value);
Extended StrToFloat(const std::string& Text);  // EConvertError when it does not convert
// Decimal, or hexadecimal with "0x"/"$"; leading blanks allowed; must fit 32 bits.
bool TryStrToInt(const std::string& Text, int32_t& Value);
int32_t StrToInt(const std::string& Text);  // EConvertError when it does not convert
int32_t StrToIntDef(const std::string& Text, int32_t Default);

// Decimal digits of Value with zeros in front (after a minus sign) up to Width characters.
std::string IntToStrZeroPad(int64_t Value, int32_t Width);

// Value with LargeMask when abs(Value) >= Threshold, else with SmallMask. A NaN or an infinity
// throws EArithmetic rather than reach a report.
std::string FormatFloatByMagnitude(const std::string& SmallMask, const std::string& LargeMask, double Threshold,
                                   double Value);

}  // namespace qv
