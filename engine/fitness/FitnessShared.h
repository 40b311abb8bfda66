#pragma once
// Steps both fitness models take alike: how their data files load, the page's Z-limit overrides,
// the file-set comparison, and numbers written with "." for reports that are read back.
#include <array>
#include <cstdint>
#include <string>

#include "Types.h"
#include "dataset/DataLoadOptions.h"
#include "dataset/FCSData.h"
#include "fitness/FitnessFileSet.h"
#include "protocol/Protocol.h"

namespace qv {

// Events loaded, compensated in the current CompensationMode and compacted; no detectors.
TDataLoadOptions FitnessLoadOptions(Progress* Gauge);
bool HasEvents(const TFCSData& Data);
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
