#include "SmallMatrix.h"

#include "Vectors.h"

#if QV_X86_KERNELS
#include <immintrin.h>
#endif

namespace qv::small_matrix {

#if QV_X86_KERNELS
namespace {

#define QV_AVX2 __attribute__((target("avx2"), always_inline)) inline

// Entry (i, j) of a 2 x 2 quadrant of four matrices, matrix l in lane l, each a float held as
// the double it is.
struct TLaneQuad {
  __m256d E[2][2];
};

QV_AVX2 __m256d RoundToFloat(__m256d V) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(V)); }
QV_AVX2 __m256d IsZero(__m256d V) { return _mm256_cmp_pd(V, _mm256_setzero_pd(), _CMP_EQ_OQ); }
QV_AVX2 __m256d AllLanes() { return _mm256_castsi256_pd(_mm256_set1_epi64x(-1)); }

// InRange and Ordinary, lane by lane.
QV_AVX2 __m256d InRangeLanes(__m256d Value) {
  const __m256d Magnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), Value);
  const __m256d Normal = _mm256_and_pd(_mm256_cmp_pd(Magnitude, _mm256_set1_pd(0x1.0p-126), _CMP_GE_OQ),
                                       _mm256_cmp_pd(Magnitude, _mm256_set1_pd(0x1.ffffffp127), _CMP_LT_OQ));
  return _mm256_or_pd(Normal, IsZero(Value));
}
QV_AVX2 __m256i LowBits(__m256d Value) {
  return _mm256_and_si256(_mm256_castpd_si256(Value), _mm256_set1_epi64x(0x1FFFFFFF));
}
QV_AVX2 __m256d OrdinaryLanes(__m256d Value) {
  const __m256d Halfway = _mm256_castsi256_pd(_mm256_cmpeq_epi64(LowBits(Value), _mm256_set1_epi64x(0x10000000)));
  return _mm256_or_pd(_mm256_andnot_pd(Halfway, InRangeLanes(Value)), IsZero(Value));
}
// Not fp::NearFloatMidpoint(Value, Ulps), or zero.
QV_AVX2 __m256d FarFromMidpointLanes(__m256d Value, int64_t Ulps) {
  const __m256i Offset = _mm256_sub_epi64(LowBits(Value), _mm256_set1_epi64x((int64_t{1} << 28) - Ulps));
  const __m256i Far = _mm256_or_si256(_mm256_cmpgt_epi64(_mm256_setzero_si256(), Offset),
                                      _mm256_cmpgt_epi64(Offset, _mm256_set1_epi64x(2 * Ulps)));
  return _mm256_or_pd(_mm256_and_pd(_mm256_castsi256_pd(Far), InRangeLanes(Value)), IsZero(Value));
}

QV_AVX2 TLaneQuad Product(const TLaneQuad& A, const TLaneQuad& B, __m256d& Fine) {
  TLaneQuad R;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      const __m256d High = _mm256_add_pd(_mm256_mul_pd(A.E[i][1], B.E[1][j]), _mm256_setzero_pd());
      const __m256d Value = _mm256_add_pd(_mm256_mul_pd(A.E[i][0], B.E[0][j]), RoundToFloat(High));
      Fine = _mm256_and_pd(Fine, _mm256_and_pd(InRangeLanes(High), OrdinaryLanes(Value)));
      R.E[i][j] = RoundToFloat(Value);
    }
  return R;
}

QV_AVX2 TLaneQuad Sum(const TLaneQuad& A, const TLaneQuad& B, double Sign, __m256d& Fine) {
  TLaneQuad R;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      const __m256d Value = _mm256_add_pd(A.E[i][j], _mm256_mul_pd(_mm256_set1_pd(Sign), B.E[i][j]));
      Fine = _mm256_and_pd(Fine, InRangeLanes(Value));
      R.E[i][j] = RoundToFloat(Value);
    }
  return R;
}

QV_AVX2 __m256d Negated(__m256d V) { return _mm256_xor_pd(V, _mm256_set1_pd(-0.0)); }
QV_AVX2 TLaneQuad Negated(const TLaneQuad& A) {
  return {{{Negated(A.E[0][0]), Negated(A.E[0][1])}, {Negated(A.E[1][0]), Negated(A.E[1][1])}}};
}

// QuadInverse in double. The determinant is a difference of two exact products rounded once,
// stored as Store stores the extended one unless it lies halfway between two floats. Each entry
// takes two roundings (of 1 / det and of the product), so it lies within two units of its last
// place of the exact quotient, and the extended one far closer: both round to the same float
// unless the double lies within a few units of a point halfway between two floats.
QV_AVX2 TLaneQuad Inverse(const TLaneQuad& M, __m256d& Fine) {
  const __m256d a = M.E[0][0], b = M.E[0][1], c = M.E[1][0], d = M.E[1][1];
  const __m256d Det = _mm256_sub_pd(_mm256_mul_pd(a, d), _mm256_mul_pd(b, c));
  Fine = _mm256_and_pd(Fine, OrdinaryLanes(Det));
  const __m256d Stored = RoundToFloat(Det);
  const __m256d Factor = _mm256_andnot_pd(IsZero(Stored), _mm256_div_pd(_mm256_set1_pd(1.0), Stored));
  TLaneQuad R;
  const __m256d Entries[2][2] = {{d, Negated(b)}, {Negated(c), a}};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      const __m256d Value = _mm256_mul_pd(Factor, Entries[i][j]);
      Fine = _mm256_and_pd(Fine, FarFromMidpointLanes(Value, 8));
      R.E[i][j] = RoundToFloat(Value);
    }
  return R;
}

// QuadSteps: Second, Across, Down and Last in R.
QV_AVX2 void Steps(const TLaneQuad& First, const TLaneQuad& Near, const TLaneQuad& Far, const TLaneQuad& Other,
                   TLaneQuad (&R)[4], __m256d& Fine) {
  const TLaneQuad Fi = Inverse(First, Fine);
  R[0] = Inverse(Sum(Other, Product(Product(Near, Fi, Fine), Far, Fine), -1.0, Fine), Fine);
  R[1] = Product(Product(Negated(R[0]), Near, Fine), Fi, Fine);
  R[2] = Product(Product(Negated(Fi), Far, Fine), R[0], Fine);
  const TLaneQuad t = Product(Product(Product(Product(Fi, Far, Fine), R[0], Fine), Near, Fine), Fi, Fine);
  R[3] = Sum(Fi, t, 1.0, Fine);
}

QV_AVX2 void Transpose(__m128& A, __m128& B, __m128& C, __m128& D) { _MM_TRANSPOSE4_PS(A, B, C, D); }

#undef QV_AVX2

}  // namespace

__attribute__((target("avx2"))) uint32_t InvertLanes4(const TSmallMatrix<4> (&M)[4], const float* X,
                                                      bool AlternateInversion, float (&Inv)[4][4][4],
                                                      float (&Product)[4][4]) {
  // Entry (i, j) of the four matrices, one to a lane.
  __m256d E[4][4];
  for (int i = 0; i < 4; ++i) {
    __m128 Row[4];
    for (int l = 0; l < 4; ++l) Row[l] = _mm_loadu_ps(M[l][i]);
    Transpose(Row[0], Row[1], Row[2], Row[3]);
    for (int j = 0; j < 4; ++j) E[i][j] = _mm256_cvtps_pd(Row[j]);
  }
  const auto QuadAt = [&](int Row, int Col) {
    return TLaneQuad{{{E[Row][Col], E[Row][Col + 1]}, {E[Row + 1][Col], E[Row + 1][Col + 1]}}};
  };
  const TLaneQuad A = QuadAt(0, 0), B = QuadAt(0, 2), C = QuadAt(2, 0), D = QuadAt(2, 2);
  __m256d Fine = AllLanes();
  TLaneQuad R[4];
  TLaneQuad tl, tr, bl, br;
  // The bottom-right quadrant first, or the top-left one.
  if (AlternateInversion) {
    Steps(D, B, C, A, R, Fine);
    tl = R[0], tr = R[1], bl = R[2], br = R[3];
  } else {
    Steps(A, C, B, D, R, Fine);
    br = R[0], bl = R[1], tr = R[2], tl = R[3];
  }
  const TLaneQuad* Quads[2][2] = {{&tl, &tr}, {&bl, &br}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) E[i][j] = Quads[i / 2][j / 2]->E[i % 2][j % 2];
  // The product with X, each row summed from the last term to the first.
  __m256d Stored = Fine;
  __m128 Column[4];
  for (int i = 0; i < 4; ++i) {
    __m256d Total = _mm256_setzero_pd();
    for (int k = 3; k >= 0; --k) {
      const __m256d Value = _mm256_add_pd(_mm256_mul_pd(E[i][k], _mm256_set1_pd(X[k])), Total);
      Stored = _mm256_and_pd(Stored, OrdinaryLanes(Value));
      Total = RoundToFloat(Value);
    }
    Column[i] = _mm256_cvtpd_ps(Total);
  }
  Transpose(Column[0], Column[1], Column[2], Column[3]);
  for (int l = 0; l < 4; ++l) _mm_storeu_ps(Product[l], Column[l]);
  for (int i = 0; i < 4; ++i) {
    __m128 Row[4];
    for (int j = 0; j < 4; ++j) Row[j] = _mm256_cvtpd_ps(E[i][j]);
    Transpose(Row[0], Row[1], Row[2], Row[3]);
    for (int l = 0; l < 4; ++l) _mm_storeu_ps(Inv[l][i], Row[l]);
  }
  return static_cast<uint32_t>(_mm256_movemask_pd(Fine)) | static_cast<uint32_t>(_mm256_movemask_pd(Stored)) << 4;
}

bool HasAvx2Kernels() {
  static const bool Avx2 = __builtin_cpu_supports("avx2");
  return Avx2;
}
#else
uint32_t InvertLanes4(const TSmallMatrix<4> (&)[4], const float*, bool, float (&)[4][4][4], float (&)[4][4]) {
  return 0;
}
bool HasAvx2Kernels() { return false; }
#endif

}  // namespace qv::small_matrix
