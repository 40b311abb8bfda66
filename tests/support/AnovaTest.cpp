#include <gtest/gtest.h>

#include <cmath>

#include "Errors.h"
#include "Anova.h"

namespace qv {
namespace {

const T3DblArray kBalanced = {{{1, 2}, {3, 4}}, {{5, 6}, {7, 9}}};

TEST(TwoWayAnova, BalancedTable) {
  TwoWayAnovaResult r;
  TwoWayAnova(kBalanced, r);
  EXPECT_EQ(r.Rows, 2);
  EXPECT_EQ(r.Columns, 2);
  EXPECT_EQ(r.Count, 8);
  EXPECT_DOUBLE_EQ(r.SSRows, 36.125);
  EXPECT_DOUBLE_EQ(r.SSColumns, 10.125);
  EXPECT_NEAR(r.SSInteraction, 0.125, 1e-12);
  EXPECT_DOUBLE_EQ(r.SSWithin, 3.5);
  EXPECT_DOUBLE_EQ(r.SSTotal, 49.875);
  EXPECT_DOUBLE_EQ(r.SSCells, 46.375);
  EXPECT_EQ(r.DFRows, 1);
  EXPECT_EQ(r.DFColumns, 1);
  EXPECT_EQ(r.DFInteraction, 1);
  EXPECT_EQ(r.DFWithin, 4);
  EXPECT_EQ(r.DFCells, 3);
  EXPECT_EQ(r.DFTotal, 7);
  EXPECT_DOUBLE_EQ(r.MSWithin, 0.875);
  EXPECT_NEAR(r.FRows, 41.2857143, 1e-6);
  EXPECT_NEAR(r.PRows, 0.00301638, 1e-7);
  EXPECT_NEAR(r.PColumns, 0.0272351, 1e-6);
  EXPECT_NEAR(r.PInteraction, 0.7246586, 1e-6);
}

TEST(TwoWayAnova, UnequalCells) {
  // Sums of squares worked out by hand: G = 28, N = 7, Q = 140.
  TwoWayAnovaResult r;
  TwoWayAnova({{{1}, {2, 3, 4}}, {{5, 6}, {7}}}, r);
  EXPECT_EQ(r.Count, 7);
  EXPECT_EQ(r.DFWithin, 3);
  EXPECT_NEAR(r.SSTotal, 28, 1e-12);
  EXPECT_NEAR(r.SSRows, 100.0 / 4 + 324.0 / 3 - 112, 1e-12);
  EXPECT_NEAR(r.SSColumns, 144.0 / 3 + 256.0 / 4 - 112, 1e-12);
  EXPECT_NEAR(r.SSWithin, 140 - (1 + 27 + 60.5 + 49), 1e-12);
  EXPECT_NEAR(r.SSRows + r.SSColumns + r.SSInteraction + r.SSWithin, r.SSTotal, 1e-12);
  EXPECT_GT(r.PRows, 0);
  EXPECT_LT(r.PRows, 1);
}

TEST(TwoWayAnova, NoErrorVarianceMeansNoFRatios) {
  TwoWayAnovaResult single;
  TwoWayAnova({{{1}, {2}}, {{4}, {3}}}, single);
  EXPECT_EQ(single.DFWithin, 0);
  EXPECT_EQ(single.MSWithin, 0);
  EXPECT_EQ(single.FRows, 0);
  EXPECT_EQ(single.PRows, 0);
  EXPECT_EQ(single.PInteraction, 0);

  TwoWayAnovaResult equal;
  TwoWayAnova({{{1, 1}, {2, 2}}, {{4, 4}, {3, 3}}}, equal);
  EXPECT_EQ(equal.SSWithin, 0);
  EXPECT_EQ(equal.FColumns, 0);
  EXPECT_EQ(equal.PColumns, 0);
}

TEST(TwoWayAnova, MalformedTablesAreReportableErrors) {
  TwoWayAnovaResult r;
  r.Count = 99;
  EXPECT_THROW(TwoWayAnova({{{1, 2}, {}}, {{3}, {4}}}, r), EArithmetic);
  EXPECT_THROW(TwoWayAnova({}, r), EArithmetic);
  EXPECT_THROW(TwoWayAnova({{}, {}}, r), EArithmetic);
  EXPECT_THROW(TwoWayAnova({{{1}, {2}}, {{3}}}, r), ERangeError);
  EXPECT_THROW(TwoWayAnova({{{1}}, {{3}, {4}}}, r), ERangeError);
  EXPECT_THROW(TwoWayAnova({{{1, NAN}, {2, 3}}, {{3, 4}, {4, 5}}}, r), EArithmetic);
  EXPECT_EQ(r.Count, 99);
}

TEST(TwoWayAnovaReport, Lines) {
  TwoWayAnovaResult r;
  TwoWayAnova(kBalanced, r);
  std::string text = "old";
  TwoWayAnovaReport(r, text);
  EXPECT_EQ(text,
            "Two-Way ANOVA Analysis\r\n"
            "\r\n"
            "Category\tSS\tdf\tMS\t F \t P\r\n"
            "--------\t--\t--\t--\t---\t---\r\n"
            "Group\t36.125\t1\t36.125\t41.286\t3.0164E-3\r\n"
            "Class\t10.125\t1\t10.125\t11.571\t2.7235E-2\r\n"
            "Interaction\t0.125\t1\t0.125\t0.143\t7.2466E-1\r\n"
            "Error\t3.500\t4\t0.875\t\r\n"
            "Total\t49.875\t7\t\r\n"
            "\r\n");
}

}  // namespace
}  // namespace qv
