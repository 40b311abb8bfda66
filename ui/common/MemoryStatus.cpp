#include "common/MemoryStatus.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "NumberFormat.h"

namespace qv {

namespace {

// The value of "Key:  123 kB" in bytes; false when the key is absent.
bool MemInfoValue(std::string_view Text, std::string_view Key, uint64_t& Bytes) {
  size_t Pos = 0;
  while (Pos < Text.size()) {
    size_t End = Text.find('\n', Pos);
    if (End == std::string_view::npos) End = Text.size();
    std::string_view Line = Text.substr(Pos, End - Pos);
    Pos = End + 1;
    if (Line.size() <= Key.size() || Line.substr(0, Key.size()) != Key || Line[Key.size()] != ':') continue;
    std::string_view Rest = Line.substr(Key.size() + 1);
    while (!Rest.empty() && Rest.front() == ' ') Rest.remove_prefix(1);
    uint64_t Value = 0;
    auto [Ptr, Ec] = std::from_chars(Rest.data(), Rest.data() + Rest.size(), Value);
    if (Ec != std::errc()) return false;
    std::string_view Unit(Ptr, Rest.data() + Rest.size() - Ptr);
    Bytes = Unit.find("kB") != std::string_view::npos ? Value * 1024 : Value;
    return true;
  }
  return false;
}

}  // namespace

bool ParseMemInfo(std::string_view Text, TMemoryFigures& Figures) {
  uint64_t Available = 0, SwapFree = 0;
  if (!MemInfoValue(Text, "MemAvailable", Available)) return false;
  MemInfoValue(Text, "SwapFree", SwapFree);
  Figures.Physical = Available;
  Figures.Virtual = Available + SwapFree;
  return true;
}

TMemoryFigures ReadMemoryFigures() {
  TMemoryFigures Figures;
  std::ifstream In("/proc/meminfo");
  std::stringstream Text;
  Text << In.rdbuf();
  ParseMemInfo(Text.str(), Figures);
  return Figures;
}

float MemoryMB(uint64_t Bytes) { return static_cast<float>(static_cast<double>(Bytes) / 1024000.0); }

std::string MemoryCaption(uint64_t Bytes) { return " " + FormatFloat("####0", MemoryMB(Bytes)) + " MB"; }

uint32_t PhysicalMemoryColour(float MB) {
  if (MB < 200) return 0xFF00FF;
  if (MB < 400) return 0x6800FF;
  if (MB < 600) return 0x0000FF;
  if (MB < 800) return 0x0044FF;
  if (MB < 1000) return 0x0088FF;
  if (MB < 1300) return 0x00CCFF;
  if (MB < 1600) return 0x00FFFF;
  if (MB < 2000) return 0x00FFCC;
  return 0x00FF00;
}

uint32_t VirtualMemoryColour(float MB) {
  if (MB < 200) return 0xFF00FF;
  if (MB < 600) return 0xCC00FF;
  if (MB < 800) return 0x0044FF;
  if (MB < 1000) return 0x0088FF;
  if (MB < 1300) return 0x00CCFF;
  if (MB < 1600) return 0x00FFFF;
  if (MB < 2000) return 0x00FFCC;
  return 0x00FF00;
}

}  // namespace qv
