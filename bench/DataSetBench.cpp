// The main road from an FCS file to compensated events: 1,000,000 events of 2 gates and 4
// channels (16-bit, the channels log-scaled over 4 decades) read, matched, loaded and statically
// compensated. Goals: under 250 ms with a peak under 150 MB (PeakMemory reports the peak of the
// road itself per million events, from 100,000 to 4,000,000 events: the figure stays flat when
// memory grows linearly). Dynamic compensation with 100 perturbed matrices per event on 100,000
// events: under 2 s on 8 threads, under 10 s on one (Threads argument, as QUORVENAL_THREADS);
// DynamicMillion the same on 1,000,000 events on every thread: goal at most 6.25 s, half of the
// 12.5 s it took before the trials' matrices were inverted in registers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "FcsWriter.h"
#include "ProcessStatus.h"
#include "Globals.h"
#include "protocol/Protocol.h"
#include "Random.h"
#include "TestFolders.h"

namespace {

uint32_t Mix(uint64_t X) {
  X ^= X >> 33;
  X *= 0xff51afd7ed558ccdULL;
  X ^= X >> 33;
  return static_cast<uint32_t>(X);
}

const std::string& FileOf(int64_t Events) {
  static qv::test::TempFolder Folder;
  static std::map<int64_t, std::string> Paths;
  std::string& Path = Paths[Events];
  if (Path.empty()) {
    Path = Folder / ("events-" + std::to_string(Events) + ".fcs");
    qv::test::FcsFileSpec Spec;
    Spec.DataType = qv::test::FcsDataType::Int16;
    Spec.Parameters = {qv::test::LinearParameter("FSC-H"), qv::test::LinearParameter("SSC-H"),
                       qv::test::LogParameter("FL1-H", 4), qv::test::LogParameter("FL2-H", 4),
                       qv::test::LogParameter("FL3-H", 4), qv::test::LogParameter("FL4-H", 4)};
    Spec.EventCount = Events;
    Spec.Value = [](int64_t e, int32_t p) { return static_cast<double>(Mix(static_cast<uint64_t>(e) * 6 + p) % 1024); };
    qv::test::WriteFcs(Path, Spec);
  }
  return Path;
}

std::unique_ptr<qv::TProtocol> MakeProtocol() {
  auto P = std::make_unique<qv::TProtocol>();
  for (const char* Label : {"FSC-H", "SSC-H"}) {
    qv::TGateInfo Info;
    Info.Name = Label;
    Info.FCSLabel = Label;
    P->AddGate(std::make_unique<qv::TGlobalGate>(Info, P.get()));
  }
  const char* Labels[] = {"FL1-H", "FL2-H", "FL3-H", "FL4-H"};
  for (const char* Label : Labels) {
    qv::TChannelInfo Info;
    Info.ChannelName = Label;
    Info.FCSLabel = Label;
    Info.ExactFCSLabel = true;
    P->AddChannel(std::make_unique<qv::TChannel>(Info, P.get()));
  }
  for (int32_t i = 0; i < 4; ++i)
    for (int32_t j = 0; j < 4; ++j)
      P->GetChannel(i)->SetCompPair(j, {i == j ? 100.0f : 4.0f + i + 2 * j, i == j ? 0.0f : 1.5f}, true);
  return P;
}

// Cold:1 times the first road of the process alone (the kernel then finds the first huge pages);
// Cold:0 the roads after one untimed road, as a program that reads file after file runs them.
void MainRoad(benchmark::State& State) {
  const std::string& Path = FileOf(1000000);
  auto P = MakeProtocol();
  qv::CompensationMode = 0;
  if (!State.range(0)) {
    qv::TFCSFile File(Path);
    qv::TFCSData::Create(File, 0, true, nullptr, P.get())->Compensate(*P, nullptr, 0);
  }
  for (auto _ : State) {
    qv::TFCSFile File(Path);
    auto Data = qv::TFCSData::Create(File, 0, true, nullptr, P.get());
    Data->Compensate(*P, nullptr, 0);
    benchmark::DoNotOptimize(Data->Events.size());
  }
  State.SetItemsProcessed(State.iterations() * 1000000);
}
BENCHMARK(MainRoad)->ArgName("Cold")->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(MainRoad)->ArgName("Cold")->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The parts of the road on a file already read.
void CreateOnly(benchmark::State& State) {
  qv::TFCSFile File(FileOf(1000000));
  auto P = MakeProtocol();
  for (auto _ : State) {
    auto Data = qv::TFCSData::Create(File, 0, true, nullptr, P.get());
    benchmark::DoNotOptimize(Data->Events.size());
  }
}
BENCHMARK(CreateOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void StaticCompensation(benchmark::State& State) {
  qv::TFCSFile File(FileOf(1000000));
  auto P = MakeProtocol();
  auto Data = qv::TFCSData::Create(File, 0, true, nullptr, P.get());
  for (auto _ : State) Data->Compensate(*P, nullptr, 0);
}
BENCHMARK(StaticCompensation)->Unit(benchmark::kMillisecond)->UseRealTime();

// Dynamic compensation of a file of Events events with 100 perturbed matrices per event.
void CompensateDynamically(benchmark::State& State, int64_t Events) {
  qv::TFCSFile File(FileOf(Events));
  auto P = MakeProtocol();
  auto Data = qv::TFCSData::Create(File, 0, true, nullptr, P.get());
  qv::DynamicCompensationN = 100;
  qv::Randomize(1);
  for (auto _ : State) Data->Compensate(*P, nullptr, 2);
  State.SetItemsProcessed(State.iterations() * Events);
}

void DynamicCompensation(benchmark::State& State) {
  setenv("QUORVENAL_THREADS", std::to_string(State.range(0)).c_str(), 1);
  CompensateDynamically(State, 100000);
  unsetenv("QUORVENAL_THREADS");
}
BENCHMARK(DynamicCompensation)->ArgName("Threads")->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(1);

void DynamicMillion(benchmark::State& State) {
  CompensateDynamically(State, 1000000);
  State.counters["GoalSeconds"] = 6.25;
}
BENCHMARK(DynamicMillion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

using qv::test::StatusBytes;

// The peak memory of the main road over what the process held before it, per million events.
void PeakMemory(benchmark::State& State) {
  const int64_t Events = State.range(0);
  const std::string& Path = FileOf(Events);
  auto P = MakeProtocol();
  qv::CompensationMode = 0;
  // Once untimed: the first run of a size in a process pays for the kernel's writeback of the
  // file just written and for compacting memory into the first huge pages (see MainRoad/Cold).
  {
    qv::TFCSFile File(Path);
    qv::TFCSData::Create(File, 0, true, nullptr, P.get())->Compensate(*P, nullptr, 0);
  }
  int64_t Peak = 0;
  for (auto _ : State) {
    State.PauseTiming();
    std::ofstream("/proc/self/clear_refs") << "5";  // restarts the peak at the current size
    const int64_t Before = StatusBytes("VmRSS:");
    State.ResumeTiming();
    {
      qv::TFCSFile File(Path);
      auto Data = qv::TFCSData::Create(File, 0, true, nullptr, P.get());
      Data->Compensate(*P, nullptr, 0);
      benchmark::DoNotOptimize(Data->Events.size());
    }
    State.PauseTiming();
    Peak = std::max(Peak, StatusBytes("VmHWM:") - Before);
    State.ResumeTiming();
  }
  State.counters["PeakMB"] = static_cast<double>(Peak) / 1e6;
  State.counters["PeakMBPerMillion"] = static_cast<double>(Peak) / 1e6 / (static_cast<double>(Events) / 1e6);
  State.SetItemsProcessed(State.iterations() * Events);
}
BENCHMARK(PeakMemory)->ArgName("Events")->Arg(100000)->Arg(250000)->Arg(1000000)->Arg(2000000)->Arg(4000000)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
