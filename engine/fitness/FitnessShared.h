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

// Caps of what the files of an assay may declare; a file beyond one is refused by name. In the
// variable model the result sets grow with the square of the observed plates (one per plate
// pair), each with the square of the genotypes, and the matrix deconvolution with their cube; the
// constant model's variance analysis draws per genotype and file. Assays compare a handful of
// strains, each told by its fluorophore (a protocol holds at most 15 channels), over a few plates.
constexpr int32_t MaxFitnessGenotypes = 32;  // per protocol
constexpr int32_t MaxFitnessPlates = 24;     // FCS files merged into one data file
// False, having shown which file passes which cap, when a protocol of Files defines more than
// MaxFitnessGenotypes genotypes or one of the first PlateFiles data sets merges more than
// MaxFitnessPlates files. The files must have been read.
bool WithinFitnessCaps(const std::vector<TFitnessFile>& Files, size_t PlateFiles);

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
