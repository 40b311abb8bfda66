#pragma once
// What CreateFromDataFile does after reading an own data file.
#include <cstdint>

#include "Host.h"

namespace qv {

struct TDataLoadOptions {
  Progress* Gauge = nullptr;  // null: no gauge, no pumping
  bool LoadEvents = true;
  bool Compensate = true;
  bool DetectorsAndClassify = true;
  bool FitCurves = true;
  bool BuildShortLines = false;
  int32_t Mode = 0;  // compensation mode: 0 static, 1 keep, 2 dynamic
};

}  // namespace qv
