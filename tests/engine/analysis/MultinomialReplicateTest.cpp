#include "analysis/MultinomialReplicate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "Errors.h"
#include "Random.h"

namespace qv {
namespace {

TEST(MultinomialReplicate, KeepsTheDrawsAndFollowsTheClassFractions) {
  Randomize(5);
  const TIntArray Counts{0, 250, 750, 0, 1000};  // fractions 1/8, 3/8, 1/2
  const int32_t Draws = 4000, Replicates = 2000;
  std::vector<double> Sum(5, 0), Square(5, 0);
  TIntArray R;
  for (int r = 0; r < Replicates; ++r) {
    MultinomialReplicate(Counts, Draws, R);
    ASSERT_EQ(std::accumulate(R.begin(), R.end(), 0), Draws);
    ASSERT_EQ(R[0], 0);
    ASSERT_EQ(R[3], 0);
    for (int c = 0; c < 5; ++c) {
      Sum[c] += R[c];
      Square[c] += static_cast<double>(R[c]) * R[c];
    }
  }
  const double P[] = {0, 0.125, 0.375, 0, 0.5};
  for (int c : {1, 2, 4}) {
    const double Mean = Sum[c] / Replicates, Var = Square[c] / Replicates - Mean * Mean;
    const double ExpectedVar = Draws * P[c] * (1 - P[c]);
    EXPECT_NEAR(Mean, Draws * P[c], 4 * std::sqrt(ExpectedVar / Replicates));
    EXPECT_NEAR(Var / ExpectedVar, 1.0, 0.1) << "class " << c;
  }
}

TEST(MultinomialReplicate, NothingToDrawFromGivesZeros) {
  TIntArray R{7, 7};
  MultinomialReplicate({0, 0}, 100, R);
  EXPECT_EQ(R, (TIntArray{0, 0}));
  MultinomialReplicate({3, 4}, 0, R);
  EXPECT_EQ(R, (TIntArray{0, 0}));
  MultinomialReplicate({0, 5}, 9, R);
  EXPECT_EQ(R, (TIntArray{0, 9}));
  EXPECT_THROW(MultinomialReplicate({-1, 5}, 9, R), ERangeError);
}

}  // namespace
}  // namespace qv
