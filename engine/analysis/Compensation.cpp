#include "analysis/Compensation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <span>
#include <vector>

#include "analysis/DynamicCompensation.h"
#include "analysis/StaticProduct.h"
#include "Errors.h"
#include "FloatLogs.h"
#include "dataset/FCSData.h"
#include "FloatStores.h"
#include "Globals.h"
#include "LinearAlgebra.h"
#include "protocol/Protocol.h"
#include "Threads.h"

namespace qv {

namespace {

void MoveGauge(Progress& Gauge, int64_t Position) {
  try {
    Gauge.SetPosition(Position);
    Gauge.Pump();
  } catch (...) {
  }
}

// Events compensated per piece of work on a thread, per run between two moves of the gauge, and
// per batch of logarithms.
constexpr size_t CompensationGrain = 16384;
constexpr size_t GaugeRun = 65536;
constexpr size_t LogBatch = 256;

// The loop below on several threads: the events are independent of each other, and the fast
// product and logarithms give the same floats. Only where no step of any product can overflow (so
// nothing can throw half way, leaving some events compensated and others not as the loop from
// the last event down would); answers false, having changed nothing, elsewhere.
bool CompensateStaticInParallel(TFCSLineArray& Events, const TMatrix& Static, int32_t Mode, float Floor,
                                int32_t Threads, Progress* Gauge) {
  const size_t Count = Events.size(), N = static_cast<size_t>(Events.ChannelCount());
  const size_t RawOffset = Events.RawOffset();
  const TStaticProduct Product(Static);
  // The largest |raw| of each channel bounds every step of every product; the events carry it
  // when they were built from a file.
  std::vector<double> RawBound(N, 0.0);
  if (Events.RawBoundKnown()) {
    const auto Known = Events.RawBound();
    for (size_t c = 0; c < N; ++c) RawBound[c] = Known[c];
  } else {
    std::mutex BoundMutex;
    ParallelFor(Count, 4 * CompensationGrain, Threads, [&](size_t Begin, size_t End) {
      std::array<float, TProtocol::MaxChannels> Largest{};
      bool Finite = true;
      for (size_t i = Begin; i < End; ++i) {
        const float* Raw = Events.ValueRow(i) + RawOffset;
        for (size_t c = 0; c < N; ++c) {
          Largest[c] = std::max(Largest[c], std::fabs(Raw[c]));
          Finite = Finite && std::isfinite(Raw[c]);
        }
      }
      std::lock_guard Lock(BoundMutex);
      for (size_t c = 0; c < N; ++c)
        RawBound[c] = Finite ? std::max(RawBound[c], static_cast<double>(Largest[c])) : INFINITY;
    });
  }
  if (!(Product.StepBound(RawBound) < 0x1p126)) return false;

  const auto Compensate = [&](size_t Begin, size_t End) {
    std::vector<float> Values(LogBatch * N), In(LogBatch * N), Out(LogBatch * N);
    for (size_t Start = Begin; Start < End; Start += LogBatch) {
      const size_t Stop = std::min(End, Start + LogBatch);
      // The products of the events that take the static matrix, four at a time.
      const float* Raws[TStaticProduct::Batch];
      float* Products[TStaticProduct::Batch];
      size_t Waiting = 0;
      const auto Multiply = [&] {
        const uint32_t Hard = Product.Compute(Raws, Products, Waiting);
        for (size_t b = 0; b < Waiting; ++b)
          if (Hard & (1u << b))
            MultiplyStatic(Static, std::span<const float>(Raws[b], N), std::span<float>(Products[b], N));
        Waiting = 0;
      };
      for (size_t i = Start; i < Stop; ++i) {
        if (Mode != 0 && Events[i].HasCompValues()) continue;
        Raws[Waiting] = Events.ValueRow(i) + RawOffset;
        Products[Waiting] = Values.data() + (i - Start) * N;
        if (++Waiting == TStaticProduct::Batch) Multiply();
      }
      if (Waiting) Multiply();
      for (size_t i = Start; i < Stop; ++i) {
        TFCSLine E = Events[i];
        const bool UseStatic = Mode == 0 || !E.HasCompValues();
        const float* Raw = Events.ValueRow(i) + RawOffset;
        E.SizeCompensated();
        auto Comp = E.CompValues();
        if (UseStatic) std::copy_n(Values.begin() + static_cast<std::ptrdiff_t>((i - Start) * N), N, Comp.begin());
        for (size_t c = 0; c < N; ++c)
          if (Raw[c] < Floor) Comp[c] = 1.0f;
        std::copy_n(Comp.begin(), N, In.begin() + static_cast<std::ptrdiff_t>((i - Start) * N));
      }
      Log10Above(In.data(), Out.data(), (Stop - Start) * N, 1.0f);
      for (size_t i = Start; i < Stop; ++i)
        std::copy_n(Out.begin() + static_cast<std::ptrdiff_t>((i - Start) * N), N, Events[i].LogCompValues().begin());
    }
  };
  const size_t Run = Gauge ? GaugeRun : Count;
  for (size_t Top = Count; Top > 0;) {
    const size_t Bottom = Top > Run ? Top - Run : 0;
    ParallelFor(Top - Bottom, CompensationGrain, Threads,
                [&](size_t Begin, size_t End) { Compensate(Bottom + Begin, Bottom + End); });
    if (Gauge)
      for (size_t i = Top; i-- > Bottom;)
        if (i % 100 == 0) MoveGauge(*Gauge, static_cast<int64_t>(Count - 1 - i));
    Top = Bottom;
  }
  return true;
}

bool IsSquare(const TMatrix& M, size_t N) {
  if (M.size() != N) return false;
  for (const auto& Row : M)
    if (Row.size() != N) return false;
  return true;
}

// Rebuilds the protocol's static matrix when dynamic compensation is done, so that what is
// shown of the matrix is not the last random perturbation.
class TStaticMatrixRestore {
 public:
  TStaticMatrixRestore(TProtocol& Protocol, bool Active) : FProtocol(Protocol), FActive(Active) {}
  ~TStaticMatrixRestore() {
    if (!FActive) return;
    try {
      FProtocol.BuildCompensationMatrix(false);
    } catch (...) {
    }
  }

 private:
  TProtocol& FProtocol;
  bool FActive;
};

}  // namespace

TCompensationOptions TCompensationOptions::FromSettings(int32_t Mode) {
  TCompensationOptions Options;
  Options.Mode = Mode;
  Options.DynamicTries = DynamicCompensationN;
  Options.MinimumRawScore = qv::MinimumRawScore;
  Options.Threads = ThreadCount();
  Options.SmallQuadrants = MxSmallQuadrants;
  Options.AlternateInversion = MxAlternateInversion;
  return Options;
}

void TFCSData::Compensate(TProtocol& Protocol, Progress* Gauge, int32_t Mode) {
  ProtocolName = Protocol.FileName;
  CompensateEvents(Events, Protocol, TCompensationOptions::FromSettings(Mode), Gauge);
}

void CompensateEvents(TFCSLineArray& Events, TProtocol& Protocol, const TCompensationOptions& Options,
                      Progress* Gauge) {
  PumpMessages(Gauge);
  BusyCursor Busy;
  const int32_t Mode = Options.Mode;
  const int64_t Count = static_cast<int64_t>(Events.size());
  if (Gauge) {
    try {
      Gauge->SetMax(Count > 0 ? Count - 1 : 1);
    } catch (...) {
    }
  }
  const size_t N = static_cast<size_t>(Events.ChannelCount());
  const bool Built = Protocol.BuildCompensationMatrix(false);
  // Without channels there is nothing to multiply.
  const bool HaveStatic = N == 0 || (Built && IsSquare(Protocol.CompensationMatrix, N));
  if (Count == 0) return;
  if (static_cast<size_t>(Protocol.ChannelCount()) != N) throw RangeCheckError();

  // What reads the compensated values in place keeps them before they change.
  Events.ValuesChanging(true);
  const int32_t Tries = Options.DynamicTries;
  const bool Dynamic = Mode == 2 && Tries > 0;
  TStaticMatrixRestore Restore(Protocol, Dynamic);
  // Copies of the static matrix: the dynamic trials overwrite the protocol's own.
  const TMatrix Static = HaveStatic ? Protocol.CompensationMatrix : TMatrix();
  if (N > TProtocol::MaxChannels) throw RangeCheckError();
  if (Dynamic) {
    TDynamicCompensationOptions Trials;
    Trials.Tries = Tries;
    Trials.Threads = Options.Threads;
    Trials.SmallQuadrants = Options.SmallQuadrants;
    Trials.AlternateInversion = Options.AlternateInversion;
    Trials.Floor = Options.MinimumRawScore;
    CompensateDynamicEvents(Events, Protocol, Static, HaveStatic, Trials, Gauge);
    return;
  }
  const float Floor = Options.MinimumRawScore;
  if (HaveStatic && N > 0 && CompensateStaticInParallel(Events, Static, Mode, Floor, Options.Threads, Gauge)) return;

  std::array<float, TProtocol::MaxChannels> Product{};
  for (int64_t i = Count - 1; i >= 0; --i) {
    if (i % 100 == 0 && Gauge) MoveGauge(*Gauge, (Count - 1) - i);
    TFCSLine E = Events[static_cast<size_t>(i)];
    // Events that hold no compensated values yet get the static product whatever the mode, so
    // that every event leaves with values, logs and called flags of the channel count.
    const bool UseStatic = Mode == 0 || !E.HasCompValues();
    if (UseStatic) {
      if (!HaveStatic)
        throw EArithmetic("The compensation matrix cannot be built: the spill-over matrix of the channels cannot be inverted");
      MultiplyStatic(Static, E.RawValues(), std::span<float>(Product.data(), N));
    }
    E.SizeCompensated();
    if (UseStatic) std::copy_n(Product.begin(), N, E.CompValues().begin());
    const auto RawValues = E.RawValues();
    auto Comp = E.CompValues();
    auto LogComp = E.LogCompValues();
    for (size_t c = N; c-- > 0;)
      if (RawValues[c] < Floor) Comp[c] = 1.0f;
    for (size_t c = N; c-- > 0;) LogComp[c] = Log10AboveReference(Comp[c], 1.0f);
  }
}

}  // namespace qv
