// Protocol page: selecting a channel or genotype (15 channels, 20 genotypes) and importing a
// genotype file of 1,000 lines.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableWidget>
#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <string>

#include "common/CommandGuard.h"
#include "common/Dialogs.h"
#include "shell/MainWindow.h"
#include "pages/ProtocolPage.h"
#include "protocol/Protocol.h"

namespace {

// Every file dialog answers one file; every question Yes.
class FixedDialogs : public qv::TQtDialogs {
 public:
  std::string File;
  std::string OpenFile(const qv::TFileDialogOptions&) override { return File; }
  void Error(const std::string&) override {}
  bool YesNo(const std::string&) override { return true; }
  TAnswer YesNoCancel(const std::string&) override { return TAnswer::No; }
};

std::unique_ptr<qv::TProtocol> BigProtocol() {
  auto P = std::make_unique<qv::TProtocol>();
  for (int n = 1; n <= 15; ++n) qv::TProtocolPage::ShowProtocolGrids(*P, n, 15);
  for (int n = 1; n <= 4; ++n) qv::TProtocolPage::CreateDefaultGates(*P, n);
  for (int g = 0; g < 20; ++g) P->GetGenotype(P->AddGenotype("G" + std::to_string(g), g % 15, 0))->AddComponent((g + 1) % 15);
  return P;
}

void BM_SelectChannel(benchmark::State& State) {
  qv::TFmMain Main;
  auto* Page = Main.findChild<qv::TProtocolPage*>("ProtocolPage");
  Main.SetCurrentProtocol(BigProtocol());
  int Row = 1;
  for (auto _ : State) {
    Row = Row == 15 ? 1 : 15;
    Page->SgChannels->setCurrentCell(Row, 0);
  }
}
BENCHMARK(BM_SelectChannel)->Unit(benchmark::kMillisecond);

void BM_SelectGenotype(benchmark::State& State) {
  qv::TFmMain Main;
  auto* Page = Main.findChild<qv::TProtocolPage*>("ProtocolPage");
  Main.SetCurrentProtocol(BigProtocol());
  int Row = 1;
  for (auto _ : State) {
    Row = Row == 20 ? 1 : 20;
    Page->SgGenotypes->setCurrentCell(Row, 0);
  }
}
BENCHMARK(BM_SelectGenotype)->Unit(benchmark::kMillisecond);

void BM_ImportGenotypes(benchmark::State& State, FixedDialogs* Dialogs, const std::string& Folder) {
  Dialogs->File = Folder + "/genotypes.txt";
  {
    std::ofstream Out(Dialogs->File);
    for (int i = 0; i < 1000; ++i) Out << "Genotype" << i << ',' << i % 15 << ',' << (i + 3) % 15 << '\n';
  }
  qv::TFmMain Main;
  auto* Page = Main.findChild<qv::TProtocolPage*>("ProtocolPage");
  for (auto _ : State) {
    State.PauseTiming();
    Main.SetCurrentProtocol(BigProtocol());
    State.ResumeTiming();
    qv::GuardedCommand([&] { Page->BtnGenotypeClick(9); });
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir Home;
  qputenv("QUORVENAL_HOME", Home.path().toLocal8Bit());
  QApplication App(argc, argv);
  FixedDialogs Dialogs;
  qv::SetAppDialogs(&Dialogs);
  benchmark::RegisterBenchmark("BM_ImportGenotypes", BM_ImportGenotypes, &Dialogs, Home.path().toStdString())
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  qv::SetAppDialogs(nullptr);
  return 0;
}
