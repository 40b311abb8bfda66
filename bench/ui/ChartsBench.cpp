// The chart sheets and the class explorer on a set of 1,000,000 events: a scatter chosen from the
// axis menu as the user chooses it (goal: under 1 s until painted, the window never unanswered
// for 0.5 s; run it under Xvfb with QT_QPA_PLATFORM=xcb), charts of point series of several sizes,
// one distribution of 3 series x 256 bins (under 100 ms), and one class of 1,000,000 events shown
// as its events grid and as its histogram (under 0.3 s). Each case ends with the widget painted.
#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QMenu>
#include <QTableView>
#include <QToolButton>
#include <algorithm>
#include <memory>

#include "common/ChartView.h"
#include "pages/ChartsPage.h"
#include "pages/ClassExplorerPage.h"
#include "pages/ClassMeansModel.h"
#include "DataSetFixtures.h"
#include "EventLoopLatency.h"
#include "FcsWriter.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "TestFolders.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"

namespace {

constexpr int64_t Events = 1000000;

// The main window, shown, holding an analysed set of a million events that all belong to class 1.
struct TBenchWindow {
  qv::test::ScopedProgramHome Home;
  std::unique_ptr<qv::TFmMain> Main;
  TBenchWindow() {
    const std::string Name = Home.Path() + "big.fcs";
    qv::test::FcsFileSpec Spec;
    Spec.DataType = qv::test::FcsDataType::Float32;
    for (const char* P : {"FSC-H", "FL1-H", "FL2-H"}) Spec.Parameters.push_back(qv::test::LinearParameter(P, 262144));
    Spec.EventCount = Events;
    Spec.Value = [](int64_t E, int32_t P) { return 20.0 + static_cast<double>((E * (P * 7 + 3)) % 9000); };
    qv::test::WriteFcs(Name, Spec);
    auto P = qv::test::MakeProtocol({{"FSC", "FSC-H"}}, {{"GFP", "FL1-H"}, {"RFP", "FL2-H"}});
    P->AddGenotype("green", 0, 0);
    qv::TFCSFile File(Name);
    auto Data = qv::TFCSData::Create(File, 0, false, nullptr, P.get());
    Data->Compensate(*P, nullptr, 0);
    Data->SetDetectors(*P, nullptr, false);
    for (size_t i = 0; i < Data->Events.size(); ++i) Data->Events[i].Classes()[2] = 1;
    Main = std::make_unique<qv::TFmMain>();
    Main->show();
    Main->SetCurrentProtocol(std::move(P));
    Main->SetCurrentData(std::move(Data));
    if (Main->Hooks.ShowDataLoaded) Main->Hooks.ShowDataLoaded(true);
    QApplication::processEvents();
  }
  qv::TChartsPage& Charts() { return *Main->findChild<qv::TChartsPage*>(); }
  qv::TClassExplorerPage& Classes() { return *Main->findChild<qv::TClassExplorerPage*>(); }
};

// Made in main, after the application and before the benchmarks, and freed before the application.
TBenchWindow* BenchWindow = nullptr;
TBenchWindow& Window() { return *BenchWindow; }

void ScatterOfAMillion(benchmark::State& State) {
  qv::TChartsPage& Page = Window().Charts();
  const int32_t Gates = Window().Main->CurrentData->GateDetectorCount;
  QMenu* XMenu = Window().Main->PopupMenu("PMXAxis");
  QMenu* YMenu = Window().Main->PopupMenu("PMYAxis");
  Page.BtnGraphAll->setChecked(true);
  XMenu->actions().at(Gates)->trigger();
  qint64 Unanswered = 0;
  int Pick = 0;
  for (auto _ : State) {
    qv::test::TEventLoopLatency Latency(2);
    // Each pass a new metric, as a user picks one from the menu.
    YMenu->actions().at(Gates + 1 - Pick)->trigger();
    Pick = 1 - Pick;
    benchmark::DoNotOptimize(Window().Main->grab());
    Unanswered = std::max(Unanswered, Latency.Longest());
  }
  State.counters["points"] = static_cast<double>(Page.CrtFCS->Data().Series.at(0).Points.size());
  State.counters["unanswered_ms"] = static_cast<double>(Unanswered);
}
BENCHMARK(ScatterOfAMillion)->Unit(benchmark::kMillisecond)->MinTime(2);

// A chart of N points alone: items per point below the image limit, one image above it.
void PointsOnAChart(benchmark::State& State) {
  qv::TChartView View;
  View.resize(700, 500);
  View.show();
  qv::ChartData Data;
  qv::ChartSeries Points;
  Points.Kind = qv::ChartSeries::TKind::Point;
  Points.Width = 2;
  for (int64_t i = 0; i < State.range(0); ++i)
    Points.Points.emplace_back(1 + static_cast<double>((i * 7919) % 5000), 1 + static_cast<double>((i * 104729) % 3000));
  Data.Series.push_back(std::move(Points));
  for (auto _ : State) {
    View.SetData(Data);
    benchmark::DoNotOptimize(View.grab());
  }
}
BENCHMARK(PointsOnAChart)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

void DistributionOfThreeSeries(benchmark::State& State) {
  qv::TChartsPage& Page = Window().Charts();
  for (QToolButton* B : {Page.BtnAllPoints, Page.BtnFiltered, Page.BtnZFiltered}) B->setChecked(true);
  Page.DistributionItems->button(Window().Main->CurrentData->GateDetectorCount)->setChecked(true);
  for (auto _ : State) {
    benchmark::DoNotOptimize(Page.ShowDistribution());
    benchmark::DoNotOptimize(Page.CrtDistribution->grab());
  }
  State.counters["bars"] = static_cast<double>(Page.CrtDistribution->Data().Series.size());
}
BENCHMARK(DistributionOfThreeSeries)->Unit(benchmark::kMillisecond);

void ClassEventsGrid(benchmark::State& State) {
  qv::TClassExplorerPage& Page = Window().Classes();
  Page.CmBxClassExplorerGenotype->setCurrentIndex(0);
  for (auto _ : State) {
    Page.CmBxClassExplorerGenotypeChange(0);
    benchmark::DoNotOptimize(Page.SgGenotypeData->grab());
  }
  State.counters["rows"] = static_cast<double>(Page.GenotypeData().EventRows());
}
BENCHMARK(ClassEventsGrid)->Unit(benchmark::kMillisecond);

void ClassHistogram(benchmark::State& State) {
  qv::TClassExplorerPage& Page = Window().Classes();
  Page.GenotypeItems->button(0)->setChecked(true);
  Page.ChannelItems->button(0)->setChecked(true);
  for (auto _ : State) {
    Page.CmBxClassExplorerGenotypeChange(1);
    benchmark::DoNotOptimize(Page.CrtGenotype->grab());
  }
}
BENCHMARK(ClassHistogram)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  auto Made = std::make_unique<TBenchWindow>();
  BenchWindow = Made.get();
  benchmark::RunSpecifiedBenchmarks();
  Made.reset();
  benchmark::Shutdown();
  return 0;
}
