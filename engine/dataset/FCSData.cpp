#include "dataset/FCSData.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <mutex>
#include <new>

#include "Errors.h"
#include "fcs/FCSFile.h"
#include "Files.h"
#include "Globals.h"
#include "protocol/Protocol.h"
#include "Threads.h"

namespace qv {

namespace {

// Events built per piece of work on a thread, and at least per run of pieces faulted in together.
constexpr size_t BuildGrain = 16384;
constexpr size_t GaugeRun = 65536;
// While workers build a run, the calling thread moves the gauge and answers the window this often.
constexpr std::chrono::milliseconds TickInterval{20};

}  // namespace

std::unique_ptr<TFCSData> TFCSData::CreateMerged(const TFCSData& Source, const TCullSettings& Cull,
                                                 Progress* Gauge) {
  auto Data = std::make_unique<TFCSData>();
  Data->DataFileName = Source.DataFileName;
  if (Source.Parameters) Data->Parameters = std::make_unique<TParameterSet>(Source.Parameters.get());
  Data->SourceName = MergedName;
  Data->ValueCount = Source.ValueCount;
  Data->ChannelNames = Source.ChannelNames;
  Data->CullGate = Source.CullGate;
  Data->Events.Reset(Source.Events.GateCount(), Source.Events.ChannelCount());
  Data->ShortLines.Reset(Source.Events.ChannelCount());
  Data->Merge(Source, 0, Cull, Gauge);
  return Data;
}

bool TFCSData::MatchChannels(const TFCSFile& File, TProtocol& Protocol, Progress* Gauge) {
  const int32_t NG = Protocol.GateCount(), NC = Protocol.ChannelCount();
  ValueCount = NC + NG;
  ChannelNames.assign(static_cast<size_t>(NC), std::string());
  Events.Reset(NG, NC);
  ShortLines.Reset(NC);
  bool Result = true;
  // Every gate and channel is matched, so each keeps its own index even after a failure.
  const auto Match = [&](TParameterMatch& M) {
    PumpMessages(Gauge);
    M.ParameterIndex = File.Parameters.FindParameter(M.FCSName, M.FCSLabel, M.ExactFCSName, M.ExactFCSLabel);
    Result = Result && M.ParameterIndex >= 0;
  };
  for (int32_t g = 0; g < NG; ++g) Match(*Protocol.GetGate(g));
  for (int32_t c = 0; c < NC; ++c) {
    Match(*Protocol.GetChannel(c));
    Protocol.GetChannelName(c, ChannelNames[c]);
  }
  return Result;
}

bool TFCSData::LoadEvents(const TFCSFile& File, const TProtocol& Protocol, Progress* Gauge) {
  PumpMessages(Gauge);
  SourceName = File.FileName;
  FileNames = ExtractFileName(File.FileName) + "\r\n";
  const int32_t NG = Protocol.GateCount(), NC = Protocol.ChannelCount();
  if (Events.GateCount() != NG || Events.ChannelCount() != NC) Events.Reset(NG, NC);
  TIntArray GateIndices(NG), ChannelIndices(NC);
  for (int32_t g = 0; g < NG; ++g) GateIndices[g] = Protocol.GetGate(g)->ParameterIndex;
  for (int32_t c = 0; c < NC; ++c) ChannelIndices[c] = Protocol.GetChannel(c)->ParameterIndex;

  BusyCursor Busy;
  const int32_t Count = std::max(File.EventCount, 0);
  const float Floor = MinimumRawScore;
  bool Result = true;
  try {
    // A file whose DATA holds fewer rows than it declares cannot give every event.
    if (File.Events.size() < static_cast<size_t>(Count)) throw RangeCheckError();
    Events.clear();
    Events.ResizeForOverwrite(static_cast<size_t>(Count));
    if (Gauge && Count > 0) Gauge->SetMax(Count);
    // Every event takes the same parameters, so one outside the rows fails the first event built.
    const size_t Columns = File.Events.Columns();
    const auto Inside = [Columns](int32_t Index) { return Index >= 0 && static_cast<size_t>(Index) < Columns; };
    if (Count > 0 && !(std::all_of(GateIndices.begin(), GateIndices.end(), Inside) &&
                       std::all_of(ChannelIndices.begin(), ChannelIndices.end(), Inside)))
      throw RangeCheckError();
    // The events are independent of each other: built on several threads, a run at a time when
    // the gauge is to move. It moves from the last event down, every 100 events, as one thread
    // moves it: while workers build a run, the calling thread moves it over as many events as
    // are built and answers the window.
    const int32_t Threads = ThreadCount();
    // A run keeps every thread busy with a few pieces.
    const size_t Total = static_cast<size_t>(Count);
    const size_t Run = Gauge ? std::max(GaugeRun, 2 * BuildGrain * static_cast<size_t>(std::max(Threads, 1))) : Total;
    // The largest raw values come with the events, so compensation need not look for them.
    std::vector<float> Largest(static_cast<size_t>(NC), 0.0f);
    std::mutex LargestMutex;
    size_t Top = Total, Shown = Total;
    std::atomic<size_t> Built{0};  // events of the run built
    const auto Build = [&](size_t First, size_t Last) {
      std::vector<float> Block(static_cast<size_t>(NC));
      Events.CreateRange(File.Events.data(), Columns, First, Last, GateIndices, ChannelIndices, Floor, Block);
      Built += Last - First;
      std::lock_guard Lock(LargestMutex);
      for (size_t c = 0; c < Block.size(); ++c) Largest[c] = std::max(Largest[c], Block[c]);
    };
    const std::function<void()> Tick = [&] {
      const size_t Down = Top - Built.load();
      for (size_t r = Shown; r-- > Down;)
        if ((r + 1) % 100 == 0) Gauge->SetPosition(Count - static_cast<int32_t>(r + 1));
      Shown = std::min(Shown, Down);
      Gauge->Pump();
    };
    for (; Top > 0; Top -= std::min(Top, Run)) {
      const size_t Bottom = Top > Run ? Top - Run : 0;
      Built = 0;
      if (!Gauge) {
        Events.FaultIn(Bottom, Top, Threads);
        ParallelFor(Top - Bottom, BuildGrain, Threads,
                    [&](size_t Begin, size_t End) { Build(Bottom + Begin, Bottom + End); });
        continue;
      }
      // Faulted in a run at a time, so the gauge moves while millions of events are built.
      Events.FaultIn(Bottom, Top, Threads, &Tick, TickInterval);
      RunTasksTicking(
          (Top - Bottom + BuildGrain - 1) / BuildGrain, Threads,
          [&](size_t Piece) { Build(Bottom + Piece * BuildGrain, std::min(Top, Bottom + (Piece + 1) * BuildGrain)); },
          Tick, TickInterval);
      Tick();
    }
    Events.SetRawBound(std::move(Largest));
  } catch (const Exception&) {
    Result = false;
  }
  if (!Result) {
    // Never leave a set with events that were not built.
    Events.clear();
    FileRange();
    BuildFileIndex();
    return false;
  }
  // The file positions follow the events, so per-file counts never read a stale index. Every
  // event is of file 0: what FileRange and BuildFileIndex would find.
  if (Events.empty()) {
    FileRange();
    BuildFileIndex();
  } else {
    MinFileIndex = MaxFileIndex = 0;
    FileCount = 1;
    FirstEvent.assign(1, 0);
    LastEvent.assign(1, static_cast<int32_t>(Events.size()) - 1);
  }
  return true;
}

void TFCSData::FileRange() {
  FileCount = 0;
  MaxFileIndex = 0;
  MinFileIndex = 0;
  if (Events.empty()) return;
  int32_t Lo = std::numeric_limits<int32_t>::max(), Hi = std::numeric_limits<int32_t>::min();
  for (size_t i = 0; i < Events.size(); ++i) {
    const int32_t F = Events[i].FileIndex();
    Lo = std::min(Lo, F);
    Hi = std::max(Hi, F);
  }
  MinFileIndex = Lo;
  MaxFileIndex = Hi;
  const int64_t Span = static_cast<int64_t>(Hi) - Lo + 1;
  if (Span > std::numeric_limits<int32_t>::max()) throw ERangeError("Integer overflow");
  FileCount = static_cast<int32_t>(Span);
}

void TFCSData::BuildFileIndex() {
  FirstEvent.assign(static_cast<size_t>(std::max(FileCount, 0)), std::numeric_limits<int32_t>::max());
  LastEvent.assign(static_cast<size_t>(std::max(FileCount, 0)), -1);
  for (size_t j = 0; j < Events.size(); ++j) {
    const int64_t d = static_cast<int64_t>(Events[j].FileIndex()) - MinFileIndex;
    if (d < 0 || d >= FileCount) throw RangeCheckError();
    const int32_t Position = static_cast<int32_t>(j);
    LastEvent[d] = std::max(LastEvent[d], Position);
    FirstEvent[d] = std::min(FirstEvent[d], Position);
  }
}

void TFCSData::ExtendFileIndex(int32_t FileIndex, size_t First, size_t Last) {
  if (First == Last) return;
  if (Last > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw ERangeError("Integer overflow");
  const int32_t FirstPosition = static_cast<int32_t>(First), LastPosition = static_cast<int32_t>(Last - 1);
  if (First == 0) {
    MinFileIndex = MaxFileIndex = FileIndex;
    FileCount = 1;
    FirstEvent.assign(1, FirstPosition);
    LastEvent.assign(1, LastPosition);
    return;
  }
  const int32_t Lo = std::min(MinFileIndex, FileIndex), Hi = std::max(MaxFileIndex, FileIndex);
  const int64_t Span = static_cast<int64_t>(Hi) - Lo + 1;
  if (Span > std::numeric_limits<int32_t>::max()) throw ERangeError("Integer overflow");
  const size_t Before = static_cast<size_t>(MinFileIndex - Lo);
  FirstEvent.insert(FirstEvent.begin(), Before, std::numeric_limits<int32_t>::max());
  LastEvent.insert(LastEvent.begin(), Before, -1);
  FirstEvent.resize(static_cast<size_t>(Span), std::numeric_limits<int32_t>::max());
  LastEvent.resize(static_cast<size_t>(Span), -1);
  MinFileIndex = Lo;
  MaxFileIndex = Hi;
  FileCount = static_cast<int32_t>(Span);
  const size_t d = static_cast<size_t>(FileIndex - Lo);
  FirstEvent[d] = std::min(FirstEvent[d], FirstPosition);
  LastEvent[d] = std::max(LastEvent[d], LastPosition);
}

bool TFCSData::Merge(const TFCSData& Source, int32_t FileIndex, const TCullSettings& Cull, Progress* Gauge) {
  PumpMessages(Gauge);
  if (Source.Events.GateCount() != Events.GateCount() || Source.Events.ChannelCount() != Events.ChannelCount()) {
    std::string Name;
    Source.GetName(Name);
    HostMessages().Error("Cannot merge " + ExtractFileName(Name) +
                         ": its gates and channels differ from those of the merged files.");
    return false;
  }
  FileNames += ExtractFileName(Source.SourceName) + "\r\n";
  const int32_t NG = Events.GateCount(), NC = Events.ChannelCount();
  const int32_t Gate = Source.CullGate;
  const bool UseCull = Cull.Cull && Gate >= 0 && Gate < NG;
  // The value rows of the events taken, last first; the copies are built from them as
  // TFCSLine::CreateCopy builds one (an unfiltered source stays unfiltered).
  std::vector<const float*> Rows;
  for (size_t i = Source.Events.size(); i-- > 0;) {
    if (Source.Events.RecordOf(i).Flags & event_flags::FlagFiltered) continue;
    const float* Row = Source.Events.ValueRow(i);
    if (UseCull) {
      const Extended V = Row[Gate];
      if (!(static_cast<Extended>(Cull.Low) < V && V < static_cast<Extended>(Cull.High))) continue;
    }
    Rows.push_back(Row);
  }
  TIntArray GateIndices(static_cast<size_t>(NG)), ChannelIndices(static_cast<size_t>(NC));
  for (int32_t g = 0; g < NG; ++g) GateIndices[g] = g;
  for (int32_t c = 0; c < NC; ++c) ChannelIndices[c] = static_cast<int32_t>(Source.Events.RawOffset()) + c;
  // Positions and range are kept up to date for the new events only, unless the set's are not
  // those of its events (a set left with compact events only, or an index nobody rebuilt).
  const size_t Old = Events.size();
  const bool IndexCurrent = Old == 0 || (FileCount > 0 && FirstEvent.size() == static_cast<size_t>(FileCount) &&
                                         LastEvent.size() == static_cast<size_t>(FileCount));
  // Grows by half again each time it must grow, so merging file after file copies each event a
  // bounded number of times.
  Events.ResizeForOverwrite(Old + Rows.size());
  ParallelFor(Rows.size(), BuildGrain, ThreadCount(), [&](size_t Begin, size_t End) {
    std::vector<float> Largest(static_cast<size_t>(NC));
    Events.CreateRange(std::span<const float* const>(Rows).subspan(Begin, End - Begin), Old + Begin, GateIndices,
                       ChannelIndices, -INFINITY, FileIndex, Largest);
  });
  if (IndexCurrent && !Events.empty()) {
    ExtendFileIndex(FileIndex, Old, Events.size());
  } else {
    FileRange();
    BuildFileIndex();
  }
  PostRefresh();
  return true;
}

int32_t TFCSData::EventCount(uint8_t Kind) const {
  switch (Kind) {
    case 0: return TotalCount;
    case 1: return UnfilteredCount;
    case 2: return GatedInCount;
    default: return 0;
  }
}

void TFCSData::GetName(std::string& Name) const { Name = SourceName.empty() ? FileNames : SourceName; }

void TFCSData::BuildShortLines() {
  {
    BusyCursor Busy;
    ShortLines.Reset(Events.ChannelCount());
    ShortLines.resize(Events.size());
    for (size_t i = Events.size(); i-- > 0;) ShortLines[i].Create(Events[i]);
    // The detectors go first: their series would otherwise copy out the events about to go.
    FreeDetectors();
    Events.clear();
  }
  PostRefresh();
}

}  // namespace qv
