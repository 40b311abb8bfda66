#include "SmallMatrix.h"

#include "Vectors.h"

#include <cmath>

#if QV_X86_KERNELS
#include <immintrin.h>
#endif

namespace qv::small_matrix {

#if QV_X86_KERNELS
namespace {

#define QV_AVX2 __attribute__((target("avx2"), always_inline)) inline

// Entry (i, j) of a 2 x 2 quadrant of eight matrices, matrix 4 g + l in lane l of E[i][j][g],
// each a float held as the double it is. The two groups of four have chains of steps of their
// own, which the processor runs side by side.
constexpr int Groups = 2;
struct TLaneQuad {
  __m256d E[2][2][Groups];
};

QV_AVX2 __m256d RoundToFloat(__m256d V) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(V)); }
QV_AVX2 __m256d Negated(__m256d V) { return _mm256_xor_pd(V, _mm256_set1_pd(-0.0)); }

// What the values of a chain of steps must be, lane by lane, for every step to store as the
// stepwise routine stores: below the rounding to infinity, zero or not below the normal floats,
// and not halfway between two floats (Ordinary). Gathered over the chain and judged at its end:
// the largest magnitude, the smallest one that is not zero, and any value found halfway or near.
struct TChecks {
  __m256d Largest, Smallest, Near;
};
QV_AVX2 TChecks NoChecks() { return {_mm256_setzero_pd(), _mm256_set1_pd(INFINITY), _mm256_setzero_pd()}; }
QV_AVX2 void NoteRange(TChecks& C, __m256d Value) {
  const __m256d Magnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), Value);
  // A NaN comes only after an infinity, which the largest keeps.
  C.Largest = _mm256_max_pd(Magnitude, C.Largest);
  const __m256d Zero = _mm256_cmp_pd(Magnitude, _mm256_setzero_pd(), _CMP_EQ_OQ);
  C.Smallest = _mm256_min_pd(_mm256_blendv_pd(Magnitude, _mm256_set1_pd(INFINITY), Zero), C.Smallest);
}
QV_AVX2 __m256i LowBits(__m256d Value) {
  return _mm256_and_si256(_mm256_castpd_si256(Value), _mm256_set1_epi64x(0x1FFFFFFF));
}
// Ordinary: a double that one rounding gave from the exact value rounds to its float unless it
// lies exactly halfway.
QV_AVX2 void NoteOrdinary(TChecks& C, __m256d Value) {
  NoteRange(C, Value);
  const __m256i Halfway = _mm256_cmpeq_epi64(LowBits(Value), _mm256_set1_epi64x(0x10000000));
  C.Near = _mm256_or_pd(C.Near, _mm256_castsi256_pd(Halfway));
}
// Not within Ulps units of the last place of a point halfway between two floats.
QV_AVX2 void NoteFarFromMidpoint(TChecks& C, __m256d Value, int64_t Ulps) {
  NoteRange(C, Value);
  const __m256i Offset = _mm256_sub_epi64(LowBits(Value), _mm256_set1_epi64x((int64_t{1} << 28) - Ulps));
  const __m256i Near = _mm256_andnot_si256(_mm256_cmpgt_epi64(_mm256_setzero_si256(), Offset),
                                          _mm256_cmpgt_epi64(_mm256_set1_epi64x(2 * Ulps + 1), Offset));
  C.Near = _mm256_or_pd(C.Near, _mm256_castsi256_pd(Near));
}
// The lanes whose every value noted was fine.
QV_AVX2 int FineLanes(const TChecks& C) {
  const __m256d Fine = _mm256_and_pd(_mm256_cmp_pd(C.Largest, _mm256_set1_pd(0x1.ffffffp127), _CMP_LT_OQ),
                                     _mm256_cmp_pd(C.Smallest, _mm256_set1_pd(0x1.0p-126), _CMP_GE_OQ));
  return _mm256_movemask_pd(_mm256_andnot_pd(C.Near, Fine));
}
using TGroupChecks = TChecks[Groups];

// The first step of each entry, a product of two floats, is exact (in range as QuadProduct takes
// it); the second rounds once in double.
QV_AVX2 TLaneQuad Product(const TLaneQuad& A, const TLaneQuad& B, TGroupChecks& C) {
  TLaneQuad R;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      for (int g = 0; g < Groups; ++g) {
        const __m256d High = _mm256_add_pd(_mm256_mul_pd(A.E[i][1][g], B.E[1][j][g]), _mm256_setzero_pd());
        const __m256d Value = _mm256_add_pd(_mm256_mul_pd(A.E[i][0][g], B.E[0][j][g]), RoundToFloat(High));
        NoteRange(C[g], High);
        NoteOrdinary(C[g], Value);
        R.E[i][j][g] = RoundToFloat(Value);
      }
  return R;
}

// A sum or difference of two floats in double rounds to its float as the exact one does
// (InRange).
QV_AVX2 TLaneQuad Sum(const TLaneQuad& A, const TLaneQuad& B, double Sign, TGroupChecks& C) {
  TLaneQuad R;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      for (int g = 0; g < Groups; ++g) {
        const __m256d Value = _mm256_add_pd(A.E[i][j][g], _mm256_mul_pd(_mm256_set1_pd(Sign), B.E[i][j][g]));
        NoteRange(C[g], Value);
        R.E[i][j][g] = RoundToFloat(Value);
      }
  return R;
}

QV_AVX2 TLaneQuad Negated(const TLaneQuad& A) {
  TLaneQuad R;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      for (int g = 0; g < Groups; ++g) R.E[i][j][g] = Negated(A.E[i][j][g]);
  return R;
}

// QuadInverse in double. The determinant is a difference of two exact products rounded once
// (Ordinary). Each entry takes two roundings (of 1 / det and of the product), so it lies within
// two units of its last place of the exact quotient, and the extended one far closer: both round
// to the same float unless the double lies within a few units of a point halfway between two
// floats.
QV_AVX2 TLaneQuad Inverse(const TLaneQuad& M, TGroupChecks& C) {
  TLaneQuad R;
  for (int g = 0; g < Groups; ++g) {
    const __m256d a = M.E[0][0][g], b = M.E[0][1][g], c = M.E[1][0][g], d = M.E[1][1][g];
    const __m256d Det = _mm256_sub_pd(_mm256_mul_pd(a, d), _mm256_mul_pd(b, c));
    NoteOrdinary(C[g], Det);
    const __m256d Stored = RoundToFloat(Det);
    const __m256d Zero = _mm256_cmp_pd(Stored, _mm256_setzero_pd(), _CMP_EQ_OQ);
    const __m256d Factor = _mm256_andnot_pd(Zero, _mm256_div_pd(_mm256_set1_pd(1.0), Stored));
    const __m256d Entries[2][2] = {{d, Negated(b)}, {Negated(c), a}};
    for (int i = 0; i < 2; ++i)
      for (int j = 0; j < 2; ++j) {
        const __m256d Value = _mm256_mul_pd(Factor, Entries[i][j]);
        NoteFarFromMidpoint(C[g], Value, 8);
        R.E[i][j][g] = RoundToFloat(Value);
      }
  }
  return R;
}

// QuadSteps: Second, Across, Down and Last in R.
QV_AVX2 void Steps(const TLaneQuad& First, const TLaneQuad& Near, const TLaneQuad& Far, const TLaneQuad& Other,
                   TLaneQuad (&R)[4], TGroupChecks& C) {
  const TLaneQuad Fi = Inverse(First, C);
  R[0] = Inverse(Sum(Other, Product(Product(Near, Fi, C), Far, C), -1.0, C), C);
  R[1] = Product(Product(Negated(R[0]), Near, C), Fi, C);
  R[2] = Product(Product(Negated(Fi), Far, C), R[0], C);
  const TLaneQuad t = Product(Product(Product(Product(Fi, Far, C), R[0], C), Near, C), Fi, C);
  R[3] = Sum(Fi, t, 1.0, C);
}

QV_AVX2 void Transpose(__m128& A, __m128& B, __m128& C, __m128& D) { _MM_TRANSPOSE4_PS(A, B, C, D); }

#undef QV_AVX2

}  // namespace

__attribute__((target("avx2"))) uint32_t InvertLanes8(const TSmallMatrix<4> (&M)[8], const float* X,
                                                      bool AlternateInversion, float (&Inv)[8][4][4],
                                                      float (&Product)[8][4]) {
  // Entry (i, j) of the eight matrices, four to a register.
  __m256d E[4][4][Groups];
  for (int g = 0; g < Groups; ++g)
    for (int i = 0; i < 4; ++i) {
      __m128 Row[4];
      for (int l = 0; l < 4; ++l) Row[l] = _mm_loadu_ps(M[4 * g + l][i]);
      Transpose(Row[0], Row[1], Row[2], Row[3]);
      for (int j = 0; j < 4; ++j) E[i][j][g] = _mm256_cvtps_pd(Row[j]);
    }
  const auto QuadAt = [&](int Row, int Col) {
    TLaneQuad Q;
    for (int i = 0; i < 2; ++i)
      for (int j = 0; j < 2; ++j)
        for (int g = 0; g < Groups; ++g) Q.E[i][j][g] = E[Row + i][Col + j][g];
    return Q;
  };
  const TLaneQuad A = QuadAt(0, 0), B = QuadAt(0, 2), C = QuadAt(2, 0), D = QuadAt(2, 2);
  TGroupChecks Checks = {NoChecks(), NoChecks()};
  TLaneQuad R[4];
  TLaneQuad tl, tr, bl, br;
  // The bottom-right quadrant first, or the top-left one.
  if (AlternateInversion) {
    Steps(D, B, C, A, R, Checks);
    tl = R[0], tr = R[1], bl = R[2], br = R[3];
  } else {
    Steps(A, C, B, D, R, Checks);
    br = R[0], bl = R[1], tr = R[2], tl = R[3];
  }
  const TLaneQuad* Quads[2][2] = {{&tl, &tr}, {&bl, &br}};
  uint32_t Done = 0;
  for (int g = 0; g < Groups; ++g) {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) E[i][j][g] = Quads[i / 2][j / 2]->E[i % 2][j % 2][g];
    // The product with X, each row summed from the last term to the first (a float product plus
    // a float rounds once in double).
    TChecks Stored = NoChecks();
    __m128 Column[4];
    for (int i = 0; i < 4; ++i) {
      __m256d Total = _mm256_setzero_pd();
      for (int k = 3; k >= 0; --k) {
        const __m256d Value = _mm256_add_pd(_mm256_mul_pd(E[i][k][g], _mm256_set1_pd(X[k])), Total);
        NoteOrdinary(Stored, Value);
        Total = RoundToFloat(Value);
      }
      Column[i] = _mm256_cvtpd_ps(Total);
    }
    Transpose(Column[0], Column[1], Column[2], Column[3]);
    for (int l = 0; l < 4; ++l) _mm_storeu_ps(Product[4 * g + l], Column[l]);
    for (int i = 0; i < 4; ++i) {
      __m128 Row[4];
      for (int j = 0; j < 4; ++j) Row[j] = _mm256_cvtpd_ps(E[i][j][g]);
      Transpose(Row[0], Row[1], Row[2], Row[3]);
      for (int l = 0; l < 4; ++l) _mm_storeu_ps(Inv[4 * g + l][i], Row[l]);
    }
    const uint32_t Inverted = static_cast<uint32_t>(FineLanes(Checks[g]));
    Done |= Inverted << (4 * g) | (Inverted & static_cast<uint32_t>(FineLanes(Stored))) << (8 + 4 * g);
  }
  return Done;
}

bool HasAvx2Kernels() {
  static const bool Avx2 = __builtin_cpu_supports("avx2");
  return Avx2;
}
#else
uint32_t InvertLanes8(const TSmallMatrix<4> (&)[8], const float*, bool, float (&)[8][4][4], float (&)[8][4]) {
  return 0;
}
bool HasAvx2Kernels() { return false; }
#endif

}  // namespace qv::small_matrix
