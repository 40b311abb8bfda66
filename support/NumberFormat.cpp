#include "NumberFormat.h"

#include <charconv>
#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "Errors.h"

namespace qv {

namespace {

char GDecimalSeparator = '.';

using u128 = unsigned __int128;

const uint64_t Pow10[20] = {1ULL,
                            10ULL,
                            100ULL,
                            1000ULL,
                            10000ULL,
                            100000ULL,
                            1000000ULL,
                            10000000ULL,
                            100000000ULL,
                            1000000000ULL,
                            10000000000ULL,
                            100000000000ULL,
                            1000000000000ULL,
                            10000000000000ULL,
                            100000000000000ULL,
                            1000000000000000ULL,
                            10000000000000000ULL,
                            100000000000000000ULL,
                            1000000000000000000ULL,
                            10000000000000000000ULL};

std::string U128ToString(u128 N) {
  if (N == 0) return "0";
  char Buffer[48];
  int Pos = 48;
  while (N > 0) {
    Buffer[--Pos] = static_cast<char>('0' + static_cast<int>(N % 10));
    N /= 10;
  }
  return std::string(Buffer + Pos, Buffer + 48);
}

// Exact path: the full decimal expansion of the value, rounded by hand.
std::string RoundedDigitsExact(Extended AbsValue, int Decimals, bool Truncate = false) {
  // 12000 significant digits hold the exact expansion of every long double.
  static thread_local std::vector<char> Buffer(12100);
  std::snprintf(Buffer.data(), Buffer.size(), "%.11999Le", AbsValue);
  std::string Mantissa;
  const char* P = Buffer.data();
  for (; *P && *P != 'e'; ++P)
    if (*P >= '0' && *P <= '9') Mantissa += *P;
  const int Exponent = (*P == 'e') ? std::atoi(P + 1) : 0;
  // Value = 0.Mantissa x 10^(Exponent + 1); keep K digits before the rounding point.
  const long K = static_cast<long>(Exponent) + 1 + Decimals;
  if (K < 0) return "0";
  if (K == 0) return (!Truncate && Mantissa[0] >= '5') ? "1" : "0";
  std::string Digits;
  if (static_cast<size_t>(K) >= Mantissa.size()) {
    Digits = Mantissa + std::string(static_cast<size_t>(K) - Mantissa.size(), '0');
    return Digits;
  }
  Digits = Mantissa.substr(0, static_cast<size_t>(K));
  if (!Truncate && Mantissa[static_cast<size_t>(K)] >= '5') {
    int i = static_cast<int>(Digits.size()) - 1;
    while (i >= 0 && Digits[i] == '9') Digits[i--] = '0';
    if (i < 0)
      Digits.insert(Digits.begin(), '1');
    else
      ++Digits[i];
  }
  size_t First = Digits.find_first_not_of('0');
  return First == std::string::npos ? "0" : Digits.substr(First);
}

// Decimal digits of round-half-away(AbsValue x 10^Decimals), or of its floor when Truncate,
// computed exactly.
std::string RoundedDigits(Extended AbsValue, int Decimals, bool Truncate = false) {
  if (AbsValue == 0) return "0";
  int Exp2 = 0;
  const Extended Fraction = std::frexp(AbsValue, &Exp2);  // AbsValue = Fraction x 2^Exp2
  const uint64_t M = static_cast<uint64_t>(std::ldexp(Fraction, 64));
  int E = Exp2 - 64;  // AbsValue = M x 2^E exactly
  if (Decimals >= 0 && Decimals <= 19) {
    u128 P = static_cast<u128>(M) * Pow10[Decimals];
    if (E >= 0) {
      if (E < 128 && (P >> (127 - E)) == 0) return U128ToString(P << E);
    } else {
      const int S = -E;
      if (S > 128) return "0";
      if (S == 128) return (!Truncate && (P >> 127)) ? "1" : "0";
      u128 N = P >> S;
      if (!Truncate && ((P >> (S - 1)) & 1)) ++N;
      return U128ToString(N);
    }
  } else if (Decimals < 0 && Decimals >= -19 && E >= -64 && E <= 0) {
    // AbsValue / 10^k with AbsValue = M / 2^s: N = round(M / (10^k x 2^s)).
    const u128 Divisor = static_cast<u128>(Pow10[-Decimals]) << (-E);
    const u128 Numerator = M;
    u128 N = Numerator / Divisor;
    const u128 Rest = Numerator % Divisor;
    if (!Truncate && Rest >= Divisor - Rest) ++N;
    return U128ToString(N);
  }
  return RoundedDigitsExact(AbsValue, Decimals, Truncate);
}

// Decimal exponent X with 10^X <= AbsValue < 10^(X+1), AbsValue > 0.
int DecimalExponent(Extended AbsValue) {
  int X = static_cast<int>(std::floor(std::log10(AbsValue)));
  // log10 may be off by one near powers of ten: settle X on the exact integer part of v / 10^X.
  for (int Tries = 0; Tries < 4; ++Tries) {
    const size_t Digits = RoundedDigits(AbsValue, -X, true).size();
    if (Digits > 1) {
      ++X;
    } else if (RoundedDigits(AbsValue, -X, true) == "0") {
      --X;
    } else {
      break;
    }
  }
  return X;
}

struct TSection {
  std::string Prefix, Suffix;
  int IntPlaces = 0;     // '0' and '#' before the point
  int MinInt = 0;        // digits always written before the point
  int Decimals = 0;      // '0' and '#' after the point
  int MinDecimals = 0;   // decimals always written
  bool HasPoint = false;
  bool Thousands = false;
  bool Scientific = false;
  char ExpChar = 'E';
  bool ExpPlus = false;  // "E+": sign always written
  int ExpDigits = 0;
};

TSection ParseSection(const std::string& Mask) {
  TSection S;
  bool SeenPlaceholder = false, AfterNumber = false, InDecimals = false;
  size_t i = 0;
  auto AddLiteral = [&](char C) {
    if (SeenPlaceholder || AfterNumber)
      S.Suffix += C;
    else
      S.Prefix += C;
  };
  while (i < Mask.size()) {
    const char C = Mask[i];
    if ((C == '"' || C == '\'')) {
      size_t End = Mask.find(C, i + 1);
      if (End == std::string::npos) End = Mask.size();
      for (size_t j = i + 1; j < End; ++j) AddLiteral(Mask[j]);
      i = End + 1;
      continue;
    }
    if (!AfterNumber && (C == '0' || C == '#')) {
      SeenPlaceholder = true;
      if (InDecimals) {
        ++S.Decimals;
        if (C == '0') S.MinDecimals = S.Decimals;
      } else {
        ++S.IntPlaces;
        if (C == '0' && S.MinInt == 0) S.MinInt = 1;
        else if (S.MinInt > 0) ++S.MinInt;
      }
    } else if (!AfterNumber && C == '.' && !InDecimals) {
      InDecimals = true;
      S.HasPoint = true;
      SeenPlaceholder = true;
    } else if (!AfterNumber && C == ',' && !InDecimals && SeenPlaceholder) {
      S.Thousands = true;
    } else if (!AfterNumber && (C == 'E' || C == 'e') && i + 1 < Mask.size() &&
               (Mask[i + 1] == '+' || Mask[i + 1] == '-') && SeenPlaceholder) {
      S.Scientific = true;
      S.ExpChar = C;
      S.ExpPlus = Mask[i + 1] == '+';
      i += 2;
      while (i < Mask.size() && Mask[i] == '0') {
        ++S.ExpDigits;
        ++i;
      }
      AfterNumber = true;
      continue;
    } else {
      if (SeenPlaceholder) AfterNumber = true;
      AddLiteral(C);
    }
    ++i;
  }
  return S;
}

std::string GroupThousands(const std::string& Digits) {
  std::string Result;
  const int N = static_cast<int>(Digits.size());
  for (int i = 0; i < N; ++i) {
    if (i > 0 && (N - i) % 3 == 0) Result += ',';
    Result += Digits[i];
  }
  return Result;
}

// Formats AbsValue by one section; AllZero tells whether every printed digit is zero.
std::string FormatSection(const TSection& S, Extended AbsValue, bool& AllZero) {
  std::string IntPart, FracPart, ExpPart;
  if (!S.Scientific) {
    const std::string D = RoundedDigits(AbsValue, S.Decimals);
    if (static_cast<int>(D.size()) > S.Decimals) {
      IntPart = D.substr(0, D.size() - S.Decimals);
      FracPart = D.substr(D.size() - S.Decimals);
    } else {
      IntPart = "0";
      FracPart = std::string(S.Decimals - D.size(), '0') + D;
    }
  } else {
    const int IntDigits = std::max(1, S.IntPlaces);
    const int Significant = IntDigits + S.Decimals;
    int X = 0;
    std::string D;
    if (AbsValue == 0) {
      D = std::string(Significant, '0');
    } else {
      X = DecimalExponent(AbsValue);
      D = RoundedDigits(AbsValue, Significant - 1 - X);
      if (static_cast<int>(D.size()) > Significant) {  // rounded up to the next power of ten
        ++X;
        D = RoundedDigits(AbsValue, Significant - 1 - X);
      }
    }
    const int Exponent = AbsValue == 0 ? 0 : X - (IntDigits - 1);
    IntPart = D.substr(0, IntDigits);
    FracPart = D.substr(IntDigits);
    std::string ExpDigits = std::to_string(Exponent < 0 ? -Exponent : Exponent);
    if (static_cast<int>(ExpDigits.size()) < S.ExpDigits)
      ExpDigits.insert(0, S.ExpDigits - ExpDigits.size(), '0');
    ExpPart = std::string(1, S.ExpChar) + (Exponent < 0 ? "-" : (S.ExpPlus ? "+" : "")) + ExpDigits;
  }
  AllZero = IntPart.find_first_not_of('0') == std::string::npos &&
            FracPart.find_first_not_of('0') == std::string::npos;
  // Leading zeros beyond the forced integer digits are dropped; trailing optional decimals too.
  size_t FirstSignificant = IntPart.find_first_not_of('0');
  if (FirstSignificant == std::string::npos) FirstSignificant = IntPart.size();
  IntPart = IntPart.substr(FirstSignificant);
  if (static_cast<int>(IntPart.size()) < S.MinInt) IntPart.insert(0, S.MinInt - IntPart.size(), '0');
  while (static_cast<int>(FracPart.size()) > S.MinDecimals && FracPart.back() == '0') FracPart.pop_back();
  if (S.Thousands) IntPart = GroupThousands(IntPart);
  std::string Result = S.Prefix + IntPart;
  if (!FracPart.empty()) Result += GDecimalSeparator + FracPart;
  return Result + ExpPart + S.Suffix;
}

std::vector<std::string> SplitSections(const std::string& Mask) {
  std::vector<std::string> Sections(1);
  char Quote = 0;
  for (char C : Mask) {
    if (Quote) {
      if (C == Quote) Quote = 0;
    } else if (C == '"' || C == '\'') {
      Quote = C;
    } else if (C == ';') {
      Sections.emplace_back();
      continue;
    }
    Sections.back() += C;
  }
  return Sections;
}

void CheckFinite(Extended Value) {
  if (!std::isfinite(Value)) throw EArithmetic("Invalid floating point operation");
}

}  // namespace

char DecimalSeparator() { return GDecimalSeparator; }
void SetDecimalSeparator(char Separator) { GDecimalSeparator = Separator; }

std::string FormatFloat(const std::string& Mask, Extended Value) {
  CheckFinite(Value);
  const std::vector<std::string> Sections = SplitSections(Mask);
  const bool Negative = std::signbit(Value) && Value != 0;
  const Extended AbsValue = std::fabs(Value);
  bool AllZero = false;
  if (Negative && Sections.size() >= 2 && !Sections[1].empty()) {
    std::string Text = FormatSection(ParseSection(Sections[1]), AbsValue, AllZero);
    if (!AllZero || Sections.size() < 3 || Sections[2].empty()) return Text;
    return FormatSection(ParseSection(Sections[2]), 0, AllZero);
  }
  std::string Text = FormatSection(ParseSection(Sections[0]), AbsValue, AllZero);
  if (AllZero && Sections.size() >= 3 && !Sections[2].empty())
    return FormatSection(ParseSection(Sections[2]), 0, AllZero);
  if (Negative && !AllZero) {
    // The sign goes before the first digit, after any literal prefix.
    const TSection S = ParseSection(Sections[0]);
    Text.insert(S.Prefix.size(), 1, '-');
  }
  return Text;
}

TFixedFormat::TFixedFormat(std::string Mask) : FMask(std::move(Mask)) {
  const std::vector<std::string> Sections = SplitSections(FMask);
  if (Sections.size() != 1) return;
  const TSection S = ParseSection(Sections[0]);
  // round(|v| x 10^Decimals) must fit the 128-bit path below.
  if (S.Scientific || S.Decimals > 19) return;
  FFast = true;
  FPrefix = S.Prefix;
  FSuffix = S.Suffix;
  FMinInt = S.MinInt;
  FDecimals = S.Decimals;
  FMinDecimals = S.MinDecimals;
  FThousands = S.Thousands;
}

namespace {

// AbsValue = M x 2^E exactly, M holding the 64 significant bits.
inline void Decompose(Extended AbsValue, uint64_t& M, int& E) {
  if constexpr (std::numeric_limits<Extended>::digits == 64 && sizeof(Extended) >= 10) {
    // x87 extended: the 64-bit significand with its explicit leading bit, then 15 exponent bits.
    unsigned char Bytes[sizeof(Extended)];
    std::memcpy(Bytes, &AbsValue, sizeof Bytes);
    std::memcpy(&M, Bytes, 8);
    const int Biased = (Bytes[8] | (Bytes[9] << 8)) & 0x7FFF;
    E = (Biased == 0 ? 1 : Biased) - 16383 - 63;
  } else {
    int Exp2 = 0;
    const Extended Fraction = std::frexp(AbsValue, &Exp2);
    M = static_cast<uint64_t>(std::ldexp(Fraction, 64));
    E = Exp2 - 64;
  }
}

}  // namespace

void TFixedFormat::AppendTo(std::string& Text, Extended Value) const {
  CheckFinite(Value);
  if (!FFast) {
    Text += FormatFloat(FMask, Value);
    return;
  }
  uint64_t M = 0;
  int E = 0;
  if (Value != 0) Decompose(std::fabs(Value), M, E);
  AppendExact(Text, M, E, Value < 0, Value);
}

void TFixedFormat::AppendTo(std::string& Text, float Value) const {
  uint32_t Bits;
  std::memcpy(&Bits, &Value, sizeof Bits);
  const int Biased = static_cast<int>((Bits >> 23) & 0xFF);
  if (Biased == 0xFF) CheckFinite(Value);
  if (!FFast) {
    Text += FormatFloat(FMask, Value);
    return;
  }
  const uint64_t M = (Bits & 0x7FFFFF) | (Biased ? 0x800000u : 0u);
  AppendExact(Text, M, (Biased == 0 ? 1 : Biased) - 127 - 23, (Bits >> 31) && M != 0, Value);
}

std::string TFixedFormat::operator()(float Value) const {
  std::string Text;
  AppendTo(Text, Value);
  return Text;
}

void TFixedFormat::AppendExact(std::string& Text, uint64_t M, int E, bool Negative, Extended Value) const {
  // N = round-half-away(|Value| x 10^Decimals), exactly, as RoundedDigits computes it.
  u128 N = 0;
  if (M != 0) {
    const u128 P = static_cast<u128>(M) * Pow10[FDecimals];
    if (E >= 0) {
      if (E >= 128 || (P >> (127 - E)) != 0) {
        Text += FormatFloat(FMask, Value);
        return;
      }
      N = P << E;
    } else if (E > -128) {
      N = P >> -E;
      if ((P >> (-E - 1)) & 1) ++N;
    } else if (E == -128) {
      N = (P >> 127) ? 1 : 0;
    }
  }
  // Digits of N, most significant first, at least Decimals + 1 of them.
  char Digits[48];
  char* End = Digits + sizeof Digits;
  char* Begin = End;
  if (N >> 64) {
    while (N > 0) {
      *--Begin = static_cast<char>('0' + static_cast<int>(N % 10));
      N /= 10;
    }
  } else {
    for (uint64_t Low = static_cast<uint64_t>(N); Low > 0; Low /= 10) *--Begin = static_cast<char>('0' + Low % 10);
  }
  const bool AllZero = Begin == End;
  while (End - Begin < FDecimals + 1) *--Begin = '0';
  const char* IntEnd = End - FDecimals;
  const char* IntBegin = Begin;
  while (IntBegin < IntEnd && *IntBegin == '0') ++IntBegin;
  const char* FracLast = End;
  while (FracLast - IntEnd > FMinDecimals && FracLast[-1] == '0') --FracLast;

  // The whole text is put together here and appended once.
  char Out[160];
  char* O = Out;
  const int IntDigits = static_cast<int>(IntEnd - IntBegin);
  const int Padding = IntDigits < FMinInt ? FMinInt - IntDigits : 0;
  const size_t Worst = FPrefix.size() + FSuffix.size() + 2 * static_cast<size_t>(Padding + IntDigits) + 2 +
                       static_cast<size_t>(FracLast - IntEnd);
  if (Worst > sizeof Out) {
    Text += FormatFloat(FMask, Value);
    return;
  }
  O = std::copy(FPrefix.begin(), FPrefix.end(), O);
  if (Negative && !AllZero) *O++ = '-';
  if (!FThousands) {
    O = std::fill_n(O, Padding, '0');
    O = std::copy(IntBegin, IntEnd, O);
  } else {
    const int Total = Padding + IntDigits;
    for (int i = 0; i < Total; ++i) {
      if (i > 0 && (Total - i) % 3 == 0) *O++ = ',';
      *O++ = i < Padding ? '0' : IntBegin[i - Padding];
    }
  }
  if (FracLast > IntEnd) {
    *O++ = GDecimalSeparator;
    O = std::copy(IntEnd, FracLast, O);
  }
  O = std::copy(FSuffix.begin(), FSuffix.end(), O);
  Text.append(Out, static_cast<size_t>(O - Out));
}

std::string TFixedFormat::operator()(Extended Value) const {
  std::string Text;
  AppendTo(Text, Value);
  return Text;
}

std::string FloatToStr(Extended Value) {
  CheckFinite(Value);
  if (Value == 0) return "0";
  const bool Negative = Value < 0;
  const Extended AbsValue = std::fabs(Value);
  const int Precision = 15;
  int X = DecimalExponent(AbsValue);
  std::string D = RoundedDigits(AbsValue, Precision - 1 - X);
  if (static_cast<int>(D.size()) > Precision) {
    ++X;
    D = RoundedDigits(AbsValue, Precision - 1 - X);
  }
  while (D.size() > 1 && D.back() == '0') D.pop_back();
  std::string Result = Negative ? "-" : "";
  if (X >= Precision || X < -5) {
    Result += D.substr(0, 1);
    if (D.size() > 1) Result += GDecimalSeparator + D.substr(1);
    Result += "E" + std::to_string(X);
  } else if (X >= 0) {
    if (static_cast<int>(D.size()) <= X + 1) {
      Result += D + std::string(X + 1 - D.size(), '0');
    } else {
      Result += D.substr(0, X + 1) + GDecimalSeparator + D.substr(X + 1);
    }
  } else {
    Result += std::string("0") + GDecimalSeparator + std::string(-X - 1, '0') + D;
  }
  return Result;
}

std::string IntToStr(int64_t Value) { return std::to_string(Value); }

bool TryStrToFloat(const std::string& Text, Extended& Value) {
  size_t First = 0, Last = Text.size();
  while (First < Last && static_cast<unsigned char>(Text[First]) <= ' ') ++First;
  while (Last > First && static_cast<unsigned char>(Text[Last - 1]) <= ' ') --Last;
  // Validate the shape ourselves: from_chars would accept "inf", "nan" and hex forms.
  std::string Plain;
  size_t i = First;
  if (i < Last && (Text[i] == '+' || Text[i] == '-')) {
    if (Text[i] == '-') Plain += '-';
    ++i;
  }
  int Digits = 0;
  while (i < Last && Text[i] >= '0' && Text[i] <= '9') {
    Plain += Text[i++];
    ++Digits;
  }
  if (i < Last && Text[i] == GDecimalSeparator) {
    Plain += '.';
    ++i;
    while (i < Last && Text[i] >= '0' && Text[i] <= '9') {
      Plain += Text[i++];
      ++Digits;
    }
  }
  if (Digits == 0) return false;
  if (i < Last && (Text[i] == 'e' || Text[i] == 'E')) {
    Plain += 'e';
    ++i;
    if (i < Last && (Text[i] == '+' || Text[i] == '-')) Plain += Text[i++];
    int ExpDigits = 0;
    while (i < Last && Text[i] >= '0' && Text[i] <= '9') {
      Plain += Text[i++];
      ++ExpDigits;
    }
    if (ExpDigits == 0) return false;
  }
  if (i != Last) return false;
  Extended Result = 0;
  const auto [End, Error] = std::from_chars(Plain.data(), Plain.data() + Plain.size(), Result);
  if (Error != std::errc() || End != Plain.data() + Plain.size() || !std::isfinite(Result)) return false;
  Value = Result;
  return true;
}

Extended StrToFloat(const std::string& Text) {
  Extended Value = 0;
  if (!TryStrToFloat(Text, Value)) throw EConvertError("'" + Text + "' is not a valid floating point value");
  return Value;
}

bool TryStrToInt(const std::string& Text, int32_t& Value) {
  size_t i = 0;
  while (i < Text.size() && Text[i] == ' ') ++i;
  bool Negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) Negative = Text[i++] == '-';
  int Base = 10;
  if (i < Text.size() && Text[i] == '$') {
    Base = 16;
    ++i;
  } else if (i + 1 < Text.size() && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
    Base = 16;
    i += 2;
  }
  if (i >= Text.size()) return false;
  int64_t Result = 0;
  for (; i < Text.size(); ++i) {
    const char C = Text[i];
    int D;
    if (C >= '0' && C <= '9') D = C - '0';
    else if (Base == 16 && C >= 'a' && C <= 'f') D = C - 'a' + 10;
    else if (Base == 16 && C >= 'A' && C <= 'F') D = C - 'A' + 10;
    else return false;
    Result = Result * Base + D;
    if (Result > 0x100000000LL) return false;
  }
  if (Base == 16 && !Negative && Result <= 0xFFFFFFFFLL) {
    Value = static_cast<int32_t>(static_cast<uint32_t>(Result));  // hex may name the sign bit
    return true;
  }
  if (Negative) Result = -Result;
  if (Result < INT32_MIN || Result > INT32_MAX) return false;
  Value = static_cast<int32_t>(Result);
  return true;
}

int32_t StrToInt(const std::string& Text) {
  int32_t Value = 0;
  if (!TryStrToInt(Text, Value)) throw EConvertError("'" + Text + "' is not a valid integer value");
  return Value;
}

int32_t StrToIntDef(const std::string& Text, int32_t Default) {
  int32_t Value = 0;
  return TryStrToInt(Text, Value) ? Value : Default;
}

std::string IntToStrZeroPad(int64_t Value, int32_t Width) {
  std::string Digits = IntToStr(Value);
  const bool Negative = !Digits.empty() && Digits[0] == '-';
  if (static_cast<int64_t>(Digits.size()) < Width)
    Digits.insert(Negative ? 1 : 0, static_cast<size_t>(Width) - Digits.size(), '0');
  return Digits;
}

std::string FormatFloatByMagnitude(const std::string& SmallMask, const std::string& LargeMask, double Threshold,
                                   double Value) {
  if (!std::isfinite(Value)) throw EArithmetic("Invalid floating point operation");
  return FormatFloat(std::fabs(Value) >= Threshold ? LargeMask : SmallMask, Value);
}

}  // namespace qv
