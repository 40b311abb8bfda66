// Bootstrap replicates take their draws in order, one per record, from the class column held as
// bytes or, with classes past 255, as 16-bit values: the counts are those of plain RandomInt
// draws over the records.
#include <gtest/gtest.h>

#include <vector>

#include "Errors.h"
#include "dataset/FCSData.h"
#include "Random.h"

namespace qv {
namespace {

// Records in two files with classes Class(k) in column 1.
std::unique_ptr<TFCSData> Records(int32_t Count, int32_t (*Class)(int32_t)) {
  auto D = std::make_unique<TFCSData>();
  D->Events.Reset(0, 1);
  D->Events.resize(static_cast<size_t>(Count));
  for (int32_t k = 0; k < Count; ++k) {
    D->Events[k].Classes()[1] = static_cast<int16_t>(Class(k));
    D->Events[k].SetFileIndex(k < Count / 3 ? 4 : 5);
  }
  D->FileRange();
  D->BuildFileIndex();
  return D;
}

TEST(Resample, CountsOfTheDrawsInOrderForByteAndWideClasses) {
  for (auto Class : {+[](int32_t k) { return (k * 7) % 13; }, +[](int32_t k) { return (k * 7) % 301; }}) {
    const int32_t Count = 3001, Classes = 301;
    auto D = Records(Count, Class);
    Randomize(12);
    std::vector<int32_t> Expected(Classes), ExpectedFile(Classes);
    for (int32_t i = 0; i < Count; ++i) ++Expected[Class(RandomInt(Count))];
    const int32_t First = Count / 3, Span = Count - 1 - First;
    for (int32_t i = 0; i < Count; ++i) ++ExpectedFile[Class(First + RandomInt(Span + 1))];
    const uint64_t After = RandomGenerator()();

    Randomize(12);
    TIntArray Counts, FileCounts;
    D->Resample(Classes, 1, Counts);
    D->ResampleFile(Classes, 1, FileCounts, 5);
    EXPECT_EQ(Counts, Expected);
    EXPECT_EQ(FileCounts, ExpectedFile);
    EXPECT_EQ(RandomGenerator()(), After);
  }
  // A class beyond the counts is a range error on either path.
  auto Wide = Records(10, +[](int32_t k) { return k == 5 ? 300 : 1; });
  TIntArray Counts;
  Randomize(1);
  EXPECT_THROW(
      for (int r = 0; r < 20; ++r) Wide->Resample(299, 1, Counts), ERangeError);
}

}  // namespace
}  // namespace qv
