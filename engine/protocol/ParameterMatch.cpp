#include "protocol/ParameterMatch.h"

namespace qv {

void TParameterMatch::ReadMatch(TStream& Stream) {
  FCSLabel = ReadStreamString(Stream);
  FCSName = ReadStreamString(Stream);
  ExactFCSLabel = ReadBool(Stream);
  ExactFCSName = ReadBool(Stream);
}

void TParameterMatch::WriteMatch(TStream& Stream) const {
  WriteStreamString(FCSLabel, Stream);
  WriteStreamString(FCSName, Stream);
  WriteBool(Stream, ExactFCSLabel);
  WriteBool(Stream, ExactFCSName);
}

}  // namespace qv
