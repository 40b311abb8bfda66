// Fitness assays at the calculator's caps, from small files: what the most a file may declare
// costs. Each run reads the four files, calculates with single plates and plate pairs in matrix
// deconvolution and writes the whole report; peak memory above the start and the report's size
// are printed. Goal: each under 1 s and 100 MB.
//   genotypes: MaxFitnessGenotypes genotypes rotated between the sets, one plate each.
//   plates:    3 genotypes, MaxFitnessPlates plates in each observed file (MaxFitnessPlates^2
//              plate pairs).
//   both:      MaxFitnessGenotypes genotypes and MaxFitnessPlates plates in each observed file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "FitnessFixtures.h"
#include "ProcessStatus.h"
#include "TestFolders.h"
#include "fitness/FitnessCalculator.h"
#include "fitness/FitnessShared.h"

namespace {

using qv::TFitnessCalculator;
using qv::test::StatusBytes;

// Genotypes G0 .. G(n-1) over two channels; set 2 holds them rotated by one.
std::unique_ptr<qv::TProtocol> Rotated(int32_t n, int32_t Shift) {
  auto P = qv::test::AssayProtocol({}, {"GFP", "YFP"});
  for (int32_t i = 0; i < n; ++i) P->AddGenotype("G" + std::to_string((i + Shift) % n), i % 2, 0);
  P->Genotypes->PrepareAll();
  return P;
}

qv::TFitnessFileSet Assay(int32_t Genotypes, int32_t Plates) {
  auto* Folder = new qv::test::TempFolder;  // kept for the program's life
  const std::vector<std::vector<int32_t>> One{{10, 100, 100}};
  const std::vector<std::vector<int32_t>> Many(static_cast<size_t>(Plates), std::vector<int32_t>{1, 20, 30});
  for (int32_t t = 0; t < 2; ++t) {
    auto P = Rotated(Genotypes, t);
    qv::test::SaveAssayFile(*Folder / ("e" + std::to_string(t + 1) + ".Quorvenal"), *P, One);
    qv::test::SaveAssayFile(*Folder / ("o" + std::to_string(t + 1) + ".Quorvenal"), *P, Many);
  }
  qv::TFitnessFileSet Set;
  Set.Folder = Folder->Path();
  Set.Expected = {"e1.Quorvenal", "e2.Quorvenal"};
  Set.Observed = {"o1.Quorvenal", "o2.Quorvenal"};
  return Set;
}

void AtTheCaps(benchmark::State& State, int32_t Genotypes, int32_t Plates) {
  const qv::TFitnessFileSet Set = Assay(Genotypes, Plates);
  double Peak = 0;
  size_t ReportBytes = 0;
  for (auto _ : State) {
    std::ofstream("/proc/self/clear_refs") << "5";  // restarts the peak at the current size
    const int64_t Before = StatusBytes("VmRSS:");
    {
      TFitnessCalculator C(Set, nullptr);
      if (!C.FilesRead) State.SkipWithError("files not read");
      if (!C.Calculate(1, 0, false, true, true, nullptr)) State.SkipWithError("not calculated");
      std::string Text;
      C.ReportAll(true, true, Text);
      ReportBytes = Text.size();
      Peak = std::max(Peak, static_cast<double>(StatusBytes("VmHWM:") - Before));
    }
  }
  State.counters["peak_MB"] = Peak / 1e6;
  State.counters["report_MB"] = static_cast<double>(ReportBytes) / 1e6;
}
BENCHMARK_CAPTURE(AtTheCaps, genotypes, qv::MaxFitnessGenotypes, 1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(AtTheCaps, plates, 3, qv::MaxFitnessPlates)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(AtTheCaps, both, qv::MaxFitnessGenotypes, qv::MaxFitnessPlates)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
