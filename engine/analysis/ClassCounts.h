#pragma once
// Class counts of classified events, per file, and their bootstrap replicates. They read one
// class column of the compact events when there are any, else of the full events, and never
// change an event. A class beyond the counts, or a file outside the positions, is a range error.
#include <cstdint>

#include "Host.h"
#include "Types.h"

namespace qv {

class TFCSLineArray;
class TFCSShortLineArray;

// The records counted: the compact events when there are any, else the full events.
struct TCountedEvents {
  const TFCSLineArray& Events;
  const TFCSShortLineArray& ShortLines;
};

// Where each file's records lie: First[d]..Last[d] for file MinFileIndex + d, Last[d] < 0 for a
// file without events.
struct TFilePositions {
  const TIntArray& First;
  const TIntArray& Last;
  int32_t MinFileIndex = 0;
};

struct TClassCountOptions {
  int32_t Classes = 0;  // counts per table row
  int32_t Column = 0;   // 0 threshold, 1 relaxed Z, 2 rigorous Z class
};

// Each pumps once at its start. Counts are assigned, never added to.
void CountEventClasses(const TCountedEvents& Records, const TClassCountOptions& Options, TIntArray& Counts,
                       Progress* Gauge);
void CountFileClasses(const TCountedEvents& Records, const TFilePositions& Files, int32_t FileIndex,
                      const TClassCountOptions& Options, TIntArray& Counts, Progress* Gauge);
// Table[d] for every file MinFileIndex + d up to MaxFileIndex, counted last file first.
void CountClassesByFile(const TCountedEvents& Records, const TFilePositions& Files, int32_t MaxFileIndex,
                        const TClassCountOptions& Options, T2IntArray& Table, Progress* Gauge);
// Table[file - MinFileIndex][class] over the full events by their file index; FileCount rows.
void SumFileClassCounts(const TFCSLineArray& Events, int32_t MinFileIndex, int32_t FileCount,
                        const TClassCountOptions& Options, T2IntArray& Table, Progress* Gauge);
// One bootstrap replicate of all records, and of one file with as many draws as there are
// records in all (zeros for a file without events).
void ResampleEventClasses(const TCountedEvents& Records, const TClassCountOptions& Options, TIntArray& Counts,
                          Progress* Gauge);
void ResampleFileClasses(const TCountedEvents& Records, const TFilePositions& Files, int32_t FileIndex,
                         const TClassCountOptions& Options, TIntArray& Counts, Progress* Gauge);

}  // namespace qv
