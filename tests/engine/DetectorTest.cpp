#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>

#include "Channel.h"
#include "ChannelFilters.h"
#include "Detector.h"
#include "Globals.h"
#include "GlobalGate.h"

namespace qv {
namespace {

// Sets the bin count for one test and restores it.
struct BinCountGuard {
  int32_t Saved = HistogramBinCount;
  explicit BinCountGuard(int32_t Count) { HistogramBinCount = Count; }
  ~BinCountGuard() { HistogramBinCount = Saved; }
};

// An event with the fields the collectors read.
struct TestEvent {
  bool Filtered = false;
  bool GatedOut = false;
  TSglArray GateValues;
  TSglArray LogGateValues;
  TMatrix RawValues;
  TSglArray LogRawValues;
  TSglArray LogCompValues;
  int16_t Classes[3] = {0, 0, 0};
};

TestEvent MakeEvent(float Gate, std::vector<float> LogComp, std::vector<float> Raw = {}) {
  TestEvent E;
  E.GateValues = {Gate};
  E.LogGateValues = {std::log10(Gate)};
  E.LogCompValues = LogComp;
  for (float R : Raw) E.RawValues.push_back({R});
  for (float L : LogComp) E.LogRawValues.push_back(L + 1);
  return E;
}

int32_t Total(const TIntArray& Counts) { return std::accumulate(Counts.begin(), Counts.end(), 0); }

TEST(DetectorBins, LayoutOfLinearAndLogRanges) {
  BinCountGuard Guard(256);
  TDetector D(0, false, false, false, 0, 4, true);
  EXPECT_EQ(D.BinCount, 256);
  EXPECT_EQ(D.BinWidth, 0.015625);
  EXPECT_FALSE(D.Log);
  EXPECT_EQ(D.BinEdges[1], 0.015625f);
  EXPECT_EQ(D.BinCentres[0], 0.0078125f);
  EXPECT_EQ(D.AxisValues[0], 0.0078125f);
  EXPECT_EQ(D.LastFitted, -1);

  TDetector Flat(0, false, false, false, 3, 3, true);  // no width: one unit per bin
  EXPECT_EQ(Flat.BinWidth, 1.0);
  EXPECT_EQ(Flat.BinEdges[2], 5.0f);

  BinCountGuard Four(4);
  TDetector L(0, false, false, false, -0.5, 3.5, false);  // centres -0.5+0.5 .. 3.0
  EXPECT_TRUE(L.Log);
  EXPECT_FLOAT_EQ(L.AxisValues[0], 1.0f);
  EXPECT_FLOAT_EQ(L.AxisValues[2], 100.0f);

  EXPECT_THROW(TDetector(0, false, false, false, 0, std::numeric_limits<double>::infinity(), true),
               ERangeError);
}

TEST(DetectorBins, BinCountBelowOneIsOne) {
  BinCountGuard Guard(0);
  TDetector D(0, false, false, false, 0, 4, true);
  EXPECT_EQ(D.BinCount, 1);
  EXPECT_EQ(D.BinWidth, 4.0);
  D.AddSeries("s", {-10, 1, 3, 100}, 0);
  ASSERT_EQ(D.Counts[0].size(), 1u);
  EXPECT_EQ(D.Counts[0][0], 4);  // nothing to borrow bin 0's count from
}

TEST(DetectorBins, ValuesAreClampedBeforeTheyBecomeBins) {
  BinCountGuard Guard(256);
  TDetector D(0, false, false, false, 0, 4, true);
  const float Inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(D.BinOf(4.0f), 255);
  EXPECT_EQ(D.BinOf(3.99f), 255);
  EXPECT_EQ(D.BinOf(-1.0f), 0);
  EXPECT_EQ(D.BinOf(-0.001f), 0);
  EXPECT_EQ(D.BinOf(0.015625f), 1);
  EXPECT_EQ(D.BinOf(1e30f), 255);  // far beyond any integer
  EXPECT_EQ(D.BinOf(-1e30f), 0);
  EXPECT_EQ(D.BinOf(Inf), 255);
  EXPECT_EQ(D.BinOf(-Inf), 0);
  EXPECT_EQ(D.BinOf(std::nanf("")), -1);

  D.AddSeries("s", {4.0f, -1.0f, 0.02f, 0.03f, Inf, std::nanf(""), 2.0f}, 7);
  const TIntArray& C = D.Counts[0];
  EXPECT_EQ(C[255], 2);
  EXPECT_EQ(C[1], 2);
  EXPECT_EQ(C[0], 2);  // bin 1's count, not the one value below the range
  EXPECT_EQ(C[128], 1);
  EXPECT_EQ(Total(C), 2 + 2 + 2 + 1);  // the NaN is nowhere
  // Statistics of the finite values only: no infinity or NaN reaches a report.
  EXPECT_EQ(D.Statistics[0].Count, 5);
  EXPECT_FLOAT_EQ(D.Statistics[0].Max, 4.0f);
  EXPECT_FLOAT_EQ(D.Statistics[0].Min, -1.0f);
}

TEST(DetectorSeries, AddClearAndAccessors) {
  BinCountGuard Guard(8);
  int Refreshes = 0;
  SetRefreshHandler([&] { ++Refreshes; });
  {
    TDetector D(3, true, true, false, 0, 8, true);
    EXPECT_EQ(Refreshes, 1);
    D.AddSeries("empty", {}, 1);
    EXPECT_EQ(D.SeriesCount, 1);
    EXPECT_EQ(D.Counts[0], TIntArray(8, 0));
    EXPECT_EQ(D.Statistics[0].Count, 0);
    EXPECT_EQ(D.Chi[0], -1.0f);
    EXPECT_EQ(D.ChiP[0], -1.0f);
    EXPECT_TRUE(D.Curves[0].empty());

    D.AddSeries("two", {2.5f, 5.5f}, 2);
    EXPECT_EQ(D.SeriesValues[1], (TSglArray{2.5f, 5.5f}));
    EXPECT_EQ(D.SeriesColors[1], 2);
    EXPECT_EQ(D.GetSeriesName(1), "two");
    EXPECT_EQ(D.GetSeriesName(2), "");
    EXPECT_EQ(D.GetChi(-1), 0.0f);
    EXPECT_EQ(D.GetChiP(1), -1.0f);
    TGaussianFit F;
    F.Mean = 9;
    D.GetFitResult(5, F);
    EXPECT_EQ(F.Mean, 9);

    D.Clear();
    EXPECT_EQ(D.SeriesCount, 0);
    EXPECT_TRUE(D.Counts.empty() && D.Fits.empty() && D.SeriesNames.empty());
  }
  EXPECT_EQ(Refreshes, 2);
  SetRefreshHandler(nullptr);
}

TEST(DetectorCollectors, ChannelAndGateSeries) {
  BinCountGuard Guard(16);
  std::vector<TestEvent> Events = {MakeEvent(10, {1.0f, 2.0f}), MakeEvent(100, {1.5f, 2.5f}),
                                   MakeEvent(1000, {3.0f, 3.5f})};
  Events[1].GatedOut = true;
  Events[2].Filtered = true;

  TDetector D(0, false, false, false, 0, 4, false);
  TDetectorOptions O;
  O.SeriesName = "GFP";
  O.ChannelIndex = 1;
  O.Compensated = true;
  D.AddChannelSeries(Events, O);
  D.AddUngatedSeries(Events, O);
  O.Compensated = false;
  D.AddUngatedSeries(Events, O);
  D.AddCompSeries(Events, O);  // not compensated: nothing
  ASSERT_EQ(D.SeriesCount, 3);
  EXPECT_EQ(D.SeriesNames[0], "GFP_Comp");
  EXPECT_EQ(D.SeriesValues[0], (TSglArray{2.0f}));
  EXPECT_EQ(D.SeriesValues[1], (TSglArray{2.5f, 2.0f}));  // last event first
  EXPECT_EQ(D.SeriesNames[2], "GFP_Raw");
  EXPECT_EQ(D.SeriesValues[2], (TSglArray{3.5f, 3.0f}));

  O.Compensated = true;
  O.Color = 5;
  D.AddCompSeries(Events, O);
  EXPECT_EQ(D.SeriesNames[3], "GFP_Comp");
  EXPECT_EQ(D.SeriesColors[3], 5);

  TDetectorOptions G;
  G.IsGate = true;
  G.SeriesName = "FSC";
  G.LogValues = true;
  D.AddUngatedSeries(Events, G);
  EXPECT_EQ(D.SeriesNames[4], "FSC");
  EXPECT_EQ(D.SeriesValues[4], (TSglArray{2.0f, 1.0f}));
  G.LogValues = false;
  D.AddUngatedSeries(Events, G);
  EXPECT_EQ(D.SeriesValues[5], (TSglArray{100.0f, 10.0f}));

  O.ChannelIndex = 2;
  EXPECT_THROW(D.AddChannelSeries(Events, O), ERangeError);
  G.GateIndex = -1;
  EXPECT_THROW(D.AddChannelSeries(Events, G), ERangeError);
  EXPECT_EQ(D.SeriesCount, 6);
}

TEST(DetectorCollectors, ClassAndFilteredSeries) {
  BinCountGuard Guard(16);
  // Three channels: plot 0, filter 1, other 2.
  std::vector<TestEvent> Events = {
      MakeEvent(1, {1.0f, 2.0f, 0.5f}, {100, 10, 1}),  // taken
      MakeEvent(1, {1.1f, 2.5f, 0.5f}, {100, 90, 1}),  // filter value at the maximum: not taken
      MakeEvent(1, {1.2f, 2.2f, 1.0f}, {100, 10, 1}),  // other channel at its maximum: not taken
      MakeEvent(1, {1.3f, 2.2f, 0.2f}, {100, 50, 1}),  // taken unless the ratio filter applies
      MakeEvent(1, {1.4f, 1.5f, 0.2f}, {100, 10, 1}),  // filter value at the minimum: not taken
  };
  Events[0].Classes[2] = 2;
  Events[3].Classes[2] = 2;
  Events[4].Classes[2] = 2;
  Events[4].GatedOut = true;

  TDetector D(0, true, false, true, 0, 4, false);
  TCustomDetectorOptions C;
  C.PlotChannel = 0;
  C.FilterChannel = 1;
  C.FilterMinimum = 1.5f;
  C.FilterMaximum = 2.5f;
  C.OtherMaximum = 1.0f;
  C.SeriesName = "filtered";
  C.SeriesColor = 9;
  D.AddFilteredSeries(Events, 3, nullptr, C);
  EXPECT_EQ(D.SeriesValues[0], (TSglArray{1.3f, 1.0f}));
  EXPECT_EQ(D.SeriesNames[0], "filtered");

  TChannelFilters Filters;
  TChannelFilterInfo F;
  F.SourceChannel = 0;
  F.SpilloverChannel = 1;
  F.MinSpillover = 0;
  F.MaxSpillover = 0.2f;
  Filters.Add(F);
  C.UseRatioFilters = true;
  D.AddFilteredSeries(Events, 3, &Filters, C);
  EXPECT_EQ(D.SeriesValues[1], (TSglArray{1.0f}));

  C.ClassNumber = 2;
  D.AddClassSeries(Events, C);
  EXPECT_EQ(D.SeriesValues[2], (TSglArray{1.3f, 1.0f}));  // the gated-out event is left out
  EXPECT_EQ(D.SeriesColors[2], 9);
}

TEST(DetectorFitOptions, PeakDetectorSearchesTheMeanOnlyWhenAllowed) {
  TChannelInfo Info;
  Info.ChannelName = "YFP";
  Info.Color = 0x00FF00;
  TChannel Channel(Info, nullptr);
  TDetectorOptions O = PeakFitOptions(Channel, 2, true);
  EXPECT_TRUE(O.FitMean);
  EXPECT_FALSE(O.IsGate);
  EXPECT_EQ(O.ChannelIndex, 2);
  EXPECT_EQ(O.SeriesName, "YFP");
  EXPECT_EQ(O.Color, 0x00FF00);
  EXPECT_FALSE(PeakFitOptions(Channel, 2, false).FitMean);
  Channel.ForceMean = true;
  EXPECT_FALSE(PeakFitOptions(Channel, 2, true).FitMean);

  TGateInfo GI;
  GI.Name = "FSC";
  TGlobalGate Gate(GI, nullptr);
  TDetectorOptions G = GateFitOptions(Gate, 1, true);
  EXPECT_TRUE(G.IsGate && G.FitMean);
  EXPECT_EQ(G.GateIndex, 1);
  EXPECT_FALSE(GateFitOptions(Gate, 1, false).FitMean);
}

// A detector of four bins over 0..4 with two series, the second fitted by hand.
struct SmallDetector {
  BinCountGuard Guard{4};
  TDetector D{0, false, false, false, 0, 4, true};
  SmallDetector() {
    D.AddSeries("A", {0.5f, 1.5f, 1.5f, 2.5f}, 0xFF);
    D.AddSeries("B", {2.5f, 3.5f, 3.5f, 3.5f}, 0xFF00);
    D.Curves[1] = {0.25f, 1.0f, 2.5f, 1.125f};
    D.Fits[1].Mean = 0.5;
    D.Fits[1].Deviation = 0.25;
    D.Fits[1].StartHeight = 3;
    D.LastFitted = 1;
  }
};

TEST(DetectorReports, GaussianReportAndHistogramCSV) {
  SmallDetector S;
  EXPECT_EQ(S.D.GaussianReport(),
            "Summary of Gaussian data\r\n\r\n"
            "Series\t\t Mean \t\tLog(Mean)\t\tDeviation\r\n"
            "---------\t\t-------\t\t-----------\r\n"
            "A\t\t1.000000\t\t0.000000\t\t0.000000\r\n"
            "B\t\t3.162278\t\t0.500000\t\t0.250000\r\n");

  const std::vector<std::string> Lines = S.D.HistogramCSV();
  ASSERT_EQ(Lines.size(), 5u);
  EXPECT_EQ(Lines[0], "Bin,\"A\",\"B\",,\"A\",\"B\"");
  EXPECT_EQ(Lines[1], "0.00e0,2,0,,x,0.3");  // bin 0 shows bin 1's count; 0 is below 0.01
  EXPECT_EQ(Lines[2], "1.00,2,0,,x,1.0");
  EXPECT_EQ(Lines[4], "3.00,0,3,,x,1.1");

  BinCountGuard Guard(3);
  TDetector Small(0, false, false, false, 0.003, 0.006, true);
  Small.AddSeries("s", {}, 0);
  EXPECT_EQ(Small.HistogramCSV()[1], "3.00e-3,0,,x");
}

TEST(DetectorReports, DrawChartSeriesCurvesAndGuides) {
  SmallDetector S;
  ChartData Chart;
  Chart.Title = "old";
  THistogramView View;
  View.Show[1] = true;
  View.Guides[0] = 1.5f;   // first edge beyond it: bin 2
  View.Guides[1] = 10.0f;  // beyond every edge: no point
  const std::string Csv = S.D.DrawChart(Chart, View);
  EXPECT_EQ(Chart.Title, "");
  EXPECT_EQ(Csv,
            "A,B,B,\r\n"
            "Value,Series_1,Gaussian_1,\r\n"
            "1.50,0,1.0,\r\n"
            "2.50,1,2.5,\r\n"
            "3.50,3,1.1,\r\n");
  ASSERT_EQ(Chart.Series.size(), 6u);  // bars, Gaussian, four guides
  const ChartSeries& Bars = Chart.Series[0];
  EXPECT_EQ(Bars.Kind, ChartSeries::TKind::Bar);
  EXPECT_EQ(Bars.Name, "B");
  EXPECT_EQ(Bars.Color, 0xFF00u);
  EXPECT_EQ(Bars.Labels, (std::vector<std::string>{"1.5", "2.5", "3.5"}));
  EXPECT_EQ(Bars.Points.back(), (std::pair<double, double>(3, 3)));
  EXPECT_EQ(Chart.Series[1].Color, 0xFF0000u);
  EXPECT_EQ(Chart.Series[1].Width, 2);
  EXPECT_EQ(Chart.Series[1].Points[1], (std::pair<double, double>(2, 2.5)));
  EXPECT_EQ(Chart.Series[2].Points,
            (std::vector<std::pair<double, double>>{{2, 0}, {2, 3}}));  // height: StartHeight
  EXPECT_TRUE(Chart.Series[3].Points.empty());
  EXPECT_EQ(Chart.Series[4].Color, 255u);

  // Only series 0..3 can be shown without ShowAll.
  for (int i = 0; i < 3; ++i) S.D.AddSeries("more", {}, 0);
  THistogramView Some;
  Some.Show[0] = Some.Show[3] = true;
  S.D.DrawChart(Chart, Some);
  ASSERT_EQ(Chart.Series.size(), 2u);
  EXPECT_EQ(Chart.Series[0].Name, "A");
  Some.ShowAll = true;
  const std::string All = S.D.DrawChart(Chart, Some);
  EXPECT_EQ(Chart.Series.size(), 5u + 5u);
  EXPECT_EQ(All.substr(0, All.find('\r')), "A,A,B,B,more,more,more,");

  S.D.Clear();
  EXPECT_EQ(S.D.DrawChart(Chart, Some), "");
  EXPECT_TRUE(Chart.Series.empty());
}

TEST(DetectorReports, LogLabelsAboveTenLoseTheirDecimals) {
  BinCountGuard Guard(4);
  TDetector D(0, false, false, false, 0, 2, false);  // centres 0.25, 0.75, 1.25, 1.75
  D.AddSeries("s", {1.0f}, 0);
  ChartData Chart;
  THistogramView View;
  View.Show[0] = true;
  const std::string Csv = D.DrawChart(Chart, View);
  EXPECT_EQ(Chart.Series[0].Labels, (std::vector<std::string>{"5.6", "18", "56"}));
  EXPECT_NE(Csv.find("17.78,"), std::string::npos);
}

}  // namespace
}  // namespace qv
