// The CSV export of a data set's events and the removal of one file's events.
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>

#include "dataset/FCSData.h"
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

}  // namespace

void TFCSData::ExportEventsCSV(const TProtocol& Protocol, bool IncludeFiltered, bool IncludeGatedOut,
                               std::string& Text, Progress* Gauge) const {
  if (Gauge) Gauge->Pump();
  if (Events.empty()) return;
  std::string Result;
  Events[0].CSVHeader(ChannelNames, Protocol, Result);
  bool Reserved = false;
  for (size_t i = Events.size(); i-- > 0;) {
    const TFCSLine E = Events[i];
    if ((E.Filtered() && !IncludeFiltered) || (E.GatedOut() && !IncludeGatedOut)) continue;
    const size_t Before = Result.size();
    Result += "\r\n";
    E.CSVRow(static_cast<int32_t>(i), Protocol, Result);
    if (!Reserved) {
      // Twice the first row per event; room reserved and never written costs no memory.
      ReserveLarge(Result, 2 * (Result.size() - Before) * (i + 1));
      Reserved = true;
    }
  }
  Text = std::move(Result);
}

int32_t TFCSData::DeleteFileEvents(int32_t FileIndex) {
  if (CompactOnly()) {
    HostMessages().Error("The events of a file cannot be deleted from a data set that holds only compact events.");
    return 0;
  }
  const size_t Removed = Events.RemoveIf([FileIndex](const TFCSLine& E) { return E.FileIndex() == FileIndex; });
  TotalCount = static_cast<int32_t>(Events.size());
  UnfilteredCount = 0;
  GatedInCount = 0;
  for (size_t i = 0; i < Events.size(); ++i) {
    const TFCSLine E = Events[i];
    UnfilteredCount += E.Filtered() ? 0 : 1;
    GatedInCount += E.GatedOut() ? 0 : 1;
  }
  FileRange();
  BuildFileIndex();
  return static_cast<int32_t>(Removed);
}

}  // namespace qv
