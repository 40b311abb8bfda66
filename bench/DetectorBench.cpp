// Histograms of a million events over four channels, and the slowest peak fit (mean search
// with the refining pass) of every channel.
#include <benchmark/benchmark.h>

#include <memory>

#include "protocol/Channel.h"
#include "analysis/Detector.h"
#include "Globals.h"
#include "Random.h"
#include "Statistics.h"

namespace {

using namespace qv;

constexpr int Channels = 4;
constexpr int Events = 1000000;

// Log10 values of each channel: a negative population and a brighter one.
const std::vector<TSglArray>& ChannelValues() {
  static const std::vector<TSglArray> Values = [] {
    Randomize(2024);
    std::vector<TSglArray> V(Channels, TSglArray(Events));
    for (int c = 0; c < Channels; ++c)
      for (int i = 0; i < Events; ++i) {
        const bool Bright = RandomInt(3) == c % 3;
        V[c][i] = static_cast<float>((Bright ? 2.5 + 0.2 * c : 1.0) + 0.18 * GaussRandom());
      }
    return V;
  }();
  return Values;
}

std::vector<std::unique_ptr<TDetector>> BuildHistograms() {
  std::vector<std::unique_ptr<TDetector>> Detectors;
  for (int c = 0; c < Channels; ++c) {
    Detectors.push_back(std::make_unique<TDetector>(c, true, false, true, 0, 4, false));
    Detectors.back()->AddSeries("channel", ChannelValues()[c], 0);
  }
  return Detectors;
}

void FitPeaks(std::vector<std::unique_ptr<TDetector>>& Detectors) {
  for (int c = 0; c < Channels; ++c) {
    TChannel Channel(TChannelInfo{}, nullptr);
    Channel.AddPeak(false, -1, 2.4f + 0.2f * c, 0.25f, 1000, 0, 0, 0, 2.5f, -2.5f);
    TDetectorOptions Options;
    Options.ChannelIndex = c;
    Options.FitMean = true;
    Options.Refine = true;
    Detectors[c]->FitGaussian(nullptr, &Channel, Options);
  }
}

void BM_BuildHistograms(benchmark::State& State) {
  ChannelValues();
  for (auto _ : State) benchmark::DoNotOptimize(BuildHistograms());
}
BENCHMARK(BM_BuildHistograms)->Unit(benchmark::kMillisecond);

void BM_FitEveryPeak(benchmark::State& State) {
  auto Detectors = BuildHistograms();
  for (auto _ : State) {
    FitPeaks(Detectors);
    benchmark::DoNotOptimize(Detectors[0]->Fits[0].Mean);
  }
}
BENCHMARK(BM_FitEveryPeak)->Unit(benchmark::kMillisecond);

void BM_HistogramsAndFits(benchmark::State& State) {
  ChannelValues();
  for (auto _ : State) {
    auto Detectors = BuildHistograms();
    FitPeaks(Detectors);
    benchmark::DoNotOptimize(Detectors[0]->Fits[0].Mean);
  }
}
BENCHMARK(BM_HistogramsAndFits)->Unit(benchmark::kMillisecond);

}  // namespace
