// Class counts of a data set, per file, and their bootstrap replicates.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "ClassPatterns.h"
#include "Errors.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"
#include "Random.h"
#include "TextUtils.h"

namespace qv {

namespace {

constexpr const char* CountError = "Error generating Class Counts";

[[noreturn]] __attribute__((noinline)) void ClassOutOfRange() { throw RangeCheckError(); }

// Inline with the error out of line: replicates tally a million draws each.
inline void Tally(TIntArray& Counts, int32_t Class) {
  if (Class < 0 || Class >= static_cast<int32_t>(Counts.size())) ClassOutOfRange();
  ++Counts[Class];
}

// The class of counting record K: compact events when the set holds them.
int32_t RecordClass(const TFCSData& Data, int64_t K, int32_t Column) {
  const size_t k = static_cast<size_t>(K), c = static_cast<size_t>(Column);
  return Data.ShortLines.empty() ? Data.Events[k].Classes()[c] : Data.ShortLines[k].Classes()[c];
}

// One class column of every counting record, so that a replicate's random draws read a small
// contiguous array instead of the event records: one byte per record when every class fits in
// one (a million records then stay in the cache), two otherwise. The arrays are kept per thread
// from one replicate to the next, so that their pages are faulted in once, not per replicate.
struct TClassColumn {
  std::vector<uint8_t>& Bytes;
  std::vector<int16_t>& Words;
  bool Small = true;
  size_t size() const { return Small ? Bytes.size() : Words.size(); }
};

TClassColumn ClassColumn(const TFCSData& Data, int32_t Column) {
  thread_local std::vector<uint8_t> Bytes;
  thread_local std::vector<int16_t> Words;
  const size_t c = static_cast<size_t>(Column);
  const bool Short = !Data.ShortLines.empty();
  const size_t Count = Short ? Data.ShortLines.size() : Data.Events.size();
  auto ClassOf = [&](size_t k) { return Short ? Data.ShortLines[k].Classes()[c] : Data.Events[k].Classes()[c]; };
  TClassColumn Classes{Bytes, Words};
  Bytes.resize(Count);
  Words.clear();
  for (size_t k = 0; k < Count; ++k) {
    const int16_t Class = ClassOf(k);
    Classes.Small = Classes.Small && Class >= 0 && Class <= 255;
    Bytes[k] = static_cast<uint8_t>(Class);
  }
  if (!Classes.Small) {
    Words.resize(Count);
    for (size_t k = 0; k < Count; ++k) Words[k] = ClassOf(k);
  }
  return Classes;
}

// Tallies Draws classes of Classes picked by Pick(), in the order of the draws.
template <class Picker>
void TallyDraws(const TClassColumn& Classes, int32_t Draws, TIntArray& Counts, Picker&& Pick) {
  if (Classes.Small) {
    const uint8_t* Column = Classes.Bytes.data();
    for (int32_t i = 0; i < Draws; ++i) Tally(Counts, Column[Pick()]);
  } else {
    const int16_t* Column = Classes.Words.data();
    for (int32_t i = 0; i < Draws; ++i) Tally(Counts, Column[Pick()]);
  }
}

}  // namespace

int32_t TFCSData::ClassCount(const TProtocol& Protocol) {
  const int32_t Patterns =
      static_cast<int32_t>(SplitLines(YNPatternList(Protocol.ChannelCount(), Protocol.ScoreSingles ? 0 : 1)).size());
  // A protocol with more genotypes than patterns still counts every genotype's class.
  return std::max(Patterns, Protocol.GenotypeCount() + 1);
}

void TFCSData::CountClasses(int32_t NClasses, int32_t Column, TIntArray& Counts, Progress* Gauge) const {
  PumpMessages(Gauge);
  CheckClassColumn(Column);
  Counts.assign(static_cast<size_t>(std::max(NClasses, 0)), 0);
  const int64_t M = ShortLines.empty() ? static_cast<int64_t>(Events.size()) : static_cast<int64_t>(ShortLines.size());
  for (int64_t k = M - 1; k >= 0; --k) Tally(Counts, RecordClass(*this, k, Column));
}

void TFCSData::CountClassesOfFile(int32_t NClasses, int32_t Column, TIntArray& Counts, int32_t FileIndex,
                                  Progress* Gauge) const {
  PumpMessages(Gauge);
  CheckClassColumn(Column);
  Counts.assign(static_cast<size_t>(std::max(NClasses, 0)), 0);
  const int64_t d = static_cast<int64_t>(FileIndex) - MinFileIndex;
  if (d < 0 || d >= static_cast<int64_t>(LastEvent.size())) throw RangeCheckError();
  if (LastEvent[d] < 0) return;
  for (int32_t k = FirstEvent[d]; k <= LastEvent[d]; ++k) Tally(Counts, RecordClass(*this, k, Column));
}

void TFCSData::SumClassCounts(int32_t NClasses, int32_t Column, T2IntArray& Table, Progress* Gauge) const {
  PumpMessages(Gauge);
  CheckClassColumn(Column);
  Table.assign(static_cast<size_t>(std::max(FileCount, 0)), TIntArray(static_cast<size_t>(std::max(NClasses, 0)), 0));
  for (size_t k = 0; k < Events.size(); ++k) {
    const TFCSLine E = Events[k];
    const int64_t d = static_cast<int64_t>(E.FileIndex()) - MinFileIndex;
    if (d < 0 || d >= static_cast<int64_t>(Table.size())) throw RangeCheckError();
    Tally(Table[d], E.Classes()[static_cast<size_t>(Column)]);
  }
}

void TFCSData::Resample(int32_t NClasses, int32_t Column, TIntArray& Counts, Progress* Gauge) const {
  PumpMessages(Gauge);
  CheckClassColumn(Column);
  Counts.assign(static_cast<size_t>(std::max(NClasses, 0)), 0);
  const TClassColumn Classes = ClassColumn(*this, Column);
  const int32_t M = static_cast<int32_t>(Classes.size());
  TRandomIntDraws Draw(M);
  TallyDraws(Classes, M, Counts, [&Draw] { return static_cast<size_t>(Draw()); });
}

void TFCSData::ResampleFile(int32_t NClasses, int32_t Column, TIntArray& Counts, int32_t FileIndex,
                            Progress* Gauge) const {
  PumpMessages(Gauge);
  CheckClassColumn(Column);
  const int64_t d = static_cast<int64_t>(FileIndex) - MinFileIndex;
  if (d < 0 || d >= static_cast<int64_t>(LastEvent.size())) throw RangeCheckError();
  Counts.assign(static_cast<size_t>(std::max(NClasses, 0)), 0);
  // A file without events has no counts: zeros, never what the previous replicate left.
  if (LastEvent[d] < 0) return;
  const int32_t First = FirstEvent[d];
  const int32_t Span = LastEvent[d] - First;
  const TClassColumn Classes = ClassColumn(*this, Column);
  const int32_t M = static_cast<int32_t>(Classes.size());
  TRandomIntDraws Draw(Span + 1);
  TallyDraws(Classes, M, Counts, [&Draw, First] { return static_cast<size_t>(First + Draw()); });
}

void TFCSData::ClassCounts(const TProtocol& Protocol, int32_t Column, bool AResample, TIntArray& Counts,
                           Progress* Gauge) {
  const int32_t N = ClassCount(Protocol);
  if (AResample)
    Resample(N, Column, Counts, Gauge);
  else
    CountClasses(N, Column, Counts, Gauge);
}

void TFCSData::BootstrapClassCounts(const TProtocol& Protocol, int32_t Column, bool AResample, int32_t FileIndex,
                                    TIntArray& Counts, Progress* Gauge) {
  try {
    const int32_t N = ClassCount(Protocol);
    if (AResample)
      ResampleFile(N, Column, Counts, FileIndex, Gauge);
    else
      CountClassesOfFile(N, Column, Counts, FileIndex, Gauge);
  } catch (const std::exception&) {
    HostMessages().Error(CountError);
  }
}

void TFCSData::ClassCountsByFile(const TProtocol& Protocol, int32_t Column, T2IntArray& Table, Progress* Gauge) {
  try {
    const int32_t N = ClassCount(Protocol);
    Table.assign(static_cast<size_t>(std::max(MaxFileIndex - MinFileIndex + 1, 0)), TIntArray());
    for (int32_t f = MaxFileIndex; f >= MinFileIndex; --f) CountClassesOfFile(N, Column, Table[f - MinFileIndex], f, Gauge);
  } catch (const std::exception&) {
    HostMessages().Error(CountError);
  }
}

}  // namespace qv
