#include <gtest/gtest.h>

#include <algorithm>
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

// Eight unit bins from 0, with the given counts (zeros by default).
struct Bins {
  explicit Bins(TIntArray ACounts = TIntArray(8, 0)) : Counts(std::move(ACounts)) {
    for (size_t i = 0; i < Counts.size(); ++i) {
      Edges.push_back(static_cast<float>(i));
      Centres.push_back(static_cast<float>(i) + 0.5f);
    }
  }
  TFitBins View() const { return TFitBins{Counts, Edges, Centres, 1.0}; }
  TIntArray Counts;
  TSglArray Edges, Centres, Curve, Shape;
};

std::vector<double> HeightsTried(double StartHeight) {
  Bins B;
  TGaussianFitter Fitter(B.View(), TPeakWindow{}, B.Curve, B.Shape);
  Fitter.Fit.StartHeight = StartHeight;
  std::vector<double> Heights;
  Fitter.OnHeightTried = [&](Extended H) { Heights.push_back(static_cast<double>(H)); };
  Fitter.FitScale(0, 8);
  return Heights;
}

// The shape is the extended exponential rounded to floats, also where it underflows into the
// float subnormals and to 0, for many means and widths over 2,000 bins.
TEST(SetShape, EveryBinIsTheRoundedExtendedExponential) {
  TIntArray Counts(2000, 0);
  Bins B(Counts);
  for (size_t i = 0; i < Counts.size(); ++i) B.Centres[i] = static_cast<float>(i) * 0.00731f - 3.1f;
  TGaussianFitter Fitter(B.View(), TPeakWindow{}, B.Curve, B.Shape);
  Randomize(12);
  for (int k = 0; k < 300; ++k) {
    const Extended M = 8 * Random01() - 4;
    const Extended TwoVariance = std::pow(10.0L, Extended(6 * Random01() - 5));
    Fitter.SetShape(M, TwoVariance);
    for (size_t i = 0; i < Counts.size(); ++i) {
      const Extended D = B.Centres[i] - M;
      ASSERT_EQ(B.Shape[i], static_cast<float>(std::exp(-(D * D / TwoVariance)))) << k << " " << i;
    }
  }
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
  Bins B({1, 3, 2, 1});
  TGaussianFitter Fitter(B.View(), TPeakWindow{}, B.Curve, B.Shape);
  Fitter.Fit.StartHeight = 3;  // heights 3.3, 2.3, 1.3
  Fitter.SetShape(1.5, 1e30);  // flat
  EXPECT_NEAR(static_cast<double>(Fitter.FitScale(2, 4)), 0.7 * 0.7 + 0.3 * 0.3, 1e-5);
  EXPECT_NEAR(Fitter.Fit.Scale, 1.3, 1e-12);
  EXPECT_FLOAT_EQ(B.Curve[0], 1.3f);  // every bin gets the curve
  Fitter.FitScale(0.5, 2.5);           // centres on the ends stay out: bin 1 alone
  EXPECT_NEAR(Fitter.Fit.Scale, 3.3, 1e-12);
}

TEST(FitBins, AFitOnBinsAloneMatchesTheDetectorsFit) {
  // A normal of mean 4 and deviation 0.5, binned over 80 bins of 0..8; the fitter sees only the
  // bins.
  BinCountGuard Guard(80);
  TDetector D(0, true, false, true, 0, 8, true);
  Randomize(5);
  TSglArray Values;
  for (int i = 0; i < 20000; ++i) Values.push_back(4.0f + 0.5f * GaussRandom());
  D.AddSeries("s", Values, 0);
  TPeakWindow Window;
  Window.Low = 0.6f;
  Window.High = 8;
  Window.Mean = 3.8f;
  Window.Deviation = 0.6f;
  Window.ClipLow = -2;
  Window.ClipHigh = 2;

  TSglArray Curve, Shape;
  TGaussianFitter Fitter(TFitBins{D.Counts[0], D.BinEdges, D.BinCentres, D.BinWidth}, Window, Curve, Shape);
  const TGaussianFit Fit = Fitter.Run(true);
  EXPECT_EQ(Fit.StartHeight, *std::max_element(D.Counts[0].begin() + 7, D.Counts[0].end()));
  float Chi = 0, ChiP = 0;
  Fitter.ChiSquareOfFit(Chi, ChiP);
  EXPECT_GT(Chi, 0.0f);

  // The detector stores the very same record, curve and chi-square.
  const TGaussianFit Stored = D.FitGaussianToSeries(0, Window);
  EXPECT_EQ(Stored.Mean, Fit.Mean);
  EXPECT_EQ(Stored.Deviation, Fit.Deviation);
  EXPECT_EQ(Stored.Scale, Fit.Scale);
  EXPECT_EQ(D.Curves[0], Curve);
  EXPECT_EQ(D.Shapes[0], Shape);
  EXPECT_EQ(D.GetChi(0), Chi);
  EXPECT_EQ(D.GetChiP(0), ChiP);
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
  // 2.4 .. 2.6: no edge inside, so no height is tried and the height would be 1.1 x the lowest
  // start, below zero: no fit, and the series stays as it was before.
  TChannel Empty = ChannelWithPeak(2.5f, 0.1f, -1, 1);
  TSglArray Curve, Shape;
  TPeakWindow Window{2.4f, 2.6f, -1, 1, 2.5f, 0.1f, false};
  TGaussianFitter Fitter(TFitBins{D.Counts[0], D.BinEdges, D.BinCentres, D.BinWidth}, Window, Curve, Shape);
  EXPECT_DOUBLE_EQ(Fitter.Run(false).Scale, static_cast<double>(1.1L * -2147483647.0));
  EXPECT_FALSE(Fitter.Fitted());
  D.FitGaussian(nullptr, &Empty, O);
  EXPECT_EQ(D.LastFitted, -1);
  EXPECT_EQ(D.Fits[0].StartHeight, 0.0);
  EXPECT_EQ(D.Fits[0].Scale, 0.0);
  EXPECT_TRUE(D.Curves[0].empty());
  EXPECT_TRUE(D.Shapes[0].empty());
  EXPECT_EQ(D.Chi[0], -1.0f);
  EXPECT_EQ(D.ChiP[0], -1.0f);

  TChannel One = ChannelWithPeak(2.0f, 0.6f, -1, 1);  // 1.4 .. 2.6: edge 2 only, centres 1.5 and 2.5
  D.FitGaussian(nullptr, &One, O);
  EXPECT_EQ(D.LastFitted, 0);
  EXPECT_EQ(D.Fits[0].StartHeight, 2);
  EXPECT_EQ(D.ChiP[0], 1.0f);  // no degree of freedom

  // Bins inside the window that hold nothing give a height of 0: no fit either, and the fit
  // the series had is gone with it.
  TChannel Nothing = ChannelWithPeak(5.5f, 1.0f, -1, 1);  // 4.5 .. 6.5: edges 5 and 6, both empty
  D.FitGaussian(nullptr, &Nothing, O);
  EXPECT_EQ(D.LastFitted, -1);
  EXPECT_TRUE(D.Curves[0].empty());
  EXPECT_EQ(D.ChiP[0], -1.0f);
  // So is a least-squares window without a bin centre, though the chi window has bins.
  // Edge 2 lies in 1.5 .. 2.5, but no centre in 1.95 .. 2.05.
  TPeakWindow NarrowWindow{1.5f, 2.5f, -0.1f, 0.1f, 2.0f, 0.5f, false};
  TGaussianFitter NoCentre(TFitBins{D.Counts[0], D.BinEdges, D.BinCentres, D.BinWidth}, NarrowWindow, Curve,
                           Shape);
  EXPECT_GT(NoCentre.Run(false).Scale, 0.0);
  EXPECT_FALSE(NoCentre.Fitted());

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
  O.FitMean = false;
  O.UseGivenPeak = true;  // a channel without peaks fits from a given one
  O.Mean = 2.0f;
  O.Deviation = 1.0f;
  O.ClipLow = -1;
  O.ClipHigh = 1;
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
