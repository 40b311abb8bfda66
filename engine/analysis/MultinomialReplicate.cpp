#include "analysis/MultinomialReplicate.h"

#include <random>

#include "Errors.h"
#include "Random.h"

namespace qv {

void MultinomialReplicate(const TIntArray& Counts, int32_t Draws, TIntArray& Replicate) {
  int64_t Total = 0;
  for (const int32_t C : Counts) {
    if (C < 0) throw RangeCheckError();
    Total += C;
  }
  Replicate.assign(Counts.size(), 0);
  if (Total == 0 || Draws <= 0) return;
  // Each class takes a binomial share of the draws left, with its share of the weight left.
  int64_t Left = Draws, WeightLeft = Total;
  for (size_t c = 0; c < Counts.size() && Left > 0; ++c) {
    if (Counts[c] == 0) continue;
    int64_t Share = Left;
    if (Counts[c] < WeightLeft) {
      std::binomial_distribution<int64_t> Binomial(Left,
                                                   static_cast<double>(Counts[c]) / static_cast<double>(WeightLeft));
      Share = Binomial(RandomGenerator());
    }
    Replicate[c] = static_cast<int32_t>(Share);
    Left -= Share;
    WeightLeft -= Counts[c];
  }
}

}  // namespace qv
