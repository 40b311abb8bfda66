// The fitness road on four own data files of 250,000 events each (2 gates, 4 channels,
// 3 genotypes rotated between the sets): ReadFiles (unpack, read, compensate, compact, classify),
// goal under 1.5 s on one core; Bootstrap of 500 iterations without singles, goal under 1 s.
// Saving a data file of 1,000,000 instrument-like events is timed for the record (zlib level 9).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "FitnessFixtures.h"
#include "TestFolders.h"
#include "fitness/FitnessCalculator.h"

namespace {

using qv::test::AssayProtocol;
using qv::test::SaveAssayFile;

constexpr int32_t Unassigned = 10000;
constexpr int32_t PerGenotype = 80000;  // 250,000 events per file

const qv::TFitnessFileSet& AssayFiles() {
  static qv::test::TempFolder Folder;
  static qv::TFitnessFileSet Set;
  if (Set.Folder.empty()) {
    const std::vector<std::string> Fluors{"GFP", "YFP", "RFP", "CFP"};
    auto P1 = AssayProtocol({"A", "B", "C"}, Fluors, 2);
    auto P2 = AssayProtocol({"B", "C", "A"}, Fluors, 2);
    const std::vector<std::vector<int32_t>> Even{{Unassigned, PerGenotype, PerGenotype, PerGenotype}};
    // Observed files of two plates each, with shifted proportions.
    const std::vector<std::vector<int32_t>> Shifted{{Unassigned / 2, 50000, 35000, 40000},
                                                    {Unassigned / 2, 45000, 40000, 30000}};
    SaveAssayFile(Folder / "e1.Quorvenal", *P1, Even, true);
    SaveAssayFile(Folder / "e2.Quorvenal", *P2, Even, true);
    SaveAssayFile(Folder / "o1.Quorvenal", *P1, Shifted, true);
    SaveAssayFile(Folder / "o2.Quorvenal", *P2, Shifted, true);
    Set.Folder = Folder.Path();
    Set.Expected = {"e1.Quorvenal", "e2.Quorvenal"};
    Set.Observed = {"o1.Quorvenal", "o2.Quorvenal"};
  }
  return Set;
}

void BM_ReadFiles(benchmark::State& State) {
  const qv::TFitnessFileSet& Set = AssayFiles();
  for (auto _ : State) {
    qv::TFitnessCalculator C(Set, nullptr);
    if (!C.FilesRead) State.SkipWithError("files not read");
    benchmark::DoNotOptimize(C.Merged.get());
  }
}
BENCHMARK(BM_ReadFiles)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Bootstrap500(benchmark::State& State) {
  qv::TFitnessCalculator C(AssayFiles(), nullptr);
  if (!C.FilesRead) State.SkipWithError("files not read");
  for (auto _ : State) {
    if (!C.Bootstrap(1, 1, 500, false, nullptr, nullptr)) State.SkipWithError("bootstrap failed");
  }
}
BENCHMARK(BM_Bootstrap500)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SaveMillionEvents(benchmark::State& State) {
  static qv::test::TempFolder Folder;
  auto P = AssayProtocol({"A", "B", "C"}, {"GFP", "YFP", "RFP", "CFP"}, 2);
  auto D = qv::test::AssaySet(*P, {{100000, 300000, 300000, 300000}}, true);
  for (auto _ : State) D->SaveToFile(Folder / "million.Quorvenal", *P);
}
BENCHMARK(BM_SaveMillionEvents)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
