// Detector set-up of a data set (histograms, global and dynamic gating, peak fits), the fitted
// values written back into the protocol and the spare detectors.
#include "analysis/DetectorSetup.h"

#include <algorithm>
#include <cfloat>
#include <set>

#include "Errors.h"
#include "FloatStores.h"
#include "NumberFormat.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

// One event as the detector collectors read it: plain fields over the event array's slots.
struct TEventFields {
  bool Filtered = false;
  bool GatedOut = false;
  std::span<const float> GateValues;
  std::span<const float> LogGateValues;
  std::span<const float> RawValues;
  std::span<const float> LogRawValues;
  std::span<const float> LogCompValues;
  TClassTriple Classes{0, 0, 0};
};

class TEventFieldsView {
 public:
  explicit TEventFieldsView(const TFCSLineArray& Events) : FEvents(Events) {}
  size_t size() const { return FEvents.size(); }
  TEventFields operator[](size_t I) const {
    const TFCSLine E = FEvents[I];
    return TEventFields{E.Filtered(),     E.GatedOut(),       E.GateValues(),      E.LogGateValues(),
                        E.RawValues(),    E.LogRawValues(),   E.LogCompValues(),   E.Classes()};
  }

 private:
  const TFCSLineArray& FEvents;
};

// Posts the refresh notification however the scope is left.
struct RefreshOnExit {
  ~RefreshOnExit() { PostRefresh(); }
};

// A log histogram over an empty display range would spread its bins over hundreds of decades,
// whose labels overflow; it shows the usual four decades instead.
std::unique_ptr<TDetector> NewDetector(int32_t Index, bool FitMean, bool IsGate, bool IsPeak, float Minimum,
                                       float Maximum, bool Linear) {
  if (!Linear && !(Maximum > Minimum)) {
    Minimum = 0.0f;
    Maximum = 4.0f;
  }
  return std::make_unique<TDetector>(Index, FitMean, IsGate, IsPeak, Minimum, Maximum, Linear);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Detectors

// The set owns its detectors, so it is made and destroyed where they are complete types.
TFCSData::TFCSData() = default;

TFCSData::~TFCSData() { PostRefresh(); }

void TFCSData::SetDetectors(TProtocol& Protocol, Progress* Gauge, bool FitCurves) {
  PumpMessages(Gauge);
  BusyCursor Busy;
  RefreshOnExit Refresh;
  CreateDetectors(Protocol);
  SetupDetectors(Protocol, FitCurves, Gauge);
  PostRefresh();
  ProtocolName = Protocol.FileName;
  TotalCount = static_cast<int32_t>(Events.size());
  UnfilteredCount = 0;
  GatedInCount = 0;
  for (size_t i = 0; i < Events.size(); ++i) {
    const TFCSLine E = Events[i];
    if (!E.Filtered()) ++UnfilteredCount;
    if (!E.GatedOut()) ++GatedInCount;
  }
}

void TFCSData::CreateDetectors(const TProtocol& Protocol) {
  if (Protocol.ChannelCount() > 0) {
    const TChannel& First = *Protocol.GetChannel(0);
    if (!CustomDetector)
      CustomDetector = NewDetector(0, true, false, true, First.DisplayMinimum, First.DisplayMaximum, false);
    if (!ClassDetector)
      ClassDetector = NewDetector(0, true, false, true, First.DisplayMinimum, First.DisplayMaximum, false);
  }
  const int32_t NG = Protocol.GateCount(), NC = Protocol.ChannelCount();
  GateDetectors.clear();
  ChannelDetectors.clear();
  PeakDetectors.clear();
  GateDetectorCount = 0;
  ChannelDetectorCount = 0;
  GateDetectors.resize(static_cast<size_t>(NG));
  ChannelDetectors.resize(static_cast<size_t>(NC));
  PeakDetectors.resize(static_cast<size_t>(NC));
  PostRefresh();
  for (int32_t g = NG - 1; g >= 0; --g) {
    const TGlobalGate& Gate = *Protocol.GetGate(g);
    GateDetectors[g] = NewDetector(g, true, true, false, Gate.DisplayMinimum, Gate.DisplayMaximum, !Gate.IsLogScale());
  }
  PostRefresh();
  for (int32_t c = NC - 1; c >= 0; --c) {
    const TChannel& Channel = *Protocol.GetChannel(c);
    const bool Linear = Channel.Scale == 1;
    ChannelDetectors[c] = NewDetector(c, false, false, false, Channel.DisplayMinimum, Channel.DisplayMaximum, Linear);
    PeakDetectors[c] =
        NewDetector(c, !Channel.ForceMean, false, true, Channel.DisplayMinimum, Channel.DisplayMaximum, Linear);
  }
  // The counts follow the detectors that exist, so a failed creation never leaves a count
  // that names a missing detector.
  GateDetectorCount = NG;
  ChannelDetectorCount = NC;
  PostRefresh();
}

void TFCSData::SetupDetectors(TProtocol& Protocol, bool FitCurves, Progress* Gauge) {
  TEventDetectors Detectors;
  for (const auto& D : GateDetectors) Detectors.Gates.push_back(D.get());
  for (const auto& D : ChannelDetectors) Detectors.Channels.push_back(D.get());
  for (const auto& D : PeakDetectors) Detectors.Peaks.push_back(D.get());
  TDetectorSetupOptions Options;
  Options.FitCurves = FitCurves;
  Options.DataSet = this;
  SetupEventDetectors(Events, Detectors, Protocol, Options, Gauge);
}

void SetupEventDetectors(TFCSLineArray& Events, const TEventDetectors& Detectors, TProtocol& Protocol,
                         const TDetectorSetupOptions& Options, Progress* Gauge) {
  PumpMessages(Gauge);
  const bool FitCurves = Options.FitCurves;
  // Events built for another protocol would be read past their values.
  if (!Events.empty() &&
      (Events.GateCount() != Protocol.GateCount() || Events.ChannelCount() != Protocol.ChannelCount()))
    throw RangeCheckError();
  const int32_t NG = std::min<int32_t>(Protocol.GateCount(), static_cast<int32_t>(Detectors.Gates.size()));
  const size_t ChannelDetectors = std::min(Detectors.Peaks.size(), Detectors.Channels.size());
  const int32_t NC = std::min<int32_t>(Protocol.ChannelCount(), static_cast<int32_t>(ChannelDetectors));
  const TEventFieldsView View(Events);

  const auto GateOptions = [&](int32_t g, int32_t Color) {
    const TGlobalGate& Gate = *Protocol.GetGate(g);
    TDetectorOptions O;
    O.SeriesName = Gate.Name;
    O.Color = Color;
    O.DataSet = Options.DataSet;
    O.GateIndex = g;
    O.IsGate = true;
    O.LogValues = Gate.IsLogScale();
    return O;
  };
  const auto ChannelOptions = [&](int32_t c, int32_t Color, bool Compensated) {
    TDetectorOptions O;
    Protocol.GetChannelName(c, O.SeriesName);
    O.Color = Color;
    O.DataSet = Options.DataSet;
    O.ChannelIndex = c;
    O.Compensated = Compensated;
    return O;
  };
  // One series on every gate, channel and peak detector; Color < 0 takes each one's own colour.
  const auto AddSeriesToAll = [&](bool IncludeGatedOut, int32_t Color) {
    std::vector<TDetector::TSeriesRequest> Requests;
    for (int32_t g = NG - 1; g >= 0; --g)
      Requests.push_back({Detectors.Gates[g], GateOptions(g, Color < 0 ? Protocol.GetGate(g)->Color : Color)});
    for (int32_t c = NC - 1; c >= 0; --c) {
      const int32_t C = Color < 0 ? Protocol.GetChannel(c)->Color : Color;
      Requests.push_back({Detectors.Channels[c], ChannelOptions(c, C, false)});
      Requests.push_back({Detectors.Peaks[c], ChannelOptions(c, C, true)});
    }
    TDetector::AddEventSeries(View, Requests, IncludeGatedOut, Gauge);
  };

  // All events.
  AddSeriesToAll(true, 0);

  // Global gates: bounds inclusive on the inside.
  PumpMessages(Gauge);
  for (size_t i = 0; i < Events.size(); ++i) {
    TFCSLine E = Events[i];
    bool Out = false;
    const auto Values = E.GateValues();
    for (int32_t g = 0; g < NG && !Out; ++g) {
      const TGlobalGate& Gate = *Protocol.GetGate(g);
      if (!Gate.Active) continue;
      const float V = Values[static_cast<size_t>(g)];
      Out = V < Gate.MinimumValue || V > Gate.MaximumValue;
    }
    E.SetGatedOut(Out);
  }

  // Gated events.
  AddSeriesToAll(false, 0x808080);

  // Dynamic gates, lowest ZOrder first; within a level the last gate first. Each fit uses the
  // gated series, so a gate fitted later does not see what an earlier level cut away.
  std::set<int32_t> Levels;
  for (int32_t g = 0; g < NG; ++g) Levels.insert(Protocol.GetGate(g)->ZOrder);
  for (const int32_t Level : Levels)
    for (int32_t g = NG - 1; g >= 0; --g) {
      const TGlobalGate& Gate = *Protocol.GetGate(g);
      if (Gate.ZOrder != Level || !Gate.IsDynamic) continue;
      TDetector& D = *Detectors.Gates[g];
      D.FitGaussian(&Gate, nullptr, GateFitOptions(Gate, g, FitCurves), Gauge);
      if (D.SeriesCount < 1) continue;
      const TGaussianFit& Fit = D.Fits.back();
      // A deviation that cannot be inverted or squared as a float scores nothing, as none does.
      if (!(Fit.Deviation > 0) || !fp::DeviationFits(Fit.Deviation)) continue;
      const Extended M = Fit.Mean, Dev = Fit.Deviation;
      const bool Log = Gate.IsLogScale();
      for (size_t i = 0; i < Events.size(); ++i) {
        TFCSLine E = Events[i];
        auto Z = E.GateZ();
        // Filtered events hold no logs and no Z values.
        if (Z.empty()) continue;
        const float V = Log ? E.LogGateValues()[static_cast<size_t>(g)] : E.GateValues()[static_cast<size_t>(g)];
        // A score beyond the float range lies outside every Z window: it is kept at the largest float.
        const float Score = fp::Single(std::clamp((Extended(V) - M) / Dev, Extended(-FLT_MAX), Extended(FLT_MAX)));
        Z[static_cast<size_t>(g)] = Score;
        if (!E.GatedOut() && (Score < Gate.Minimum_Z || Score > Gate.Maximum_Z)) E.SetGatedOut(true);
      }
    }

  // Final series in each gate's and channel's own colour.
  AddSeriesToAll(false, -1);

  // Channel peaks; a channel whose fit fails keeps what it had and the next is tried.
  for (int32_t c = NC - 1; c >= 0; --c) {
    try {
      const TChannel& Channel = *Protocol.GetChannel(c);
      Detectors.Peaks[c]->FitGaussian(nullptr, &Channel, PeakFitOptions(Channel, c, FitCurves), Gauge);
    } catch (const std::exception&) {
    }
  }

  for (int32_t c = NC - 1; c >= 0; --c)
    Detectors.Peaks[c]->AddCompSeries(View, ChannelOptions(c, Protocol.GetChannel(c)->Color, true), Gauge);
  PostRefresh();
}

void TFCSData::FreeDetectors() {
  for (auto* Array : {&GateDetectors, &ChannelDetectors, &PeakDetectors}) {
    while (!Array->empty()) Array->pop_back();
  }
  CustomDetector.reset();
  ClassDetector.reset();
  GateDetectorCount = 0;
  ChannelDetectorCount = 0;
}

TDetector* TFCSData::GetDetector(int32_t Index) const {
  if (Index < 0 || Index >= DetectorCount()) throw RangeCheckError();
  const auto Item = [](const std::vector<std::unique_ptr<TDetector>>& Array, int32_t I) {
    if (I < 0 || static_cast<size_t>(I) >= Array.size()) throw RangeCheckError();
    return Array[static_cast<size_t>(I)].get();
  };
  if (Index < GateDetectorCount) return Item(GateDetectors, Index);
  Index -= GateDetectorCount;
  if (Index < ChannelDetectorCount) return Item(ChannelDetectors, Index);
  return Item(PeakDetectors, Index - ChannelDetectorCount);
}

TDetector* TFCSData::GetChannelDetector(int32_t Index) const {
  return Index >= 0 && static_cast<size_t>(Index) < ChannelDetectors.size() ? ChannelDetectors[Index].get() : nullptr;
}

TDetector* TFCSData::GetPeakDetector(int32_t Index) const {
  return Index >= 0 && static_cast<size_t>(Index) < PeakDetectors.size() ? PeakDetectors[Index].get() : nullptr;
}

void TFCSData::StoreFitsInProtocol(TProtocol* Protocol) const {
  if (!Protocol) return;
  const int32_t NG = std::min<int32_t>(Protocol->GateCount(), static_cast<int32_t>(GateDetectors.size()));
  for (int32_t g = NG - 1; g >= 0; --g) {
    const TDetector* D = GateDetectors[g].get();
    if (!D || !Protocol->GetGate(g)->IsDynamic || D->LastFitted < 0) continue;
    TGaussianFit Fit;
    D->GetFitResult(D->LastFitted, Fit);
    Protocol->SetGateStatistics(g, fp::Single(Fit.Mean), fp::Single(Fit.Deviation));
  }
  const int32_t NC = std::min<int32_t>(Protocol->ChannelCount(), static_cast<int32_t>(PeakDetectors.size()));
  for (int32_t c = NC - 1; c >= 0; --c) {
    const TDetector* D = PeakDetectors[c].get();
    if (!D || D->LastFitted < 0) continue;
    TGaussianFit Fit;
    D->GetFitResult(D->LastFitted, Fit);
    const float Height = Fit.Scale > 1.0 ? fp::Single(Fit.Scale) : 10.0f;
    Protocol->GetChannel(c)->SetPeak(false, -2, fp::Single(Fit.Mean), fp::Single(Fit.Deviation), Height);
  }
}

void TFCSData::FitCustomDetector(const TProtocol& Protocol, const TCustomDetectorOptions& Options, Progress* Gauge) {
  if (!CustomDetector) return;
  const TChannel* Plot = Protocol.GetChannel(Options.PlotChannel);
  const TChannel* Filter = Protocol.GetChannel(Options.FilterChannel);
  if (!Plot || !Filter) throw RangeCheckError();
  TCustomDetectorOptions Custom = Options;
  Custom.SeriesName = Filter->ChannelName + " > " + FormatFloat("###0.0", Options.FilterMinimum);
  Custom.SeriesColor = Plot->Color;
  Custom.DataSet = this;
  CustomDetector->AddFilteredSeries(TEventFieldsView(Events), Protocol, Custom, Gauge);

  TDetectorOptions Fit;
  Fit.SeriesName = Custom.SeriesName;
  Fit.Color = Custom.SeriesColor;
  Fit.DataSet = this;
  Fit.ChannelIndex = Options.PlotChannel;
  Fit.FilterChannel = Options.FilterChannel;
  Fit.Compensated = true;
  Fit.FitMean = true;
  Fit.Refine = Options.Refine;
  // A window mean at or near 0 means "none given": the channel's own peak is the start.
  if (Options.Mean > 0.1f) {
    Fit.UseGivenPeak = true;
    Fit.Mean = Options.Mean;
    Fit.Deviation = Options.Deviation;
    Fit.ClipHigh = Options.ClipHigh;
    Fit.ClipLow = Options.ClipLow;
  }
  CustomDetector->FitGaussian(nullptr, Plot, Fit, Gauge);
}

void TFCSData::FillClassDetector(const TProtocol& Protocol, const TCustomDetectorOptions& Options, Progress* Gauge) {
  if (!ClassDetector) return;
  const TChannel* Plot = Protocol.GetChannel(Options.PlotChannel);
  if (!Plot) throw RangeCheckError();
  TCustomDetectorOptions Class = Options;
  Class.SeriesName = Plot->ChannelName + " > " + FormatFloat("###0.0", Options.FilterMinimum);
  Class.SeriesColor = Plot->Color;
  Class.DataSet = this;
  ClassDetector->AddClassSeries(TEventFieldsView(Events), Class, Gauge);
}

}  // namespace qv
