// The fitness page's costs. Goals: the window adds under 5 ms per sweep step (compare the
// sweep's time per step with EngineStep, the calculation and report alone); the default
// 637-step sweep reads its four files once; a 20,000-line automation report opens under 1 s;
// during a 500-iteration bootstrap the gauge repaints at least five times a second.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTextEdit>

#include "FitnessFixtures.h"
#include "pages/FitnessPage.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "common/QtHost.h"
#include "TestFolders.h"
#include "report/TextOutput.h"
#include "fitness/FitnessCalculator.h"

namespace {

void WriteAssay(const std::string& Folder) {
  auto P1 = qv::test::AssayProtocol({"A", "B"}, {"GFP", "YFP"});
  auto P2 = qv::test::AssayProtocol({"B", "A"}, {"GFP", "YFP"});
  qv::test::SaveAssayFile(Folder + "e1.Quorvenal", *P1, {{10, 1000, 1000}}, true);
  qv::test::SaveAssayFile(Folder + "o1.Quorvenal", *P1, {{1, 1000, 200}, {2, 500, 300}}, true);
  qv::test::SaveAssayFile(Folder + "e2.Quorvenal", *P2, {{0, 1000, 1000}}, true);
  qv::test::SaveAssayFile(Folder + "o2.Quorvenal", *P2, {{7, 600, 1400}}, true);
}

struct TBench {
  qv::test::ScopedProgramHome Home;
  qv::TFmMain Main;
  qv::TFitnessPage* Page = nullptr;
  TBench() {
    WriteAssay(Home.Path());
    qv::ProcessDir = Home.Path();
    Page = Main.findChild<qv::TFitnessPage*>();
    Page->RbFullFitness->setChecked(true);
    const char* const Names[] = {"e1.Quorvenal", "o1.Quorvenal", "e2.Quorvenal", "o2.Quorvenal"};
    for (size_t i = 0; i < 4; ++i) Main.FitnessSlotEdits[i]->setText(Names[i]);
  }
  void CloseReports() {
    for (qv::TFmTextOutput* W : Main.findChildren<qv::TFmTextOutput*>()) delete W;
  }
};

void DefaultFitnessSweep(benchmark::State& State) {
  TBench B;
  B.Page->BtnProcessClick(1);  // the calculator exists before the sweep, as after a first run
  qv::TFitnessCalculator* First = B.Main.Calculator;
  QElapsedTimer Clock;
  qint64 Ms = 0;
  for (auto _ : State) {
    Clock.start();
    B.Page->BtnFitnessAutomationClick();
    Ms += Clock.elapsed();
    State.PauseTiming();
    B.CloseReports();
    State.ResumeTiming();
  }
  State.counters["steps"] = 637;
  State.counters["ms_per_step"] = static_cast<double>(Ms) / (637.0 * static_cast<double>(State.iterations()));
  State.counters["files_read_once"] = B.Main.Calculator == First ? 1 : 0;
}
BENCHMARK(DefaultFitnessSweep)->Unit(benchmark::kMillisecond)->Iterations(1);

void EngineStep(benchmark::State& State) {
  TBench B;
  B.Page->BtnProcessClick(1);
  qv::TFitnessCalculator& C = *B.Main.Calculator;
  qv::TFitnessFileSet Set = C.FileSet;
  Set.ReassignMinZ = Set.ReassignMaxZ = Set.ReassignMinZGate = true;
  int Step = 0;
  for (auto _ : State) {
    // Each sweep step sets new limits, so the four sets are classified again.
    Set.MinZ = -1.0f - 0.5f * static_cast<float>(Step % 7);
    Set.MaxZ = 0.5f + 0.5f * static_cast<float>(++Step % 7);
    Set.MinZGate = 5.0f;
    if (C.ApplyOverrides(Set)) C.Reclassify();
    C.Calculate(2, 1, false, false, false, nullptr);
    std::string Text;
    C.ReportAll(false, false, Text);
    benchmark::DoNotOptimize(Text.data());
  }
}
BENCHMARK(EngineStep)->Unit(benchmark::kMillisecond);

void AutomationReportOf20000Lines(benchmark::State& State) {
  std::vector<std::string> Lines;
  for (int i = 0; i < 20000; ++i)
    Lines.push_back("Fluor\tGtype\t" + std::to_string(i) + "\t0.5000\t0.2500\t0.5000\t-0.6931");
  for (auto _ : State) {
    auto* Window = new qv::TFmTextOutput(nullptr, "Fitness Z Value Automation", true);
    Window->AddLines(Lines);
    QCoreApplication::processEvents();
    State.PauseTiming();
    delete Window;
    State.ResumeTiming();
  }
}
BENCHMARK(AutomationReportOf20000Lines)->Unit(benchmark::kMillisecond)->Iterations(3);

void BootstrapRepaints(benchmark::State& State) {
  TBench B;
  B.Page->SeIterations->setValue(500);
  int Repaints = 0;
  QObject::connect(B.Page->GaBootstrap, &QProgressBar::valueChanged, [&] { ++Repaints; });
  QElapsedTimer Clock;
  Clock.start();
  for (auto _ : State) {
    B.Page->BtnProcessClick(2);
    State.PauseTiming();
    B.CloseReports();
    State.ResumeTiming();
  }
  State.counters["gauge_repaints_per_s"] = Repaints / (static_cast<double>(Clock.elapsed()) / 1000.0);
}
BENCHMARK(BootstrapRepaints)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication App(argc, argv);
  qv::InstallQtHost();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
