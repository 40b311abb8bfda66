#include <gtest/gtest.h>

#include <cmath>

#include "LinearAlgebra.h"

namespace qv {
namespace {

// Restores the two inversion settings after each test that changes them.
class InversionSettings : public ::testing::Test {
 protected:
  void TearDown() override {
    MxSmallQuadrants = true;
    MxAlternateInversion = true;
  }
};

// A well-conditioned, non-symmetric test matrix of size n.
TMatrix TestMatrix(int n) {
  TMatrix m(n, TSglArray(n));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) m[i][j] = i == j ? 4.0f + i : 0.25f * ((i * 7 + j * 3) % 5) - 0.5f;
  return m;
}

TEST(MatrixProduct, ShapesAndValues) {
  const TMatrix a = {{1, 2, 3}, {4, 5, 6}};
  const TMatrix b = {{7, 8}, {9, 10}, {11, 12}};
  TMatrix c;
  ASSERT_EQ(MultiplyMatrix(a, b, c), MxOk);
  EXPECT_EQ(c, (TMatrix{{58, 64}, {139, 154}}));

  TMatrix untouched = {{42}};
  EXPECT_EQ(MultiplyMatrix(a, a, untouched), MxShapeMismatch);
  EXPECT_EQ(untouched, (TMatrix{{42}}));
}

TEST(MatrixProduct, AccumulatesLastToFirstInSinglePrecision) {
  // From the last term: 1, then 1e8 + 1 rounds to 1e8, then -1e8 leaves 0. Any other order or
  // an unrounded accumulator gives 1.
  const TMatrix a = {{-1e8f, 1e8f, 1.0f}};
  const TMatrix b = {{1}, {1}, {1}};
  TMatrix c;
  ASSERT_EQ(MultiplyMatrix(a, b, c), MxOk);
  EXPECT_EQ(c[0][0], 0.0f);
}

TEST(MatrixProduct, ResultMayBeAnInput) {
  TMatrix a = {{1, 2}, {3, 4}};
  ASSERT_EQ(MultiplyMatrix(a, a, a), MxOk);
  EXPECT_EQ(a, (TMatrix{{7, 10}, {15, 22}}));
}

TEST(MatrixArithmetic, OverflowAndRaggedRowsFailWithoutTouchingTheResult) {
  TMatrix out = {{1}};
  EXPECT_EQ(MultiplyMatrix({{1e30f}}, {{1e30f}}, out), MxFailed);
  EXPECT_EQ(ScaleMatrix({{1e30f}}, 1e30f, out), MxFailed);
  EXPECT_EQ(AddMatrix({{3e38f}}, {{3e38f}}, out), MxFailed);
  EXPECT_EQ(out, (TMatrix{{1}}));
  EXPECT_EQ(AddMatrix({{1, 2}, {3}}, {{1, 2}, {3, 4}}, out), MxFailed);
  EXPECT_TRUE(CopyMatrix({{1, 2}, {3}}, out));
  EXPECT_EQ(out, (TMatrix{{1}}));
}

TEST(MatrixArithmetic, AddSubtractScaleCopy) {
  const TMatrix a = {{1, 2}, {3, 4}};
  const TMatrix b = {{0.5f, 0.25f}, {-1, 8}};
  TMatrix c;
  ASSERT_EQ(AddMatrix(a, b, c), MxOk);
  EXPECT_EQ(c, (TMatrix{{1.5f, 2.25f}, {2, 12}}));
  ASSERT_EQ(SubtractMatrix(a, b, c), MxOk);
  EXPECT_EQ(c, (TMatrix{{0.5f, 1.75f}, {4, -4}}));
  EXPECT_EQ(SubtractMatrix(a, {{1, 2}}, c), MxShapeMismatch);
  ASSERT_EQ(ScaleMatrix(a, -2.0f, c), MxOk);
  EXPECT_EQ(c, (TMatrix{{-2, -4}, {-6, -8}}));
  EXPECT_FALSE(CopyMatrix(a, c));
  EXPECT_EQ(c, a);
  TSglArray v;
  EXPECT_FALSE(CopyVector({1, 2, 3}, v));
  EXPECT_EQ(v, (TSglArray{1, 2, 3}));
}

TEST(MatrixShapes, SizesZeroAndIdentity) {
  EXPECT_EQ(MatrixSize({}), std::make_pair(0, 0));
  EXPECT_EQ(MatrixSize({{1, 2, 3}, {4, 5, 6}}), std::make_pair(2, 3));
  TMatrix m = {{5, 6}, {7, 8}};
  ZeroMatrix(3, 2, m);
  EXPECT_EQ(m, (TMatrix{{0, 0}, {0, 0}, {0, 0}}));
  IdentityMatrix(2, m);
  EXPECT_EQ(m, (TMatrix{{1, 0}, {0, 1}}));
  TMatrix like;
  SizeMatrixLike({{1, 2, 3}}, like);
  EXPECT_EQ(MatrixSize(like), std::make_pair(1, 3));
  EXPECT_TRUE(SameMatrixSize(like, {{7, 8, 9}}));
  EXPECT_FALSE(SameMatrixSize(like, {{7, 8}}));
}

TEST(MatrixBlocks, ExtractSplitAndAssemble) {
  const TMatrix m = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  TMatrix block;
  ASSERT_EQ(ExtractBlock(m, 1, 2, 0, 1, block), MxOk);
  EXPECT_EQ(block, (TMatrix{{4, 5}, {7, 8}}));
  EXPECT_EQ(ExtractBlock(m, 0, 3, 0, 1, block), MxShapeMismatch);
  EXPECT_EQ(ExtractBlock(m, 0, 1, 0, 3, block), MxShapeMismatch);

  TMatrix tl, tr, bl, br;
  ASSERT_EQ(SplitQuadrants(m, 0, 1, tl, tr, bl, br), MxOk);
  EXPECT_EQ(tl, (TMatrix{{1, 2}}));
  EXPECT_EQ(tr, (TMatrix{{3}}));
  EXPECT_EQ(bl, (TMatrix{{4, 5}, {7, 8}}));
  EXPECT_EQ(br, (TMatrix{{6}, {9}}));
  EXPECT_EQ(SplitQuadrants(m, 3, 0, tl, tr, bl, br), MxShapeMismatch);

  TMatrix joined;
  ASSERT_EQ(AssembleQuadrants(tl, tr, bl, br, joined), MxOk);
  EXPECT_EQ(joined, m);
  EXPECT_EQ(AssembleQuadrants(tl, tr, bl, {{6}}, joined), MxShapeMismatch);
  EXPECT_EQ(AssembleQuadrants(tl, {{3}, {3}}, bl, br, joined), MxShapeMismatch);
}

TEST(ClosedFormInverse, DiagonalSingularAndThreeByThree) {
  const TMatrix m = {{2, 0}, {0, 4}};
  TMatrix inv;
  ASSERT_EQ(InvertMatrix(m, inv), MxOk);
  EXPECT_EQ(inv, (TMatrix{{0.5f, 0}, {0, 0.25f}}));
  EXPECT_EQ(m, (TMatrix{{2, 0}, {0, 4}}));

  ASSERT_EQ(InvertMatrix({{1, 2}, {2, 4}}, inv), MxOk);
  EXPECT_EQ(inv, (TMatrix{{0, 0}, {0, 0}}));

  ASSERT_EQ(Invert3x3({{2, -1, 0}, {-1, 2, -1}, {0, -1, 2}}, inv), MxOk);
  EXPECT_EQ(inv, (TMatrix{{0.75f, 0.5f, 0.25f}, {0.5f, 1, 0.5f}, {0.25f, 0.5f, 0.75f}}));
  ASSERT_EQ(Invert3x3({{1, 2, 3}, {2, 4, 6}, {0, 1, 1}}, inv), MxOk);
  EXPECT_EQ(inv, (TMatrix(3, TSglArray(3, 0.0f))));

  EXPECT_EQ(Invert2x2({{1, 2, 3}, {4, 5, 6}}, inv), MxShapeMismatch);
  EXPECT_EQ(Invert3x3({{1, 2}, {3, 4}}, inv), MxShapeMismatch);
}

TEST(Inverse, OneByOneAndBadShapes) {
  TMatrix inv = {{9}};
  ASSERT_EQ(InvertMatrix({{4}}, inv), MxOk);
  EXPECT_EQ(inv, (TMatrix{{0.25f}}));
  inv = {{9}};
  EXPECT_EQ(InvertMatrix({{0}}, inv), MxFailed);
  EXPECT_EQ(InvertMatrix({{1e-39f}}, inv), MxFailed);  // 1/a overflows a float
  EXPECT_EQ(InvertMatrix({{1, 2, 3}, {4, 5, 6}}, inv), MxShapeMismatch);
  EXPECT_EQ(InvertMatrix({}, inv), MxShapeMismatch);
  EXPECT_EQ(inv, (TMatrix{{9}}));
}

class InverseBySize : public InversionSettings,
                      public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(InverseBySize, ProductWithInverseIsIdentity) {
  MxSmallQuadrants = std::get<0>(GetParam());
  MxAlternateInversion = std::get<1>(GetParam());
  for (int n = 2; n <= 8; ++n) {
    SCOPED_TRACE(n);
    TMatrix m = TestMatrix(n), inv, product;
    const TMatrix original = m;
    ASSERT_EQ(InvertMatrix(m, inv), MxOk);
    EXPECT_EQ(m, original);
    ASSERT_EQ(MultiplyMatrix(m, inv, product), MxOk);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) EXPECT_NEAR(product[i][j], i == j ? 1.0 : 0.0, 1e-5) << i << "," << j;
    // In place gives the same bits.
    ASSERT_EQ(InvertMatrix(m, m), MxOk);
    EXPECT_EQ(m, inv);
  }
}

INSTANTIATE_TEST_SUITE_P(Settings, InverseBySize, ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<bool, bool>>& Info) {
                           return std::string(std::get<0>(Info.param) ? "SmallQuadrants" : "LargeQuadrants") +
                                  (std::get<1>(Info.param) ? "_Alternate" : "_Plain");
                         });

TEST_F(InversionSettings, SplitFollowsSmallQuadrants) {
  // A zero in the last diagonal place makes the bottom-right 1x1 block singular: only a split
  // that produces that block (large top-left quadrant, bottom-right first) fails.
  TMatrix m = TestMatrix(4);
  m[3][3] = 0;
  TMatrix inv = {{7}};
  MxSmallQuadrants = false;
  EXPECT_EQ(InvertMatrix(m, inv), MxFailed);
  EXPECT_EQ(inv, (TMatrix{{7}}));
  MxSmallQuadrants = true;
  EXPECT_EQ(InvertMatrix(m, inv), MxOk);
}

TEST_F(InversionSettings, GivenOptionsOverrideTheSettings) {
  // Stages read the settings once and pass them on: what the settings say later is not seen.
  TMatrix m = TestMatrix(4);
  m[3][3] = 0;
  TMatrix inv;
  MxSmallQuadrants = true;
  EXPECT_EQ(InvertMatrix(m, inv, {false, true}), MxFailed);
  MxSmallQuadrants = false;
  EXPECT_EQ(InvertMatrix(m, inv, {true, true}), MxOk);
  const TInversionOptions Read = TInversionOptions::FromSettings();
  EXPECT_FALSE(Read.SmallQuadrants);
  EXPECT_TRUE(Read.AlternateInversion);
}

TEST_F(InversionSettings, BothOrdersAgreeClosely) {
  const TMatrix m = TestMatrix(7);
  TMatrix first, second;
  MxAlternateInversion = true;
  ASSERT_EQ(InvertMatrix(m, first), MxOk);
  MxAlternateInversion = false;
  ASSERT_EQ(InvertMatrix(m, second), MxOk);
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 7; ++j) EXPECT_NEAR(first[i][j], second[i][j], 1e-6);
}

}  // namespace
}  // namespace qv
