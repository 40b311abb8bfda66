// The custom detector's fit exploration. Goal: it answers Cancel within one fit, i.e. from the
// moment Cancel is pressed to the end of the sweep (hand-over and clean-up included) takes less
// than the fit under way. The reported time is the latency of Cancel; CancelToEndInFits is that
// latency over the duration of the fit under way (goal: below 1) and FitsEndedAfterCancel the
// fits finished after the press (goal: the one under way only).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <random>

#include "pages/CustomDetectorPage.h"
#include "DataSetFixtures.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "TestFolders.h"
#include "dataset/FCSData.h"

namespace {

constexpr int Events = 200000;

struct TBench {
  qv::test::ScopedProgramHome Home;
  qv::test::TempFolder Folder;
  qv::TFmMain Main;
  qv::TCustomDetectorPage* Page = nullptr;
  TBench() {
    auto P = qv::test::MakeProtocol({{"FSC", "FSC-H"}}, {{"GFP", "FL1"}, {"RFP", "FL2"}});
    for (int32_t c = 0; c < 2; ++c) P->GetChannel(c)->DisplayMaximum = 5;
    std::mt19937 Random(3);
    std::normal_distribution<double> Noise(0, 0.1);
    std::vector<std::vector<double>> Rows;
    Rows.reserve(Events);
    for (int i = 0; i < Events; ++i)
      Rows.push_back({500, std::pow(10.0, (i % 2 ? 2.5 : 1.0) + Noise(Random)),
                      std::pow(10.0, (i % 2 ? 1.0 : 3.0) + Noise(Random))});
    auto File = qv::test::WriteAndRead(Folder, "bench.fcs", {"FSC-H", "FL1", "FL2"}, Rows);
    auto D = qv::TFCSData::Create(*File, 0, true, nullptr, P.get());
    D->Compensate(*P, nullptr, 0);
    D->SetDetectors(*P, nullptr, false);
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(D));
    Page = Main.findChild<qv::TCustomDetectorPage*>();
    Page->CmBxCustomDetector->setCurrentIndex(0);
    Page->CmBxCustomFilter->setCurrentIndex(1);
    Page->EdCustomFilterMin->setText("1");
    Page->EdCustomFilterMax->setText("50");
    Page->EdCustomDetectorMean->setText("2.5");
    Page->EdCustomDeviation->setText("0.1");
    // The lines stay here: no spreadsheet and no save dialog.
    qv::ExcelAvailable = false;
    Main.Hooks.ExportText = nullptr;
  }
  // Seconds per fit of an uncancelled sweep of 16 windows.
  double FitSeconds() {
    Ranges("-4.0", "-0.5");
    QElapsedTimer Clock;
    Clock.start();
    Page->BtnExploreFitnessCurves->click();
    return static_cast<double>(Clock.nsecsElapsed()) * 1e-9 / static_cast<double>(Page->LastExploreLines.size() - 1);
  }
  void Ranges(const char* MinLow, const char* MaxLow) {
    Page->EdMinLow->setText(MinLow);
    Page->EdMaxLow->setText(MaxLow);
    Page->EdStepLow->setText("0.5");
    Page->EdMinHigh->setText("0.5");
    Page->EdmaxHigh->setText("1.0");
    Page->EdStepHigh->setText("0.5");
  }
};

void ExplorationCancel(benchmark::State& State) {
  TBench B;
  const double Fit = B.FitSeconds();
  QElapsedTimer Clock;
  std::vector<qint64> FitEnds;  // the gauge advances once at the end of every fit
  QObject::connect(B.Page->GaExplore, &QProgressBar::valueChanged, [&](int Value) {
    if (Value > 0) FitEnds.push_back(Clock.nsecsElapsed());
  });
  double TotalRatio = 0, TotalAfter = 0;
  for (auto _ : State) {
    // Cancel is pressed two and a half fits into a sweep of 64; the press waits in the event
    // queue until the sweep next pumps.
    B.Ranges("-16.0", "-0.5");
    const qint64 PressAt = static_cast<qint64>(2.5 * Fit * 1e9);
    FitEnds.clear();
    QTimer::singleShot(static_cast<int>(PressAt / 1000000), B.Page->BtnExploreCancel, &QPushButton::click);
    Clock.start();
    B.Page->BtnExploreFitnessCurves->click();
    const qint64 End = Clock.nsecsElapsed();
    // The fit under way when Cancel was pressed, and how many fits ended after the press.
    qint64 Start = 0, Stop = End;
    int After = 0;
    for (qint64 T : FitEnds) {
      if (T <= PressAt) Start = T;
      else if (After++ == 0) Stop = T;
    }
    State.SetIterationTime(static_cast<double>(End - PressAt) * 1e-9);
    TotalRatio += static_cast<double>(End - PressAt) / static_cast<double>(std::max<qint64>(Stop - Start, 1));
    TotalAfter += After;
  }
  const double N = static_cast<double>(State.iterations());
  State.counters["FitMs"] = Fit * 1e3;
  State.counters["FitsEndedAfterCancel"] = TotalAfter / N;
  State.counters["CancelToEndInFits"] = TotalRatio / N;
}
BENCHMARK(ExplorationCancel)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
