// The windows' costs. Goals: the main window shown under 2 s from nothing with a protocol
// restored; Progress::Pump cheap enough to be called for every 100 events (it processes events
// at most every 20 ms); ShowMemoryStatus reading /proc at most 10 times a second.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <fstream>
#include <memory>

#include "shell/MainWindow.h"
#include "common/QtHost.h"
#include "TestFolders.h"
#include "protocol/Protocol.h"

namespace {

void StartToMainWindowShown(benchmark::State& State) {
  qv::test::ScopedProgramHome Home;
  qv::TProtocol P;
  for (int i = 0; i < 6; ++i) {
    qv::TChannelInfo Info;
    Info.ChannelName = "C" + std::to_string(i);
    Info.ChannelTag = std::string(1, char('A' + i));
    P.AddChannel(std::make_unique<qv::TChannel>(Info, nullptr));
  }
  const std::string File = Home.Path() + "Bench.protocol";
  P.SaveToFile(File);
  std::ofstream(Home.Path() + "FCS.INI") << "[Directories]\nProtocolFile=" << File << "\nLoadProtocol=1\n";
  for (auto _ : State) {
    auto Main = std::make_unique<qv::TFmMain>();
    Main->show();
    QCoreApplication::processEvents();
    benchmark::DoNotOptimize(Main->CurrentProtocol.get());
    Main.reset();
  }
}
BENCHMARK(StartToMainWindowShown)->Unit(benchmark::kMillisecond);

void ProgressPump(benchmark::State& State) {
  bool Continue = true;
  qv::TQtProgress Progress(nullptr, &Continue);
  for (auto _ : State) {
    Progress.Pump();
    benchmark::DoNotOptimize(Progress.Continue());
  }
}
BENCHMARK(ProgressPump);

void ShowMemoryStatus(benchmark::State& State) {
  qv::test::ScopedProgramHome Home;
  qv::TFmMain Main;
  for (auto _ : State) Main.ShowMemoryStatus();
}
BENCHMARK(ShowMemoryStatus)->Unit(benchmark::kMicrosecond);

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
