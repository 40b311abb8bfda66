#include "analysis/Detector.h"

#include <bit>
#include <cmath>

#include "protocol/Channel.h"
#include "protocol/ChannelFilters.h"
#include "ClassPatterns.h"
#include "FloatStores.h"
#include "Globals.h"
#include "protocol/GlobalGate.h"
#include "NumberFormat.h"
#include "protocol/Protocol.h"
#include "Statistics.h"

namespace qv {

namespace {

constexpr const char* CRLF = "\r\n";

bool InRange(int32_t I, int32_t Count) { return I >= 0 && I < Count; }

}  // namespace

bool detail::ChannelFiltersPass(const TChannelFilters& Filters, const TMatrix& RawValues, int32_t Channel) {
  return Filters.Passes(RawValues, Channel);
}
bool detail::ChannelFiltersPass(const TChannelFilters& Filters, std::span<const float> RawValues, int32_t Channel) {
  return Filters.Passes(TSglArray(RawValues.begin(), RawValues.end()), Channel);
}
int32_t detail::ProtocolChannelCount(const TProtocol& Protocol) { return Protocol.ChannelCount(); }
const TChannelFilters* detail::ProtocolFilters(const TProtocol& Protocol) { return Protocol.Filters.get(); }

TDetectorOptions PeakFitOptions(const TChannel& Channel, int32_t ChannelIndex, bool FitCurves) {
  TDetectorOptions Options;
  Options.SeriesName = Channel.ChannelName;
  Options.Color = Channel.Color;
  Options.ChannelIndex = ChannelIndex;
  Options.FitMean = FitCurves && !Channel.ForceMean;
  return Options;
}

TDetectorOptions GateFitOptions(const TGlobalGate& Gate, int32_t GateIndex, bool FitCurves) {
  TDetectorOptions Options;
  Options.SeriesName = Gate.Name;
  Options.Color = Gate.Color;
  Options.GateIndex = GateIndex;
  Options.IsGate = true;
  Options.FitMean = FitCurves;
  return Options;
}

TDetector::TDetector(int32_t AIndex, bool AFitMean, bool AIsGate, bool AIsPeak, double AMinimum, double AMaximum,
                     bool Linear)
    : Index(AIndex), IsGate(AIsGate), IsPeak(AIsPeak), FitMean(AFitMean) {
  SetRange(!Linear, AMinimum, AMaximum);
  PostRefresh();
}

TDetector::~TDetector() {
  Clear();
  PostRefresh();
}

void TDetector::SetRange(bool ALog, double AMinimum, double AMaximum) {
  // A range the user typed can hold no infinity, but a caller's arithmetic might.
  if (!std::isfinite(AMinimum) || !std::isfinite(AMaximum)) throw ERangeError("Invalid histogram range");
  Log = ALog;
  BinCount = HistogramBinCount < 1 ? 1 : HistogramBinCount;
  Minimum = AMinimum;
  Maximum = AMaximum;
  BinWidth = fp::Double((Extended(Maximum) - Minimum) / BinCount);
  if (!(BinWidth > 0)) BinWidth = 1.0;
  BinEdges.assign(BinCount, 0);
  BinCentres.assign(BinCount, 0);
  AxisValues.assign(BinCount, 0);
  for (int32_t i = 0; i < BinCount; ++i) {
    BinEdges[i] = fp::Single(Extended(i) * BinWidth + Minimum);
    BinCentres[i] = fp::Single(BinEdges[i] + Extended(BinWidth) / 2);
    AxisValues[i] = Log ? fp::Single(std::pow(10.0L, Extended(BinCentres[i]))) : BinCentres[i];
  }
  SeriesCount = 0;
  LastFitted = -1;
}

int32_t TDetector::BinOf(float Value) const {
  if (std::isnan(Value)) return -1;
  // Double precision settles every value that is not within a hair of a bin edge, at a fraction
  // of the cost; values next to an edge are decided in extended precision, so the bins are the
  // same as with extended arithmetic throughout.
  // The floor of the logarithms (0) sits exactly on the lower edge of log detectors.
  if (static_cast<double>(Value) == Minimum) return 0;
  const double Quick = (static_cast<double>(Value) - Minimum) / BinWidth;
  if (std::fabs(Quick) < 1e15) {
    // Truncation through an integer: std::floor is a library call on the baseline instruction set.
    double Floor = static_cast<double>(static_cast<int64_t>(Quick));
    if (Floor > Quick) Floor -= 1;
    const double Margin = 1e-9 * std::max(1.0, std::fabs(Quick));
    if (Quick - Floor > Margin && Floor + 1 - Quick > Margin) {
      if (Floor >= BinCount) return BinCount - 1;
      if (Floor < 1) return 0;
      return static_cast<int32_t>(Floor);
    }
  }
  const Extended Position = (Extended(Value) - Minimum) / BinWidth;
  if (!(Position < BinCount)) return BinCount - 1;
  if (Position < 1) return 0;
  return static_cast<int32_t>(Position);
}

void TDetector::AddSeries(const std::string& Name, TSglArray Values, int32_t Color) {
  // Everything is built first, so a failure adds no half series.
  TSeriesSummary Summary = Summarise(Values);
  SeriesValues.push_back(std::move(Values));
  PushSeries(Name, Color, std::move(Summary));
}

TDetector::TSeriesSummary TDetector::Summarise(const TSglArray& Values) {
  TSeriesSummary Summary;
  bool AllFinite = true;
  for (float V : Values)
    if (!std::isfinite(V)) {
      AllFinite = false;
      break;
    }
  if (AllFinite) {
    DescriptiveStatistics(Values, {}, Summary.Statistics);
  } else {
    TSglArray Finite;
    for (float V : Values)
      if (std::isfinite(V)) Finite.push_back(V);
    DescriptiveStatistics(Finite, {}, Summary.Statistics);
  }
  Summary.Bins.assign(BinCount, 0);
  if (BinWidth > 0) CountBins(Values.data(), Values.size(), Summary.Bins);
  // Values below the range pile up in bin 0; showing bin 1's count there hides the pile.
  if (BinCount > 1) Summary.Bins[0] = Summary.Bins[1];
  return Summary;
}

TDetector::TSummaryBuilder::TSummaryBuilder(TDetector& Detector)
    : FDetector(&Detector), FBins(static_cast<size_t>(Detector.BinCount), 0) {}

const float* TDetector::TSummaryBuilder::Finite(const float* Values, size_t Count, size_t& Kept) {
  size_t i = 0;
  while (i < Count && std::isfinite(Values[i])) ++i;
  Kept = Count;
  if (i == Count) return Values;
  FFinite.assign(Values, Values + i);
  for (; i < Count; ++i)
    if (std::isfinite(Values[i])) FFinite.push_back(Values[i]);
  Kept = FFinite.size();
  return FFinite.data();
}

void TDetector::TSummaryBuilder::Add(const float* Values, size_t Count) {
  if (FDetector->BinWidth > 0) FDetector->CountBins(Values, Count, FBins);
  size_t Kept = 0;
  const float* Taken = Finite(Values, Count, Kept);
  FMoments.Add(Taken, Kept);
}

void TDetector::TSummaryBuilder::AddToSum(const float* Values, size_t Count) {
  size_t Kept = 0;
  const float* Taken = Finite(Values, Count, Kept);
  FMoments.AddToSum(Taken, Kept);
}

void TDetector::TSummaryBuilder::AddDeviations(const float* Values, size_t Count) {
  size_t Kept = 0;
  const float* Taken = Finite(Values, Count, Kept);
  FMoments.AddDeviations(Taken, Kept);
}

TDetector::TSeriesSummary TDetector::TSummaryBuilder::Result() const {
  TSeriesSummary Summary{FMoments.Result(), FBins};
  if (Summary.Bins.size() > 1) Summary.Bins[0] = Summary.Bins[1];
  return Summary;
}

void TDetector::PushSeries(const std::string& Name, int32_t Color, TSeriesSummary Summary) {
  SeriesNames.push_back(Name);
  SeriesColors.push_back(Color);
  Statistics.push_back(Summary.Statistics);
  Fits.emplace_back();
  Curves.emplace_back();
  Shapes.emplace_back();
  Chi.push_back(-1.0f);
  ChiP.push_back(-1.0f);
  Counts.push_back(std::move(Summary.Bins));
  ++SeriesCount;
}

void TDetector::AddSourceSeries(const std::string& Name, int32_t Color,
                                std::shared_ptr<const TEventSeriesSource> Source, size_t Column, int32_t Selection,
                                TSeriesSummary Summary) {
  SeriesValues.push_back(std::move(Source), Column, Selection);
  PushSeries(Name, Color, std::move(Summary));
}

void TDetector::AddSeriesCopy(const std::string& Name, int32_t Color, int32_t Series) {
  if (!InRange(Series, SeriesCount)) throw RangeCheckError();
  TSeriesSummary Summary{Statistics[Series], Counts[Series]};
  SeriesValues.PushCopy(static_cast<size_t>(Series));
  PushSeries(Name, Color, std::move(Summary));
}

namespace {

// Floats in the order of their values as unsigned integers (-0 just below +0), NaNs aside.
uint32_t FloatOrder(float V) {
  const uint32_t Bits = std::bit_cast<uint32_t>(V);
  return (Bits & 0x80000000u) ? ~Bits : Bits | 0x80000000u;
}
float FloatOfOrder(uint32_t Order) {
  return std::bit_cast<float>((Order & 0x80000000u) ? Order & 0x7fffffffu : ~Order);
}

}  // namespace

void TDetector::CountBins(const float* Values, size_t N, TIntArray& Bins) {
  if (BinStarts.size() != static_cast<size_t>(BinCount)) {
    // BinStarts[b] is the least float of bin b or above, by bisection over the ordered floats
    // from -infinity (bin 0) to +infinity (the last bin).
    TSglArray Starts(static_cast<size_t>(BinCount), -INFINITY);
    const uint32_t Lowest = FloatOrder(-INFINITY), Highest = FloatOrder(INFINITY);
    for (int32_t b = 1; b < BinCount; ++b) {
      uint32_t Low = Lowest, High = Highest;  // BinOf(Low) < b <= BinOf(High)
      while (High - Low > 1) {
        const uint32_t Mid = Low + (High - Low) / 2;
        if (BinOf(FloatOfOrder(Mid)) >= b)
          High = Mid;
        else
          Low = Mid;
      }
      Starts[b] = FloatOfOrder(High);
    }
    BinStarts = std::move(Starts);
  }
  // A first guess from float arithmetic, moved to the bin whose start is the last not above the
  // value; four partial counts keep repeated bins from waiting on each other.
  const float* Start = BinStarts.data();
  const int32_t Last = BinCount - 1;
  const float Low = static_cast<float>(Minimum);
  const float Scale = static_cast<float>(1.0 / BinWidth);
  std::vector<int32_t> Partial(4 * static_cast<size_t>(BinCount), 0);
  for (size_t i = 0; i < N; ++i) {
    const float V = Values[i];
    if (std::isnan(V)) continue;
    const float Guess = (V - Low) * Scale;
    int32_t Bin = Guess >= 0 ? (Guess < static_cast<float>(Last) ? static_cast<int32_t>(Guess) : Last) : 0;
    while (Bin < Last && V >= Start[Bin + 1]) ++Bin;
    while (Bin > 0 && V < Start[Bin]) --Bin;
    ++Partial[(i & 3) * static_cast<size_t>(BinCount) + static_cast<size_t>(Bin)];
  }
  for (int32_t b = 0; b < BinCount; ++b)
    Bins[b] += Partial[b] + Partial[BinCount + b] + Partial[2 * BinCount + b] + Partial[3 * BinCount + b];
}

void TDetector::Clear() {
  SeriesNames.clear();
  SeriesColors.clear();
  Statistics.clear();
  Fits.clear();
  Curves.clear();
  Shapes.clear();
  Chi.clear();
  ChiP.clear();
  Counts.clear();
  SeriesValues.clear();
  SeriesCount = 0;
  LastFitted = -1;
}

float TDetector::GetChi(int32_t I) const { return InRange(I, SeriesCount) ? Chi[I] : 0.0f; }
float TDetector::GetChiP(int32_t I) const { return InRange(I, SeriesCount) ? ChiP[I] : 0.0f; }

void TDetector::GetFitResult(int32_t I, TGaussianFit& Fit) const {
  if (InRange(I, SeriesCount)) Fit = Fits[I];
}

std::string TDetector::GetSeriesName(int32_t I) const { return InRange(I, SeriesCount) ? SeriesNames[I] : ""; }

std::string TDetector::GaussianReport() const {
  std::string Text;
  Text += std::string("Summary of Gaussian data") + CRLF;
  Text += CRLF;
  Text += std::string("Series\t\t Mean \t\tLog(Mean)\t\tDeviation") + CRLF;
  Text += std::string("---------\t\t-------\t\t-----------") + CRLF;
  for (size_t i = 0; i < Fits.size(); ++i) {
    const TGaussianFit& F = Fits[i];
    Text += SeriesNames[i] + "\t\t" + FormatFloat("#0.000000", fp::Finite(std::pow(10.0L, Extended(F.Mean)))) +
            "\t\t" + FormatFloat("#0.000000", F.Mean) + "\t\t" + FormatFloat("#0.000000", F.Deviation) + CRLF;
  }
  return Text;
}

std::vector<std::string> TDetector::HistogramCSV() const {
  std::vector<std::string> Lines;
  try {
    std::string Names;
    for (int32_t s = 0; s < SeriesCount; ++s) Names += ",\"" + SeriesNames[s] + "\"";
    Lines.push_back("Bin" + Names + "," + Names);
    for (int32_t i = 0; i < BinCount; ++i) {
      std::string Line = FormatFloatByMagnitude("0.00e-", "0.00", 0.01, BinEdges[i]);
      for (int32_t s = 0; s < SeriesCount; ++s) Line += "," + IntToStr(Counts[s][i]);
      Line += ",";
      for (int32_t s = 0; s < SeriesCount; ++s)
        Line += Curves[s].empty() ? std::string(",x") : "," + FormatFloat("#####0.0", Curves[s][i]);
      Lines.push_back(std::move(Line));
    }
  } catch (const std::exception&) {
    // The lines complete so far are the export.
  }
  return Lines;
}

std::string TDetector::DrawChart(ChartData& Chart, const THistogramView& View) const {
  Chart.Title.clear();
  Chart.Series.clear();
  if (SeriesCount < 1) return "";

  std::vector<std::string> Lines;
  Lines.push_back(SeriesNames[0] + ",");
  Lines.push_back("Value,");
  for (int32_t j = 1; j < BinCount; ++j) Lines.push_back(FormatFloat("#########0.00", AxisValues[j]) + ",");

  std::vector<std::string> Labels;
  for (int32_t j = 1; j < BinCount; ++j)
    Labels.push_back(FormatFloat(AxisValues[j] > 10 ? "#########0" : "#########0.0", AxisValues[j]));
  const double GuideHeight = InRange(LastFitted, SeriesCount) ? Fits[LastFitted].StartHeight : 0.0;

  for (int32_t s = 0; s < SeriesCount; ++s) {
    if (!(View.ShowAll || (s < 4 && View.Show[s]))) continue;
    ChartSeries Bars;
    Bars.Kind = ChartSeries::TKind::Bar;
    Bars.Name = SeriesNames[s];
    Bars.Color = static_cast<uint32_t>(SeriesColors[s]);
    Bars.Labels = Labels;
    Lines[0] += SeriesNames[s] + ",";
    Lines[1] += "Series_" + IntToStr(s) + ",";
    for (int32_t j = 1; j < BinCount; ++j) Bars.Points.emplace_back(j, Counts[s][j]);
    const bool HasCurve = !Curves[s].empty();
    if (HasCurve) {
      Lines[0] += SeriesNames[s] + ",";
      Lines[1] += "Gaussian_" + IntToStr(s) + ",";
    }
    for (int32_t j = 1; j < BinCount; ++j) {
      Lines[j + 1] += IntToStr(Counts[s][j]) + ",";
      if (HasCurve) Lines[j + 1] += FormatFloat("#########0.0", Curves[s][j]) + ",";
    }
    Chart.Series.push_back(std::move(Bars));
    if (!HasCurve) continue;

    ChartSeries Gaussian;
    Gaussian.Kind = ChartSeries::TKind::Line;
    Gaussian.Name = SeriesNames[s];
    Gaussian.Color = 0xFF0000;
    Gaussian.Width = 2;
    for (int32_t j = 1; j < BinCount; ++j) Gaussian.Points.emplace_back(j, Curves[s][j]);
    Chart.Series.push_back(std::move(Gaussian));
    // Each guide stands at the first bin whose lower edge lies beyond it.
    for (int32_t k = 0; k < 4; ++k) {
      ChartSeries Guide;
      Guide.Kind = ChartSeries::TKind::Line;
      Guide.Color = k < 2 ? 0xFF0000 : 255;
      Guide.Width = 1;
      for (int32_t j = 1; j < BinCount; ++j)
        if (BinEdges[j] > View.Guides[k]) {
          Guide.Points.emplace_back(j, 0.0);
          Guide.Points.emplace_back(j, GuideHeight);
          break;
        }
      Chart.Series.push_back(std::move(Guide));
    }
  }

  std::string Text;
  for (const std::string& Line : Lines) Text += Line + CRLF;
  return Text;
}

}  // namespace qv
