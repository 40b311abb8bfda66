#include <gtest/gtest.h>

#include "Errors.h"
#include "Streams.h"
#include "TestFolders.h"

using namespace qv;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> Values) {
  std::vector<uint8_t> Result;
  for (int V : Values) Result.push_back(static_cast<uint8_t>(V));
  return Result;
}

TEST(StreamStrings, LengthPrefixedLittleEndian) {
  TMemoryStream S;
  WriteStreamString("", S);
  WriteStreamString("GFP", S);
  EXPECT_EQ(S.Bytes(), Bytes({0, 0, 0, 0, 3, 0, 0, 0, 'G', 'F', 'P'}));
  S.Seek(0);
  EXPECT_EQ(ReadStreamString(S), "");
  EXPECT_EQ(ReadStreamString(S), "GFP");
  EXPECT_EQ(S.Remaining(), 0);
}

TEST(StreamStrings, NegativeCountIsEmptyAndConsumesOnlyTheCount) {
  TMemoryStream S(Bytes({0xFB, 0xFF, 0xFF, 0xFF, 'x'}));  // -5
  std::string Text = "old";
  ReadStreamString(S, Text);
  EXPECT_EQ(Text, "");
  EXPECT_EQ(S.Position(), 4);
}

TEST(StreamStrings, CountBeyondTheEndIsAReadErrorNotAnAllocation) {
  TMemoryStream Huge(Bytes({0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b'}));
  EXPECT_THROW(ReadStreamString(Huge), EReadError);
  TMemoryStream Short(Bytes({3, 0, 0, 0, 'a', 'b'}));
  EXPECT_THROW(ReadStreamString(Short), EReadError);
  TMemoryStream NoCount(Bytes({3, 0}));
  EXPECT_THROW(ReadStreamString(NoCount), EReadError);
}

TEST(StreamValues, RoundTripInLittleEndian) {
  TMemoryStream S;
  WriteInt32(S, -2);
  WriteSingle(S, 1.5f);
  WriteDouble(S, -0.25);
  WriteBool(S, true);
  WriteByte(S, 7);
  EXPECT_EQ(std::vector<uint8_t>(S.Bytes().begin(), S.Bytes().begin() + 8),
            Bytes({0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xC0, 0x3F}));
  S.Seek(0);
  EXPECT_EQ(ReadInt32(S), -2);
  EXPECT_EQ(ReadSingle(S), 1.5f);
  EXPECT_EQ(ReadDouble(S), -0.25);
  EXPECT_TRUE(ReadBool(S));
  EXPECT_EQ(ReadByte(S), 7);
  EXPECT_THROW(ReadInt32(S), EReadError);
}

TEST(StreamValues, ArrayCountsAreCheckedAgainstWhatRemains) {
  TMemoryStream S;
  WriteInt32(S, 2);
  WriteSingle(S, 1);
  WriteSingle(S, 2);
  S.Seek(0);
  EXPECT_EQ(ReadCount(S, 4), 2);
  S.Seek(0);
  EXPECT_THROW(ReadCount(S, 8), EReadError);
  TMemoryStream Negative(Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ReadCount(Negative, 4), 0);
}

TEST(StreamValues, SwapLongWordReversesTheBytes) { EXPECT_EQ(SwapLongWord(0x11223344u), 0x44332211u); }

}  // namespace

namespace {

TEST(FileStreams, ReadAtReadsFromAnOffsetWithoutMovingThePosition) {
  qv::test::TempFolder Folder;
  {
    TFileStream Out(Folder / "bytes", TFileStream::TMode::Create);
    for (int i = 0; i < 100; ++i) WriteByte(Out, static_cast<uint8_t>(i));
    Out.Close();
  }
  TFileStream In(Folder / "bytes", TFileStream::TMode::OpenRead);
  EXPECT_EQ(ReadByte(In), 0);
  uint8_t Buffer[8] = {};
  EXPECT_EQ(In.ReadAt(Buffer, 4, 50), 4u);
  EXPECT_EQ(Buffer[0], 50);
  EXPECT_EQ(Buffer[3], 53);
  EXPECT_EQ(In.Position(), 1);
  EXPECT_EQ(ReadByte(In), 1);
  EXPECT_EQ(In.ReadAt(Buffer, 8, 96), 4u) << "only what the file has";
  EXPECT_EQ(Buffer[3], 99);
  EXPECT_EQ(In.ReadAt(Buffer, 8, 100), 0u);
  EXPECT_EQ(In.ReadAt(Buffer, 8, -1), 0u);
}

}  // namespace
