#pragma once
// Process-wide settings, folders and fixed name tables.
#include <string>

#include "Types.h"

namespace qv {

// Folder of the program (ends in '/'); see LoadSettings for how it is chosen.
extern std::string ProgramDir;
// ProgramDir + "Data/".
extern std::string DataDir;
// Start value of minimum searches: above every finite sum, infinite when narrowed to double.
extern const Extended HugeValue;

}  // namespace qv
