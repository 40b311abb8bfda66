// The dynamic compensation kernel against the generic matrices of the protocol: the same values
// bit for bit for a seed, on one thread or several, and after an error the same events, the same
// error and the generator where the generic code leaves it.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <tuple>

#include "analysis/DynamicCompensation.h"
#include "DataSetFixtures.h"
#include "Errors.h"
#include "FloatStores.h"
#include "dataset/FCSData.h"
#include "LinearAlgebra.h"
#include "Random.h"
#include "ScopedValue.h"
#include "Statistics.h"

namespace qv {
namespace {

using test::ChannelDef;
using test::MakeProtocol;
using test::ScopedValue;
using test::SettingsGuard;

// N channels whose pairs spill a few percent with deviations large enough that some perturbed
// matrices are far from the mean one.
std::unique_ptr<TProtocol> Spilling(int32_t N, float Deviation) {
  std::vector<ChannelDef> Defs;
  std::vector<std::vector<float>> Spill(N, std::vector<float>(N));
  for (int32_t i = 0; i < N; ++i) {
    Defs.push_back({"C" + std::to_string(i), "P" + std::to_string(i)});
    for (int32_t j = 0; j < N; ++j) Spill[i][j] = i == j ? 100.0f : 2.0f + static_cast<float>((3 * i + 5 * j) % 11);
  }
  auto P = MakeProtocol({}, Defs, Spill);
  for (int32_t i = 0; i < N; ++i)
    for (int32_t j = 0; j < N; ++j) {
      TCompensationPair Pair = P->GetChannel(i)->Comp[j];
      Pair.Deviation = i == j ? Deviation / 4 : Deviation;
      P->GetChannel(i)->SetCompPair(j, Pair, true);
    }
  return P;
}

// Count events of N channels; every third holds compensated values already (static), so both
// starting points are taken.
std::unique_ptr<TFCSData> Events(int32_t N, int32_t Count, uint64_t Seed, const TProtocol& P) {
  auto D = std::make_unique<TFCSData>();
  D->Events.Reset(0, N);
  D->Events.resize(static_cast<size_t>(Count));
  std::vector<int32_t> Indices(N);
  for (int32_t c = 0; c < N; ++c) Indices[c] = c;
  Randomize(Seed);
  std::vector<float> Row(N);
  for (int32_t k = 0; k < Count; ++k) {
    for (int32_t c = 0; c < N; ++c) Row[c] = static_cast<float>(std::pow(10.0, 4 * Random01()));
    D->Events[k].Create(Row, {}, Indices);
  }
  auto Static = std::make_unique<TFCSData>();
  TProtocol& Mutable = const_cast<TProtocol&>(P);
  D->Compensate(Mutable, nullptr, 0);
  // Fresh events for two thirds: their compensated values are dropped by rebuilding them.
  for (int32_t k = 0; k < Count; ++k)
    if (k % 3 != 0) {
      const auto Raw = D->Events[k].RawValues();
      const std::vector<float> Copy(Raw.begin(), Raw.end());
      D->Events[k].Create(Copy, {}, Indices);
    }
  return D;
}

// The stage as it ran on the protocol's generic matrices, one event after another.
void Reference(TFCSData& D, TProtocol& P, int32_t Tries) {
  const size_t N = static_cast<size_t>(D.Events.ChannelCount());
  const bool HaveStatic = P.BuildCompensationMatrix(false);
  const TMatrix Static = P.CompensationMatrix;
  TMatrix Raw, Compensated, Product;
  ZeroMatrix(static_cast<int32_t>(N), 1, Raw);
  ZeroMatrix(static_cast<int32_t>(N), 1, Compensated);
  for (size_t i = D.Events.size(); i-- > 0;) {
    TFCSLine E = D.Events[i];
    const bool UseStatic = !E.HasCompValues();
    if (UseStatic) {
      if (!HaveStatic) throw EArithmetic("no static matrix");
      for (size_t c = 0; c < N; ++c) Raw[c][0] = E.RawValues()[c];
      if (MultiplyMatrix(Static, Raw, Product) != MxOk) throw EArithmetic("Floating point overflow");
    }
    E.SizeCompensated();
    if (UseStatic)
      for (size_t c = 0; c < N; ++c) E.CompValues()[c] = Product[c][0];
    for (size_t c = 0; c < N; ++c) {
      Raw[c][0] = E.RawValues()[c];
      Compensated[c][0] = E.CompValues()[c];
    }
    P.CompensateDynamic(Raw, Compensated, Tries);
    auto Comp = E.CompValues();
    for (size_t c = 0; c < N; ++c) Comp[c] = Compensated[c][0];
    for (size_t c = 0; c < N; ++c)
      if (E.RawValues()[c] < MinimumRawScore) Comp[c] = 1.0f;
    for (size_t c = 0; c < N; ++c)
      E.LogCompValues()[c] = Comp[c] > 1.0f ? static_cast<float>(std::log10(static_cast<double>(Comp[c]))) : 0.0f;
  }
}

// Every stored value of every event, as bits, and whether it holds compensated values.
std::vector<uint32_t> Snapshot(const TFCSData& D) {
  std::vector<uint32_t> Bits;
  for (size_t i = 0; i < D.Events.size(); ++i) {
    const TFCSLine E = D.Events[i];
    Bits.push_back(E.HasCompValues());
    for (const auto& Series : {E.CompValues(), E.LogCompValues()})
      for (float V : Series) {
        uint32_t B;
        std::memcpy(&B, &V, 4);
        Bits.push_back(B);
      }
  }
  return Bits;
}

// What the generator and the Gaussian cache give next.
std::vector<double> NextDraws() {
  std::vector<double> Draws;
  for (int k = 0; k < 3; ++k) Draws.push_back(GaussRandom());
  Draws.push_back(Random01());
  return Draws;
}

struct TOutcome {
  std::vector<uint32_t> Values;
  std::vector<double> Next;
  std::optional<std::string> Error;
};

template <class Body>
TOutcome Outcome(TFCSData& D, uint64_t Seed, bool OddCache, Body&& Compensate) {
  Randomize(Seed);
  if (OddCache) GaussRandom();  // the first deviate of the stage comes from the cache
  TOutcome O;
  try {
    Compensate();
  } catch (const Exception& E) {
    O.Error = E.what();
  }
  O.Values = Snapshot(D);
  O.Next = NextDraws();
  return O;
}

TEST(PerturbedSpill, EqualsTheExtendedFormulaNextToFloatMidpoints) {
  auto Extended = [](float Mean, float Deviate, float Deviation) {
    qv::Extended M = Mean;
    M = M + static_cast<qv::Extended>(Deviate) * Deviation;
    return fp::Single(M / 100.0L);
  };
  // Means stepped through 2^20 floats for a few deviates: the quotients whose double value lies
  // within 2^-40 of a midpoint between floats (about one in 65,000), and every 97th.
  int Near = 0;
  for (const auto& [Deviate, Deviation, From] :
       {std::tuple{1.2345678f, 1.5f, 4.0f}, std::tuple{-0.7312f, 3.0f, 11.0f}, std::tuple{2.9f, 0.25f, 0.001f}}) {
    float Mean = From;
    for (int k = 0; k < (1 << 20); ++k, Mean = std::nextafter(Mean, 1e9f)) {
      const double Q = (static_cast<double>(Deviate) * Deviation + Mean) / 100.0;
      const float Nearest = static_cast<float>(Q);
      const double Below = (static_cast<double>(Nearest) + std::nextafter(Nearest, 0.0f)) / 2;
      const double Above = (static_cast<double>(Nearest) + std::nextafter(Nearest, 1e30f)) / 2;
      const bool IsNear = std::min(std::fabs(Q - Below), std::fabs(Above - Q)) < std::ldexp(std::fabs(Q), -40);
      if (!IsNear && k % 97 != 0) continue;
      Near += IsNear;
      ASSERT_EQ(PerturbedSpill(Mean, Deviate, Deviation), Extended(Mean, Deviate, Deviation)) << Mean;
    }
  }
  EXPECT_GT(Near, 10);
  // Zero, values below the normal floats, and the top of the range, where the extended formula
  // overflows.
  EXPECT_EQ(PerturbedSpill(0, 0, 0), 0.0f);
  EXPECT_EQ(PerturbedSpill(1e-37f, 0, 0), Extended(1e-37f, 0, 0));
  EXPECT_EQ(PerturbedSpill(1e30f, 100.0f, 1.8e38f), Extended(1e30f, 100.0f, 1.8e38f));
  EXPECT_THROW(PerturbedSpill(0, 1e10f, 3e38f), EArithmetic);
  EXPECT_THROW(PerturbedSpill(0, -1e10f, 3e38f), EArithmetic);
}

class DynamicCompensation : public ::testing::Test {
 protected:
  SettingsGuard Guard;
  void SetUp() override { MinimumRawScore = 2; }

  // The generic reference and the kernel on every thread count and block size, all on copies of
  // the same events.
  // Returns the error the generic code met, if any.
  std::optional<std::string> ExpectSameEverywhere(int32_t N, int32_t Count, int32_t Tries, float Deviation,
                                                  const std::function<void(TFCSData&)>& Spoil = {}) {
    std::optional<std::string> Error;
    auto P = Spilling(N, Deviation);
    for (bool OddCache : {false, true}) {
      auto D = Events(N, Count, 7, *P);
      if (Spoil) Spoil(*D);
      const TOutcome Expected = Outcome(*D, 99, OddCache, [&] { Reference(*D, *P, Tries); });
      Error = Expected.Error;
      EXPECT_TRUE(P->BuildCompensationMatrix(false));
      const TMatrix Static = P->CompensationMatrix;
      // Segments of a few raw draws: blocks that start and end in the middle of segments, pairs
      // of one block spread over many, segments without a pair.
      std::vector<std::array<int32_t, 3>> Runs;
      for (int32_t Threads : {1, 2, 3, 8})
        for (int32_t Block : {0, 1, 7}) Runs.push_back({Threads, Block, 0});
      for (int32_t Threads : {2, 8})
        for (int32_t Block : {1, 7})
          for (int32_t Segment : {2, 6, 64}) Runs.push_back({Threads, Block, Segment});
      for (const auto& [Threads, Block, Segment] : Runs) {
        SCOPED_TRACE("threads " + std::to_string(Threads) + ", block " + std::to_string(Block) + ", segment " +
                     std::to_string(Segment) + (OddCache ? ", cached deviate" : ""));
        auto E = Events(N, Count, 7, *P);
        if (Spoil) Spoil(*E);
        TDynamicCompensationOptions Options;
        Options.Tries = Tries;
        Options.Threads = Threads;
        Options.BlockEvents = Block;
        Options.SegmentDraws = Segment;
        Options.SmallQuadrants = MxSmallQuadrants;
        Options.AlternateInversion = MxAlternateInversion;
        Options.Floor = MinimumRawScore;
        const TOutcome Got =
            Outcome(*E, 99, OddCache, [&] { CompensateDynamicEvents(E->Events, *P, Static, true, Options, nullptr); });
        EXPECT_EQ(Got.Error, Expected.Error);
        EXPECT_EQ(Got.Next, Expected.Next);
        EXPECT_TRUE(Got.Values == Expected.Values);
      }
    }
    return Error;
  }
};

TEST_F(DynamicCompensation, ThreadsAndBlocksGiveTheGenericValuesBitForBit) {
  // 103 events: no block size divides them; 4 channels use the 4 x 4 kernel, 6 and 9 the larger.
  EXPECT_FALSE(ExpectSameEverywhere(4, 103, 9, 3));
  EXPECT_FALSE(ExpectSameEverywhere(6, 31, 5, 6));
  EXPECT_FALSE(ExpectSameEverywhere(9, 17, 3, 4));
}

TEST_F(DynamicCompensation, EverySplitOfTheBlockInversion) {
  for (bool Small : {false, true})
    for (bool Alternate : {false, true}) {
      SCOPED_TRACE(std::to_string(Small) + std::to_string(Alternate));
      ScopedValue<bool> A(MxSmallQuadrants, Small), B(MxAlternateInversion, Alternate);
      ExpectSameEverywhere(4, 23, 4, 40);  // wide deviations: singular and failing trials too
      ExpectSameEverywhere(5, 23, 4, 40);
      ExpectSameEverywhere(7, 11, 3, 5);
    }
}

TEST_F(DynamicCompensation, AnErrorMidwayLeavesEventsAndGeneratorAsTheGenericCode) {
  // Event 51 holds compensated values so huge that the residual of its first good trial
  // overflows: the events after it are done, it keeps its starting values, those before it are
  // untouched.
  const auto InTrials = ExpectSameEverywhere(4, 103, 6, 3, [](TFCSData& D) {
    const std::vector<float> Huge(4, 1e30f);
    std::vector<int32_t> Indices{0, 1, 2, 3};
    D.Events[51].Create(Huge, {}, Indices);
    D.Events[51].SizeCompensated();
    for (float& V : D.Events[51].CompValues()) V = 1e30f;
  });
  // An overflow in the static product of a fresh event, before any of its draws.
  const auto InStatic = ExpectSameEverywhere(4, 103, 6, 3, [](TFCSData& D) {
    const std::vector<float> Huge(4, 3e38f);
    std::vector<int32_t> Indices{0, 1, 2, 3};
    D.Events[40].Create(Huge, {}, Indices);
  });
  EXPECT_EQ(InTrials, "Floating point overflow");
  EXPECT_EQ(InStatic, "Floating point overflow");
}

TEST_F(DynamicCompensation, TheStageReadsTheThreadCountFromTheEnvironment) {
  auto P = Spilling(4, 3);
  DynamicCompensationN = 5;
  std::vector<TOutcome> Outcomes;
  for (const char* Threads : {"1", "4"}) {
    setenv("QUORVENAL_THREADS", Threads, 1);
    auto D = Events(4, 1500, 3, *P);
    Outcomes.push_back(Outcome(*D, 5, false, [&] { D->Compensate(*P, nullptr, 2); }));
  }
  unsetenv("QUORVENAL_THREADS");
  EXPECT_FALSE(Outcomes[0].Error);
  EXPECT_EQ(Outcomes[1].Next, Outcomes[0].Next);
  EXPECT_TRUE(Outcomes[1].Values == Outcomes[0].Values);
}

}  // namespace
}  // namespace qv
