// Reading the four own data files of a fitness assay, against what it costs only to unpack them.
//
// BM_ReadAgainstInflate: four files of 1,000,000 events each (2 gates, 4 channels, 3 genotypes,
// two plates in the observed files). One run times zlib inflating the four packed files one after
// another on one thread (the files read from disk, the bytes kept as a numpy user's
// zlib.decompress keeps them), then the fitness calculator reading them (unpack, read,
// compensate, compact, classify) on the thread count of QUORVENAL_THREADS, and prints the ratio
// and the processor time the reading took on all threads. Goal: ratio at most 1.0. The threads_1
// variant is the sequential reference, for the record.
//
// BM_PumpGapAt10M: four files of 2,500,000 events each; the largest time between two moves of
// the gauge while the calculator reads them. Goal: at most 100 ms.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "FitnessFixtures.h"
#include "Host.h"
#include "TestFolders.h"
#include "fitness/FitnessCalculator.h"

namespace {

using Clock = std::chrono::steady_clock;
using qv::test::AssayProtocol;
using qv::test::SaveAssayFile;

// Four assay files of about Events events each in a folder that lives as long as the program.
qv::TFitnessFileSet MakeAssay(int32_t Events) {
  auto* Folder = new qv::test::TempFolder;  // kept: the files are read by every run
  const std::vector<std::string> Fluors{"GFP", "YFP", "RFP", "CFP"};
  auto P1 = AssayProtocol({"A", "B", "C"}, Fluors, 2);
  auto P2 = AssayProtocol({"B", "C", "A"}, Fluors, 2);
  const int32_t Unassigned = Events / 25, Third = (Events - Unassigned) / 3;
  const std::vector<std::vector<int32_t>> Even{{Unassigned, Third, Third, Third}};
  const int32_t Half = Events / 2;
  const std::vector<std::vector<int32_t>> Shifted{
      {Unassigned / 2, Half * 2 / 5, Half * 3 / 10, Half - Unassigned / 2 - Half * 2 / 5 - Half * 3 / 10},
      {Unassigned / 2, Half * 9 / 25, Half * 8 / 25, Half - Unassigned / 2 - Half * 9 / 25 - Half * 8 / 25}};
  SaveAssayFile(*Folder / "e1.Quorvenal", *P1, Even, true);
  SaveAssayFile(*Folder / "e2.Quorvenal", *P2, Even, true);
  SaveAssayFile(*Folder / "o1.Quorvenal", *P1, Shifted, true);
  SaveAssayFile(*Folder / "o2.Quorvenal", *P2, Shifted, true);
  qv::TFitnessFileSet Set;
  Set.Folder = Folder->Path();
  Set.Expected = {"e1.Quorvenal", "e2.Quorvenal"};
  Set.Observed = {"o1.Quorvenal", "o2.Quorvenal"};
  return Set;
}

std::vector<std::string> Paths(const qv::TFitnessFileSet& Set) {
  return {Set.ObservedPath(0), Set.ObservedPath(1), Set.ExpectedPath(0), Set.ExpectedPath(1)};
}

// Reads the file and inflates all of it, as zlib.decompress does: into a fresh buffer grown
// (never cleared) as it fills. Answers the bytes.
size_t Inflate(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  const std::vector<char> Packed((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  z_stream Z{};
  if (inflateInit2(&Z, 15) != Z_OK) return 0;
  Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Packed.data()));
  Z.avail_in = static_cast<uInt>(Packed.size());
  size_t Size = 4 * Packed.size() + 4096, Held = 0;
  auto* Plain = static_cast<Bytef*>(std::malloc(Size));
  for (int Status = Z_OK; Plain && Status != Z_STREAM_END;) {
    if (Held == Size) {
      Size *= 2;
      Plain = static_cast<Bytef*>(std::realloc(Plain, Size));
      if (!Plain) break;
    }
    Z.next_out = Plain + Held;
    Z.avail_out = static_cast<uInt>(Size - Held);
    Status = inflate(&Z, Z_NO_FLUSH);
    Held = Size - Z.avail_out;
    if (Status != Z_OK && Status != Z_STREAM_END && Status != Z_BUF_ERROR) Held = 0;
    if (Held == 0) break;
  }
  benchmark::DoNotOptimize(Plain);
  std::free(Plain);
  inflateEnd(&Z);
  return Held;
}

double Seconds(Clock::duration D) { return std::chrono::duration<double>(D).count(); }

// Processor time of every thread of the process so far, user and system.
double ProcessSeconds() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  const auto Of = [](const timeval& T) {
    return static_cast<double>(T.tv_sec) + 1e-6 * static_cast<double>(T.tv_usec);
  };
  return Of(Usage.ru_utime) + Of(Usage.ru_stime);
}

// Sets QUORVENAL_THREADS for its life when Count is given.
class ScopedThreads {
 public:
  explicit ScopedThreads(std::optional<int> Count) {
    if (!Count) return;
    if (const char* Old = std::getenv("QUORVENAL_THREADS")) FOld = Old;
    FSet = true;
    setenv("QUORVENAL_THREADS", std::to_string(*Count).c_str(), 1);
  }
  ~ScopedThreads() {
    if (!FSet) return;
    if (FOld)
      setenv("QUORVENAL_THREADS", FOld->c_str(), 1);
    else
      unsetenv("QUORVENAL_THREADS");
  }

 private:
  std::optional<std::string> FOld;
  bool FSet = false;
};

void ReadAgainstInflate(benchmark::State& State, std::optional<int> Threads) {
  static const qv::TFitnessFileSet Set = MakeAssay(1000000);
  ScopedThreads Scope(Threads);
  double InflateTime = 0, ReadTime = 0, ReadCpu = 0;
  size_t Bytes = 0;
  for (auto _ : State) {
    const auto Start = Clock::now();
    Bytes = 0;
    for (const std::string& Path : Paths(Set)) Bytes += Inflate(Path);
    const auto Inflated = Clock::now();
    const double CpuBefore = ProcessSeconds();
    {
      qv::TFitnessCalculator C(Set, nullptr);
      if (!C.FilesRead) State.SkipWithError("files not read");
      benchmark::DoNotOptimize(C.Merged.get());
      ReadTime += Seconds(Clock::now() - Inflated);
    }
    ReadCpu += ProcessSeconds() - CpuBefore;
    InflateTime += Seconds(Inflated - Start);
    State.SetIterationTime(Seconds(Clock::now() - Start));
  }
  const double Runs = static_cast<double>(State.iterations());
  State.counters["inflate_ms"] = 1000 * InflateTime / Runs;
  State.counters["read_ms"] = 1000 * ReadTime / Runs;
  State.counters["read_cpu_ms"] = 1000 * ReadCpu / Runs;
  State.counters["ratio"] = InflateTime > 0 ? ReadTime / InflateTime : 0;
  State.counters["unpacked_MB"] = static_cast<double>(Bytes) / 1e6;
}
BENCHMARK_CAPTURE(ReadAgainstInflate, pool, std::nullopt)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(ReadAgainstInflate, threads_1, 1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// A gauge that notes the largest time between two of its moves.
class TGapGauge : public qv::Progress {
 public:
  void Pump() override { Note(); }
  void SetPosition(int64_t Position) override {
    Progress::SetPosition(Position);
    Note();
  }
  void Start() {
    FLast = Clock::now();
    FLargest = {};
  }
  double LargestMs() {
    Note();
    return 1000 * Seconds(FLargest);
  }

 private:
  void Note() {
    const auto Now = Clock::now();
    FLargest = std::max(FLargest, Now - FLast);
    FLast = Now;
  }
  Clock::time_point FLast;
  Clock::duration FLargest{};
};

void BM_PumpGapAt10M(benchmark::State& State) {
  static const qv::TFitnessFileSet Files = MakeAssay(2500000);
  qv::TFitnessFileSet Set = Files;
  TGapGauge Gauge;
  Set.Gauge = &Gauge;
  double Largest = 0;
  for (auto _ : State) {
    Gauge.Start();
    qv::TFitnessCalculator C(Set, nullptr);
    if (!C.FilesRead) State.SkipWithError("files not read");
    Largest = std::max(Largest, Gauge.LargestMs());
  }
  State.counters["largest_gap_ms"] = Largest;
}
BENCHMARK(BM_PumpGapAt10M)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
