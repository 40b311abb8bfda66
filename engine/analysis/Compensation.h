#pragma once
// Compensation of events: every event's compensated values, their logs and the floor of values
// too small to trust, from the protocol's static matrix or from dynamic trials per event.
#include <cstdint>

#include "Host.h"

namespace qv {

class TFCSLineArray;
class TProtocol;

struct TCompensationOptions {
  int32_t Mode = 0;          // 0 static matrix, 2 dynamic, anything else keeps the values held
  int32_t DynamicTries = 0;  // perturbed matrices tried per event in dynamic mode
  float MinimumRawScore = 0;  // raw values below it compensate to 1
  int32_t Threads = 1;        // threads for the dynamic trials; 1 is the sequential order
  bool SmallQuadrants = false;      // matrix inversion settings of the dynamic trials
  bool AlternateInversion = false;
  // Mode with the process-wide settings, read once.
  static TCompensationOptions FromSettings(int32_t Mode);
};

// Events that hold no compensated values yet are compensated with the static matrix whatever
// the mode. The gauge moves and pumps every 100 events, from the last event down.
void CompensateEvents(TFCSLineArray& Events, TProtocol& Protocol, const TCompensationOptions& Options,
                      Progress* Gauge);

}  // namespace qv
