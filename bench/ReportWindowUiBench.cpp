// Report window with a plain report of 100,000 lines: opening it (fill, lay out, first
// picture) and scrolling it a page at a time.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <memory>
#include <string>
#include <vector>

#include "report/TextOutput.h"

namespace {

std::vector<std::string> Report(int Lines) {
  std::vector<std::string> Result;
  Result.reserve(static_cast<size_t>(Lines));
  for (int I = 0; I < Lines; ++I)
    Result.push_back("run" + std::to_string(I) + ".fcs\tGFP\t" + std::to_string(40000 + I % 977) +
                     "\t41.2370\t1893.5521\t102.3384");
  return Result;
}

void BM_OpenPlainReport(benchmark::State& State) {
  const auto Lines = Report(static_cast<int>(State.range(0)));
  for (auto _ : State) {
    auto W = std::make_unique<qv::TFmTextOutput>(nullptr, QStringLiteral("Report"), true);
    W->SetTabStops({110, 170, 230, 290, 350});
    W->AddLines(Lines);
    QApplication::processEvents();
    benchmark::DoNotOptimize(W->grab());
  }
}
BENCHMARK(BM_OpenPlainReport)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ScrollPage(benchmark::State& State) {
  qv::TFmTextOutput W(nullptr, QStringLiteral("Report"), true);
  W.AddLines(Report(100000));
  QApplication::processEvents();
  QScrollBar* Bar = W.MeText->verticalScrollBar();
  for (auto _ : State) {
    int Next = Bar->value() + Bar->pageStep();
    if (Next > Bar->maximum()) Next = 0;
    Bar->setValue(Next);
    benchmark::DoNotOptimize(W.MeText->viewport()->grab());
  }
}
BENCHMARK(BM_ScrollPage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
