#include "Globals.h"

namespace qv {

std::string ProgramDir;
std::string DataDir;
const Extended HugeValue = 1e4000L;

}  // namespace qv

namespace qv {

const char* const BoolText[2] = {"FALSE", "TRUE"};
const char* const FileTypeMasks[4] = {"", "*.fcs", "*.Quorvenal", "*.*"};
bool ParameterLogFlag(int32_t Code) {
  // -6 False, -5 True, -4 True, -3 False, -2 True, -1 False; other codes have no flag.
  switch (Code) {
    case -5: case -4: case -2: return true;
    default: return false;
  }
}
const char* const ClassifyModeNames[3] = {"Threshold Mode", "Relaxed Z Mode", "Strict Z Mode"};
const char* const DeconvolutionNames[2] = {"Matrix deconvolution", "Cascade deconvolution"};
const char* const FitnessKindNames[5] = {"Raw Fitness 1", "Raw Fitness 2", "Change in Fitness",
                                         "Genotype Fitness", "Fluor Fitness"};

}  // namespace qv
