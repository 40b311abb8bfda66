#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Errors.h"
#include "NumberFormat.h"

using namespace qv;

namespace {

struct SeparatorGuard {
  explicit SeparatorGuard(char C) : Old(DecimalSeparator()) { SetDecimalSeparator(C); }
  ~SeparatorGuard() { SetDecimalSeparator(Old); }
  char Old;
};

TEST(FormatFloat, FixedMasksRoundHalfAwayFromTheExactValue) {
  EXPECT_EQ(FormatFloat("0.00", 0.125), "0.13");   // 0.125 is exact: a true tie
  EXPECT_EQ(FormatFloat("0.00", -0.125), "-0.13");
  EXPECT_EQ(FormatFloat("0.00", 0.285), "0.28");   // 0.285 is stored just below the tie
  EXPECT_EQ(FormatFloat("0.0", 0.25), "0.3");
  EXPECT_EQ(FormatFloat("#0.0000", 1.96f), "1.9600");
  EXPECT_EQ(FormatFloat("#0.0000", 2.0 / 3.0), "0.6667");
  EXPECT_EQ(FormatFloat("######0", 1234567.5), "1234568");
  EXPECT_EQ(FormatFloat("######0", 2.5), "3");
  EXPECT_EQ(FormatFloat("######0", 0.4), "0");
  EXPECT_EQ(FormatFloat("##0.000", 12345.6789), "12345.679");  // more digits than places
  EXPECT_EQ(FormatFloat("0", 99.5), "100");
  EXPECT_EQ(FormatFloat("#0.0", 0.05), "0.1");
  EXPECT_EQ(FormatFloat("####0.00000000", 45000.123456789), "45000.12345679");
}

TEST(FormatFloat, OptionalDigitsAndSeparators) {
  EXPECT_EQ(FormatFloat("#.##", 0.5), ".5");
  EXPECT_EQ(FormatFloat("0.##", 1.0), "1");
  EXPECT_EQ(FormatFloat("0.0#", 1.5), "1.5");
  EXPECT_EQ(FormatFloat("00.0", 5.0), "05.0");
  EXPECT_EQ(FormatFloat("#", 0.0), "");
  EXPECT_EQ(FormatFloat("#,##0", 1234567.0), "1,234,567");
  EXPECT_EQ(FormatFloat("0.0 'kg'", 2.0), "2.0 kg");
  SeparatorGuard Comma(',');
  EXPECT_EQ(FormatFloat("#0.0000", 1.5), "1,5000");
}

TEST(FormatFloat, NoMinusSignWhenEveryPrintedDigitIsZero) {
  EXPECT_EQ(FormatFloat("0.00", -0.001), "0.00");
  EXPECT_EQ(FormatFloat("0.00", -0.0), "0.00");
  EXPECT_EQ(FormatFloat("######0", -0.4), "0");
  EXPECT_EQ(FormatFloat("######0", -0.5), "-1");
}

TEST(FormatFloat, ScientificWithAsFewExponentDigitsAsNeeded) {
  EXPECT_EQ(FormatFloat("0.00e-", 0.005), "5.00e-3");
  EXPECT_EQ(FormatFloat("0.00e-", 0.0), "0.00e0");
  EXPECT_EQ(FormatFloat("0.00e-", 123456.0), "1.23e5");
  EXPECT_EQ(FormatFloat("0.00e-", 0.009996), "1.00e-2");  // rounding carries into the exponent
  EXPECT_EQ(FormatFloat("0.00e-", -0.00125), "-1.25e-3");  // 0.00125 rounds up from its binary value
  EXPECT_EQ(FormatFloat("0.0000E-", 3.016e-3), "3.0160E-3");
  EXPECT_EQ(FormatFloat("0.0000E-", 1e-120), "1.0000E-120");
  EXPECT_EQ(FormatFloat("0.00E+00", 12345.0), "1.23E+04");
  EXPECT_EQ(FormatFloat("0.00e-", 1000.0), "1.00e3");
}

TEST(FormatFloat, ValuesBeyondTheFastPath) {
  EXPECT_EQ(FormatFloat("0", 1e30), "1000000000000000019884624838656");
  EXPECT_EQ(FormatFloat("0.000000000000000000000", 0.5), "0.500000000000000000000");
  EXPECT_EQ(FormatFloat("0.00", 1e-30), "0.00");
  EXPECT_EQ(FormatFloat("0", std::ldexp(1.0L, 70)), "1180591620717411303424");
}

TEST(FormatFloat, RefusesValuesThatAreNotNumbers) {
  EXPECT_THROW(FormatFloat("0.00", NAN), EArithmetic);
  EXPECT_THROW(FormatFloat("0.00", INFINITY), EArithmetic);
}

TEST(FormatFloat, Sections) {
  EXPECT_EQ(FormatFloat("0.0;(0.0);zero", -2.0), "(2.0)");
  EXPECT_EQ(FormatFloat("0.0;(0.0);zero", 0.0), "zero");
  EXPECT_EQ(FormatFloat("0.0;(0.0);zero", 2.0), "2.0");
}

TEST(FloatToStr, FifteenSignificantDigitsInGeneralFormat) {
  EXPECT_EQ(FloatToStr(static_cast<double>(1.96f)), "1.96000003814697");
  EXPECT_EQ(FloatToStr(static_cast<double>(1.8f)), "1.79999995231628");
  EXPECT_EQ(FloatToStr(static_cast<double>(2.176f)), "2.17600011825562");
  EXPECT_EQ(FloatToStr(4.0), "4");
  EXPECT_EQ(FloatToStr(0.0), "0");
  EXPECT_EQ(FloatToStr(-2.5), "-2.5");
  EXPECT_EQ(FloatToStr(100.0), "100");
  EXPECT_EQ(FloatToStr(0.001), "0.001");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(1.5e-7), "1.5E-7");
  EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStr(999999999999999.9), "1E15");
  EXPECT_EQ(FloatToStr(1.0 / 3.0), "0.333333333333333");
  SeparatorGuard Comma(',');
  EXPECT_EQ(FloatToStr(static_cast<double>(1.96f)), "1,96000003814697");
}

TEST(StrToFloat, ReadsDecimalTextWithTheCurrentSeparator) {
  Extended V = 0;
  EXPECT_TRUE(TryStrToFloat(" 1.96 ", V));
  EXPECT_DOUBLE_EQ(static_cast<double>(V), 1.96);
  EXPECT_TRUE(TryStrToFloat("-2.5e-3", V));
  EXPECT_DOUBLE_EQ(static_cast<double>(V), -0.0025);
  EXPECT_TRUE(TryStrToFloat(".5", V));
  EXPECT_TRUE(TryStrToFloat("5.", V));
  for (const char* Bad : {"", " ", "abc", "1,96", "1.9.6", "inf", "nan", "0x10", "1e", "1e400000", "- 1"})
    EXPECT_FALSE(TryStrToFloat(Bad, V)) << Bad;
  EXPECT_THROW(StrToFloat("x"), EConvertError);
  SeparatorGuard Comma(',');
  EXPECT_TRUE(TryStrToFloat("1,96000003814697", V));
  EXPECT_FLOAT_EQ(static_cast<float>(V), 1.96f);
  EXPECT_FALSE(TryStrToFloat("1.96", V));
}

TEST(StrToInt, DecimalAndHexadecimal) {
  EXPECT_EQ(StrToIntDef("0x2", 1), 2);
  EXPECT_EQ(StrToIntDef("$1F", 0), 31);
  EXPECT_EQ(StrToIntDef(" 42", 0), 42);
  EXPECT_EQ(StrToIntDef("-7", 0), -7);
  EXPECT_EQ(StrToIntDef("2147483647", 0), 2147483647);
  EXPECT_EQ(StrToIntDef("-2147483648", 0), INT32_MIN);
  for (const char* Bad : {"", "42 ", "4.2", "2147483648", "0x", "abc", "0x1FFFFFFFF"})
    EXPECT_EQ(StrToIntDef(Bad, -99), -99) << Bad;
  EXPECT_THROW(StrToInt("1 2"), EConvertError);
}

TEST(NumberHelpers, ZeroPadding) {
  EXPECT_EQ(qv::IntToStrZeroPad(23, 10), "0000000023");
  EXPECT_EQ(qv::IntToStrZeroPad(12345, 3), "12345");
  EXPECT_EQ(qv::IntToStrZeroPad(0, 0), "0");
  EXPECT_EQ(qv::IntToStrZeroPad(-5, 4), "-005");
}

TEST(NumberHelpers, FormatByMagnitude) {
  auto F = [](double V) { return qv::FormatFloatByMagnitude("0.00e-", "0.00", 0.01, V); };
  EXPECT_EQ(F(0.5), "0.50");
  EXPECT_EQ(F(0.01), "0.01");
  EXPECT_EQ(F(-0.01), "-0.01");
  EXPECT_EQ(F(0.005), "5.00e-3");
  EXPECT_EQ(F(-0.00123), "-1.23e-3");
  EXPECT_EQ(F(1234.567), "1234.57");
  EXPECT_THROW(F(std::nan("")), qv::EArithmetic);
  EXPECT_THROW(F(INFINITY), qv::EArithmetic);
}

}  // namespace

namespace {

// The fast path must give FormatFloat's text exactly, for the masks reports and exports use.
TEST(FixedFormat, SameTextAsFormatFloatOverManyValuesAndMasks) {
  const char* Masks[] = {"##0.000", "###0.000", "##0.0", "###0.0", "##0.0000", "###0.00", "#0.000000", "######0",
                         "0.00", "#.##", "0.0#", "00.0", "#", "#,##0.00", "x0.0y", "####0.00000000", "0"};
  std::vector<long double> Values{0.0L, -0.0L, 0.125L, -0.125L, 0.285L, 0.0004L, -0.0004L, 0.0005L, 2.5L,
                                  99.95L, 999.9995L, 1e-30L, 1e15L, 1e19L, 1e25L, -1e25L, 123456789.123L,
                                  1.0L / 3.0L, 4294967296.5L};
  uint64_t State = 12345;
  for (int i = 0; i < 3000; ++i) {
    State = State * 6364136223846793005ULL + 1442695040888963407ULL;
    const double Mantissa = static_cast<double>(State >> 11) / 9007199254740992.0;
    const int Exponent = static_cast<int>((State >> 3) % 16) - 8;
    const float Value = static_cast<float>((State & 1 ? -1 : 1) * Mantissa * std::pow(10.0, Exponent));
    Values.push_back(Value);
  }
  for (const char* Mask : Masks) {
    const TFixedFormat Format(Mask);
    for (const long double V : Values) {
      ASSERT_EQ(Format(V), FormatFloat(Mask, V)) << Mask << " " << double(V);
      const float F = static_cast<float>(V);
      ASSERT_EQ(Format(F), FormatFloat(Mask, F)) << Mask << " " << F;
    }
  }
  // Masks outside the fast path (sections, exponents) still give FormatFloat's text.
  for (const char* Mask : {"0.00e-", "0.0;(0.0);zero", "0.000E+00"}) {
    const TFixedFormat Format(Mask);
    for (size_t i = 0; i < 200; ++i) ASSERT_EQ(Format(Values[i]), FormatFloat(Mask, Values[i])) << Mask;
  }
  std::string Text = "x=";
  TFixedFormat("##0.000").AppendTo(Text, -1.0005L);
  EXPECT_EQ(Text, "x=-1.001");
  EXPECT_THROW(TFixedFormat("0.0")(std::nanl("")), EArithmetic);
  EXPECT_THROW(TFixedFormat("0.0")(std::numeric_limits<float>::infinity()), EArithmetic);
  EXPECT_EQ(TFixedFormat("0.0")(-0.01f), "0.0");
}

TEST(FixedFormat, FollowsTheDecimalSeparator) {
  SeparatorGuard Comma(',');
  EXPECT_EQ(TFixedFormat("##0.000")(2.5), "2,500");
}

}  // namespace
