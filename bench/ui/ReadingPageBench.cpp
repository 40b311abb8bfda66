// The reading page's own cost on top of the engine: reading a 1,000,000-event, 8-parameter
// file through the page against the engine's file read and data set alone (goal: under 0.3 s
// more), and formatting one screen of the raw and processed grids.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>

#include "DataSetFixtures.h"
#include "FcsWriter.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "pages/ReadingPage.h"
#include "TestFolders.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"

namespace {

constexpr int64_t Events = 1000000;

struct TBenchFile {
  qv::test::ScopedProgramHome Home;
  std::string Name = Home.Path() + "big.fcs";
  TBenchFile() {
    qv::test::FcsFileSpec Spec;
    Spec.DataType = qv::test::FcsDataType::Float32;
    for (int i = 0; i < 8; ++i) Spec.Parameters.push_back(qv::test::LinearParameter("P" + std::to_string(i) + "-H", 262144));
    Spec.EventCount = Events;
    Spec.Value = [](int64_t E, int32_t P) { return 20.0 + static_cast<double>((E * (P + 3)) % 900); };
    qv::test::WriteFcs(Name, Spec);
  }
};

std::unique_ptr<qv::TProtocol> Protocol() {
  return qv::test::MakeProtocol({qv::test::GateDef("FSC", "P0-H"), qv::test::GateDef("SSC", "P1-H")},
                                {qv::test::ChannelDef("A", "P2-H"), qv::test::ChannelDef("B", "P3-H"),
                                 qv::test::ChannelDef("C", "P4-H")});
}

void EngineReadAndCreate(benchmark::State& State) {
  TBenchFile File;
  auto P = Protocol();
  for (auto _ : State) {
    qv::TFCSFile F(File.Name);
    auto Data = qv::TFCSData::Create(F, 0, false, nullptr, P.get());
    benchmark::DoNotOptimize(Data.get());
  }
}
BENCHMARK(EngineReadAndCreate)->Unit(benchmark::kMillisecond)->Iterations(2);

void PageReadFile(benchmark::State& State) {
  TBenchFile File;
  qv::TFmMain Main;
  Main.SetCurrentProtocol(Protocol());
  auto* Page = Main.findChild<qv::TReadingPage*>("ReadingPage");
  for (auto _ : State) {
    Page->ReadFile(File.Name);
    benchmark::DoNotOptimize(Main.CurrentData.get());
  }
}
BENCHMARK(PageReadFile)->Unit(benchmark::kMillisecond)->Iterations(2);

void FormatOneScreen(benchmark::State& State) {
  TBenchFile File;
  qv::TFmMain Main;
  Main.SetCurrentProtocol(Protocol());
  auto* Page = Main.findChild<qv::TReadingPage*>("ReadingPage");
  Page->ReadFile(File.Name);
  int Top = 0;
  for (auto _ : State) {
    // 30 rows of every column, as a scrolled view asks for them.
    for (int r = Top; r < Top + 30; ++r)
      for (int c = 0; c < 9; ++c) {
        benchmark::DoNotOptimize(Page->RawCell(r + 2, c));
        benchmark::DoNotOptimize(Page->ProcessedCell(r + 1, c));
      }
    Top = (Top + 997) % 90000;
  }
}
BENCHMARK(FormatOneScreen)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
