// The stack matrices invert as InvertMatrix does, bit for bit and failure for failure, under
// every setting of the block inversion.
#include <gtest/gtest.h>

#include <cmath>

#include "Globals.h"
#include "LinearAlgebra.h"
#include "Random.h"
#include "ScopedValue.h"
#include "SmallMatrix.h"

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

TEST(SmallMatrix, InvertsAsTheBlockMethodOfEverySize) {
  Randomize(11);
  for (int32_t N = 1; N <= 4; ++N) ExpectAsGeneric<4>(N);
  for (int32_t N = 5; N <= 8; ++N) ExpectAsGeneric<8>(N);
  for (int32_t N : {9, 12, 15}) ExpectAsGeneric<15>(N);
}

}  // namespace
}  // namespace qv
