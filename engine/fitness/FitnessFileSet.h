#pragma once
// The four own data files of a fitness assay and the Z-scoring limits the fitness page overrides.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "Host.h"

namespace qv {

struct TFitnessFileSet {
  std::string Folder;
  Progress* Gauge = nullptr;  // shown while the data files load; not owned
  // Index 0 is set 1, index 1 set 2; names inside Folder.
  std::array<std::string, 2> Expected;
  std::array<std::string, 2> Observed;
  bool ReassignMaxZ = false;
  bool ReassignMinZ = false;
  bool ReassignMaxZGate = false;
  bool ReassignMinZGate = false;
  float MaxZ = 0;
  float MinZ = 0;
  float MaxZGate = 0;
  float MinZGate = 0;
  int32_t ReportType = 1;  // count kind chosen on the page (1 relaxed, 2 strict)

  // Folder and Name joined, whether or not Folder ends in a separator.
  std::string PathOf(const std::string& Name) const {
    if (Folder.empty()) return Name;
    return (std::filesystem::path(Folder) / Name).string();
  }
  std::string ExpectedPath(int32_t SetIndex) const { return PathOf(Expected.at(static_cast<size_t>(SetIndex))); }
  std::string ObservedPath(int32_t SetIndex) const { return PathOf(Observed.at(static_cast<size_t>(SetIndex))); }
};

}  // namespace qv
