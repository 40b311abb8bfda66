// Repeated draws of RandomInt without a division per draw: the same values, the same generator
// state, and remainders exact at the edges of 64 bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "Random.h"

namespace qv {
namespace {

TEST(RandomDraws, RemaindersAreExactAtTheEdges) {
  const uint64_t Max = std::numeric_limits<uint64_t>::max();
  for (uint64_t N : {uint64_t{1}, uint64_t{2}, uint64_t{3}, uint64_t{7}, uint64_t{1000003}, uint64_t{2147483647},
                     uint64_t{4294967295}}) {
    const TDivider D(N);
    for (uint64_t X : {uint64_t{0}, N - 1, N, N + 1, Max, Max - 1, Max - N, Max / N * N, Max / N * N - 1,
                       uint64_t{1} << 63, (uint64_t{1} << 63) - 1})
      ASSERT_EQ(D.Remainder(X), X % N) << X << " mod " << N;
    Randomize(N);
    for (int k = 0; k < 20000; ++k) {
      const uint64_t X = RandomGenerator()();
      ASSERT_EQ(D.Remainder(X), X % N);
    }
  }
}

TEST(RandomDraws, GiveRandomIntsSequence) {
  for (int32_t N : {0, 1, 2, 3, 10, 999983, 1000000, 2147483647}) {
    Randomize(77);
    std::vector<int32_t> Expected(5000);
    for (int32_t& V : Expected) V = RandomInt(N);
    const uint64_t After = RandomGenerator()();
    Randomize(77);
    TRandomIntDraws Draw(N);
    for (int32_t V : Expected) ASSERT_EQ(Draw(), V) << "N " << N;
    EXPECT_EQ(RandomGenerator()(), After);
    // The same values again when drawn in runs, the last run shorter than the others.
    Randomize(77);
    TRandomIntDraws Runs(N);
    std::vector<int32_t> Got;
    for (int32_t Left = 5000; Left > 0; Left -= 777)
      Runs.Draw(std::min(Left, 777), [&Got](int32_t V) { Got.push_back(V); });
    EXPECT_EQ(Got, Expected) << "N " << N;
    EXPECT_EQ(RandomGenerator()(), After);
  }
}

}  // namespace
}  // namespace qv
