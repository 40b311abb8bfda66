// Reading FCS files into a TFCSFile: 1,000,000 events x 8 parameters, 32-bit floats or 16-bit
// integers of which 4 are log-scaled. Goal: under 25 ms each (warm file cache, one core), and at
// most half the time of BM_BulkReadAsArray, what a reader that hands back one array (as the
// public numpy-based readers do) pays at least. Each iteration opens, reads, converts and frees
// the file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "fcs/FCSFile.h"
#include "LargeArray.h"
#include "FcsWriter.h"
#include "TestFolders.h"

namespace {

constexpr int64_t EventCount = 1000000;
constexpr int32_t ParameterCount = 8;

// A small deterministic hash, so every run reads the same values.
uint32_t Mix(uint64_t X) {
  X ^= X >> 33;
  X *= 0xff51afd7ed558ccdULL;
  X ^= X >> 33;
  return static_cast<uint32_t>(X);
}

// FCS 3.0, 8 parameters; 16-bit files have parameters 5-8 log-scaled (4 decades over Range).
void WriteFile(const std::string& Path, bool Float, bool BigEndian, int32_t Range) {
  qv::test::FcsFileSpec Spec;
  Spec.Version = "FCS3.0";
  Spec.DataType = Float ? qv::test::FcsDataType::Float32 : qv::test::FcsDataType::Int16;
  Spec.BigEndian = BigEndian;
  for (int32_t p = 0; p < ParameterCount; ++p) {
    std::string Name = "P";
    Name += std::to_string(p + 1);
    Spec.Parameters.push_back(!Float && p >= 4 ? qv::test::LogParameter(Name, 4, Range)
                                               : qv::test::LinearParameter(Name, Range));
  }
  Spec.EventCount = EventCount;
  Spec.Value = [Float, Range](int64_t e, int32_t p) {
    const uint32_t R = Mix(static_cast<uint64_t>(e) * ParameterCount + static_cast<uint64_t>(p));
    return Float ? (static_cast<double>(R) / 4294967296.0 - 0.01) * 262144.0 : static_cast<double>(R % Range);
  };
  qv::test::WriteFcs(Path, Spec);
}

// Written once per kind, in a temporary folder removed at exit.
const std::string& File(bool Float, bool BigEndian, int32_t Range) {
  static qv::test::TempFolder Folder;
  static std::map<std::tuple<bool, bool, int32_t>, std::string> Paths;
  auto [It, New] = Paths.try_emplace({Float, BigEndian, Range});
  if (New) {
    It->second = Folder / (std::string(Float ? "float" : "int16") + (BigEndian ? "-be-" : "-le-") +
                           std::to_string(Range) + ".fcs");
    WriteFile(It->second, Float, BigEndian, Range);
  }
  return It->second;
}

void Read(benchmark::State& State, const std::string& Path) {
  { qv::TFCSFile Warm(Path); }  // file cache
  for (auto _ : State) {
    qv::TFCSFile FCS(Path);
    benchmark::DoNotOptimize(FCS.Events.data());
  }
  State.SetItemsProcessed(State.iterations() * EventCount);
}

// Args: big-endian (0/1), $PnR.
void BM_ReadFloat32(benchmark::State& State) {
  Read(State, File(true, State.range(0) != 0, static_cast<int32_t>(State.range(1))));
}
void BM_ReadInt16Log4(benchmark::State& State) {
  Read(State, File(false, State.range(0) != 0, static_cast<int32_t>(State.range(1))));
}

// For comparison: the DATA of the big-endian float file read in one piece into an array of
// floats and byte-swapped, the way array readers do it (no keywords, no checks). Fresh:0 takes
// the array from malloc, which after the first iteration hands back pages already faulted in;
// Fresh:1 maps new pages each time, as a reader in a new process gets them (TFCSFile gives its
// blocks back to the system, so it always pays for fresh pages).
void BM_BulkReadAsArray(benchmark::State& State) {
  const std::string& Path = File(true, true, 262144);
  { qv::TFCSFile Warm(Path); }
  const qv::TFCSFile Layout(Path);
  const size_t Count = static_cast<size_t>(EventCount * ParameterCount);
  const bool Fresh = State.range(0) != 0;
  for (auto _ : State) {
    std::FILE* F = std::fopen(Path.c_str(), "rb");
    std::fseek(F, Layout.DataBegin, SEEK_SET);
    std::unique_ptr<uint32_t, void (*)(uint32_t*)> Values(nullptr, nullptr);
    if (Fresh)
      Values = {static_cast<uint32_t*>(qv::AllocateLarge(Count * 4)), [](uint32_t* P) { qv::FreeLarge(P, EventCount * ParameterCount * 4); }};
    else
      Values = {static_cast<uint32_t*>(std::malloc(Count * 4)), [](uint32_t* P) { std::free(P); }};
    const size_t Got = std::fread(Values.get(), 4, Count, F);
    std::fclose(F);
    uint32_t* V = Values.get();
    for (size_t i = 0; i < Got; ++i) V[i] = __builtin_bswap32(V[i]);
    benchmark::DoNotOptimize(Values.get());
  }
  State.SetItemsProcessed(State.iterations() * EventCount);
}

// For comparison: what any reader pays to hand back 1,000,000 x 8 values as a TMatrix (one
// allocation per row, filled from memory, then freed), without opening a file.
void BM_TMatrixRowsOnly(benchmark::State& State) {
  std::vector<float> Source(static_cast<size_t>(EventCount * ParameterCount), 1.0f);
  for (auto _ : State) {
    qv::TMatrix Events;
    Events.reserve(EventCount);
    for (int64_t e = 0; e < EventCount; ++e)
      Events.emplace_back(Source.data() + e * ParameterCount, Source.data() + (e + 1) * ParameterCount);
    benchmark::DoNotOptimize(Events.data());
  }
  State.SetItemsProcessed(State.iterations() * EventCount);
}

// The file named by QUORVENAL_BENCH_FCS, so scripts/compare-python-reader.sh can time a
// numpy reader and this one on the same file in the same run.
const bool GivenFileRegistered = [] {
  const char* Given = std::getenv("QUORVENAL_BENCH_FCS");
  if (Given && *Given)
    benchmark::RegisterBenchmark("BM_ReadGivenFile", [Path = std::string(Given)](benchmark::State& State) {
      Read(State, Path);
    })->Unit(benchmark::kMillisecond);
  return true;
}();

BENCHMARK(BM_ReadFloat32)->ArgNames({"BE", "Range"})->Args({1, 262144})->Args({0, 262144})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadInt16Log4)->ArgNames({"BE", "Range"})->Args({1, 1024})->Args({0, 1024})->Args({1, 65536})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BulkReadAsArray)->ArgName("Fresh")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TMatrixRowsOnly)->Unit(benchmark::kMillisecond);

}  // namespace
