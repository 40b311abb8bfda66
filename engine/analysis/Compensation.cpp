#include "analysis/Compensation.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "analysis/DynamicCompensation.h"
#include "Errors.h"
#include "dataset/FCSData.h"
#include "FloatStores.h"
#include "Globals.h"
#include "LinearAlgebra.h"
#include "protocol/Protocol.h"
#include "Threads.h"

namespace qv {

namespace {

// Compensated = Matrix x Raw, element for element as MultiplyMatrix computes it (each sum from
// the last term to the first, rounded to 32 bits at every step), without a matrix per event.
void MultiplyStatic(const TMatrix& Matrix, std::span<const float> Raw, std::span<float> Compensated) {
  const int32_t N = static_cast<int32_t>(Raw.size());
  for (int32_t i = 0; i < N; ++i) {
    const float* Row = Matrix[static_cast<size_t>(i)].data();
    float Sum = 0.0f;
    for (int32_t k = N - 1; k >= 0; --k) Sum = fp::Single(static_cast<Extended>(Row[k]) * Raw[k] + Sum);
    Compensated[i] = Sum;
  }
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
  std::array<float, TProtocol::MaxChannels> Product{};
  const float Floor = Options.MinimumRawScore;

  for (int64_t i = Count - 1; i >= 0; --i) {
    if (i % 100 == 0 && Gauge) {
      try {
        Gauge->SetPosition((Count - 1) - i);
        Gauge->Pump();
      } catch (...) {
      }
    }
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
    for (size_t c = N; c-- > 0;)
      LogComp[c] = Comp[c] > 1.0f ? static_cast<float>(std::log10(static_cast<double>(Comp[c]))) : 0.0f;
  }
}

}  // namespace qv
