#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "DataSetFixtures.h"
#include "Errors.h"
#include "dataset/FCSData.h"
#include "LinearAlgebra.h"
#include "Random.h"

namespace qv {
namespace {

using test::ChannelDef;
using test::MakeProtocol;
using test::SettingsGuard;

class RecordingProgress : public Progress {
 public:
  void SetPosition(int64_t Position) override {
    Positions.push_back(Position);
    Progress::SetPosition(Position);
  }
  std::vector<int64_t> Positions;
};

std::unique_ptr<TProtocol> Channels(const std::vector<std::vector<float>>& Spill) {
  std::vector<ChannelDef> Defs;
  for (size_t i = 0; i < Spill.size(); ++i) Defs.push_back({"C" + std::to_string(i), "P" + std::to_string(i)});
  return MakeProtocol({}, Defs, Spill);
}

// A data set whose rows are the channels' raw values.
std::unique_ptr<TFCSData> Events(const std::vector<std::vector<float>>& Rows) {
  auto D = std::make_unique<TFCSData>();
  const int32_t C = static_cast<int32_t>(Rows.front().size());
  D->Events.Reset(0, C);
  D->Events.resize(Rows.size());
  std::vector<int32_t> Indices(C);
  for (int32_t c = 0; c < C; ++c) Indices[c] = c;
  for (size_t i = 0; i < Rows.size(); ++i) D->Events[i].Create(Rows[i], {}, Indices);
  return D;
}

std::vector<float> Comp(const TFCSData& D, size_t i) {
  const auto S = D.Events[i].CompValues();
  return {S.begin(), S.end()};
}

class Compensation : public ::testing::Test {
 protected:
  SettingsGuard Guard;
  void SetUp() override {
    MinimumRawScore = 2;
    DynamicCompensationN = 100;
  }
};

TEST_F(Compensation, StaticMatrixUndoesTheSpillOver) {
  // 10% of channel 1's dye in channel 0, 20% of channel 0's in channel 1.
  auto P2 = Channels({{100, 10}, {20, 100}});
  auto D2 = Events({{1000, 500}, {3000, 800}});
  D2->Compensate(*P2, nullptr, 0);
  EXPECT_NEAR(Comp(*D2, 0)[0], 950.0 / 0.98, 1e-3);
  EXPECT_NEAR(Comp(*D2, 0)[1], 300.0 / 0.98, 1e-3);
  EXPECT_NEAR(Comp(*D2, 1)[0], 2920.0 / 0.98, 1e-3);
  EXPECT_NEAR(Comp(*D2, 1)[1], 200.0 / 0.98, 1e-3);
  EXPECT_FLOAT_EQ(D2->Events[0].LogCompValues()[0], static_cast<float>(std::log10(950.0 / 0.98)));
  EXPECT_EQ(D2->ProtocolName, P2->FileName);

  // Lower triangular: 10% of channel 0's dye in channel 1, 20% of channel 1's in channel 2; its
  // inverse is (1, 0, 0; -0.1, 1, 0; 0.02, -0.2, 1).
  auto P3 = Channels({{100, 0, 0}, {10, 100, 0}, {0, 20, 100}});
  auto D3 = Events({{2000, 900, 450}});
  D3->Compensate(*P3, nullptr, 0);
  EXPECT_NEAR(Comp(*D3, 0)[0], 2000, 1e-3);
  EXPECT_NEAR(Comp(*D3, 0)[1], 700, 1e-3);
  EXPECT_NEAR(Comp(*D3, 0)[2], 310, 1e-3);
  // The same numbers as the matrix product of the protocol's compensation matrix.
  TMatrix Product;
  ASSERT_EQ(MultiplyMatrix(P3->CompensationMatrix, {{2000}, {900}, {450}}, Product), MxOk);
  for (size_t c = 0; c < 3; ++c) EXPECT_EQ(Comp(*D3, 0)[c], Product[c][0]);
}

TEST_F(Compensation, FloorAndLogsOfSmallValues) {
  auto P = Channels({{100, 0, 0}, {0, 100, 0}, {0, 0, 100}});
  // Channel values at, just below and far below the minimum.
  auto D = Events({{2.0f, 1.99f, 500}, {1.0f, 1.0001f, 0.5f}});
  // A negative compensated value: 50% of channel 0's dye in channel 2.
  auto Neg = Channels({{100, 0, 0}, {0, 100, 0}, {50, 0, 100}});
  auto N = Events({{1000, 400, 300}});
  D->Compensate(*P, nullptr, 0);
  N->Compensate(*Neg, nullptr, 0);
  EXPECT_EQ(Comp(*D, 0), (std::vector<float>{2.0f, 1.0f, 500}));
  EXPECT_FLOAT_EQ(D->Events[0].LogCompValues()[0], static_cast<float>(std::log10(2.0)));
  EXPECT_EQ(D->Events[0].LogCompValues()[1], 0.0f);
  // A filtered event ends with every value 1.0 and every log 0.
  EXPECT_TRUE(D->Events[1].Filtered());
  EXPECT_EQ(Comp(*D, 1), (std::vector<float>{1, 1, 1}));
  for (float L : D->Events[1].LogCompValues()) EXPECT_EQ(L, 0.0f);
  EXPECT_EQ(D->Events[1].Called().size(), 3u);

  ASSERT_LT(Comp(*N, 0)[2], 0);
  EXPECT_EQ(N->Events[0].LogCompValues()[2], 0.0f);

  // Exactly 1.0 and just above it, kept by mode 1.
  TFCSLine E = D->Events[0];
  E.CompValues()[2] = 1.0f;
  E.CompValues()[0] = 1.001f;
  D->Compensate(*P, nullptr, 1);
  EXPECT_EQ(E.LogCompValues()[2], 0.0f);
  EXPECT_GT(E.LogCompValues()[0], 0.0f);
  EXPECT_LT(E.LogCompValues()[0], 0.001f);
}

TEST_F(Compensation, KeepModeKeepsValuesAndCompensatesFreshEventsStatically) {
  auto P = Channels({{100, 10}, {20, 100}});
  auto Fresh = Events({{1000, 500}, {1000, 1}});
  Fresh->Compensate(*P, nullptr, 1);
  auto Static = Events({{1000, 500}, {1000, 1}});
  Static->Compensate(*P, nullptr, 0);
  EXPECT_EQ(Comp(*Fresh, 0), Comp(*Static, 0));
  EXPECT_EQ(Comp(*Fresh, 1), Comp(*Static, 1));

  DynamicCompensationN = 0;
  auto NoTries = Events({{1000, 500}});
  NoTries->Compensate(*P, nullptr, 2);
  EXPECT_EQ(Comp(*NoTries, 0), Comp(*Static, 0));

  // Held values survive mode 1 (and unknown modes); the floor is redone.
  TFCSLine E = Static->Events[1];
  E.CompValues()[0] = 123;
  E.CompValues()[1] = 456;
  Static->Compensate(*P, nullptr, 1);
  EXPECT_EQ(Comp(*Static, 1), (std::vector<float>{123, 1}));
  Static->Compensate(*P, nullptr, 7);
  EXPECT_EQ(Comp(*Static, 1), (std::vector<float>{123, 1}));
  Static->Compensate(*P, nullptr, 0);
  EXPECT_EQ(Comp(*Static, 1), Comp(*Fresh, 1));
}

TEST_F(Compensation, SingleChannelAndMatricesThatCannotBeInverted) {
  auto One = Channels({{100}});
  auto D = Events({{250}, {1}});
  D->Compensate(*One, nullptr, 0);
  EXPECT_EQ(Comp(*D, 0), (std::vector<float>{250}));
  EXPECT_EQ(Comp(*D, 1), (std::vector<float>{1}));
  EXPECT_FLOAT_EQ(D->Events[0].LogCompValues()[0], static_cast<float>(std::log10(250.0)));

  auto Zero = Channels({{0}});
  auto Z = Events({{250}});
  EXPECT_THROW(Z->Compensate(*Zero, nullptr, 0), EArithmetic);
  EXPECT_TRUE(Z->Events[0].CompValues().empty()) << "no half-computed values";

  // Nothing to compensate: the matrix is built, the name set, nothing thrown.
  TFCSData Empty;
  Empty.Events.Reset(0, 1);
  RecordingProgress Gauge;
  EXPECT_NO_THROW(Empty.Compensate(*Zero, &Gauge, 0));
  EXPECT_EQ(Gauge.Max(), 1);
  EXPECT_EQ(Empty.ProtocolName, Zero->FileName);

  // No channels: every event is filtered and there is nothing to compensate.
  auto NoChannels = MakeProtocol({}, {});
  TFCSData Bare;
  Bare.Events.Reset(0, 0);
  Bare.Events.resize(2);
  EXPECT_NO_THROW(Bare.Compensate(*NoChannels, nullptr, 0));
}

TEST_F(Compensation, GaugeMovesEveryHundredEventsFromTheLast) {
  auto P = Channels({{100}});
  std::vector<std::vector<float>> Rows(250, std::vector<float>{10});
  auto D = Events(Rows);
  RecordingProgress Gauge;
  D->Compensate(*P, &Gauge, 0);
  EXPECT_EQ(Gauge.Max(), 249);
  EXPECT_EQ(Gauge.Positions, (std::vector<int64_t>{49, 149, 249}));
}

TEST_F(Compensation, DynamicIsNeverWorseThanStaticAndLeavesTheStaticMatrix) {
  const std::vector<std::vector<float>> Spill{{100, 8, 3, 1}, {12, 100, 6, 2}, {2, 15, 100, 9}, {1, 3, 11, 100}};
  auto P = Channels(Spill);
  for (int32_t i = 0; i < 4; ++i)
    for (int32_t j = 0; j < 4; ++j)
      if (i != j) {
        TCompensationPair Pair = P->GetChannel(i)->Comp[j];
        Pair.Deviation = 3;
        P->GetChannel(i)->SetCompPair(j, Pair, true);
      }
  // Single-dye events measured through a spill-over that differs from the protocol's means.
  std::vector<std::vector<float>> Rows;
  for (int k = 0; k < 40; ++k) {
    const int Dye = k % 4;
    std::vector<float> Row(4);
    for (int i = 0; i < 4; ++i) Row[i] = 1 + (1000.0f + 50 * k) * (i == Dye ? 1.0f : (Spill[i][Dye] + 2) / 100);
    Rows.push_back(Row);
  }
  auto Static = Events(Rows);
  Static->Compensate(*P, nullptr, 0);
  const TMatrix StaticMatrix = P->CompensationMatrix;

  Randomize(20240611);
  auto Dynamic = Events(Rows);
  Dynamic->Compensate(*P, nullptr, 2);
  EXPECT_EQ(P->CompensationMatrix, StaticMatrix) << "the perturbed matrices are not left behind";

  const auto Residual = [&](const TFCSData& D, size_t i) {
    TMatrix V;
    for (float X : D.Events[i].CompValues()) V.push_back({X});
    return P->EventResidual(V);
  };
  double StaticSum = 0, DynamicSum = 0;
  int Better = 0;
  for (size_t i = 0; i < Rows.size(); ++i) {
    StaticSum += Residual(*Static, i);
    DynamicSum += Residual(*Dynamic, i);
    Better += Residual(*Dynamic, i) < Residual(*Static, i) ? 1 : 0;
  }
  EXPECT_LE(DynamicSum, StaticSum);
  EXPECT_GT(Better, 30);

  // The same seed gives the same values.
  Randomize(20240611);
  auto Again = Events(Rows);
  Again->Compensate(*P, nullptr, 2);
  for (size_t i = 0; i < Rows.size(); ++i) EXPECT_EQ(Comp(*Again, i), Comp(*Dynamic, i));

  // Mode 1 after mode 2 keeps the dynamic result.
  Dynamic->Compensate(*P, nullptr, 1);
  for (size_t i = 0; i < Rows.size(); ++i) EXPECT_EQ(Comp(*Again, i), Comp(*Dynamic, i));
}

}  // namespace
}  // namespace qv
