#include "dataset/FCSData.h"

#include <algorithm>
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

// Events built per piece of work on a thread, and per run between two moves of the gauge.
constexpr size_t BuildGrain = 16384;
constexpr size_t GaugeRun = 65536;

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
    // the gauge is to move (from the last event down, every 100 events, as one thread moves it).
    const int32_t Threads = ThreadCount();
    Events.FaultIn(Threads);
    const size_t Total = static_cast<size_t>(Count), Run = Gauge ? GaugeRun : Total;
    // The largest raw values come with the events, so compensation need not look for them.
    std::vector<float> Largest(static_cast<size_t>(NC), 0.0f);
    std::mutex LargestMutex;
    for (size_t Top = Total; Top > 0;) {
      const size_t Bottom = Top > Run ? Top - Run : 0;
      ParallelFor(Top - Bottom, BuildGrain, Threads, [&](size_t Begin, size_t End) {
        std::vector<float> Block(static_cast<size_t>(NC));
        Events.CreateRange(File.Events.data(), Columns, Bottom + Begin, Bottom + End, GateIndices, ChannelIndices,
                           Floor, Block);
        std::lock_guard Lock(LargestMutex);
        for (size_t c = 0; c < Block.size(); ++c) Largest[c] = std::max(Largest[c], Block[c]);
      });
      if (Gauge)
        for (size_t r = Top; r-- > Bottom;)
          if ((r + 1) % 100 == 0) Gauge->SetPosition(Count - static_cast<int32_t>(r + 1));
      Top = Bottom;
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
  const int32_t Gate = Source.CullGate;
  const bool UseCull = Cull.Cull && Gate >= 0 && Gate < Source.Events.GateCount();
  const auto Taken = [&](const TFCSLine& E) {
    if (E.Filtered()) return false;
    if (!UseCull) return true;
    const Extended V = E.GateValues()[static_cast<size_t>(Gate)];
    return static_cast<Extended>(Cull.Low) < V && V < static_cast<Extended>(Cull.High);
  };
  size_t Count = 0;
  for (size_t i = 0; i < Source.Events.size(); ++i) Count += Taken(Source.Events[i]) ? 1 : 0;
  Events.reserve(Events.size() + Count);
  for (size_t i = Source.Events.size(); i-- > 0;) {
    const TFCSLine E = Source.Events[i];
    if (Taken(E)) Events.Append().CreateCopy(E, FileIndex);
  }
  FileRange();
  BuildFileIndex();
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
