// The report window's RTF: a file of 256 tab stops and 25,000 paragraphs (90 KB), and one of a
// 256-byte font name and 7,000 bold runs, opened into the editor and saved back as RTF; and the
// same files past the caps (10,000 tab stops, a 50,000-byte font name), refused. Goal: each
// well under 1 s per MB of the file, the file written back no larger than a few times it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <fstream>
#include <string>

#include "TestFolders.h"
#include "report/SRichEdit.h"

namespace {

std::string RtfFile(int Kind) {
  std::string Text = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fnil ";
  const bool Tabs = Kind < 2;
  Text += Tabs ? std::string("Arial") : std::string(Kind == 2 ? 256 : 50000, 'F');
  Text += ";}}\\pard\\f0 ";
  if (Tabs) {
    for (int i = 0; i < (Kind == 0 ? 256 : 10000); ++i) Text += "\\tx" + std::to_string(20 * (i + 1));
    Text += " ";
    for (int i = 0; i < 25000; ++i) Text += "a\\par ";
  } else {
    for (int i = 0; i < 7000; ++i) Text += "{\\b a}a";
  }
  return Text + "}";
}

void BM_OpenAndSaveRtf(benchmark::State& State) {
  const int Kind = static_cast<int>(State.range(0));
  qv::test::TempFolder Folder;
  const std::string Name = Folder / "in.rtf", Saved = Folder / "out.rtf";
  std::ofstream(Name, std::ios::binary) << RtfFile(Kind);
  qv::TSRichEdit Editor;
  Editor.SetPlainText(false);
  for (auto _ : State) {
    try {
      Editor.LoadFromFile(Name);
      Editor.SaveToFile(Saved);
    } catch (const std::exception&) {
      // Past a cap: refused, the editor as it was.
    }
  }
  std::ifstream In(Saved, std::ios::binary | std::ios::ate);
  State.counters["written_bytes"] = In ? static_cast<double>(In.tellg()) : 0;
}
BENCHMARK(BM_OpenAndSaveRtf)->ArgName("kind")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
