#include <gtest/gtest.h>

#include <cmath>

#include "Channel.h"
#include "Detector.h"
#include "GaussianFit.h"
#include "Globals.h"
#include "GlobalGate.h"
#include "Random.h"
#include "Statistics.h"

namespace qv {
namespace {

struct BinCountGuard {
  int32_t Saved = HistogramBinCount;
  explicit BinCountGuard(int32_t Count) { HistogramBinCount = Count; }
  ~BinCountGuard() { HistogramBinCount = Saved; }
};

std::vector<double> HeightsTried(double StartHeight) {
  BinCountGuard Guard(8);
  TDetector D(0, false, false, false, 0, 8, true);
  D.AddSeries("s", {}, 0);
  TGaussianFit Fit;
  Fit.StartHeight = StartHeight;
  TGaussianFitter Fitter(D, 0, TPeakWindow{}, Fit);
  std::vector<double> Heights;
  Fitter.OnHeightTried = [&](Extended H) { Heights.push_back(static_cast<double>(H)); };
  Fitter.FitScale(0, 8);
  return Heights;
}

TEST(FitScale, HeightSchedules) {
  const std::vector<double> Small = HeightsTried(50);
  ASSERT_EQ(Small.size(), 39u);  // 55, 54, ... 17
  for (size_t i = 0; i < Small.size(); ++i) EXPECT_NEAR(Small[i], 55.0 - i, 1e-12);

  const std::vector<double> Large = HeightsTried(1000);
  ASSERT_GT(Large.size(), 3u);
  EXPECT_NEAR(Large[0], 1100, 1e-9);
  EXPECT_NEAR(Large[1], 1089, 1e-9);
  EXPECT_NEAR(Large[2], 1078.11, 1e-9);
  for (size_t i = 1; i < Large.size(); ++i) EXPECT_NEAR(Large[i], Large[i - 1] * 0.99, 1e-9);
  EXPECT_GT(Large.back(), 1000.0 / 3);
  EXPECT_LE(Large.back() * 0.99, 1000.0 / 3);  // never reaches the steps of one

  EXPECT_TRUE(HeightsTried(0).empty());
  EXPECT_TRUE(HeightsTried(-2147483647.0).empty());
}

TEST(FitScale, PicksTheHeightOfLeastSquaredErrorInsideTheWindow) {
  BinCountGuard Guard(4);
  TDetector D(0, false, false, false, 0, 4, true);
  D.AddSeries("s", {0.5f, 1.5f, 1.5f, 1.5f, 2.5f, 2.5f, 3.5f}, 0);  // counts 3 3 2 1
  TGaussianFit Fit;
  Fit.StartHeight = 3;
  TGaussianFitter Fitter(D, 0, TPeakWindow{}, Fit);
  Fitter.SetShape(1.5, 1e30);  // flat: every shape value 1
  // The window holds bins 2 and 3 (centres 2.5, 3.5, counts 2 and 1); of the heights 3.3, 2.3
  // and 1.3 the last errs least.
  const Extended Error = Fitter.FitScale(2, 4);
  EXPECT_NEAR(Fit.Scale, 1.3, 1e-12);
  EXPECT_NEAR(static_cast<double>(Error), 0.7 * 0.7 + 0.3 * 0.3, 1e-5);
  EXPECT_FLOAT_EQ(D.Curves[0][0], static_cast<float>(Fit.Scale));  // every bin gets the curve
  // Centres on the window's ends stay out: only bin 1 (count 3) decides.
  Fitter.FitScale(0.5, 2.5);
  EXPECT_NEAR(Fit.Scale, 3.3, 1e-12);
}

// A histogram of Count normal values with the given mean and deviation over 0..4.
struct SampledNormal {
  BinCountGuard Guard{256};
  TDetector D{0, true, false, true, 0, 4, false};
  SampledNormal(uint64_t Seed, int Count, double Mean, double Dev) {
    Randomize(Seed);
    TSglArray Values(Count);
    for (float& V : Values) V = static_cast<float>(Mean + Dev * GaussRandom());
    D.AddSeries("sample", Values, 0);
  }
};

TChannel ChannelWithPeak(float Mean, float Dev, float ClipLow, float ClipHigh) {
  TChannel Channel(TChannelInfo{}, nullptr);
  Channel.AddPeak(false, -1, Mean, Dev, 100, 0, 0, 0, ClipHigh, ClipLow);
  return Channel;
}

TEST(FitGaussian, SampledNormalComesBackWithinABin) {
  SampledNormal S(12345, 100000, 2.0, 0.2);
  TChannel Channel = ChannelWithPeak(1.9f, 0.25f, -2, 2);
  TDetectorOptions O;
  O.FitMean = true;
  S.D.FitGaussian(nullptr, &Channel, O);
  ASSERT_EQ(S.D.LastFitted, 0);
  const TGaussianFit& F = S.D.Fits[0];
  EXPECT_NEAR(F.Mean, 2.0, S.D.BinWidth);
  EXPECT_NEAR(F.Deviation, 0.2, S.D.BinWidth);
  EXPECT_DOUBLE_EQ(F.TwoVariance, static_cast<double>(2 * static_cast<Extended>(F.Deviation) * F.Deviation));
  // Expected peak height: Count x width / (sqrt(2 pi) x deviation).
  EXPECT_NEAR(F.Scale, 100000 * 0.015625 / (std::sqrt(2 * M_PI) * 0.2), 150);
  EXPECT_EQ(F.Reserved, 0);
  EXPECT_GT(S.D.ChiP[0], 0.0f);
  EXPECT_GT(S.D.Chi[0], 0.0f);
  EXPECT_EQ(S.D.Curves[0].size(), 256u);

  // Without the mean search the start peak stays and only the height moves.
  SampledNormal T(12345, 100000, 2.0, 0.2);
  O.FitMean = false;
  T.D.FitGaussian(nullptr, &Channel, O);
  EXPECT_FLOAT_EQ(static_cast<float>(T.D.Fits[0].Mean), 1.9f);
  EXPECT_FLOAT_EQ(static_cast<float>(T.D.Fits[0].Deviation), 0.25f);
  EXPECT_FALSE(T.D.FitMean);
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(T.D.Curves[0][i], static_cast<float>(Extended(T.D.Fits[0].Scale) * T.D.Shapes[0][i]));
}

TEST(FitGaussian, RefineAndGivenPeak) {
  SampledNormal S(7, 100000, 2.0, 0.2);
  TChannel Channel = ChannelWithPeak(3.0f, 0.5f, -1, 1);  // far off: the given peak replaces it
  TDetectorOptions O;
  O.FitMean = true;
  O.Refine = true;
  O.UseGivenPeak = true;
  O.Mean = 1.9f;
  O.Deviation = 0.25f;
  O.ClipLow = -2;
  O.ClipHigh = 2;
  S.D.FitGaussian(nullptr, &Channel, O);
  EXPECT_NEAR(S.D.Fits[0].Mean, 2.0, S.D.BinWidth);
  EXPECT_NEAR(S.D.Fits[0].Deviation, 0.2, S.D.BinWidth);
}

TEST(FitGaussian, GateWindowDecidesStartHeightAndChiSquare) {
  BinCountGuard Guard(10);
  TDetector D(0, true, true, false, 0, 10, true);
  // A tall bin at 8.5, far outside Mean +- clip x deviation, still sets the start height.
  TSglArray Values;
  for (int i = 0; i < 5; ++i) Values.push_back(4.5f);
  for (int i = 0; i < 40; ++i) Values.push_back(8.5f);
  D.AddSeries("FSC", Values, 0);
  TGateInfo Info;
  Info.Mean = 4.5f;
  Info.Deviation = 0.5f;
  Info.ClipLow = -1;
  Info.ClipHigh = 1;
  TGlobalGate Gate(Info, nullptr);
  TDetectorOptions O;
  O.IsGate = true;
  D.FitGaussian(&Gate, nullptr, O);
  EXPECT_EQ(D.Fits[0].StartHeight, 40);
  EXPECT_EQ(D.Fits[0].Mean, 4.5);
  EXPECT_GT(D.Chi[0], 0.0f);  // the chi-square covers bins 1..9 (edges above 0.6)
}

TEST(FitGaussian, WindowWithoutBinsAndWithOneBin) {
  BinCountGuard Guard(8);
  TDetector D(0, false, false, true, 0, 8, true);
  D.AddSeries("s", {1.5f, 2.5f, 2.5f, 3.5f}, 0);
  TChannel Empty = ChannelWithPeak(2.5f, 0.1f, -1, 1);  // 2.4 .. 2.6: no edge inside
  TDetectorOptions O;
  D.FitGaussian(nullptr, &Empty, O);
  EXPECT_EQ(D.Fits[0].StartHeight, -2147483647.0);
  EXPECT_DOUBLE_EQ(D.Fits[0].Scale, static_cast<double>(1.1L * -2147483647.0));
  EXPECT_EQ(D.ChiP[0], -1.0f);
  EXPECT_EQ(D.Chi[0], 0.0f);

  TChannel One = ChannelWithPeak(2.0f, 0.5f, -1, 1);  // 1.5 .. 2.5: edge 2 only
  D.FitGaussian(nullptr, &One, O);
  EXPECT_EQ(D.Fits[0].StartHeight, 2);
  EXPECT_EQ(D.ChiP[0], 1.0f);  // no degree of freedom
}

TEST(FitGaussian, OneBinDetectorWithMeanSearchKeepsItsStart) {
  BinCountGuard Guard(1);
  TDetector D(0, true, false, true, 0, 4, true);
  D.AddSeries("s", {1, 2, 2, 3}, 0);
  TChannel Channel = ChannelWithPeak(2.0f, 1.0f, -3, 3);  // window -1 .. 5 holds edge 0
  TDetectorOptions O;
  O.FitMean = true;
  O.Refine = true;
  D.FitGaussian(nullptr, &Channel, O);
  ASSERT_EQ(D.LastFitted, 0);
  EXPECT_EQ(D.Fits[0].Mean, 2.0);
  EXPECT_EQ(D.Fits[0].Deviation, 1.0);
  EXPECT_EQ(D.Fits[0].StartHeight, 4);
  // Shape 1 at the centre; of the heights 4.4, 3.4, 2.4, 1.4 the first errs least.
  EXPECT_NEAR(D.Fits[0].Scale, 4.4, 1e-12);
  EXPECT_EQ(D.ChiP[0], 1.0f);
  EXPECT_NEAR(D.Chi[0], 0.16 / 4.4, 1e-6);
}

TEST(FitGaussian, FitsThatCannotStartStoreNothing) {
  BinCountGuard Guard(8);
  TDetector D(0, false, false, true, 0, 8, true);
  TDetectorOptions O;
  O.FitMean = true;
  TChannel Channel = ChannelWithPeak(2.0f, 0.0f, -1, 1);  // zero deviation
  D.FitGaussian(nullptr, &Channel, O);  // no series yet
  EXPECT_TRUE(D.FitMean);
  D.AddSeries("s", {1.5f, 2.5f}, 0);
  D.FitGaussian(nullptr, &Channel, O);
  EXPECT_EQ(D.LastFitted, -1);
  EXPECT_EQ(D.Chi[0], -1.0f);
  EXPECT_EQ(D.Fits[0].StartHeight, 0);

  TChannel NoPeak(TChannelInfo{}, nullptr);
  D.FitGaussian(nullptr, &NoPeak, O);
  D.FitGaussian(nullptr, nullptr, O);
  O.IsGate = true;
  D.FitGaussian(nullptr, &Channel, O);
  EXPECT_EQ(D.LastFitted, -1);
  EXPECT_EQ(D.Fits[0].Scale, 0);

  // A channel without peaks still fits from a given peak.
  O.IsGate = false;
  O.UseGivenPeak = true;
  O.Mean = 2.0f;
  O.Deviation = 1.0f;
  O.ClipLow = -1;
  O.ClipHigh = 1;
  D.FitGaussian(nullptr, &NoPeak, O);
  EXPECT_EQ(D.LastFitted, 0);
  EXPECT_THROW(D.FitGaussianToSeries(1, TPeakWindow{}), ERangeError);
}

}  // namespace
}  // namespace qv
