#pragma once
// Steps both fitness models take alike: how their data files load, the page's Z-limit overrides,
// the file-set comparison, and numbers written with "." for reports that are read back.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Types.h"
#include "dataset/DataLoadOptions.h"
#include "dataset/FCSData.h"
#include "fitness/FitnessFileSet.h"
#include "protocol/Protocol.h"

namespace qv {

// Events loaded, compensated in the current CompensationMode and compacted; no detectors.
TDataLoadOptions FitnessLoadOptions(Progress* Gauge);
bool HasEvents(const TFCSData& Data);

// One own data file of a fitness model: the memo line shown before it is read, its path, and
// where its data set and protocol go.
struct TFitnessFile {
  std::string Caption;
  std::string Path;
  std::unique_ptr<TFCSData>* Data = nullptr;
  std::unique_ptr<TProtocol>* Protocol = nullptr;
};

// Reads the files in order until one fails: for each its memo line, then its data set loaded with
// FitnessLoadOptions and classified with the file's own protocol. True when every file was read
// with events; a missing file, an empty set or an exception ends the reading with False, and
// running out of memory says so ("Not enough memory to read <file>").
// With more than one thread (and no dynamic compensation, whose draws must come in the order of
// the files) the files are read side by side on the worker pool while the calling thread moves
// Gauge about every 25 ms; memo lines, messages and refresh notifications still come on the
// calling thread in the order the files give them, and nothing of a file after the first that
// failed is shown.
bool ReadFitnessFiles(const std::vector<TFitnessFile>& Files, Progress* Gauge, ProgressMemo* Memo);
// The records a class count or a resample walks: compact events when the set holds them.
int32_t RecordCount(const TFCSData& Data);
// Sets each flagged Z limit on every channel of the protocols, in the order maximum Z, minimum Z,
// maximum value, minimum value; True when any channel changed.
bool ApplyZOverrides(const TFitnessFileSet& FileSet, const std::array<TProtocol*, 4>& Protocols);
// Folder or one of the four file names differs (case-sensitive); limits and report type do not count.
bool FileSetFilesDiffer(const TFitnessFileSet& A, const TFitnessFileSet& B);
// FormatFloat with "." as the decimal separator whatever the process-wide setting.
std::string FormatFloatDot(const std::string& Mask, Extended Value);

}  // namespace qv
