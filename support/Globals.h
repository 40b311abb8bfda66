#pragma once
// Process-wide settings, folders and fixed name tables.
#include <cstdint>
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

namespace qv {

// Fixed name tables.
extern const char* const BoolText[2];            // [false] "FALSE", [true] "TRUE"
extern const char* const FileTypeMasks[4];       // 1..3: "*.fcs", "*.Quorvenal", "*.*" ([0] unused)
bool ParameterLogFlag(int32_t Code);             // old negative parameter codes -6..-1
extern const char* const ClassifyModeNames[3];
extern const char* const DeconvolutionNames[2];
extern const char* const FitnessKindNames[5];

}  // namespace qv
