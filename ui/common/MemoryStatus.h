#pragma once
// The memory panels' figures, captions and colours. Pure functions over /proc text so that the
// boundaries are tested without the machine's real memory.
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

struct TMemoryFigures {
  uint64_t Physical = 0;  // MemAvailable
  uint64_t Virtual = 0;   // MemAvailable + SwapFree
};

// Reads the figures from the text of /proc/meminfo; false when MemAvailable is missing.
bool ParseMemInfo(std::string_view Text, TMemoryFigures& Figures);
// The figures of this machine now (zeros when /proc cannot be read).
TMemoryFigures ReadMemoryFigures();

// Bytes / 1,024,000 as a 32-bit float.
float MemoryMB(uint64_t Bytes);
// " " + MB formatted "####0" + " MB".
std::string MemoryCaption(uint64_t Bytes);
// Panel colours ($00BBGGRR) by MB.
uint32_t PhysicalMemoryColour(float MB);
uint32_t VirtualMemoryColour(float MB);

}  // namespace qv
