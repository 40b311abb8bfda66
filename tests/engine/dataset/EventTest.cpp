#include "dataset/Event.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "DataSetFixtures.h"
#include "Errors.h"
#include "Streams.h"
#include "TextUtils.h"

namespace qv {
namespace {

using test::ChannelDef;
using test::GateDef;
using test::MakeProtocol;
using test::SettingsGuard;

// Rows hold the gates at 0..G-1 and the channels after them.
TFCSLineArray Lines(int32_t G, int32_t C, const std::vector<std::vector<float>>& Rows) {
  TFCSLineArray A;
  A.Reset(G, C);
  A.resize(Rows.size());
  std::vector<int32_t> Gates(G), Channels(C);
  for (int32_t g = 0; g < G; ++g) Gates[g] = g;
  for (int32_t c = 0; c < C; ++c) Channels[c] = G + c;
  for (size_t i = 0; i < Rows.size(); ++i) A[i].Create(Rows[i], Gates, Channels);
  return A;
}

std::vector<float> Vec(std::span<const float> S) { return {S.begin(), S.end()}; }

size_t Commas(const std::string& S) { return static_cast<size_t>(std::count(S.begin(), S.end(), ',')); }

TEST(EventCreation, TakesMatchedColumnsAndComputesLogs) {
  SettingsGuard Guard;
  MinimumRawScore = 2;
  TFCSLineArray A;
  A.Reset(1, 3);
  A.resize(1);
  // Gate from column 3, channels from columns 2, 0 and 1.
  const std::vector<float> Row{0.5f, -4.0f, 1000.0f, 100.0f};
  A[0].Create(Row, std::vector<int32_t>{3}, std::vector<int32_t>{2, 0, 1});
  const TFCSLine E = A[0];
  EXPECT_FALSE(E.Filtered());
  EXPECT_FALSE(E.GatedOut());
  EXPECT_EQ(E.FileIndex(), 0);
  EXPECT_EQ(Vec(E.GateValues()), (std::vector<float>{100.0f}));
  EXPECT_EQ(Vec(E.RawValues()), (std::vector<float>{1000.0f, 0.5f, -4.0f}));
  EXPECT_EQ(Vec(E.LogGateValues()), (std::vector<float>{2.0f}));
  ASSERT_EQ(E.LogRawValues().size(), 3u);
  EXPECT_FLOAT_EQ(E.LogRawValues()[0], 3.0f);
  EXPECT_NEAR(E.LogRawValues()[1], -0.30103f, 1e-5);  // logs between 0 and 1 are kept
  EXPECT_EQ(E.LogRawValues()[2], 0.0f);               // not positive: 0
  EXPECT_EQ(Vec(E.GateZ()), (std::vector<float>{0.0f}));
  EXPECT_TRUE(E.CompValues().empty());
  EXPECT_TRUE(E.Called().empty());
  EXPECT_TRUE(E.Mask().empty());

  // A column the row does not have.
  EXPECT_THROW(A[0].Create(Row, std::vector<int32_t>{4}, std::vector<int32_t>{0, 1, 2}), ERangeError);
  EXPECT_THROW(A[0].Create(Row, std::vector<int32_t>{-1}, std::vector<int32_t>{0, 1, 2}), ERangeError);
}

TEST(EventCreation, FilteredWhenEveryChannelIsBelowTheMinimum) {
  SettingsGuard Guard;
  MinimumRawScore = 2;
  auto A = Lines(1, 3, {{50, 1.5f, 1.999f, -3}, {50, 1, 2, 0}, {50, 0, 0, 0}});
  EXPECT_TRUE(A[0].Filtered());
  EXPECT_TRUE(A[0].LogRawValues().empty());
  EXPECT_TRUE(A[0].LogGateValues().empty());
  EXPECT_TRUE(A[0].GateZ().empty());
  EXPECT_FALSE(A[1].Filtered()) << "a channel at exactly the minimum counts";
  EXPECT_EQ(A[1].LogRawValues().size(), 3u);
  EXPECT_TRUE(A[2].Filtered());

  auto NoChannels = Lines(1, 0, {{50}});
  EXPECT_TRUE(NoChannels[0].Filtered());
}

TEST(EventCreation, CopyKeepsValuesAndFilteredAndStartsTheRestAfresh) {
  SettingsGuard Guard;
  MinimumRawScore = 2;
  auto A = Lines(2, 2, {{10, 20, 300, 5}, {10, 20, 1, 1}});
  TFCSLine E = A[0];
  E.SetGatedOut(true);
  E.SizeCompensated();
  E.CompValues()[0] = 7;
  E.SetMask("YN");
  E.Classes() = {3, 2, 1};
  E.SetMaxZ(4);
  E.GateZ()[1] = 2.5f;

  TFCSLineArray B;
  B.Reset(2, 2);
  B.Append().CreateCopy(A[0], 7);
  B.Append().CreateCopy(A[1], 8);
  const TFCSLine C = B[0];
  EXPECT_EQ(Vec(C.GateValues()), (std::vector<float>{10, 20}));
  EXPECT_EQ(Vec(C.RawValues()), (std::vector<float>{300, 5}));
  EXPECT_EQ(C.FileIndex(), 7);
  EXPECT_FALSE(C.GatedOut());
  EXPECT_TRUE(C.CompValues().empty());
  EXPECT_TRUE(C.Mask().empty());
  EXPECT_EQ(C.Classes(), (TClassTriple{0, 0, 0}));
  EXPECT_EQ(C.MaxZ(), 0);
  EXPECT_EQ(Vec(C.GateZ()), (std::vector<float>{0, 0}));
  EXPECT_EQ(Vec(C.LogRawValues()), Vec(A[0].LogRawValues()));
  EXPECT_TRUE(B[1].Filtered());
  EXPECT_TRUE(B[1].LogRawValues().empty());

  TFCSLineArray Other;
  Other.Reset(1, 2);
  EXPECT_THROW(Other.Append().CreateCopy(A[0], 0), ERangeError);
}

// Building a range of events from the rows of a file's matrix gives what building each event on
// its own gives, Z values and scores included on an array that holds them.
TEST(EventCreation, RangeOfRowsAsEventByEvent) {
  SettingsGuard Guard;
  MinimumRawScore = 2;
  const size_t Rows = 1000, Stride = 5;
  std::vector<float> Matrix(Rows * Stride);
  for (size_t i = 0; i < Matrix.size(); ++i) Matrix[i] = static_cast<float>((i * 37) % 101) / 20.0f - 1.5f;
  const std::vector<int32_t> Gates{4, 0}, Channels{1, 3, 2};
  TFCSLineArray One, Range;
  for (TFCSLineArray* A : {&One, &Range}) {
    A->Reset(2, 3);
    A->resize(Rows);
  }
  Range[7].SetMaxZ(9);  // scores held before the events are built again are cleared
  Range[8].SetSecondZ(5);
  for (size_t i = 0; i < Rows; ++i) One[i].Create({Matrix.data() + i * Stride, Stride}, Gates, Channels);
  std::vector<float> Largest(3, -1);
  Range.CreateRange(Matrix.data(), Stride, 0, Rows, Gates, Channels, 2, Largest);
  std::vector<float> Expected(3, 0);
  size_t Filtered = 0;
  for (size_t i = 0; i < Rows; ++i) {
    const TFCSLine A = One[i], B = Range[i];
    ASSERT_EQ(A.Filtered(), B.Filtered()) << i;
    Filtered += A.Filtered();
    EXPECT_EQ(Vec(A.GateValues()), Vec(B.GateValues()));
    EXPECT_EQ(Vec(A.RawValues()), Vec(B.RawValues()));
    EXPECT_EQ(Vec(A.LogGateValues()), Vec(B.LogGateValues()));
    EXPECT_EQ(Vec(A.LogRawValues()), Vec(B.LogRawValues()));
    EXPECT_EQ(Vec(A.GateZ()), Vec(B.GateZ()));
    EXPECT_EQ(B.MaxZ(), 0);
    EXPECT_EQ(B.SecondZ(), 0);
    EXPECT_TRUE(B.CompValues().empty());
    EXPECT_TRUE(B.Mask().empty());
    for (size_t c = 0; c < 3; ++c) Expected[c] = std::max(Expected[c], std::fabs(A.RawValues()[c]));
  }
  EXPECT_GT(Filtered, 0u);
  EXPECT_LT(Filtered, Rows);
  EXPECT_EQ(Largest, Expected);
  Matrix[3 * Stride + 2] = NAN;
  Range.CreateRange(Matrix.data(), Stride, 2, 5, Gates, Channels, 2, Largest);
  EXPECT_EQ(Largest, std::vector<float>(3, INFINITY)) << "a value that is not finite bounds nothing";
}

// What the events were built with bounds their raw values until one may change.
TEST(EventCreation, RawBoundKnownUntilARawValueMayChange) {
  SettingsGuard Guard;
  TFCSLineArray A;
  A.Reset(0, 2);
  A.resize(2);
  const std::vector<float> Rows = {3, -8, 1, 2};
  std::vector<float> Largest(2);
  A.CreateRange(Rows.data(), 2, 0, 2, {}, std::vector<int32_t>{0, 1}, 0, Largest);
  EXPECT_FALSE(A.RawBoundKnown());
  A.SetRawBound(Largest);
  ASSERT_TRUE(A.RawBoundKnown());
  EXPECT_EQ(std::vector<float>(A.RawBound().begin(), A.RawBound().end()), (std::vector<float>{3, 8}));
  const TFCSLineArray& Const = A;
  EXPECT_EQ(Const[0].RawValues()[1], -8);
  EXPECT_TRUE(A.RawBoundKnown()) << "reading keeps it";
  A[0].RawValues()[1] = -80;
  EXPECT_FALSE(A.RawBoundKnown());
  A.SetRawBound(Largest);
  A[1].Create(std::vector<float>{1, 90}, {}, std::vector<int32_t>{0, 1});
  EXPECT_FALSE(A.RawBoundKnown());
  A.SetRawBound(Largest);
  A.resize(3);
  EXPECT_FALSE(A.RawBoundKnown());
  EXPECT_THROW(A.SetRawBound({1}), ERangeError);
}

// Z values, MaxZ and SecondZ read as 0 until written; once written they move with their events.
TEST(EventScores, ReadAsZeroUntilWrittenAndMoveWithTheirEvents) {
  SettingsGuard Guard;
  MinimumRawScore = 2;
  auto A = Lines(2, 1, {{1, 2, 10}, {3, 4, 20}, {5, 6, 30}});
  const TFCSLineArray& Const = A;
  EXPECT_EQ(Vec(Const[1].GateZ()), (std::vector<float>{0, 0}));
  EXPECT_EQ(Const[1].MaxZ(), 0);
  EXPECT_EQ(Const[1].SecondZ(), 0);
  A[1].SetMaxZ(1.5f);
  A[2].GateZ()[1] = -2;
  A[2].SetSecondZ(0.25f);
  EXPECT_EQ(Const[0].MaxZ(), 0);
  EXPECT_EQ(Vec(Const[0].GateZ()), (std::vector<float>{0, 0}));
  EXPECT_EQ(A.RemoveIf([](const TFCSLine& E) { return E.GateValues()[0] == 1; }), 1u);
  EXPECT_EQ(Const[0].MaxZ(), 1.5f);
  EXPECT_EQ(Vec(Const[1].GateZ()), (std::vector<float>{0, -2}));
  EXPECT_EQ(Const[1].SecondZ(), 0.25f);
  A.resize(3);
  EXPECT_EQ(Const[2].MaxZ(), 0);
  A[1].Create(std::vector<float>{7, 8, 40}, std::vector<int32_t>{0, 1}, std::vector<int32_t>{2});
  EXPECT_EQ(Vec(Const[1].GateZ()), (std::vector<float>{0, 0}));
  EXPECT_EQ(Const[1].SecondZ(), 0);
  A.clear();
  A.resize(1);
  EXPECT_EQ(Const[0].MaxZ(), 0);
}

TEST(EventQueries, MaxChannelTiesGoToTheHigherChannel) {
  auto A = Lines(0, 3, {{5, 9, 9}, {9, 5, 1}});
  int32_t Index = -1;
  EXPECT_EQ(A[0].MaxChannel(Index), 9.0f);
  EXPECT_EQ(Index, 2);
  EXPECT_EQ(A[1].MaxChannel(Index), 9.0f);
  EXPECT_EQ(Index, 0);
  auto None = Lines(1, 0, {{1}});
  EXPECT_THROW(None[0].MaxChannel(Index), ERangeError);
}

TEST(EventRecord, WritesGatesAndChannelsLastFirstAndReadsOlderLayouts) {
  SettingsGuard Guard;
  MinimumRawScore = 2;
  auto A = Lines(2, 3, {{1.5f, 2.5f, 10, 20, 30}});
  A[0].SetFileIndex(4);
  TMemoryStream S;
  A[0].SaveToStream(S);
  ASSERT_EQ(S.Size(), 24);
  S.Seek(0);
  EXPECT_EQ(ReadInt32(S), 4);
  EXPECT_EQ(ReadSingle(S), 2.5f);
  EXPECT_EQ(ReadSingle(S), 1.5f);
  EXPECT_EQ(ReadSingle(S), 30.0f);

  TFCSLineArray B;
  B.Reset(2, 3);
  B.resize(1);
  S.Seek(0);
  B[0].CreateFromStream(S, 2, 3, 9);
  EXPECT_EQ(S.Position(), 24);
  EXPECT_EQ(Vec(B[0].GateValues()), Vec(A[0].GateValues()));
  EXPECT_EQ(Vec(B[0].RawValues()), Vec(A[0].RawValues()));
  EXPECT_EQ(B[0].FileIndex(), 4);
  EXPECT_FLOAT_EQ(B[0].LogRawValues()[2], std::log10(30.0f));

  // Protocols before version 8 stored a spare word after the gates.
  TMemoryStream Old;
  WriteInt32(Old, 1);
  WriteSingle(Old, 2.5f);
  WriteSingle(Old, 1.5f);
  WriteInt32(Old, -1);
  for (float V : {30.0f, 20.0f, 10.0f}) WriteSingle(Old, V);
  WriteInt32(Old, 99);
  Old.Seek(0);
  B[0].CreateFromStream(Old, 2, 3, 7);
  EXPECT_EQ(Old.Position(), 28);
  EXPECT_EQ(Vec(B[0].RawValues()), (std::vector<float>{10, 20, 30}));

  TMemoryStream Short(std::vector<uint8_t>(S.Bytes().begin(), S.Bytes().begin() + 20));
  EXPECT_THROW(B[0].LoadFromStream(Short, 2, 3, 9), EReadError);
  TMemoryStream Again(S.Bytes());
  EXPECT_THROW(B[0].LoadFromStream(Again, 1, 3, 9), ERangeError) << "counts of another protocol";
}

TEST(EventText, CsvHeaderAndRowsLineUp) {
  SettingsGuard Guard;
  MinimumRawScore = 2;
  auto P = MakeProtocol({{"FSC", "FSC", false}, {"SSC", "SSC", true}}, {{"GFP", "FL1"}, {"RFP", "FL2"}});
  auto A = Lines(2, 2, {{100, 1000, 500, 20}, {100, 1000, 1, 1}});
  std::string Header;
  A[0].CSVHeader({"GFP", "RFP"}, *P, Header);
  EXPECT_EQ(Header,
            "Idx,SSC,LOG_SSC,FSC,Z_SSC,Z_FSC,Raw_RFP,Raw_GFP,Comp_RFP,Comp_GFP,Log_RFP,Log_GFP,"
            "Filtered,Mask,IsCalled,MaxZ,SecondZ,DeltaZ");

  TFCSLine E = A[0];
  E.SizeCompensated();
  E.CompValues()[0] = 480;
  E.CompValues()[1] = 10;
  E.LogCompValues()[0] = 2.5f;
  E.LogCompValues()[1] = 1;
  E.SetMask("YN");
  E.SetMaxZ(3.5f);
  E.SetSecondZ(1.25f);
  E.SetGatedOut(true);
  std::string Row;
  E.CSVRow(5, *P, Row);
  EXPECT_EQ(Row,
            "5,1000.000,3.000,100.000,0.000,0.000,20.000,500.000,10.000,480.000,1.000,2.500,"
            "XXX,YN,Y,3.500,1.250,2.250");
  EXPECT_EQ(Commas(Row), Commas(Header));

  // A filtered event has no logs, Z values or compensated values: its columns stay empty.
  std::string Filtered;
  A[1].CSVRow(6, *P, Filtered);
  EXPECT_EQ(Filtered, "6,1000.000,0.000,100.000,,,1.000,1.000,,,,,\"-\",,N,0.000,0.000,0.000");
  EXPECT_EQ(Commas(Filtered), Commas(Header));
}

TEST(CompactEvents, CopyClassesFlagsAndLogs) {
  SettingsGuard Guard;
  MinimumRawScore = 2;
  auto A = Lines(1, 2, {{5, 100, 1000}, {5, 1, 1}});
  TFCSLine E = A[0];
  E.SizeCompensated();
  E.LogCompValues()[0] = 1.75f;
  E.Classes() = {2, 1, 3};
  E.SetGatedOut(true);
  E.SetFileIndex(255);

  TFCSShortLineArray S;
  S.Reset(2);
  S.resize(2);
  S[0].Create(A[0]);
  S[1].Create(A[1]);
  EXPECT_TRUE(S[0].GatedOut());
  EXPECT_EQ(S[0].FileIndex(), 255);
  EXPECT_EQ(S[0].Classes(), (TClassTriple{2, 1, 3}));
  EXPECT_EQ(Vec(S[0].LogCompValues()), (std::vector<float>{1.75f, 0}));
  EXPECT_EQ(Vec(S[0].LogRawValues()), (std::vector<float>{2, 3}));
  EXPECT_TRUE(S[1].LogRawValues().empty());
  EXPECT_TRUE(S[1].LogCompValues().empty());

  E.SetFileIndex(256);
  EXPECT_THROW(S[0].Create(A[0]), ERangeError);
  E.SetFileIndex(-1);
  EXPECT_THROW(S[0].Create(A[0]), ERangeError);
}

}  // namespace
}  // namespace qv
