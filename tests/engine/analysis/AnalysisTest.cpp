#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "AllocationCap.h"
#include "AnalysedSetFixture.h"
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

class Analysis : public AnalysedSet {};

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

TEST_F(Analysis, SpareDetectors) {
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
}

// A fit whose window holds no bin, or whose best height is 0, is no fit: the series keeps no
// curve and no fit, its chi and P are -1, and there is nothing to save or report.
TEST_F(Analysis, FitsThatFindNoCurveLeaveTheSeriesUnfitted) {
  auto P = Protocol();
  // The red channel's last peak lies where no event does, and its mean is held.
  TChannel& Red = *P->GetChannel(1);
  Red.ForceMean = true;
  Red.AddPeak(false, -1, 4.5f, 0.05f, 1, 0, 0, 0, 2, -2);
  auto D = StepByStep(*P);
  const TDetector& RedPeaks = *D->GetPeakDetector(1);
  EXPECT_EQ(RedPeaks.LastFitted, -1);
  EXPECT_EQ(RedPeaks.GetChi(2), -1.0f);
  EXPECT_EQ(RedPeaks.GetChiP(2), -1.0f);
  EXPECT_TRUE(RedPeaks.Curves[2].empty());
  EXPECT_EQ(RedPeaks.Fits[2].Scale, 0.0);
  EXPECT_EQ(D->GetPeakDetector(0)->LastFitted, 2);  // the green one fits as before

  TStringArray Table{"Channel\t", "GFP\t", "RFP\t"};
  D->ChiReport(*P, Table, '\t');
  EXPECT_EQ(std::count(Table[2].begin(), Table[2].end(), 'n'), 4);  // "na" for all four series
  D->StoreFitsInProtocol(P.get());
  EXPECT_EQ(Red.Peaks.back().Mean, 4.5f);
  EXPECT_EQ(Red.Peaks.back().H, 1.0f);

  // The custom detector with Clip Low and Clip High both 1.0: an empty window.
  TCustomDetectorOptions Options;
  Options.PlotChannel = 0;
  Options.FilterChannel = 1;
  Options.FilterMinimum = -1;
  Options.FilterMaximum = 1.5f;
  Options.OtherMaximum = 10;
  Options.Mean = 2.5f;
  Options.Deviation = 0.15f;
  Options.ClipLow = Options.ClipHigh = 1.0f;
  D->FitCustomDetector(*P, Options);
  const TDetector& Custom = *D->CustomDetector;
  ASSERT_EQ(Custom.SeriesCount, 1);
  EXPECT_EQ(Custom.LastFitted, -1);
  EXPECT_TRUE(Custom.Curves[0].empty());
  EXPECT_EQ(Custom.GetChi(0), -1.0f);
  EXPECT_EQ(Custom.Fits[0].Scale, 0.0);
  ChartData Chart;
  Custom.DrawChart(Chart, THistogramView{{}, {}, true});
  ASSERT_EQ(Chart.Series.size(), 1u);  // the bars, no curve below zero
  // A window that holds the peak fits; a later empty one leaves that fit the last.
  Options.ClipLow = -2;
  Options.ClipHigh = 2;
  D->FitCustomDetector(*P, Options);
  EXPECT_EQ(Custom.LastFitted, 1);
  EXPECT_GT(Custom.Fits[1].Scale, 0.0);
  Options.ClipLow = Options.ClipHigh = 1.0f;
  D->FitCustomDetector(*P, Options);
  EXPECT_EQ(Custom.LastFitted, 1);
  EXPECT_TRUE(Custom.Curves[2].empty());
}

// Detector set-up gathers each column a batch at a time, and a batch holds no more values than
// the set has events: a protocol of every gate it may have, over ten events, asks for 36 MB in
// all, where batches of 4096 values a column asked for 98 MB.
TEST_F(Analysis, EveryGateOverFewEventsAllocatesByTheEvents) {
  std::vector<GateDef> Gates;
  for (int g = 0; g < TProtocol::MaxGates; ++g) Gates.emplace_back("G" + std::to_string(g), "FSC-H");
  auto P = MakeProtocol(Gates, {{"GFP", "FL1"}});
  std::vector<std::vector<double>> Rows;
  for (int i = 0; i < 10; ++i) Rows.push_back({100.0 + i, 200.0 * (i + 1)});
  auto Few = WriteAndRead(Folder, "few.fcs", {"FSC-H", "FL1"}, Rows);
  auto D = TFCSData::Create(*Few, 0, true, nullptr, P.get());
  ASSERT_EQ(D->Events.size(), 10u);
  D->Compensate(*P, nullptr, 0);
  {
    TAllocationCap Cap(size_t{48} << 20);
    EXPECT_NO_THROW(D->SetDetectors(*P, nullptr, true));
    EXPECT_FALSE(Cap.Reached());
  }
  EXPECT_EQ(D->GetDetector(TProtocol::MaxGates - 1)->SeriesCount, 3);
}

}  // namespace
