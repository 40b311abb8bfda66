// The CSV export of a data set's events and the removal of one file's events.
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {

void TFCSData::ExportEventsCSV(const TProtocol& Protocol, bool IncludeFiltered, bool IncludeGatedOut,
                               std::string& Text, Progress* Gauge) const {
  if (Gauge) Gauge->Pump();
  if (Events.empty()) return;
  std::string Result;
  Events[0].CSVHeader(ChannelNames, Protocol, Result);
  // Rows run to a few hundred characters; growing the text by doubling is cheap next to them.
  Result.reserve(Events.size() * 160);
  for (size_t i = Events.size(); i-- > 0;) {
    const TFCSLine E = Events[i];
    if ((E.Filtered() && !IncludeFiltered) || (E.GatedOut() && !IncludeGatedOut)) continue;
    Result += "\r\n";
    E.CSVRow(static_cast<int32_t>(i), Protocol, Result);
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
