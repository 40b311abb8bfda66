#include <gtest/gtest.h>

#include <limits>

#include "DataSetFixtures.h"
#include "dataset/FCSData.h"
#include "RecordingMessages.h"
#include "TextUtils.h"

using namespace qv;

namespace {

class EventExports : public ::testing::Test {
 protected:
  void SetUp() override {
    Protocol = test::MakeProtocol({test::GateDef("FSC", "FSC-H")}, {test::ChannelDef("GFP", "FL1")});
    Data = std::make_unique<TFCSData>();
    Data->ChannelNames = {"GFP"};
    Data->Events.Reset(1, 1);
    // (gate, raw, file, gated out): event 1 is filtered (below the raw floor), event 2 gated out.
    const struct {
      float Gate, Raw;
      int32_t File;
      bool GatedOut;
    } Rows[] = {{10, 100, 0, false}, {20, 1, 0, false}, {30, 200, 1, true}, {40, 300, 2, false}};
    for (const auto& R : Rows) {
      TFCSLine E = Data->Events.Append();
      const float Values[] = {R.Gate, R.Raw};
      const int32_t Gate[] = {0}, Channel[] = {1};
      E.Create(Values, Gate, Channel);
      E.SetFileIndex(R.File);
      E.SetGatedOut(R.GatedOut);
    }
    Data->FileRange();
    Data->BuildFileIndex();
  }

  test::SettingsGuard Settings;
  std::unique_ptr<TProtocol> Protocol;
  std::unique_ptr<TFCSData> Data;
};

TEST_F(EventExports, CSVRowsLastFirstWithTheirPositionsAndFilters) {
  std::string Text;
  Data->ExportEventsCSV(*Protocol, false, false, Text);
  TStringArray Lines = SplitLines(Text);
  ASSERT_EQ(Lines.size(), 3u);
  EXPECT_EQ(Lines[0].rfind("Idx,FSC,Z_FSC,Raw_GFP,", 0), 0u);
  EXPECT_EQ(Lines[1].rfind("3,40.000,0.000,300.000,", 0), 0u);
  EXPECT_EQ(Lines[2].rfind("0,10.000,0.000,100.000,", 0), 0u);
  EXPECT_NE(Text.substr(Text.size() - 2), "\r\n");

  Data->ExportEventsCSV(*Protocol, true, true, Text);
  Lines = SplitLines(Text);
  ASSERT_EQ(Lines.size(), 5u);
  for (size_t r = 1; r < 5; ++r) EXPECT_EQ(Lines[r].rfind(std::to_string(4 - r) + ",", 0), 0u);
  EXPECT_NE(Lines[2].find("XXX,"), std::string::npos);

  Data->ExportEventsCSV(*Protocol, true, false, Text);
  EXPECT_EQ(SplitLines(Text).size(), 4u);

  TFCSData Empty;
  Text = "kept";
  Empty.ExportEventsCSV(*Protocol, true, true, Text);
  EXPECT_EQ(Text, "kept");
}

// The blocks a file is written from join to the text, and the count of rows matches it, for every
// choice of filters; a set of 40,000 events spans several blocks.
TEST_F(EventExports, BlocksAndRowCountAgreeWithTheText) {
  TFCSData Big;
  Big.ChannelNames = {"GFP"};
  Big.Events.Reset(1, 1);
  for (int i = 0; i < 40000; ++i) {
    TFCSLine E = Big.Events.Append();
    const float Values[] = {static_cast<float>(i), static_cast<float>(i % 7)};
    const int32_t Gate[] = {0}, Channel[] = {1};
    E.Create(Values, Gate, Channel);
    E.SetGatedOut(i % 5 == 0);
  }
  for (const TFCSData* Set : {Data.get(), &Big})
    for (const bool Filtered : {false, true})
      for (const bool GatedOut : {false, true}) {
        std::string Text, Joined;
        int Blocks = 0;
        Set->ExportEventsCSV(*Protocol, Filtered, GatedOut, Text);
        Set->ExportEventsCSV(*Protocol, Filtered, GatedOut, [&](std::string_view Block) {
          Joined += Block;
          ++Blocks;
        });
        EXPECT_EQ(Joined, Text);
        EXPECT_GE(Blocks, Set == &Big ? 2 : 1);
        EXPECT_EQ(Set->ExportedEventCount(Filtered, GatedOut) + 1, static_cast<int64_t>(SplitLines(Text).size()));
      }
  TFCSData Empty;
  bool Written = false;
  Empty.ExportEventsCSV(*Protocol, true, true, [&](std::string_view) { Written = true; });
  EXPECT_FALSE(Written);
}

TEST_F(EventExports, DeletingAFileKeepsTheOtherEventsWholeAndRecounts) {
  EXPECT_EQ(Data->DeleteFileEvents(0), 2);
  ASSERT_EQ(Data->Events.size(), 2u);
  EXPECT_EQ(Data->TotalCount, 2);
  EXPECT_EQ(Data->UnfilteredCount, 2);
  EXPECT_EQ(Data->GatedInCount, 1);
  EXPECT_EQ(Data->MinFileIndex, 1);
  EXPECT_EQ(Data->MaxFileIndex, 2);
  EXPECT_EQ(Data->FileCount, 2);
  EXPECT_EQ(Data->FirstEvent, (TIntArray{0, 1}));
  EXPECT_EQ(Data->LastEvent, (TIntArray{0, 1}));
  const TFCSLine E = Data->Events[0];
  EXPECT_EQ(E.RawValues()[0], 200.0f);
  EXPECT_EQ(E.GateValues()[0], 30.0f);
  EXPECT_TRUE(E.GatedOut());
  EXPECT_TRUE(E.HasLogs());
  EXPECT_FLOAT_EQ(E.LogRawValues()[0], 2.30103f);

  EXPECT_EQ(Data->DeleteFileEvents(7), 0);
  EXPECT_EQ(Data->TotalCount, 2);
  EXPECT_EQ(Data->DeleteFileEvents(1), 1);
  EXPECT_EQ(Data->FirstEvent, (TIntArray{0}));
  EXPECT_EQ(Data->Events[0].RawValues()[0], 300.0f);
}

TEST_F(EventExports, CompactSetsAreRefused) {
  Data->BuildShortLines();
  test::RecordingMessages Messages;
  EXPECT_EQ(Data->DeleteFileEvents(0), 0);
  EXPECT_EQ(Messages.Errors.size(), 1u);
  EXPECT_EQ(Data->ShortLines.size(), 4u);
}

}  // namespace

namespace {

// A set of the fixture's shape whose events carry the given file indices.
std::unique_ptr<TFCSData> SetOfFiles(const std::vector<int32_t>& Files, int32_t Gates = 1) {
  auto D = std::make_unique<TFCSData>();
  D->SourceName = "other.dat";
  D->FileNames = "x.fcs\r\ny.fcs\r\n";
  D->Events.Reset(Gates, 1);
  for (size_t i = 0; i < Files.size(); ++i) {
    TFCSLine E = D->Events.Append();
    E.GateValues()[0] = 500.0f + static_cast<float>(i);
    E.RawValues()[0] = 1000.0f + static_cast<float>(i);
    E.SetFileIndex(Files[i]);
  }
  D->FileRange();
  D->BuildFileIndex();
  return D;
}

TEST_F(EventExports, AppendingShiftsFileIndicesPastTheHighest) {
  const auto Other = SetOfFiles({0, 1, 1});
  ASSERT_TRUE(Data->AppendEvents(*Other));
  ASSERT_EQ(Data->Events.size(), 7u);
  EXPECT_EQ(Data->Events[4].FileIndex(), 3);
  EXPECT_EQ(Data->Events[5].FileIndex(), 4);
  EXPECT_EQ(Data->Events[6].FileIndex(), 4);
  EXPECT_EQ(Data->Events[6].RawValues()[0], 1002.0f);
  EXPECT_EQ(Data->Events[5].GateValues()[0], 501.0f);
  EXPECT_EQ(Data->MaxFileIndex, 4);
  EXPECT_EQ(Data->FileCount, 5);
  EXPECT_EQ(Data->FirstEvent, (TIntArray{0, 2, 3, 4, 5}));
  EXPECT_EQ(Data->LastEvent, (TIntArray{1, 2, 3, 4, 6}));
  EXPECT_EQ(Data->TotalCount, 7);
  EXPECT_EQ(Data->FileNames, "x.fcs\r\ny.fcs\r\n");

  // Deleting an appended file keeps the positions of the others right.
  EXPECT_EQ(Data->DeleteFileEvents(3), 1);
  EXPECT_EQ(Data->FirstEvent, (TIntArray{0, 2, 3, std::numeric_limits<int32_t>::max(), 4}));
  EXPECT_EQ(Data->LastEvent, (TIntArray{1, 2, 3, -1, 5}));
}

TEST_F(EventExports, AppendingRefusesAnotherShapeAndCompactSets) {
  test::RecordingMessages Messages;
  EXPECT_FALSE(Data->AppendEvents(*SetOfFiles({0}, 2)));
  ASSERT_EQ(Messages.Errors.size(), 1u);
  EXPECT_EQ(Messages.Errors[0], "Cannot append other.dat: its gates and channels differ from those of the data set.");
  EXPECT_FALSE(Data->AppendEvents(*SetOfFiles({})));
  EXPECT_EQ(Data->Events.size(), 4u);
  EXPECT_EQ(Messages.Errors.size(), 1u);

  Data->BuildShortLines();
  EXPECT_FALSE(Data->AppendEvents(*SetOfFiles({0})));
  EXPECT_EQ(Messages.Errors.size(), 2u);
  EXPECT_TRUE(Data->Events.empty());
}

}  // namespace
