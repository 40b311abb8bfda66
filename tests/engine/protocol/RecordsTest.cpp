#include "protocol/Records.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "ByteWriter.h"
#include "Errors.h"
#include "protocol/ParameterMatch.h"

namespace qv {
namespace {

using test::ByteWriter;

std::string ErrorOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const Exception& E) {
    return E.what();
  }
  return "";
}

TEST(RecordRules, VersionsNumbersAndSkipsRefuseWhatTheyCannotRead) {
  TMemoryStream Versions(ByteWriter().Int32(3).Int32(0).Int32(14).Bytes());
  EXPECT_EQ(ReadRecordVersion(Versions, 1, 13, "channel"), 3);
  EXPECT_EQ(ErrorOf([&] { ReadRecordVersion(Versions, 1, 13, "channel"); }), "Unknown channel record version 0");
  EXPECT_EQ(ErrorOf([&] { ReadRecordVersion(Versions, 1, 13, "gate"); }), "Unknown gate record version 14");

  TMemoryStream Numbers(ByteWriter().Single(1.5f).Single(std::numeric_limits<float>::quiet_NaN())
                            .Single(std::numeric_limits<float>::infinity()).Bytes());
  EXPECT_EQ(ReadNumber(Numbers), 1.5f);
  EXPECT_THROW(ReadNumber(Numbers), EReadError);
  EXPECT_THROW(ReadNumber(Numbers), EReadError);

  TMemoryStream Skipped(ByteWriter().Fill(6).Int32(7).Bytes());
  SkipBytes(Skipped, -3);
  SkipBytes(Skipped, 6);
  EXPECT_EQ(ReadInt32(Skipped), 7);
  SkipBytes(Skipped, 0);
  EXPECT_THROW(SkipBytes(Skipped, 1), EReadError);
}

TEST(RecordRules, CountsAreCheckedAgainstTheBytesLeft) {
  TMemoryStream Fits(ByteWriter().Int32(2).Fill(8).Bytes());
  EXPECT_EQ(ReadItemCount(Fits, 4), 2);
  TMemoryStream TooMany(ByteWriter().Int32(3).Fill(8).Bytes());
  EXPECT_THROW(ReadItemCount(TooMany, 4), EReadError);
  TMemoryStream Negative(ByteWriter().Int32(-1).Fill(8).Bytes());
  EXPECT_THROW(ReadItemCount(Negative, 4), EReadError);

  EXPECT_EQ(CheckedCount(5), 5);
  EXPECT_THROW(CheckedCount(size_t{1} << 31), ERangeError);
  EXPECT_NO_THROW(RequireFinite({1, 2}, "Gate", "FSC"));
  EXPECT_EQ(ErrorOf([] { RequireFinite({1, std::numeric_limits<float>::infinity()}, "Gate", "FSC"); }),
            "Gate FSC holds a value that is not a number");
}

TEST(RecordRules, ParameterMatchRoundTripsInRecordOrder) {
  TParameterMatch M;
  M.FCSLabel = "FL1-H";
  M.FCSName = "GFP";
  M.ExactFCSLabel = true;
  M.ParameterIndex = 4;
  TMemoryStream Stream;
  M.WriteMatch(Stream);
  EXPECT_EQ(Stream.Bytes(), ByteWriter().String("FL1-H").String("GFP").Bool(true).Bool(false).Bytes());
  Stream.Seek(0);
  TParameterMatch Read;
  Read.ReadMatch(Stream);
  EXPECT_EQ(Read.FCSLabel, "FL1-H");
  EXPECT_EQ(Read.FCSName, "GFP");
  EXPECT_TRUE(Read.ExactFCSLabel);
  EXPECT_FALSE(Read.ExactFCSName);
  EXPECT_EQ(Read.ParameterIndex, -1);
}

}  // namespace
}  // namespace qv
