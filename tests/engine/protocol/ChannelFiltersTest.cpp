#include "protocol/ChannelFilters.h"

#include <gtest/gtest.h>

#include <limits>

#include "ByteWriter.h"
#include "Errors.h"
#include "RecordingMessages.h"

namespace qv {
namespace {

using test::ByteWriter;
using test::RecordingMessages;

TChannelFilterInfo Info(const std::string& Name, int32_t Source, int32_t Spill, float Max, float Mean,
                        float Min) {
  TChannelFilterInfo I;
  I.Index = 99;
  I.Name = Name;
  I.SourceChannel = Source;
  I.SpilloverChannel = Spill;
  I.MaxSpillover = Max;
  I.MeanSpillover = Mean;
  I.MinSpillover = Min;
  return I;
}

TChannelFilters ThreeFilters() {
  TChannelFilters F;
  F.Add(Info("GFP-->YFP", 0, 1, 0.3f, 0.2f, 0.1f));
  F.Add(Info("GFP-->RFP", 0, 2, 0.05f, 0.02f, -0.01f));
  F.Add(Info("YFP-->GFP", 1, 0, 0.5f, 0.25f, 0.0f));
  return F;
}

TEST(FilterRecord, ReadsAHandBuiltRecordIntoTheSameIndices) {
  ByteWriter W;
  W.Int32(1).Int32(2);
  W.String("second").Int32(1).Int32(0).Single(0.5f).Single(0.25f).Single(0.125f);  // filter 1 first
  W.String("first").Int32(0).Int32(2).Single(0.3f).Single(0.2f).Single(-0.1f);
  W.Int32(0x5EA1ED);
  TMemoryStream S = W.Stream();
  auto F = TChannelFilters::CreateFromStream(&S);
  EXPECT_EQ(ReadInt32(S), 0x5EA1ED);
  ASSERT_EQ(F->Count(), 2);
  EXPECT_EQ(F->Filters()[0], (TChannelFilter{"first", 0, 2, 0.3f, 0.2f, -0.1f}));
  EXPECT_EQ(F->Filters()[1], (TChannelFilter{"second", 1, 0, 0.5f, 0.25f, 0.125f}));

  TMemoryStream Out;
  F->SaveToStream(Out);
  EXPECT_EQ(Out.Bytes(), W.Prefix(W.Size() - 4));

  EXPECT_EQ(TChannelFilters::CreateFromStream(nullptr)->Count(), 0);
}

TEST(FilterRecord, RoundTripAndEmptyList) {
  TChannelFilters F = ThreeFilters();
  TMemoryStream S;
  F.SaveToStream(S);
  S.Seek(0);
  auto Read = TChannelFilters::CreateFromStream(&S);
  EXPECT_EQ(S.Remaining(), 0);
  EXPECT_EQ(Read->Filters(), F.Filters());

  TMemoryStream Empty;
  TChannelFilters().SaveToStream(Empty);
  EXPECT_EQ(Empty.Bytes(), ByteWriter().Int32(1).Int32(0).Bytes());
}

TEST(FilterRecord, TruncatedOrCorruptRecordsFailAndLeaveTheList) {
  TMemoryStream Full;
  ThreeFilters().SaveToStream(Full);
  for (size_t n = 0; n < Full.Bytes().size(); ++n) {
    TChannelFilters F;
    F.Add(Info("kept", 3, 4, 1, 1, 1));
    TMemoryStream S(std::vector<uint8_t>(Full.Bytes().begin(), Full.Bytes().begin() + n));
    EXPECT_THROW(F.LoadFromStream(S), EReadError) << n << " bytes";
    ASSERT_EQ(F.Count(), 1);
    EXPECT_EQ(F.Filters()[0].Name, "kept");
  }
  auto Fails = [](const ByteWriter& W) {
    TMemoryStream S = W.Stream();
    EXPECT_THROW(TChannelFilters::CreateFromStream(&S), EReadError);
  };
  Fails(ByteWriter().Int32(1).Int32(std::numeric_limits<int32_t>::max()).Fill(100));
  Fails(ByteWriter().Int32(2).Int32(0));
  Fails(ByteWriter().Int32(1).Int32(1).String("x").Int32(0).Int32(1).Single(
      std::numeric_limits<float>::quiet_NaN()).Single(0).Single(0));
}

TEST(FilterRecord, ValueThatIsNotANumberIsRefusedBeforeWriting) {
  TChannelFilters F = ThreeFilters();
  F.Add(Info("bad", 0, 1, std::numeric_limits<float>::infinity(), 0, 0));
  TMemoryStream S;
  EXPECT_THROW(F.SaveToStream(S), EArithmetic);
  EXPECT_EQ(S.Size(), 0);
}

TEST(FilterPasses, BoundsAreInclusive) {
  TChannelFilters F;
  F.Add(Info("ratio", 0, 1, 0.3f, 0.2f, 0.1f));
  EXPECT_TRUE(F.Passes({10, 1}, 0));     // exactly the lower bound
  EXPECT_TRUE(F.Passes({10, 3}, 0));     // exactly the upper bound
  EXPECT_TRUE(F.Passes({100, 20}, 0));
  EXPECT_FALSE(F.Passes({10, 0.99f}, 0));
  EXPECT_FALSE(F.Passes({10, 3.01f}, 0));
  EXPECT_FALSE(F.Passes({1e-40f, 3e38f}, 0));  // beyond any float: outside
}

TEST(FilterPasses, SourceValueZeroOrBelowGivesRatioZero) {
  TChannelFilters F;
  F.Add(Info("above zero", 0, 1, 0.3f, 0.2f, 0.1f));
  EXPECT_FALSE(F.Passes({0, 5}, 0));
  EXPECT_FALSE(F.Passes({-2, 0.5f}, 0));
  TChannelFilters G;
  G.Add(Info("from zero", 0, 1, 0.3f, 0.2f, 0.0f));
  EXPECT_TRUE(G.Passes({0, 5}, 0));
  EXPECT_TRUE(G.Passes({-2, 0.5f}, 0));
  TChannelFilters H;
  H.Add(Info("below zero", 0, 1, -0.1f, -0.2f, -0.3f));
  EXPECT_FALSE(H.Passes({0, 5}, 0));
}

TEST(FilterPasses, EveryFilterOfTheChannelMustPassOthersAreIgnored) {
  TChannelFilters F = ThreeFilters();
  // Channel 0 has two filters: YFP/GFP in 0.1..0.3 and RFP/GFP in -0.01..0.05.
  EXPECT_TRUE(F.Passes({100, 20, 1}, 0));
  EXPECT_FALSE(F.Passes({100, 20, 10}, 0));
  EXPECT_FALSE(F.Passes({100, 50, 1}, 0));
  // Channel 1's filter only; channel 2 has none.
  EXPECT_TRUE(F.Passes({10, 100, 1e6f}, 1));
  EXPECT_FALSE(F.Passes({60, 100, 0}, 1));
  EXPECT_TRUE(F.Passes({1, 2, 3}, 2));
  EXPECT_TRUE(TChannelFilters().Passes({1, 2}, 0));
}

TEST(FilterPasses, FilterNamingAChannelOutsideTheEventDoesNotApply) {
  TChannelFilters F;
  F.Add(Info("to a missing channel", 0, 5, 0.3f, 0.2f, 0.1f));
  F.Add(Info("negative", 0, -1, 0.3f, 0.2f, 0.1f));
  EXPECT_TRUE(F.Passes({10, 100}, 0));
  F.Add(Info("applies", 0, 1, 0.3f, 0.2f, 0.1f));
  EXPECT_FALSE(F.Passes({10, 100}, 0));
  TChannelFilters G;
  G.Add(Info("missing source", 4, 0, 0.3f, 0.2f, 0.1f));
  EXPECT_TRUE(G.Passes(TSglArray{10, 100}, 4));
}

TEST(FilterPasses, RawValuesAsAColumnMatrix) {
  TChannelFilters F = ThreeFilters();
  EXPECT_TRUE(F.Passes(TMatrix{{100}, {20}, {1}}, 0));
  EXPECT_FALSE(F.Passes(TMatrix{{100}, {20}, {10}}, 0));
  // An empty row holds no value: the filter to that channel does not apply.
  EXPECT_TRUE(F.Passes(TMatrix{{100}, {20}, {}}, 0));
  EXPECT_FALSE(F.Passes(TMatrix{{100}, {50}, {}}, 0));
}

TEST(FilterList, AddGetSetAndOutOfRangeIndices) {
  TChannelFilters F = ThreeFilters();
  TChannelFilterInfo I;
  I.Index = 1;
  F.GetFilter(I);
  EXPECT_EQ(I.Name, "GFP-->RFP");
  EXPECT_EQ(I.SpilloverChannel, 2);
  EXPECT_EQ(I.MinSpillover, -0.01f);
  EXPECT_EQ(I.Index, 1);

  TChannelFilterInfo Untouched = Info("untouched", 7, 7, 7, 7, 7);
  Untouched.Index = 3;
  F.GetFilter(Untouched);
  EXPECT_EQ(Untouched.Name, "untouched");
  F.SetFilter(Untouched);
  Untouched.Index = -1;
  F.SetFilter(Untouched);
  EXPECT_EQ(F.Count(), 3);

  TChannelFilterInfo Changed = Info("changed", 2, 1, 0.9f, 0.8f, 0.7f);
  Changed.Index = 2;
  F.SetFilter(Changed);
  EXPECT_EQ(F.Filters()[2], (TChannelFilter{"changed", 2, 1, 0.9f, 0.8f, 0.7f}));
  EXPECT_EQ(F.Filters()[0].Name, "GFP-->YFP");

  auto Copy = TChannelFilters::CreateCopy(F);
  F.SetFilter(Info("after copy", 0, 0, 0, 0, 0));
  EXPECT_EQ(Copy->Filters()[2].Name, "changed");
}

TEST(FilterList, DeleteAsksFirst) {
  RecordingMessages Messages;
  TChannelFilters F = ThreeFilters();
  Messages.Answer = false;
  F.Delete(1);
  EXPECT_EQ(F.Count(), 3);
  EXPECT_EQ(Messages.Questions, std::vector<std::string>{"Delete Filter GFP-->RFP?"});

  F.Delete(3);
  F.Delete(-1);
  EXPECT_EQ(Messages.Questions.size(), 1u);

  Messages.Answer = true;
  F.Delete(1);
  ASSERT_EQ(F.Count(), 2);
  EXPECT_EQ(F.Filters()[0].Name, "GFP-->YFP");
  EXPECT_EQ(F.Filters()[1].Name, "YFP-->GFP");
}

TEST(FilterList, FillGridOneNamePerRow) {
  StringTable Grid;
  Grid.SetSize(4, 6);
  Grid.FixedRows = 1;
  Grid.SetCell(3, 5, "stale");
  ThreeFilters().FillGrid(Grid);
  EXPECT_EQ(Grid.ColCount(), 1);
  ASSERT_EQ(Grid.RowCount(), 3);
  EXPECT_EQ(Grid.FixedRows, 0);
  EXPECT_EQ(Grid.Cell(0, 0), "GFP-->YFP");
  EXPECT_EQ(Grid.Cell(0, 1), "GFP-->RFP");
  EXPECT_EQ(Grid.Cell(0, 2), "YFP-->GFP");
  TChannelFilters().FillGrid(Grid);
  EXPECT_EQ(Grid.RowCount(), 0);
}

}  // namespace
}  // namespace qv
