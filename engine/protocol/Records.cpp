#include "protocol/Records.h"

#include <cmath>
#include <limits>

#include "Errors.h"
#include "NumberFormat.h"

namespace qv {

int32_t ReadRecordVersion(TStream& Stream, int32_t Oldest, int32_t Newest, const char* Kind) {
  const int32_t v = ReadInt32(Stream);
  if (v < Oldest || v > Newest) throw EReadError("Unknown " + std::string(Kind) + " record version " + IntToStr(v));
  return v;
}

float ReadNumber(TStream& Stream) {
  float Value = ReadSingle(Stream);
  if (!std::isfinite(Value)) throw EReadError("Invalid number in protocol stream");
  return Value;
}

void SkipBytes(TStream& Stream, int64_t Count) {
  if (Count <= 0) return;
  if (!Stream.Holds(Count)) throw EReadError("Stream read error");
  Stream.Seek(Stream.Position() + Count);
}

int32_t ReadItemCount(TStream& Stream, int64_t MinBytes) {
  const int32_t N = ReadInt32(Stream);
  if (N < 0 || !Stream.Holds(static_cast<int64_t>(N) * MinBytes)) throw EReadError("Stream read error");
  return N;
}

void CheckCount(int32_t Count, int32_t Cap, const char* What, const char* Holder) {
  if (Count > Cap)
    throw ECountCap("it declares " + IntToStr(Count) + " " + What + "; " + Holder + " holds at most " + IntToStr(Cap));
}

int32_t ReadItemCount(TStream& Stream, int64_t MinBytes, int32_t Cap, const char* What) {
  const int32_t N = ReadInt32(Stream);
  CheckCount(N, Cap, What);
  if (N < 0 || !Stream.Holds(static_cast<int64_t>(N) * MinBytes)) throw EReadError("Stream read error");
  return N;
}

int32_t CheckedCount(size_t Count) {
  if (Count > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw RangeCheckError();
  return static_cast<int32_t>(Count);
}

void RequireFinite(std::initializer_list<float> Values, const char* Kind, const std::string& Name) {
  for (const float Value : Values)
    if (!std::isfinite(Value))
      throw EArithmetic(std::string(Kind) + " " + Name + " holds a value that is not a number");
}

}  // namespace qv
