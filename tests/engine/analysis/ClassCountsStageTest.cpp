// The class count stages on events built in memory: the positions decide which records a file
// counts, the compact events win over the full ones, and a replicate draws as RandomInt does.
#include <gtest/gtest.h>

#include <vector>

#include "Errors.h"
#include "Random.h"
#include "analysis/ClassCounts.h"
#include "dataset/Event.h"

namespace qv {
namespace {

// Files 3, 4 (no events) and 5: records 0-2 in file 3, 3-6 in file 5; column 2 holds Classes.
struct Records {
  TFCSLineArray Events;
  TFCSShortLineArray ShortLines;
  TIntArray First{0, 0, 3}, Last{2, -1, 6};
  TFilePositions Files{First, Last, 3};
  TCountedEvents Counted{Events, ShortLines};
  explicit Records(const std::vector<int16_t>& Classes) {
    Events.Reset(0, 1);
    Events.resize(Classes.size());
    for (size_t k = 0; k < Classes.size(); ++k) {
      Events[k].Classes()[2] = Classes[k];
      Events[k].SetFileIndex(k < 3 ? 3 : 5);
    }
  }
};

TEST(ClassCountStage, WholeSetFilesAndSums) {
  Records R({1, 2, 2, 0, 3, 3, 3});
  const TClassCountOptions Options{5, 2};
  TIntArray Counts{9, 9};
  CountEventClasses(R.Counted, Options, Counts, nullptr);
  EXPECT_EQ(Counts, (TIntArray{1, 1, 2, 3, 0}));

  T2IntArray Table;
  CountClassesByFile(R.Counted, R.Files, 5, Options, Table, nullptr);
  EXPECT_EQ(Table, (T2IntArray{{0, 1, 2, 0, 0}, {0, 0, 0, 0, 0}, {1, 0, 0, 3, 0}}));

  // Sums go by each event's own file index, over FileCount rows.
  SumFileClassCounts(R.Events, 3, 3, Options, Table, nullptr);
  EXPECT_EQ(Table, (T2IntArray{{0, 1, 2, 0, 0}, {0, 0, 0, 0, 0}, {1, 0, 0, 3, 0}}));
  EXPECT_THROW(SumFileClassCounts(R.Events, 4, 3, Options, Table, nullptr), ERangeError);
}

TEST(ClassCountStage, RangeErrorsForFilesClassesAndColumns) {
  Records R({1, 2, 2, 0, 3, 3, 3});
  TIntArray Counts;
  EXPECT_THROW(CountFileClasses(R.Counted, R.Files, 2, {5, 2}, Counts, nullptr), ERangeError);
  EXPECT_THROW(CountFileClasses(R.Counted, R.Files, 6, {5, 2}, Counts, nullptr), ERangeError);
  EXPECT_THROW(ResampleFileClasses(R.Counted, R.Files, 6, {5, 2}, Counts, nullptr), ERangeError);
  EXPECT_THROW(CountEventClasses(R.Counted, {3, 2}, Counts, nullptr), ERangeError);  // class 3 of 3
  EXPECT_THROW(CountEventClasses(R.Counted, {5, 3}, Counts, nullptr), ERangeError);
}

TEST(ClassCountStage, CompactEventsAreCountedWhenPresent) {
  Records R({1, 1, 1, 1, 1, 1, 1});
  R.ShortLines.Reset(1);
  R.ShortLines.resize(2);
  R.ShortLines[0].Classes()[2] = 4;
  R.ShortLines[1].Classes()[2] = 4;
  TIntArray Counts;
  CountEventClasses(R.Counted, {5, 2}, Counts, nullptr);
  EXPECT_EQ(Counts, (TIntArray{0, 0, 0, 0, 2}));
}

TEST(ClassCountStage, ReplicatesDrawLikeRandomIntAndAnEmptyFileGivesZeros) {
  const std::vector<int16_t> Classes{1, 2, 2, 0, 3, 3, 4};
  Records R(Classes);
  Randomize(5);
  TIntArray Expected(5, 0), ExpectedFile(5, 0);
  for (size_t i = 0; i < Classes.size(); ++i) ++Expected[Classes[RandomInt(7)]];
  for (size_t i = 0; i < Classes.size(); ++i) ++ExpectedFile[Classes[3 + RandomInt(4)]];

  Randomize(5);
  TIntArray Counts, FileCounts{7};
  ResampleEventClasses(R.Counted, {5, 2}, Counts, nullptr);
  ResampleFileClasses(R.Counted, R.Files, 5, {5, 2}, FileCounts, nullptr);
  EXPECT_EQ(Counts, Expected);
  EXPECT_EQ(FileCounts, ExpectedFile);
  ResampleFileClasses(R.Counted, R.Files, 4, {5, 2}, FileCounts, nullptr);
  EXPECT_EQ(FileCounts, TIntArray(5, 0));
}

}  // namespace
}  // namespace qv
