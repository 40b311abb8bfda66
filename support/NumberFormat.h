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
