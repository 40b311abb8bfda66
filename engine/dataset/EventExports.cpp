// The CSV export of a data set's events and the removal of one file's events.
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "dataset/FCSData.h"
#include "Errors.h"
#include "Files.h"
#include "dataset/DataLoadOptions.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

// Reserves room for about Bytes more and lets the kernel back it with huge pages: an export of
// a million events writes a few hundred megabytes, and faulting them in page by page costs more
// than formatting them.
void ReserveLarge(std::string& Text, size_t Bytes) {
  Text.reserve(Text.size() + Bytes);
  constexpr uintptr_t Huge = uintptr_t{2} << 20;
  const uintptr_t Begin = (reinterpret_cast<uintptr_t>(Text.data()) + Huge - 1) & ~(Huge - 1);
  const uintptr_t End = (reinterpret_cast<uintptr_t>(Text.data()) + Text.capacity()) & ~(Huge - 1);
  if (End > Begin) madvise(reinterpret_cast<void*>(Begin), End - Begin, MADV_HUGEPAGE);  // advice only
}

bool Exported(const TFCSLine& E, bool IncludeFiltered, bool IncludeGatedOut) {
  return !(E.Filtered() && !IncludeFiltered) && !(E.GatedOut() && !IncludeGatedOut);
}

// The CSV text of the events appended to Out: the header, then each exported row after CR LF.
// After each row HandOver gets the row's bytes and the events left with it.
template <class THandOver>
void WriteEventsCSV(const TFCSData& Data, const TProtocol& Protocol, bool IncludeFiltered, bool IncludeGatedOut,
                    std::string& Out, THandOver&& HandOver, Progress* Gauge) {
  const TFCSLineArray& Events = Data.Events;
  PumpMessages(Gauge);
  if (Events.empty()) return;
  if (Gauge) Gauge->SetMax(static_cast<int64_t>(Events.size()));
  Events[0].CSVHeader(Data.ChannelNames, Protocol, Out);
  for (size_t i = Events.size(); i-- > 0;) {
    // Millions of rows take seconds: the window is answered between blocks of them.
    if (Gauge && i % 1024 == 0) {
      Gauge->SetPosition(static_cast<int64_t>(Events.size() - i));
      Gauge->Pump();
    }
    const TFCSLine E = Events[i];
    if (!Exported(E, IncludeFiltered, IncludeGatedOut)) continue;
    const size_t Before = Out.size();
    Out += "\r\n";
    E.CSVRow(static_cast<int32_t>(i), Protocol, Out);
    HandOver(Out.size() - Before, i + 1);
  }
}

}  // namespace

int64_t TFCSData::ExportedEventCount(bool IncludeFiltered, bool IncludeGatedOut, Progress* Gauge) const {
  int64_t Count = 0;
  for (size_t i = 0; i < Events.size(); ++i) {
    if (Gauge && i % 65536 == 0) Gauge->Pump();
    Count += Exported(Events[i], IncludeFiltered, IncludeGatedOut) ? 1 : 0;
  }
  return Count;
}

void TFCSData::ExportEventsCSV(const TProtocol& Protocol, bool IncludeFiltered, bool IncludeGatedOut,
                               std::string& Text, Progress* Gauge) const {
  std::string Result;
  bool Reserved = false;
  WriteEventsCSV(*this, Protocol, IncludeFiltered, IncludeGatedOut, Result, [&](size_t RowBytes, size_t RowsLeft) {
    if (Reserved) return;
    // Twice the first row per event; room reserved and never written costs no memory.
    ReserveLarge(Result, 2 * RowBytes * RowsLeft);
    Reserved = true;
  }, Gauge);
  if (!Events.empty()) Text = std::move(Result);
}

void TFCSData::ExportEventsCSV(const TProtocol& Protocol, bool IncludeFiltered, bool IncludeGatedOut,
                               const std::function<void(std::string_view Block)>& Write, Progress* Gauge) const {
  constexpr size_t BlockBytes = size_t{1} << 20;
  std::string Block;
  Block.reserve(BlockBytes + 4096);
  WriteEventsCSV(*this, Protocol, IncludeFiltered, IncludeGatedOut, Block, [&](size_t, size_t) {
    if (Block.size() < BlockBytes) return;
    Write(Block);
    Block.clear();
  }, Gauge);
  if (!Block.empty()) Write(Block);
}

namespace {

// The three event counts and the file positions after events came or went.
void Recount(TFCSData& Data) {
  Data.TotalCount = static_cast<int32_t>(Data.Events.size());
  Data.UnfilteredCount = 0;
  Data.GatedInCount = 0;
  for (size_t i = 0; i < Data.Events.size(); ++i) {
    const TFCSLine E = Data.Events[i];
    Data.UnfilteredCount += E.Filtered() ? 0 : 1;
    Data.GatedInCount += E.GatedOut() ? 0 : 1;
  }
  Data.FileRange();
  Data.BuildFileIndex();
}

}  // namespace

int32_t TFCSData::DeleteFileEvents(int32_t FileIndex) {
  if (CompactOnly()) {
    HostMessages().Error("The events of a file cannot be deleted from a data set that holds only compact events.");
    return 0;
  }
  const size_t Removed = Events.RemoveIf([FileIndex](const TFCSLine& E) { return E.FileIndex() == FileIndex; });
  Recount(*this);
  return static_cast<int32_t>(Removed);
}

bool TFCSData::AppendEvents(const TFCSData& Other) {
  if (CompactOnly()) {
    HostMessages().Error("Events cannot be appended to a data set that holds only compact events.");
    return false;
  }
  if (Other.Events.empty()) return false;
  if (Other.Events.GateCount() != Events.GateCount() || Other.Events.ChannelCount() != Events.ChannelCount()) {
    std::string Name;
    Other.GetName(Name);
    HostMessages().Error("Cannot append " + ExtractFileName(Name) +
                         ": its gates and channels differ from those of the data set.");
    return false;
  }
  const size_t Own = Events.size(), Count = Other.Events.size();
  // From the events themselves, so a range the other set did not refresh cannot mislead.
  int32_t OtherMin = std::numeric_limits<int32_t>::max(), OtherMax = std::numeric_limits<int32_t>::min();
  for (size_t j = 0; j < Count; ++j) {
    OtherMin = std::min(OtherMin, Other.Events[j].FileIndex());
    OtherMax = std::max(OtherMax, Other.Events[j].FileIndex());
  }
  const int64_t Shift = static_cast<int64_t>(MaxFileIndex) + 1 - OtherMin;
  if (OtherMax + Shift > std::numeric_limits<int32_t>::max()) throw ERangeError("Integer overflow");
  Events.resize(Own + Count);
  for (size_t j = Count; j-- > 0;) {
    const TFCSLine Source = Other.Events[j];
    Events[Own + j].CreateCopy(Source, static_cast<int32_t>(Source.FileIndex() + Shift));
  }
  FileNames += Other.FileNames;
  Recount(*this);
  PostRefresh();
  return true;
}

bool TFCSData::AppendDataFile(const std::string& FileName) {
  TDataLoadOptions Options;
  Options.Compensate = false;
  Options.DetectorsAndClassify = false;
  Options.FitCurves = false;
  Options.BuildShortLines = false;
  Options.Mode = 0;
  // The file's own protocol is read only to get at its events; it is discarded.
  std::unique_ptr<TProtocol> Discarded;
  struct RefreshOnExit {
    ~RefreshOnExit() { PostRefresh(); }
  } Refresh;
  const std::unique_ptr<TFCSData> Loaded = CreateFromDataFile(FileName, Options, Discarded);
  return AppendEvents(*Loaded);
}

}  // namespace qv
