#pragma once
// The FCS parameter a gate or channel reads: the names it is matched by and the index the data
// set found for it.
#include <cstdint>
#include <string>

#include "Streams.h"

namespace qv {

struct TParameterMatch {
  std::string FCSName;   // matched against $PnS
  std::string FCSLabel;  // matched against $PnN
  bool ExactFCSName = false;
  bool ExactFCSLabel = false;
  int32_t ParameterIndex = -1;  // matched FCS parameter; set by the data set, never stored

  // In record order: label, name, exact label, exact name.
  void ReadMatch(TStream& Stream);
  void WriteMatch(TStream& Stream) const;
  // Records older than the names matched exactly.
  void SetExact() {
    ExactFCSLabel = true;
    ExactFCSName = true;
  }
};

}  // namespace qv
