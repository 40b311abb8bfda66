#include <gtest/gtest.h>

#include "DataSetFixtures.h"
#include "TextUtils.h"

using namespace qv;

namespace {

std::unique_ptr<TProtocol> TwoChannels() {
  return test::MakeProtocol({test::GateDef("FSC", "FSC-H")}, {test::ChannelDef("GFP", "FL1"), test::ChannelDef("RFP", "FL2")});
}

TEST(ProtocolReports, InformationReportOfAnEmptyProtocol) {
  TProtocol P;
  P.FileName = "/somewhere/deep/test.protocol";
  P.Notes = "first note";
  std::string Text;
  P.InformationReport(Text);
  const TStringArray Expected{"** Protocol Information **",
                              std::string(51, '-'),
                              "",
                              "File\ttest.protocol",
                              "Channels\t0",
                              "Genotypes\t0",
                              "ScoreSingles\tFALSE",
                              "ScoreDoubles\tFALSE",
                              "",
                              "first note"};
  EXPECT_EQ(SplitLines(Text), Expected);
  EXPECT_EQ(Text.substr(Text.size() - 12), "\r\nfirst note");
}

TEST(ProtocolReports, ChannelTableWritesEmptyCellsForShorterPairLists) {
  auto P = TwoChannels();
  P->GetChannel(0)->SetCompPair(2, TCompensationPair{7.5f, 0.25f}, true);  // 3 pairs against 2
  P->AddGenotype("G1", 0, 0);
  std::string Text;
  P->InformationReport(Text);
  const TStringArray Lines = SplitLines(Text);
  const auto Line = [&](const std::string& Start) {
    for (const auto& L : Lines)
      if (L.rfind(Start, 0) == 0) return L;
    return std::string("missing");
  };
  EXPECT_EQ(Line("Comp_Mean Ch_3\t"), "Comp_Mean Ch_3\t7.500\t\t");
  EXPECT_EQ(Line("Comp_Dev Ch_3\t"), "Comp_Dev Ch_3\t0.250\t\t");
  EXPECT_EQ(Line("Base_Dev Ch_3\t"), "Base_Dev Ch_3\t\t\t");
  EXPECT_EQ(Line("Comp_Mean Ch_2\t"), "Comp_Mean Ch_2\t0.000\t100.000\t");
  EXPECT_EQ(Line("ChannelName\t"), "ChannelName\tGFP\tRFP\t");
  EXPECT_EQ(Line("Name\t"), "Name\tFSC\t");
  EXPECT_EQ(Line("Channels\t"), "Channels\t2");
  EXPECT_NE(std::find(Lines.begin(), Lines.end(), "** Genotypes **"), Lines.end());
  EXPECT_EQ(Line("G1\t"), "G1\t0\tGFP\t0\t0.0000\t0.0000\t0.0\t0.00e0");
}

TEST(ProtocolReports, ClassListAndChannelHeader) {
  auto P = TwoChannels();
  P->GetChannel(1)->ChannelTag = "RFP";
  const TStringArray List{"NN", "YN", "NY", "YY"};
  std::string Text;
  P->ClassListText(List, '\t', Text);
  EXPECT_EQ(Text, "Class\t\r\n--\t\r\nG-\t\r\n-R\t\r\nGR\t\r\n");
  P->ClassListText(List, ',', Text);
  EXPECT_EQ(Text, "\"Class\",\r\n\"--\",\r\n\"G-\",\r\n\"-R\",\r\n\"GR\",\r\n");
  EXPECT_EQ(List[1], "YN");
  P->ChannelHeader('\t', Text);
  EXPECT_EQ(Text, "Channel\t\r\nGFP\t\r\nRFP\t");

  P->ChannelSettingsRow(true, false, Text);
  EXPECT_EQ(Text, "Channel, Mean, Deviation,Channel, Mean, Deviation,");
}

TEST(ProtocolReports, GridsAndCombos) {
  auto P = TwoChannels();
  StringTable Grid;
  P->FillChannelGrid(Grid);
  EXPECT_EQ(Grid.RowCount(), 3);
  EXPECT_EQ(Grid.FixedRows, 1);
  EXPECT_EQ(Grid.Cell(0, 2), "RFP");
  P->FillGateGrid(Grid);
  EXPECT_EQ(Grid.RowCount(), 2);
  EXPECT_EQ(Grid.Cell(0, 0), "Gate");
  TProtocol Empty;
  Empty.FillChannelGrid(Grid);
  EXPECT_EQ(Grid.RowCount(), 1);
  EXPECT_EQ(Grid.FixedRows, 0);
  EXPECT_EQ(Grid.Cell(0, 0), "Channel");

  // Values only from an n x n compensation matrix.
  StringTable Comp;
  P->FillCompensationGrid(Comp);
  EXPECT_EQ(Comp.ColCount(), 3);
  EXPECT_EQ(Comp.Cell(0, 1), "GFP");
  EXPECT_EQ(Comp.Cell(1, 1), "");
  ASSERT_TRUE(P->BuildCompensationMatrix(false));
  P->CompensationMatrix[0][1] = -0.0123456f;
  P->FillCompensationGrid(Comp);
  EXPECT_EQ(Comp.Cell(1, 1), "1.0000");
  EXPECT_EQ(Comp.Cell(2, 1), "-0.0123");
  EXPECT_EQ(Comp.Cell(0, 2), "RFP");
  EXPECT_EQ(Comp.Cell(1, 0), "");

  TComboItems Combo;
  Combo.ItemIndex = 1;
  P->FillChannelCombo(Combo);
  EXPECT_EQ(Combo.Items, (TStringArray{"GFP", "RFP"}));
  EXPECT_EQ(Combo.Text, "<select channel>");
  EXPECT_EQ(Combo.ItemIndex, -1);
  P->AddGenotype("Wild", 0, 0);
  P->FillGenotypeCombo(Combo);
  EXPECT_EQ(Combo.Items, TStringArray{"Wild"});
  P->FillGenotypeGrid(Grid);
  EXPECT_EQ(Grid.Cell(0, 1), "Wild");
}

}  // namespace
