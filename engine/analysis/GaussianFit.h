#pragma once
// Least-squares fit of a scaled Gaussian to the bins of one histogram series: a descending search
// of the height and, optionally, a pattern search of the mean and deviation, then a chi-square
// test. The fitter knows bins only; a detector hands it a series and stores what comes back.
#include <cstdint>
#include <functional>
#include <span>

#include "Types.h"

namespace qv {

// One fit result.
struct TGaussianFit {
  double Mean = 0;
  double Deviation = 0;
  double Reserved = 0;  // never set by a fit
  double TwoVariance = 0;
  double StartHeight = 0;  // largest count inside the search window
  double Scale = 0;        // fitted height
};

// The fit's input, in the detector's units.
struct TPeakWindow {
  float Low = 0;  // start height and chi-square use the bins whose lower edge lies inside
  float High = 0;
  float ClipLow = 0;  // multipliers of the deviation for the least-squares window
  float ClipHigh = 0;
  float Mean = 0;
  float Deviation = 0;
  bool Refine = false;  // a third, finer pass of the mean search
};

// The bins of one series: counts, lower edges and centres of equal-width bins.
struct TFitBins {
  std::span<const int32_t> Counts;
  std::span<const float> Edges;
  std::span<const float> Centres;
  double Width = 0;
};

// The steps of one fit of one series. Every search compares strictly, so the first of equal
// errors wins, and every curve and shape value is stored as a 32-bit float.
class TGaussianFitter {
 public:
  // A candidate of the mean search.
  struct TCandidate {
    Extended Mean = 0;
    Extended Deviation = 0;
    Extended Error = 0;
  };
  // A deviation with its error.
  struct TDevPair {
    Extended Deviation = 0;
    Extended Error = 0;
  };

  // Curve and Shape (the caller's, sized here to the bin count) receive the fitted curve and the
  // unit-height Gaussian; what a failed step leaves in them stays.
  TGaussianFitter(const TFitBins& ABins, const TPeakWindow& AWindow, TSglArray& ACurve, TSglArray& AShape);

  // The whole fit: the start height (largest count of the bins whose lower edge lies strictly
  // inside Low..High), then the mean and deviation search when SearchMean, else the height at
  // the window's mean, and the curve.
  TGaussianFit Run(bool SearchMean);
  // After Run: whether it found a curve. A window holding no bin, for the start height and the
  // chi-square or for the least-squares error of the height chosen, fits nothing, and neither
  // does a height of 0 or below.
  bool Fitted() const;

  // Tries heights from 1.1 x StartHeight down to StartHeight / 3 (x 0.99 above 100, then - 1),
  // keeps the one of least squared error over the bins whose centre lies strictly inside
  // Low..High, and writes Scale and the curve from it. Returns the error (HugeValue when no
  // height was tried).
  Extended FitScale(Extended Low, Extended High);
  Extended FitMeanAndScale();
  void MeanSearch(TCandidate& Candidate, Extended Step, Extended Tolerance);
  Extended DevSearch(Extended& Deviation, Extended M, Extended Tolerance);
  void DevStep(TDevPair& Pair, Extended Factor, Extended M);
  // Chi-square of the curve against the counts over the bins whose lower edge lies strictly
  // inside Low..High, and its probability (-1 without such bins).
  void ChiSquareOfFit(float& Chi, float& ChiP) const;

  // Fills the shape with exp(-(centre - M)^2 / TwoVariance); a zero TwoVariance throws.
  void SetShape(Extended M, Extended TwoVariance);

  // Called with every height FitScale tries (none by default).
  std::function<void(Extended)> OnHeightTried;
  // The record the steps fill.
  TGaussianFit Fit;

 private:
  const TFitBins Bins;
  const int32_t BinCount;
  const TPeakWindow Window;
  TSglArray& Curve;
  TSglArray& Shape;
  const std::span<const int32_t> Count;
  const Extended Mean0;
  const Extended Dev0;
  Extended UpperLimit = 0;
  Extended LowerLimit = 0;
  // Scratch: shape and count of the bins inside the current least-squares window.
  TSglArray InsideShape;
  TIntArray InsideCount;
  // Bins of the chi-square window, and of the least-squares window of the height in Fit.Scale.
  int32_t ChiBins = 0;
  size_t ScaleBins = 0;
};

}  // namespace qv
