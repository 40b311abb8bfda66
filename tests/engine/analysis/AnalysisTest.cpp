#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "DataSetFixtures.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"
#include "Random.h"
#include "RecordingMessages.h"
#include "Statistics.h"
#include "TextUtils.h"

using namespace qv;
using namespace qv::test;

namespace {

constexpr double GreenMean = 2.5, RedMean = 3.0, SideMean = 2.5;

// Two populations, one bright in each channel, over a static gate FSC (100..900, linear) and a
// dynamic log gate SSC (Z within +-3). Extra events: FSC on and outside the bounds, SSC outliers
// and one filtered event.
class Analysis : public ::testing::Test {
 protected:
  std::unique_ptr<TProtocol> Protocol() {
    auto P = MakeProtocol({{"FSC", "FSC-H"}, {"SSC", "SSC-H", true}}, {{"GFP", "FL1"}, {"RFP", "FL2"}});
    TGlobalGate& Fsc = *P->GetGate(0);
    Fsc.Active = true;
    Fsc.MinimumValue = 100;
    Fsc.MaximumValue = 900;
    Fsc.DisplayMaximum = 1024;
    TGlobalGate& Ssc = *P->GetGate(1);
    Ssc.Active = true;
    Ssc.MaximumValue = 1e9f;
    Ssc.DisplayMaximum = 5;
    Ssc.IsDynamic = true;
    Ssc.Mean = 2.4f;
    Ssc.Deviation = 0.15f;
    Ssc.ClipHigh = 2;
    Ssc.ClipLow = -2;
    Ssc.Minimum_Z = -3;
    Ssc.Maximum_Z = 3;
    const float Start[2] = {2.4f, 2.9f};
    for (int32_t c = 0; c < 2; ++c) {
      TChannel& C = *P->GetChannel(c);
      C.DisplayMaximum = 5;
      C.Minimum_Value_Threshold = 100;
      C.Maximum_Value_Threshold = 1e6f;
      C.Minimum_Value_ZScore = 1;
      C.MaximumValue_ZScore = 1e6f;
      C.Minimum_Z = -3;
      C.Maximum_Z = 3;
      C.AddPeak(false, -1, Start[c], 0.15f, 1, 0, 0, 0, 2, -2);
    }
    P->AddGenotype("green", 0, 0);
    P->AddGenotype("red", 1, 0);
    return P;
  }

  const TFCSFile& File() {
    if (!FFile) {
      Randomize(5);
      std::vector<std::vector<double>> Rows;
      const auto Log = [](double Mean) { return std::pow(10.0, Mean + 0.1 * GaussRandom()); };
      for (int i = 0; i < 2000; ++i) {
        Rows.push_back({200 + 600 * Random01(), Log(SideMean), Log(GreenMean), Log(1.0)});
        Rows.push_back({200 + 600 * Random01(), Log(SideMean), Log(1.0), Log(RedMean)});
      }
      Rows.push_back({100, Log(SideMean), 20, 20});    // on the FSC minimum: gated in
      Rows.push_back({99, Log(SideMean), 20, 20});     // below it
      Rows.push_back({901, Log(SideMean), 20, 20});    // above the maximum
      for (int i = 0; i < 5; ++i) Rows.push_back({500, 3500, 20, 20});  // SSC outliers
      Rows.push_back({500, 300, 1, 1});                // filtered
      FFile = WriteAndRead(Folder, "two.fcs", {"FSC-H", "SSC-H", "FL1", "FL2"}, Rows);
    }
    return *FFile;
  }

  std::unique_ptr<TFCSData> StepByStep(TProtocol& P) {
    auto D = TFCSData::Create(File(), 0, true, nullptr, &P);
    D->Compensate(P, nullptr, 0);
    D->SetDetectors(P, nullptr, true);
    D->Classify(P);
    return D;
  }

  TempFolder Folder;
  SettingsGuard Settings;
  RecordingMessages Messages;
  std::unique_ptr<TFCSFile> FFile;
};

TEST_F(Analysis, DetectorsGatesAndPeakFits) {
  auto P = Protocol();
  auto D = StepByStep(*P);
  const size_t N = D->Events.size();
  ASSERT_EQ(N, 4009u);

  // Layout: gates, then raw channels, then compensated channels.
  ASSERT_EQ(D->DetectorCount(), 6);
  EXPECT_TRUE(D->GetDetector(1)->IsGate);
  EXPECT_EQ(D->GetDetector(3), D->GetChannelDetector(1));
  EXPECT_EQ(D->GetDetector(4), D->GetPeakDetector(0));
  EXPECT_THROW(D->GetDetector(6), ERangeError);
  EXPECT_EQ(D->GetPeakDetector(2), nullptr);
  EXPECT_EQ(D->GetDetector(0)->SeriesCount, 3);
  ASSERT_EQ(D->GetPeakDetector(0)->SeriesCount, 4);
  EXPECT_EQ(D->GetPeakDetector(0)->GetSeriesName(3), "GFP_Comp");
  EXPECT_EQ(D->GetChannelDetector(0)->GetSeriesName(0), "GFP_Raw");

  // The static gate keeps its bounds, the dynamic gate cuts the SSC outliers.
  EXPECT_FALSE(D->Events[4000].GatedOut());
  EXPECT_TRUE(D->Events[4001].GatedOut());
  EXPECT_TRUE(D->Events[4002].GatedOut());
  for (size_t i = 4003; i < 4008; ++i) {
    EXPECT_TRUE(D->Events[i].GatedOut());
    EXPECT_GT(D->Events[i].GateZ()[1], 3.0f);
  }
  EXPECT_TRUE(D->Events[4008].GateZ().empty());
  EXPECT_EQ(D->EventCount(0), 4009);
  EXPECT_EQ(D->EventCount(1), 4008);
  // Three events outside the static gate, five SSC outliers and the tail beyond 3 deviations.
  size_t GatedIn = 0;
  for (size_t i = 0; i < N; ++i) GatedIn += !D->Events[i].GatedOut();
  EXPECT_EQ(D->EventCount(2), static_cast<int32_t>(GatedIn));
  EXPECT_GT(GatedIn, 3960u);
  EXPECT_LT(GatedIn, 4001u);

  // Fitted peaks within a bin of the populations that made them.
  TGaussianFit Side, Green, Red;
  D->GetDetector(1)->GetFitResult(D->GetDetector(1)->LastFitted, Side);
  D->GetPeakDetector(0)->GetFitResult(2, Green);
  D->GetPeakDetector(1)->GetFitResult(2, Red);
  const double Bin = D->GetPeakDetector(0)->BinWidth;
  EXPECT_NEAR(Side.Mean, SideMean, Bin);
  EXPECT_NEAR(Green.Mean, GreenMean, Bin);
  EXPECT_NEAR(Red.Mean, RedMean, Bin);
  EXPECT_NEAR(Green.Deviation, 0.1, 0.03);
  EXPECT_NEAR(D->Events[0].GateZ()[1], (std::log10(D->Events[0].GateValues()[1]) - Side.Mean) / Side.Deviation, 1e-4);

  // Fits become the protocol's gate statistics and last peaks.
  D->StoreFitsInProtocol(P.get());
  EXPECT_EQ(P->GetGate(1)->Mean, static_cast<float>(Side.Mean));
  EXPECT_EQ(P->GetChannel(0)->Peaks.back().Mean, static_cast<float>(Green.Mean));
  EXPECT_EQ(P->GetChannel(1)->Peaks.back().Dev, static_cast<float>(Red.Deviation));
  EXPECT_EQ(P->GetGate(0)->Mean, 0.0f) << "static gates keep their statistics";
  D->StoreFitsInProtocol(nullptr);

  // Scatter of two detectors' first series.
  ChartData Chart;
  D->DrawScatter(Chart, 2, nullptr, 0, 3, 3);
  ASSERT_EQ(Chart.Series.size(), 1u);
  EXPECT_EQ(Chart.Series[0].Points.size(), 4008u);
  EXPECT_EQ(Chart.XTitle, "GFP_Raw");
  EXPECT_TRUE(Chart.XLog);
  EXPECT_THROW(D->DrawScatter(Chart, 2, nullptr, 3, 3, 3), ERangeError);

  D->FreeDetectors();
  EXPECT_EQ(D->DetectorCount(), 0);
  EXPECT_FALSE(D->CustomDetector);
}

TEST_F(Analysis, FullAnalysisOnCreationEqualsTheStepsOneByOne) {
  auto P = Protocol();
  auto Stepped = StepByStep(*P);
  auto Full = TFCSData::Create(File(), 0, false, nullptr, P.get());
  ASSERT_EQ(Full->Events.size(), Stepped->Events.size());
  size_t Green = 0;
  for (size_t i = 0; i < Full->Events.size(); ++i) {
    EXPECT_EQ(Full->Events[i].Classes(), Stepped->Events[i].Classes()) << i;
    EXPECT_EQ(Full->Events[i].GatedOut(), Stepped->Events[i].GatedOut()) << i;
    Green += Full->Events[i].Classes()[2] == 1;
  }
  EXPECT_GT(Green, 1900u);
  EXPECT_EQ(Full->GatedInCount, Stepped->GatedInCount);
}

TEST_F(Analysis, ReportOfOneFileAndOfAMergedSet) {
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
            "Channel\tCount\tChi_GFP_Comp\tP\tChi_GFP_Comp\tP\tChi_GFP_Comp\tP\tChi_GFP_Comp\tP\t");
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

TEST_F(Analysis, SpareDetectorsAndGrids) {
  auto P = Protocol();
  auto D = StepByStep(*P);
  TCustomDetectorOptions Options;
  Options.PlotChannel = 0;
  Options.FilterChannel = 1;
  Options.FilterMinimum = -1;
  Options.FilterMaximum = 1.5f;
  Options.OtherMaximum = 10;
  D->FitCustomDetector(*P, Options);
  ASSERT_EQ(D->CustomDetector->SeriesCount, 1);
  EXPECT_EQ(D->CustomDetector->GetSeriesName(0), "RFP > -1.0");
  EXPECT_EQ(D->CustomDetector->LastFitted, 0);
  TGaussianFit Fit;
  D->CustomDetector->GetFitResult(0, Fit);
  EXPECT_NEAR(Fit.Mean, GreenMean, D->CustomDetector->BinWidth);

  Options.ClassNumber = 2;
  Options.PlotChannel = 1;
  D->FillClassDetector(*P, Options);
  ASSERT_EQ(D->ClassDetector->SeriesCount, 1);
  EXPECT_NEAR(D->ClassDetector->Statistics[0].Mean, RedMean, 0.02);
  EXPECT_EQ(D->ClassDetector->LastFitted, -1);

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
