// Stand-in definitions until the matrix routines, which own these switches, are merged.
#include "MatrixSettings.h"

namespace qv {

bool MxSmallQuadrants = true;
bool MxAlternateInversion = true;

}  // namespace qv
