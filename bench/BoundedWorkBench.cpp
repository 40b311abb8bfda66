// Small inputs that once made the program run for seconds or allocate gigabytes, read now at a
// cost that follows their size (or refused by a named cap): 10,000 log parameters of an FCS file
// (each with its own scaling, or all sharing one), a protocol file of 200,000 gates, the class
// make-up report of a set of 8,192 or 65,536 files of one event each, and a settings file of
// 16 MB read and written as at start-up and close. Goal: each well under 1 s per MB of input.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "FcsWriter.h"
#include "Globals.h"
#include "Host.h"
#include "ProfileFile.h"
#include "TestFolders.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/Protocol.h"

namespace {

struct TSilent : qv::Messages {
  TSilent() { qv::SetHostMessages(this); }
  ~TSilent() override { qv::SetHostMessages(nullptr); }
  void Error(const std::string&) override {}
};

void BM_ManyLogParameters(benchmark::State& State) {
  const bool Shared = State.range(0) != 0;
  qv::test::TempFolder Folder;
  qv::test::FcsFileSpec Spec;
  Spec.DataType = qv::test::FcsDataType::Int16;
  for (int32_t p = 0; p < 10000; ++p)
    Spec.Parameters.push_back(
        qv::test::LogParameter("P" + std::to_string(p), Shared ? 4.0f : 1.0f + static_cast<float>(p) / 4096, 65536));
  Spec.Events = {std::vector<double>(10000, 100), std::vector<double>(10000, 40000)};
  const std::string Name = Folder / "log.fcs";
  qv::test::WriteFcs(Name, Spec);
  for (auto _ : State) {
    qv::TFCSFile File(Name);
    benchmark::DoNotOptimize(File.Events.data());
  }
}
BENCHMARK(BM_ManyLogParameters)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_ProtocolOfManyGates(benchmark::State& State) {
  qv::test::TempFolder Folder;
  qv::TGateInfo Info;
  Info.Active = true;
  Info.Name = "G";
  qv::TMemoryStream Gate, Tail;
  qv::TGlobalGate(Info, nullptr).SaveToStream(Gate);
  qv::TProtocol Empty;
  Empty.SaveToStream(Tail);
  qv::TMemoryStream Whole;
  qv::WriteStreamString(qv::TProtocol::Header, Whole);
  for (const int32_t V : {9, 0, 200000, 0, 0}) qv::WriteInt32(Whole, V);
  qv::WriteBool(Whole, false);
  qv::WriteBool(Whole, false);
  const size_t Head = static_cast<size_t>(Whole.Position());
  for (int i = 0; i < 200000; ++i) Whole.Write(Gate.Bytes().data(), Gate.Bytes().size());
  Whole.Write(Tail.Bytes().data() + Head, Tail.Bytes().size() - Head);
  const std::string Name = Folder / "gates.protocol";
  std::ofstream(Name, std::ios::binary)
      .write(reinterpret_cast<const char*>(Whole.Bytes().data()), static_cast<std::streamsize>(Whole.Bytes().size()));
  TSilent Silent;
  for (auto _ : State) {
    qv::TProtocol P;
    benchmark::DoNotOptimize(P.LoadFromFile(Name));
  }
}
BENCHMARK(BM_ProtocolOfManyGates)->Unit(benchmark::kMillisecond);

void BM_ProportionReportOfManyFiles(benchmark::State& State) {
  const int32_t Files = static_cast<int32_t>(State.range(0));
  qv::TFCSData D;
  D.Events.Reset(0, 1);
  for (int32_t f = 0; f < Files; ++f) {
    qv::TFCSLine E = D.Events.Append();
    E.SetFileIndex(f);
    E.Classes()[2] = static_cast<int16_t>(1 + f % 2);
  }
  D.FileRange();
  D.BuildFileIndex();
  qv::CalculateSSDPvalues = false;
  for (auto _ : State) {
    qv::TStringArray Table{"Class\t", "c0\t", "c1\t", "c2\t"};
    D.ProportionReport({"n0", "n1", "n2"}, Table, '\t', 2, true);
    benchmark::DoNotOptimize(Table.data());
  }
}
BENCHMARK(BM_ProportionReportOfManyFiles)->Arg(8192)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_SettingsFileOf16MB(benchmark::State& State) {
  qv::test::TempFolder Folder;
  std::string Text;
  for (int i = 0; Text.size() < 16 * 1024 * 1024 - 64; ++i)
    Text += "[Section " + std::to_string(i) + "]\nKey=" + std::to_string(i) + "\n";
  Text.resize(16 * 1024 * 1024);
  const std::string Name = Folder / "FCS.INI";
  std::ofstream(Name, std::ios::binary) << Text;
  const char* const Keys[] = {"ProtocolFile", "BrowseDir", "ProcessDir", "SaveDir", "LoadDir", "SaveProtocol",
                              "LoadProtocol", "OverrideSaveDir", "ShowFileType"};
  for (auto _ : State) {
    qv::TProfileFile Ini(Name);
    for (const char* Key : Keys) benchmark::DoNotOptimize(Ini.ReadString("Directories", Key, ""));
    for (const char* Key : Keys) Ini.WriteString("Directories", Key, "x");
    benchmark::DoNotOptimize(Ini.Text().size());
  }
}
BENCHMARK(BM_SettingsFileOf16MB)->Unit(benchmark::kMillisecond);

}  // namespace
