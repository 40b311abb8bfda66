#pragma once
// Descriptive statistics, semi-deviations, chi-square, F and normal tail probabilities with the
// log-gamma, incomplete gamma and incomplete beta functions behind them, tolerance ranks, Spearman correlation and Gaussian
// random numbers. Sums over a series run from its last element to its first; arithmetic is
// Extended and rounded to the stored width of each field.
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "Types.h"

namespace qv {

// Fills Mean, SD, Variance, ThirdMoment, Max, Min and Count; leaves Stats untouched for fewer
// than two values. Weights (one per value, or empty for none) weight the moments.
void DescriptiveStatistics(const TSglArray& Values, const TIntArray& Weights, TMoment& Stats);

// DescriptiveStatistics without weights of a series that is not held in one array. The values
// are given in walks, each from the last value to the first, in pieces of any length: every value
// to Add, then EndAdd; when NeedsSum (values whose sum no exact way finds), every value again to
// AddToSum; then StartDeviations and, when NeedsDeviations, every value again to AddDeviations.
// Result is what DescriptiveStatistics gives on the array, bit for bit.
class TMomentBuilder {
 public:
  void Add(const float* Values, size_t Count);
  void EndAdd();
  bool NeedsSum() const { return FCount >= 2 && !FExact; }
  void AddToSum(const float* Values, size_t Count);
  void StartDeviations();
  bool NeedsDeviations() const { return FCount >= 2; }
  void AddDeviations(const float* Values, size_t Count);
  // Zeros for fewer than two values, as a fresh TMoment left untouched.
  TMoment Result() const;

 private:
  int64_t FCount = 0;
  float FFirst = 0;  // given last: the series' first value
  float FLargest = 0;
  float FSmallest = std::numeric_limits<float>::infinity();
  bool FFinite = true;
  // Significands summed by biased exponent, in two halves that do not wait for each other: the
  // exact sum, where the one-array sum finds one.
  std::array<int64_t, 2 * 255> FBuckets{};
  bool FExact = false;
  Extended FSum = 0;  // exact, or added last first as the one-array sum adds elsewhere
  TMoment FMoment;
  Extended FS2 = 0, FS3 = 0;
};
// Root-mean-square deviation and lower and upper semi-deviations about the mean; a value on
// the centre counts as lower.
void SemiDeviations(const TSglArray& Values, TSkewMoment& Stats);
void SemiDeviationsAbout(const TSglArray& Values, TSkewMoment& Stats, float Centre);

// Upper-tail chi-square probability; 1 when DF <= 0 or on any arithmetic error.
double ChiSquareProbability(double Statistic, double DF);
// Normal deviate for a chi-square value X with N degrees of freedom.
Extended ChiSquareZ(int32_t N, double X);
// P(|standard normal| > |Z|) by the erf series; 0 on any arithmetic error.
double NormalTwoTailProbability(float Z);

// Upper regularised incomplete gamma Q(A, X). Arithmetic errors throw EArithmetic.
double GammaQ(double A, double X);
// P(A, X) by its series and Q(A, X) by its continued fraction; both return ln Gamma(A) too.
double GammaSeries(double A, double X, double& LnGammaA);
double GammaContinuedFraction(double A, double X, double& LnGammaA);

// 0-based mid-ranks: values below plus half the values tied, two values tying when their
// difference divided by the smaller is within Tolerance.
void RankScores(const TSglArray& Values, TSglArray& Scores, float Tolerance);
// Spearman's rank correlation; 0 for series of different length or fewer than two values.
float SpearmanCorrelation(const TSglArray& X, const TSglArray& Y);

// ln Gamma(X); 0 when X <= 0 or on any arithmetic error.
double LnGamma(double X);
// Regularised incomplete beta I_X(A, B); 0 outside 0..1. Arithmetic errors throw EArithmetic.
double BetaI(double A, double B, double X);
Extended BetaContinuedFraction(double A, double B, double X);
// Upper-tail probability of F with DF1 and DF2 degrees of freedom; 1 when DF1 x DF2 x F <= 0.
double FProbability(int32_t DF1, int32_t DF2, double F);

// Standard normal deviate by the polar method; every second call returns the cached partner.
float GaussRandom();
// Empties the cached deviate (Randomize does this too).
void ClearGaussCache();
// Mean of N values Mean + SD x GaussRandom(); 0 when N <= 0.
float SimulatedMean(int32_t N, double Mean, double SD);

}  // namespace qv
