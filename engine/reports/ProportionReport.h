#pragma once
// The class make-up reports of classified events across their files, and the chi-square of the
// channel peak fits. Values are appended to the rows of a table that holds a header row and one
// row per class (or channel) at least; too few rows, or a class beyond the names, is a range
// error. The events are never changed.
#include <cstdint>
#include <memory>
#include <vector>

#include "Host.h"
#include "Types.h"
#include "analysis/ClassCounts.h"

namespace qv {

class TDetector;
class TProtocol;

// The settings of the class make-up reports, read once per report.
struct TProportionOptions {
  bool CalculateSSDPvalues = false;  // resampled SSD p values on the rigorous Z class
  int32_t SSDIterations = 0;
  float MaxZValue = 0;  // a genotype class's Z above it makes the data suspect
  static TProportionOptions FromSettings();
};

// The classified events a report reads and the files they came from.
struct TReportEvents {
  TCountedEvents Records;
  int32_t MinFileIndex = 0;
  int32_t FileCount = 0;
};

// Sets are merged from a plate at most (384 wells), so every pair of files has its distance up
// to this many files; a set of more lists each file's mean distance only, which costs one pass
// over the files instead of one per pair.
constexpr int32_t MaxFilesWithDistances = 1024;

// The per-file columns of a class table cost files x classes, and a small data file may name
// 65536 files under 15 channels (32768 simple classes) or declare thousands of genotypes. Up to
// this many cells (a plate of 384 wells under 11 channels) a table lists them; beyond, each
// class's total alone, with a line saying why.
constexpr int64_t MaxFileClassCells = int64_t{1} << 20;

// Counts per class and file in Column; with ZReport the proportions, Z values, SSD (resampled
// from the full events when Options ask and Column is the rigorous Z class), chi-square and the
// distances between files follow. Lines built before an arithmetic failure are appended first.
// Cost: files x classes up to MaxFileClassCells, and files x files x classes up to
// MaxFilesWithDistances files.
void ClassProportionReport(const TReportEvents& Set, const TStringArray& Names, int32_t Column, bool ZReport,
                           char Separator, const TProportionOptions& Options, TStringArray& Table, Progress* Gauge);
// Counts[c]: events that call channel c.
void CountCalledChannels(const TFCSLineArray& Events, const TProtocol& Protocol, TIntArray& Counts);
// The called counts and, for each channel with a peak detector, the chi-square of its fits.
void ChannelChiReport(const TFCSLineArray& Events, const std::vector<std::unique_ptr<TDetector>>& PeakDetectors,
                      const TProtocol& Protocol, char Separator, TStringArray& Table, Progress* Gauge);
// Counts per class (Classes of them) of N events drawn without replacement, skipping those of
// class 0 in Column; stops early when the events run out.
void RandomClassSample(const TFCSLineArray& Events, int32_t Classes, int32_t Column, int32_t N, TIntArray& Counts,
                       Progress* Gauge);

}  // namespace qv
