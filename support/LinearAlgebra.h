#pragma once
// Small dense matrix algebra on TMatrix (rows of 32-bit floats).
//
// Matrix routines return a status: 0 success, 1 an arithmetic or index error inside the
// routine, 2 shapes that do not fit. Each element is computed in Extended from its 32-bit
// operands and rounded to 32 bits when stored. Outputs are written only on success, and an
// output may be the same object as an input.
#include <cstdint>
#include <string>
#include <utility>

#include "Globals.h"
#include "Types.h"

namespace qv {

using TMatrixStatus = uint8_t;
inline constexpr TMatrixStatus MxOk = 0;
inline constexpr TMatrixStatus MxFailed = 1;
inline constexpr TMatrixStatus MxShapeMismatch = 2;

// (rows, columns); the columns are the length of the first row, 0 without rows.
std::pair<int32_t, int32_t> MatrixSize(const TMatrix& M);
bool SameMatrixSize(const TMatrix& A, const TMatrix& B);
void SizeMatrixLike(const TMatrix& Source, TMatrix& Dest);
void ZeroMatrix(int32_t Rows, int32_t Cols, TMatrix& M);
void IdentityMatrix(int32_t N, TMatrix& M);

// True when an error was caught (Dest is then left as it was).
bool CopyMatrix(const TMatrix& Source, TMatrix& Dest);
bool CopyVector(const TSglArray& Source, TSglArray& Dest);

TMatrixStatus AddMatrix(const TMatrix& A, const TMatrix& B, TMatrix& C);
TMatrixStatus SubtractMatrix(const TMatrix& A, const TMatrix& B, TMatrix& C);
// C = A x B; each C[i][j] accumulates from the last k down to the first, rounded every step.
TMatrixStatus MultiplyMatrix(const TMatrix& A, const TMatrix& B, TMatrix& C);
TMatrixStatus ScaleMatrix(const TMatrix& A, float S, TMatrix& B);

// Rows FirstRow..LastRow and columns FirstCol..LastCol, both ends included.
TMatrixStatus ExtractBlock(const TMatrix& M, int32_t FirstRow, int32_t LastRow, int32_t FirstCol,
                           int32_t LastCol, TMatrix& Block);
// TL = rows 0..RowSplit x columns 0..ColSplit; TR, BL, BR the rest.
TMatrixStatus SplitQuadrants(const TMatrix& M, int32_t RowSplit, int32_t ColSplit, TMatrix& TL,
                             TMatrix& TR, TMatrix& BL, TMatrix& BR);
TMatrixStatus AssembleQuadrants(const TMatrix& TL, const TMatrix& TR, const TMatrix& BL,
                                const TMatrix& BR, TMatrix& M);

// Closed forms; a singular matrix gives the zero matrix with status 0.
TMatrixStatus Invert2x2(const TMatrix& M, TMatrix& Inv);
TMatrixStatus Invert3x3(const TMatrix& M, TMatrix& Inv);
// How the block inversion splits: the settings MxSmallQuadrants and MxAlternateInversion. A stage
// that inverts in a loop reads them once at its start.
struct TInversionOptions {
  bool SmallQuadrants = true;
  bool AlternateInversion = true;
  static TInversionOptions FromSettings();
};

// Recursive block inversion steered by Options. A 1x1 matrix inverts to 1/a (status 1 when a
// is 0). Inv is written only on status 0.
TMatrixStatus InvertMatrix(const TMatrix& M, TMatrix& Inv,
                           const TInversionOptions& Options = TInversionOptions::FromSettings());

}  // namespace qv
