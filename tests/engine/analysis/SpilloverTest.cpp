#include <gtest/gtest.h>

#include <cmath>

#include "DataSetFixtures.h"
#include "dataset/FCSData.h"
#include "Random.h"
#include "Statistics.h"
#include "TextUtils.h"

using namespace qv;

namespace {

// Appends an event with the given raw values.
TFCSLine AddRaw(TFCSData& D, const std::vector<float>& Raw, bool GatedOut = false) {
  TFCSLine E = D.Events.Append();
  for (size_t c = 0; c < Raw.size(); ++c) E.RawValues()[c] = Raw[c];
  E.SetGatedOut(GatedOut);
  return E;
}

// A single-stained standard: channel 0 carries the dye, channel 1 sees Spill of it over its
// own Baseline (channel 0's baseline being Base0), with a little noise.
void SingleColour(TFCSData& D, float Spill, float Base0, float Base1) {
  D.Events.Reset(0, 2);
  Randomize(3);
  for (int i = 0; i < 4000; ++i) {
    const float Primary = Base0 + 1000.0f + 4000.0f * static_cast<float>(Random01());
    const float Other = Base1 + Spill * (Primary - Base0) * (1.0f + 0.02f * GaussRandom());
    AddRaw(D, {Primary, Other});
  }
}

TEST(Spillover, SingleColourStandardGivesItsSpill) {
  TFCSData D;
  SingleColour(D, 0.08f, 0, 0);
  AddRaw(D, {0, 50});         // no primary signal: never divided by
  AddRaw(D, {3000, 9000}, true);  // gated out
  float Mean = 0, Dev = 0;
  TCompensationArray Pairs;
  D.EstimateSpillover({0, 0}, 0, 0, 100000, Mean, Dev, Pairs);
  ASSERT_EQ(Pairs.size(), 2u);
  EXPECT_NEAR(Pairs[1].Mean, 8.0, 0.05);
  EXPECT_NEAR(Pairs[1].Deviation, 0.16, 0.02);
  EXPECT_EQ(Pairs[0], (TCompensationPair{100.0f, 0.0f}));
  EXPECT_GT(Mean, 3.0f);  // log10 of 1000..5000
  EXPECT_LT(Mean, 3.7f);

  // A window that selects nothing: zero pairs, the primary's own (100, 0).
  D.EstimateSpillover({0, 0}, 0, 1e7f, 2e7f, Mean, Dev, Pairs);
  EXPECT_EQ(Pairs[1], TCompensationPair());
  EXPECT_EQ(Pairs[0], (TCompensationPair{100.0f, 0.0f}));
  EXPECT_THROW(D.EstimateSpillover({0}, 0, 0, 1, Mean, Dev, Pairs), ERangeError);
  EXPECT_THROW(D.EstimateSpillover({0, 0}, 2, 0, 1, Mean, Dev, Pairs), ERangeError);
}

TEST(Spillover, BaselineCorrectedEstimateSkipsEventsAtOrBelowTheBaseline) {
  TFCSData D;
  SingleColour(D, 0.08f, 200, 50);
  AddRaw(D, {200, 400});  // primary on its baseline: would divide by zero
  AddRaw(D, {150, 400});  // below it: a negative divisor
  float Mean = 0, Dev = 0;
  TCompensationArray Pairs;
  D.EstimateSpillover({200, 50}, 0, 0, 100000, Mean, Dev, Pairs);
  EXPECT_NEAR(Pairs[1].Mean, 8.0, 0.05);
  EXPECT_TRUE(std::isfinite(Pairs[1].Deviation));
  // Without the baselines the offsets bias the estimate.
  D.EstimateSpillover({0, 0}, 0, 0, 100000, Mean, Dev, Pairs);
  EXPECT_GT(Pairs[1].Mean, 8.5f);
}

TEST(Spillover, WindowEdgesAreInclusive) {
  TFCSData D;
  D.Events.Reset(0, 2);
  AddRaw(D, {100, 10});   // 10 %
  AddRaw(D, {200, 40});   // 20 %
  AddRaw(D, {201, 201});  // just outside
  float Mean = 0, Dev = 0;
  TCompensationArray Pairs;
  D.EstimateSpillover({0, 0}, 0, 100, 200, Mean, Dev, Pairs);
  EXPECT_FLOAT_EQ(Pairs[1].Mean, 15.0f);
  EXPECT_FLOAT_EQ(Pairs[1].Deviation, 5.0f);  // divisor n
  EXPECT_FLOAT_EQ(Mean, static_cast<float>((2 + std::log10(200.0)) / 2));
}

TEST(Spillover, MatrixTakesEachEventsStrongestChannel) {
  TFCSData D;
  D.Events.Reset(0, 3);
  for (int i = 0; i < 10; ++i) {
    const float V = 1000.0f + 100.0f * i;
    AddRaw(D, {V, 0.08f * V, 0});
    AddRaw(D, {0.05f * V, V, 0.02f * V});
  }
  AddRaw(D, {500, 500, 0});  // a tie goes to channel 1: 100 % into channel 0, above the window
  TCompensationArray Primaries;
  TFullCompensationArray Matrix;
  D.EstimateSpilloverMatrix(Primaries, Matrix, 600, 10000);
  ASSERT_EQ(Matrix.size(), 3u);
  EXPECT_NEAR(Matrix[0][1].Mean, 8.0, 1e-4);
  EXPECT_NEAR(Matrix[1][0].Mean, 5.0, 1e-4);
  EXPECT_NEAR(Matrix[1][2].Mean, 2.0, 1e-4);
  EXPECT_EQ(Matrix[0][2], TCompensationPair());  // zero values are not percentages
  EXPECT_EQ(Matrix[2][2], (TCompensationPair{100.0f, 0.0f}));
  EXPECT_EQ(Primaries[2], TCompensationPair());
  EXPECT_GT(Primaries[1].Mean, 3.0f);

  D.EstimateSpilloverMatrix(Primaries, Matrix, 0, 10000);
  EXPECT_GT(Matrix[1][0].Mean, 5.0f);  // now the tie counts towards channel 1
}

TEST(ChannelMeans, MeansOverGatedInEvents) {
  TFCSData D;
  D.Events.Reset(0, 2);
  TSglArray Means;
  D.MeanChannelValues(Means);
  EXPECT_EQ(Means, (TSglArray{0, 0}));
  AddRaw(D, {10, 20});
  AddRaw(D, {30, 40});
  AddRaw(D, {1000, 1000}, true);
  D.MeanChannelValues(Means);
  EXPECT_EQ(Means, (TSglArray{20, 30}));
  for (size_t i = 0; i < 2; ++i) D.Events[i].SetGatedOut(true);
  D.MeanChannelValues(Means);
  EXPECT_EQ(Means, (TSglArray{0, 0}));
}

}  // namespace
