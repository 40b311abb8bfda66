// Merging many FCS files against reading the same events as one file.
//   MergeAgainstOneFile  200 files of 20,000 events (8 floats) merged as the reading page merges
//                        them, and one file of the same 4,000,000 events read and created
//                        (no analysis), five of each in turn per repetition, in one run.
//                        Counters (medians): MergeSeconds, OneFileSeconds, Ratio (goal: at most
//                        1.5), CpuRatio (the same for the processor time of every thread),
//                        MergePeakMB (the peak resident memory while merging, over what the
//                        process held before).
//   Merge500Files        500 such files: MergeSeconds, MillisecondsPerFile and MergePeakMB (the
//                        file-by-file loop took 41-48 s and 2.3 GB).
//   GaugeGaps            the longest stretch without a gauge move and without a pump while
//                        merging 50 files of 200,000 events and while creating one set of
//                        10,000,000 events, in seconds (goal: at most 0.1 for the gauge).
// Run alone (--benchmark_filter) so the memory figures are this benchmark's own.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DataSetFixtures.h"
#include "FcsWriter.h"
#include "ProcessStatus.h"
#include "TestFolders.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/Protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

// Values of every row as a cytometer writes them: two scatter parameters, four fluorescence
// channels over three decades (about one event in twenty below the raw floor), two spare.
double Value(int64_t Event, int32_t Parameter) {
  uint64_t X = static_cast<uint64_t>(Event) * 8 + static_cast<uint64_t>(Parameter) + 0x9e3779b97f4a7c15ULL;
  X ^= X >> 33;
  X *= 0xff51afd7ed558ccdULL;
  X ^= X >> 33;
  const double U = static_cast<double>(X >> 11) / 9007199254740992.0;
  if (Parameter < 2) return 1024 * U;
  if (Parameter < 6) return Event % 20 == 0 ? U : std::pow(10.0, 3 * U);
  return 100 * U;
}

// Files of Events events each, the first event of file f being event f x Events of the whole.
std::vector<std::string> WriteFiles(const qv::test::TempFolder& Folder, const std::string& Prefix, int32_t Files,
                                    int64_t Events) {
  std::vector<std::string> Names;
  for (int32_t f = 0; f < Files; ++f) {
    qv::test::FcsFileSpec Spec;
    for (const char* P : {"FSC-H", "SSC-H", "FL1-H", "FL2-H", "FL3-H", "FL4-H", "FL5-H", "Time"})
      Spec.Parameters.push_back(qv::test::LinearParameter(P, 262144));
    Spec.EventCount = Events;
    const int64_t First = static_cast<int64_t>(f) * Events;
    Spec.Value = [First](int64_t E, int32_t P) { return Value(First + E, P); };
    Names.push_back(Prefix + std::to_string(f) + ".fcs");
    qv::test::WriteFcs(Folder / Names.back(), Spec);
  }
  // On disk before they are read, as an instrument's files are: the write-back of fresh files
  // would otherwise slow the first reads.
  ::sync();
  return Names;
}

std::unique_ptr<qv::TProtocol> Protocol() {
  return qv::test::MakeProtocol({{"FSC", "FSC-H"}, {"SSC", "SSC-H", true, true}},
                                {{"GFP", "FL1-H"}, {"RFP", "FL2-H"}, {"CFP", "FL3-H"}, {"YFP", "FL4-H"}});
}

double Seconds(Clock::time_point From) { return std::chrono::duration<double>(Clock::now() - From).count(); }

// Processor time of every thread of the process so far (user and system).
double CpuSeconds() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  const auto Of = [](const timeval& T) { return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_usec) / 1e6; };
  return Of(Usage.ru_utime) + Of(Usage.ru_stime);
}

// Resets the peak of resident memory to what is resident now (Linux 4.0 and later).
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

std::unique_ptr<qv::TFCSData> Merge(const std::string& Folder, const std::vector<std::string>& Names,
                                    qv::TProtocol& P, qv::Progress* FileGauge = nullptr,
                                    qv::Progress* Gauge = nullptr) {
  return qv::TFCSData::CreateFromFiles(Folder, Names, P, {}, Gauge, FileGauge, nullptr);
}

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

void MergeAgainstOneFile(benchmark::State& State) {
  static qv::test::TempFolder Folder;
  static const std::vector<std::string> Names = WriteFiles(Folder, "part", 200, 20000);
  static const std::vector<std::string> Whole = WriteFiles(Folder, "whole", 1, 4000000);
  auto P = Protocol();
  // A busy machine disturbs single runs: each repetition times a few of each, one after the
  // other, and compares their medians.
  constexpr int Pairs = 5;
  std::vector<double> MergeTimes, OneTimes, MergeCpus, OneCpus;
  double PeakMB = 0;
  size_t Events = 0;
  for (auto _ : State) {
    for (int Pair = 0; Pair < Pairs; ++Pair) {
      {
        const auto Start = Clock::now();
        const double Cpu = CpuSeconds();
        const qv::TFCSFile File(Folder / Whole[0]);
        auto One = qv::TFCSData::Create(File, 0, true, nullptr, P.get());
        OneTimes.push_back(Seconds(Start));
        OneCpus.push_back(CpuSeconds() - Cpu);
        // Filtered events are never merged.
        Events = 0;
        for (size_t i = 0; i < One->Events.size(); ++i) Events += One->Events[i].Filtered() ? 0 : 1;
      }
      const int64_t Before = qv::test::StatusBytes("VmRSS:");
      ResetPeak();
      const auto Start = Clock::now();
      const double Cpu = CpuSeconds();
      auto Merged = Merge(Folder.Path(), Names, *P);
      MergeTimes.push_back(Seconds(Start));
      MergeCpus.push_back(CpuSeconds() - Cpu);
      PeakMB = std::max(PeakMB, static_cast<double>(qv::test::StatusBytes("VmHWM:") - Before) / 1e6);
      if (Merged->Events.size() != Events) State.SkipWithError("the merged set holds other events");
    }
  }
  State.counters["MergeSeconds"] = Median(MergeTimes);
  State.counters["OneFileSeconds"] = Median(OneTimes);
  State.counters["Ratio"] = Median(MergeTimes) / Median(OneTimes);
  // The work done on every thread, which a busy machine disturbs less than the time.
  State.counters["CpuRatio"] = Median(MergeCpus) / Median(OneCpus);
  State.counters["MergePeakMB"] = PeakMB;
}
// The median of five repetitions is reported.
BENCHMARK(MergeAgainstOneFile)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void Merge500Files(benchmark::State& State) {
  static qv::test::TempFolder Folder;
  static const std::vector<std::string> Names = WriteFiles(Folder, "part", 500, 20000);
  auto P = Protocol();
  double Time = 0, PeakMB = 0;
  for (auto _ : State) {
    const int64_t Before = qv::test::StatusBytes("VmRSS:");
    ResetPeak();
    const auto Start = Clock::now();
    auto Merged = Merge(Folder.Path(), Names, *P);
    Time += Seconds(Start);
    PeakMB = std::max(PeakMB, static_cast<double>(qv::test::StatusBytes("VmHWM:") - Before) / 1e6);
  }
  State.counters["MergeSeconds"] = Time / static_cast<double>(State.iterations());
  State.counters["MillisecondsPerFile"] = 1000 * Time / static_cast<double>(State.iterations()) / 500;
  State.counters["MergePeakMB"] = PeakMB;
}
BENCHMARK(Merge500Files)->Unit(benchmark::kMillisecond)->Iterations(2);

// Longest time between two gauge moves and between two pumps.
class GapGauge : public qv::Progress {
 public:
  void SetPosition(int64_t Position) override {
    qv::Progress::SetPosition(Position);
    MoveGap = std::max(MoveGap, Seconds(LastMove));
    LastMove = Clock::now();
  }
  void Pump() override {
    PumpGap = std::max(PumpGap, Seconds(LastPump));
    LastPump = Clock::now();
  }
  void Start() { LastMove = LastPump = Clock::now(); }
  void Finish() {
    MoveGap = std::max(MoveGap, Seconds(LastMove));
    PumpGap = std::max(PumpGap, Seconds(LastPump));
  }
  Clock::time_point LastMove, LastPump;
  double MoveGap = 0, PumpGap = 0;
};

void GaugeGaps(benchmark::State& State) {
  static qv::test::TempFolder Folder;
  static const std::vector<std::string> Names = WriteFiles(Folder, "part", 50, 200000);
  static const std::vector<std::string> Whole = WriteFiles(Folder, "whole", 1, 10000000);
  auto P = Protocol();
  double MergeMove = 0, MergePump = 0, CreateMove = 0, CreatePump = 0;
  for (auto _ : State) {
    {
      // Both gauges of the merge count: one moves per file, the other over each file's events.
      GapGauge Gauge;
      Gauge.Start();
      auto Merged = Merge(Folder.Path(), Names, *P, &Gauge, &Gauge);
      Gauge.Finish();
      MergeMove = std::max(MergeMove, Gauge.MoveGap);
      MergePump = std::max(MergePump, Gauge.PumpGap);
    }
    {
      const qv::TFCSFile File(Folder / Whole[0]);
      GapGauge Gauge;
      Gauge.Start();
      auto One = qv::TFCSData::Create(File, 0, true, &Gauge, P.get());
      Gauge.Finish();
      CreateMove = std::max(CreateMove, Gauge.MoveGap);
      CreatePump = std::max(CreatePump, Gauge.PumpGap);
    }
  }
  State.counters["MergeMoveGap"] = MergeMove;
  State.counters["MergePumpGap"] = MergePump;
  State.counters["CreateMoveGap"] = CreateMove;
  State.counters["CreatePumpGap"] = CreatePump;
}
BENCHMARK(GaugeGaps)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
