#include "ClassPatterns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "Errors.h"
#include "TextUtils.h"

namespace {

std::vector<std::string> Lines(const std::string& Text) { return qv::SplitLines(Text); }
using L = std::vector<std::string>;

TEST(ClassPatterns, UnsortedListsInTheOrderTheyAreMade) {
  EXPECT_EQ(qv::SingleYNPatterns(3), "NNN\r\nYNN\r\nNYN\r\nNNY");
  EXPECT_EQ(qv::PairYNPatterns(3), "NNN\r\nYYN\r\nYNY\r\nNYY");
  EXPECT_EQ(qv::PairYNPatterns(1), "N");
  EXPECT_EQ(qv::AllYNPatterns("X", 2), "XNN\r\nXNY\r\nXYN\r\nXYY\r\n");
  EXPECT_EQ(qv::AllYNPatterns("", 0), "N\r\nY\r\n");
}

TEST(ClassPatterns, SortedListsOfSmallChannelCounts) {
  EXPECT_EQ(qv::YNPatternList(3, 0), "NNN\r\nYNN\r\nNYN\r\nNNY\r\n");
  EXPECT_EQ(qv::YNPatternList(3, 1), "NNN\r\nYYN\r\nYNY\r\nNYY\r\n");
  EXPECT_EQ(qv::YNPatternList(3, 2), "NNN\r\nYNN\r\nNYN\r\nNNY\r\nYYN\r\nYNY\r\nNYY\r\nYYY\r\n");
  EXPECT_EQ(qv::YNPatternList(1, 2), "N\r\nY\r\n");
  EXPECT_EQ(qv::YNPatternList(0, 0), "");
  EXPECT_EQ(qv::YNPatternList(0, 1), "");
  EXPECT_EQ(qv::YNPatternList(0, 2), "N\r\nY\r\n");
  EXPECT_EQ(qv::YNPatternList(3, 3), "");
  EXPECT_EQ(qv::YNPatternList(3, -1), "");

  L Four = Lines(qv::YNPatternList(4, 2));
  ASSERT_EQ(Four.size(), 16u);
  EXPECT_EQ(Four.front(), "NNNN");
  EXPECT_EQ(Four.back(), "YYYY");
  auto At = [&](const std::string& P) { return std::find(Four.begin(), Four.end(), P) - Four.begin(); };
  EXPECT_LT(At("NNNY"), At("YYNN"));
  EXPECT_LT(At("YYNN"), At("YNYN"));
}

TEST(ClassPatterns, KeysOfPositionsTenAndAboveTieAndFallBackToText) {
  EXPECT_EQ(qv::YPositionKey("NYYN"), 23);
  EXPECT_EQ(qv::YPositionKey("YNNY"), 14);
  EXPECT_EQ(qv::YPositionKey("YYY"), 123);
  EXPECT_EQ(qv::YPositionKey("NNNN"), 0);

  // Pair (1,13) and pair (2,3) share key 23: "N" sorts before "Y", so (2,3) comes first.
  L Pairs = Lines(qv::YNPatternList(13, 1));
  ASSERT_EQ(Pairs.size(), 1u + 13 * 12 / 2);
  const std::string P23 = "NYYNNNNNNNNNN", P1_13 = "YNNNNNNNNNNNY";
  auto At = [&](const std::string& P) { return std::find(Pairs.begin(), Pairs.end(), P) - Pairs.begin(); };
  EXPECT_EQ(At(P1_13), At(P23) + 1);
  EXPECT_EQ(qv::YPositionKey(P23), qv::YPositionKey(P1_13));
}

TEST(ClassPatterns, TenOrMoreYLettersKeepA64BitOrder) {
  L Eleven = Lines(qv::YNPatternList(11, 2));
  ASSERT_EQ(Eleven.size(), 2048u);
  EXPECT_EQ(std::set<std::string>(Eleven.begin(), Eleven.end()).size(), 2048u);
  EXPECT_EQ(Eleven.front(), "NNNNNNNNNNN");
  // 11 digits and beyond 32 bits: as ten zero-padded digits compared as text it would sort
  // before keys starting with 2; it still comes last.
  EXPECT_EQ(qv::YPositionKey("YYYYYYYYYYY"), 12345679011LL);
  EXPECT_EQ(Eleven.back(), "YYYYYYYYYYY");
  for (size_t I = 1; I < Eleven.size(); ++I)
    ASSERT_LE(qv::YPositionKey(Eleven[I - 1]), qv::YPositionKey(Eleven[I])) << Eleven[I];

  EXPECT_GT(qv::YPositionKey(std::string(19, 'Y')), 0);
  EXPECT_THROW(qv::YPositionKey(std::string(20, 'Y')), qv::ERangeError);
  EXPECT_THROW(qv::YNPatternList(qv::MaxAllYNChannels + 1, 2), qv::ERangeError);
  EXPECT_EQ(Lines(qv::YNPatternList(40, 0)).size(), 41u);  // few "Y": no limit
}

}  // namespace
