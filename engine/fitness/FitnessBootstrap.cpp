// Fitness bootstrap: the merged calculation repeated on resampled class counts, and the spread
// of strain, genotype and fluorophore fitness over the iterations.
#include <algorithm>

#include "Statistics.h"
#include "fitness/FitnessCalculator.h"

namespace qv {

bool TFitnessCalculator::Bootstrap(int32_t ACountKind, int32_t ADeconvolutionMode, int32_t AIterations,
                                   bool WithSingles, Progress* Gauge, ProgressMemo* AMemo) {
  if (!FilesRead) return false;
  if (ACountKind < 1 || ACountKind > 2 || ADeconvolutionMode < 0 || ADeconvolutionMode > 1) return false;
  const int32_t n = GenotypeCount;
  const int32_t Requested = std::max(AIterations, 0);
  Iterations = Requested;
  UsedIterations = 0;
  // Rows per class; only iterations whose calculation succeeded are kept.
  T2SglArray G(static_cast<size_t>(n)), F(static_cast<size_t>(n)), S1(static_cast<size_t>(n)),
      S2(static_cast<size_t>(n));
  for (int32_t k = 0; k < n; ++k)
    for (auto* Row : {&G[k], &F[k], &S1[k], &S2[k]}) Row->reserve(static_cast<size_t>(Requested));
  {
    if (Gauge) {
      Gauge->SetMax(Requested);
      Gauge->SetPosition(0);
    }
    BusyCursor Busy;
    if (AMemo) AMemo->Show();
    struct HideMemo {
      ProgressMemo* M;
      ~HideMemo() {
        if (M) M->Hide();
      }
    } Hide{AMemo};
    for (int32_t r = Requested - 1; r >= 0; --r) {
      if (Gauge) {
        Gauge->Pump();
        Gauge->SetPosition(Requested - r);
      }
      // Single plates keep nothing from an iteration: the final calculation fills them.
      if (!Calculate(ACountKind, ADeconvolutionMode, true, false, false, nullptr)) continue;
      const TFitnessData& M = *Merged;
      for (int32_t k = 0; k < n; ++k) {
        G[k].push_back(M.AvgW[k]);
        F[k].push_back(static_cast<float>((static_cast<Extended>(M.AvgW1[k]) + M.AvgW2[k]) / 2));
        S1[k].push_back(M.W[0][k]);
        S2[k].push_back(M.W[1][k]);
      }
      ++UsedIterations;
    }
    // The result sets hold the values of the real counts.
    Calculate(ACountKind, ADeconvolutionMode, false, WithSingles, false, nullptr);
    Resample = true;
  }
  TFitnessData& M = *Merged;
  M.GenotypeStats.clear();
  M.FluorStats.clear();
  M.StrainStats[0].clear();
  M.StrainStats[1].clear();
  if (UsedIterations < 2) return false;
  M.GenotypeStats.assign(static_cast<size_t>(n), TMoment());
  M.FluorStats.assign(static_cast<size_t>(n), TMoment());
  M.StrainStats[0].assign(static_cast<size_t>(n), TMoment());
  M.StrainStats[1].assign(static_cast<size_t>(n), TMoment());
  for (int32_t k = n - 1; k >= 0; --k) {
    DescriptiveStatistics(G[k], {}, M.GenotypeStats[k]);
    DescriptiveStatistics(F[k], {}, M.FluorStats[k]);
    DescriptiveStatistics(S1[k], {}, M.StrainStats[0][k]);
    DescriptiveStatistics(S2[k], {}, M.StrainStats[1][k]);
  }
  return true;
}

}  // namespace qv
