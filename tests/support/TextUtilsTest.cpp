#include <gtest/gtest.h>

#include "TextUtils.h"

using namespace qv;

namespace {

TEST(TextUtils, SplitLinesOnEveryKindOfLineBreak) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb");
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
