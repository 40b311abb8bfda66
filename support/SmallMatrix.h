#pragma once
// Square and column matrices of at most Cap x Cap 32-bit floats on the stack, with the
// arithmetic of LinearAlgebra element for element: each value computed in Extended from its
// 32-bit operands and rounded to 32 bits when stored, products summed from the last term to the
// first, and InvertMatrix's recursive block inversion with the same splits, the same order of
// steps and the same closed forms. Where LinearAlgebra's routine would fail (an overflow into
// 32 bits, division of 1 by a zero 1 x 1 block), these return false; they never throw.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE4_1__)
#include <smmintrin.h>
#endif

#include "Types.h"

namespace qv {

template <int Cap>
struct TSmallMatrix {
  int32_t Rows = 0;
  int32_t Cols = 0;
  float V[Cap][Cap];

  TSmallMatrix() = default;
  TSmallMatrix(int32_t R, int32_t C) : Rows(R), Cols(C) {}
  float* operator[](int32_t i) { return V[i]; }
  const float* operator[](int32_t i) const { return V[i]; }
};

namespace small_matrix {

// The 32-bit store of LinearAlgebra: false where it would raise (NaN, or beyond the float range).
inline bool Store(Extended Value, float& Target) {
  if (std::isnan(Value) || !(std::fabs(Value) < 0x1.ffffffp127L)) return false;
  Target = static_cast<float>(Value);
  return true;
}

// Store(Exact()) for a value that double arithmetic gives with a single rounding (a sum or
// difference of two floats, a float product plus a float). Rounding it again to float gives the
// float of the exact value, as the extended path does, unless the double lies exactly halfway
// between two floats (or below the normal floats): only then is the extended value computed.
template <class ExactValue>
inline bool StoreOnce(double Value, float& Target, ExactValue&& Exact) {
  uint64_t Bits;
  std::memcpy(&Bits, &Value, sizeof Bits);
  const int32_t Exponent = static_cast<int32_t>(Bits >> 52 & 0x7FF) - 1023;
  if (Exponent >= -126 && Exponent <= 127 && (Bits & 0x1FFFFFFF) != 0x10000000) {
    if (!(std::fabs(Value) < 0x1.ffffffp127)) return false;
    Target = static_cast<float>(Value);
    return true;
  }
  if (Value == 0) {
    Target = static_cast<float>(Value);
    return true;
  }
  if (Exponent > 127) return false;
  return Store(Exact(), Target);
}

// Store(Extended(a) x b + c).
inline bool StoreProductSum(float a, float b, float c, float& Target) {
  return StoreOnce(static_cast<double>(a) * b + c, Target, [&] { return Extended(a) * b + c; });
}

template <int Cap>
bool MultiplyStepwise(const TSmallMatrix<Cap>& A, const TSmallMatrix<Cap>& B, TSmallMatrix<Cap>& C) {
  TSmallMatrix<Cap> R(A.Rows, B.Cols);
  for (int32_t i = 0; i < A.Rows; ++i)
    for (int32_t j = 0; j < B.Cols; ++j) {
      float Sum = 0.0f;
      for (int32_t k = A.Cols - 1; k >= 0; --k)
        if (!StoreProductSum(A[i][k], B[k][j], Sum, Sum)) return false;
      R[i][j] = Sum;
    }
  C = R;
  return true;
}

// Whether StoreOnce stores Value by its first branch (or as the zero it is).
inline bool Ordinary(double Value) {
  uint64_t Bits;
  std::memcpy(&Bits, &Value, sizeof Bits);
  const uint64_t Biased = Bits >> 52 & 0x7FF;
  return ((Biased - (1023 - 126) <= 253) & ((Bits & 0x1FFFFFFF) != 0x10000000) & (std::fabs(Value) < 0x1.ffffffp127)) |
         (Value == 0);
}

// The product of an Rows x Inner and an Inner x Cols matrix when every step is ordinary, with no
// branch per step; false (C untouched) when some step is not, and the stepwise product decides.
template <int Rows, int Inner, int Cols, int Cap>
bool MultiplyOrdinary(const TSmallMatrix<Cap>& A, const TSmallMatrix<Cap>& B, TSmallMatrix<Cap>& C) {
  float R[Rows][Cols];
  bool All = true;
  for (int32_t i = 0; i < Rows; ++i)
    for (int32_t j = 0; j < Cols; ++j) {
      float Sum = 0.0f;
      for (int32_t k = Inner - 1; k >= 0; --k) {
        const double Value = static_cast<double>(A[i][k]) * B[k][j] + Sum;
        All &= Ordinary(Value);
        Sum = static_cast<float>(Value);
      }
      R[i][j] = Sum;
    }
  if (!All) return false;
  C.Rows = Rows;
  C.Cols = Cols;
  for (int32_t i = 0; i < Rows; ++i)
    for (int32_t j = 0; j < Cols; ++j) C[i][j] = R[i][j];
  return true;
}

template <int Cap>
bool Multiply(const TSmallMatrix<Cap>& A, const TSmallMatrix<Cap>& B, TSmallMatrix<Cap>& C) {
  // The block inversion of 4 x 4 matrices multiplies 2 x 2 blocks only.
  if (A.Rows == 2 && A.Cols == 2 && B.Cols == 2 && MultiplyOrdinary<2, 2, 2>(A, B, C)) return true;
  return MultiplyStepwise(A, B, C);
}

template <int Cap>
bool Subtract(const TSmallMatrix<Cap>& A, const TSmallMatrix<Cap>& B, TSmallMatrix<Cap>& C) {
  TSmallMatrix<Cap> R(A.Rows, A.Cols);
  for (int32_t i = 0; i < A.Rows; ++i)
    for (int32_t j = 0; j < A.Cols; ++j)
      if (!StoreOnce(static_cast<double>(A[i][j]) - B[i][j], R[i][j],
                     [&] { return Extended(A[i][j]) - Extended(B[i][j]); }))
        return false;
  C = R;
  return true;
}

template <int Cap>
bool Add(const TSmallMatrix<Cap>& A, const TSmallMatrix<Cap>& B, TSmallMatrix<Cap>& C) {
  TSmallMatrix<Cap> R(A.Rows, A.Cols);
  for (int32_t i = 0; i < A.Rows; ++i)
    for (int32_t j = 0; j < A.Cols; ++j)
      if (!StoreOnce(static_cast<double>(A[i][j]) + B[i][j], R[i][j],
                     [&] { return Extended(A[i][j]) + Extended(B[i][j]); }))
        return false;
  C = R;
  return true;
}

template <int Cap>
bool Negate(const TSmallMatrix<Cap>& A, TSmallMatrix<Cap>& B) {
  TSmallMatrix<Cap> R(A.Rows, A.Cols);
  for (int32_t i = 0; i < A.Rows; ++i)
    for (int32_t j = 0; j < A.Cols; ++j)
      if (!Store(Extended(-1.0f) * A[i][j], R[i][j])) return false;
  B = R;
  return true;
}

template <int Cap>
void Block(const TSmallMatrix<Cap>& M, int32_t Row, int32_t Rows, int32_t Col, int32_t Cols, TSmallMatrix<Cap>& B) {
  B.Rows = Rows;
  B.Cols = Cols;
  for (int32_t i = 0; i < Rows; ++i)
    for (int32_t j = 0; j < Cols; ++j) B[i][j] = M[Row + i][Col + j];
}

// Closed forms; a singular 2 x 2 or 3 x 3 matrix gives the zero matrix.
template <int Cap>
bool Invert1(const TSmallMatrix<Cap>& M, TSmallMatrix<Cap>& Inv) {
  const float a = M[0][0];
  if (a == 0) return false;
  TSmallMatrix<Cap> R(1, 1);
  if (!Store(1.0L / a, R[0][0])) return false;
  Inv = R;
  return true;
}

template <int Cap>
bool Invert2(const TSmallMatrix<Cap>& M, TSmallMatrix<Cap>& Inv) {
  const float a = M[0][0], b = M[0][1], c = M[1][0], d = M[1][1];
  float det;
  if (!Store(Extended(a) * d - Extended(b) * c, det)) return false;
  const Extended Factor = det == 0 ? 0.0L : 1.0L / det;
  TSmallMatrix<Cap> R(2, 2);
  if (!Store(Factor * d, R[0][0]) || !Store(Factor * -b, R[0][1]) || !Store(Factor * -c, R[1][0]) ||
      !Store(Factor * a, R[1][1]))
    return false;
  Inv = R;
  return true;
}

template <int Cap>
bool Invert3(const TSmallMatrix<Cap>& M, TSmallMatrix<Cap>& Inv) {
  auto a = [&](int i, int j) { return Extended(M[i][j]); };
  float adj[3][3];
  if (!Store(a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1), adj[0][0]) ||
      !Store(a(0, 2) * a(2, 1) - a(0, 1) * a(2, 2), adj[0][1]) ||
      !Store(a(0, 1) * a(1, 2) - a(0, 2) * a(1, 1), adj[0][2]) ||
      !Store(a(1, 2) * a(2, 0) - a(1, 0) * a(2, 2), adj[1][0]) ||
      !Store(a(0, 0) * a(2, 2) - a(0, 2) * a(2, 0), adj[1][1]) ||
      !Store(a(0, 2) * a(1, 0) - a(0, 0) * a(1, 2), adj[1][2]) ||
      !Store(a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0), adj[2][0]) ||
      !Store(a(0, 1) * a(2, 0) - a(0, 0) * a(2, 1), adj[2][1]) ||
      !Store(a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0), adj[2][2]))
    return false;
  float det;
  if (!Store(a(0, 0) * adj[0][0] + a(0, 1) * adj[1][0] + a(0, 2) * adj[2][0], det)) return false;
  const Extended Factor = det == 0 ? 0.0L : 1.0L / det;
  TSmallMatrix<Cap> R(3, 3);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (!Store(Factor * adj[i][j], R[i][j])) return false;
  Inv = R;
  return true;
}

// Whether StoreOnce stores float(Value) for a Value that double arithmetic found exactly, or by
// one rounding of a sum or difference of two floats: rounding that double to float is the single
// rounding of the exact value (53 bits hold more than twice a float's 24 and two), as the
// extended path's is, so only the range decides.
inline bool InRange(double Value) {
  uint64_t Bits;
  std::memcpy(&Bits, &Value, sizeof Bits);
  const uint64_t Biased = Bits >> 52 & 0x7FF;
  return ((Biased - (1023 - 126) <= 253) & (std::fabs(Value) < 0x1.ffffffp127)) | (Value == 0);
}

// The 4 x 4 inversion by 2 x 2 quadrants with every block in registers: the steps of InvertSmall
// below, taken only while each one stores as the stepwise inversion stores it; false, with Inv
// untouched, when one might not or a quadrant's closed form fails, and the stepwise inversion
// decides.
struct TQuad {
  float V[2][2];
};

inline TQuad QuadOf(const float (*M)[4], int32_t Row, int32_t Col) {
  return {{{M[Row][Col], M[Row][Col + 1]}, {M[Row + 1][Col], M[Row + 1][Col + 1]}}};
}

#if defined(__SSE4_1__)
// InRange and Ordinary of both lanes, as all-ones lanes: within the normal floats below the
// rounding to infinity (and, for Ordinary, not halfway between two floats), or zero.
inline __m128d InRangeLanes(__m128d Value) {
  const __m128d Magnitude = _mm_andnot_pd(_mm_set1_pd(-0.0), Value);
  const __m128d Normal = _mm_and_pd(_mm_cmpge_pd(Magnitude, _mm_set1_pd(0x1.0p-126)),
                                    _mm_cmplt_pd(Magnitude, _mm_set1_pd(0x1.ffffffp127)));
  return _mm_or_pd(Normal, _mm_cmpeq_pd(Value, _mm_setzero_pd()));
}
inline __m128d OrdinaryLanes(__m128d Value) {
  const __m128i Low = _mm_and_si128(_mm_castpd_si128(Value), _mm_set1_epi64x(0x1FFFFFFF));
  const __m128d Halfway = _mm_castsi128_pd(_mm_cmpeq_epi64(Low, _mm_set1_epi64x(0x10000000)));
  const __m128d Zero = _mm_cmpeq_pd(Value, _mm_setzero_pd());
  return _mm_or_pd(_mm_andnot_pd(Halfway, InRangeLanes(Value)), Zero);
}
#endif

// M x X of a 4 x 4 matrix and a column of 4 (Cap of at least 4) when every step of every row,
// summed from the last term to the first, is ordinary: four rows side by side. False (Out
// untouched) when some step is not, and the stepwise product decides.
template <int Cap>
bool ColumnProductOrdinary4(const TSmallMatrix<Cap>& M, const float* X, float* Out) {
#if defined(__SSE4_1__)
  __m128d Top = _mm_setzero_pd(), Bottom = _mm_setzero_pd();
  __m128d Fine = _mm_castsi128_pd(_mm_set1_epi64x(-1));
  for (int32_t k = 3; k >= 0; --k) {
    const __m128d Xk = _mm_set1_pd(X[k]);
    const __m128d T = _mm_add_pd(_mm_mul_pd(_mm_set_pd(M[1][k], M[0][k]), Xk), Top);
    const __m128d B = _mm_add_pd(_mm_mul_pd(_mm_set_pd(M[3][k], M[2][k]), Xk), Bottom);
    Fine = _mm_and_pd(Fine, _mm_and_pd(OrdinaryLanes(T), OrdinaryLanes(B)));
    Top = _mm_cvtps_pd(_mm_cvtpd_ps(T));
    Bottom = _mm_cvtps_pd(_mm_cvtpd_ps(B));
  }
  if (_mm_movemask_pd(Fine) != 3) return false;
  _mm_storel_pi(reinterpret_cast<__m64*>(Out), _mm_cvtpd_ps(Top));
  _mm_storel_pi(reinterpret_cast<__m64*>(Out + 2), _mm_cvtpd_ps(Bottom));
  return true;
#else
  float R[4];
  bool All = true;
  for (int32_t i = 0; i < 4; ++i) {
    float Sum = 0.0f;
    for (int32_t k = 3; k >= 0; --k) {
      const double Value = static_cast<double>(M[i][k]) * X[k] + Sum;
      All &= Ordinary(Value);
      Sum = static_cast<float>(Value);
    }
    R[i] = Sum;
  }
  if (!All) return false;
  std::copy_n(R, 4, Out);
  return true;
#endif
}

inline TQuad QuadProduct(const TQuad& A, const TQuad& B, bool& All) {
  TQuad R;
#if defined(__SSE4_1__)
  // A row at a time, both columns side by side: the steps of the scalar loop below.
  const __m128d B0 = _mm_set_pd(B.V[0][1], B.V[0][0]), B1 = _mm_set_pd(B.V[1][1], B.V[1][0]);
  __m128d Fine = _mm_castsi128_pd(_mm_set1_epi64x(-1));
  for (int32_t i = 0; i < 2; ++i) {
    const __m128d High = _mm_add_pd(_mm_mul_pd(_mm_set1_pd(A.V[i][1]), B1), _mm_setzero_pd());
    const __m128d Partial = _mm_cvtps_pd(_mm_cvtpd_ps(High));
    const __m128d Value = _mm_add_pd(_mm_mul_pd(_mm_set1_pd(A.V[i][0]), B0), Partial);
    Fine = _mm_and_pd(Fine, _mm_and_pd(InRangeLanes(High), OrdinaryLanes(Value)));
    const __m128 Row = _mm_cvtpd_ps(Value);
    _mm_storel_pi(reinterpret_cast<__m64*>(R.V[i]), Row);
  }
  All &= _mm_movemask_pd(Fine) == 3;
#else
  for (int32_t i = 0; i < 2; ++i)
    for (int32_t j = 0; j < 2; ++j) {
      // The first product is exact in double; the second step rounds a product plus a float.
      const double High = static_cast<double>(A.V[i][1]) * B.V[1][j] + 0.0f;
      const float Partial = static_cast<float>(High);
      const double Value = static_cast<double>(A.V[i][0]) * B.V[0][j] + Partial;
      All &= InRange(High) & Ordinary(Value);
      R.V[i][j] = static_cast<float>(Value);
    }
#endif
  return R;
}

inline TQuad QuadSum(const TQuad& A, const TQuad& B, double Sign, bool& All) {
  TQuad R;
  for (int32_t i = 0; i < 2; ++i)
    for (int32_t j = 0; j < 2; ++j) {
      const double Value = static_cast<double>(A.V[i][j]) + Sign * B.V[i][j];
      All &= InRange(Value);
      R.V[i][j] = static_cast<float>(Value);
    }
  return R;
}

inline TQuad QuadNegated(const TQuad& A) { return {{{-A.V[0][0], -A.V[0][1]}, {-A.V[1][0], -A.V[1][1]}}}; }

inline bool QuadInverse(const TQuad& M, TQuad& Inv) {
  const float a = M.V[0][0], b = M.V[0][1], c = M.V[1][0], d = M.V[1][1];
  float det;
  if (!Store(Extended(a) * d - Extended(b) * c, det)) return false;
  const Extended Factor = det == 0 ? 0.0L : 1.0L / det;
  return Store(Factor * d, Inv.V[0][0]) && Store(Factor * -b, Inv.V[0][1]) && Store(Factor * -c, Inv.V[1][0]) &&
         Store(Factor * a, Inv.V[1][1]);
}

// The quadrant steps with First inverted first: Other - Near First^-1 Far is inverted next
// (Second); Across = -Second Near First^-1, Down = -First^-1 Far Second, and
// Last = First^-1 + First^-1 Far Second Near First^-1, each product taken as the stepwise
// inversion takes it. False when a closed form fails; All turns false when a step is not ordinary.
struct TQuadSteps {
  TQuad Second, Across, Down, Last;
};
inline bool QuadSteps(const TQuad& First, const TQuad& Near, const TQuad& Far, const TQuad& Other, TQuadSteps& R,
                      bool& All) {
  TQuad Fi;
  if (!QuadInverse(First, Fi)) return false;
  const TQuad S = QuadSum(Other, QuadProduct(QuadProduct(Near, Fi, All), Far, All), -1.0, All);
  if (!All || !QuadInverse(S, R.Second)) return false;
  R.Across = QuadProduct(QuadProduct(QuadNegated(R.Second), Near, All), Fi, All);
  R.Down = QuadProduct(QuadProduct(QuadNegated(Fi), Far, All), R.Second, All);
  const TQuad t = QuadProduct(QuadProduct(QuadProduct(QuadProduct(Fi, Far, All), R.Second, All), Near, All), Fi, All);
  R.Last = QuadSum(Fi, t, 1.0, All);
  return true;
}

template <int Cap>
bool InvertQuadrants4(const TSmallMatrix<Cap>& M, TSmallMatrix<Cap>& Inv, bool AlternateInversion) {
  float Rows[4][4];
  for (int32_t i = 0; i < 4; ++i)
    for (int32_t j = 0; j < 4; ++j) Rows[i][j] = M[i][j];
  const TQuad A = QuadOf(Rows, 0, 0), B = QuadOf(Rows, 0, 2), C = QuadOf(Rows, 2, 0), D = QuadOf(Rows, 2, 2);
  bool All = true;
  TQuadSteps Steps;
  TQuad tl, tr, bl, br;
  // The bottom-right quadrant first, or the top-left one.
  if (AlternateInversion) {
    if (!QuadSteps(D, B, C, A, Steps, All)) return false;
    tl = Steps.Second, tr = Steps.Across, bl = Steps.Down, br = Steps.Last;
  } else {
    if (!QuadSteps(A, C, B, D, Steps, All)) return false;
    br = Steps.Second, bl = Steps.Across, tr = Steps.Down, tl = Steps.Last;
  }
  if (!All) return false;
  TSmallMatrix<Cap> R(4, 4);
  for (int32_t i = 0; i < 2; ++i)
    for (int32_t j = 0; j < 2; ++j) {
      R[i][j] = tl.V[i][j];
      R[i][j + 2] = tr.V[i][j];
      R[i + 2][j] = bl.V[i][j];
      R[i + 2][j + 2] = br.V[i][j];
    }
  Inv = R;
  return true;
}

// Eight 4 x 4 matrices side by side, one to a lane of AVX2 registers: the inverse of each as
// InvertQuadrants4 finds it, and its product with the column X as ColumnProductOrdinary4 finds
// it. Every step of the quadrant inversion is taken in double, and a matrix is answered only
// where each step stores the float the stepwise inversion stores (the 2 x 2 inverses within a few
// units of their last place of a point halfway between two floats, or outside the normal floats,
// are not). Bits 0-7 of the answer name the matrices whose inverse was found so (Inv[l] holds
// it), bits 8-15 those whose product was found too (Product[l] holds it); the rest are left to
// InvertSmall and the stepwise product. Only where HasAvx2Kernels(); elsewhere it answers 0.
uint32_t InvertLanes8(const TSmallMatrix<4> (&M)[8], const float* X, bool AlternateInversion, float (&Inv)[8][4][4],
                      float (&Product)[8][4]);
bool HasAvx2Kernels();

}  // namespace small_matrix

// InvertMatrix of a square M: SmallQuadrants and AlternateInversion are the settings
// MxSmallQuadrants and MxAlternateInversion. Inv is written only on success.
template <int Cap>
bool InvertSmall(const TSmallMatrix<Cap>& M, TSmallMatrix<Cap>& Inv, bool SmallQuadrants, bool AlternateInversion) {
  using namespace small_matrix;
  const int32_t n = M.Rows;
  if (n != M.Cols || n == 0) return false;
  if (n == 1) return Invert1(M, Inv);
  if (n == 2) return Invert2(M, Inv);
  if (n == 3) return Invert3(M, Inv);
  const int32_t Half = n / 2;
  const int32_t Top = (SmallQuadrants ? Half - 1 : Half) + 1;  // rows and columns of the top-left block
  if (n == 4 && Top == 2 && InvertQuadrants4(M, Inv, AlternateInversion)) return true;
  TSmallMatrix<Cap> A, B, C, D;
  Block(M, 0, Top, 0, Top, A);
  Block(M, 0, Top, Top, n - Top, B);
  Block(M, Top, n - Top, 0, Top, C);
  Block(M, Top, n - Top, Top, n - Top, D);
  TSmallMatrix<Cap> tl, tr, bl, br, t1, t2, t3;
  if (AlternateInversion) {
    // Bottom-right block first.
    TSmallMatrix<Cap> Di;
    if (!InvertSmall(D, Di, SmallQuadrants, AlternateInversion) || !Multiply(B, Di, t1) || !Multiply(t1, C, t2) ||
        !Subtract(A, t2, t3) || !InvertSmall(t3, tl, SmallQuadrants, AlternateInversion) || !Negate(tl, t1) ||
        !Multiply(t1, B, t2) || !Multiply(t2, Di, tr) || !Negate(Di, t1) || !Multiply(t1, C, t2) ||
        !Multiply(t2, tl, bl) || !Multiply(Di, C, t1) || !Multiply(t1, tl, t2) || !Multiply(t2, B, t3) ||
        !Multiply(t3, Di, t1) || !Add(Di, t1, br))
      return false;
  } else {
    // Top-left block first.
    TSmallMatrix<Cap> Ai;
    if (!InvertSmall(A, Ai, SmallQuadrants, AlternateInversion) || !Multiply(C, Ai, t1) || !Multiply(t1, B, t2) ||
        !Subtract(D, t2, t3) || !InvertSmall(t3, br, SmallQuadrants, AlternateInversion) || !Negate(br, t1) ||
        !Multiply(t1, C, t2) || !Multiply(t2, Ai, bl) || !Negate(Ai, t1) || !Multiply(t1, B, t2) ||
        !Multiply(t2, br, tr) || !Multiply(Ai, B, t1) || !Multiply(t1, br, t2) || !Multiply(t2, C, t3) ||
        !Multiply(t3, Ai, t1) || !Add(Ai, t1, tl))
      return false;
  }
  TSmallMatrix<Cap> R(n, n);
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j)
      R[i][j] = i < Top ? (j < Top ? tl[i][j] : tr[i][j - Top]) : (j < Top ? bl[i - Top][j] : br[i - Top][j - Top]);
  Inv = R;
  return true;
}

}  // namespace qv
