#include "analysis/GaussianFit.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "analysis/Detector.h"
#include "protocol/Channel.h"
#include "FloatStores.h"
#include "Globals.h"
#include "protocol/GlobalGate.h"
#include "protocol/Protocol.h"
#include "Statistics.h"

namespace qv {

namespace {

// Lowest start height: no bin inside the window leaves it, and then no height is tried.
constexpr double NoStartHeight = -2147483647.0;

Extended Square(Extended X) { return X * X; }

// exp(X) rounded to a float for X <= 0, the same float as rounding the extended exponential.
// The double exponential of X rounded to a double lies within 2^-40 of its value of the
// extended one; when no midpoint between floats lies that close, both round to the same float.
float ExpToSingle(Extended X) {
  // Below -104.5 the exponential is under 2^-150 and rounds to 0.
  if (X < -104.5L) return 0.0f;
  const double Near = std::exp(static_cast<double>(X));
  const float F = static_cast<float>(Near);
  if (F > 0) {
    const uint32_t Bits = std::bit_cast<uint32_t>(F);
    const double Below = (static_cast<double>(F) + std::bit_cast<float>(Bits - 1)) / 2;
    const double Above = (static_cast<double>(F) + std::bit_cast<float>(Bits + 1)) / 2;
    const double Tolerance = Near * 0x1p-40;
    if (Near - Below > Tolerance && Above - Near > Tolerance) return F;
  }
  return fp::Single(std::exp(X));
}

}  // namespace

void TDetector::FitGaussian(const TGlobalGate* Gate, const TChannel* Channel, const TDetectorOptions& Options,
                            Progress* Gauge) {
  try {
    PumpMessages(Gauge);
    FitMean = Options.FitMean;
    TPeakWindow Window;
    Window.Low = 0.6f;
    Window.High = 2147483648.0f;
    Window.Refine = Options.Refine;
    if (Options.IsGate) {
      if (Gate == nullptr) return;
      Window.Mean = Gate->Mean;
      Window.Deviation = Gate->Deviation;
      Window.ClipHigh = Gate->ClipHigh;
      Window.ClipLow = Gate->ClipLow;
    } else {
      if (Channel == nullptr) return;
      if (Options.UseGivenPeak) {
        Window.Mean = Options.Mean;
        Window.Deviation = Options.Deviation;
        Window.ClipHigh = Options.ClipHigh;
        Window.ClipLow = Options.ClipLow;
      } else {
        // Without a peak there is nothing to start from.
        if (Channel->PeakCount() < 1) return;
        const TPeak& Peak = Channel->Peaks.back();
        Window.Mean = Peak.Mean;
        Window.Deviation = Peak.Dev;
        Window.ClipHigh = Peak.ClipHigh;
        Window.ClipLow = Peak.ClipLow;
      }
      Window.Low = fp::Single(Extended(Window.Mean) + Extended(Window.ClipLow) * Window.Deviation);
      Window.High = fp::Single(Extended(Window.Mean) + Extended(Window.ClipHigh) * Window.Deviation);
    }
    if (Options.UseGivenPeak) {
      Window.Mean = Options.Mean;
      Window.Deviation = Options.Deviation;
    }
    if (SeriesCount < 1) return;
    FitGaussianToSeries(SeriesCount - 1, Window);
  } catch (const std::exception&) {
    // A fit that cannot run leaves what it stored; the caller carries on.
  }
}

void TDetector::FitGaussian(const TProtocol& Protocol, const TDetectorOptions& Options, Progress* Gauge) {
  if (Options.IsGate)
    FitGaussian(Protocol.GetGate(Options.GateIndex), nullptr, Options, Gauge);
  else
    FitGaussian(nullptr, Protocol.GetChannel(Options.ChannelIndex), Options, Gauge);
}

TGaussianFit TDetector::FitGaussianToSeries(int32_t Series, const TPeakWindow& Window) {
  if (Series < 0 || Series >= SeriesCount) throw RangeCheckError();
  TGaussianFitter Fitter(TFitBins{Counts.at(Series), BinEdges, BinCentres, BinWidth}, Window, Curves.at(Series),
                         Shapes.at(Series));
  const TGaussianFit Fit = Fitter.Run(FitMean);
  if (!Fitter.Fitted()) {
    // No curve to show or save: the series is left as if never fitted.
    Fits[Series] = TGaussianFit{};
    Curves[Series].clear();
    Shapes[Series].clear();
    Chi[Series] = -1.0f;
    ChiP[Series] = -1.0f;
    if (LastFitted == Series) LastFitted = -1;
    return Fits[Series];
  }
  Fits[Series] = Fit;
  LastFitted = Series;
  Fitter.ChiSquareOfFit(Chi[Series], ChiP[Series]);
  return Fit;
}

TGaussianFitter::TGaussianFitter(const TFitBins& ABins, const TPeakWindow& AWindow, TSglArray& ACurve,
                                 TSglArray& AShape)
    : Bins(ABins),
      BinCount(static_cast<int32_t>(ABins.Edges.size())),
      Window(AWindow),
      Curve(ACurve),
      Shape(AShape),
      Count(ABins.Counts),
      Mean0(AWindow.Mean),
      Dev0(AWindow.Deviation) {
  if (Bins.Centres.size() < Bins.Edges.size() || Count.size() < Bins.Edges.size()) throw RangeCheckError();
  if (BinCount > 0) {
    UpperLimit = Extended(Bins.Edges[BinCount - 1]) + Bins.Width;
    LowerLimit = Extended(Bins.Edges[0]) - Bins.Width;
  }
  Curve.resize(BinCount);
  Shape.resize(BinCount);
}

TGaussianFit TGaussianFitter::Run(bool SearchMean) {
  Fit.Mean = Window.Mean;
  Fit.Deviation = Window.Deviation;
  Fit.TwoVariance = fp::Double(2 * Square(Dev0));
  Fit.StartHeight = NoStartHeight;
  ChiBins = 0;
  ScaleBins = 0;
  for (int32_t i = 0; i < BinCount; ++i)
    if (Window.Low < Bins.Edges[i] && Bins.Edges[i] < Window.High) {
      ++ChiBins;
      if (Count[i] > Fit.StartHeight) Fit.StartHeight = Count[i];
    }
  SetShape(Mean0, Fit.TwoVariance);
  if (SearchMean) {
    FitMeanAndScale();
  } else {
    FitScale(Mean0 + Extended(Window.ClipLow) * Dev0, Mean0 + Extended(Window.ClipHigh) * Dev0);
    for (int32_t i = 0; i < BinCount; ++i) Curve[i] = fp::Single(Extended(Fit.Scale) * Shape[i]);
  }
  return Fit;
}

bool TGaussianFitter::Fitted() const { return ChiBins > 0 && ScaleBins > 0 && Fit.Scale > 0; }

void TGaussianFitter::SetShape(Extended M, Extended TwoVariance) {
  if (TwoVariance == 0) throw EArithmetic(fp::kZeroDivide);
  for (int32_t i = 0; i < BinCount; ++i) {
    const Extended X = -fp::Div(Square(Bins.Centres[i] - M), TwoVariance);
    Shape[i] = X <= 0 ? ExpToSingle(X) : fp::Single(std::exp(X));
  }
}

Extended TGaussianFitter::FitScale(Extended Low, Extended High) {
  try {
    // Only the bins inside the window decide the height; the others take their curve value
    // from the height chosen.
    InsideShape.clear();
    InsideCount.clear();
    bool Bounded = true;
    for (int32_t i = 0; i < BinCount; ++i)
      if (Low < Bins.Centres[i] && Bins.Centres[i] < High) {
        InsideShape.push_back(Shape[i]);
        InsideCount.push_back(Count[i]);
        Bounded = Bounded && std::fabs(Shape[i]) <= 1.0f;
      }
    const size_t N = InsideShape.size();
    Extended Height = 1.1L * Fit.StartHeight;
    Extended BestHeight = Height;
    Extended BestError = HugeValue;
    const Extended Stop = Extended(Fit.StartHeight) / 3;
    while (Height > Stop) {
      if (OnHeightTried) OnHeightTried(Height);
      // A height below 2^31 times a shape value within 1 always fits a float; other shapes
      // take the checked store.
      if (!Bounded || !(std::fabs(Height) < 4294967296.0L))
        for (size_t k = 0; k < N; ++k) fp::Single(Height * InsideShape[k]);
      // Every term is a square, so a partial sum that has reached the best error can only
      // stay there: the rest of this height's sum cannot change the choice.
      Extended Error = 0;
      for (size_t k = 0; k < N;) {
        const size_t BlockEnd = std::min(N, k + 8);
        for (; k < BlockEnd; ++k) {
          const float Value = static_cast<float>(Height * InsideShape[k]);
          Error += Square(Extended(Value) - InsideCount[k]);
        }
        if (!(Error < BestError)) break;
      }
      if (Error < BestError) {
        BestError = Error;
        BestHeight = Height;
      }
      Height = Height > 100 ? 0.99L * Height : Height - 1;
    }
    Fit.Scale = fp::Double(BestHeight);
    ScaleBins = N;
    for (int32_t i = 0; i < BinCount; ++i) Curve[i] = fp::Single(BestHeight * Shape[i]);
    return BestError;
  } catch (const Exception&) {
    return HugeValue;
  }
}

Extended TGaussianFitter::FitMeanAndScale() {
  try {
    const Extended ClipLow = Window.ClipLow, ClipHigh = Window.ClipHigh;
    const Extended E0 = FitScale(Mean0 + ClipLow * Dev0, Mean0 + ClipHigh * Dev0);
    TCandidate A{Mean0, Dev0, E0};
    TCandidate B = A;
    // The step is a bin width: one bin gives no step, and the search keeps its start.
    if (BinCount < 2) throw RangeCheckError();
    const Extended W = Extended(Bins.Centres[1]) - Bins.Centres[0];
    MeanSearch(A, -5 * W, 0.05L);
    MeanSearch(B, 5 * W, 0.05L);
    MeanSearch(A, -W / 2, 0.02L);
    MeanSearch(B, W / 2, 0.02L);
    if (Window.Refine) {
      MeanSearch(A, -W / 20, 0.001L);
      MeanSearch(B, W / 20, 0.001L);
    }
    const TCandidate& Taken = A.Error > B.Error ? B : A;
    Fit.Mean = fp::Double(Taken.Mean);
    Fit.Deviation = fp::Double(Taken.Deviation);
    Fit.TwoVariance = fp::Double(2 * Square(Fit.Deviation));
    SetShape(Fit.Mean, Fit.TwoVariance);
    return FitScale(Fit.Mean + ClipLow * Fit.Deviation, Fit.Mean + ClipHigh * Fit.Deviation);
  } catch (const Exception&) {
    return HugeValue;
  }
}

void TGaussianFitter::MeanSearch(TCandidate& Candidate, Extended Step, Extended Tolerance) {
  try {
    Extended M = Candidate.Mean;
    int32_t Misses = 0;
    while (Misses < 10 && LowerLimit <= M && M <= UpperLimit) {
      M = M + Step;
      Extended Deviation = Candidate.Deviation;
      const Extended Error = DevSearch(Deviation, M, Tolerance);
      if (Error < Candidate.Error) {
        Candidate = {M, Deviation, Error};
        Misses = 0;
      } else {
        ++Misses;
      }
    }
  } catch (const Exception&) {
    // The candidate keeps its best.
  }
}

Extended TGaussianFitter::DevSearch(Extended& Deviation, Extended M, Extended Tolerance) {
  try {
    const Extended ClipLow = Window.ClipLow, ClipHigh = Window.ClipHigh;
    const Extended E = FitScale(M + ClipLow * Deviation, M + ClipHigh * Deviation);
    TDevPair Up{Deviation, E};
    TDevPair Down{Deviation, E};
    DevStep(Up, 1 + Tolerance, M);
    DevStep(Down, 1 - Tolerance, M);
    Deviation = Down.Error <= Up.Error ? Down.Deviation : Up.Deviation;
    const Extended TwoVariance = 2 * Square(Deviation);
    if (TwoVariance > 0)
      SetShape(M, TwoVariance);
    else
      Shape.assign(Shape.size(), 1.0f);
    return FitScale(M + ClipLow * Dev0, M + ClipHigh * Dev0);
  } catch (const Exception&) {
    return HugeValue;
  }
}

void TGaussianFitter::DevStep(TDevPair& Pair, Extended Factor, Extended M) {
  const Extended ClipLow = Window.ClipLow, ClipHigh = Window.ClipHigh;
  Extended E = Dev0;
  int32_t Misses = 0;
  while (Misses < 10) {
    E = E * Factor;
    // A deviation whose square underflows gives a zero variance, which SetShape refuses.
    SetShape(M, 2 * Square(E));
    const Extended Error = FitScale(Mean0 + ClipLow * E, Mean0 + ClipHigh * E);
    if (Error < Pair.Error) {
      Pair = {E, Error};
      Misses = 0;
    } else {
      ++Misses;
    }
  }
}

void TGaussianFitter::ChiSquareOfFit(float& Chi, float& ChiP) const {
  Chi = 0;
  int32_t N = 0;
  for (int32_t i = 0; i < BinCount; ++i)
    if (Window.Low < Bins.Edges[i] && Bins.Edges[i] < Window.High) {
      ++N;
      if (Curve[i] > 0) Chi = fp::Single(Chi + Square(Extended(Count[i]) - Curve[i]) / Curve[i]);
    }
  ChiP = N > 0 ? fp::Single(ChiSquareProbability(Chi, N - 1)) : -1.0f;
}

}  // namespace qv
