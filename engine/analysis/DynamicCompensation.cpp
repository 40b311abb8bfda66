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

#if defined(__SSE4_2__)
#include <nmmintrin.h>
#endif

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
  std::vector<double> Means, Deviations;  // of Pairs, for the spills two at a time
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
  for (const TPerturbation& P : S.Pairs) {
    S.Means.push_back(P.Mean);
    S.Deviations.push_back(P.Deviation);
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

// PerturbedSpill of every pair with its deviate, two at a time: the double steps of
// PerturbedSpill side by side, and PerturbedSpill itself for a value it would not take from them.
template <int Cap>
void PerturbedSpills(const TSetup<Cap>& S, const float* Deviates, float* Spills) {
  const size_t Count = S.Pairs.size();
  size_t p = 0;
#if defined(__SSE4_2__)
  const __m128d Hundred = _mm_set1_pd(100.0), Huge = _mm_set1_pd(0x1.0p127), Tiny = _mm_set1_pd(0x1.0p-126);
  const __m128i LowBits = _mm_set1_epi64x((int64_t{1} << 29) - 1), Half = _mm_set1_epi64x(int64_t{1} << 28);
  const __m128i Margin = _mm_set1_epi64x(16), Below = _mm_set1_epi64x(-16);
  for (; p + 2 <= Count; p += 2) {
    const __m128d Deviate = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Deviates + p))));
    const __m128d Value = _mm_div_pd(
        _mm_add_pd(_mm_mul_pd(Deviate, _mm_loadu_pd(S.Deviations.data() + p)), _mm_loadu_pd(S.Means.data() + p)), Hundred);
    const __m128d Magnitude = _mm_andnot_pd(_mm_set1_pd(-0.0), Value);
    const __m128i Off = _mm_sub_epi64(_mm_and_si128(_mm_castpd_si128(Value), LowBits), Half);
    const __m128i Clear = _mm_or_si128(_mm_cmpgt_epi64(Off, Margin), _mm_cmpgt_epi64(Below, Off));
    const __m128d Fine = _mm_and_pd(_mm_and_pd(_mm_cmplt_pd(Magnitude, Huge), _mm_cmpge_pd(Magnitude, Tiny)),
                                    _mm_castsi128_pd(Clear));
    _mm_storel_pi(reinterpret_cast<__m64*>(Spills + p), _mm_cvtpd_ps(Value));
    const int Taken = _mm_movemask_pd(Fine);
    for (int l = 0; l < 2; ++l)
      if (!(Taken & (1 << l)))
        Spills[p + l] = PerturbedSpill(S.Pairs[p + l].Mean, Deviates[p + l], S.Pairs[p + l].Deviation);
  }
#endif
  for (; p < Count; ++p) Spills[p] = PerturbedSpill(S.Pairs[p].Mean, Deviates[p], S.Pairs[p].Deviation);
}

// TProtocol::CompensateDynamic on stack matrices, drawing each deviate from NextDeviate. Deviates
// that come from draws already made (no generator moves) are taken a trial at a time, so the
// spills can be found side by side; others are drawn one per spill, so that a spill that fails
// leaves the generator where the protocol's trials leave it.
template <int Cap, class Deviates>
void Trials(const TSetup<Cap>& S, std::span<const float> Raw, float* Comp, Deviates& NextDeviate) {
  const int32_t N = S.N;
  float Best = 2147483648.0f;
  TSmallMatrix<Cap> Spill(N, N), Inverse;
  float Product[Cap];
  float Drawn[Cap * Cap], Spills[Cap * Cap];
  const size_t NP = S.Pairs.size();
  for (int32_t t = 0; t < S.Options.Tries; ++t) {
    for (int32_t i = 0; i < N; ++i) std::fill_n(Spill[i], N, 0.0f);
    if constexpr (requires { Deviates::DrawnAhead; }) {
      for (size_t p = 0; p < NP; ++p) Drawn[p] = NextDeviate();
      PerturbedSpills(S, Drawn, Spills);
      for (size_t p = 0; p < NP; ++p) Spill[S.Pairs[p].Row][S.Pairs[p].Col] = Spills[p];
    } else {
      for (const TPerturbation& P : S.Pairs) Spill[P.Row][P.Col] = PerturbedSpill(P.Mean, NextDeviate(), P.Deviation);
    }
    if (!InvertSmall(Spill, Inverse, S.Options.SmallQuadrants, S.Options.AlternateInversion)) continue;
    bool AllZero = true;
    for (int32_t i = 0; i < N; ++i)
      for (int32_t j = 0; j < N; ++j) AllZero = AllZero && Inverse[i][j] == 0;
    if (AllZero) continue;
    // Four channels: the rows side by side while every step is ordinary.
    bool Stored = N == 4 && small_matrix::ColumnProductOrdinary4(Inverse, Raw.data(), Product);
    if (!Stored) {
      Stored = true;
      for (int32_t i = 0; i < N && Stored; ++i) {
        float Sum = 0.0f;
        for (int32_t k = N - 1; k >= 0 && Stored; --k)
          Stored = small_matrix::StoreProductSum(Inverse[i][k], Raw[k], Sum, Sum);
        Product[i] = Sum;
      }
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

// Where a run of deviates stands: k deviates into the stage, whose first Lead (0 or 1) came from
// the Gaussian cache and the rest from pairs, two each.
struct TDeviatePosition {
  int64_t FirstPair;  // the pair of the next deviate
  bool SecondHalf;    // the next deviate is the second of that pair
  bool FromCache;     // the next deviate is the cached one
};
TDeviatePosition PositionOf(int64_t k, int64_t Lead) {
  if (k < Lead) return {0, false, true};
  return {(k - Lead) / 2, (k - Lead) % 2 != 0, false};
}

// The deviates of one block: the cached one or the second half of a pair first where the block
// starts there, then the pairs of its spans.
class TBlockDeviates {
 public:
  // The deviates were drawn before the block's trials start.
  static constexpr bool DrawnAhead = true;
  struct TSpan {
    const float* Pairs;  // U and V of each
    int64_t Count;
  };
  TBlockDeviates(const std::vector<TSpan>& Spans, TGaussCache Lead, bool SecondHalf) : FSpans(Spans), FLead(Lead) {
    if (SecondHalf) {
      Load();
      FSecond = true;
    }
  }
  float operator()() {
    if (FLead.Full) {
      FLead.Full = false;
      return FLead.Value;
    }
    if (!FSecond) {
      Load();
      FSecond = true;
      return GaussDeviate(FU, FFactor);
    }
    FSecond = false;
    return GaussDeviate(FV, FFactor);
  }

 private:
  void Load() {
    while (FAt == FSpans[FSpan].Count) {
      ++FSpan;
      FAt = 0;
    }
    FU = FSpans[FSpan].Pairs[2 * FAt];
    FV = FSpans[FSpan].Pairs[2 * FAt + 1];
    ++FAt;
    FFactor = GaussFactor(GaussSquareSum(FU, FV));
  }
  const std::vector<TSpan>& FSpans;
  TGaussCache FLead;
  size_t FSpan = 0;
  int64_t FAt = 0;
  bool FSecond = false;
  float FU = 0, FV = 0, FFactor = 0;
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

// The uniforms of raw draws of the generator, in order, then the accepted pairs among them.
struct TSegment {
  enum TState { Drawn, Accepting, Counted };
  TState State = Drawn;
  std::mt19937_64 Start;  // the generator before the segment's first draw
  std::vector<float> Uniforms;
  int64_t Pairs = 0;      // accepted pairs, once counted
  int64_t FirstPair = 0;  // pairs of the segments before it, once every one of them is counted
};

struct TBlock {
  enum TState { Empty, Computing, Computed };
  TState State = Empty;
  int64_t Index = -1;
  bool Failed = false;
  // Where the sequential code would find the generator and the cache at the block's first trial.
  std::mt19937_64 Generator;
  TGaussCache Cache;
  std::vector<float> Results;  // channel values of each event of the block
};

// The stage on several threads. Drawing raw numbers from the generator is the one step that
// cannot be shared, so one thread does only that (and turns each draw into its uniform), segment
// after segment, from a copy of the generator. Workers turn each segment into the pairs of the polar method (which needs no order:
// a pair always takes two draws), count them, and compute blocks of events once the pairs a block
// uses are counted; the calling thread commits blocks in event order.
template <int Cap>
void RunThreaded(TFCSLineArray& Events, const TSetup<Cap>& S, int64_t BlockEvents, int32_t Workers,
                 Progress* Gauge) {
  const int64_t SegmentDraws = S.Options.SegmentDraws > 0 ? (S.Options.SegmentDraws + 1) / 2 * 2 : 16384;
  const int64_t Count = static_cast<int64_t>(Events.size());
  const int64_t Blocks = (Count + BlockEvents - 1) / BlockEvents;
  const int64_t PerEvent = static_cast<int64_t>(S.Options.Tries) * static_cast<int64_t>(S.Pairs.size());
  const std::mt19937_64 StartGenerator = RandomGenerator();
  const TGaussCache StartCache = GaussCacheState();
  const int64_t Lead = StartCache.Full ? 1 : 0;
  // A block's deviates and the pairs that hold them: [FirstPair, EndPair).
  auto DeviatesOf = [&](int64_t b) { return std::min(b * BlockEvents, Count) * PerEvent; };
  auto FirstPairOf = [&](int64_t b) { return PositionOf(DeviatesOf(b), Lead).FirstPair; };
  auto EndPairOf = [&](int64_t b) {
    const int64_t End = DeviatesOf(b + 1);
    return End > Lead ? (End - 1 - Lead) / 2 + 1 : 0;
  };
  auto EventsOf = [&](int64_t b) { return std::min(BlockEvents, Count - b * BlockEvents); };

  // Enough segments for every worker's block and a few more drawn ahead (a deviate takes 4 / pi
  // draws on average); enough blocks in flight that a worker rarely waits for a commit.
  const int64_t SegmentsPerBlock = DeviatesOf(1) * 4 / 3 / SegmentDraws + 2;
  std::vector<TSegment> Segments(static_cast<size_t>((Workers + 3) * SegmentsPerBlock + 4));
  std::vector<TBlock> Ring(static_cast<size_t>(4 * Workers + 4));
  auto SegmentOf = [&](int64_t s) -> TSegment& { return Segments[static_cast<size_t>(s) % Segments.size()]; };
  auto SlotOf = [&](int64_t b) -> TBlock& { return Ring[static_cast<size_t>(b) % Ring.size()]; };

  std::mutex Lock;
  // The drawing thread waits for a free segment, the workers for work, the calling thread for
  // computed blocks.
  std::condition_variable SegmentFreed, WorkAdded, BlockComputed;
  bool Stop = false;
  int64_t Drawn = 0;       // segments drawn
  int64_t NextToAccept = 0;
  int64_t Counted = 0;     // segments counted with every one before them
  int64_t KnownPairs = 0;  // the pairs of those
  int64_t Released = 0;    // segments whose slots may be drawn again
  int64_t NextBlock = 0;
  int64_t LowestOpen = 0;  // the first block not computed
  std::vector<char> Done(static_cast<size_t>(Blocks), 0);
  std::mt19937_64 FinalGenerator;
  TGaussCache FinalCache;

  // All under Lock.
  auto BlockReady = [&] {
    return NextBlock < Blocks && EndPairOf(NextBlock) <= KnownPairs && SlotOf(NextBlock).State == TBlock::Empty;
  };
  auto WorkLeft = [&] { return NextToAccept < Drawn || BlockReady(); };
  // A segment stays while an open block may use its pairs or needs the pair before its first
  // (the generator state at a block's start is that after the pair before).
  auto Release = [&] {
    const int64_t Old = Released;
    const int64_t Needed = LowestOpen < Blocks ? FirstPairOf(LowestOpen) : INT64_MAX;
    while (Released < Counted && SegmentOf(Released).FirstPair + SegmentOf(Released).Pairs + 1 <= Needed) ++Released;
    return Released != Old;
  };
  // The generator after the first m pairs, from the start of the segment of pair m - 1.
  auto AfterPairs = [&](int64_t m) {
    if (m == 0) return StartGenerator;
    int64_t s = Released;
    while (SegmentOf(s).FirstPair + SegmentOf(s).Pairs < m) ++s;
    std::mt19937_64 Generator = SegmentOf(s).Start;
    for (int64_t k = SegmentOf(s).FirstPair; k < m; ++k) DrawGaussPair(Generator);
    return Generator;
  };
  auto PairAt = [&](int64_t j) {
    int64_t s = Released;
    while (SegmentOf(s).FirstPair + SegmentOf(s).Pairs <= j) ++s;
    return SegmentOf(s).Uniforms.data() + 2 * (j - SegmentOf(s).FirstPair);
  };
  // Where the sequential code has the generator and the cache after k deviates.
  auto StateAt = [&](int64_t k, std::mt19937_64& Generator, TGaussCache& Cache) {
    const TDeviatePosition P = PositionOf(k, Lead);
    if (P.FromCache) {
      Generator = StartGenerator;
      Cache = StartCache;
    } else if (!P.SecondHalf) {
      Generator = AfterPairs(P.FirstPair);
      Cache = {};
    } else {
      Generator = AfterPairs(P.FirstPair + 1);
      const float* UV = PairAt(P.FirstPair);
      Cache = {true, GaussDeviate(UV[1], GaussFactor(GaussSquareSum(UV[0], UV[1])))};
    }
  };

  auto Drawer = [&] {
    std::mt19937_64 Generator = StartGenerator;
    for (int64_t s = 0;; ++s) {
      TSegment& Segment = SegmentOf(s);
      {
        std::unique_lock<std::mutex> Guard(Lock);
        SegmentFreed.wait(Guard, [&] {
          return Stop || NextBlock >= Blocks || s < Released + static_cast<int64_t>(Segments.size());
        });
        if (Stop || NextBlock >= Blocks) return;
      }
      Segment.Start = Generator;
      Segment.Uniforms.resize(SegmentDraws);
      for (float& U : Segment.Uniforms) U = GaussUniform(Generator());
      {
        std::lock_guard<std::mutex> Guard(Lock);
        Segment.State = TSegment::Drawn;
        Drawn = s + 1;
      }
      WorkAdded.notify_one();
    }
  };

  auto Accept = [&](int64_t s) {
    TSegment& Segment = SegmentOf(s);
    const int64_t Pairs = AcceptGaussPairs(Segment.Uniforms.data(), SegmentDraws);
    bool Freed;
    {
      std::lock_guard<std::mutex> Guard(Lock);
      Segment.Pairs = Pairs;
      Segment.State = TSegment::Counted;
      while (Counted < Drawn && SegmentOf(Counted).State == TSegment::Counted) {
        SegmentOf(Counted).FirstPair = KnownPairs;
        KnownPairs += SegmentOf(Counted).Pairs;
        ++Counted;
      }
      Freed = Release();
    }
    if (Freed) SegmentFreed.notify_one();
  };

  auto Compute = [&](int64_t b, std::vector<TBlockDeviates::TSpan>& Spans) {
    TBlock& Slot = SlotOf(b);
    const TDeviatePosition First = PositionOf(DeviatesOf(b), Lead);
    Slot.Failed = false;
    try {
      const int64_t n = EventsOf(b);
      Slot.Results.resize(static_cast<size_t>(n * S.N));
      TBlockDeviates Next(Spans, First.FromCache ? StartCache : TGaussCache{}, First.SecondHalf);
      for (int64_t k = 0; k < n; ++k) {
        const TFCSLine E = Events[static_cast<size_t>(Count - 1 - (b * BlockEvents + k))];
        float* Comp = Slot.Results.data() + k * S.N;
        StartValues(S, E, Comp);
        Trials(S, E.RawValues(), Comp, Next);
      }
    } catch (...) {
      Slot.Failed = true;
    }
    bool Freed;
    {
      std::lock_guard<std::mutex> Guard(Lock);
      // The segments these need stay until the block is marked computed.
      if (Slot.Failed) StateAt(DeviatesOf(b), Slot.Generator, Slot.Cache);
      if (b == Blocks - 1) StateAt(DeviatesOf(Blocks), FinalGenerator, FinalCache);
      Slot.State = TBlock::Computed;
      Done[static_cast<size_t>(b)] = 1;
      while (LowestOpen < Blocks && Done[static_cast<size_t>(LowestOpen)]) ++LowestOpen;
      Freed = Release();
    }
    if (Freed) SegmentFreed.notify_one();
    BlockComputed.notify_one();
  };

  auto Worker = [&] {
    LowerThreadPriority();
    std::vector<TBlockDeviates::TSpan> Spans;
    for (;;) {
      int64_t Segment = -1, Block = -1;
      {
        std::unique_lock<std::mutex> Guard(Lock);
        WorkAdded.wait(Guard, [&] { return Stop || NextBlock >= Blocks || WorkLeft(); });
        if (Stop || NextBlock >= Blocks) return;
        if (NextToAccept < Drawn) {
          Segment = NextToAccept++;
          SegmentOf(Segment).State = TSegment::Accepting;
        } else {
          Block = NextBlock++;
          SlotOf(Block).State = TBlock::Computing;
          SlotOf(Block).Index = Block;
          const int64_t From = FirstPairOf(Block), To = EndPairOf(Block);
          Spans.clear();
          for (int64_t s = Released; s < Counted && From < To; ++s) {
            const TSegment& G = SegmentOf(s);
            const int64_t Lo = std::max(From, G.FirstPair), Hi = std::min(To, G.FirstPair + G.Pairs);
            if (Lo < Hi) Spans.push_back({G.Uniforms.data() + 2 * (Lo - G.FirstPair), Hi - Lo});
          }
        }
        if (WorkLeft()) WorkAdded.notify_one();
      }
      if (Segment >= 0) {
        Accept(Segment);
        WorkAdded.notify_one();  // a block may be ready now
      } else {
        Compute(Block, Spans);
      }
    }
  };

  std::vector<std::thread> Threads;
  auto StopAll = [&] {
    {
      std::lock_guard<std::mutex> Guard(Lock);
      Stop = true;
    }
    SegmentFreed.notify_all();
    WorkAdded.notify_all();
    BlockComputed.notify_all();
    for (std::thread& T : Threads) T.join();
    Threads.clear();
  };
  struct TJoin {
    decltype(StopAll)& Fn;
    ~TJoin() { Fn(); }
  } Join{StopAll};
  try {
    Threads.emplace_back(Drawer);
    for (int32_t w = 0; w < Workers; ++w) Threads.emplace_back(Worker);
  } catch (const std::system_error&) {
    // No threads to be had: the whole stage on this one.
    StopAll();
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
    WorkAdded.notify_one();
  }
  StopAll();
  RandomGenerator() = FinalGenerator;
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
  if (Options.Threads <= 1 || Count <= BlockEvents || static_cast<int64_t>(Options.Tries) * static_cast<int64_t>(S.Pairs.size()) == 0)
    RunSequential(Events, S, 0, Gauge);
  else
    RunThreaded(Events, S, BlockEvents, Options.Threads - 1, Gauge);
}

}  // namespace

float PerturbedSpill(float Mean, float Deviate, float Deviation) {
  // The product is exact in double as in Extended; the sum and the quotient put the double within
  // 2^-51 of the exact value, the extended one within 2^-62, so 16 units from a float midpoint
  // leave room for both. The top binade of floats goes the extended way, which checks overflow.
  const double Value = (static_cast<double>(Deviate) * Deviation + Mean) / 100.0;
  if (std::fabs(Value) < 0x1p127 && !fp::NearFloatMidpoint(Value, 16)) return static_cast<float>(Value);
  Extended M = Mean;
  M = M + static_cast<Extended>(Deviate) * Deviation;
  return fp::Single(M / 100.0L);
}

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
