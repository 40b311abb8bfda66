// The analysis of a compensated data set: 1,000,000 events of one gate and 4 channels, three
// genotypes each bright in its own channel. SetupAndClassify times SetDetectors (the three
// series of every detector, gating, the peak fits with the mean search) and Classify,
// SetDetectorsOnly and ClassifyOnly each alone;
// RefinedPeakFits the four peak fits again with the finer mean search; BootstrapReplicate one
// whole-set bootstrap replicate of the rigorous class counts (1,000 replicates take 1,000 times
// its time).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "analysis/Detector.h"
#include "dataset/FCSData.h"
#include "Globals.h"
#include "protocol/Protocol.h"
#include "Random.h"
#include "Statistics.h"

namespace {

constexpr int32_t EventCount = 1000000;
constexpr int32_t Channels = 4;
constexpr float Bright[Channels] = {2.5f, 2.8f, 3.1f, 1.0f};

std::unique_ptr<qv::TProtocol> MakeProtocol() {
  auto P = std::make_unique<qv::TProtocol>();
  qv::TGateInfo Gate;
  Gate.Name = "FSC";
  Gate.Active = true;
  Gate.Scale = 1;
  Gate.DisplayMaximum = 1024;
  Gate.MinimumValue = 50;
  Gate.MaximumValue = 1000;
  P->AddGate(std::make_unique<qv::TGlobalGate>(Gate, P.get()));
  for (int32_t c = 0; c < Channels; ++c) {
    qv::TChannelInfo Info;
    Info.ChannelName = "FL" + std::to_string(c + 1);
    Info.ChannelTag = Info.ChannelName;
    Info.DisplayMaximum = 5;
    Info.Minimum_Value_Threshold = 100;
    Info.Maximum_Value_Threshold = 1e6f;
    Info.Minimum_Value_ZScore = 1;
    Info.MaximumValue_ZScore = 1e6f;
    Info.Minimum_Z = -3;
    Info.Maximum_Z = 3;
    P->AddChannel(std::make_unique<qv::TChannel>(Info, P.get()));
    P->GetChannel(c)->AddPeak(false, -1, Bright[c] - 0.1f, 0.15f, 1, 0, 0, 0, 2, -2);
  }
  for (int32_t i = 0; i < Channels; ++i)
    for (int32_t j = 0; j < Channels; ++j)
      P->GetChannel(i)->SetCompPair(j, {i == j ? 100.0f : 2.0f, 0.0f}, true);
  for (int32_t g = 0; g < 3; ++g) P->AddGenotype("G" + std::to_string(g), g, 0);
  return P;
}

struct TFixture {
  std::unique_ptr<qv::TProtocol> Protocol = MakeProtocol();
  qv::TFCSData Data;
  TFixture() {
    qv::Randomize(1);
    Data.Events.Reset(1, Channels);
    Data.Events.resize(EventCount);
    const int32_t GateIndex[1] = {0};
    const int32_t ChannelIndex[Channels] = {1, 2, 3, 4};
    float Row[1 + Channels];
    for (int32_t i = 0; i < EventCount; ++i) {
      const int32_t Kind = i % 3;
      Row[0] = static_cast<float>(100 + 800 * qv::Random01());
      for (int32_t c = 0; c < Channels; ++c)
        Row[1 + c] = static_cast<float>(std::pow(10.0, (c == Kind ? Bright[c] : 1.0) + 0.1 * qv::GaussRandom()));
      Data.Events[static_cast<size_t>(i)].Create(Row, GateIndex, ChannelIndex);
    }
    Data.FileRange();
    Data.BuildFileIndex();
    Data.Compensate(*Protocol, nullptr, 0);
  }
};

TFixture& Fixture() {
  static TFixture F;
  return F;
}

void SetupAndClassify(benchmark::State& State) {
  TFixture& F = Fixture();
  for (auto _ : State) {
    F.Data.SetDetectors(*F.Protocol, nullptr, true);
    F.Data.Classify(*F.Protocol);
  }
  State.SetItemsProcessed(State.iterations() * EventCount);
}

void SetDetectorsOnly(benchmark::State& State) {
  TFixture& F = Fixture();
  for (auto _ : State) F.Data.SetDetectors(*F.Protocol, nullptr, true);
  State.SetItemsProcessed(State.iterations() * EventCount);
}

void ClassifyOnly(benchmark::State& State) {
  TFixture& F = Fixture();
  F.Data.SetDetectors(*F.Protocol, nullptr, true);
  for (auto _ : State) F.Data.Classify(*F.Protocol);
  State.SetItemsProcessed(State.iterations() * EventCount);
}

void RefinedPeakFits(benchmark::State& State) {
  TFixture& F = Fixture();
  F.Data.SetDetectors(*F.Protocol, nullptr, true);
  for (auto _ : State)
    for (int32_t c = 0; c < Channels; ++c) {
      qv::TDetectorOptions Options = qv::PeakFitOptions(*F.Protocol->GetChannel(c), c, true);
      Options.Refine = true;
      F.Data.GetPeakDetector(c)->FitGaussian(nullptr, F.Protocol->GetChannel(c), Options);
    }
}

void BootstrapReplicate(benchmark::State& State) {
  TFixture& F = Fixture();
  F.Data.SetDetectors(*F.Protocol, nullptr, true);
  F.Data.Classify(*F.Protocol);
  qv::TIntArray Counts;
  for (auto _ : State) {
    F.Data.ClassCounts(*F.Protocol, 2, true, Counts);
    benchmark::DoNotOptimize(Counts.data());
  }
  State.SetItemsProcessed(State.iterations() * EventCount);
}

}  // namespace

BENCHMARK(SetupAndClassify)->Unit(benchmark::kMillisecond);
BENCHMARK(SetDetectorsOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(ClassifyOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(RefinedPeakFits)->Unit(benchmark::kMillisecond);
BENCHMARK(BootstrapReplicate)->Unit(benchmark::kMillisecond);
