// Detector set-up of a data set (histograms, global and dynamic gating, peak fits), the fitted
// values written back into the protocol and the spare detectors.
#include "analysis/DetectorSetup.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cfloat>
#include <exception>
#include <memory>
#include <set>
#include <string>

#include "Errors.h"
#include "FloatStores.h"
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

void SetupSetDetectors(TFCSData& Data, TProtocol& Protocol, bool FitCurves, Progress* Gauge);

// Events per block of a walk over the events on one thread (a whole number of selection words),
// and per run of a walk between two moves of the gauge.
constexpr size_t WalkGrain = 16384;
constexpr size_t GaugeRun = 65536;
// Events per run of the walks that find the series' statistics, where each thread takes one
// column (a run ends with every thread waiting for the others, so runs are long), and per batch
// of values a thread gathers at a time.
constexpr size_t SummaryRun = size_t{1} << 18;
constexpr size_t SummaryBatch = 4096;

// The gauge of a stage that walks over the events several times: its maximum is the events of
// every walk, and the calling thread moves it and pumps after each run of a walk.
class TWalkGauge {
 public:
  TWalkGauge(Progress* Gauge, size_t Events, int64_t Walks) : FGauge(Gauge) {
    if (FGauge) FGauge->SetMax(std::max<int64_t>(1, static_cast<int64_t>(Events) * Walks));
  }
  void Advance(size_t Events) {
    if (!FGauge) return;
    FPosition += static_cast<int64_t>(Events);
    FGauge->SetPosition(std::min(FPosition, FGauge->Max()));
    FGauge->Pump();
  }
  // Runs Body(Begin, End) over [0, Count) in pieces of Grain on up to Threads threads, a run of
  // pieces at a time, advancing the gauge after each run.
  template <class TBody>
  void Walk(size_t Count, int32_t Threads, TBody&& Body) {
    const size_t Run = FGauge ? GaugeRun : std::max<size_t>(Count, 1);
    for (size_t Bottom = 0; Bottom < Count; Bottom += Run) {
      const size_t Top = std::min(Count, Bottom + Run);
      ParallelFor(Top - Bottom, WalkGrain, Threads,
                  [&](size_t Begin, size_t End) { Body(Bottom + Begin, Bottom + End); });
      Advance(Top - Bottom);
    }
  }

 private:
  Progress* FGauge;
  int64_t FPosition = 0;
};

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

// The events Taken answers true for (from their flags), in a selection, and how many.
template <class TTaken>
TEventSelection SelectEvents(const TFCSLineArray& Events, int32_t Threads, size_t& Count, TTaken&& Taken) {
  const size_t N = Events.size();
  TEventSelection Selection(N);
  std::atomic<size_t> Total{0};
  ParallelFor(N, WalkGrain, Threads, [&](size_t Begin, size_t End) {
    size_t Local = 0;
    for (size_t Word = Begin; Word < End; Word += 64) {
      uint64_t Bits = 0;
      for (size_t i = Word; i < std::min(End, Word + 64); ++i)
        if (Taken(Events.RecordOf(i).Flags)) Bits |= uint64_t{1} << (i - Word);
      Selection.SetWord(Word / 64, Bits);
      Local += static_cast<size_t>(std::popcount(Bits));
    }
    Total += Local;
  });
  Count = Total;
  return Selection;
}

// The statistics and bin counts of every request's column over each selection (all inside the
// first), found without copying the columns out: walks over the events from the first to the
// last (each series from its last value to its first, as Summarise takes them), in runs whose
// columns the threads share out, one column to a thread, which takes its values a batch at a time.
std::vector<std::vector<TDetector::TSeriesSummary>> SummariseColumns(
    const TFCSLineArray& Events, const std::vector<TDetector*>& Detectors, const std::vector<size_t>& Offsets,
    const std::vector<const TEventSelection*>& Selections, int32_t Threads, TWalkGauge& Gauge) {
  const size_t NR = Offsets.size(), NS = Selections.size(), N = Events.size();
  std::vector<std::vector<TDetector::TSummaryBuilder>> Builders(NR);
  for (size_t r = 0; r < NR; ++r)
    for (size_t s = 0; s < NS; ++s) Builders[r].emplace_back(*Detectors[r]);
  // Each thread reads the rows of a run once for a group of columns.
  const size_t Groups = std::max<size_t>(1, std::min<size_t>(NR, static_cast<size_t>(std::max(Threads, 1))));
  enum TWalk { Values, Sum, Deviations };
  const auto WalkColumns = [&](TWalk Walk) {
    for (size_t Bottom = 0; Bottom < N; Bottom += SummaryRun) {
      const size_t Top = std::min(N, Bottom + SummaryRun);
      RunTasks(Groups, Threads, [&](size_t Group) {
        const size_t First = Group * NR / Groups, Last = (Group + 1) * NR / Groups, NG = Last - First;
        // Batch values of column First + k over selection s at (k x NS + s) x Stride: no more than
        // the run holds, so that few events in many columns cost what they hold.
        const size_t Stride = std::min(SummaryBatch, Top - Bottom);
        std::vector<float> Batch(NG * NS * Stride);
        std::vector<size_t> Taken(NS);
        for (size_t Start = Bottom; Start < Top; Start += SummaryBatch) {
          // Runs and batches start on whole words of the selections; the batch's rows stay in
          // the cache while each column is gathered in turn.
          const size_t Stop = std::min(Top, Start + SummaryBatch);
          for (size_t s = 0; s < NS; ++s)
            for (size_t k = 0; k < NG; ++k) {
              float* const Out = Batch.data() + (k * NS + s) * Stride;
              const size_t Offset = Offsets[First + k];
              size_t t = 0;
              for (size_t Word = Start / 64; Word * 64 < Stop; ++Word)
                for (uint64_t Bits = Selections[s]->Word(Word); Bits; Bits &= Bits - 1)
                  Out[t++] = Events.ValueRow(Word * 64 + static_cast<size_t>(std::countr_zero(Bits)))[Offset];
              Taken[s] = t;
            }
          for (size_t k = 0; k < NG; ++k)
            for (size_t s = 0; s < NS; ++s) {
              TDetector::TSummaryBuilder& B = Builders[First + k][s];
              const float* P = Batch.data() + (k * NS + s) * Stride;
              if (Walk == Values)
                B.Add(P, Taken[s]);
              else if (Walk == Sum && B.NeedsSum())
                B.AddToSum(P, Taken[s]);
              else if (Walk == Deviations && B.NeedsDeviations())
                B.AddDeviations(P, Taken[s]);
            }
        }
      });
      Gauge.Advance(Top - Bottom);
    }
  };
  const auto AnyBuilder = [&](auto&& Test) {
    bool Any = false;
    for (auto& Column : Builders)
      for (auto& B : Column) Any = Test(B) || Any;
    return Any;
  };
  WalkColumns(Values);
  if (AnyBuilder([](TDetector::TSummaryBuilder& B) {
        B.EndAdd();
        return B.NeedsSum();
      }))
    WalkColumns(Sum);
  if (AnyBuilder([](TDetector::TSummaryBuilder& B) {
        B.StartDeviations();
        return B.NeedsDeviations();
      }))
    WalkColumns(Deviations);
  else
    Gauge.Advance(N);
  std::vector<std::vector<TDetector::TSeriesSummary>> Summaries(NR);
  for (size_t r = 0; r < NR; ++r)
    for (size_t s = 0; s < NS; ++s) Summaries[r].push_back(Builders[r][s].Result());
  return Summaries;
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
  SetupSetDetectors(*this, Protocol, FitCurves, Gauge);
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

void SetupSetDetectors(TFCSData& Data, TProtocol& Protocol, bool FitCurves, Progress* Gauge) {
  TEventDetectors Detectors;
  for (const auto& D : Data.GateDetectors) Detectors.Gates.push_back(D.get());
  for (const auto& D : Data.ChannelDetectors) Detectors.Channels.push_back(D.get());
  for (const auto& D : Data.PeakDetectors) Detectors.Peaks.push_back(D.get());
  TDetectorSetupOptions Options;
  Options.FitCurves = FitCurves;
  Options.DataSet = &Data;
  SetupEventDetectors(Data.Events, Detectors, Protocol, Options, Gauge);
}

}  // namespace

void TFCSData::SetupDetectors(TProtocol& Protocol, bool FitCurves, Progress* Gauge) {
  SetupSetDetectors(*this, Protocol, FitCurves, Gauge);
}

void SetupEventDetectors(TFCSLineArray& Events, const TEventDetectors& Detectors, TProtocol& Protocol,
                         const TDetectorSetupOptions& Options, Progress* Gauge) {
  PumpMessages(Gauge);
  using namespace event_flags;
  const bool FitCurves = Options.FitCurves;
  // Events built for another protocol would be read past their values.
  if (!Events.empty() &&
      (Events.GateCount() != Protocol.GateCount() || Events.ChannelCount() != Protocol.ChannelCount()))
    throw RangeCheckError();
  const int32_t NG = std::min<int32_t>(Protocol.GateCount(), static_cast<int32_t>(Detectors.Gates.size()));
  const size_t ChannelDetectors = std::min(Detectors.Peaks.size(), Detectors.Channels.size());
  const int32_t NC = std::min<int32_t>(Protocol.ChannelCount(), static_cast<int32_t>(ChannelDetectors));
  const int32_t Threads = ThreadCount();
  const size_t N = Events.size();

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
  const std::vector<TDetector::TSeriesRequest> Requests = SeriesRequests(0);
  const size_t NR = Requests.size();
  std::shared_ptr<TEventSeriesSource> Source;
  // Each request's series on its detector, one request after another; answers where each went.
  const auto AddSeriesToAll = [&](const std::vector<TDetector::TSeriesRequest>& To, int32_t Selection,
                                  const std::vector<std::vector<TDetector::TSeriesSummary>>& Summaries, size_t Which) {
    std::vector<int32_t> Places;
    for (size_t r = 0; r < NR; ++r) {
      TDetector& D = *To[r].Detector;
      D.AddSourceSeries(SeriesNameOf(To[r].Options), To[r].Options.Color, Source, r, Selection, Summaries[r][Which]);
      Places.push_back(D.SeriesCount - 1);
    }
    return Places;
  };
  std::vector<TDetector*> RequestDetectors;
  for (const auto& R : Requests) RequestDetectors.push_back(R.Detector);
  // A detector that takes several series takes them in request order, on one thread.
  const int32_t SummaryThreads = DistinctDetectors(Requests) ? Threads : 1;

  // The value each request reads of an event: its column in the event rows, and what the event
  // must hold for it.
  std::vector<size_t> Offsets(NR, 0);
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

  // Gates and dynamic gates each walk the events once, the series twice per selection.
  bool AnyDynamic = false;
  int64_t DynamicGates = 0;
  for (int32_t g = 0; g < NG; ++g)
    if (Protocol.GetGate(g)->IsDynamic) {
      AnyDynamic = true;
      ++DynamicGates;
    }
  TWalkGauge Walks(Gauge, N, 3 + (AnyDynamic ? DynamicGates + 2 : 0));

  // All events: every unfiltered one. An event of the series that lacks a value a request reads
  // is a range error, before anything changes.
  size_t AllCount = 0;
  TEventSelection All = SelectEvents(Events, Threads, AllCount, [](uint8_t Flags) { return !(Flags & FlagFiltered); });
  if (AllCount > 0) {
    if (OutOfRange) throw RangeCheckError();
    std::atomic<bool> Lacking{false};
    ParallelFor(N, WalkGrain, Threads, [&](size_t Begin, size_t End) {
      bool Lacks = false;
      for (size_t i = Begin; i < End; ++i) {
        const uint8_t Flags = Events.RecordOf(i).Flags;
        Lacks = Lacks || (!(Flags & FlagFiltered) && (Flags & Needed) != Needed);
      }
      if (Lacks) Lacking = true;
    });
    if (Lacking) throw RangeCheckError();
  }
  Walks.Advance(0);
  // The series read their values from the events (see TEventSeriesSource).
  Source = std::make_shared<TEventSeriesSource>(Events, Offsets);
  const int32_t AllSelection = Source->AddSelection(std::move(All), AllCount);

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
    Walks.Walk(N, Threads, [&](size_t Begin, size_t End) {
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
  const auto InSeries = [](uint8_t Flags) { return !(Flags & (FlagFiltered | FlagGatedOut)); };
  size_t GatedCount = 0;
  TEventSelection Gated = SelectEvents(Events, Threads, GatedCount, InSeries);
  const int32_t GatedSelection = Source->AddSelection(std::move(Gated), GatedCount);
  Walks.Advance(0);

  // The series of all events and of the gated ones, in request order each; the statistics and
  // bins are found side by side first.
  std::vector<int32_t> GatedPlaces;
  {
    PumpMessages(Gauge);
    const auto Summaries =
        SummariseColumns(Events, RequestDetectors, Offsets,
                         {&Source->Selection(AllSelection), &Source->Selection(GatedSelection)}, SummaryThreads, Walks);
    AddSeriesToAll(Requests, AllSelection, Summaries, 0);
    GatedPlaces = AddSeriesToAll(SeriesRequests(0x808080), GatedSelection, Summaries, 1);
  }
  std::atomic<size_t> NewlyGatedOut{0};

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
      const TGaussianFit Fit = D.SeriesCount < 1 ? TGaussianFit{} : D.Fits.back();
      // A deviation that cannot be inverted or squared as a float scores nothing, as none does
      // (a fit that found no curve leaves no deviation).
      if (D.SeriesCount < 1 || !(Fit.Deviation > 0) || !fp::DeviationFits(Fit.Deviation)) {
        Walks.Advance(N);
        continue;
      }
      const Extended M = Fit.Mean, Dev = Fit.Deviation;
      const bool Log = Gate.IsLogScale();
      Events.PrepareGateZ();
      Walks.Walk(N, Threads, [&](size_t Begin, size_t End) {
        size_t Newly = 0;
        for (size_t i = Begin; i < End; ++i) {
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
            ++Newly;
          }
        }
        NewlyGatedOut += Newly;
      });
    }

  // Final series in each gate's and channel's own colour: the gated ones again when no dynamic
  // gate cut any event away.
  PumpMessages(Gauge);
  const std::vector<TDetector::TSeriesRequest> FinalRequests = SeriesRequests(-1);
  std::vector<int32_t> FinalPlaces;
  if (NewlyGatedOut == 0) {
    for (size_t r = 0; r < NR; ++r) {
      TDetector& D = *FinalRequests[r].Detector;
      D.AddSeriesCopy(SeriesNameOf(FinalRequests[r].Options), FinalRequests[r].Options.Color, GatedPlaces[r]);
      FinalPlaces.push_back(D.SeriesCount - 1);
    }
    if (AnyDynamic) Walks.Advance(2 * N);
  } else {
    size_t FinalCount = 0;
    TEventSelection Final = SelectEvents(Events, Threads, FinalCount, InSeries);
    const int32_t FinalSelection = Source->AddSelection(std::move(Final), FinalCount);
    Walks.Advance(0);
    const auto Summaries = SummariseColumns(Events, RequestDetectors, Offsets, {&Source->Selection(FinalSelection)},
                                            SummaryThreads, Walks);
    FinalPlaces = AddSeriesToAll(FinalRequests, FinalSelection, Summaries, 0);
  }

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
  for (int32_t c = NC - 1; c >= 0; --c) {
    PumpMessages(Gauge);
    const size_t r = static_cast<size_t>(NG + 2 * (NC - 1 - c) + 1);
    TDetectorOptions O = ChannelOptions(c, Protocol.GetChannel(c)->Color, true);
    TDetector& Peak = *Requests[r].Detector;
    Peak.AddSeriesCopy(O.SeriesName + "_Comp", O.Color, FinalPlaces[r]);
  }
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
