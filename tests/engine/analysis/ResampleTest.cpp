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

// Replicates of a fixed seed over many records keep their counts: a changed draw, order or
// tally shows here even where it would agree with RandomInt.
TEST(Resample, KnownCountsForAFixedSeed) {
  auto D = Records(100003, +[](int32_t k) { return static_cast<int32_t>((static_cast<uint32_t>(k) * 2654435761u) >> 28); });
  Randomize(2026);
  TIntArray Counts;
  std::vector<TIntArray> Got;
  for (int r = 0; r < 2; ++r) {
    D->Resample(16, 1, Counts);
    Got.push_back(Counts);
  }
  D->ResampleFile(17, 1, Counts, 5);
  Got.push_back(Counts);
  const std::vector<TIntArray> Expected = {
      {6138, 6270, 6350, 6267, 6360, 6289, 6281, 6340, 6033, 6319, 6233, 6245, 6241, 6300, 6122, 6215},
      {6369, 6127, 6182, 6317, 6242, 6262, 6190, 6162, 6202, 6255, 6291, 6258, 6306, 6229, 6345, 6266},
      {6190, 6263, 6285, 6282, 6170, 6279, 6140, 6315, 6254, 6266, 6306, 6324, 6353, 6100, 6194, 6282, 0}};
  EXPECT_EQ(Got, Expected);
  EXPECT_EQ(RandomGenerator()(), 3115409996123721310u);
}

// A class beyond the counts throws at the draw that picks it, so the generator stands where
// draw-by-draw counting leaves it: one class past the last count, a byte class far past it, a
// wide class and a negative one.
TEST(Resample, AnErrorLeavesTheGeneratorPastTheDrawThatHitIt) {
  static int32_t Bad;
  for (int32_t B : {16, 200, 300, -1}) {
    Bad = B;
    const int32_t Count = 20011, Where = 15000;
    auto D = Records(Count, +[](int32_t k) { return k == Where ? Bad : k % 16; });
    for (bool InFile : {false, true}) {
      const int32_t First = InFile ? Count / 3 : 0, Span = Count - First;
      Randomize(99);
      int32_t Hit = -1;
      for (int32_t r = 0; r < 10 && Hit < 0; ++r)
        for (int32_t i = 0; i < Count; ++i)
          if (First + RandomInt(Span) == Where) {
            Hit = i;
            break;
          }
      ASSERT_GE(Hit, 0);
      const uint64_t After = RandomGenerator()();

      Randomize(99);
      TIntArray Counts;
      bool Thrown = false;
      for (int32_t r = 0; r < 10 && !Thrown; ++r) {
        try {
          if (InFile)
            D->ResampleFile(16, 1, Counts, 5);
          else
            D->Resample(16, 1, Counts);
        } catch (const ERangeError&) {
          Thrown = true;
        }
      }
      EXPECT_TRUE(Thrown);
      EXPECT_EQ(RandomGenerator()(), After) << "class " << B << (InFile ? " in a file" : "");
    }
  }
}

}  // namespace
}  // namespace qv
