#include "analysis/DynamicCompensation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "Errors.h"
#include "FloatStores.h"
#include "GaussianDeviate.h"
#include "protocol/Protocol.h"
#include "Random.h"
#include "SmallMatrix.h"
#include "Statistics.h"

namespace qv {

namespace {

constexpr const char* NoStaticMatrix =
    "The compensation matrix cannot be built: the spill-over matrix of the channels cannot be inverted";

// One spill-over pair that a trial perturbs, in the order the trial draws its deviates.
struct TPerturbation {
  int32_t Row;
  int32_t Col;
  float Mean;
  float Deviation;
};

template <int Cap>
struct TSetup {
  int32_t N = 0;
  TSmallMatrix<Cap> Static;
  bool HaveStatic = false;
  std::vector<TPerturbation> Pairs;
  const TProtocol* Protocol = nullptr;
  TDynamicCompensationOptions Options;
};

template <int Cap>
TSetup<Cap> MakeSetup(const TProtocol& Protocol, const TMatrix& Static, bool HaveStatic, int32_t N,
                      const TDynamicCompensationOptions& Options) {
  TSetup<Cap> S;
  S.N = N;
  S.HaveStatic = HaveStatic;
  S.Static = TSmallMatrix<Cap>(N, N);
  if (HaveStatic)
    for (int32_t i = 0; i < N; ++i)
      for (int32_t j = 0; j < N; ++j) S.Static[i][j] = Static[static_cast<size_t>(i)][static_cast<size_t>(j)];
  // The order of BuildCompensationMatrix: channels and their pairs from the last to the first;
  // a pair for a channel the protocol no longer has draws nothing.
  for (int32_t i = N - 1; i >= 0; --i) {
    const TChannel& C = *Protocol.GetChannel(i);
    for (int32_t j = C.CompCount() - 1; j >= 0; --j)
      if (j < N) S.Pairs.push_back({i, j, C.Comp[static_cast<size_t>(j)].Mean, C.Comp[static_cast<size_t>(j)].Deviation});
  }
  S.Protocol = &Protocol;
  S.Options = Options;
  return S;
}

// The values an event starts its trials from: the static product when it holds none yet.
template <int Cap>
void StartValues(const TSetup<Cap>& S, const TFCSLine& E, float* Comp) {
  const auto Raw = E.RawValues();
  if (E.HasCompValues()) {
    std::copy_n(E.CompValues().begin(), S.N, Comp);
    return;
  }
  if (!S.HaveStatic) throw EArithmetic(NoStaticMatrix);
  for (int32_t i = 0; i < S.N; ++i) {
    float Sum = 0.0f;
    for (int32_t k = S.N - 1; k >= 0; --k) Sum = fp::Single(static_cast<Extended>(S.Static[i][k]) * Raw[k] + Sum);
    Comp[i] = Sum;
  }
}

// TProtocol::CompensateDynamic on stack matrices, drawing each deviate from NextDeviate.
template <int Cap, class Deviates>
void Trials(const TSetup<Cap>& S, std::span<const float> Raw, float* Comp, Deviates& NextDeviate) {
  const int32_t N = S.N;
  float Best = 2147483648.0f;
  TSmallMatrix<Cap> Spill(N, N), Inverse;
  float Product[Cap];
  for (int32_t t = 0; t < S.Options.Tries; ++t) {
    for (int32_t i = 0; i < N; ++i) std::fill_n(Spill[i], N, 0.0f);
    for (const TPerturbation& P : S.Pairs) {
      Extended M = P.Mean;
      M = M + static_cast<Extended>(NextDeviate()) * P.Deviation;
      Spill[P.Row][P.Col] = fp::Single(M / 100.0L);
    }
    if (!InvertSmall(Spill, Inverse, S.Options.SmallQuadrants, S.Options.AlternateInversion)) continue;
    bool AllZero = true;
    for (int32_t i = 0; i < N; ++i)
      for (int32_t j = 0; j < N; ++j) AllZero = AllZero && Inverse[i][j] == 0;
    if (AllZero) continue;
    bool Stored = true;
    for (int32_t i = 0; i < N && Stored; ++i) {
      float Sum = 0.0f;
      for (int32_t k = N - 1; k >= 0 && Stored; --k)
        Stored = small_matrix::StoreProductSum(Inverse[i][k], Raw[k], Sum, Sum);
      Product[i] = Sum;
    }
    if (!Stored) continue;
    const float R = S.Protocol->EventResidual(std::span<const float>(Product, static_cast<size_t>(N)));
    if (R < Best) {
      Best = R;
      std::copy_n(Product, N, Comp);
    }
  }
}

// Gives the event its values, the floor and their logs.
void Commit(TFCSLine E, const float* Comp, float Floor) {
  E.SizeCompensated();
  const auto RawValues = E.RawValues();
  auto Values = E.CompValues();
  auto LogComp = E.LogCompValues();
  const size_t N = RawValues.size();
  std::copy_n(Comp, N, Values.begin());
  for (size_t c = N; c-- > 0;)
    if (RawValues[c] < Floor) Values[c] = 1.0f;
  for (size_t c = N; c-- > 0;)
    LogComp[c] = Values[c] > 1.0f ? static_cast<float>(std::log10(static_cast<double>(Values[c]))) : 0.0f;
}

void Report(Progress* Gauge, int64_t Count, int64_t i) {
  if (i % 100 != 0 || !Gauge) return;
  try {
    Gauge->SetPosition((Count - 1) - i);
    Gauge->Pump();
  } catch (...) {
  }
}

// Events from processing position First (event Count-1-First) down to event 0 on this thread,
// deviates from GaussRandom.
template <int Cap>
void RunSequential(TFCSLineArray& Events, const TSetup<Cap>& S, int64_t First, Progress* Gauge) {
  const int64_t Count = static_cast<int64_t>(Events.size());
  auto Next = [] { return GaussRandom(); };
  float Comp[Cap];
  for (int64_t i = Count - 1 - First; i >= 0; --i) {
    Report(Gauge, Count, i);
    TFCSLine E = Events[static_cast<size_t>(i)];
    StartValues(S, E, Comp);
    // The event holds its starting values while its trials run, as the sequential stage left it.
    E.SizeCompensated();
    std::copy_n(Comp, S.N, E.CompValues().begin());
    Trials(S, E.RawValues(), Comp, Next);
    Commit(E, Comp, S.Options.Floor);
  }
}

// The deviates of one block: an optional one left over from the block before, then the pairs.
class TBlockDeviates {
 public:
  TBlockDeviates(const TGaussCache& Lead, const TGaussPair* Pairs) : FLead(Lead), FPair(Pairs) {}
  float operator()() {
    if (FLead.Full) {
      FLead.Full = false;
      return FLead.Value;
    }
    if (!FSecond) {
      FFactor = GaussFactor(FPair->S);
      FSecond = true;
      return GaussDeviate(FPair->U, FFactor);
    }
    FSecond = false;
    return GaussDeviate((FPair++)->V, FFactor);
  }

 private:
  TGaussCache FLead;
  const TGaussPair* FPair;
  bool FSecond = false;
  float FFactor = 0;
};

// The drawing thread is the one every worker waits for. On a machine whose cores are busy with
// other work it must not get only its equal share of them, so the workers run a few steps nicer.
void LowerThreadPriority() {
#if defined(__linux__)
  const id_t Thread = static_cast<id_t>(syscall(SYS_gettid));
  errno = 0;
  const int Nice = getpriority(PRIO_PROCESS, Thread);
  if (errno == 0) setpriority(PRIO_PROCESS, Thread, std::min(Nice + 5, 19));
#endif
}

struct TBlock {
  enum TState { Empty, Drawn, Computed };
  TState State = Empty;
  int64_t Index = -1;
  bool Failed = false;
  // The generator and the Gaussian cache as the block's first trial finds them.
  std::mt19937_64 Generator;
  TGaussCache Cache;
  TGaussCache Lead;
  std::vector<TGaussPair> Pairs;
  std::vector<float> Results;  // channel values of each event of the block
};

template <int Cap>
void RunThreaded(TFCSLineArray& Events, const TSetup<Cap>& S, int64_t BlockEvents, int32_t Workers,
                 Progress* Gauge) {
  const int64_t Count = static_cast<int64_t>(Events.size());
  const int64_t Blocks = (Count + BlockEvents - 1) / BlockEvents;
  const int64_t PerEvent = static_cast<int64_t>(S.Options.Tries) * static_cast<int64_t>(S.Pairs.size());
  // Enough blocks in flight that the drawing thread rarely waits for a commit.
  std::vector<TBlock> Ring(static_cast<size_t>(4 * Workers + 4));
  std::mutex Lock;
  // One signal per waiter: the drawing thread waits for a free slot, the workers for drawn
  // blocks, the calling thread for computed ones.
  std::condition_variable SlotFreed, BlockDrawn, BlockComputed;
  bool Stop = false;
  int64_t NextToCompute = 0;
  TGaussCache FinalCache;
  auto EventsOf = [&](int64_t b) { return std::min(BlockEvents, Count - b * BlockEvents); };
  auto SlotOf = [&](int64_t b) -> TBlock& { return Ring[static_cast<size_t>(b) % Ring.size()]; };

  // Draws every block's uniforms in order; the only thread that touches the generator.
  auto Producer = [&] {
    TGaussCache Pending = GaussCacheState();
    for (int64_t b = 0; b < Blocks; ++b) {
      TBlock& Slot = SlotOf(b);
      {
        std::unique_lock<std::mutex> Guard(Lock);
        SlotFreed.wait(Guard, [&] { return Stop || Slot.State == TBlock::Empty; });
        if (Stop) return;
      }
      Slot.Failed = false;
      Slot.Generator = RandomGenerator();
      Slot.Cache = Pending;
      try {
        int64_t Need = EventsOf(b) * PerEvent;
        Slot.Lead = {};
        if (Need > 0 && Pending.Full) {
          Slot.Lead = Pending;
          Pending = {};
          --Need;
        }
        Slot.Pairs.resize(static_cast<size_t>((Need + 1) / 2));
        for (TGaussPair& P : Slot.Pairs) P = DrawGaussPair();
        if (Need % 2 != 0) {
          const TGaussPair& Last = Slot.Pairs.back();
          Pending = {true, GaussDeviate(Last.V, GaussFactor(Last.S))};
        }
      } catch (...) {
        Slot.Failed = true;
      }
      {
        std::lock_guard<std::mutex> Guard(Lock);
        Slot.Index = b;
        Slot.State = TBlock::Drawn;
        if (b == Blocks - 1) FinalCache = Pending;
      }
      BlockDrawn.notify_all();
      if (Slot.Failed) return;
    }
  };

  auto Worker = [&] {
    LowerThreadPriority();
    for (;;) {
      int64_t b;
      {
        std::unique_lock<std::mutex> Guard(Lock);
        if (Stop || NextToCompute >= Blocks) return;
        b = NextToCompute++;
        BlockDrawn.wait(Guard, [&] { return Stop || (SlotOf(b).Index == b && SlotOf(b).State == TBlock::Drawn); });
        if (Stop) return;
      }
      TBlock& Slot = SlotOf(b);
      if (!Slot.Failed) {
        try {
          const int64_t n = EventsOf(b);
          Slot.Results.resize(static_cast<size_t>(n * S.N));
          TBlockDeviates Next(Slot.Lead, Slot.Pairs.data());
          for (int64_t k = 0; k < n; ++k) {
            const TFCSLine E = Events[static_cast<size_t>(Count - 1 - (b * BlockEvents + k))];
            float* Comp = Slot.Results.data() + k * S.N;
            StartValues(S, E, Comp);
            Trials(S, E.RawValues(), Comp, Next);
          }
        } catch (...) {
          Slot.Failed = true;
        }
      }
      {
        std::lock_guard<std::mutex> Guard(Lock);
        Slot.State = TBlock::Computed;
      }
      BlockComputed.notify_one();
    }
  };

  std::vector<std::thread> Threads;
  auto StopAll = [&] {
    {
      std::lock_guard<std::mutex> Guard(Lock);
      Stop = true;
    }
    SlotFreed.notify_all();
    BlockDrawn.notify_all();
    BlockComputed.notify_all();
    for (std::thread& T : Threads) T.join();
    Threads.clear();
  };
  struct TJoin {
    decltype(StopAll)& Fn;
    ~TJoin() { Fn(); }
  } Join{StopAll};
  const std::mt19937_64 StartGenerator = RandomGenerator();
  const TGaussCache StartCache = GaussCacheState();
  try {
    Threads.emplace_back(Producer);
    for (int32_t w = 0; w < Workers; ++w) Threads.emplace_back(Worker);
  } catch (const std::system_error&) {
    // No threads to be had: the whole stage on this one.
    StopAll();
    RandomGenerator() = StartGenerator;
    SetGaussCacheState(StartCache);
    RunSequential(Events, S, 0, Gauge);
    return;
  }

  for (int64_t b = 0; b < Blocks; ++b) {
    TBlock& Slot = SlotOf(b);
    {
      std::unique_lock<std::mutex> Guard(Lock);
      BlockComputed.wait(Guard, [&] { return Slot.Index == b && Slot.State == TBlock::Computed; });
    }
    if (Slot.Failed) {
      // Back to where the block began, and on as the sequential stage goes: it meets the same
      // error at the same draw.
      StopAll();
      RandomGenerator() = Slot.Generator;
      SetGaussCacheState(Slot.Cache);
      RunSequential(Events, S, b * BlockEvents, Gauge);
      return;
    }
    const int64_t n = EventsOf(b);
    for (int64_t k = 0; k < n; ++k) {
      const int64_t i = Count - 1 - (b * BlockEvents + k);
      Report(Gauge, Count, i);
      Commit(Events[static_cast<size_t>(i)], Slot.Results.data() + k * S.N, S.Options.Floor);
    }
    {
      std::lock_guard<std::mutex> Guard(Lock);
      Slot.State = TBlock::Empty;
    }
    SlotFreed.notify_one();
  }
  StopAll();
  SetGaussCacheState(FinalCache);
}

template <int Cap>
void Run(TFCSLineArray& Events, const TProtocol& Protocol, const TMatrix& Static, bool HaveStatic,
         const TDynamicCompensationOptions& Options, Progress* Gauge) {
  const int32_t N = Events.ChannelCount();
  const TSetup<Cap> S = MakeSetup<Cap>(Protocol, Static, HaveStatic, N, Options);
  const int64_t Count = static_cast<int64_t>(Events.size());
  // Blocks of about 64k deviates: large enough that handing them over costs nothing, small
  // enough that every thread gets many.
  const int64_t PerEvent = std::max<int64_t>(1, static_cast<int64_t>(Options.Tries) * std::max<size_t>(S.Pairs.size(), 1));
  const int64_t BlockEvents =
      Options.BlockEvents > 0 ? Options.BlockEvents : std::clamp<int64_t>(65536 / PerEvent, 1, 256);
  if (Options.Threads <= 1 || Count <= BlockEvents)
    RunSequential(Events, S, 0, Gauge);
  else
    RunThreaded(Events, S, BlockEvents, Options.Threads - 1, Gauge);
}

}  // namespace

void CompensateDynamicEvents(TFCSLineArray& Events, const TProtocol& Protocol, const TMatrix& Static, bool HaveStatic,
                             const TDynamicCompensationOptions& Options, Progress* Gauge) {
  const int32_t N = Events.ChannelCount();
  if (N > TProtocol::MaxChannels || Protocol.ChannelCount() != N) throw RangeCheckError();
  if (N <= 4)
    Run<4>(Events, Protocol, Static, HaveStatic, Options, Gauge);
  else if (N <= 8)
    Run<8>(Events, Protocol, Static, HaveStatic, Options, Gauge);
  else
    Run<TProtocol::MaxChannels>(Events, Protocol, Static, HaveStatic, Options, Gauge);
}

}  // namespace qv
