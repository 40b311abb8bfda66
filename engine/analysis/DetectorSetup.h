#pragma once
// Detector set-up on a data set's events: a series of all events, then of the gated events, on
// every gate, channel and peak detector; the global gates; the dynamic gates fitted level by
// level with their Z values; the final series; the channel peak fits and compensated series.
#include <vector>

#include "Host.h"
#include "Types.h"

namespace qv {

class TDetector;
class TFCSData;
class TFCSLineArray;
class TProtocol;

struct TDetectorSetupOptions {
  bool FitCurves = true;              // gate and peak fits search the mean
  const TFCSData* DataSet = nullptr;  // carried into the detectors' options for their owner
  // Value arrays of replaced detectors that the new series may reuse (taken from the back, the
  // largest last); null: fresh ones.
  std::vector<TSglArray>* Spares = nullptr;
};

// Not owned; one per protocol gate, and one channel and one peak detector per channel.
struct TEventDetectors {
  std::vector<TDetector*> Gates;
  std::vector<TDetector*> Channels;
  std::vector<TDetector*> Peaks;
};

// Events of another shape than the protocol's are refused (ERangeError); a channel whose peak
// fit fails keeps what it had. Pumps at its start, at the global gates, and in every collector
// and fit.
void SetupEventDetectors(TFCSLineArray& Events, const TEventDetectors& Detectors, TProtocol& Protocol,
                         const TDetectorSetupOptions& Options, Progress* Gauge);

}  // namespace qv
