#pragma once
// Small dense matrix algebra on TMatrix (rows of 32-bit floats), the two-way ANOVA and the
// log-gamma, incomplete beta and F probability functions behind it.
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
// Recursive block inversion steered by MxSmallQuadrants and MxAlternateInversion. A 1x1
// matrix inverts to 1/a (status 1 when a is 0). Inv is written only on status 0.
TMatrixStatus InvertMatrix(const TMatrix& M, TMatrix& Inv);

// ln Gamma(X); 0 when X <= 0 or on any arithmetic error.
double LnGamma(double X);
// Regularised incomplete beta I_X(A, B); 0 outside 0..1. Arithmetic errors throw EArithmetic.
double BetaI(double A, double B, double X);
Extended BetaContinuedFraction(double A, double B, double X);
// Upper-tail probability of F with DF1 and DF2 degrees of freedom; 1 when DF1 x DF2 x F <= 0.
double FProbability(int32_t DF1, int32_t DF2, double F);

struct TwoWayAnovaResult {
  int32_t Rows = 0;
  int32_t Columns = 0;
  int32_t Count = 0;
  double SSTotal = 0;
  double SSCells = 0;
  double SSRows = 0;
  double SSColumns = 0;
  double SSInteraction = 0;
  double SSWithin = 0;
  int32_t DFRows = 0;
  int32_t DFColumns = 0;
  int32_t DFInteraction = 0;
  int32_t DFWithin = 0;
  int32_t DFCells = 0;
  int32_t DFTotal = 0;
  double MSWithin = 0;
  double MSRows = 0;
  double MSColumns = 0;
  double MSInteraction = 0;
  double FRows = 0;
  double FColumns = 0;
  double FInteraction = 0;
  double PRows = 0;
  double PColumns = 0;
  double PInteraction = 0;
};

// Data is indexed [row][column][replicate]; cells may differ in size. An empty table or cell
// throws EArithmetic, rows of unequal length throw ERangeError.
void TwoWayAnova(const T3DblArray& Data, TwoWayAnovaResult& Result);
// Ten lines, each ended by CR LF; rows are reported as "Group", columns as "Class".
void TwoWayAnovaReport(const TwoWayAnovaResult& Result, std::string& Text);

}  // namespace qv
