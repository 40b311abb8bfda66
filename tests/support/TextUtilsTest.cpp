#include <gtest/gtest.h>

#include "AllocationCap.h"
#include "TextUtils.h"

using namespace qv;

namespace {

TEST(TextUtils, SplitLinesOnEveryKindOfLineBreak) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb");
}

// Counted in pieces cut anywhere, a CR LF pair split between two of them included, the count is
// the number of lines SplitLines gives.
TEST(TextUtils, LinesCountedInPiecesAsSplitLinesSplitsThem) {
  for (const std::string Text : {"", "a", "\r\n", "\n\r", "a\r\nb\rc\nd", "a\r\n\r\nb\r\n", "\r\r\n\n", "x\r"}) {
    SCOPED_TRACE(Text);
    const int64_t Lines = static_cast<int64_t>(SplitLines(Text).size());
    EXPECT_EQ(CountLines(Text), Lines);
    for (size_t Cut = 0; Cut <= Text.size(); ++Cut) {
      TLineCounter Counter;
      Counter.Add(std::string_view(Text).substr(0, Cut));
      Counter.Add(std::string_view(Text).substr(Cut));
      EXPECT_EQ(Counter.Lines(), Lines) << "cut at " << Cut;
    }
  }
}

TEST(TextUtils, NameValueLookupIgnoresCaseAndTakesTheEarliestLine) {
  const std::vector<std::string> Lines{"$tot=20", " $PAR =3", "$TOT=99", "novalue", "$P1S=", "$EQ=a=b"};
  std::string V = "unchanged";
  EXPECT_TRUE(FindNameValue(Lines, "$TOT", V));
  EXPECT_EQ(V, "20");
  EXPECT_TRUE(FindNameValue(Lines, "$PAR", V));
  EXPECT_EQ(V, "3");
  EXPECT_FALSE(FindNameValue(Lines, "$PAR", V, false));
  EXPECT_TRUE(FindNameValue(Lines, "$p1s", V));
  EXPECT_EQ(V, "");
  EXPECT_TRUE(FindNameValue(Lines, "$EQ", V));
  EXPECT_EQ(V, "a=b");
  V = "unchanged";
  EXPECT_FALSE(FindNameValue(Lines, "novalue", V));
  EXPECT_EQ(V, "unchanged");
}

TEST(TextUtils, TrimAndCase) {
  EXPECT_EQ(Trim(" \t x y \r\n"), "x y");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  EXPECT_TRUE(SameText("FcS", "fCs"));
  EXPECT_FALSE(SameText("FCS", "FCS "));
}

}  // namespace

namespace {

TEST(TextUtils, MatrixFromTextReadsLinesAsColumns) {
  TMatrix M;
  EXPECT_TRUE(MatrixFromText("1\t2\r\n3\t4", M, 15));
  ASSERT_EQ(M.size(), 2u);
  EXPECT_EQ(M[0][0], 1.0f);
  EXPECT_EQ(M[1][0], 2.0f);
  EXPECT_EQ(M[0][1], 3.0f);
  EXPECT_EQ(M[1][1], 4.0f);

  // Blanks separate like tabs; a cell that does not convert stays 0; the matrix is always
  // n x n: extra fields are ignored, missing ones are 0.
  EXPECT_TRUE(MatrixFromText("1  x\t7 9\n\"2.5\"\n0.5e1", M, 3));
  ASSERT_EQ(M.size(), 3u);
  for (const auto& Row : M) EXPECT_EQ(Row.size(), 3u);
  EXPECT_EQ(M[0][0], 1.0f);
  EXPECT_EQ(M[1][0], 0.0f);
  EXPECT_EQ(M[2][0], 7.0f);
  EXPECT_EQ(M[0][1], 2.5f);
  EXPECT_EQ(M[1][1], 0.0f);
  EXPECT_EQ(M[0][2], 5.0f);

  // Values beyond a 32-bit float do not convert.
  EXPECT_TRUE(MatrixFromText("1e300", M, 15));
  ASSERT_EQ(M.size(), 1u);
  EXPECT_EQ(M[0][0], 0.0f);
  EXPECT_TRUE(MatrixFromText("", M, 15));
  EXPECT_TRUE(M.empty());
}

// n lines make an n x n matrix: 40 KB of line breaks would ask for 6.4 GB. More lines than the
// caller's limit are refused before anything is sized, whatever the line breaks.
TEST(TextUtils, MatrixFromTextRefusesMoreLinesThanTheLimitBeforeSizing) {
  TMatrix M{{1.0f}};
  {
    test::TAllocationCap Cap(1 << 20);
    EXPECT_FALSE(MatrixFromText(std::string(40000, '\n'), M, 15));
    EXPECT_FALSE(Cap.Reached());
  }
  EXPECT_TRUE(M.empty());
  EXPECT_FALSE(MatrixFromText("1\r\n2\r\n3", M, 2));
  EXPECT_FALSE(MatrixFromText("1\r\r\n", M, 1));  // CR, then CR LF: two lines
  // A final line break adds no line, CR LF is one break.
  EXPECT_TRUE(MatrixFromText("1\t2\r\n3\t4\r\n", M, 2));
  ASSERT_EQ(M.size(), 2u);
  EXPECT_EQ(M[0][1], 3.0f);
}

TEST(TextUtils, FirstCharacterAndPrefixNeverCutACharacter) {
  EXPECT_EQ(FirstCharacter("Fitc"), "F");
  EXPECT_EQ(FirstCharacter("\xC3\x89" "cran"), "\xC3\x89");                  // É
  EXPECT_EQ(FirstCharacter("\xE2\x82\xAC" "5"), "\xE2\x82\xAC");             // €
  EXPECT_EQ(FirstCharacter("\xF0\x9F\x94\xAC"), "\xF0\x9F\x94\xAC");     // U+1F52C
  EXPECT_EQ(FirstCharacter(""), "");
  // Bytes that start no valid sequence are characters of another code page, one each.
  EXPECT_EQ(FirstCharacter("\xE9t\xE9"), "\xE9");
  EXPECT_EQ(FirstCharacter("\xC3"), "\xC3");
  EXPECT_EQ(FirstCharacter("\xC0\x80"), "\xC0");          // overlong
  EXPECT_EQ(FirstCharacter("\xED\xA0\x80"), "\xED");     // a surrogate
  EXPECT_EQ(FirstCharacter("\xF4\x90\x80\x80"), "\xF4");  // beyond U+10FFFF

  EXPECT_EQ(CharacterPrefix("ab\xC3\x89", 3), "ab");
  EXPECT_EQ(CharacterPrefix("ab\xC3\x89", 4), "ab\xC3\x89");
  EXPECT_EQ(CharacterPrefix("abc", 10), "abc");
}

TEST(TextUtils, FindLineContainingFromAStartIndex) {
  const std::vector<std::string> List{"alpha", "beta", "gamma beta"};
  EXPECT_EQ(FindLineContaining(List, "beta", 0), 1);
  EXPECT_EQ(FindLineContaining(List, "beta", 2), 2);
  EXPECT_EQ(FindLineContaining(List, "alpha", 2), -1);  // from the last line on
  EXPECT_EQ(FindLineContaining(List, "Beta", 0), -1);   // case-sensitive
  EXPECT_EQ(FindLineContaining(List, "alpha", -5), 0);
  EXPECT_EQ(FindLineContaining(List, "beta", 3), -1);
  EXPECT_EQ(FindLineContaining({}, "beta", 0), -1);
}

TEST(TextUtils, CharacterReplacement) {
  TCharSet Digits;
  for (char C = '0'; C <= '9'; ++C) Digits.set(static_cast<unsigned char>(C));
  EXPECT_EQ(ReplaceCharsInSet("a1b22c", Digits, '#'), "a#b##c");
  EXPECT_EQ(ReplaceCharsInSet("a1b22c", Digits, '\0'), "abc");
  EXPECT_EQ(ReplaceChar("a,b,c", ',', ';'), "a;b;c");
  EXPECT_EQ(ReplaceChar("abc", ',', ';'), "abc");
  EXPECT_EQ(RemoveChar("\"quoted\" text", '"'), "quoted text");
}

}  // namespace
