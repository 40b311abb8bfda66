// Detector set-up of a data set.
//
// Interim bodies: the detectors (histograms, gating, Gaussian fits) join here with the detector
// set-up code. Until then SetDetectors only counts the events, which is the part of it that the
// rest of the data set relies on.
#include "FCSData.h"
#include "Protocol.h"

namespace qv {

void TFCSData::SetDetectors(TProtocol& Protocol, Progress* Gauge, bool FitCurves) {
  (void)FitCurves;
  if (Gauge) Gauge->Pump();
  BusyCursor Busy;
  ProtocolName = Protocol.FileName;
  TotalCount = static_cast<int32_t>(Events.size());
  UnfilteredCount = 0;
  GatedInCount = 0;
  for (size_t i = 0; i < Events.size(); ++i) {
    const TFCSLine E = Events[i];
    if (!E.Filtered()) ++UnfilteredCount;
    if (!E.GatedOut()) ++GatedInCount;
  }
  PostRefresh();
}

void TFCSData::FreeDetectors() {
  GateDetectorCount = 0;
  ChannelDetectorCount = 0;
}

}  // namespace qv
