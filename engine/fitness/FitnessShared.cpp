#include "fitness/FitnessShared.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>

#include "Files.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "Threads.h"

namespace qv {

namespace {

constexpr auto TickInterval = std::chrono::milliseconds(25);

// One file without its memo line: loaded, compensated, compacted and classified.
bool ReadOne(const TFitnessFile& File, Progress* Gauge) {
  try {
    if (!PathExists(File.Path)) return false;
    *File.Data = TFCSData::CreateFromDataFile(File.Path, FitnessLoadOptions(Gauge), *File.Protocol);
    PostRefresh();
    if (!*File.Data || !*File.Protocol || !HasEvents(**File.Data)) return false;
    (*File.Data)->Classify(**File.Protocol);
    return true;
  } catch (const std::bad_alloc&) {
    HostMessages().Error("Not enough memory to read " + File.Path);
    return false;
  }
}

bool ReadInOrder(const std::vector<TFitnessFile>& Files, Progress* Gauge, ProgressMemo* Memo) {
  for (const TFitnessFile& File : Files) {
    if (Memo) Memo->Add(File.Caption);
    PumpMessages(Gauge);
    if (!ReadOne(File, Gauge)) return false;
  }
  return true;
}

// The gauge of one file read on a worker: it only notes how far the file's stages got, for the
// waiting thread to show.
class TFileGauge : public Progress {
 public:
  void SetMax(int64_t Max) override { FMax = Max; }
  void SetPosition(int64_t Position) override { FPosition = Position; }
  // Thousandths of the way.
  int64_t Done() const {
    const int64_t Max = FMax.load();
    return Max > 0 ? std::clamp<int64_t>(FPosition.load() * 1000 / Max, 0, 1000) : 0;
  }

 private:
  std::atomic<int64_t> FMax{0};
  std::atomic<int64_t> FPosition{0};
};

bool ReadSideBySide(const std::vector<TFitnessFile>& Files, Progress* Gauge, ProgressMemo* Memo, int32_t Threads) {
  struct TSlot {
    HostRecord Record;
    TFileGauge FileGauge;
    bool OK = false;
    std::atomic<bool> Finished{false};
  };
  const size_t N = Files.size();
  std::vector<TSlot> Slots(N);
  std::atomic<bool> Stop{false};
  const auto Task = [&](size_t i) {
    TSlot& Slot = Slots[i];
    // After a failure the sequential reading would not have opened this file.
    if (!Stop.load()) {
      HostHeldBack Held(Slot.Record);
      try {
        Slot.OK = ReadOne(Files[i], &Slot.FileGauge);
      } catch (const std::exception&) {
        Slot.OK = false;
      }
    }
    Slot.Finished.store(true, std::memory_order_release);
  };
  size_t Next = 0;
  bool Failed = false;
  const auto Begin = [&](size_t i) {
    if (Memo) Memo->Add(Files[i].Caption);
    PumpMessages(Gauge);
  };
  // What the files read so far showed, in their order, up to the first that failed.
  const auto Advance = [&] {
    while (!Failed && Next < N && Slots[Next].Finished.load(std::memory_order_acquire)) {
      Slots[Next].Record.Replay();
      if (!Slots[Next].OK) {
        Failed = true;
        Stop = true;
        return;
      }
      if (++Next < N) Begin(Next);
    }
  };
  const auto Tick = [&] {
    Advance();
    if (!Gauge) return;
    int64_t Position = 0;
    for (const TSlot& Slot : Slots) Position += Slot.Finished.load() ? 1000 : Slot.FileGauge.Done();
    Gauge->SetPosition(Position);
    Gauge->Pump();
  };
  Begin(0);
  BusyCursor Busy;
  if (Gauge) Gauge->SetMax(1000 * static_cast<int64_t>(N));
  RunTasksTicking(N, Threads, Task, Tick, TickInterval);
  Advance();
  return !Failed && Next == N;
}

}  // namespace

bool WithinFitnessCaps(const std::vector<TFitnessFile>& Files, size_t PlateFiles) {
  const auto Refuse = [](const TFitnessFile& File, const std::string& Reason) {
    HostMessages().Error(ReadRefusal("fitness data file", File.Path, Reason));
    return false;
  };
  for (const TFitnessFile& File : Files)
    if (const int32_t N = (*File.Protocol)->GenotypeCount(); N > MaxFitnessGenotypes)
      return Refuse(File, "its protocol defines " + IntToStr(N) + " genotypes; a fitness assay takes at most " +
                              IntToStr(MaxFitnessGenotypes) + ".");
  for (size_t f = 0; f < Files.size() && f < PlateFiles; ++f)
    if (const int32_t N = (*Files[f].Data)->FileCount; N > MaxFitnessPlates)
      return Refuse(Files[f], "it merges " + IntToStr(N) + " plates; a fitness assay takes at most " +
                                  IntToStr(MaxFitnessPlates) + " per file.");
  return true;
}

TDataLoadOptions FitnessLoadOptions(Progress* Gauge) {
  TDataLoadOptions Options;
  Options.Gauge = Gauge;
  Options.LoadEvents = true;
  Options.Compensate = true;
  Options.BuildShortLines = true;
  Options.DetectorsAndClassify = false;
  Options.FitCurves = false;
  Options.Mode = CompensationMode;
  return Options;
}

bool HasEvents(const TFCSData& Data) { return !Data.Events.empty() || !Data.ShortLines.empty(); }

bool ReadFitnessFiles(const std::vector<TFitnessFile>& Files, Progress* Gauge, ProgressMemo* Memo) {
  const int32_t Threads = ThreadCount();
  try {
    if (Files.size() > 1 && Threads > 1 && CompensationMode != 2)
      return ReadSideBySide(Files, Gauge, Memo, Threads);
    return ReadInOrder(Files, Gauge, Memo);
  } catch (const std::exception&) {
    return false;
  }
}

int32_t RecordCount(const TFCSData& Data) {
  return static_cast<int32_t>(Data.ShortLines.empty() ? Data.Events.size() : Data.ShortLines.size());
}

bool ApplyZOverrides(const TFitnessFileSet& FileSet, const std::array<TProtocol*, 4>& Protocols) {
  bool Changed = false;
  const auto Apply = [&](bool Flag, float Value, bool (TProtocol::*Set)(float)) {
    if (!Flag) return;
    for (TProtocol* P : Protocols) Changed = (P->*Set)(Value) || Changed;
  };
  Apply(FileSet.ReassignMaxZ, FileSet.MaxZ, &TProtocol::SetChannelsMaximumZ);
  Apply(FileSet.ReassignMinZ, FileSet.MinZ, &TProtocol::SetChannelsMinimumZ);
  Apply(FileSet.ReassignMaxZGate, FileSet.MaxZGate, &TProtocol::SetChannelsMaximumValueZScore);
  Apply(FileSet.ReassignMinZGate, FileSet.MinZGate, &TProtocol::SetChannelsMinimumValueZScore);
  return Changed;
}

bool FileSetFilesDiffer(const TFitnessFileSet& A, const TFitnessFileSet& B) {
  return A.Folder != B.Folder || A.Expected != B.Expected || A.Observed != B.Observed;
}

std::string FormatFloatDot(const std::string& Mask, Extended Value) {
  std::string S = FormatFloat(Mask, Value);
  const char Sep = DecimalSeparator();
  if (Sep != '.')
    for (char& C : S)
      if (C == Sep) C = '.';
  return S;
}

}  // namespace qv
