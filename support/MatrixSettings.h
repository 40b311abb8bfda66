#pragma once
// Settings read by InvertMatrix at every call.

namespace qv {

// True: the top-left block of a split takes n div 2 rows, so no block is ever 1x1.
extern bool MxSmallQuadrants;
// True: the bottom-right block is inverted first; False: the top-left block.
extern bool MxAlternateInversion;

}  // namespace qv
