#include "protocol/GlobalGate.h"

#include <gtest/gtest.h>

#include <limits>

#include "ByteWriter.h"
#include "Errors.h"
#include "RecordingMessages.h"

namespace qv {
namespace {

using test::ByteWriter;
using test::RecordingMessages;

constexpr int32_t Sentinel = 0x5EA1ED;

// A gate record of the given version, laid out field by field as that version stored it.
ByteWriter GateRecord(int32_t Version, int32_t Scale = 1, const std::string& FCSName = "SSC-A") {
  ByteWriter W;
  W.Int32(Version);
  if (Version < 8) W.Int32(0x11111111);
  if (Version >= 4) {
    W.Bool(false).Int32(0x0000FF).Int32(Scale);
    if (Version >= 7) W.Single(0.5f).Single(300000);
  }
  if (Version >= 5) W.String("SSC-H").String(FCSName).Bool(true).Bool(false);
  if (Version == 6) W.Int32(7).Int32(8);
  W.String("Side scatter").Single(100).Single(250000).Single(-2).Single(2.5f).Bool(true);
  W.Single(1.5f).Single(-1.5f).Single(4.25f).Single(0.125f).Int32(2);
  if (Version >= 8) W.Bool(true);
  return W;
}

std::unique_ptr<TGlobalGate> ReadGate(const ByteWriter& Record, int32_t FileVersion = 9) {
  ByteWriter W = Record;
  W.Int32(Sentinel);
  TMemoryStream S = W.Stream();
  auto Gate = TGlobalGate::CreateFromStream(S, nullptr, FileVersion);
  EXPECT_EQ(ReadInt32(S), Sentinel);
  return Gate;
}

class GateRecordVersion : public ::testing::TestWithParam<int32_t> {};

TEST_P(GateRecordVersion, ReadsEveryFieldAndStopsAtTheRecordEnd) {
  const int32_t v = GetParam();
  auto G = ReadGate(GateRecord(v));
  EXPECT_EQ(G->Active, v < 4);
  EXPECT_EQ(G->Color, v >= 4 ? 0x0000FF : 0);
  EXPECT_EQ(G->Scale, v >= 4 ? 1 : 0);
  EXPECT_EQ(G->DisplayMinimum, v >= 7 ? 0.5f : 0.0f);
  EXPECT_EQ(G->DisplayMaximum, v >= 7 ? 300000.0f : v >= 4 ? 65535.0f : 0.0f);
  EXPECT_EQ(G->FCSLabel, v >= 5 ? "SSC-H" : "");
  EXPECT_EQ(G->FCSName, v >= 5 ? "SSC-A" : "");
  EXPECT_TRUE(G->ExactFCSLabel);
  EXPECT_EQ(G->ExactFCSName, v < 5);
  EXPECT_EQ(G->Name, "Side scatter");
  EXPECT_EQ(G->MinimumValue, 100);
  EXPECT_EQ(G->MaximumValue, 250000);
  EXPECT_EQ(G->Minimum_Z, -2);
  EXPECT_EQ(G->Maximum_Z, 2.5f);
  EXPECT_TRUE(G->IsDynamic);
  EXPECT_EQ(G->ClipHigh, 1.5f);
  EXPECT_EQ(G->ClipLow, -1.5f);
  EXPECT_EQ(G->Mean, 4.25f);
  EXPECT_EQ(G->Deviation, 0.125f);
  EXPECT_EQ(G->ZOrder, 2);
  EXPECT_EQ(G->Cull, v >= 8);
  EXPECT_EQ(G->ParameterIndex, -1);
}

INSTANTIATE_TEST_SUITE_P(Versions1To8, GateRecordVersion, ::testing::Range(1, 9),
                         [](const auto& Info) { return "Version" + std::to_string(Info.param); });

TEST(GateRecord, DisplayRangeOfOlderRecords) {
  EXPECT_EQ(ReadGate(GateRecord(6, 1, "PW"))->DisplayMaximum, 256.0f);
  EXPECT_EQ(ReadGate(GateRecord(5, 1, "PW"))->DisplayMaximum, 256.0f);
  EXPECT_EQ(ReadGate(GateRecord(6, 1, "FSC"))->DisplayMaximum, 65535.0f);
  EXPECT_EQ(ReadGate(GateRecord(6, 0, "PW"))->DisplayMaximum, 4.0f);
  EXPECT_EQ(ReadGate(GateRecord(6, 1, "pw"))->DisplayMaximum, 65535.0f);
  EXPECT_EQ(ReadGate(GateRecord(7, 1, "PW"))->DisplayMaximum, 300000.0f);  // stored from 7 on
  // A scale beyond linear is linear, after it chose the range.
  auto G = ReadGate(GateRecord(5, 2, "PW"));
  EXPECT_EQ(G->Scale, 1);
  EXPECT_EQ(G->DisplayMaximum, 256.0f);
  G = ReadGate(GateRecord(8, 3));
  EXPECT_EQ(G->Scale, 1);
  EXPECT_FALSE(G->IsLogScale());
}

ByteWriter GateRecordV2(int32_t Identifier) {
  ByteWriter W;
  W.Int32(Identifier).String("FSC").Single(10).Single(60000).Single(-1.5f).Single(1.5f).Bool(true).Fill(1);
  W.Single(1.25f).Single(-1.25f).Single(3.5f).Single(0.25f).Fill(8).Int32(3).Fill(10).Fill(40);
  return W;
}

TEST(GateRecord, ReadsTheVersion2Layout) {
  auto G = ReadGate(GateRecordV2(-5), 2);
  EXPECT_EQ(G->Name, "FSC");
  EXPECT_TRUE(G->Active);
  EXPECT_EQ(G->Scale, 0);
  EXPECT_EQ(G->DisplayMinimum, 1.0f);
  EXPECT_EQ(G->DisplayMaximum, 65536.0f);
  EXPECT_EQ(G->MinimumValue, 10);
  EXPECT_EQ(G->MaximumValue, 60000);
  EXPECT_EQ(G->Minimum_Z, -1.5f);
  EXPECT_EQ(G->Maximum_Z, 1.5f);
  EXPECT_TRUE(G->IsDynamic);
  EXPECT_EQ(G->ClipHigh, 1.25f);
  EXPECT_EQ(G->ClipLow, -1.25f);
  EXPECT_EQ(G->Mean, 3.5f);
  EXPECT_EQ(G->Deviation, 0.25f);
  EXPECT_EQ(G->ZOrder, 3);
  EXPECT_FALSE(G->Cull);
  EXPECT_EQ(G->Color, 0);
  EXPECT_EQ(G->FCSName, "");
  EXPECT_EQ(G->FCSLabel, "");
  EXPECT_FALSE(G->ExactFCSName);
  EXPECT_FALSE(G->ExactFCSLabel);

  for (int32_t Id = -6; Id <= -1; ++Id)
    EXPECT_EQ(ReadGate(GateRecordV2(Id), 2)->IsLogScale(), Id == -5 || Id == -4 || Id == -2) << Id;
  for (int32_t Id : {-7, 0, 1}) {
    TMemoryStream S = GateRecordV2(Id).Stream();
    EXPECT_THROW(TGlobalGate::CreateFromStream(S, nullptr, 2), EReadError) << Id;
  }
}

TGateInfo FullInfo() {
  TGateInfo I;
  I.Active = true;
  I.Name = "Pulse width";
  I.FCSName = "PW";
  I.FCSLabel = "FL3-W";
  I.ExactFCSName = true;
  I.ExactFCSLabel = false;
  I.Scale = 1;
  I.DisplayMinimum = 0.25f;
  I.DisplayMaximum = 256;
  I.Color = 0x00808080;
  I.MinimumValue = 12.5f;
  I.MaximumValue = 200.75f;
  I.Minimum_Z = -2.25f;
  I.Maximum_Z = 1.75f;
  I.IsDynamic = true;
  I.ZOrder = 4;
  I.ClipHigh = 1.5f;
  I.ClipLow = -1.5f;
  I.Mean = 80.5f;
  I.Deviation = 6.125f;
  I.Cull = true;
  return I;
}

TEST(GateRecord, WritesTheCurrentLayoutAndReadsItBack) {
  const TGlobalGate G(FullInfo(), nullptr);
  TMemoryStream S;
  G.SaveToStream(S);
  ByteWriter W;
  W.Int32(8).Bool(true).Int32(0x00808080).Int32(1).Single(0.25f).Single(256);
  W.String("FL3-W").String("PW").Bool(false).Bool(true).String("Pulse width");
  W.Single(12.5f).Single(200.75f).Single(-2.25f).Single(1.75f).Bool(true);
  W.Single(1.5f).Single(-1.5f).Single(80.5f).Single(6.125f).Int32(4).Bool(true);
  EXPECT_EQ(S.Bytes(), W.Bytes());

  S.Seek(0);
  auto Read = TGlobalGate::CreateFromStream(S, nullptr, 9);
  EXPECT_EQ(S.Remaining(), 0);
  TGateInfo I;
  Read->GetInfo(I);
  EXPECT_EQ(I, FullInfo());
}

TEST(GateRecord, ValueThatIsNotANumberIsRefusedBeforeWriting) {
  TGlobalGate G(FullInfo(), nullptr);
  G.Mean = std::numeric_limits<float>::quiet_NaN();
  TMemoryStream S;
  EXPECT_THROW(G.SaveToStream(S), EArithmetic);
  EXPECT_EQ(S.Size(), 0);
}

TEST(GateRecordErrors, EveryTruncationFailsAndLeavesTheGate) {
  RecordingMessages Messages;
  const ByteWriter Records[] = {GateRecord(8), GateRecord(6), GateRecord(3), GateRecordV2(-1)};
  for (size_t k = 0; k < std::size(Records); ++k) {
    const ByteWriter& W = Records[k];
    const int32_t FileVersion = k == 3 ? 2 : 9;
    for (size_t n = 0; n < W.Size(); ++n) {
      TGlobalGate G(FullInfo(), nullptr);
      G.ParameterIndex = 5;
      TMemoryStream S(W.Prefix(n));
      if (FileVersion == 2)
        EXPECT_THROW(G.LoadFromStreamV2(S), EReadError) << k << ": " << n << " bytes";
      else
        EXPECT_THROW(G.LoadFromStream(S), EReadError) << k << ": " << n << " bytes";
      TGateInfo I;
      G.GetInfo(I);
      EXPECT_EQ(I, FullInfo());
      EXPECT_EQ(G.ParameterIndex, 5);
      TMemoryStream S2(W.Prefix(n));
      EXPECT_THROW(TGlobalGate::CreateFromStream(S2, nullptr, FileVersion), EReadError);
    }
  }
  EXPECT_TRUE(Messages.Errors.empty());
}

TEST(GateRecordErrors, UnknownVersionsAndNumbersAreRefused) {
  const std::vector<uint8_t> Record = GateRecord(8).Bytes();
  for (int32_t v : {0, 9, -3}) {
    ByteWriter W;
    W.Int32(v).Append({Record.begin() + 4, Record.end()});
    TMemoryStream S = W.Stream();
    EXPECT_THROW(TGlobalGate::CreateFromStream(S, nullptr, 9), EReadError) << v;
  }
  ByteWriter W;
  W.Int32(8).Bool(true).Int32(0).Int32(0).Single(std::numeric_limits<float>::infinity()).Fill(200, 0);
  TMemoryStream S = W.Stream();
  EXPECT_THROW(TGlobalGate::CreateFromStream(S, nullptr, 9), EReadError);
}

TEST(GateReport, TwoGatesMakeTwelveRowsInGateOrder) {
  TGateInfo I = FullInfo();
  TGlobalGate A(I, nullptr);
  I.Name = "FSC";
  I.Color = 255;
  I.MinimumValue = 0.25f;
  I.MaximumValue = 65535;
  I.IsDynamic = false;
  I.Minimum_Z = -3;
  I.Maximum_Z = 3;
  I.ZOrder = 0;
  I.ClipHigh = 2;
  I.ClipLow = -2;
  I.Mean = 0;
  I.Deviation = 1.005f;
  TGlobalGate B(I, nullptr);
  std::vector<std::string> Lines{"stale line"};
  B.AddToReport(Lines, true);
  A.AddToReport(Lines, false);
  B.AddToReport(Lines, false);
  const std::vector<std::string> Want = {
      "Name\tPulse width\tFSC\t",  "Color\t8421504\t255\t",     "MinimumValue\t12.5\t0.3\t",
      "MaximumValue\t200.8\t65535.0\t", "IsDynamic\tTRUE\tFALSE\t", "Minimum_Z\t-2.25\t-3.00\t",
      "Maximum_Z\t1.75\t3.00\t",   "ZOrder\t4\t0\t",            "ClipHigh\t1.50\t2.00\t",
      "ClipLow\t-1.50\t-2.00\t",   "Mean\t80.50\t0.00\t",       "Deviation\t6.13\t1.00\t"};
  EXPECT_EQ(Lines, Want);
  std::vector<std::string> Short(11);
  EXPECT_THROW(A.AddToReport(Short, false), ERangeError);
}

TEST(GateCopy, CopyKeepsEverySettingWithItsNewOwner) {
  TGlobalGate G(FullInfo(), nullptr);
  G.ParameterIndex = 2;
  int Marker = 0;
  auto* NewOwner = reinterpret_cast<TProtocol*>(&Marker);  // only compared, never used
  auto Copy = TGlobalGate::CreateCopy(G, NewOwner);
  TGateInfo I;
  Copy->GetInfo(I);
  EXPECT_EQ(I, FullInfo());
  EXPECT_TRUE(Copy->Cull);
  EXPECT_EQ(Copy->Owner, NewOwner);
  EXPECT_EQ(Copy->ParameterIndex, -1);
}

}  // namespace
}  // namespace qv
