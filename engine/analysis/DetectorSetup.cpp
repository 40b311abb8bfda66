// Detector set-up of a data set (histograms, global and dynamic gating, peak fits), the fitted
// values written back into the protocol and the spare detectors.
#include "analysis/DetectorSetup.h"

#include <algorithm>
#include <cfloat>
#include <atomic>
#include <exception>
#include <set>
#include <string>

#include "Errors.h"
#include "FloatStores.h"
#include "LargeArray.h"
#include "NumberFormat.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"
#include "Threads.h"

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

void SetupSetDetectors(TFCSData& Data, TProtocol& Protocol, bool FitCurves, Progress* Gauge,
                       std::vector<TSglArray>* Spares);

// Value arrays worth keeping for reuse.
constexpr size_t SpareSize = size_t{1} << 14;

// An empty array with room for Count values: a replaced detector's when one is large enough,
// else a fresh one advised for huge pages, so a repeated set-up faults few or no pages in. The
// values are appended, so fresh pages are touched once, by the values.
TSglArray SeriesBuffer(std::vector<TSglArray>* Spares, size_t Count) {
  TSglArray Values;
  if (Spares && !Spares->empty() && Count >= SpareSize && Spares->back().capacity() >= Count) {
    Values = std::move(Spares->back());
    Spares->pop_back();
    Values.clear();
  } else {
    Values.reserve(Count);
    AdviseHugePages(Values.data(), Count * sizeof(float));
  }
  return Values;
}

// Where a series request put its series.
struct TSeriesPlace {
  TDetector* Detector = nullptr;
  int32_t Series = 0;
};

// Events per block of a walk over the events on one thread.
constexpr size_t WalkGrain = 16384;

bool DistinctDetectors(const std::vector<TDetector::TSeriesRequest>& Requests) {
  std::set<const TDetector*> Seen;
  for (const auto& R : Requests)
    if (!Seen.insert(R.Detector).second) return false;
  return true;
}

std::string SeriesNameOf(const TDetectorOptions& Options) {
  std::string Name = Options.SeriesName;
  if (!Options.IsGate) Name += Options.Compensated ? "_Comp" : "_Raw";
  return Name;
}

// Each request's series added to its detector in request order, as one AddSeries after another;
// the statistics and bins, which take the time, are found side by side first. A request that
// fails is the first to fail, the series before it added.
std::vector<TSeriesPlace> AddSeriesInOrder(const std::vector<TDetector::TSeriesRequest>& Requests,
                                           std::vector<TSglArray> Values, int32_t Threads) {
  const size_t NR = Requests.size();
  std::vector<TDetector::TSeriesSummary> Summaries(NR);
  std::vector<std::exception_ptr> Errors(NR);
  RunTasks(NR, DistinctDetectors(Requests) ? Threads : 1, [&](size_t r) {
    try {
      Summaries[r] = Requests[r].Detector->Summarise(Values[r]);
    } catch (...) {
      Errors[r] = std::current_exception();
    }
  });
  std::vector<TSeriesPlace> Places;
  for (size_t r = 0; r < NR; ++r) {
    if (Errors[r]) std::rethrow_exception(Errors[r]);
    const TDetectorOptions& Options = Requests[r].Options;
    TDetector& D = *Requests[r].Detector;
    D.AddSummarisedSeries(SeriesNameOf(Options), std::move(Values[r]), Options.Color, std::move(Summaries[r]));
    Places.push_back({&D, D.SeriesCount - 1});
  }
  return Places;
}

// A new series of Detector copied from its series Series.
struct TSeriesCopy {
  TDetector* Detector = nullptr;
  int32_t Series = 0;
  std::string Name;
  int32_t Color = 0;
};

// The copies added in order, as one AddSeriesCopy after another; the values are copied side by
// side first. A copy that fails is the first to fail, the copies before it added.
std::vector<TSeriesPlace> CopySeriesInOrder(const std::vector<TSeriesCopy>& Copies, std::vector<TSglArray>* Spares,
                                            int32_t Threads) {
  const size_t NR = Copies.size();
  std::vector<TSglArray> Values(NR);
  std::vector<std::exception_ptr> Errors(NR);
  for (size_t r = 0; r < NR; ++r) {
    const T2SglArray& Series = Copies[r].Detector->SeriesValues;
    const size_t S = static_cast<size_t>(Copies[r].Series);
    Values[r] = SeriesBuffer(Spares, S < Series.size() ? Series[S].size() : 0);
  }
  RunTasks(NR, Threads, [&](size_t r) {
    try {
      const TSglArray& Source = Copies[r].Detector->SeriesValues.at(static_cast<size_t>(Copies[r].Series));
      Values[r].assign(Source.begin(), Source.end());
    } catch (...) {
      Errors[r] = std::current_exception();
    }
  });
  std::vector<TSeriesPlace> Places;
  for (size_t r = 0; r < NR; ++r) {
    if (Errors[r]) std::rethrow_exception(Errors[r]);
    TDetector& D = *Copies[r].Detector;
    D.AddCopiedSeries(Copies[r].Name, Copies[r].Color, Copies[r].Series, std::move(Values[r]));
    Places.push_back({&D, D.SeriesCount - 1});
  }
  return Places;
}

// One series per request from one walk over the events' rows, last event first: the values
// TDetector::AddEventSeries gathers, without a handle per event. A taken event that lacks a
// value a request reads is a range error, before any series is added.
std::vector<TSeriesPlace> GatherEventSeries(const TFCSLineArray& Events,
                                            const std::vector<TDetector::TSeriesRequest>& Requests,
                                            bool IncludeGatedOut, std::vector<TSglArray>* Spares,
                                            Progress* Gauge) {
  PumpMessages(Gauge);
  using namespace event_flags;
  const size_t NR = Requests.size(), N = Events.size();
  std::vector<size_t> Offsets(NR);
  uint8_t Needed = 0;
  bool OutOfRange = false;
  for (size_t r = 0; r < NR; ++r) {
    const TDetectorOptions& O = Requests[r].Options;
    const int32_t Index = O.IsGate ? O.GateIndex : O.ChannelIndex;
    const int32_t Count = O.IsGate ? Events.GateCount() : Events.ChannelCount();
    if (Index < 0 || Index >= Count) {
      OutOfRange = true;
      continue;
    }
    size_t Block = 0;
    if (O.IsGate && O.LogValues) {
      Block = Events.LogGateOffset();
      Needed |= FlagHasLogs;
    } else if (!O.IsGate) {
      Block = O.Compensated ? Events.LogCompOffset() : Events.LogRawOffset();
      Needed |= O.Compensated ? FlagHasComp : FlagHasLogs;
    }
    Offsets[r] = Block + static_cast<size_t>(Index);
  }
  const uint8_t Skip = IncludeGatedOut ? FlagFiltered : static_cast<uint8_t>(FlagFiltered | FlagGatedOut);
  // The events taken in each block, so that every block knows where its values go: the walk
  // runs from the last event down, each block on whichever thread takes it.
  const int32_t Threads = ThreadCount();
  const size_t Blocks = (N + WalkGrain - 1) / WalkGrain;
  std::vector<size_t> BlockTaken(Blocks, 0);
  std::atomic<bool> Lacking{false};
  ParallelFor(N, WalkGrain, Threads, [&](size_t Begin, size_t End) {
    size_t Count = 0;
    bool Lacks = false;
    for (size_t i = Begin; i < End; ++i) {
      const uint8_t Flags = Events.RecordOf(i).Flags;
      if (Flags & Skip) continue;
      Lacks = Lacks || (Flags & Needed) != Needed;
      ++Count;
    }
    BlockTaken[Begin / WalkGrain] = Count;
    if (Lacks) Lacking = true;
  });
  // Taken events in block b and above: block b's values start at BlockStart[b + 1].
  std::vector<size_t> BlockStart(Blocks + 1, 0);
  for (size_t b = Blocks; b-- > 0;) BlockStart[b] = BlockStart[b + 1] + BlockTaken[b];
  const size_t Taken = BlockStart[0];
  if (Taken > 0 && (OutOfRange || Lacking)) throw RangeCheckError();

  std::vector<TSglArray> Values(NR);
  for (TSglArray& V : Values) V = SeriesBuffer(Spares, Taken);
  RunTasks(NR, Threads, [&](size_t r) { Values[r].resize(Taken); });
  ParallelFor(N, WalkGrain, Threads, [&](size_t Begin, size_t End) {
    size_t Position = BlockStart[Begin / WalkGrain + 1];
    for (size_t i = End; i-- > Begin;) {
      if (Events.RecordOf(i).Flags & Skip) continue;
      const float* Row = Events.ValueRow(i);
      for (size_t r = 0; r < NR; ++r) Values[r][Position] = Row[Offsets[r]];
      ++Position;
    }
  });
  return AddSeriesInOrder(Requests, std::move(Values), Threads);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Detectors}  // namespace

// ---------------------------------------------------------------------------------------------
// Detectors

// The set owns its detectors, so it is made and destroyed where they are complete types.
TFCSData::TFCSData() = default;

TFCSData::~TFCSData() { PostRefresh(); }

void TFCSData::SetDetectors(TProtocol& Protocol, Progress* Gauge, bool FitCurves) {
  PumpMessages(Gauge);
  BusyCursor Busy;
  RefreshOnExit Refresh;
  // The value arrays of the detectors about to be replaced carry the new series.
  struct TTaken {
    TDetector* Detector;
    size_t Series;
    TSglArray Values;
  };
  std::vector<TTaken> Taken;
  for (auto* Array : {&GateDetectors, &ChannelDetectors, &PeakDetectors})
    for (const auto& D : *Array)
      if (D)
        for (size_t s = 0; s < D->SeriesValues.size(); ++s)
          if (D->SeriesValues[s].capacity() >= SpareSize) Taken.push_back({D.get(), s, std::move(D->SeriesValues[s])});
  try {
    CreateDetectors(Protocol);
  } catch (...) {
    // A creation that failed before replacing the detectors leaves them whole; new detectors
    // hold no series.
    for (TTaken& T : Taken)
      for (auto* Array : {&GateDetectors, &ChannelDetectors, &PeakDetectors})
        for (const auto& D : *Array)
          if (D.get() == T.Detector && T.Series < D->SeriesValues.size()) D->SeriesValues[T.Series] = std::move(T.Values);
    throw;
  }
  std::sort(Taken.begin(), Taken.end(),
            [](const TTaken& A, const TTaken& B) { return A.Values.capacity() < B.Values.capacity(); });
  std::vector<TSglArray> Spares;
  for (TTaken& T : Taken) Spares.push_back(std::move(T.Values));
  Taken.clear();
  SetupSetDetectors(*this, Protocol, FitCurves, Gauge, &Spares);
  PostRefresh();
  ProtocolName = Protocol.FileName;
  TotalCount = static_cast<int32_t>(Events.size());
  UnfilteredCount = 0;
  GatedInCount = 0;
  std::atomic<int32_t> Unfiltered{0}, GatedIn{0};
  ParallelFor(Events.size(), WalkGrain, ThreadCount(), [&](size_t Begin, size_t End) {
    int32_t U = 0, G = 0;
    for (size_t i = Begin; i < End; ++i) {
      const uint8_t Flags = Events.RecordOf(i).Flags;
      U += (Flags & event_flags::FlagFiltered) ? 0 : 1;
      G += (Flags & event_flags::FlagGatedOut) ? 0 : 1;
    }
    Unfiltered += U;
    GatedIn += G;
  });
  UnfilteredCount = Unfiltered;
  GatedInCount = GatedIn;
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

namespace {

void SetupSetDetectors(TFCSData& Data, TProtocol& Protocol, bool FitCurves, Progress* Gauge,
                       std::vector<TSglArray>* Spares) {
  TEventDetectors Detectors;
  for (const auto& D : Data.GateDetectors) Detectors.Gates.push_back(D.get());
  for (const auto& D : Data.ChannelDetectors) Detectors.Channels.push_back(D.get());
  for (const auto& D : Data.PeakDetectors) Detectors.Peaks.push_back(D.get());
  TDetectorSetupOptions Options;
  Options.FitCurves = FitCurves;
  Options.DataSet = &Data;
  Options.Spares = Spares;
  SetupEventDetectors(Data.Events, Detectors, Protocol, Options, Gauge);
}

}  // namespace

void TFCSData::SetupDetectors(TProtocol& Protocol, bool FitCurves, Progress* Gauge) {
  SetupSetDetectors(*this, Protocol, FitCurves, Gauge, nullptr);
}

void SetupEventDetectors(TFCSLineArray& Events, const TEventDetectors& Detectors, TProtocol& Protocol,
                         const TDetectorSetupOptions& Options, Progress* Gauge) {
  PumpMessages(Gauge);
  const bool FitCurves = Options.FitCurves;
  std::vector<TSglArray>* const Spares = Options.Spares;
  // Events built for another protocol would be read past their values.
  if (!Events.empty() &&
      (Events.GateCount() != Protocol.GateCount() || Events.ChannelCount() != Protocol.ChannelCount()))
    throw RangeCheckError();
  const int32_t NG = std::min<int32_t>(Protocol.GateCount(), static_cast<int32_t>(Detectors.Gates.size()));
  const size_t ChannelDetectors = std::min(Detectors.Peaks.size(), Detectors.Channels.size());
  const int32_t NC = std::min<int32_t>(Protocol.ChannelCount(), static_cast<int32_t>(ChannelDetectors));
  const int32_t Threads = ThreadCount();

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
  const auto SeriesRequests = [&](int32_t Color) {
    std::vector<TDetector::TSeriesRequest> Requests;
    for (int32_t g = NG - 1; g >= 0; --g)
      Requests.push_back({Detectors.Gates[g], GateOptions(g, Color < 0 ? Protocol.GetGate(g)->Color : Color)});
    for (int32_t c = NC - 1; c >= 0; --c) {
      const int32_t C = Color < 0 ? Protocol.GetChannel(c)->Color : Color;
      Requests.push_back({Detectors.Channels[c], ChannelOptions(c, C, false)});
      Requests.push_back({Detectors.Peaks[c], ChannelOptions(c, C, true)});
    }
    return Requests;
  };
  const auto AddSeriesToAll = [&](bool IncludeGatedOut, int32_t Color) {
    return GatherEventSeries(Events, SeriesRequests(Color), IncludeGatedOut, Spares, Gauge);
  };
  // The same events as an earlier walk give the same series: they are copied from it.
  const auto CopySeriesToAll = [&](const std::vector<TSeriesPlace>& From, int32_t Color) {
    PumpMessages(Gauge);
    const std::vector<TDetector::TSeriesRequest> Requests = SeriesRequests(Color);
    std::vector<TSeriesCopy> Copies;
    for (size_t r = 0; r < Requests.size(); ++r)
      Copies.push_back({Requests[r].Detector, From[r].Series, SeriesNameOf(Requests[r].Options), Requests[r].Options.Color});
    return CopySeriesInOrder(Copies, Spares, Threads);
  };

  // All events.
  AddSeriesToAll(true, 0);

  // Global gates: bounds inclusive on the inside.
  PumpMessages(Gauge);
  {
    std::vector<int32_t> Active;
    std::vector<float> Minimum, Maximum;
    for (int32_t g = 0; g < NG; ++g) {
      const TGlobalGate& Gate = *Protocol.GetGate(g);
      if (!Gate.Active) continue;
      Active.push_back(g);
      Minimum.push_back(Gate.MinimumValue);
      Maximum.push_back(Gate.MaximumValue);
    }
    const size_t NA = Active.size();
    ParallelFor(Events.size(), WalkGrain, Threads, [&](size_t Begin, size_t End) {
      for (size_t i = Begin; i < End; ++i) {
        TFCSLine E = Events[i];
        bool Out = false;
        const float* Values = Events.ValueRow(i);
        for (size_t a = 0; a < NA && !Out; ++a) {
          const float V = Values[Active[a]];
          Out = V < Minimum[a] || V > Maximum[a];
        }
        E.SetGatedOut(Out);
      }
    });
  }

  // Gated events.
  const std::vector<TSeriesPlace> Gated = AddSeriesToAll(false, 0x808080);
  size_t NewlyGatedOut = 0;

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
      // A deviation that cannot be inverted or squared as a float scores nothing, as none does
      // (a fit that found no curve leaves no deviation).
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
        if (!E.GatedOut() && (Score < Gate.Minimum_Z || Score > Gate.Maximum_Z)) {
          E.SetGatedOut(true);
          ++NewlyGatedOut;
        }
      }
    }

  // Final series in each gate's and channel's own colour.
  const std::vector<TSeriesPlace> Final = NewlyGatedOut == 0 ? CopySeriesToAll(Gated, -1) : AddSeriesToAll(false, -1);

  // Channel peaks; a channel whose fit fails keeps what it had and the next is tried. Each fit
  // reads only its own detector and channel, so the fits run side by side (the gauge pumped
  // here, once for each).
  std::vector<TDetector*> Peaks(Detectors.Peaks.begin(), Detectors.Peaks.begin() + NC);
  const bool SeparatePeaks = std::set<TDetector*>(Peaks.begin(), Peaks.end()).size() == Peaks.size();
  for (int32_t c = NC - 1; c >= 0; --c) PumpMessages(Gauge);
  RunTasks(static_cast<size_t>(NC), SeparatePeaks ? Threads : 1, [&](size_t Task) {
    const int32_t c = NC - 1 - static_cast<int32_t>(Task);
    try {
      const TChannel& Channel = *Protocol.GetChannel(c);
      Peaks[c]->FitGaussian(nullptr, &Channel, PeakFitOptions(Channel, c, FitCurves), nullptr);
    } catch (const std::exception&) {
    }
  });

  // The compensated series of the peaks are those of the final walk (the fits change no event).
  std::vector<TSeriesCopy> PeakCopies;
  for (int32_t c = NC - 1; c >= 0; --c) {
    PumpMessages(Gauge);
    const TSeriesPlace& Peak = Final[static_cast<size_t>(NG + 2 * (NC - 1 - c) + 1)];
    TDetectorOptions Options = ChannelOptions(c, Protocol.GetChannel(c)->Color, true);
    PeakCopies.push_back({Peak.Detector, Peak.Series, Options.SeriesName + "_Comp", Options.Color});
  }
  CopySeriesInOrder(PeakCopies, Spares, Threads);
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
