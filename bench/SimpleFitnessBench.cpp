// The constant-fluorophore model on four own data files of 250,000 events each (2 gates,
// 4 channels, 3 genotypes, two plates per file): Bootstrap of 500 iterations, goal under 1 s on
// one core; Report (1,000-sample variance analysis and three ANOVA sections) for the record.
// One event-by-event replicate of the four sets shows what 500 of them would cost instead.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "FitnessFixtures.h"
#include "TestFolders.h"
#include "fitness/SimpleFitness.h"

namespace {

using qv::test::AssayProtocol;
using qv::test::SaveAssayFile;

const qv::TFitnessFileSet& AssayFiles() {
  static qv::test::TempFolder Folder;
  static qv::TFitnessFileSet Set;
  if (Set.Folder.empty()) {
    auto P = AssayProtocol({"A", "B", "C"}, {"GFP", "YFP", "RFP", "CFP"}, 2);
    // Two plates of 125,000 events per file, proportions shifting from start to stop.
    const std::vector<std::vector<int32_t>> Start{{5000, 40000, 40000, 40000}, {5000, 41000, 39000, 40000}};
    const std::vector<std::vector<int32_t>> CtrlStop{{5000, 45000, 35000, 40000}, {5000, 44000, 36000, 40000}};
    const std::vector<std::vector<int32_t>> ExptStop{{5000, 55000, 25000, 40000}, {5000, 53000, 28000, 39000}};
    SaveAssayFile(Folder / "c0.Quorvenal", *P, Start, true);
    SaveAssayFile(Folder / "e0.Quorvenal", *P, Start, true);
    SaveAssayFile(Folder / "cT.Quorvenal", *P, CtrlStop, true);
    SaveAssayFile(Folder / "eT.Quorvenal", *P, ExptStop, true);
    Set.Folder = Folder.Path();
    Set.Expected = {"c0.Quorvenal", "e0.Quorvenal"};
    Set.Observed = {"cT.Quorvenal", "eT.Quorvenal"};
  }
  return Set;
}

void BM_SimpleBootstrap500(benchmark::State& State) {
  qv::TSimpleFitness S(AssayFiles(), nullptr);
  if (!S.FilesRead) State.SkipWithError("files not read");
  for (auto _ : State) S.Bootstrap(500);
}
BENCHMARK(BM_SimpleBootstrap500)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SimpleReport(benchmark::State& State) {
  qv::TSimpleFitness S(AssayFiles(), nullptr);
  if (!S.FilesRead) State.SkipWithError("files not read");
  S.Bootstrap(500);
  for (auto _ : State) benchmark::DoNotOptimize(S.Report());
}
BENCHMARK(BM_SimpleReport)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_EventResampleOfFourSets(benchmark::State& State) {
  qv::TSimpleFitness S(AssayFiles(), nullptr);
  if (!S.FilesRead) State.SkipWithError("files not read");
  qv::TIntArray Counts;
  for (auto _ : State)
    for (int32_t t = 0; t < 2; ++t) {
      S.StartData[t]->ClassCounts(*S.StartProtocols[t], 1, true, Counts);
      S.StopData[t]->ClassCounts(*S.StopProtocols[t], 1, true, Counts);
    }
}
BENCHMARK(BM_EventResampleOfFourSets)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
