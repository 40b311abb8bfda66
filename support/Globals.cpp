#include "Globals.h"

namespace qv {

std::string ProgramDir;
std::string DataDir;
const Extended HugeValue = 1e4000L;

}  // namespace qv
