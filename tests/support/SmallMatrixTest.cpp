// The stack matrices invert as InvertMatrix does, bit for bit and failure for failure, under
// every setting of the block inversion.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <iterator>

#include "Globals.h"
#include "LinearAlgebra.h"
#include "Random.h"
#include "ScopedValue.h"
#include "SmallMatrix.h"
#include "Statistics.h"

namespace qv {
namespace {

using test::ScopedValue;

template <int Cap>
TSmallMatrix<Cap> Small(const TMatrix& M) {
  TSmallMatrix<Cap> S(static_cast<int32_t>(M.size()), static_cast<int32_t>(M.size()));
  for (size_t i = 0; i < M.size(); ++i)
    for (size_t j = 0; j < M.size(); ++j) S[static_cast<int32_t>(i)][static_cast<int32_t>(j)] = M[i][j];
  return S;
}

// Spill-over-like matrices, with rows and blocks made singular or huge now and then.
TMatrix Sample(int32_t N, int Kind) {
  TMatrix M(N, TSglArray(N));
  for (int32_t i = 0; i < N; ++i)
    for (int32_t j = 0; j < N; ++j) M[i][j] = i == j ? static_cast<float>(0.5 + Random01()) : static_cast<float>(0.3 * Random01() - 0.05);
  if (N < 2 && Kind != 2) Kind = 0;
  switch (Kind) {
    case 1: M[N - 1] = M[N - 2]; break;                        // singular
    case 2: for (auto& Row : M) Row[0] = 0; break;               // a zero column
    case 3: M[0][0] = 3e38f; M[1][1] = 3e38f; break;           // overflows
    case 4: M[N - 1][N - 1] = 0; M[N - 1][N - 2] = 0; M[N - 2][N - 1] = 0; M[N - 2][N - 2] = 0; break;
    case 5: M[0][1] = 1e-30f; M[1][0] = 1e30f; break;
    default: break;
  }
  return M;
}

template <int Cap>
void ExpectAsGeneric(int32_t N) {
  for (bool SmallQuadrants : {false, true})
    for (bool Alternate : {false, true}) {
      ScopedValue<bool> A(MxSmallQuadrants, SmallQuadrants), B(MxAlternateInversion, Alternate);
      for (int k = 0; k < 60; ++k) {
        const TMatrix M = Sample(N, k % 6);
        TMatrix Expected;
        const bool Ok = InvertMatrix(M, Expected) == MxOk;
        TSmallMatrix<Cap> Got;
        ASSERT_EQ(InvertSmall(Small<Cap>(M), Got, SmallQuadrants, Alternate), Ok)
            << "n " << N << " kind " << k % 6 << " settings " << SmallQuadrants << Alternate;
        if (!Ok) continue;
        for (int32_t i = 0; i < N; ++i)
          for (int32_t j = 0; j < N; ++j) {
            // Bits, so that zeros of either sign and every last digit count.
            ASSERT_EQ(std::signbit(Got[i][j]), std::signbit(Expected[i][j]));
            ASSERT_EQ(Got[i][j], Expected[i][j]) << "n " << N << " at " << i << "," << j;
          }
      }
    }
}

TEST(SmallMatrix, ProductSumsThatRoundInDoubleOntoAMidpoint) {
  // a = 2^-13 + k 2^-36 and b = 2^-13 - k 2^-36 give a b = 2^-26 - k^2 2^-72; added to a float c of
  // [0.25, 0.5) with an odd last digit, the double sum is the midpoint above c and rounds to even
  // (up), the exact and extended sums lie just below it and round down to c.
  int Traps = 0;
  for (int32_t k = 8; k < 362; ++k)
    for (float c : {0.25f + std::ldexp(1.0f, -25), 0.3f, 0.4999999f}) {
      const float a = std::ldexp(1.0f, -13) + std::ldexp(static_cast<float>(k), -36);
      const float b = std::ldexp(1.0f, -13) - std::ldexp(static_cast<float>(k), -36);
      float Expected = 0, Got = 0;
      ASSERT_TRUE(small_matrix::Store(Extended(a) * b + c, Expected));
      Traps += static_cast<float>(static_cast<double>(a) * b + c) != Expected;
      ASSERT_TRUE(small_matrix::StoreProductSum(a, b, c, Got));
      ASSERT_EQ(Got, Expected) << k << " " << c;
    }
  EXPECT_GT(Traps, 300);
  // Around the largest float: fails exactly where the extended store fails.
  for (int32_t k = -40; k <= 40; ++k) {
    const float c = static_cast<float>(k) * 1e30f;
    float Expected = 0, Got = 0;
    const bool Ok = small_matrix::Store(Extended(FLT_MAX) * 1.0f + c, Expected);
    ASSERT_EQ(small_matrix::StoreProductSum(FLT_MAX, 1.0f, c, Got), Ok) << k;
    if (Ok) {
      ASSERT_EQ(Got, Expected);
    }
  }
}

TEST(SmallMatrix, ProductsOfTwoByTwoBlocksAsStepByStep) {
  // Entries that send some step of a product off the ordinary path: a midpoint trap (a b + c),
  // zeros of both signs, values whose products leave the float range or fall below its normal
  // numbers, and plain ones.
  const float a = std::ldexp(1.0f, -13) + std::ldexp(40.0f, -36), b = std::ldexp(1.0f, -13) - std::ldexp(40.0f, -36);
  const float Pool[] = {a, b, 0.25f + std::ldexp(1.0f, -25), 0.3f, 1.0f, 0.0f, -0.0f, 1e-30f, -1e-25f, 1e-40f, 1e30f, -3e38f, FLT_MAX, 0.75f, -1.5f};
  Randomize(12);
  int Failed = 0, Checked = 0;
  for (int k = 0; k < 200000; ++k) {
    TSmallMatrix<4> A(2, 2), B(2, 2), Got, Expected;
    for (int32_t i = 0; i < 2; ++i)
      for (int32_t j = 0; j < 2; ++j) {
        A[i][j] = Pool[RandomInt(std::size(Pool))];
        B[i][j] = Pool[RandomInt(std::size(Pool))];
      }
    const bool Ok = small_matrix::MultiplyStepwise(A, B, Expected);
    ASSERT_EQ(small_matrix::Multiply(A, B, Got), Ok) << k;
    Failed += !Ok;
    if (!Ok) continue;
    ++Checked;
    ASSERT_EQ(Got.Rows, 2);
    ASSERT_EQ(Got.Cols, 2);
    for (int32_t i = 0; i < 2; ++i)
      for (int32_t j = 0; j < 2; ++j) {
        ASSERT_EQ(std::signbit(Got[i][j]), std::signbit(Expected[i][j])) << k;
        ASSERT_EQ(Got[i][j], Expected[i][j]) << k;
      }
  }
  EXPECT_GT(Failed, 1000);
  EXPECT_GT(Checked, 100000);
  // The trap itself: c (odd last digit) in the second column of A with a 1 below it in B puts c
  // into the sum first.
  const float c = 0.25f + std::ldexp(1.0f, -25);
  TSmallMatrix<4> A(2, 2), B(2, 2), Got, Expected;
  A[0][0] = a, A[0][1] = c, A[1][0] = 1, A[1][1] = 1;
  B[0][0] = b, B[0][1] = 1, B[1][0] = 1, B[1][1] = 1;
  ASSERT_TRUE(small_matrix::MultiplyStepwise(A, B, Expected));
  ASSERT_TRUE(small_matrix::Multiply(A, B, Got));
  EXPECT_EQ(Got[0][0], Expected[0][0]);
  EXPECT_NE(Got[0][0], static_cast<float>(static_cast<double>(a) * b + c));
}

// The 4 x 4 inversion with its quadrants in registers gives InvertMatrix's floats, bit for bit,
// whenever it answers; where InvertMatrix fails it never answers. Spill-over matrices as the
// dynamic trials perturb them, and matrices of entries that send steps off the ordinary path.
TEST(SmallMatrix, FourByFourQuadrantsAsTheBlockMethod) {
  const float a = std::ldexp(1.0f, -13) + std::ldexp(40.0f, -36), b = std::ldexp(1.0f, -13) - std::ldexp(40.0f, -36);
  const float Pool[] = {a, b, 0.25f + std::ldexp(1.0f, -25), 0.3f, 1.0f, 0.0f, -0.0f, 1e-30f, -1e-25f, 1e-40f, 1e30f, -3e38f, 0.75f, -1.5f};
  Randomize(13);
  ScopedValue<bool> Small4(MxSmallQuadrants, true);
  int Answered = 0, Declined = 0;
  for (bool Alternate : {false, true}) {
    ScopedValue<bool> Order(MxAlternateInversion, Alternate);
    for (int k = 0; k < 15000; ++k) {
      TMatrix M(4, TSglArray(4));
      for (int32_t i = 0; i < 4; ++i)
        for (int32_t j = 0; j < 4; ++j)
          // Dyadic entries (few bits) make sums that fall exactly between two floats.
          M[i][j] = k % 4 == 3   ? Pool[RandomInt(std::size(Pool))]
                    : k % 4 == 2 ? std::ldexp(static_cast<float>(RandomInt(64) + (i == j ? 64 : 0)), -RandomInt(30))
                                 : static_cast<float>((i == j ? 1.0 : 0.02 * (i + j + 2)) + 0.01 * GaussRandom());
      TMatrix Expected;
      const bool Ok = InvertMatrix(M, Expected) == MxOk;
      TSmallMatrix<4> Got;
      if (!small_matrix::InvertQuadrants4(Small<4>(M), Got, Alternate)) {
        ++Declined;
        continue;
      }
      ++Answered;
      ASSERT_TRUE(Ok) << k;
      for (int32_t i = 0; i < 4; ++i)
        for (int32_t j = 0; j < 4; ++j) {
          ASSERT_EQ(std::signbit(Got[i][j]), std::signbit(Expected[i][j])) << k;
          ASSERT_EQ(Got[i][j], Expected[i][j]) << k << " at " << i << "," << j;
        }
    }
  }
  EXPECT_GT(Answered, 20000);
  EXPECT_GT(Declined, 500);
}

// A 4 x 4 matrix times a column, rows side by side, gives the stepwise product's floats whenever
// it answers, with entries that send steps off the ordinary path (midpoint traps, zeros of both
// signs, tiny and huge values) as often as plain ones.
TEST(SmallMatrix, ColumnProductsAsStepByStep) {
  const float a = std::ldexp(1.0f, -13) + std::ldexp(40.0f, -36), b = std::ldexp(1.0f, -13) - std::ldexp(40.0f, -36);
  const float Pool[] = {a, b, 0.25f + std::ldexp(1.0f, -25), 0.3f, 1.0f, 0.0f, -0.0f, 1e-30f, -1e-25f, 1e-40f, 1e30f, -3e38f, FLT_MAX, 0.75f, -1.5f};
  Randomize(14);
  int Answered = 0, Declined = 0;
  for (int k = 0; k < 100000; ++k) {
    TSmallMatrix<4> M(4, 4);
    float X[4];
    for (int32_t i = 0; i < 4; ++i) {
      X[i] = k % 2 ? Pool[RandomInt(std::size(Pool))] : static_cast<float>(1024 * Random01());
      for (int32_t j = 0; j < 4; ++j)
        M[i][j] = k % 2 ? Pool[RandomInt(std::size(Pool))] : static_cast<float>((i == j ? 1.0 : -0.05) + 0.01 * Random01());
    }
    bool Stored = true;
    float Expected[4];
    for (int32_t i = 0; i < 4 && Stored; ++i) {
      float Sum = 0.0f;
      for (int32_t j = 3; j >= 0 && Stored; --j) Stored = small_matrix::StoreProductSum(M[i][j], X[j], Sum, Sum);
      Expected[i] = Sum;
    }
    float Got[4];
    if (!small_matrix::ColumnProductOrdinary4(M, X, Got)) {
      ++Declined;
      continue;
    }
    ++Answered;
    ASSERT_TRUE(Stored) << k;
    for (int32_t i = 0; i < 4; ++i) {
      ASSERT_EQ(std::signbit(Got[i]), std::signbit(Expected[i])) << k;
      ASSERT_EQ(Got[i], Expected[i]) << k << " row " << i;
    }
  }
  EXPECT_GT(Answered, 50000);
  EXPECT_GT(Declined, 10000);
}

TEST(SmallMatrix, InvertsAsTheBlockMethodOfEverySize) {
  Randomize(11);
  for (int32_t N = 1; N <= 4; ++N) ExpectAsGeneric<4>(N);
  for (int32_t N = 5; N <= 8; ++N) ExpectAsGeneric<8>(N);
  for (int32_t N : {9, 12, 15}) ExpectAsGeneric<15>(N);
}

}  // namespace
}  // namespace qv
