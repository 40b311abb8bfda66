#include <gtest/gtest.h>

#include <algorithm>

#include "AnalysedSetFixture.h"
#include "TextUtils.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"

using namespace qv;
using namespace qv::test;

namespace {

class AnalysisReport : public AnalysedSet {};

TEST_F(AnalysisReport, ReportOfOneFileAndOfAMergedSet) {
  auto P = Protocol();
  auto D = StepByStep(*P);
  std::string Text;
  D->AnalysisReport(*P, Text);
  const TStringArray Lines = SplitLines(Text);
  EXPECT_EQ(Lines[0].rfind("Analysis of two.fcs on ", 0), 0u);
  EXPECT_EQ(Lines[1], "Processed using protocol test.protocol");
  EXPECT_EQ(Lines[2], "");
  const auto At = [&](const std::string& Line) { return std::find(Lines.begin(), Lines.end(), Line) - Lines.begin(); };
  const auto Simple = At("Simple Threshold Scoring");
  ASSERT_LT(Simple, static_cast<long>(Lines.size()));
  EXPECT_EQ(Lines[Simple - 1], std::string(83, '*'));
  EXPECT_EQ(Lines[Simple + 3],
            "Channel\tCount\tChi_All\tP\tChi_Thresh\tP\tChi_GblZ\tP\tChi_FlZ\tP\t");
  // Only the series fitted (the third) has a chi-square.
  TIntArray Called;
  D->ChannelStats(*P, Called);
  EXPECT_GT(Called[0], 1900);
  const std::string Green = Lines[Simple + 4];
  EXPECT_EQ(Green.rfind("GFP\t" + std::to_string(Called[0]) + "\t-1.0\tna\t-1.0\tna\t", 0), 0u);
  EXPECT_EQ(Green.substr(Green.size() - 9), "\t-1.0\tna\t");
  EXPECT_EQ(std::count(Green.begin(), Green.end(), 'n'), 3);
  EXPECT_EQ(Lines[Simple + 7], "Class\tCount\tFile0\t");
  EXPECT_EQ(Lines[Simple + 9].rfind("G-\t", 0), 0u);
  EXPECT_LT(At("Relaxed Z-Scoring "), At("Rigorous Z-Scoring"));
  EXPECT_LT(At("Rigorous Z-Scoring"), At("Mean Channel Values"));
  EXPECT_EQ(std::count(Lines.begin(), Lines.end(), "All Z values are within the acceptable range"), 2);
  EXPECT_EQ(Text.substr(Text.size() - 2), "\r\n");

  // A channel that no event calls shows its chi values without probabilities.
  P->GetChannel(1)->Minimum_Value_Threshold = 1e7f;
  D->Classify(*P);
  TStringArray Table{"Channel\t", "GFP\t", "RFP\t"};
  D->ChiReport(*P, Table, '\t');
  EXPECT_EQ(Table[2].rfind("RFP\t0\t", 0), 0u);
  EXPECT_EQ(Table[2].substr(Table[2].size() - 3), "na\t");
  EXPECT_EQ(std::count(Table[2].begin(), Table[2].end(), 'n'), 4);
  EXPECT_EQ(std::count(Table[1].begin(), Table[1].end(), 'n'), 3);

  TCullSettings Cull;
  auto M = TFCSData::CreateMerged(*D, Cull);
  M->Merge(*D, 1, Cull);
  M->Compensate(*P, nullptr, 0);
  M->SetDetectors(*P, nullptr, true);
  M->Classify(*P);
  M->AnalysisReport(*P, Text);
  const TStringArray Merged = SplitLines(Text);
  EXPECT_EQ(Merged[0].rfind("Analysis of Merged Files on ", 0), 0u);
  EXPECT_EQ(Merged[1], "two.fcs");
  EXPECT_EQ(Merged[2], "two.fcs");
  EXPECT_EQ(Merged[3], "");
  EXPECT_EQ(Merged[4], "Processed using protocol test.protocol");
  EXPECT_NE(std::find(Merged.begin(), Merged.end(), "Class\tCount\tFile0\tFile1\t"), Merged.end());
}

TEST_F(AnalysisReport, MeansAndEventGrids) {
  auto P = Protocol();
  auto D = StepByStep(*P);
  StringTable Grid;
  D->FillMeansGrid(Grid, 99);
  EXPECT_EQ(Grid.ColCount(), 1);
  EXPECT_EQ(Grid.Cell(0, 0), "No Data");
  D->FillMeansGrid(Grid, 1);
  EXPECT_EQ(Grid.ColCount(), 4);
  EXPECT_EQ(Grid.Cell(2, 0), "GFP_Comp");

  D->FillEventGrid(*P, Grid, nullptr, false);
  EXPECT_EQ(Grid.RowCount(), 4009);
  EXPECT_EQ(Grid.ColCount(), 7);
  EXPECT_EQ(Grid.Cell(3, 0), "GFP_Raw");
  D->FillEventGrid(*P, Grid, nullptr, true);
  EXPECT_EQ(Grid.RowCount(), 4010);
}

}  // namespace
