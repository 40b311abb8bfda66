// Class counts of classified events, per file, and their bootstrap replicates; TFCSData forwards.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "analysis/ClassCounts.h"

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

// The class of counting record K: compact events when there are any.
int32_t RecordClass(const TCountedEvents& Records, int64_t K, int32_t Column) {
  const size_t k = static_cast<size_t>(K), c = static_cast<size_t>(Column);
  return Records.ShortLines.empty() ? Records.Events[k].Classes()[c] : Records.ShortLines[k].Classes()[c];
}

size_t RecordCount(const TCountedEvents& Records) {
  return Records.ShortLines.empty() ? Records.Events.size() : Records.ShortLines.size();
}

// The position row of FileIndex; a range error outside the positions.
size_t FileRow(const TFilePositions& Files, int32_t FileIndex) {
  const int64_t d = static_cast<int64_t>(FileIndex) - Files.MinFileIndex;
  if (d < 0 || d >= static_cast<int64_t>(Files.Last.size())) throw RangeCheckError();
  return static_cast<size_t>(d);
}

// One class column of every counting record, so that a replicate's random draws read a small
// contiguous array instead of the event records: one byte per record when every class fits in
// one (a million records then stay in the cache), two otherwise. The arrays are kept per thread
// from one replicate to the next, so that their pages are faulted in once, not per replicate.
struct TClassColumn {
  std::vector<uint8_t>& Bytes;
  std::vector<int16_t>& Words;
  bool Small = true;
  int32_t Highest = -1;  // the largest class of any record
  size_t size() const { return Small ? Bytes.size() : Words.size(); }
};

TClassColumn ClassColumn(const TCountedEvents& Records, int32_t Column) {
  thread_local std::vector<uint8_t> Bytes;
  thread_local std::vector<int16_t> Words;
  const size_t c = static_cast<size_t>(Column);
  const bool Short = !Records.ShortLines.empty();
  const size_t Count = RecordCount(Records);
  auto ClassOf = [&](size_t k) {
    return Short ? Records.ShortLines[k].Classes()[c] : Records.Events[k].Classes()[c];
  };
  TClassColumn Classes{Bytes, Words};
  Bytes.resize(Count);
  Words.clear();
  int32_t Lowest = 0, Highest = -1;
  for (size_t k = 0; k < Count; ++k) {
    const int16_t Class = ClassOf(k);
    Lowest = std::min<int32_t>(Lowest, Class);
    Highest = std::max<int32_t>(Highest, Class);
    Bytes[k] = static_cast<uint8_t>(Class);
  }
  Classes.Small = Lowest >= 0 && Highest <= 255;
  Classes.Highest = Highest;
  if (!Classes.Small) {
    Words.resize(Count);
    for (size_t k = 0; k < Count; ++k) Words[k] = ClassOf(k);
  }
  return Classes;
}

// Tallies Draws byte classes of the records First + Draw(), every class known to be one of
// Counts. As nothing can throw, the draws run a block ahead of the tally: each record's byte is
// prefetched when its index is drawn and read a block later, so that the random reads of the
// column overlap instead of stalling one by one. Four count tables in turn keep runs of one class
// from waiting on one counter.
void TallyByteDraws(const uint8_t* Column, int32_t Draws, TIntArray& Counts, TRandomIntDraws& Draw, int32_t First) {
  constexpr int32_t Block = 256;
  uint32_t Picked[2][Block];
  uint32_t Tables[4][256] = {};
  const uint8_t* const Base = Column + First;
  auto DrawBlock = [Base, First, &Draw](uint32_t* Into, int32_t Count) {
    Draw.Draw(Count, [Base, First, Into](int32_t Value) mutable {
      __builtin_prefetch(Base + Value);
      *Into++ = static_cast<uint32_t>(First + Value);
    });
  };
  auto TallyBlock = [Column, &Tables](const uint32_t* From, int32_t Count) {
    int32_t i = 0;
    for (; i + 4 <= Count; i += 4) {
      ++Tables[0][Column[From[i]]];
      ++Tables[1][Column[From[i + 1]]];
      ++Tables[2][Column[From[i + 2]]];
      ++Tables[3][Column[From[i + 3]]];
    }
    for (; i < Count; ++i) ++Tables[0][Column[From[i]]];
  };
  int32_t Ahead = std::min(Block, Draws), Side = 0;
  DrawBlock(Picked[Side], Ahead);
  for (int32_t Done = 0; Done < Draws; Side ^= 1) {
    const int32_t Current = Ahead;
    Done += Current;
    Ahead = std::min(Block, Draws - Done);
    DrawBlock(Picked[Side ^ 1], Ahead);
    TallyBlock(Picked[Side], Current);
  }
  const size_t Classes = std::min<size_t>(Counts.size(), 256);
  for (size_t c = 0; c < Classes; ++c)
    Counts[c] += static_cast<int32_t>(Tables[0][c] + Tables[1][c] + Tables[2][c] + Tables[3][c]);
}

// Tallies Draws classes of the records First + Draw(), in the order of the draws; a class beyond
// Counts throws with the generator just past the draw that picked it.
void TallyDraws(const TClassColumn& Classes, int32_t Draws, TIntArray& Counts, TRandomIntDraws& Draw,
                int32_t First) {
  if (Classes.Small && Classes.Highest < static_cast<int32_t>(Counts.size())) {
    TallyByteDraws(Classes.Bytes.data(), Draws, Counts, Draw, First);
  } else if (Classes.Small) {
    const uint8_t* Column = Classes.Bytes.data();
    for (int32_t i = 0; i < Draws; ++i) Tally(Counts, Column[First + Draw()]);
  } else {
    const int16_t* Column = Classes.Words.data();
    for (int32_t i = 0; i < Draws; ++i) Tally(Counts, Column[First + Draw()]);
  }
}

}  // namespace

void CountEventClasses(const TCountedEvents& Records, const TClassCountOptions& Options, TIntArray& Counts,
                       Progress* Gauge) {
  PumpMessages(Gauge);
  CheckClassColumn(Options.Column);
  Counts.assign(static_cast<size_t>(std::max(Options.Classes, 0)), 0);
  const int64_t M = static_cast<int64_t>(RecordCount(Records));
  for (int64_t k = M - 1; k >= 0; --k) Tally(Counts, RecordClass(Records, k, Options.Column));
}

void CountFileClasses(const TCountedEvents& Records, const TFilePositions& Files, int32_t FileIndex,
                      const TClassCountOptions& Options, TIntArray& Counts, Progress* Gauge) {
  PumpMessages(Gauge);
  CheckClassColumn(Options.Column);
  Counts.assign(static_cast<size_t>(std::max(Options.Classes, 0)), 0);
  const size_t d = FileRow(Files, FileIndex);
  if (Files.Last[d] < 0) return;
  for (int32_t k = Files.First[d]; k <= Files.Last[d]; ++k) Tally(Counts, RecordClass(Records, k, Options.Column));
}

void CountClassesByFile(const TCountedEvents& Records, const TFilePositions& Files, int32_t MaxFileIndex,
                        const TClassCountOptions& Options, T2IntArray& Table, Progress* Gauge) {
  const int32_t Min = Files.MinFileIndex;
  Table.assign(static_cast<size_t>(std::max(MaxFileIndex - Min + 1, 0)), TIntArray());
  for (int32_t f = MaxFileIndex; f >= Min; --f) CountFileClasses(Records, Files, f, Options, Table[f - Min], Gauge);
}

void SumFileClassCounts(const TFCSLineArray& Events, int32_t MinFileIndex, int32_t FileCount,
                        const TClassCountOptions& Options, T2IntArray& Table, Progress* Gauge) {
  PumpMessages(Gauge);
  CheckClassColumn(Options.Column);
  Table.assign(static_cast<size_t>(std::max(FileCount, 0)),
               TIntArray(static_cast<size_t>(std::max(Options.Classes, 0)), 0));
  for (size_t k = 0; k < Events.size(); ++k) {
    const TFCSLine E = Events[k];
    const int64_t d = static_cast<int64_t>(E.FileIndex()) - MinFileIndex;
    if (d < 0 || d >= static_cast<int64_t>(Table.size())) throw RangeCheckError();
    Tally(Table[d], E.Classes()[static_cast<size_t>(Options.Column)]);
  }
}

void ResampleEventClasses(const TCountedEvents& Records, const TClassCountOptions& Options, TIntArray& Counts,
                          Progress* Gauge) {
  PumpMessages(Gauge);
  CheckClassColumn(Options.Column);
  Counts.assign(static_cast<size_t>(std::max(Options.Classes, 0)), 0);
  const TClassColumn Classes = ClassColumn(Records, Options.Column);
  const int32_t M = static_cast<int32_t>(Classes.size());
  TRandomIntDraws Draw(M);
  TallyDraws(Classes, M, Counts, Draw, 0);
}

void ResampleFileClasses(const TCountedEvents& Records, const TFilePositions& Files, int32_t FileIndex,
                         const TClassCountOptions& Options, TIntArray& Counts, Progress* Gauge) {
  PumpMessages(Gauge);
  CheckClassColumn(Options.Column);
  const size_t d = FileRow(Files, FileIndex);
  Counts.assign(static_cast<size_t>(std::max(Options.Classes, 0)), 0);
  // A file without events has no counts: zeros, never what the previous replicate left.
  if (Files.Last[d] < 0) return;
  const int32_t First = Files.First[d];
  const int32_t Span = Files.Last[d] - First;
  const TClassColumn Classes = ClassColumn(Records, Options.Column);
  const int32_t M = static_cast<int32_t>(Classes.size());
  TRandomIntDraws Draw(Span + 1);
  TallyDraws(Classes, M, Counts, Draw, First);
}

namespace {

TCountedEvents Counted(const TFCSData& Data) { return {Data.Events, Data.ShortLines}; }
TFilePositions Positions(const TFCSData& Data) { return {Data.FirstEvent, Data.LastEvent, Data.MinFileIndex}; }

}  // namespace

int32_t TFCSData::ClassCount(const TProtocol& Protocol) {
  const int32_t Patterns =
      static_cast<int32_t>(SplitLines(YNPatternList(Protocol.ChannelCount(), Protocol.ScoreSingles ? 0 : 1)).size());
  // A protocol with more genotypes than patterns still counts every genotype's class.
  return std::max(Patterns, Protocol.GenotypeCount() + 1);
}

void TFCSData::CountClasses(int32_t NClasses, int32_t Column, TIntArray& Counts, Progress* Gauge) const {
  CountEventClasses(Counted(*this), {NClasses, Column}, Counts, Gauge);
}

void TFCSData::CountClassesOfFile(int32_t NClasses, int32_t Column, TIntArray& Counts, int32_t FileIndex,
                                  Progress* Gauge) const {
  CountFileClasses(Counted(*this), Positions(*this), FileIndex, {NClasses, Column}, Counts, Gauge);
}

void TFCSData::SumClassCounts(int32_t NClasses, int32_t Column, T2IntArray& Table, Progress* Gauge) const {
  SumFileClassCounts(Events, MinFileIndex, FileCount, {NClasses, Column}, Table, Gauge);
}

void TFCSData::Resample(int32_t NClasses, int32_t Column, TIntArray& Counts, Progress* Gauge) const {
  ResampleEventClasses(Counted(*this), {NClasses, Column}, Counts, Gauge);
}

void TFCSData::ResampleFile(int32_t NClasses, int32_t Column, TIntArray& Counts, int32_t FileIndex,
                            Progress* Gauge) const {
  ResampleFileClasses(Counted(*this), Positions(*this), FileIndex, {NClasses, Column}, Counts, Gauge);
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
    CountClassesByFile(Counted(*this), Positions(*this), MaxFileIndex, {ClassCount(Protocol), Column}, Table, Gauge);
  } catch (const std::exception&) {
    HostMessages().Error(CountError);
  }
}

}  // namespace qv
