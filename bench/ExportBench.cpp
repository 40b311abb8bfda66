// Event exports and per-file variability on 1,000,000 events of 2 gates (one log-scaled) and 4
// channels, every CSV column filled. Goal: the CSV export under 2 s on one core. The number
// formatter behind it is timed alone, the general one against the one-mask one.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "batch/Variability.h"
#include "dataset/FCSData.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "protocol/Protocol.h"

namespace {

uint32_t Mix(uint64_t X) {
  X ^= X >> 33;
  X *= 0xff51afd7ed558ccdULL;
  X ^= X >> 33;
  return static_cast<uint32_t>(X);
}

std::unique_ptr<qv::TProtocol> MakeProtocol() {
  auto P = std::make_unique<qv::TProtocol>();
  for (const char* Label : {"FSC-H", "SSC-H"}) {
    qv::TGateInfo Info;
    Info.Name = Label;
    Info.FCSLabel = Label;
    Info.Scale = P->GateCount() == 0 ? 0 : 1;
    P->AddGate(std::make_unique<qv::TGlobalGate>(Info, P.get()));
  }
  for (const char* Label : {"FL1-H", "FL2-H", "FL3-H", "FL4-H"}) {
    qv::TChannelInfo Info;
    Info.ChannelName = Label;
    Info.ChannelTag = Label;
    Info.FCSLabel = Label;
    Info.Minimum_Value_ZScore = 10;
    Info.MaximumValue_ZScore = 100000;
    P->AddChannel(std::make_unique<qv::TChannel>(Info, P.get()));
  }
  for (int32_t i = 0; i < 4; ++i)
    for (int32_t j = 0; j < 4; ++j)
      P->GetChannel(i)->SetCompPair(j, {i == j ? 100.0f : 4.0f + i + 2 * j, 0.0f}, true);
  return P;
}

// A compensated, masked set of Count events over four files.
struct TEventSet {
  std::unique_ptr<qv::TProtocol> Protocol = MakeProtocol();
  qv::TFCSData Data;
  explicit TEventSet(int64_t Count) {
    qv::CompensationMode = 0;
    Data.ChannelNames = {"FL1-H", "FL2-H", "FL3-H", "FL4-H"};
    Data.Events.Reset(2, 4);
    Data.Events.resize(static_cast<size_t>(Count));
    const int32_t Gates[] = {0, 1}, Channels[] = {2, 3, 4, 5};
    for (int64_t e = 0; e < Count; ++e) {
      float Row[6];
      for (int p = 0; p < 6; ++p) Row[p] = static_cast<float>(Mix(static_cast<uint64_t>(e) * 6 + p) % 50000) + 0.37f;
      qv::TFCSLine E = Data.Events[static_cast<size_t>(e)];
      E.Create(Row, Gates, Channels);
      E.SetFileIndex(static_cast<int32_t>(e % 4));
    }
    Data.Compensate(*Protocol, nullptr, 0);
    for (size_t e = 0; e < Data.Events.size(); ++e) {
      qv::TFCSLine E = Data.Events[e];
      E.SetMask(e % 3 ? "YNYN" : "NNNY");
      E.SetMaxZ(static_cast<float>(e % 97) / 13.0f);
      E.SetSecondZ(static_cast<float>(e % 89) / 17.0f);
    }
    Data.FileRange();
    Data.BuildFileIndex();
  }
};

TEventSet& Million() {
  static TEventSet Set(1000000);
  return Set;
}

void ExportEventsCSV(benchmark::State& State) {
  TEventSet& Set = Million();
  for (auto _ : State) {
    std::string Text;
    Set.Data.ExportEventsCSV(*Set.Protocol, true, true, Text);
    benchmark::DoNotOptimize(Text.data());
    State.counters["MB"] = static_cast<double>(Text.size()) / 1e6;
  }
  State.SetItemsProcessed(State.iterations() * 1000000);
}
BENCHMARK(ExportEventsCSV)->Unit(benchmark::kMillisecond)->Iterations(3);

void VariabilityRun(benchmark::State& State) {
  TEventSet& Set = Million();
  qv::TVariability V;
  for (auto _ : State) {
    V.Run(*Set.Protocol, Set.Data.Events, 100);
    benchmark::DoNotOptimize(V.Counts.data());
  }
  State.SetItemsProcessed(State.iterations() * 1000000);
}
BENCHMARK(VariabilityRun)->Unit(benchmark::kMillisecond)->Iterations(3);

void FormatFloatGeneral(benchmark::State& State) {
  float V = 0.37f;
  for (auto _ : State) {
    benchmark::DoNotOptimize(qv::FormatFloat("##0.000", V));
    V = V * 1.0001f + 0.5f;
    if (V > 1e6f) V = 0.37f;
  }
}
BENCHMARK(FormatFloatGeneral);

void FormatFloatOneMask(benchmark::State& State) {
  const qv::TFixedFormat Format("##0.000");
  std::string Text;
  float V = 0.37f;
  for (auto _ : State) {
    Text.clear();
    Format.AppendTo(Text, V);
    benchmark::DoNotOptimize(Text.data());
    V = V * 1.0001f + 0.5f;
    if (V > 1e6f) V = 0.37f;
  }
}
BENCHMARK(FormatFloatOneMask);

}  // namespace
