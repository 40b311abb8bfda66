#include "LinearAlgebra.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "Errors.h"
#include "FloatStores.h"
#include "Globals.h"
#include "NumberFormat.h"

namespace qv {

namespace {

using fp::Single;

int32_t Rows(const TMatrix& M) { return static_cast<int32_t>(M.size()); }
int32_t Cols(const TMatrix& M) { return M.empty() ? 0 : static_cast<int32_t>(M[0].size()); }

// Rows are taken to be as long as the first; a shorter one is an index error.
void CheckRows(const TMatrix& M) {
  const size_t cols = M.empty() ? 0 : M[0].size();
  for (const TSglArray& row : M)
    if (row.size() < cols) throw RangeCheckError();
}

TMatrix Sized(int32_t rows, int32_t cols) {
  if (rows < 0 || cols < 0) throw RangeCheckError();
  return TMatrix(static_cast<size_t>(rows), TSglArray(static_cast<size_t>(cols), 0.0f));
}

// Runs a routine body and turns every error it raises into status 1.
template <class Body>
TMatrixStatus Guarded(Body&& body) {
  try {
    return body();
  } catch (const std::exception&) {
    return MxFailed;
  }
}

TMatrixStatus Invert1x1(const TMatrix& M, TMatrix& Inv) {
  return Guarded([&]() -> TMatrixStatus {
    CheckRows(M);
    const float a = M[0][0];
    if (a == 0) return MxFailed;
    TMatrix result = Sized(1, 1);
    result[0][0] = Single(fp::Div(1.0L, a));
    Inv = std::move(result);
    return MxOk;
  });
}

// The block formulas below, each step run only when every step before it succeeded.
#define QV_TRY(call)                       \
  do {                                     \
    const TMatrixStatus status_ = (call);  \
    if (status_ != MxOk) return status_;   \
  } while (0)

}  // namespace

std::pair<int32_t, int32_t> MatrixSize(const TMatrix& M) { return {Rows(M), Cols(M)}; }

bool SameMatrixSize(const TMatrix& A, const TMatrix& B) { return MatrixSize(A) == MatrixSize(B); }

void SizeMatrixLike(const TMatrix& Source, TMatrix& Dest) {
  const auto [rows, cols] = MatrixSize(Source);
  Dest.resize(static_cast<size_t>(rows));
  for (TSglArray& row : Dest) row.resize(static_cast<size_t>(cols));
}

void ZeroMatrix(int32_t Rows, int32_t Cols, TMatrix& M) { M = Sized(Rows, Cols); }

void IdentityMatrix(int32_t N, TMatrix& M) {
  TMatrix result = Sized(N, N);
  for (int32_t i = 0; i < N; ++i) result[i][i] = 1.0f;
  M = std::move(result);
}

bool CopyMatrix(const TMatrix& Source, TMatrix& Dest) {
  return Guarded([&]() -> TMatrixStatus {
           CheckRows(Source);
           const auto [rows, cols] = MatrixSize(Source);
           TMatrix result = Sized(rows, cols);
           for (int32_t i = 0; i < rows; ++i)
             std::copy_n(Source[i].begin(), cols, result[i].begin());
           Dest = std::move(result);
           return MxOk;
         }) != MxOk;
}

bool CopyVector(const TSglArray& Source, TSglArray& Dest) {
  try {
    Dest = Source;
    return false;
  } catch (const std::exception&) {
    return true;
  }
}

namespace {

template <class Op>
TMatrixStatus ElementWise(const TMatrix& A, const TMatrix& B, TMatrix& C, Op op) {
  if (!SameMatrixSize(A, B)) return MxShapeMismatch;
  return Guarded([&]() -> TMatrixStatus {
    CheckRows(A);
    CheckRows(B);
    const auto [rows, cols] = MatrixSize(A);
    TMatrix result = Sized(rows, cols);
    for (int32_t i = 0; i < rows; ++i)
      for (int32_t j = 0; j < cols; ++j) result[i][j] = Single(op(Extended(A[i][j]), Extended(B[i][j])));
    C = std::move(result);
    return MxOk;
  });
}

}  // namespace

TMatrixStatus AddMatrix(const TMatrix& A, const TMatrix& B, TMatrix& C) {
  return ElementWise(A, B, C, [](Extended a, Extended b) { return a + b; });
}

TMatrixStatus SubtractMatrix(const TMatrix& A, const TMatrix& B, TMatrix& C) {
  return ElementWise(A, B, C, [](Extended a, Extended b) { return a - b; });
}

TMatrixStatus MultiplyMatrix(const TMatrix& A, const TMatrix& B, TMatrix& C) {
  const auto [rowsA, colsA] = MatrixSize(A);
  const auto [rowsB, colsB] = MatrixSize(B);
  if (colsA != rowsB) return MxShapeMismatch;
  return Guarded([&, rowsA = rowsA, colsA = colsA, colsB = colsB]() -> TMatrixStatus {
    CheckRows(A);
    CheckRows(B);
    TMatrix result = Sized(rowsA, colsB);
    for (int32_t i = 0; i < rowsA; ++i)
      for (int32_t j = 0; j < colsB; ++j) {
        float sum = 0.0f;
        for (int32_t k = colsA - 1; k >= 0; --k) sum = Single(Extended(A[i][k]) * B[k][j] + sum);
        result[i][j] = sum;
      }
    C = std::move(result);
    return MxOk;
  });
}

TMatrixStatus ScaleMatrix(const TMatrix& A, float S, TMatrix& B) {
  return Guarded([&]() -> TMatrixStatus {
    CheckRows(A);
    const auto [rows, cols] = MatrixSize(A);
    TMatrix result = Sized(rows, cols);
    for (int32_t i = 0; i < rows; ++i)
      for (int32_t j = 0; j < cols; ++j) result[i][j] = Single(Extended(S) * A[i][j]);
    B = std::move(result);
    return MxOk;
  });
}

TMatrixStatus ExtractBlock(const TMatrix& M, int32_t FirstRow, int32_t LastRow, int32_t FirstCol,
                           int32_t LastCol, TMatrix& Block) {
  const auto [rows, cols] = MatrixSize(M);
  if (LastRow >= rows || LastCol >= cols) return MxShapeMismatch;
  return Guarded([&]() -> TMatrixStatus {
    CheckRows(M);
    const int32_t blockRows = std::max(0, LastRow - FirstRow + 1);
    const int32_t blockCols = std::max(0, LastCol - FirstCol + 1);
    if ((blockRows > 0 && FirstRow < 0) || (blockCols > 0 && FirstCol < 0)) throw RangeCheckError();
    TMatrix result = Sized(blockRows, blockCols);
    for (int32_t i = 0; i < blockRows; ++i)
      std::copy_n(M[FirstRow + i].begin() + FirstCol, blockCols, result[i].begin());
    Block = std::move(result);
    return MxOk;
  });
}

TMatrixStatus SplitQuadrants(const TMatrix& M, int32_t RowSplit, int32_t ColSplit, TMatrix& TL,
                             TMatrix& TR, TMatrix& BL, TMatrix& BR) {
  const auto [rows, cols] = MatrixSize(M);
  if (RowSplit >= rows || ColSplit >= cols) return MxShapeMismatch;
  TMatrix tl, tr, bl, br;
  QV_TRY(ExtractBlock(M, 0, RowSplit, 0, ColSplit, tl));
  QV_TRY(ExtractBlock(M, 0, RowSplit, ColSplit + 1, cols - 1, tr));
  QV_TRY(ExtractBlock(M, RowSplit + 1, rows - 1, 0, ColSplit, bl));
  QV_TRY(ExtractBlock(M, RowSplit + 1, rows - 1, ColSplit + 1, cols - 1, br));
  TL = std::move(tl);
  TR = std::move(tr);
  BL = std::move(bl);
  BR = std::move(br);
  return MxOk;
}

TMatrixStatus AssembleQuadrants(const TMatrix& TL, const TMatrix& TR, const TMatrix& BL,
                                const TMatrix& BR, TMatrix& M) {
  if (Rows(TL) != Rows(TR) || Cols(TL) != Cols(BL) || Cols(TR) != Cols(BR) || Rows(BL) != Rows(BR))
    return MxShapeMismatch;
  return Guarded([&]() -> TMatrixStatus {
    for (const TMatrix* block : {&TL, &TR, &BL, &BR}) CheckRows(*block);
    const int32_t top = Rows(TL), left = Cols(TL), right = Cols(TR);
    TMatrix result = Sized(top + Rows(BL), left + right);
    for (int32_t i = 0; i < Rows(result); ++i) {
      const TSglArray& west = i < top ? TL[i] : BL[i - top];
      const TSglArray& east = i < top ? TR[i] : BR[i - top];
      std::copy_n(west.begin(), left, result[i].begin());
      std::copy_n(east.begin(), right, result[i].begin() + left);
    }
    M = std::move(result);
    return MxOk;
  });
}

TMatrixStatus Invert2x2(const TMatrix& M, TMatrix& Inv) {
  if (MatrixSize(M) != std::pair<int32_t, int32_t>(2, 2)) return MxShapeMismatch;
  return Guarded([&]() -> TMatrixStatus {
    CheckRows(M);
    const float a = M[0][0], b = M[0][1], c = M[1][0], d = M[1][1];
    const float det = Single(Extended(a) * d - Extended(b) * c);
    // A singular matrix yields the zero matrix rather than an error.
    const Extended factor = det == 0 ? 0.0L : fp::Div(1.0L, det);
    TMatrix result = Sized(2, 2);
    result[0][0] = Single(factor * d);
    result[0][1] = Single(factor * -b);
    result[1][0] = Single(factor * -c);
    result[1][1] = Single(factor * a);
    Inv = std::move(result);
    return MxOk;
  });
}

TMatrixStatus Invert3x3(const TMatrix& M, TMatrix& Inv) {
  if (MatrixSize(M) != std::pair<int32_t, int32_t>(3, 3)) return MxShapeMismatch;
  return Guarded([&]() -> TMatrixStatus {
    CheckRows(M);
    auto a = [&](int i, int j) { return Extended(M[i][j]); };
    float adj[3][3];
    adj[0][0] = Single(a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1));
    adj[0][1] = Single(a(0, 2) * a(2, 1) - a(0, 1) * a(2, 2));
    adj[0][2] = Single(a(0, 1) * a(1, 2) - a(0, 2) * a(1, 1));
    adj[1][0] = Single(a(1, 2) * a(2, 0) - a(1, 0) * a(2, 2));
    adj[1][1] = Single(a(0, 0) * a(2, 2) - a(0, 2) * a(2, 0));
    adj[1][2] = Single(a(0, 2) * a(1, 0) - a(0, 0) * a(1, 2));
    adj[2][0] = Single(a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0));
    adj[2][1] = Single(a(0, 1) * a(2, 0) - a(0, 0) * a(2, 1));
    adj[2][2] = Single(a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0));
    const float det = Single(a(0, 0) * adj[0][0] + a(0, 1) * adj[1][0] + a(0, 2) * adj[2][0]);
    const Extended factor = det == 0 ? 0.0L : fp::Div(1.0L, det);
    TMatrix result = Sized(3, 3);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) result[i][j] = Single(factor * adj[i][j]);
    Inv = std::move(result);
    return MxOk;
  });
}

TInversionOptions TInversionOptions::FromSettings() { return {MxSmallQuadrants, MxAlternateInversion}; }

TMatrixStatus InvertMatrix(const TMatrix& M, TMatrix& Inv, const TInversionOptions& Options) {
  const auto [rows, cols] = MatrixSize(M);
  if (rows != cols || rows == 0) return MxShapeMismatch;
  const int32_t n = rows;
  if (n == 1) return Invert1x1(M, Inv);
  if (n == 2) return Invert2x2(M, Inv);
  if (n == 3) return Invert3x3(M, Inv);

  const int32_t half = n / 2;
  const int32_t split = Options.SmallQuadrants ? half - 1 : half;
  TMatrix A, B, C, D;
  QV_TRY(SplitQuadrants(M, split, split, A, B, C, D));

  TMatrix tl, tr, bl, br, t1, t2, t3;
  if (Options.AlternateInversion) {
    // Bottom-right block first.
    TMatrix Di;
    QV_TRY(InvertMatrix(D, Di, Options));
    QV_TRY(MultiplyMatrix(B, Di, t1));
    QV_TRY(MultiplyMatrix(t1, C, t2));
    QV_TRY(SubtractMatrix(A, t2, t3));
    QV_TRY(InvertMatrix(t3, tl, Options));
    QV_TRY(ScaleMatrix(tl, -1.0f, t1));
    QV_TRY(MultiplyMatrix(t1, B, t2));
    QV_TRY(MultiplyMatrix(t2, Di, tr));
    QV_TRY(ScaleMatrix(Di, -1.0f, t1));
    QV_TRY(MultiplyMatrix(t1, C, t2));
    QV_TRY(MultiplyMatrix(t2, tl, bl));
    QV_TRY(MultiplyMatrix(Di, C, t1));
    QV_TRY(MultiplyMatrix(t1, tl, t2));
    QV_TRY(MultiplyMatrix(t2, B, t3));
    QV_TRY(MultiplyMatrix(t3, Di, t1));
    QV_TRY(AddMatrix(Di, t1, br));
  } else {
    // Top-left block first.
    TMatrix Ai;
    QV_TRY(InvertMatrix(A, Ai, Options));
    QV_TRY(MultiplyMatrix(C, Ai, t1));
    QV_TRY(MultiplyMatrix(t1, B, t2));
    QV_TRY(SubtractMatrix(D, t2, t3));
    QV_TRY(InvertMatrix(t3, br, Options));
    QV_TRY(ScaleMatrix(br, -1.0f, t1));
    QV_TRY(MultiplyMatrix(t1, C, t2));
    QV_TRY(MultiplyMatrix(t2, Ai, bl));
    QV_TRY(ScaleMatrix(Ai, -1.0f, t1));
    QV_TRY(MultiplyMatrix(t1, B, t2));
    QV_TRY(MultiplyMatrix(t2, br, tr));
    QV_TRY(MultiplyMatrix(Ai, B, t1));
    QV_TRY(MultiplyMatrix(t1, br, t2));
    QV_TRY(MultiplyMatrix(t2, C, t3));
    QV_TRY(MultiplyMatrix(t3, Ai, t1));
    QV_TRY(AddMatrix(Ai, t1, tl));
  }
  TMatrix result;
  QV_TRY(AssembleQuadrants(tl, tr, bl, br, result));
  Inv = std::move(result);
  return MxOk;
}

#undef QV_TRY

}  // namespace qv
