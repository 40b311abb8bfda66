#include "fitness/FitnessData.h"

#include <algorithm>

#include "Errors.h"
#include "Host.h"

namespace qv {

void TFitnessData::SetSize(int32_t N) {
  if (N < 0) throw RangeCheckError();
  const size_t n = static_cast<size_t>(N);
  ClassCount = N;
  for (size_t t = 0; t < 2; ++t) {
    ExpectedCounts[t].resize(n + 1, 0);
    ObservedCounts[t].resize(n + 1, 0);
    ExpectedFractions[t].resize(n, 0);
    ObservedFractions[t].resize(n, 0);
    W[t].resize(n, 0);
    LnW[t].resize(n, 0);
    GenotypeNames[t].resize(n);
  }
  AvgW1.resize(n, 0);
  AvgW2.resize(n, 0);
  DlnW.resize(n);
  for (auto& Row : DlnW) Row.resize(1, 0);
  Wfinal.resize(n);
  for (auto& Row : Wfinal) Row.resize(n, 0);
  LogFitness.resize(n);
  DesignMatrices.resize(n);
  FluorNames.resize(n);
  AvgW.resize(n, 0);
  MeanW.resize(n, 0);
  PostRefresh();
}

void TFitnessData::CopyCounts(const TFitnessData& Source, int32_t N, bool CopyExpected1, bool CopyExpected2,
                              bool CopyObserved1, bool CopyObserved2) {
  SetSize(N);
  const auto Copy = [N](const TIntArray& From, TIntArray& To, bool Flag) {
    if (Flag && From.size() < static_cast<size_t>(N) + 1) throw RangeCheckError();
    for (int32_t i = N; i >= 0; --i) To[i] = Flag ? From[i] : 0;
  };
  Copy(Source.ExpectedCounts[0], ExpectedCounts[0], CopyExpected1);
  Copy(Source.ExpectedCounts[1], ExpectedCounts[1], CopyExpected2);
  Copy(Source.ObservedCounts[0], ObservedCounts[0], CopyObserved1);
  Copy(Source.ObservedCounts[1], ObservedCounts[1], CopyObserved2);
}

}  // namespace qv
