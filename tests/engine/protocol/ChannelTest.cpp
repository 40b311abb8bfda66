#include "protocol/Channel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ByteWriter.h"
#include "Errors.h"
#include "RecordingMessages.h"

namespace qv {
namespace {

using test::ByteWriter;
using test::RecordingMessages;

constexpr int32_t Sentinel = 0x5EA1ED;

// Writes the channel names into the header row, as the protocol does.
struct FakeOwner : TChannelOwner {
  std::vector<std::string> Names;
  void FillChannelHeaderRow(StringTable& Grid) const override {
    if (Grid.ColCount() != static_cast<int32_t>(Names.size()) + 1) return;
    for (size_t i = 0; i < Names.size(); ++i) Grid.SetCell(static_cast<int32_t>(i) + 1, 0, Names[i]);
  }
};

TPeak MakePeak(float Mean, float Dev, float H, float ClipHigh, float ClipLow, bool Raw, int32_t Filter,
               float Value, float Chi, float ChiP) {
  return TPeak{Mean, Dev, H, ClipHigh, ClipLow, Raw, Filter, Value, Chi, ChiP};
}

// The two peaks every fixture stores (peak 1 is written first).
const TPeak FixturePeak0 = MakePeak(2.5f, 0.25f, 12.5f, 1.75f, -1.5f, true, 1, 3.5f, 1.5f, 0.005f);
const TPeak FixturePeak1 = MakePeak(3.5f, 0.125f, 7.5f, 2.0f, -2.0f, false, 0, 4.5f, 2.5f, 0.75f);

void WritePeak(ByteWriter& W, const TPeak& P, int32_t Version) {
  W.Single(P.Mean).Single(P.Dev).Single(P.H).Single(P.ClipHigh).Single(P.ClipLow);
  if (Version >= 7) W.Bool(P.Raw);
  if (Version >= 8) W.Int32(P.Filter).Single(P.Value);
  if (Version >= 9) W.Single(P.Chi).Single(P.ChiP);
}

// A channel record of the given version, laid out field by field as that version stored it.
ByteWriter ChannelRecord(int32_t Version) {
  ByteWriter W;
  W.Int32(Version).String("GFP").String("G");
  if (Version >= 10) W.String("FL1-H").String("GFP-A").Bool(false).Bool(true);
  if (Version >= 13) W.Int32(1).Single(0.5f).Single(5.5f);
  else if (Version >= 11) W.Int32(111).Int32(222).Int32(1);
  W.Int32(0x00FF00).Single(10).Single(1000).Single(-3).Single(3);
  if (Version <= 5) W.Single(2.5f).Single(0.25f);
  W.Single(20).Single(2000);
  if (Version <= 5) W.Single(1.75f).Single(-1.5f);
  W.Bool(true);
  if (Version >= 6) W.Bool(true);
  else W.Fill(3).Bool(true).Fill(12);
  if (Version >= 5) W.Single(42.5f);
  W.Int32(2).Single(7.5f).Single(100);
  if (Version >= 4) W.Single(0.75f).Single(0.5f);
  if (Version >= 5) W.Single(8).Single(0.8f).Single(99).Single(0.9f);
  if (Version <= 5) W.String("pair 1").String("pair 0");
  W.String("some notes").String("GType_1");
  if (Version >= 6) {
    W.Int32(2);
    WritePeak(W, FixturePeak1, Version);
    WritePeak(W, FixturePeak0, Version);
  }
  return W;
}

class ChannelRecordVersion : public ::testing::TestWithParam<int32_t> {};

TEST_P(ChannelRecordVersion, ReadsEveryFieldAndStopsAtTheRecordEnd) {
  const int32_t v = GetParam();
  ByteWriter W = ChannelRecord(v);
  W.Int32(Sentinel);
  TMemoryStream S = W.Stream();
  FakeOwner Owner;
  auto C = TChannel::CreateFromStream(S, &Owner, 3);
  EXPECT_EQ(ReadInt32(S), Sentinel);

  EXPECT_EQ(C->Owner, &Owner);
  EXPECT_EQ(C->ChannelName, "GFP");
  EXPECT_EQ(C->ChannelTag, "G");
  EXPECT_EQ(C->FCSLabel, v >= 10 ? "FL1-H" : "");
  EXPECT_EQ(C->FCSName, v >= 10 ? "GFP-A" : "");
  EXPECT_EQ(C->ExactFCSLabel, v < 10);
  EXPECT_TRUE(C->ExactFCSName);
  EXPECT_EQ(C->Scale, v >= 11 ? 1 : 0);
  EXPECT_EQ(C->DisplayMinimum, v >= 13 ? 0.5f : 0.0f);
  EXPECT_EQ(C->DisplayMaximum, v >= 13 ? 5.5f : 4.0f);
  EXPECT_EQ(C->Color, 0x00FF00);
  EXPECT_EQ(C->Minimum_Value_Threshold, 10);
  EXPECT_EQ(C->Maximum_Value_Threshold, 1000);
  EXPECT_EQ(C->Minimum_Z, -3);
  EXPECT_EQ(C->Maximum_Z, 3);
  EXPECT_EQ(C->Minimum_Value_ZScore, 20);
  EXPECT_EQ(C->MaximumValue_ZScore, 2000);
  EXPECT_TRUE(C->ForceMean);
  EXPECT_TRUE(C->SavedGenotype);
  EXPECT_EQ(C->Baseline, v >= 5 ? 42.5f : 0.0f);

  const float Dev0 = v >= 4 ? 0.5f : 0.0f, Dev1 = v >= 4 ? 0.75f : 0.0f;
  EXPECT_EQ(C->Comp, (TCompensationArray{{100, Dev0}, {7.5f, Dev1}}));
  if (v >= 5)
    EXPECT_EQ(C->Base, (TCompensationArray{{99, 0.9f}, {8, 0.8f}}));
  else
    EXPECT_EQ(C->Base, C->Comp);
  EXPECT_EQ(C->Notes, "some notes");
  EXPECT_EQ(C->Genotype, "GType_1");

  if (v <= 5) {
    EXPECT_EQ(C->Peaks, (TPeakArray{MakePeak(2.5f, 0.25f, 0, 1.75f, -1.5f, false, -1, 0, 0, 0)}));
  } else {
    ASSERT_EQ(C->PeakCount(), 2);
    for (int p = 0; p < 2; ++p) {
      TPeak Want = p == 0 ? FixturePeak0 : FixturePeak1;
      if (v < 7) Want.Raw = false;
      if (v < 8) Want.Filter = -1, Want.Value = 0;
      if (v < 9) Want.Chi = 0, Want.ChiP = 0;
      EXPECT_EQ(C->Peaks[p], Want) << "peak " << p;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Versions3To13, ChannelRecordVersion, ::testing::Range(3, 14),
                         [](const auto& Info) { return "Version" + std::to_string(Info.param); });

TEST(ChannelRecord, OldRecordWithoutGenotypeFlagSkipsTheGenotype) {
  // Version 5 keeps its flag between padding; a 0 there means no genotype string follows.
  ByteWriter W;
  W.Int32(5).String("RFP").String("R").Int32(255).Single(1).Single(2).Single(-1).Single(1);
  W.Single(2).Single(0.5f).Single(5).Single(6).Single(2).Single(-2);
  W.Bool(false).Fill(3).Bool(false).Fill(12).Single(1.5f);
  W.Int32(1).Single(100).Single(0).Single(100).Single(0).String("x");
  W.String("").Int32(Sentinel);
  TMemoryStream S = W.Stream();
  auto C = TChannel::CreateFromStream(S, nullptr, 3);
  EXPECT_EQ(ReadInt32(S), Sentinel);
  EXPECT_FALSE(C->SavedGenotype);
  EXPECT_EQ(C->Genotype, "");
  EXPECT_EQ(C->Baseline, 1.5f);
}

TEST(ChannelRecord, ReadsTheVersion2Layout) {
  ByteWriter W;
  W.String("GFP").String("G").Int32(0x0000FF);
  W.Single(10).Single(1000).Single(-3).Single(3);  // thresholds, Z limits
  W.Single(2.5f).Single(0.25f).Fill(8);           // peak 0, two skipped int32
  W.Single(20).Single(2000).Single(1.75f).Single(-1.5f);
  W.Fill(1).Bool(true).Fill(3).Bool(true).Fill(5).Fill(40);
  W.Int32(3).Single(3.0f).Single(2.0f).Single(100.0f);  // means, last first
  W.String("v2 notes").String("GType_2").Int32(Sentinel);
  TMemoryStream S = W.Stream();
  auto C = TChannel::CreateFromStream(S, nullptr, 2);
  EXPECT_EQ(ReadInt32(S), Sentinel);

  EXPECT_EQ(C->ChannelName, "GFP");
  EXPECT_EQ(C->ChannelTag, "G");
  EXPECT_EQ(C->Color, 0x0000FF);
  EXPECT_EQ(C->Scale, 0);
  EXPECT_EQ(C->DisplayMinimum, 0.0f);
  EXPECT_EQ(C->DisplayMaximum, 4.0f);
  EXPECT_EQ(C->Baseline, 0.0f);
  EXPECT_EQ(C->Minimum_Value_Threshold, 10);
  EXPECT_EQ(C->Maximum_Value_Threshold, 1000);
  EXPECT_EQ(C->Minimum_Z, -3);
  EXPECT_EQ(C->Maximum_Z, 3);
  EXPECT_EQ(C->Minimum_Value_ZScore, 20);
  EXPECT_EQ(C->MaximumValue_ZScore, 2000);
  EXPECT_TRUE(C->ForceMean);
  EXPECT_TRUE(C->SavedGenotype);
  EXPECT_EQ(C->Peaks, (TPeakArray{MakePeak(2.5f, 0.25f, 0, 1.75f, -1.5f, false, -1, 0, 0, 0)}));
  EXPECT_EQ(C->Comp, (TCompensationArray{{100, 0}, {2, 0}, {3, 0}}));
  EXPECT_EQ(C->Base, C->Comp);
  EXPECT_EQ(C->Notes, "v2 notes");
  EXPECT_EQ(C->Genotype, "GType_2");
  EXPECT_EQ(C->FCSName, "");
  EXPECT_EQ(C->FCSLabel, "");
  EXPECT_FALSE(C->ExactFCSName);
  EXPECT_FALSE(C->ExactFCSLabel);
}

void ExpectSameChannel(const TChannel& A, const TChannel& B) {
  EXPECT_EQ(A.ChannelName, B.ChannelName);
  EXPECT_EQ(A.ChannelTag, B.ChannelTag);
  EXPECT_EQ(A.FCSName, B.FCSName);
  EXPECT_EQ(A.FCSLabel, B.FCSLabel);
  EXPECT_EQ(A.ExactFCSName, B.ExactFCSName);
  EXPECT_EQ(A.ExactFCSLabel, B.ExactFCSLabel);
  EXPECT_EQ(A.Scale, B.Scale);
  EXPECT_EQ(A.DisplayMinimum, B.DisplayMinimum);
  EXPECT_EQ(A.DisplayMaximum, B.DisplayMaximum);
  EXPECT_EQ(A.Color, B.Color);
  EXPECT_EQ(A.Minimum_Value_Threshold, B.Minimum_Value_Threshold);
  EXPECT_EQ(A.Maximum_Value_Threshold, B.Maximum_Value_Threshold);
  EXPECT_EQ(A.Minimum_Value_ZScore, B.Minimum_Value_ZScore);
  EXPECT_EQ(A.MaximumValue_ZScore, B.MaximumValue_ZScore);
  EXPECT_EQ(A.Minimum_Z, B.Minimum_Z);
  EXPECT_EQ(A.Maximum_Z, B.Maximum_Z);
  EXPECT_EQ(A.Comp, B.Comp);
  EXPECT_EQ(A.Base, B.Base);
  EXPECT_EQ(A.Baseline, B.Baseline);
  EXPECT_EQ(A.Notes, B.Notes);
  EXPECT_EQ(A.ForceMean, B.ForceMean);
  EXPECT_EQ(A.Peaks, B.Peaks);
  EXPECT_EQ(A.SavedGenotype, B.SavedGenotype);
  EXPECT_EQ(A.Genotype, B.Genotype);
}

TChannelInfo FullInfo() {
  TChannelInfo I;
  I.ChannelName = "YFP";
  I.ChannelTag = "Y";
  I.FCSName = "YFP-A";
  I.FCSLabel = "FL2-H";
  I.ExactFCSName = true;
  I.ExactFCSLabel = false;
  I.Scale = 1;
  I.DisplayMinimum = 0.1f;
  I.DisplayMaximum = 65535;
  I.Color = 0x00FFFF;
  I.Minimum_Value_Threshold = 1.1f;
  I.Maximum_Value_Threshold = 2.2f;
  I.Minimum_Value_ZScore = 3.3f;
  I.MaximumValue_ZScore = 4.4f;
  I.Minimum_Z = -5.5f;
  I.Maximum_Z = 6.6f;
  I.Notes = "line 1\r\nline 2";
  I.ForceMean = true;
  I.Genotype = "yfp-strain";
  I.Baseline = 12.25f;
  return I;
}

TEST(ChannelRecord, WritesTheCurrentLayoutByteForByte) {
  // "GFP" tagged "G", two compensation pairs, one peak, genotype "GType_1": 164 bytes.
  TChannelInfo I;
  I.ChannelName = "GFP";
  I.ChannelTag = "G";
  I.Genotype = "GType_1";
  TChannel C(I, nullptr);
  C.SetCompPair(0, {100, 1}, true);
  C.SetCompPair(1, {7.5f, 0.5f}, true);
  C.SetCompPair(0, {99, 2}, false);
  C.SetCompPair(1, {8, 0.25f}, false);
  C.AddPeak(true, -1, 2.5f, 0.25f, 12.5f, 3.5f, 1.5f, 0.005f, 1.75f, -1.5f);
  TMemoryStream S;
  C.SaveToStream(S);
  ASSERT_EQ(S.Size(), 164);
  EXPECT_TRUE(C.SavedGenotype);

  ByteWriter W;
  W.Int32(13).String("GFP").String("G").String("").String("").Bool(false).Bool(false);
  W.Int32(0).Single(0).Single(0).Int32(0);
  W.Single(0).Single(0).Single(0).Single(0).Single(0).Single(0);
  W.Bool(false).Bool(true).Single(0);
  W.Int32(2).Single(7.5f).Single(100).Single(0.5f).Single(1).Single(8).Single(0.25f).Single(99).Single(2);
  W.String("").String("GType_1").Int32(1);
  W.Single(2.5f).Single(0.25f).Single(12.5f).Single(1.75f).Single(-1.5f).Bool(true).Int32(-1);
  W.Single(3.5f).Single(1.5f).Single(0.005f);
  EXPECT_EQ(S.Bytes(), W.Bytes());
}

TEST(ChannelRecord, RoundTripKeepsEveryStoredField) {
  TChannel C(FullInfo(), nullptr);
  C.SetCompPair(0, {100, 0}, true);
  C.SetCompPair(1, {3.25f, 0.5f}, true);
  C.SetCompPair(2, {0.125f, 0.0625f}, true);
  C.SetCompPair(0, {98.5f, 1.5f}, false);
  C.SetCompPair(1, {2.75f, 0.25f}, false);
  C.SetCompPair(2, {0.5f, 0.125f}, false);
  C.AddPeak(false, 2, 2.5f, 0.25f, 12.5f, 3.5f, 1.5f, 0.005f, 1.75f, -1.5f);
  C.AddPeak(true, -1, 3.5f, 0.5f, 1.5f, 0, 0, 0, 2, -2);
  C.ParameterIndex = 4;
  TMemoryStream S;
  C.SaveToStream(S);
  S.Seek(0);
  FakeOwner Owner;
  auto Read = TChannel::CreateFromStream(S, &Owner, 9);
  EXPECT_EQ(S.Remaining(), 0);
  ExpectSameChannel(*Read, C);
  EXPECT_EQ(Read->Owner, &Owner);
  EXPECT_EQ(Read->ParameterIndex, -1);
}

TEST(ChannelRecord, ShorterPairArrayIsPaddedNotDropped) {
  TChannel C(FullInfo(), nullptr);
  C.SetCompPair(2, {5, 0.5f}, true);   // Comp: 3 pairs
  C.SetCompPair(0, {1, 0.25f}, false);  // Base: 1 pair
  TMemoryStream S;
  C.SaveToStream(S);
  S.Seek(0);
  auto Read = TChannel::CreateFromStream(S, nullptr, 9);
  EXPECT_EQ(Read->Comp, (TCompensationArray{{0, 0}, {0, 0}, {5, 0.5f}}));
  EXPECT_EQ(Read->Base, (TCompensationArray{{1, 0.25f}, {0, 0}, {0, 0}}));

  // And the other way round.
  TChannel D(FullInfo(), nullptr);
  D.SetCompPair(1, {2, 0}, false);
  S.Clear();
  D.SaveToStream(S);
  S.Seek(0);
  Read = TChannel::CreateFromStream(S, nullptr, 9);
  EXPECT_EQ(Read->Comp, (TCompensationArray{{0, 0}, {0, 0}}));
  EXPECT_EQ(Read->Base, (TCompensationArray{{0, 0}, {2, 0}}));
}

TEST(ChannelRecord, EmptyGenotypeWritesNoGenotypeString) {
  TChannelInfo I = FullInfo();
  I.Genotype = "";
  TChannel C(I, nullptr);
  C.SavedGenotype = true;  // stale flag: the writer sets it from Genotype
  TMemoryStream S;
  C.SaveToStream(S);
  EXPECT_FALSE(C.SavedGenotype);
  S.Seek(0);
  auto Read = TChannel::CreateFromStream(S, nullptr, 9);
  EXPECT_EQ(S.Remaining(), 0);
  EXPECT_FALSE(Read->SavedGenotype);
  EXPECT_EQ(Read->Genotype, "");
}

TEST(ChannelRecord, ValueThatIsNotANumberIsRefusedBeforeWriting) {
  TChannel C(FullInfo(), nullptr);
  C.AddPeak(false, 0, 1, 1, 1, std::numeric_limits<float>::infinity(), 0, 0, 2, -2);
  TMemoryStream S;
  EXPECT_THROW(C.SaveToStream(S), EArithmetic);
  EXPECT_EQ(S.Size(), 0);
}

// A channel in a known state, to see that a failed read leaves it alone.
TChannel KnownChannel() {
  TChannel C(FullInfo(), nullptr);
  C.SetCompPair(0, {50, 5}, true);
  C.AddPeak(true, 1, 1, 2, 3, 4, 5, 6, 7, 8);
  C.ParameterIndex = 7;
  return C;
}

TEST(ChannelRecordErrors, EveryTruncationFailsWithTheMessageAndLeavesTheChannel) {
  for (int32_t v : {13, 8, 5, 3}) {
    const ByteWriter W = ChannelRecord(v);
    for (size_t n = 0; n < W.Size(); ++n) {
      RecordingMessages Messages;
      TChannel C = KnownChannel();
      TMemoryStream S(W.Prefix(n));
      EXPECT_THROW(C.LoadFromStream(S), EReadError) << "version " << v << ", " << n << " bytes";
      EXPECT_EQ(Messages.Errors, std::vector<std::string>{"Error reading protocol from stream"});
      ExpectSameChannel(C, KnownChannel());
      EXPECT_EQ(C.ParameterIndex, 7);
    }
  }
}

TEST(ChannelRecordErrors, Version2TruncationPassesTheErrorWithoutMessage) {
  ByteWriter W;
  W.String("GFP").String("G").Int32(0).Fill(16, 0).Fill(8, 0).Fill(8).Fill(16, 0).Fill(51, 0);
  W.Int32(1).Single(100).String("").Int32(Sentinel);
  {
    TMemoryStream S = W.Stream();
    ASSERT_NO_THROW(TChannel::CreateFromStream(S, nullptr, 2));
  }
  for (size_t n = 0; n + 4 < W.Size(); ++n) {
    RecordingMessages Messages;
    TMemoryStream S(W.Prefix(n));
    EXPECT_THROW(TChannel::CreateFromStream(S, nullptr, 2), EReadError) << n << " bytes";
    EXPECT_TRUE(Messages.Errors.empty());
  }
}

TEST(ChannelRecordErrors, CorruptCountsVersionsAndNumbersAreRefused) {
  RecordingMessages Messages;
  auto Fails = [](const ByteWriter& W) {
    TMemoryStream S = W.Stream();
    EXPECT_THROW(TChannel::CreateFromStream(S, nullptr, 9), EReadError);
  };
  const std::vector<uint8_t> Record = ChannelRecord(13).Bytes();
  for (int32_t v : {-1, 0, 1, 2, 14}) {
    ByteWriter W;
    W.Int32(v).Append({Record.begin() + 4, Record.end()});
    Fails(W);
  }
  // A pair count far beyond the stream: refused before anything is allocated.
  ByteWriter Huge;
  Huge.Int32(13).String("A").String("A").String("").String("").Fill(2).Int32(0).Fill(8).Int32(0);
  Huge.Fill(24).Fill(2).Fill(4).Int32(std::numeric_limits<int32_t>::max()).Fill(64);
  Fails(Huge);
  // A string length beyond the stream.
  Fails(ByteWriter().Int32(13).Int32(1 << 30).Fill(16));
  // NaN in a stored number.
  const std::vector<uint8_t>& B = Record;
  const size_t ColorAt = 4 + 7 + 5 + 9 + 9 + 2 + 12;  // version, strings, flags, scale and range
  ByteWriter Nan;
  Nan.Append({B.begin(), B.begin() + ColorAt + 4}).Single(std::numeric_limits<float>::quiet_NaN());
  Nan.Append({B.begin() + ColorAt + 8, B.end()});
  Fails(Nan);
}

TEST(ChannelGrids, GetInfoFillsTheThreeGrids) {
  FakeOwner Owner;
  Owner.Names = {"GFP", "YFP"};
  TChannel C(FullInfo(), &Owner);
  C.SetCompPair(0, {100, 0}, true);
  C.SetCompPair(1, {7.5f, 0.75f}, true);
  C.SetCompPair(0, {98.25f, 1.5f}, false);
  C.SetCompPair(1, {6.125f, 0.5f}, false);
  C.Peaks = {FixturePeak0, FixturePeak1};
  StringTable Comp, Base, Peaks;
  Comp.SetSize(7, 7);
  Peaks.SetSize(1, 1);
  TChannelInfo I;
  I.CompGrid = &Comp;
  I.BaseGrid = &Base;
  I.PeakGrid = &Peaks;
  C.GetInfo(I);

  EXPECT_EQ(I.ChannelName, "YFP");
  EXPECT_EQ(I.Baseline, 12.25f);
  EXPECT_EQ(I.Genotype, "yfp-strain");
  EXPECT_EQ(Comp.ColCount(), 3);
  EXPECT_EQ(Comp.RowCount(), 3);
  const std::vector<std::vector<std::string>> WantComp = {
      {"", "GFP", "YFP"}, {"Comp Mean", "100.00", "7.50"}, {"Comp Var", "0.00", "0.75"}};
  const std::vector<std::vector<std::string>> WantBase = {
      {"", "GFP", "YFP"}, {"Comp Mean", "98.25", "6.13"}, {"Comp Var", "1.50", "0.50"}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(Comp.Cell(c, r), WantComp[r][c]) << c << "," << r;
      EXPECT_EQ(Base.Cell(c, r), WantBase[r][c]) << c << "," << r;
    }

  ASSERT_EQ(Peaks.ColCount(), 10);
  ASSERT_EQ(Peaks.RowCount(), 3);
  EXPECT_EQ(Peaks.FixedRows, 1);
  const std::vector<std::vector<std::string>> WantPeaks = {
      {"", "Mean", "Dev", "H", "ClipHigh", "ClipLow", "Filter", "Value", "Chi", "ChiP"},
      {"Peak 0", "2.50000", "0.25000", "12.5", "1.75", "-1.50", "1", "3.5", "1.5", "5.00e-3"},
      {"Peak 1", "3.50000", "0.12500", "7.5", "2.00", "-2.00", "0", "4.5", "2.5", "0.75"}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 10; ++c) EXPECT_EQ(Peaks.Cell(c, r), WantPeaks[r][c]) << c << "," << r;

  // A grid for another channel count gets no names.
  Owner.Names = {"GFP"};
  StringTable Fresh;
  I.CompGrid = &Fresh;
  C.GetInfo(I);
  EXPECT_EQ(Fresh.ColCount(), 3);
  EXPECT_EQ(Fresh.Cell(1, 0), "");
}

TEST(ChannelGrids, GridsReadBackIntoAnEqualChannel) {
  TChannel C(FullInfo(), nullptr);
  C.Comp = {{100, 0}, {7.5f, 0.75f}, {0.25f, 0.5f}};
  C.Base = {{98.25f, 1.5f}};
  C.Peaks = {MakePeak(2.5f, 0.25f, 12.5f, 1.75f, -1.5f, false, 1, 3.5f, 1.5f, 0.5f),
             MakePeak(3.125f, 0.125f, 7.5f, 2, -2, false, -1, 4.5f, 2.5f, 0.75f)};
  StringTable Comp, Base, Peaks;
  TChannelInfo I;
  I.CompGrid = &Comp;
  I.BaseGrid = &Base;
  I.PeakGrid = &Peaks;
  C.GetInfo(I);
  TChannel D(I, nullptr);
  ExpectSameChannel(D, C);
}

TEST(ChannelGrids, CellsThatAreNotNumbers) {
  TChannel C(FullInfo(), nullptr);
  StringTable Comp, Base;
  Comp.SetSize(4, 3);
  Comp.SetCell(1, 1, "12.5");  // empty deviation reads 0
  Comp.SetCell(2, 1, "abc");   // the whole pair becomes (0, 0)
  Comp.SetCell(2, 2, "3");
  Comp.SetCell(3, 1, " 1.25 ");
  Comp.SetCell(3, 2, "1e60");  // does not fit a 32-bit float
  Base.SetSize(1, 3);
  C.Base = {{1, 1}};
  C.ReadCompFromGrid(Comp, Base);
  EXPECT_EQ(C.Comp, (TCompensationArray{{12.5f, 0}, {0, 0}, {0, 0}}));
  EXPECT_TRUE(C.Base.empty());

  // A peak row stops at its first bad cell; existing peaks keep the rest, new ones start at 0.
  C.Peaks = {MakePeak(9, 9, 9, 9, 9, true, 9, 9, 9, 9)};
  StringTable P;
  P.SetSize(10, 3);
  for (int c = 1; c <= 9; ++c) P.SetCell(c, 1, std::to_string(c));
  P.SetCell(3, 1, "x");
  for (int c = 1; c <= 9; ++c) P.SetCell(c, 2, std::to_string(c));
  P.SetCell(6, 2, "1.5");  // Filter must be an integer
  C.ReadPeaksFromGrid(P);
  EXPECT_EQ(C.Peaks, (TPeakArray{MakePeak(1, 2, 9, 9, 9, true, 9, 9, 9, 9),
                                 MakePeak(1, 2, 3, 4, 5, false, 0, 0, 0, 0)}));
}

TEST(ChannelPeaks, SetPeakAddsFillsAndClips) {
  TChannel C(FullInfo(), nullptr);
  C.SetPeak(true, -2, 1, 1, 1);  // no last peak: nothing
  C.SetPeak(true, 0, 1, 1, 1);
  EXPECT_EQ(C.PeakCount(), 0);

  C.SetPeak(true, -1, 2.5f, 0.5f, 10);
  EXPECT_EQ(C.Peaks, (TPeakArray{MakePeak(2.5f, 0.5f, 10, 2, -2, true, 0, 0, 0, 0)}));

  C.AddPeak(false, 3, 1, 2, 3, 4, 5, 6, 0.5f, 0);  // ClipLow 0 but ClipHigh not: kept
  C.SetPeak(true, -2, 7, 8, 9);
  EXPECT_EQ(C.Peaks[1], MakePeak(7, 8, 9, 0.5f, 0, true, 3, 4, 5, 6));
  C.SetPeak(false, 2, 1, 1, 1);
  EXPECT_EQ(C.PeakCount(), 2);
}

TEST(ChannelPeaks, GetAndDeletePeaks) {
  TChannel C(FullInfo(), nullptr);
  const TPeak A = MakePeak(1, 2, 3, 4, 5, true, 6, 7, 8, 9);
  const TPeak B = MakePeak(11, 12, 13, 14, 15, false, -1, 17, 18, 19);
  const TPeak D = MakePeak(21, 22, 23, 24, 25, true, 2, 27, 28, 29);
  C.Peaks = {A, B, D};
  TPeak Got = A;
  C.GetPeak(3, Got);
  C.GetPeak(-1, Got);
  EXPECT_EQ(Got, A);
  C.GetPeak(2, Got);
  EXPECT_EQ(Got, D);
  C.DeletePeak(3);
  C.DeletePeak(-1);
  C.DeletePeak(0);
  EXPECT_EQ(C.Peaks, (TPeakArray{B, D}));
}

TEST(ChannelPairs, SetCompPairGrowsOnlyTheChosenArray) {
  TChannel C(FullInfo(), nullptr);
  C.Comp = {{1, 1}, {2, 2}, {3, 3}};
  C.Base = C.Comp;
  C.SetCompPair(5, {6, 0.5f}, false);
  EXPECT_EQ(C.Base, (TCompensationArray{{1, 1}, {2, 2}, {3, 3}, {0, 0}, {0, 0}, {6, 0.5f}}));
  EXPECT_EQ(C.CompCount(), 3);
  TCompensationPair P{9, 9};
  C.GetCompPair(5, true, P);
  EXPECT_EQ(P, (TCompensationPair{0, 0}));
  C.GetCompPair(5, false, P);
  EXPECT_EQ(P, (TCompensationPair{6, 0.5f}));
  C.GetCompPair(-1, false, P);
  EXPECT_EQ(P, (TCompensationPair{0, 0}));
}

TEST(ChannelCopy, CopyIsDeepAndKeepsBothPairArraysWhole) {
  FakeOwner Owner;
  auto Source = std::make_unique<TChannel>(FullInfo(), nullptr);
  Source->Comp = {{100, 0}};
  Source->Base = {{99, 1}, {2, 0.5f}};
  Source->Peaks = {FixturePeak0, FixturePeak1};
  Source->SavedGenotype = true;
  Source->ParameterIndex = 3;
  auto Copy = TChannel::CreateCopy(*Source, &Owner);
  EXPECT_EQ(Copy->Owner, &Owner);
  EXPECT_EQ(Copy->ParameterIndex, -1);
  ExpectSameChannel(*Copy, *Source);
  Source->Peaks[0].Mean = 0;
  Source->Base.clear();
  EXPECT_EQ(Copy->Peaks[0], FixturePeak0);
  EXPECT_EQ(Copy->Base.size(), 2u);
}

TEST(ChannelReport, TableUsesTheLargestPairCount) {
  TChannelInfo I = FullInfo();
  I.ChannelName = "GFP";
  I.ChannelTag = "G";
  I.Color = 65280;
  I.Minimum_Value_Threshold = 10;
  I.Maximum_Value_Threshold = 1000;
  I.Minimum_Value_ZScore = 20.25f;
  I.MaximumValue_ZScore = 2000;
  I.Minimum_Z = -3;
  I.Maximum_Z = 2.5f;
  TChannel A(I, nullptr);
  A.Comp = {{100, 0}, {7.5f, 0.75f}};
  A.Base = {{99.5f, 1}, {8, 0.5f}};
  A.Peaks = {FixturePeak0};
  A.SavedGenotype = true;
  I.ChannelName = "RFP";
  I.Genotype = "";
  I.ForceMean = false;
  TChannel B(I, nullptr);  // one pair, no peaks
  B.Comp = {{3.25f, 0.125f}};
  B.Base = {{3, 0}};

  const int32_t N = std::max(A.ReportPairCount(), B.ReportPairCount());
  std::vector<std::string> Lines{"kept"};
  Lines.clear();
  B.AddToReport(Lines, true, N);
  ASSERT_EQ(Lines.size(), 24u);
  A.AddToReport(Lines, false, N);
  B.AddToReport(Lines, false, N);
  const std::vector<std::string> Want = {
      "ChannelName\tGFP\tRFP\t",
      "ChannelTag\tG\tG\t",
      "Color\t65280\t65280\t",
      "Minimum_Value_Threshold\t10.0\t10.0\t",
      "Maximum_Value_Threshold\t1000.0\t1000.0\t",
      "Minimum_Value_ZScore\t20.3\t20.3\t",
      "MaximumValue_ZScore\t2000.0\t2000.0\t",
      "Minimum_Z\t-3.00\t-3.00\t",
      "Maximum_Z\t2.50\t2.50\t",
      "ForceMean\tTRUE\tFALSE\t",
      "DefaultMean\t2.5000\t0.0000\t",
      "DefaultDeviation\t0.2500\t0.0000\t",
      "ClipHigh\t1.75\t0.00\t",
      "ClipLow\t-1.50\t0.00\t",
      "SavedGenotype\tTRUE\tFALSE\t",
      "Genotype\t\"yfp-strain\"\t\"\"\t",
      "Comp_Mean Ch_1\t100.000\t3.250\t",
      "Comp_Mean Ch_2\t7.500\t\t",
      "Comp_Dev Ch_1\t0.000\t0.125\t",
      "Comp_Dev Ch_2\t0.750\t\t",
      "Base_Mean Ch_1\t99.500\t3.000\t",
      "Base_Mean Ch_2\t8.000\t\t",
      "Base_Dev Ch_1\t1.000\t0.000\t",
      "Base_Dev Ch_2\t0.500\t\t",
  };
  EXPECT_EQ(Lines, Want);

  // A table without the rows this channel needs is not written past its end.
  std::vector<std::string> Short(20);
  EXPECT_THROW(A.AddToReport(Short, false, 2), ERangeError);
}

TEST(ChannelReport, CSVSummaryLines) {
  TChannelInfo I = FullInfo();
  TChannel C(I, nullptr);
  C.Peaks = {FixturePeak0};
  EXPECT_EQ(C.CSVSummaryLine(true, false), "Channel, Mean, Deviation,");
  EXPECT_EQ(C.CSVSummaryLine(true, true),
            "Channel, Mean, Deviation,ForceMean, MinValue_Thresh, MaxValue_Thresh, MinValue_Z, "
            "MaxValue_Z, MinimumZ, MaximumZ, ClipLow, ClipHigh,");
  EXPECT_EQ(C.CSVSummaryLine(false, false), "\"YFP\",2.5000,0.2500,");
  EXPECT_EQ(C.CSVSummaryLine(false, true),
            "\"YFP\",2.5000,0.2500,TRUE,1.1000,2.2000,3.3000,4.4000,-5.5000,6.6000,-1.5000,1.7500,");
  C.Peaks.clear();
  EXPECT_EQ(C.CSVSummaryLine(false, false), "\"YFP\",0.0000,0.0000,");
}

}  // namespace
}  // namespace qv
