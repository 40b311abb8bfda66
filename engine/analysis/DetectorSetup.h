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
};

// Not owned; one per protocol gate, and one channel and one peak detector per channel.
struct TEventDetectors {
  std::vector<TDetector*> Gates;
  std::vector<TDetector*> Channels;
  std::vector<TDetector*> Peaks;
};

// Events of another shape than the protocol's are refused (ERangeError); a channel whose peak
// fit fails keeps what it had. The series gathered from the events read their values from them
// (TEventSeriesSource) until the events change. The gauge's maximum is set to the events of
// every walk over them, and it moves and pumps after each run of a walk (on the calling thread);
// it also pumps at the start, at the global gates, and in every fit.
void SetupEventDetectors(TFCSLineArray& Events, const TEventDetectors& Detectors, TProtocol& Protocol,
                         const TDetectorSetupOptions& Options, Progress* Gauge);

}  // namespace qv
