#pragma once
// Histogram detectors: value series binned over a fixed range, their statistics, the Gaussian
// fitted to each series, and the reports, CSV lines and charts made from them.
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Errors.h"
#include "Host.h"
#include "Statistics.h"
#include "Types.h"
#include "analysis/GaussianFit.h"
#include "analysis/SeriesValues.h"

namespace qv {

class TFCSData;
class TChannel;
class TGlobalGate;
class TChannelFilters;
class TProtocol;

// What a distribution chart shows.
struct THistogramView {
  bool Show[4] = {false, false, false, false};  // series 0..3
  float Guides[4] = {0, 0, 0, 0};               // x positions of the guide lines, detector units
  bool ShowAll = false;                         // every series, whatever Show says
};

// A fill or fit request for one detector.
struct TDetectorOptions {
  std::string SeriesName;
  int32_t Color = 0;
  const TFCSData* DataSet = nullptr;  // carried for the owner; the collectors take the events
  int32_t ChannelIndex = 0;
  int32_t FilterChannel = 0;  // carried, not read
  int32_t GateIndex = 0;
  bool IsGate = false;
  bool Compensated = false;
  bool LogValues = false;
  bool UseGivenPeak = false;
  float Mean = 0;
  float Deviation = 0;
  float ClipHigh = 0;
  float ClipLow = 0;
  bool FitMean = false;
  bool Refine = false;
};

// The request of the custom and class detectors.
struct TCustomDetectorOptions {
  int32_t PlotChannel = 0;
  int32_t FilterChannel = 0;
  float FilterMinimum = 0;  // log10 units
  float FilterMaximum = 0;
  int32_t Spare = 0;        // not read
  float OtherMaximum = 0;   // log10 units
  float Mean = 0;
  float Deviation = 0;
  float ClipHigh = 0;
  float ClipLow = 0;
  std::string SeriesName;
  int32_t SeriesColor = 0;
  int32_t ClassNumber = 0;  // a rigorous Z class
  const TFCSData* DataSet = nullptr;
  bool UseRatioFilters = false;
  bool Refine = false;
};

// Fit requests of the data set's detectors. A peak detector searches the mean only when curves
// are fitted and its channel does not force the mean; a gate detector whenever curves are fitted.
TDetectorOptions PeakFitOptions(const TChannel& Channel, int32_t ChannelIndex, bool FitCurves);
TDetectorOptions GateFitOptions(const TGlobalGate& Gate, int32_t GateIndex, bool FitCurves);

class TDetector {
 public:
  // Linear = false makes a log10 detector. The bin layout is fixed here for the detector's life.
  TDetector(int32_t AIndex, bool AFitMean, bool AIsGate, bool AIsPeak, double AMinimum, double AMaximum,
            bool Linear);
  ~TDetector();
  TDetector(const TDetector&) = delete;
  TDetector& operator=(const TDetector&) = delete;

  int32_t Index = 0;
  bool IsGate = false;
  bool IsPeak = false;
  TStringArray SeriesNames;
  TIntArray SeriesColors;
  TMomentArray Statistics;
  std::vector<TGaussianFit> Fits;
  int32_t LastFitted = -1;
  T2SglArray Curves;  // empty per series until fitted
  T2SglArray Shapes;  // unit-height Gaussian per bin
  TSglArray Chi;      // -1 until fitted
  TSglArray ChiP;
  int32_t BinCount = 0;
  double BinWidth = 0;
  double Minimum = 0;
  double Maximum = 0;
  TSglArray BinEdges;    // lower edge of every bin
  TSglArray AxisValues;  // label value of every bin: 10^centre when Log
  TSglArray BinCentres;
  T2IntArray Counts;
  int32_t SeriesCount = 0;
  bool Log = false;
  bool FitMean = false;
  // The values of each series; those gathered by the set-up of a data set are read from its
  // events when first asked for (see TSeriesValueList).
  TSeriesValueList SeriesValues;

  // Bin of a value: clamped into the range in floating point first, so an infinity lands in an
  // end bin; -1 for a NaN, which is not counted.
  int32_t BinOf(float Value) const;

  // Statistics are those of the finite values; NaNs are not binned.
  void AddSeries(const std::string& Name, TSglArray Values, int32_t Color);
  // AddSeries in two steps, so that the statistics and bins of the series of several detectors
  // can be found side by side (one detector's on one thread at a time): Summarise finds them and
  // changes nothing the detector shows; AddSummarisedSeries adds the series with them.
  struct TSeriesSummary {
    TMoment Statistics;
    TIntArray Bins;
  };
  TSeriesSummary Summarise(const TSglArray& Values);
  // Summarise of values given in pieces, for a series that is not held in one array, in the
  // walks of TMomentBuilder (each from the last value to the first). Result is what Summarise
  // gives on the array.
  class TSummaryBuilder {
   public:
    explicit TSummaryBuilder(TDetector& Detector);
    void Add(const float* Values, size_t Count);
    void EndAdd() { FMoments.EndAdd(); }
    bool NeedsSum() const { return FMoments.NeedsSum(); }
    void AddToSum(const float* Values, size_t Count);
    void StartDeviations() { FMoments.StartDeviations(); }
    bool NeedsDeviations() const { return FMoments.NeedsDeviations(); }
    void AddDeviations(const float* Values, size_t Count);
    TSeriesSummary Result() const;

   private:
    // The finite values of a piece, which the statistics take.
    const float* Finite(const float* Values, size_t Count, size_t& Kept);
    TDetector* FDetector;
    TMomentBuilder FMoments;
    TIntArray FBins;
    TSglArray FFinite;
  };
  // A series that reads column Column of Source over its selection Selection.
  void AddSourceSeries(const std::string& Name, int32_t Color, std::shared_ptr<const TEventSeriesSource> Source,
                       size_t Column, int32_t Selection, TSeriesSummary Summary);
  // A new series with the values, statistics and bin counts of series Series (a range error
  // outside the series), under another name and colour; nothing fitted. The values are shared,
  // not copied.
  void AddSeriesCopy(const std::string& Name, int32_t Color, int32_t Series);
  void Clear();

  float GetChi(int32_t I) const;   // 0 outside the series
  float GetChiP(int32_t I) const;  // 0 outside the series
  void GetFitResult(int32_t I, TGaussianFit& Fit) const;  // Fit unchanged outside the series
  std::string GetSeriesName(int32_t I) const;              // empty outside the series

  // Fits the last series, starting from the gate's settings when Options.IsGate, else from the
  // channel's last peak (or the options' peak with UseGivenPeak). The caller passes the gate or
  // channel the options' index names (null when there is none). Any failure ends the fit
  // silently, keeping what it had stored; a fit that finds no curve leaves the series
  // unfitted. Pumps once at its start.
  void FitGaussian(const TGlobalGate* Gate, const TChannel* Channel, const TDetectorOptions& Options,
                   Progress* Gauge = nullptr);
  // The same with the gate or channel the options name in Protocol.
  void FitGaussian(const TProtocol& Protocol, const TDetectorOptions& Options, Progress* Gauge = nullptr);
  // One series' fit; errors other than those the search steps absorb are thrown. A fit that
  // finds no curve (TGaussianFitter::Fitted) leaves the series unfitted: no fit record, no
  // curve, chi and P -1, and LastFitted no longer naming it; the empty record is returned.
  TGaussianFit FitGaussianToSeries(int32_t Series, const TPeakWindow& Window);

  // Report text, lines ending CR LF.
  std::string GaussianReport() const;
  // Bin edges, counts and curves; an error ends the list with the lines complete so far.
  std::vector<std::string> HistogramCSV() const;
  // Fills Chart (cleared first) and returns its CSV text, lines ending CR LF. Points are placed
  // at x = bin index; bars carry the bin labels. Bin 0 is never drawn. No series: empty chart.
  std::string DrawChart(ChartData& Chart, const THistogramView& View) const;

  // Collectors. Events is a sequence of data-set events (fields Filtered, GatedOut, GateValues,
  // LogGateValues, RawValues, LogRawValues, LogCompValues, Classes); they are read last to first.
  // An index outside an event's gates or channels throws ERangeError. Each pumps once at its start.
  template <class TEvents>
  void AddChannelSeries(const TEvents& Events, const TDetectorOptions& Options,
                        Progress* Gauge = nullptr);  // gated-in events
  template <class TEvents>
  void AddUngatedSeries(const TEvents& Events, const TDetectorOptions& Options,
                        Progress* Gauge = nullptr);  // gated-out too
  template <class TEvents>
  void AddCompSeries(const TEvents& Events, const TDetectorOptions& Options, Progress* Gauge = nullptr);
  template <class TEvents>
  void AddClassSeries(const TEvents& Events, const TCustomDetectorOptions& Options, Progress* Gauge = nullptr);
  // ChannelCount is the protocol's; Filters (may be null) are its ratio filters.
  template <class TEvents>
  void AddFilteredSeries(const TEvents& Events, int32_t ChannelCount, const TChannelFilters* Filters,
                         const TCustomDetectorOptions& Options, Progress* Gauge = nullptr);
  template <class TEvents>
  void AddFilteredSeries(const TEvents& Events, const TProtocol& Protocol, const TCustomDetectorOptions& Options,
                         Progress* Gauge = nullptr);

  // One series for each request, gathered in a single walk over the events: the same values, in
  // the same order, as one AddUngatedSeries (IncludeGatedOut) or AddChannelSeries per request,
  // at a fraction of the memory traffic. The series are added in request order.
  struct TSeriesRequest {
    TDetector* Detector = nullptr;
    TDetectorOptions Options;
  };
  template <class TEvents>
  static void AddEventSeries(const TEvents& Events, const std::vector<TSeriesRequest>& Requests,
                             bool IncludeGatedOut, Progress* Gauge = nullptr);

 private:
  void SetRange(bool ALog, double AMinimum, double AMaximum);
  // Adds the bin of every value that is not a NaN to Bins (BinOf's bins).
  void CountBins(const float* Values, size_t Count, TIntArray& Bins);
  // A new series' entries beside its values.
  void PushSeries(const std::string& Name, int32_t Color, TSeriesSummary Summary);
  // Lowest float of every bin above the first, in BinOf's bins (BinOf rises with the value),
  // found when a series is first binned.
  TSglArray BinStarts;
  template <class TEvents>
  void AddEventSeries(const TEvents& Events, const TDetectorOptions& Options, bool IncludeGatedOut,
                      Progress* Gauge);
};

namespace detail {
template <class TArray>
auto CheckedItem(const TArray& Array, int32_t I) -> decltype(Array[0]) {
  if (I < 0 || static_cast<size_t>(I) >= Array.size()) throw RangeCheckError();
  return Array[static_cast<size_t>(I)];
}
bool ChannelFiltersPass(const TChannelFilters& Filters, const TMatrix& RawValues, int32_t Channel);
bool ChannelFiltersPass(const TChannelFilters& Filters, std::span<const float> RawValues, int32_t Channel);
int32_t ProtocolChannelCount(const TProtocol& Protocol);
const TChannelFilters* ProtocolFilters(const TProtocol& Protocol);
}  // namespace detail

template <class TEvents>
void TDetector::AddEventSeries(const TEvents& Events, const std::vector<TSeriesRequest>& Requests,
                               bool IncludeGatedOut, Progress* Gauge) {
  PumpMessages(Gauge);
  std::vector<TSglArray> Values(Requests.size());
  for (auto& V : Values) V.reserve(Events.size());
  for (size_t i = Events.size(); i-- > 0;) {
    const auto& Event = Events[i];
    if (Event.Filtered || (Event.GatedOut && !IncludeGatedOut)) continue;
    for (size_t r = 0; r < Requests.size(); ++r) {
      const TDetectorOptions& Options = Requests[r].Options;
      if (Options.IsGate)
        Values[r].push_back(Options.LogValues ? detail::CheckedItem(Event.LogGateValues, Options.GateIndex)
                                              : detail::CheckedItem(Event.GateValues, Options.GateIndex));
      else
        Values[r].push_back(Options.Compensated ? detail::CheckedItem(Event.LogCompValues, Options.ChannelIndex)
                                                : detail::CheckedItem(Event.LogRawValues, Options.ChannelIndex));
    }
  }
  for (size_t r = 0; r < Requests.size(); ++r) {
    const TDetectorOptions& Options = Requests[r].Options;
    std::string Name = Options.SeriesName;
    if (!Options.IsGate) Name += Options.Compensated ? "_Comp" : "_Raw";
    Requests[r].Detector->AddSeries(Name, std::move(Values[r]), Options.Color);
  }
}

template <class TEvents>
void TDetector::AddEventSeries(const TEvents& Events, const TDetectorOptions& Options, bool IncludeGatedOut,
                               Progress* Gauge) {
  AddEventSeries(Events, {TSeriesRequest{this, Options}}, IncludeGatedOut, Gauge);
}

template <class TEvents>
void TDetector::AddChannelSeries(const TEvents& Events, const TDetectorOptions& Options, Progress* Gauge) {
  AddEventSeries(Events, Options, false, Gauge);
}

template <class TEvents>
void TDetector::AddUngatedSeries(const TEvents& Events, const TDetectorOptions& Options, Progress* Gauge) {
  AddEventSeries(Events, Options, true, Gauge);
}

template <class TEvents>
void TDetector::AddCompSeries(const TEvents& Events, const TDetectorOptions& Options, Progress* Gauge) {
  PumpMessages(Gauge);
  if (!Options.Compensated) return;
  TSglArray Values;
  Values.reserve(Events.size());
  for (size_t i = Events.size(); i-- > 0;) {
    const auto& Event = Events[i];
    if (Event.Filtered || Event.GatedOut) continue;
    Values.push_back(detail::CheckedItem(Event.LogCompValues, Options.ChannelIndex));
  }
  AddSeries(Options.SeriesName + "_Comp", std::move(Values), Options.Color);
}

template <class TEvents>
void TDetector::AddClassSeries(const TEvents& Events, const TCustomDetectorOptions& Options, Progress* Gauge) {
  PumpMessages(Gauge);
  TSglArray Values;
  for (size_t i = Events.size(); i-- > 0;) {
    const auto& Event = Events[i];
    if (Event.Filtered || Event.GatedOut || Event.Classes[2] != Options.ClassNumber) continue;
    Values.push_back(detail::CheckedItem(Event.LogCompValues, Options.PlotChannel));
  }
  AddSeries(Options.SeriesName, std::move(Values), Options.SeriesColor);
}

template <class TEvents>
void TDetector::AddFilteredSeries(const TEvents& Events, int32_t ChannelCount, const TChannelFilters* Filters,
                                  const TCustomDetectorOptions& Options, Progress* Gauge) {
  PumpMessages(Gauge);
  std::vector<int32_t> Others;
  for (int32_t c = 0; c < ChannelCount; ++c)
    if (c != Options.PlotChannel && c != Options.FilterChannel) Others.push_back(c);
  const bool UseFilters = Options.UseRatioFilters && Filters != nullptr;
  TSglArray Values;
  for (size_t i = Events.size(); i-- > 0;) {
    const auto& Event = Events[i];
    if (Event.Filtered || Event.GatedOut) continue;
    const float FilterValue = detail::CheckedItem(Event.LogCompValues, Options.FilterChannel);
    if (!(Options.FilterMinimum < FilterValue && FilterValue < Options.FilterMaximum)) continue;
    bool Taken = true;
    for (int32_t c : Others)
      if (!(detail::CheckedItem(Event.LogCompValues, c) < Options.OtherMaximum)) {
        Taken = false;
        break;
      }
    if (!Taken) continue;
    if (UseFilters && !detail::ChannelFiltersPass(*Filters, Event.RawValues, Options.PlotChannel)) continue;
    Values.push_back(detail::CheckedItem(Event.LogCompValues, Options.PlotChannel));
  }
  AddSeries(Options.SeriesName, std::move(Values), Options.SeriesColor);
}

template <class TEvents>
void TDetector::AddFilteredSeries(const TEvents& Events, const TProtocol& Protocol,
                                  const TCustomDetectorOptions& Options, Progress* Gauge) {
  AddFilteredSeries(Events, detail::ProtocolChannelCount(Protocol), detail::ProtocolFilters(Protocol), Options,
                    Gauge);
}

}  // namespace qv
