#include <gtest/gtest.h>

#include <cmath>

#include "analysis/Detector.h"
#include "protocol/Channel.h"
#include "analysis/GaussianFit.h"
#include "Globals.h"
#include "ScopedValue.h"
#include "protocol/GlobalGate.h"
#include "protocol/Protocol.h"
#include "Random.h"
#include "Statistics.h"

namespace qv {
namespace {

using test::BinCountGuard;

TChannel ChannelWithPeak(float Mean, float Dev, float ClipLow, float ClipHigh) {
  TChannel Channel(TChannelInfo{}, nullptr);
  Channel.AddPeak(false, -1, Mean, Dev, 100, 0, 0, 0, ClipHigh, ClipLow);
  return Channel;
}

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
  EXPECT_NEAR(Large[2], 1078.11, 1e-9);
  for (size_t i = 1; i < Large.size(); ++i) EXPECT_NEAR(Large[i], Large[i - 1] * 0.99, 1e-9);
  EXPECT_GT(Large.back(), 1000.0 / 3);
  EXPECT_LE(Large.back() * 0.99, 1000.0 / 3);  // never reaches the steps of one
  EXPECT_TRUE(HeightsTried(-2147483647.0).empty());
}

TEST(FitScale, LeastSquaredErrorStrictlyInsideTheWindow) {
  BinCountGuard Guard(4);
  TDetector D(0, false, false, false, 0, 4, true);
  D.AddSeries("s", {0.5f, 1.5f, 1.5f, 1.5f, 2.5f, 2.5f, 3.5f}, 0);  // counts 3 3 2 1
  TGaussianFit Fit;
  Fit.StartHeight = 3;  // heights 3.3, 2.3, 1.3
  TGaussianFitter Fitter(D, 0, TPeakWindow{}, Fit);
  Fitter.SetShape(1.5, 1e30);  // flat
  EXPECT_NEAR(static_cast<double>(Fitter.FitScale(2, 4)), 0.7 * 0.7 + 0.3 * 0.3, 1e-5);
  EXPECT_NEAR(Fit.Scale, 1.3, 1e-12);
  EXPECT_FLOAT_EQ(D.Curves[0][0], 1.3f);  // every bin gets the curve
  Fitter.FitScale(0.5, 2.5);               // centres on the ends stay out: bin 1 alone
  EXPECT_NEAR(Fit.Scale, 3.3, 1e-12);
}

TEST(FitGaussian, SampledNormalComesBackWithinABin) {
  BinCountGuard Guard(256);
  for (bool Refine : {false, true}) {
    TDetector D(0, true, false, true, 0, 4, false);
    Randomize(12345);
    TSglArray Values(100000);
    for (float& V : Values) V = static_cast<float>(2.0 + 0.2 * GaussRandom());
    D.AddSeries("sample", Values, 0);
    TChannel Channel = ChannelWithPeak(3.0f, 0.5f, -1, 1);  // the given peak replaces it
    TDetectorOptions O;
    O.FitMean = true;
    O.Refine = Refine;
    O.UseGivenPeak = true;
    O.Mean = 1.9f;
    O.Deviation = 0.25f;
    O.ClipLow = -2;
    O.ClipHigh = 2;
    D.FitGaussian(nullptr, &Channel, O);
    const TGaussianFit& F = D.Fits[0];
    EXPECT_NEAR(F.Mean, 2.0, D.BinWidth);
    EXPECT_NEAR(F.Deviation, 0.2, D.BinWidth);
    EXPECT_NEAR(F.Scale, 100000 * 0.015625 / (std::sqrt(2 * M_PI) * 0.2), 150);
    EXPECT_GT(D.ChiP[0], 0.0f);

    // Without the mean search only the height moves, from the channel's peak.
    O.FitMean = O.UseGivenPeak = false;
    D.FitGaussian(nullptr, &Channel, O);
    EXPECT_EQ(F.Mean, 3.0);
    EXPECT_EQ(D.Curves[0][100], static_cast<float>(Extended(F.Scale) * D.Shapes[0][100]));
  }
}

TEST(FitGaussian, WindowsOfTheGateAndOfNoneOrOneBin) {
  BinCountGuard Guard(10);
  TDetector D(0, true, true, false, 0, 10, true);
  D.AddSeries("s", {1.5f, 2.5f, 2.5f, 3.5f, 8.5f, 8.5f, 8.5f}, 0);
  TDetectorOptions O;
  TChannel Empty = ChannelWithPeak(2.5f, 0.1f, -1, 1);  // 2.4 .. 2.6: no edge inside
  D.FitGaussian(nullptr, &Empty, O);
  EXPECT_EQ(D.Fits[0].StartHeight, -2147483647.0);
  EXPECT_DOUBLE_EQ(D.Fits[0].Scale, static_cast<double>(1.1L * -2147483647.0));
  EXPECT_EQ(D.ChiP[0], -1.0f);

  TChannel One = ChannelWithPeak(2.0f, 0.5f, -1, 1);  // 1.5 .. 2.5: edge 2 only
  D.FitGaussian(nullptr, &One, O);
  EXPECT_EQ(D.Fits[0].StartHeight, 2);
  EXPECT_EQ(D.ChiP[0], 1.0f);  // no degree of freedom

  // A gate's start height comes from 0.6 .. 2^31, beyond Mean +- clip x deviation.
  TGateInfo Info;
  Info.Mean = 2.5f;
  Info.Deviation = 0.5f;
  Info.ClipLow = -1;
  Info.ClipHigh = 1;
  TGlobalGate Gate(Info, nullptr);
  O.IsGate = true;
  D.FitGaussian(&Gate, nullptr, O);
  EXPECT_EQ(D.Fits[0].StartHeight, 3);
}

TEST(FitGaussian, OneBinDetectorWithMeanSearchKeepsItsStart) {
  BinCountGuard Guard(1);
  TDetector D(0, true, false, true, 0, 4, true);
  D.AddSeries("s", {1, 2, 2, 3}, 0);
  TChannel Channel = ChannelWithPeak(2.0f, 1.0f, -3, 3);
  TDetectorOptions O;
  O.FitMean = true;
  D.FitGaussian(nullptr, &Channel, O);
  ASSERT_EQ(D.LastFitted, 0);
  EXPECT_EQ(D.Fits[0].Mean, 2.0);
  EXPECT_EQ(D.Fits[0].Deviation, 1.0);
  EXPECT_NEAR(D.Fits[0].Scale, 4.4, 1e-12);  // of 4.4, 3.4, 2.4, 1.4 nearest the count 4
  EXPECT_EQ(D.ChiP[0], 1.0f);
  EXPECT_NEAR(D.Chi[0], 0.16 / 4.4, 1e-6);
}

TEST(FitGaussian, FitsThatCannotStartStoreNothing) {
  BinCountGuard Guard(8);
  TDetector D(0, false, false, true, 0, 8, true);
  TDetectorOptions O;
  O.FitMean = true;
  TChannel ZeroDev = ChannelWithPeak(2.0f, 0.0f, -1, 1);
  D.FitGaussian(nullptr, &ZeroDev, O);  // no series yet
  EXPECT_TRUE(D.FitMean);
  D.AddSeries("s", {1.5f, 2.5f}, 0);
  TChannel NoPeak(TChannelInfo{}, nullptr);
  D.FitGaussian(nullptr, &ZeroDev, O);
  D.FitGaussian(nullptr, &NoPeak, O);
  O.IsGate = true;
  D.FitGaussian(nullptr, &ZeroDev, O);  // no gate
  EXPECT_EQ(D.LastFitted, -1);
  EXPECT_EQ(D.Chi[0], -1.0f);

  O.IsGate = false;
  O.UseGivenPeak = true;  // a channel without peaks fits from a given one
  O.Mean = 2.0f;
  O.Deviation = 1.0f;
  TProtocol Protocol;
  Protocol.AddChannel(std::make_unique<TChannel>(TChannelInfo{}, nullptr));
  O.ChannelIndex = 1;  // no such channel
  D.FitGaussian(Protocol, O);
  EXPECT_EQ(D.LastFitted, -1);
  O.ChannelIndex = 0;
  D.FitGaussian(Protocol, O);
  EXPECT_EQ(D.LastFitted, 0);
  EXPECT_THROW(D.FitGaussianToSeries(1, TPeakWindow{}), ERangeError);
}

}  // namespace
}  // namespace qv
