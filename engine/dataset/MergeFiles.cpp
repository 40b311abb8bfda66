// Merging many FCS files into one set at the cost of their events: the files are read side by
// side on the worker pool, a few at a time, while the calling thread takes them in order, tells
// the user about the first that fails, moves the gauges and answers the window; each file's
// events are then built straight into the merged set, every piece of a file on its own thread.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <exception>
#include <functional>
#include <filesystem>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <mutex>
#include <new>
#include <system_error>

#include "Errors.h"
#include "Files.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "Threads.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

// Rows of a file per piece of work on its events.
constexpr size_t ChunkRows = 16384;
// The work of one round, per thread: rows whose events are built, and files read (bytes on disk,
// at least one file). A round takes some milliseconds; between rounds the gauges move and the
// window is answered. It also bounds the files held in memory at once.
constexpr size_t RoundRowsPerThread = 131072;
constexpr int64_t RoundBytesPerThread = int64_t{4} << 20;
constexpr size_t RoundFilesPerThread = 4;
// While workers read, fault in and build, the calling thread moves the gauge and answers the
// window this often: a round waits for its slowest piece, which a busy machine can delay.
constexpr std::chrono::milliseconds TickInterval{20};

// The parameter a gate or channel asks for.
struct TWanted {
  std::string Name;
  std::string Label;
  bool ExactName = false;
  bool ExactLabel = false;
};

// Which rows are merged: those not filtered and, with the cull gate on, inside its bounds.
struct TTakeRule {
  float Floor = 0;
  bool UseCull = false;
  size_t CullGate = 0;
  Extended Low = 0;
  Extended High = 0;
};

// One file on its way into the merged set.
struct TPart {
  std::string Path;
  int64_t Bytes = 0;  // on disk
  int32_t FileIndex = 0;
  // Set by the read, on a worker.
  std::unique_ptr<TFCSFile> File;  // until its events are built
  std::exception_ptr Error;
  HostRecord Shown;  // what the read showed and posted, for the calling thread
  bool Missing = false;
  bool Matched = false;
  bool ReadFailed = false;
  TIntArray GateIndices, ChannelIndices;
  size_t Rows = 0;
  // The rows merged of each piece of ChunkRows rows, last first: found once, while the file is
  // fresh in the cache.
  std::vector<std::vector<const float*>> Taken;
  // Set when the file is taken.
  std::vector<size_t> ChunkFirst;  // position in the merged set of each piece's first event
  size_t ChunksLeft = 0;
  std::atomic<size_t> RowsBuilt{0};  // built on the workers, shown by the calling thread
};

bool Taken(const float* Row, const TPart& P, const TTakeRule& Rule) {
  // As TFCSLine::Create decides Filtered, channels from the last.
  bool Filtered = true;
  for (size_t c = P.ChannelIndices.size(); c-- > 0 && Filtered;)
    Filtered = Row[static_cast<size_t>(P.ChannelIndices[c])] < Rule.Floor;
  if (Filtered) return false;
  if (!Rule.UseCull) return true;
  const Extended V = Row[static_cast<size_t>(P.GateIndices[Rule.CullGate])];
  return Rule.Low < V && V < Rule.High;
}

size_t ChunkEnd(const TPart& P, size_t Chunk) { return std::min(P.Rows, (Chunk + 1) * ChunkRows); }

// Reads the file, matches its parameters and counts the rows each piece gives. Nothing here talks
// to the user: what went wrong and what was shown is kept for the calling thread to tell in order.
void ReadPart(TPart& P, const std::vector<TWanted>& Gates, const std::vector<TWanted>& Channels,
              const TTakeRule& Rule, int32_t Threads) {
  HostHeldBack Held(P.Shown);
  try {
    P.File = std::make_unique<TFCSFile>(P.Path);
    const TFCSFile& F = *P.File;
    if (F.FileName.empty()) {
      P.Missing = true;
      return;
    }
    P.Matched = true;
    const auto Match = [&](const TWanted& W, TIntArray& Indices) {
      Indices.push_back(F.Parameters.FindParameter(W.Name, W.Label, W.ExactName, W.ExactLabel));
      P.Matched = P.Matched && Indices.back() >= 0;
    };
    for (const TWanted& W : Gates) Match(W, P.GateIndices);
    for (const TWanted& W : Channels) Match(W, P.ChannelIndices);
    if (!P.Matched) return;
    // What stops TFCSData::LoadEvents: fewer rows than declared, a parameter outside the rows.
    P.Rows = static_cast<size_t>(std::max(F.EventCount, 0));
    const size_t Columns = F.Events.Columns();
    const auto Inside = [Columns](int32_t Index) { return static_cast<size_t>(Index) < Columns; };
    if (F.Events.size() < P.Rows ||
        (P.Rows > 0 && !(std::all_of(P.GateIndices.begin(), P.GateIndices.end(), Inside) &&
                         std::all_of(P.ChannelIndices.begin(), P.ChannelIndices.end(), Inside)))) {
      P.ReadFailed = true;
      return;
    }
    P.Taken.resize((P.Rows + ChunkRows - 1) / ChunkRows);
    ParallelFor(P.Taken.size(), 1, Threads, [&](size_t Begin, size_t End) {
      for (size_t c = Begin; c < End; ++c) {
        std::vector<const float*>& Rows = P.Taken[c];
        Rows.reserve(ChunkEnd(P, c) - c * ChunkRows);
        for (size_t r = ChunkEnd(P, c); r-- > c * ChunkRows;) {
          const float* Row = F.Events.data() + r * Columns;
          if (Taken(Row, P, Rule)) Rows.push_back(Row);
        }
      }
    });
  } catch (const std::bad_alloc&) {
    P.Error = std::make_exception_ptr(
        EFCSFileError(P.Path, "not enough memory for " + IntToStr(P.File ? P.File->EventCount : 0) + " events."));
  } catch (...) {
    P.Error = std::current_exception();
  }
}

// Frees the file once its events are built (or it is not taken).
void Release(TPart& P) {
  P.File.reset();
  P.Taken = {};
}

// The events of one piece of a file, last row first, at their place in the merged set.
void BuildChunk(TFCSLineArray& Events, const TPart& P, size_t Chunk, std::span<float> Largest) {
  // Only rows that are not filtered are taken, and they stay so.
  Events.CreateRange(P.Taken[Chunk], P.ChunkFirst[Chunk], P.GateIndices, P.ChannelIndices, -INFINITY, P.FileIndex,
                     Largest);
}

// A file's events take some hundred kilobytes of the heap, freed once they are built: the
// heap keeps such blocks for the next files instead of giving them back to the system and
// faulting them in afresh for every file (large arrays never come from it: see AllocateLarge).
void KeepHeapBlocks() {
#if defined(__GLIBC__)
  static const bool Kept = [] {
    mallopt(M_MMAP_THRESHOLD, 2 << 20);
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
    return true;
  }();
  (void)Kept;
#endif
}

}  // namespace

std::unique_ptr<TFCSData> TFCSData::CreateFromFiles(const std::string& Folder, const std::vector<std::string>& Names,
                                                    TProtocol& Protocol, const TCullSettings& Cull, Progress* Gauge,
                                                    Progress* FileGauge, const bool* ContinueFlag) {
  KeepHeapBlocks();
  const size_t Count = Names.size();
  if (FileGauge) FileGauge->SetMax(static_cast<int64_t>(Count));
  const int32_t NG = Protocol.GateCount(), NC = Protocol.ChannelCount();
  std::vector<TWanted> Gates, Channels;
  const auto Wanted = [](const TParameterMatch& M) {
    return TWanted{M.FCSName, M.FCSLabel, M.ExactFCSName, M.ExactFCSLabel};
  };
  for (int32_t g = 0; g < NG; ++g) Gates.push_back(Wanted(*Protocol.GetGate(g)));
  for (int32_t c = 0; c < NC; ++c) Channels.push_back(Wanted(*Protocol.GetChannel(c)));
  const int32_t CullGate = Protocol.FirstCullGate();
  TTakeRule Rule;
  Rule.Floor = MinimumRawScore;
  Rule.UseCull = Cull.Cull && CullGate >= 0 && CullGate < NG;
  Rule.CullGate = static_cast<size_t>(std::max(CullGate, 0));
  Rule.Low = Cull.Low;
  Rule.High = Cull.High;

  const int32_t Threads = std::max(ThreadCount(), 1);
  const size_t RoundRows = RoundRowsPerThread * static_cast<size_t>(Threads);
  const int64_t RoundBytes = RoundBytesPerThread * Threads;
  // One thread reads one file ahead of none: the order of the loop that merged file by file.
  const size_t RoundFiles = Threads == 1 ? 1 : RoundFilesPerThread * static_cast<size_t>(Threads);

  // File 0 is the last name.
  std::vector<TPart> Parts(Count);
  int64_t AllBytes = 0;
  for (size_t i = 0; i < Count; ++i) {
    TPart& P = Parts[i];
    P.Path = (std::filesystem::path(Folder) / Names[Count - 1 - i]).string();
    std::error_code Error;
    const auto Size = std::filesystem::file_size(P.Path, Error);
    P.Bytes = Error ? 0 : static_cast<int64_t>(Size);
    AllBytes += P.Bytes;
    P.FileIndex = static_cast<int32_t>(i);
  }

  std::unique_ptr<TFCSData> Merged;
  size_t Total = 0, Reserved = 0;
  int64_t TakenBytes = 0;
  std::vector<float> Largest(static_cast<size_t>(NC), 0.0f);
  std::mutex LargestMutex;
  std::deque<std::pair<size_t, size_t>> Builds;  // (part, piece) waiting to be built
  size_t NextRead = 0, Stepped = 0, Faulted = 0;
  size_t Waiting = 0;  // rows of the pieces waiting
  bool Stopped = false;
  // The gauge runs over the events of the last file of the round's pieces, or over the round's
  // reads when it builds nothing (the first).
  const TPart* Showing = nullptr;
  size_t Reading = 0;
  std::atomic<size_t> Read{0};
  const std::function<void()> Tick = [&] {
    if (Gauge && Showing) {
      Gauge->SetMax(static_cast<int64_t>(std::max<size_t>(Showing->Rows, 1)));
      Gauge->SetPosition(static_cast<int64_t>(Showing->RowsBuilt.load()));
    } else if (Gauge && Reading > 0) {
      Gauge->SetMax(static_cast<int64_t>(Reading));
      Gauge->SetPosition(static_cast<int64_t>(Read.load()));
    }
    PumpMessages(Gauge);
  };

  // Checks the file, tells the user what stops it, and gives its events their places.
  const auto Take = [&](TPart& P) {
    P.Shown.Replay();
    if (P.Error) std::rethrow_exception(P.Error);
    if (P.Missing) throw EInOutError("File not found: " + P.Path);
    // The protocol's indices as matching this file left them.
    for (int32_t g = 0; g < NG; ++g) Protocol.GetGate(g)->ParameterIndex = P.GateIndices[static_cast<size_t>(g)];
    for (int32_t c = 0; c < NC; ++c) Protocol.GetChannel(c)->ParameterIndex = P.ChannelIndices[static_cast<size_t>(c)];
    if (!P.Matched)
      throw Exception(ExtractFileName(P.Path) + ": its parameters do not match the protocol's channels and gates");
    if (P.ReadFailed) {
      HostMessages().Error(ReadError);
      throw EAbort();
    }
    if (!Merged) {
      Merged = std::make_unique<TFCSData>();
      Merged->Parameters = std::make_unique<TParameterSet>(&P.File->Parameters);
      Merged->SourceName = MergedName;
      Merged->ValueCount = NC + NG;
      Merged->ChannelNames.assign(static_cast<size_t>(NC), std::string());
      for (int32_t c = 0; c < NC; ++c) Protocol.GetChannelName(c, Merged->ChannelNames[static_cast<size_t>(c)]);
      Merged->CullGate = CullGate;
      Merged->Events.Reset(NG, NC);
      Merged->ShortLines.Reset(NC);
    }
    Merged->FileNames += ExtractFileName(P.Path) + "\r\n";
    // Pieces from the last: the file's events follow one another last row first.
    const size_t First = Total;
    P.ChunkFirst.resize(P.Taken.size());
    for (size_t c = P.Taken.size(); c-- > 0;) {
      P.ChunkFirst[c] = Total;
      Total += P.Taken[c].size();
      if (!P.Taken[c].empty()) {
        Builds.emplace_back(static_cast<size_t>(P.FileIndex), c);
        Waiting += ChunkEnd(P, c) - c * ChunkRows;
        ++P.ChunksLeft;
      } else {
        P.RowsBuilt += ChunkEnd(P, c) - c * ChunkRows;
      }
    }
    Merged->ExtendFileIndex(P.FileIndex, First, Total);
    TakenBytes += P.Bytes;
    if (P.ChunksLeft == 0) Release(P);
    PostRefresh();
  };

  for (;;) {
    // This round's pieces, and the next files to read while no more than a round of pieces waits.
    std::vector<std::pair<size_t, size_t>> Building;
    size_t Rows = 0;
    while (!Builds.empty()) {
      const auto [Part, Chunk] = Builds.front();
      const size_t Piece = ChunkEnd(Parts[Part], Chunk) - Chunk * ChunkRows;
      if (!Building.empty() && Rows + Piece > RoundRows) break;
      Building.push_back(Builds.front());
      Builds.pop_front();
      Rows += Piece;
      Waiting -= Piece;
    }
    size_t ReadEnd = NextRead;
    if (!Stopped && Waiting <= RoundRows) {
      int64_t Bytes = 0;
      while (ReadEnd < Count && ReadEnd - NextRead < RoundFiles &&
             (ReadEnd == NextRead || Bytes + Parts[ReadEnd].Bytes <= RoundBytes))
        Bytes += Parts[ReadEnd++].Bytes;
    }
    const size_t Reads = ReadEnd - NextRead;
    if (Reads == 0 && Building.empty()) break;
    Showing = Building.empty() ? nullptr : &Parts[Building.back().first];
    Reading = Reads;
    Read = 0;
    // The pieces follow one another in the set: their memory is faulted in side by side first, so
    // that they do not wait on each other's pages.
    if (!Building.empty()) {
      const auto& [Part, Chunk] = Building.back();
      const size_t End = Parts[Part].ChunkFirst[Chunk] + Parts[Part].Taken[Chunk].size();
      Merged->Events.FaultIn(std::max(Faulted, Parts[Building.front().first].ChunkFirst[Building.front().second]), End,
                             Threads, &Tick, TickInterval);
      Faulted = std::max(Faulted, End);
    }
    // Reads first: they are the longer pieces of work.
    RunTasksTicking(
        Reads + Building.size(), Threads,
        [&](size_t Task) {
          if (Task < Reads) {
            ReadPart(Parts[NextRead + Task], Gates, Channels, Rule, Threads);
            ++Read;
            return;
          }
          const auto [Part, Chunk] = Building[Task - Reads];
          TPart& P = Parts[Part];
          std::vector<float> Local(static_cast<size_t>(NC));
          BuildChunk(Merged->Events, P, Chunk, Local);
          P.RowsBuilt += ChunkEnd(P, Chunk) - Chunk * ChunkRows;
          std::lock_guard Lock(LargestMutex);
          for (size_t c = 0; c < Local.size(); ++c) Largest[c] = std::max(Largest[c], Local[c]);
        },
        Tick, TickInterval);
    for (const auto& [Part, Chunk] : Building)
      if (--Parts[Part].ChunksLeft == 0) Release(Parts[Part]);
    Tick();
    for (; NextRead < ReadEnd; ++NextRead) {
      TPart& P = Parts[NextRead];
      if (!Stopped) {
        ++Stepped;
        if (FileGauge) {
          FileGauge->SetPosition(static_cast<int64_t>(Stepped));
          FileGauge->Pump();
        }
        Stopped = ContinueFlag && !*ContinueFlag;
      }
      if (Stopped)
        Release(P);
      else
        Take(P);
    }
    if (Merged && Total > Merged->Events.size()) {
      if (Total > Reserved) {
        // Room grows geometrically, and at once to what the files still to come are likely to
        // give by their sizes, so that it seldom moves.
        const double Likely = TakenBytes > 0 ? static_cast<double>(Total) * static_cast<double>(AllBytes) /
                                                   static_cast<double>(TakenBytes) * 1.0625
                                             : 0.0;
        Reserved = std::max({Total, 2 * Reserved, static_cast<size_t>(Likely)});
        Merged->Events.reserve(Reserved);
      }
      Merged->Events.ResizeForOverwrite(Total);
    }
  }
  // Once cancelled, the remaining files still step the gauge, as the loop over them did.
  for (; Stepped < Count && FileGauge; ++Stepped) {
    FileGauge->SetPosition(static_cast<int64_t>(Stepped + 1));
    FileGauge->Pump();
  }
  if (Merged && !Merged->Events.empty()) Merged->Events.SetRawBound(std::move(Largest));
  return Merged;
}

}  // namespace qv
