#pragma once
// Least-squares fit of a scaled Gaussian to one series of a detector: a descending search of the
// height and, optionally, a pattern search of the mean and deviation, then a chi-square test.
#include <cstdint>
#include <functional>

#include "Types.h"

namespace qv {

class TDetector;

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

  // Sizes the series' curve and shape to the bin count; Fit is the record being filled.
  TGaussianFitter(TDetector& ADetector, int32_t ASeries, const TPeakWindow& AWindow, TGaussianFit& AFit);

  // Tries heights from 1.1 x StartHeight down to StartHeight / 3 (x 0.99 above 100, then - 1),
  // keeps the one of least squared error over the bins whose centre lies strictly inside
  // Low..High, and writes Scale and the curve from it. Returns the error (HugeValue when no
  // height was tried).
  Extended FitScale(Extended Low, Extended High);
  Extended FitMeanAndScale();
  void MeanSearch(TCandidate& Candidate, Extended Step, Extended Tolerance);
  Extended DevSearch(Extended& Deviation, Extended M, Extended Tolerance);
  void DevStep(TDevPair& Pair, Extended Factor, Extended M);
  void ChiSquareOfFit();

  // Fills the shape with exp(-(centre - M)^2 / TwoVariance); a zero TwoVariance throws.
  void SetShape(Extended M, Extended TwoVariance);

  // Called with every height FitScale tries (none by default).
  std::function<void(Extended)> OnHeightTried;

 private:
  TDetector& D;
  const int32_t S;
  const TPeakWindow Window;
  TGaussianFit& Fit;
  TSglArray& Curve;
  TSglArray& Shape;
  const TIntArray& Count;
  const Extended Mean0;
  const Extended Dev0;
  Extended UpperLimit = 0;
  Extended LowerLimit = 0;
  // Scratch: shape and count of the bins inside the current least-squares window.
  TSglArray InsideShape;
  TIntArray InsideCount;
};

}  // namespace qv
