#pragma once
// Descriptive statistics, semi-deviations, chi-square, F and normal tail probabilities with the
// log-gamma, incomplete gamma and incomplete beta functions behind them, tolerance ranks, Spearman correlation and Gaussian
// random numbers. Sums over a series run from its last element to its first; arithmetic is
// Extended and rounded to the stored width of each field.
#include <cstdint>

#include "Types.h"

namespace qv {

// Fills Mean, SD, Variance, ThirdMoment, Max, Min and Count; leaves Stats untouched for fewer
// than two values. Weights (one per value, or empty for none) weight the moments.
void DescriptiveStatistics(const TSglArray& Values, const TIntArray& Weights, TMoment& Stats);
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
