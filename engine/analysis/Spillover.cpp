// Spill-over measured on single-stained standards and mean raw values for the baselines.
#include <cmath>

#include "Errors.h"
#include "dataset/FCSData.h"
#include "FloatStores.h"
#include "NumberFormat.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

// Sums and counts of one (mean, deviation) pair over two passes.
struct TAccumulator {
  Extended Sum = 0;
  Extended Squares = 0;
  int64_t Count = 0;
  float Mean = 0;
};

float LogOf(float Raw) { return Raw > 0 ? static_cast<float>(std::log10(static_cast<double>(Raw))) : 0.0f; }

void FinishMean(TAccumulator& A) {
  if (A.Count > 0) A.Mean = fp::Single(A.Sum / A.Count);
}

TCompensationPair Finish(const TAccumulator& A) {
  TCompensationPair Pair;
  if (A.Count > 0) {
    Pair.Mean = A.Mean;
    Pair.Deviation = fp::Single(fp::Sqrt(A.Squares / A.Count));
  }
  return Pair;
}

}  // namespace

void TFCSData::EstimateSpillover(const TSglArray& Baselines, int32_t Primary, float Low, float High,
                                 float& PrimaryMean, float& PrimaryDev, TCompensationArray& Result) const {
  const int32_t N = Events.ChannelCount();
  if (Primary < 0 || Primary >= N || static_cast<int32_t>(Baselines.size()) < N) throw RangeCheckError();
  std::vector<TAccumulator> Acc(static_cast<size_t>(N));
  const Extended PrimaryBase = Baselines[Primary];

  // An event counts only when its primary stands above the baseline, so the divisor is never
  // zero or negative; with zero baselines that is a positive primary value.
  const auto Used = [&](const TFCSLine& E) {
    if (E.GatedOut()) return false;
    const float P = E.RawValues()[static_cast<size_t>(Primary)];
    return Low <= P && P <= High && Extended(P) - PrimaryBase > 0;
  };
  // Calls Take(channel, value) for every value of the event that enters the estimate.
  const auto Values = [&](const TFCSLine& E, auto Take) {
    const auto Raw = E.RawValues();
    const Extended Divisor = Extended(Raw[static_cast<size_t>(Primary)]) - PrimaryBase;
    for (int32_t c = N - 1; c >= 0; --c) {
      if (c == Primary) {
        Take(c, Extended(LogOf(Raw[static_cast<size_t>(c)])));
        continue;
      }
      const Extended V = 100 * (Extended(Raw[static_cast<size_t>(c)]) - Baselines[c]) / Divisor;
      if (V > 0) Take(c, V);
    }
  };

  for (size_t i = Events.size(); i-- > 0;) {
    const TFCSLine E = Events[i];
    if (!Used(E)) continue;
    Values(E, [&](int32_t c, Extended V) {
      Acc[c].Sum += V;
      ++Acc[c].Count;
    });
  }
  for (TAccumulator& A : Acc) FinishMean(A);
  for (size_t i = Events.size(); i-- > 0;) {
    const TFCSLine E = Events[i];
    if (!Used(E)) continue;
    Values(E, [&](int32_t c, Extended V) { Acc[c].Squares += (V - Acc[c].Mean) * (V - Acc[c].Mean); });
  }
  Result.assign(static_cast<size_t>(N), TCompensationPair());
  for (int32_t c = 0; c < N; ++c) Result[c] = Finish(Acc[c]);
  PrimaryMean = Result[Primary].Mean;
  PrimaryDev = Result[Primary].Deviation;
  Result[Primary] = {100.0f, 0.0f};
}

void TFCSData::EstimateSpilloverMatrix(TCompensationArray& Primaries, TFullCompensationArray& Matrix, float Low,
                                       float High) const {
  const int32_t N = Events.ChannelCount();
  std::vector<std::vector<TAccumulator>> Acc(static_cast<size_t>(N), std::vector<TAccumulator>(static_cast<size_t>(N)));
  // The event's strongest channel is its primary; it must lie in the window and above 0.
  const auto PrimaryOf = [&](const TFCSLine& E) {
    if (E.GatedOut() || N == 0) return -1;
    int32_t P = 0;
    const float Value = E.MaxChannel(P);
    return Low <= Value && Value <= High && Value > 0 ? P : -1;
  };
  const auto Values = [&](const TFCSLine& E, int32_t P, auto Take) {
    const auto Raw = E.RawValues();
    for (int32_t c = N - 1; c >= 0; --c) {
      if (c == P) {
        Take(c, Extended(LogOf(Raw[static_cast<size_t>(c)])));
        continue;
      }
      const Extended V = 100 * Extended(Raw[static_cast<size_t>(c)]) / Raw[static_cast<size_t>(P)];
      if (V > 0) Take(c, V);
    }
  };

  for (size_t i = Events.size(); i-- > 0;) {
    const TFCSLine E = Events[i];
    const int32_t P = PrimaryOf(E);
    if (P < 0) continue;
    Values(E, P, [&](int32_t c, Extended V) {
      Acc[P][c].Sum += V;
      ++Acc[P][c].Count;
    });
  }
  for (auto& Row : Acc)
    for (TAccumulator& A : Row) FinishMean(A);
  for (size_t i = Events.size(); i-- > 0;) {
    const TFCSLine E = Events[i];
    const int32_t P = PrimaryOf(E);
    if (P < 0) continue;
    Values(E, P, [&](int32_t c, Extended V) { Acc[P][c].Squares += (V - Acc[P][c].Mean) * (V - Acc[P][c].Mean); });
  }
  Primaries.assign(static_cast<size_t>(N), TCompensationPair());
  Matrix.assign(static_cast<size_t>(N), TCompensationArray(static_cast<size_t>(N)));
  for (int32_t p = 0; p < N; ++p) {
    for (int32_t c = 0; c < N; ++c) Matrix[p][c] = Finish(Acc[p][c]);
    Primaries[p] = Matrix[p][p];
    Matrix[p][p] = {100.0f, 0.0f};
  }
}

void TFCSData::MeanChannelValues(TSglArray& Means) const {
  const int32_t N = Events.ChannelCount();
  std::vector<Extended> Sums(static_cast<size_t>(N), 0);
  int64_t Count = 0;
  for (size_t i = Events.size(); i-- > 0;) {
    const TFCSLine E = Events[i];
    if (E.GatedOut()) continue;
    const auto Raw = E.RawValues();
    for (int32_t c = 0; c < N; ++c) Sums[c] += Raw[static_cast<size_t>(c)];
    ++Count;
  }
  Means.assign(static_cast<size_t>(N), 0.0f);
  if (Count > 0)
    for (int32_t c = 0; c < N; ++c) Means[c] = fp::Single(Sums[c] / Count);
}

}  // namespace qv
