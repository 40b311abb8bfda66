#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>

#include "protocol/Channel.h"
#include "protocol/ChannelFilters.h"
#include "analysis/Detector.h"
#include "Globals.h"
#include "ScopedValue.h"
#include "protocol/GlobalGate.h"

namespace qv {
namespace {

using test::BinCountGuard;

// An event with the fields the collectors read.
struct TestEvent {
  bool Filtered = false;
  bool GatedOut = false;
  TSglArray GateValues, LogGateValues;
  TMatrix RawValues;
  TSglArray LogRawValues, LogCompValues;
  int16_t Classes[3] = {0, 0, 0};
};

TestEvent MakeEvent(std::vector<float> LogComp, std::vector<float> Raw = {}, float Gate = 10) {
  TestEvent E;
  E.GateValues = {Gate};
  E.LogGateValues = {std::log10(Gate)};
  E.LogCompValues = LogComp;
  for (float R : Raw) E.RawValues.push_back({R});
  for (float L : LogComp) E.LogRawValues.push_back(L + 1);
  return E;
}

TEST(DetectorBins, Layout) {
  BinCountGuard Guard(256);
  TDetector D(0, false, false, false, 0, 4, true);
  EXPECT_EQ(D.BinWidth, 0.015625);
  EXPECT_EQ(D.BinEdges[1], 0.015625f);
  EXPECT_EQ(D.AxisValues[0], 0.0078125f);
  TDetector Flat(0, false, false, false, 3, 3, true);  // no width: one unit per bin
  EXPECT_EQ(Flat.BinEdges[2], 5.0f);
  EXPECT_THROW(TDetector(0, false, false, false, 0, INFINITY, true), ERangeError);

  BinCountGuard Four(4);
  TDetector L(0, false, false, false, -0.5, 3.5, false);  // centres 0 .. 3
  EXPECT_FLOAT_EQ(L.AxisValues[2], 100.0f);

  BinCountGuard None(0);  // a bin count below 1 is 1
  TDetector One(0, false, false, false, 0, 4, true);
  One.AddSeries("s", {-10, 1, 100}, 0);
  EXPECT_EQ(One.Counts[0], TIntArray{3});
}

TEST(DetectorBins, ValuesAreClampedBeforeTheyBecomeBins) {
  BinCountGuard Guard(256);
  TDetector D(0, false, false, false, 0, 4, true);
  const float Inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(D.BinOf(4.0f), 255);
  EXPECT_EQ(D.BinOf(0.015625f), 1);
  EXPECT_EQ(D.BinOf(1e30f), 255);  // beyond any integer
  EXPECT_EQ(D.BinOf(-1e30f), 0);
  EXPECT_EQ(D.BinOf(-Inf), 0);
  EXPECT_EQ(D.BinOf(std::nanf("")), -1);

  D.AddSeries("s", {4.0f, -1.0f, 0.02f, 0.03f, Inf, std::nanf(""), 2.0f}, 7);
  const TIntArray& C = D.Counts[0];
  EXPECT_EQ(C[255], 2);
  EXPECT_EQ(C[0], 2);  // bin 1's count, not the one value below the range
  EXPECT_EQ(std::accumulate(C.begin(), C.end(), 0), 7);  // the NaN is nowhere
  EXPECT_EQ(D.Statistics[0].Count, 5);                    // of the finite values
  EXPECT_FLOAT_EQ(D.Statistics[0].Max, 4.0f);

  D.AddSeries("empty", {}, 0);
  EXPECT_EQ(D.Counts[1], TIntArray(256, 0));
  EXPECT_EQ(D.GetChiP(2), 0.0f);
}

// Series are binned through the lowest float of each bin; every value lands where BinOf puts it,
// whatever the range, including values on and next to every edge.
TEST(DetectorBins, SeriesCountsAreThoseOfBinOf) {
  const float Inf = std::numeric_limits<float>::infinity();
  struct Layout {
    int32_t Bins;
    double Minimum, Maximum;
    bool Linear;
  };
  for (const Layout& L : {Layout{256, 0, 4, false}, Layout{256, 0.3, 4.7, false}, Layout{1000, 50, 1024, true},
                          Layout{7, -3.3, 1e-3, true}, Layout{2, 0, 1e-30, true}, Layout{300, -1e30, 1e30, true}}) {
    SCOPED_TRACE(std::to_string(L.Bins) + " bins from " + std::to_string(L.Minimum));
    BinCountGuard Guard(L.Bins);
    TDetector D(0, false, false, false, L.Minimum, L.Maximum, L.Linear);
    TSglArray Values = {0.0f, -0.0f, Inf, -Inf, std::nanf(""), 1e38f, -1e38f, 1e-45f, -1e-45f};
    for (int32_t b = 0; b < D.BinCount; ++b)
      for (float Edge : {D.BinEdges[b], D.BinCentres[b]}) {
        Values.push_back(Edge);
        Values.push_back(std::nextafter(Edge, Inf));
        Values.push_back(std::nextafter(Edge, -Inf));
      }
    for (int32_t i = 0; i < 20000; ++i)
      Values.push_back(static_cast<float>(L.Minimum + (L.Maximum - L.Minimum) * (i / 19000.0 - 0.02)));
    TIntArray Expected(static_cast<size_t>(D.BinCount), 0);
    for (float V : Values)
      if (D.BinOf(V) >= 0) ++Expected[static_cast<size_t>(D.BinOf(V))];
    if (D.BinCount > 1) Expected[0] = Expected[1];
    D.AddSeries("edges", Values, 0);
    EXPECT_EQ(D.Counts[0], Expected);
  }
}

TEST(DetectorBins, SeriesCopyKeepsValuesStatisticsAndCounts) {
  BinCountGuard Guard(16);
  TDetector D(0, false, false, false, 0, 4, true);
  D.AddSeries("a", {1.0f, 2.5f, 2.5f, 3.9f}, 5);
  D.Fits[0].Mean = 2;
  D.AddSeriesCopy("b", 9, 0);
  EXPECT_EQ(D.SeriesCount, 2);
  EXPECT_EQ(D.GetSeriesName(1), "b");
  EXPECT_EQ(D.SeriesColors[1], 9);
  EXPECT_EQ(D.SeriesValues[1], D.SeriesValues[0]);
  EXPECT_EQ(D.Counts[1], D.Counts[0]);
  EXPECT_EQ(D.Statistics[1].Mean, D.Statistics[0].Mean);
  EXPECT_EQ(D.Statistics[1].ThirdMoment, D.Statistics[0].ThirdMoment);
  EXPECT_EQ(D.Fits[1].Mean, 0);  // nothing fitted
  EXPECT_EQ(D.GetChi(1), -1.0f);
  EXPECT_THROW(D.AddSeriesCopy("c", 0, 2), ERangeError);
}

TEST(DetectorCollectors, EventTestsNamesAndOrder) {
  BinCountGuard Guard(16);
  // Plot channel 0, filter channel 1, other channel 2.
  std::vector<TestEvent> Events = {
      MakeEvent({1.0f, 2.0f, 0.5f}, {100, 10, 1}),
      MakeEvent({1.1f, 2.5f, 0.5f}, {100, 10, 1}),  // filter value on the maximum
      MakeEvent({1.2f, 2.2f, 1.0f}, {100, 10, 1}),  // other channel on its maximum
      MakeEvent({1.3f, 2.2f, 0.2f}, {100, 50, 1}, 100),  // ratio 0.5
      MakeEvent({1.4f, 1.5f, 0.2f}, {100, 10, 1}),  // filter value on the minimum; gated out
  };
  Events[0].Classes[2] = Events[3].Classes[2] = Events[4].Classes[2] = 2;
  Events[4].GatedOut = true;
  Events[2].Filtered = true;
  TDetector D(0, true, false, true, 0, 4, false);
  TDetectorOptions O;
  O.SeriesName = "GFP";
  O.Compensated = true;
  D.AddChannelSeries(Events, O);
  D.AddUngatedSeries(Events, O);
  O.Compensated = false;
  D.AddCompSeries(Events, O);  // not compensated: nothing
  O.IsGate = O.LogValues = true;
  D.AddChannelSeries(Events, O);
  ASSERT_EQ(D.SeriesCount, 3);
  EXPECT_EQ(D.SeriesNames[0], "GFP_Comp");
  EXPECT_EQ(D.SeriesValues[0], (TSglArray{1.3f, 1.1f, 1.0f}));  // last event first
  EXPECT_EQ(D.SeriesValues[1], (TSglArray{1.4f, 1.3f, 1.1f, 1.0f}));
  EXPECT_EQ(D.SeriesNames[2], "GFP");
  EXPECT_EQ(D.SeriesValues[2], (TSglArray{2.0f, 1.0f, 1.0f}));
  O.GateIndex = 1;
  EXPECT_THROW(D.AddChannelSeries(Events, O), ERangeError);

  Events[2].Filtered = false;
  TCustomDetectorOptions C;
  C.FilterChannel = 1;
  C.FilterMinimum = 1.5f;
  C.FilterMaximum = 2.5f;
  C.OtherMaximum = 1.0f;
  D.AddFilteredSeries(Events, 3, nullptr, C);
  EXPECT_EQ(D.SeriesValues[3], (TSglArray{1.3f, 1.0f}));
  TChannelFilters Filters;
  TChannelFilterInfo F;
  F.SpilloverChannel = 1;
  F.MaxSpillover = 0.2f;
  Filters.Add(F);
  C.UseRatioFilters = true;
  D.AddFilteredSeries(Events, 3, &Filters, C);
  EXPECT_EQ(D.SeriesValues[4], TSglArray{1.0f});
  C.ClassNumber = 2;
  D.AddClassSeries(Events, C);
  EXPECT_EQ(D.SeriesValues[5], (TSglArray{1.3f, 1.0f}));
}

TEST(DetectorFitOptions, PeakDetectorSearchesTheMeanOnlyWhenAllowed) {
  TChannel Channel(TChannelInfo{}, nullptr);
  EXPECT_TRUE(PeakFitOptions(Channel, 2, true).FitMean);
  EXPECT_FALSE(PeakFitOptions(Channel, 2, false).FitMean);
  Channel.ForceMean = true;
  EXPECT_FALSE(PeakFitOptions(Channel, 2, true).FitMean);
  TGlobalGate Gate(TGateInfo{}, nullptr);
  const TDetectorOptions G = GateFitOptions(Gate, 1, true);
  EXPECT_TRUE(G.IsGate && G.FitMean);
  EXPECT_EQ(G.GateIndex, 1);
}

// Four bins over 0..4 with two series, the second fitted by hand.
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
  EXPECT_EQ(Lines[1], "0.00e0,2,0,,x,0.3");  // 0 is below 0.01; bin 0 shows bin 1's count
  EXPECT_EQ(Lines[4], "3.00,0,3,,x,1.1");
}

TEST(DetectorReports, DrawChart) {
  SmallDetector S;
  ChartData Chart;
  Chart.Title = "old";
  THistogramView View;
  View.Show[1] = true;
  View.Guides[0] = 1.5f;   // first edge beyond it: bin 2
  View.Guides[1] = 10.0f;  // beyond every edge: no point
  EXPECT_EQ(S.D.DrawChart(Chart, View),
            "A,B,B,\r\nValue,Series_1,Gaussian_1,\r\n1.50,0,1.0,\r\n2.50,1,2.5,\r\n3.50,3,1.1,\r\n");
  EXPECT_EQ(Chart.Title, "");
  ASSERT_EQ(Chart.Series.size(), 6u);  // bars, Gaussian, four guides
  EXPECT_EQ(Chart.Series[0].Labels, (std::vector<std::string>{"1.5", "2.5", "3.5"}));
  EXPECT_EQ(Chart.Series[1].Points[1], (std::pair<double, double>(2, 2.5)));
  EXPECT_EQ(Chart.Series[2].Points, (std::vector<std::pair<double, double>>{{2, 0}, {2, 3}}));
  EXPECT_TRUE(Chart.Series[3].Points.empty());
  EXPECT_EQ(Chart.Series[4].Color, 255u);

  for (int i = 0; i < 3; ++i) S.D.AddSeries("more", {}, 0);
  THistogramView Some;
  Some.Show[0] = Some.Show[3] = true;
  S.D.DrawChart(Chart, Some);
  EXPECT_EQ(Chart.Series.size(), 2u);  // series 4 needs ShowAll
  Some.ShowAll = true;
  const std::string All = S.D.DrawChart(Chart, Some);
  EXPECT_EQ(All.substr(0, All.find('\r')), "A,A,B,B,more,more,more,");
  S.D.Clear();
  EXPECT_EQ(S.D.DrawChart(Chart, Some), "");
  EXPECT_TRUE(Chart.Series.empty());

  BinCountGuard Guard(4);
  TDetector L(0, false, false, false, 0, 2, false);  // log labels 5.6, 17.8, 56.2
  L.AddSeries("s", {1.0f}, 0);
  L.DrawChart(Chart, Some);
  EXPECT_EQ(Chart.Series.at(0).Labels, (std::vector<std::string>{"5.6", "18", "56"}));
}

}  // namespace
}  // namespace qv
