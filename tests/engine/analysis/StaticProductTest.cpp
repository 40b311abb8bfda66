// The static product in double against the extended arithmetic it replaces, and the static
// compensation's fast road against the one-event-at-a-time loop.
#include "analysis/StaticProduct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "DataSetFixtures.h"
#include "FloatLogs.h"
#include "analysis/Compensation.h"
#include "dataset/FCSData.h"

namespace qv {
namespace {

// The products of every event given, through TStaticProduct where it vouches for them (with the
// instructions this machine has and with the baseline ones) and MultiplyStatic elsewhere,
// compared bit for bit with MultiplyStatic; answers how many it left to MultiplyStatic.
size_t CheckProducts(const TMatrix& M, const std::vector<std::vector<float>>& Raws) {
  const TStaticProduct Product(M);
  const size_t N = M.size();
  size_t Hard = 0;
  for (size_t e = 0; e < Raws.size(); e += TStaticProduct::Batch) {
    const size_t Count = std::min(TStaticProduct::Batch, Raws.size() - e);
    std::vector<std::vector<float>> Out(Count, std::vector<float>(N, -7));
    const float* In[TStaticProduct::Batch];
    float* Into[TStaticProduct::Batch];
    for (size_t b = 0; b < Count; ++b) In[b] = Raws[e + b].data(), Into[b] = Out[b].data();
    const uint32_t Left = Product.Compute(In, Into, Count);
    std::vector<std::vector<float>> Baseline(Count, std::vector<float>(N, -7));
    float* IntoBaseline[TStaticProduct::Batch];
    for (size_t b = 0; b < Count; ++b) IntoBaseline[b] = Baseline[b].data();
    EXPECT_EQ(Product.ComputeBaseline(In, IntoBaseline, Count), Left);
    for (size_t b = 0; b < Count; ++b) {
      std::vector<float> Expected(N);
      try {
        MultiplyStatic(M, Raws[e + b], Expected);
      } catch (const EArithmetic&) {
        EXPECT_TRUE(Left & (1u << b)) << "an overflow must be left to the extended path";
        ++Hard;
        continue;
      }
      if (Left & (1u << b)) {
        ++Hard;
        continue;
      }
      EXPECT_EQ(std::memcmp(Out[b].data(), Expected.data(), N * sizeof(float)), 0) << "event " << e + b;
      EXPECT_EQ(std::memcmp(Baseline[b].data(), Expected.data(), N * sizeof(float)), 0) << "event " << e + b;
    }
  }
  return Hard;
}

TEST(StaticProduct, MatchesTheExtendedProductOnRandomMatricesAndValues) {
  std::mt19937_64 Random(21);
  std::uniform_real_distribution<float> Entry(-0.3f, 0.3f), Decade(-2, 6);
  for (size_t N : {1u, 2u, 3u, 4u, 5u, 8u, 15u}) {
    TMatrix M(N, TSglArray(N));
    for (size_t i = 0; i < N; ++i)
      for (size_t j = 0; j < N; ++j) M[i][j] = i == j ? 1.0f + Entry(Random) : Entry(Random) / 4;
    std::vector<std::vector<float>> Raws(4003, std::vector<float>(N));
    for (auto& R : Raws)
      for (float& V : R) V = (Random() % 7 == 0 ? -1.0f : 1.0f) * std::pow(10.0f, Decade(Random));
    EXPECT_LT(CheckProducts(M, Raws), Raws.size() / 20) << N << " channels";
    // Values from anywhere in the floats, subnormal and near the largest among them.
    for (auto& R : Raws)
      for (float& V : R) {
        const uint32_t Bits = static_cast<uint32_t>(Random()) & 0xFF7FFFFFu;  // no infinity or NaN
        std::memcpy(&V, &Bits, 4);
      }
    CheckProducts(M, Raws);
  }
}

TEST(StaticProduct, LeavesMidpointsAndSumsBeyondTheFloatsToTheExtendedPath) {
  // The double sum of the last step lands on a float midpoint although the exact sum lies above
  // it: rounded in double it would give 0x1.66c8acp+24, the extended sum gives 0x1.66c8aap+24.
  const TMatrix M = {{0x1.00002cp+0f, 1.0f}, {0.0f, 1.0f}};
  const std::vector<float> Raw = {0x1.ffffa8p-1f, 0x1.66c8aap+24f};
  std::vector<float> Expected(2);
  MultiplyStatic(M, Raw, Expected);
  EXPECT_EQ(Expected[0], 0x1.66c8aap+24f);
  EXPECT_EQ(CheckProducts(M, {Raw}), 1u);
  // Below the normal floats the midpoints lie on the coarser grid of the subnormals: a sum of
  // 2^-133 is a float, one of 3 x 2^-150 halfway between two.
  EXPECT_EQ(CheckProducts({{1.0f, -1.0f}, {0.0f, 1.0f}}, {{0x1.000002p-110f, 0x1p-110f}}), 0u);
  EXPECT_EQ(CheckProducts({{0x1p-30f, 0.0f}, {0.0f, 1.0f}}, {{0x1.8p-119f, 1.0f}}), 1u);
  // Past the largest float (which overflows in the extended path).
  EXPECT_EQ(CheckProducts({{2.0f, 0.0f}, {0.0f, 1.0f}}, {{3e38f, 1.0f}}), 1u);
  EXPECT_EQ(CheckProducts({{1.0f, -1.0f}, {0.0f, 1.0f}}, {{5.0f, 5.0f}}), 0u) << "an exact zero is fine";
}

// The compensation of a whole set: events whose second channel's product ends on the midpoint
// above (the matrix [[1, 0], [c, 1]] from the spill-over [[1, 0], [-c, 1]]) among ordinary
// ones, on one thread and on four, against the product one event at a time.
TEST(StaticProduct, CompensationTakesTheExtendedPathWhereTheFastOneCannotVouch) {
  test::SettingsGuard Guard;
  MinimumRawScore = 0;
  const float C = 0x1.00002cp+0f;
  auto Protocol = test::MakeProtocol({}, {{"A", "A"}, {"B", "B"}}, {{100, 0}, {-100 * C, 100}});
  ASSERT_TRUE(Protocol->BuildCompensationMatrix(false));
  const TMatrix M = Protocol->CompensationMatrix;
  ASSERT_EQ(M[1][0], C);
  ASSERT_EQ(M[1][1], 1.0f);
  std::vector<std::vector<float>> Rows(50000, {0x1.ffffa8p-1f, 0x1.66c8aap+24f});
  std::mt19937 Random(4);
  for (size_t i = 0; i < Rows.size(); i += 3)
    Rows[i] = {std::uniform_real_distribution<float>(1, 1e5)(Random), std::uniform_real_distribution<float>(1, 1e5)(Random)};
  for (const int32_t Threads : {1, 4}) {
    TFCSLineArray Events;
    test::FillEvents(Events, 0, 2, Rows);
    TCompensationOptions Options;
    Options.Threads = Threads;
    CompensateEvents(Events, *Protocol, Options, nullptr);
    for (size_t i = 0; i < Rows.size(); ++i) {
      std::vector<float> Expected(2);
      MultiplyStatic(M, Rows[i], Expected);
      const auto Comp = Events[i].CompValues();
      ASSERT_EQ(std::memcmp(Comp.data(), Expected.data(), 8), 0) << "event " << i << ", " << Threads << " threads";
      for (size_t c = 0; c < 2; ++c)
        ASSERT_EQ(Events[i].LogCompValues()[c], Log10AboveReference(Expected[c], 1.0f));
    }
    EXPECT_EQ(Events[1].CompValues()[1], 0x1.66c8aap+24f);
  }
}

// A product that overflows stops the compensation where the loop from the last event down stops:
// the events above it compensated, it and those below it as they were, on any number of threads,
// whether the raw values are bounded from the file or changed since.
TEST(StaticProduct, AnOverflowStopsTheCompensationWhereOneThreadStops) {
  test::SettingsGuard Guard;
  MinimumRawScore = 0;
  auto Protocol = test::MakeProtocol({}, {{"A", "A"}, {"B", "B"}}, {{50, 0}, {0, 100}});
  std::vector<std::vector<float>> Rows(40000, {10.0f, 20.0f});
  Rows[25000] = {3e38f, 1.0f};
  for (const int32_t Threads : {1, 4}) {
    for (const bool ChangedSince : {false, true}) {
      TFCSLineArray Events;
      test::FillEvents(Events, 0, 2, Rows);
      if (ChangedSince) {
        Events[25000].RawValues()[0] = 2e38f;
        Events.SetRawBound({10.0f, 20.0f});  // wrong, and forgotten at the next change
        Events[1].RawValues()[0] = 10.0f;
      }
      TCompensationOptions Options;
      Options.Threads = Threads;
      EXPECT_THROW(CompensateEvents(Events, *Protocol, Options, nullptr), EArithmetic);
      EXPECT_TRUE(Events[25001].HasCompValues());
      EXPECT_EQ(Events[39999].CompValues()[0], 20.0f);
      EXPECT_FALSE(Events[25000].HasCompValues());
      EXPECT_FALSE(Events[0].HasCompValues());
    }
  }
}

}  // namespace
}  // namespace qv
