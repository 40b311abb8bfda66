// The report window at the most it holds (TReportCapacity): as many lines of a table as it takes,
// or wide lines of many tabs up to its layout cost. Opening it (fill, first picture), the whole layout that
// a resize at its end or a format on all of it asks for, and scrolling a page. Goal: each under
// 0.5 s, the longest time the window may stay unanswered. A table four million lines long is cut
// to that size.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <memory>
#include <string>
#include <vector>

#include "report/ReportCapacity.h"
#include "report/TextOutput.h"

namespace {

using qv::TReportCapacity;

// Lines of Width characters, as many as the window holds.
std::vector<std::string> Report(int64_t Width) {
  const int64_t Count = std::min(TReportCapacity::MaxLines, TReportCapacity::MaxBytes / Width);
  std::vector<std::string> Result;
  Result.reserve(static_cast<size_t>(Count));
  for (int64_t I = 0; I < Count; ++I) {
    std::string Line = "run" + std::to_string(I) + ".fcs\tGFP\t" + std::to_string(40000 + I % 977) + "\t41.2370\t1893.5521";
    while (static_cast<int64_t>(Line.size()) < Width) Line += "\t102.3384";
    Line.resize(static_cast<size_t>(Width));
    Result.push_back(std::move(Line));
  }
  return Result;
}

std::unique_ptr<qv::TFmTextOutput> Window(const std::vector<std::string>& Lines) {
  auto W = std::make_unique<qv::TFmTextOutput>(nullptr, QStringLiteral("Report"), true);
  W->SetTabStops({70, 140, 210, 280, 350, 420, 490, 560, 630, 700});
  W->AddLines(Lines);
  return W;
}

void Close(std::unique_ptr<qv::TFmTextOutput>& W) {
  W->DiscardChanges();
  W.reset();
}

void BM_Open(benchmark::State& State) {
  const auto Lines = Report(State.range(0));
  for (auto _ : State) {
    auto W = Window(Lines);
    QApplication::processEvents();
    benchmark::DoNotOptimize(W->grab());
    State.PauseTiming();
    Close(W);
    State.ResumeTiming();
  }
  State.counters["lines"] = static_cast<double>(Lines.size());
}

// The layout of all of it, as the last line in view asks after a resize.
void BM_ResizeAtTheEnd(benchmark::State& State) {
  auto W = Window(Report(State.range(0)));
  QApplication::processEvents();
  W->MeText->moveCursor(QTextCursor::End);
  int Width = 554;
  for (auto _ : State) {
    Width = Width == 554 ? 700 : 554;
    W->resize(Width, 480);
    QApplication::processEvents();
    benchmark::DoNotOptimize(W->MeText->viewport()->grab());
  }
  Close(W);
}

// Bold on and off over the whole text: a format change on every line.
void BM_BoldAll(benchmark::State& State) {
  auto W = Window(Report(State.range(0)));
  QApplication::processEvents();
  W->MeText->selectAll();
  for (auto _ : State) {
    W->BtnBold->click();
    benchmark::DoNotOptimize(W->MeText->document()->size());
  }
  Close(W);
}

void BM_ScrollPage(benchmark::State& State) {
  auto W = Window(Report(State.range(0)));
  QApplication::processEvents();
  QScrollBar* Bar = W->MeText->verticalScrollBar();
  for (auto _ : State) {
    int Next = Bar->value() + Bar->pageStep();
    if (Next > Bar->maximum()) Next = 0;
    Bar->setValue(Next);
    benchmark::DoNotOptimize(W->MeText->viewport()->grab());
  }
  Close(W);
}

// Lines of a table (100 characters), and lines of 1000 (the window shows as many as it lays out).
#define QV_SIZES ->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_Open) QV_SIZES->Iterations(3);
BENCHMARK(BM_ResizeAtTheEnd) QV_SIZES->Iterations(4);
BENCHMARK(BM_BoldAll) QV_SIZES->Iterations(4);
BENCHMARK(BM_ScrollPage) QV_SIZES;

void BM_FourMillionLinesAreCut(benchmark::State& State) {
  std::vector<std::string> Lines(4000000, std::string(60, '7'));
  for (auto _ : State) {
    auto W = Window(Lines);
    QApplication::processEvents();
    benchmark::DoNotOptimize(W->grab());
    State.counters["lines_not_shown"] = static_cast<double>(W->LinesNotShown());
    Close(W);
  }
}
BENCHMARK(BM_FourMillionLinesAreCut)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
