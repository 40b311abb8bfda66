#pragma once
// What the fuzz targets share: a work budget, scratch files per process, a silent message sink
// and one that counts, packing as the own data file packs, and the protocol that carries an FCS
// file down the whole data-set road.
//
// The work budget. Reading a file or a setting may cost memory of at most 64 x its bytes plus
// 64 MB and time of about 1 s per MB on one core; beyond that a reader refuses by a named cap.
// A target does more than read (round trips, an analysis, a short bootstrap), so each run on an
// input of S bytes is held, as a whole, to
//   memory: at most 64 MB + Readings x 64 x S bytes allocated at once (live heap bytes above
//           what was live when the run began, counted through the sanitizer's allocator hooks,
//           so C and C++ allocations of every thread count);
//   time:   at most 8 s + Readings x 16 s/MB x S of the process's CPU time (the rule's 1 s/MB
//           times 16 for the sanitizers and coverage counters; CPU time rather than the clock so
//           that waiting on a loaded machine does not count). The base covers what a run does
//           whatever its size (a fitness report of every class a protocol may have takes about
//           1.2 s), a target's first run, which builds what later runs share, and the slower CPU
//           time of a machine whose cores are all busy: up to 2.5 times the idle one.
// Readings is the target's own count of how many times it reads or rebuilds what the input
// holds (each target states it beside its budget); it stays a small number. A run that needs
// more memory stops at the allocation that passes the budget, one that needs more time within
// 50 ms of passing it, each with the budget named on stderr. QUORVENAL_FUZZ_BUDGET=print prints every run's
// cost and budget on stderr instead of stopping (to measure an input or a corpus with -runs=0).
// Runs use two threads (unless QUORVENAL_THREADS says otherwise): every thread writes the same
// coverage counters, so that on eight threads a run costs up to eight times the CPU time of one
// (the detector set-up of a thousand gates over 300 events: 10 s against 1.2 s), while two still
// take the paths that share work out.
#include <pthread.h>
#include <sanitizer/allocator_interface.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Globals.h"
#include "Host.h"
#include "Streams.h"
#include "protocol/Channel.h"
#include "protocol/Protocol.h"

namespace qv::fuzz {

// The live heap bytes of the process, and the budget of the run under way.
namespace budget {
inline constexpr double BaseSecondsOfBudget = 8;
inline constexpr double SecondsPerMBOfBudget = 16;
inline std::atomic<int64_t> Live{0};
inline std::atomic<int64_t> Start{0};
inline std::atomic<int64_t> Peak{0};
inline std::atomic<int64_t> Limit{0};
inline std::atomic<bool> Active{false};
inline std::atomic<bool> Stopping{false};
inline bool PrintOnly = false;
inline size_t InputBytes = 0;
inline double Readings = 1;

inline void Allocated(const volatile void*, size_t Bytes) {
  const int64_t Now = Live.fetch_add(static_cast<int64_t>(Bytes), std::memory_order_relaxed) + static_cast<int64_t>(Bytes);
  if (!Active.load(std::memory_order_relaxed)) return;
  int64_t High = Peak.load(std::memory_order_relaxed);
  while (Now > High && !Peak.compare_exchange_weak(High, Now, std::memory_order_relaxed)) {
  }
  if (PrintOnly || Now - Start.load(std::memory_order_relaxed) <= Limit.load(std::memory_order_relaxed)) return;
  // Stopped here, the fuzzer's stack trace shows the allocation that passed the budget. No
  // allocation from here on: this runs inside the allocator.
  if (Stopping.exchange(true)) return;
  char Text[400];
  const int Length = std::snprintf(
      Text, sizeof Text,
      "Broken: the work budget of memory: %lld bytes allocated at once for an input of %zu bytes, over "
      "64 MB + %g readings x 64 x %zu = %lld bytes\n",
      static_cast<long long>(Now - Start.load()), InputBytes, Readings, InputBytes, static_cast<long long>(Limit.load()));
  [[maybe_unused]] const ssize_t Written = Length > 0 ? write(2, Text, static_cast<size_t>(Length)) : 0;
  std::abort();
}

inline void Freed(const volatile void* Block) {
  Live.fetch_sub(static_cast<int64_t>(__sanitizer_get_allocated_size(Block)), std::memory_order_relaxed);
}

inline double CpuSeconds() {
  timespec T{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
  return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) * 1e-9;
}

inline std::atomic<double> Began{0};
inline std::atomic<double> TimeLimit{0};
inline pthread_t Runner{};

inline void PrintTimeBreach(double Seconds) {
  std::fprintf(stderr,
               "Broken: the work budget of time: %.3f s of CPU for an input of %zu bytes, over %g s + %g readings x "
               "%g s/MB x %zu bytes = %.3f s (memory %lld bytes at once)\n",
               Seconds, InputBytes, BaseSecondsOfBudget, Readings, SecondsPerMBOfBudget, InputBytes, TimeLimit.load(),
               static_cast<long long>(Peak.load() - Start.load()));
}

// Stops a run as soon as it passes its time, from beside it: the fuzzer's stack trace then shows
// the run's thread at the work that took the time, and a run of minutes ends with the budget
// named rather than with the fuzzer's timeout.
inline void Watch() {
  for (;;) {
    usleep(50000);
    if (PrintOnly || !Active.load()) continue;
    const double Seconds = CpuSeconds() - Began.load();
    if (Seconds <= TimeLimit.load() || Stopping.exchange(true)) continue;
    PrintTimeBreach(Seconds);
    pthread_kill(Runner, SIGABRT);
    return;
  }
}
}  // namespace budget

// The work budget of one run (see the top of this file): made first in a target's run, it checks
// the memory at every allocation and the time when it goes.
class TWorkBudget {
 public:
  static constexpr int64_t BaseBytes = int64_t{64} << 20;
  static constexpr double BytesPerInputByte = 64;
  static constexpr double BaseSeconds = budget::BaseSecondsOfBudget;
  static constexpr double SecondsPerMB = budget::SecondsPerMBOfBudget;

  TWorkBudget(size_t InputBytes, double Readings) {
    static const bool Installed = [] {
      setenv("QUORVENAL_THREADS", "2", 0);
      const char* Mode = std::getenv("QUORVENAL_FUZZ_BUDGET");
      budget::PrintOnly = Mode && std::string(Mode) == "print";
      std::thread(budget::Watch).detach();
      return __sanitizer_install_malloc_and_free_hooks(budget::Allocated, budget::Freed) != 0;
    }();
    if (!Installed) {
      std::fprintf(stderr, "Broken: the work budget needs the sanitizer's allocator hooks\n");
      std::abort();
    }
    budget::InputBytes = InputBytes;
    budget::Readings = Readings;
    MemoryLimit = BaseBytes + static_cast<int64_t>(Readings * BytesPerInputByte * static_cast<double>(InputBytes));
    budget::TimeLimit.store(BaseSeconds + Readings * SecondsPerMB * static_cast<double>(InputBytes) / (1 << 20));
    budget::Limit.store(MemoryLimit);
    budget::Runner = pthread_self();
    const int64_t Now = budget::Live.load();
    budget::Start.store(Now);
    budget::Peak.store(Now);
    budget::Began.store(budget::CpuSeconds());
    budget::Active.store(true);
  }
  ~TWorkBudget() {
    const double Seconds = budget::CpuSeconds() - budget::Began.load();
    budget::Active.store(false);
    if (budget::PrintOnly) {
      std::fprintf(stderr, "Work: input %zu bytes, memory %lld of %lld bytes, time %.3f of %.3f s\n",
                   budget::InputBytes, static_cast<long long>(budget::Peak.load() - budget::Start.load()),
                   static_cast<long long>(MemoryLimit), Seconds, budget::TimeLimit.load());
      return;
    }
    if (Seconds <= budget::TimeLimit.load() || budget::Stopping.exchange(true)) return;
    budget::PrintTimeBreach(Seconds);
    std::abort();
  }
  TWorkBudget(const TWorkBudget&) = delete;
  TWorkBudget& operator=(const TWorkBudget&) = delete;

 private:
  int64_t MemoryLimit = 0;
};

// Messages go nowhere: the targets run millions of inputs.
class SilentMessages : public Messages {
 public:
  void Error(const std::string&) override {}
  void Info(const std::string&) override {}
  bool Confirm(const std::string&) override { return false; }
};

// Silent messages, histograms coarse enough that the peak fits (which search every bin) and few
// enough perturbed matrices per event in dynamic compensation that the analyses leave time for
// exploring the readers.
inline void Quiet() {
  static SilentMessages Sink;
  SetHostMessages(&Sink);
  HistogramBinCount = 24;
  DynamicCompensationN = 10;
}

// Counts the messages shown while it lives; they go nowhere again afterwards.
class MessageCounter : public SilentMessages {
 public:
  MessageCounter() { SetHostMessages(this); }
  ~MessageCounter() override { Quiet(); }
  MessageCounter(const MessageCounter&) = delete;
  MessageCounter& operator=(const MessageCounter&) = delete;
  void Error(const std::string& Text) override {
    ++Errors;
    Last = Text;
    Texts.push_back(Text);
  }
  void Info(const std::string&) override { ++Infos; }
  // The errors shown, on stderr: what a broken rule about messages needs to be understood.
  void Print() const {
    for (const auto& T : Texts) std::fprintf(stderr, "Message: %s\n", T.c_str());
  }
  int Errors = 0;
  int Infos = 0;
  std::string Last;
  std::vector<std::string> Texts;  // of the errors
};

// The fitness target's input: an options byte, then the unpacked streams of the data files of
// expected set 1, observed set 1, expected set 2 and observed set 2, one after each separator.
inline const std::string DataFileSeparator = "\n==next data file==\n";

// A file name of this process for Tag (the readers take names, not memory), in /dev/shm when
// there is one so that the writes stay in memory.
inline std::string ScratchName(const std::string& Tag) {
  const char* Temp = std::getenv("TMPDIR");
  const char* Dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (Temp ? Temp : "/tmp");
  return std::string(Dir) + "/quorvenal-fuzz-" + std::to_string(getpid()) + "-" + Tag;
}

// A folder of this process for Tag, made when missing; its name ends in '/'.
inline std::string ScratchFolder(const std::string& Tag) {
  const std::string Name = ScratchName(Tag) + "/";
  if (mkdir(Name.c_str(), 0755) != 0 && access(Name.c_str(), W_OK) != 0) std::abort();
  return Name;
}

inline void WriteScratch(const std::string& Name, const uint8_t* Data, size_t Size) {
  std::FILE* F = std::fopen(Name.c_str(), "wb");
  if (!F) std::abort();
  if (Size && std::fwrite(Data, 1, Size, F) != Size) std::abort();
  std::fclose(F);
}

inline void WriteScratch(const std::string& Name, const std::vector<uint8_t>& Bytes) {
  WriteScratch(Name, Bytes.data(), Bytes.size());
}

inline std::vector<uint8_t> ReadAll(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

// What a target checks: a broken rule names itself on stderr and stops the fuzzer.
inline void Require(bool Holds, const char* Rule) {
  if (Holds) return;
  std::fprintf(stderr, "Broken: %s\n", Rule);
  std::abort();
}

// One zlib stream, as the own data file holds its records.
inline std::vector<uint8_t> Pack(const std::vector<uint8_t>& Plain) {
  uLongf Size = compressBound(static_cast<uLong>(Plain.size()));
  std::vector<uint8_t> Packed(Size);
  if (compress2(Packed.data(), &Size, Plain.data(), static_cast<uLong>(Plain.size()), Z_BEST_COMPRESSION) != Z_OK)
    std::abort();
  Packed.resize(Size);
  return Packed;
}

// The bytes of one zlib stream (empty when it is none); for the seed writer.
inline std::vector<uint8_t> Unpack(const std::vector<uint8_t>& Packed) {
  std::vector<uint8_t> Plain;
  z_stream Z{};
  if (Packed.empty() || inflateInit(&Z) != Z_OK) return Plain;
  Z.next_in = const_cast<Bytef*>(Packed.data());
  Z.avail_in = static_cast<uInt>(Packed.size());
  int Status = Z_OK;
  uint8_t Buffer[65536];
  while (Status == Z_OK) {
    Z.next_out = Buffer;
    Z.avail_out = sizeof Buffer;
    Status = inflate(&Z, Z_NO_FLUSH);
    Plain.insert(Plain.end(), Buffer, Buffer + (sizeof Buffer - Z.avail_out));
  }
  inflateEnd(&Z);
  if (Status != Z_STREAM_END) Plain.clear();
  return Plain;
}

// Gates FSC (static, linear) and SSC (dynamic, log) and channels GFP and RFP on FL1 and FL2,
// each with a peak, and one genotype per channel. With Named false the gates and channels carry
// no FCS names, so they match the last parameter of any file.
inline std::unique_ptr<TProtocol> AnalysisProtocol(bool Named) {
  auto P = std::make_unique<TProtocol>();
  P->FileName = "fuzz.protocol";
  const char* GateLabels[2] = {"FSC", "SSC"};
  for (int g = 0; g < 2; ++g) {
    TGateInfo Info;
    Info.Name = GateLabels[g];
    Info.FCSLabel = Named ? GateLabels[g] : "";
    Info.Scale = g == 0 ? 1 : 0;
    Info.Active = true;
    Info.MinimumValue = g == 0 ? 100 : 0;
    Info.MaximumValue = g == 0 ? 900 : 1e9f;
    Info.DisplayMaximum = g == 0 ? 1024 : 5;
    Info.IsDynamic = g == 1;
    Info.Mean = 2.4f;
    Info.Deviation = 0.15f;
    Info.ClipHigh = 2;
    Info.ClipLow = -2;
    Info.Minimum_Z = -3;
    Info.Maximum_Z = 3;
    Info.Cull = g == 0;
    P->AddGate(std::make_unique<TGlobalGate>(Info, P.get()));
  }
  const char* Names[2] = {"GFP", "RFP"};
  const char* Labels[2] = {"FL1", "FL2"};
  for (int c = 0; c < 2; ++c) {
    TChannelInfo Info;
    Info.ChannelName = Names[c];
    Info.ChannelTag = std::string(1, Names[c][0]);
    Info.FCSLabel = Named ? Labels[c] : "";
    P->AddChannel(std::make_unique<TChannel>(Info, P.get()));
  }
  for (int c = 0; c < 2; ++c) {
    TChannel& C = *P->GetChannel(c);
    C.DisplayMaximum = 5;
    C.Minimum_Value_Threshold = 100;
    C.Maximum_Value_Threshold = 1e6f;
    C.Minimum_Value_ZScore = 1;
    C.MaximumValue_ZScore = 1e6f;
    C.Minimum_Z = -3;
    C.Maximum_Z = 3;
    C.AddPeak(false, -1, c == 0 ? 2.4f : 2.9f, 0.15f, 1, 0, 0, 0, 2, -2);
    for (int j = 0; j < 2; ++j) {
      TCompensationPair Pair;
      Pair.Mean = c == j ? 100.0f : 5.0f;
      Pair.Deviation = 1;
      C.SetCompPair(j, Pair, true);
    }
  }
  P->AddGenotype("green", 0, 0);
  P->AddGenotype("red", 1, 0);
  return P;
}

// The protocol's stream as the program writes it, for comparing a protocol before and after.
inline std::vector<uint8_t> Written(TProtocol& P) {
  TMemoryStream Out;
  P.WriteToStream(Out, false);
  return Out.Bytes();
}

// A protocol of Count channels named C0, C1, ... tagged A, B, ...
inline std::unique_ptr<TProtocol> NamedChannels(int32_t Count) {
  auto P = std::make_unique<TProtocol>();
  for (int32_t c = 0; c < Count; ++c) {
    TChannelInfo Info;
    Info.ChannelName = "C" + std::to_string(c);
    Info.ChannelTag = std::string(1, static_cast<char>('A' + c));
    P->AddChannel(std::make_unique<TChannel>(Info, P.get()));
  }
  return P;
}

// NamedChannels compensated: 100 % on a channel's own fluorophore, 1.5 % from every other one.
inline std::unique_ptr<TProtocol> CompensatedChannels(int32_t Count) {
  auto P = NamedChannels(Count);
  for (int32_t i = 0; i < Count; ++i)
    for (int32_t j = 0; j < Count; ++j) {
      TCompensationPair Pair;
      Pair.Mean = i == j ? 100.0f : 1.5f;
      Pair.Deviation = 0.25f;
      P->GetChannel(i)->SetCompPair(j, Pair, true);
    }
  return P;
}

}  // namespace qv::fuzz
