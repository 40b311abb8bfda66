// Classification of a data set's events: the threshold class from the channels that are called,
// and the relaxed and rigorous Z classes from the genotype set.
#include "analysis/Classification.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ClassPatterns.h"
#include "Errors.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"
#include "TextUtils.h"
#include "Threads.h"

namespace qv {

namespace {

// Events classified per piece of work on a thread, and per run between two moves of the gauge.
constexpr size_t ClassifyGrain = 16384;
constexpr size_t GaugeRun = 65536;

// The gauge over the events classified so far; moved and pumped by the calling thread only.
class TClassifyGauge {
 public:
  TClassifyGauge(Progress* Gauge, size_t Total) : FGauge(Gauge) {
    if (FGauge) FGauge->SetMax(static_cast<int64_t>(std::max<size_t>(Total, 1)));
  }
  void Done(size_t Events) {
    if (!FGauge) return;
    FDone += Events;
    FGauge->SetPosition(static_cast<int64_t>(FDone));
    FGauge->Pump();
  }
  // Events per run between two moves: all of them without a gauge.
  size_t Run(size_t Total) const { return FGauge ? GaugeRun : std::max<size_t>(Total, 1); }

 private:
  Progress* FGauge;
  size_t FDone = 0;
};

}  // namespace

TClassifyOptions TClassifyOptions::FromSettings() {
  TClassifyOptions Options;
  Options.Likelihood = TLikelihoodOptions::FromSettings();
  return Options;
}

void TFCSData::Classify(TProtocol& Protocol, Progress* Gauge) {
  ClassifyEvents(Events, ShortLines, Protocol, TClassifyOptions::FromSettings(), Gauge);
}

void ClassifyEvents(TFCSLineArray& Events, TFCSShortLineArray& ShortLines, TProtocol& Protocol,
                    const TClassifyOptions& Options, Progress* Gauge) {
  PumpMessages(Gauge);
  BusyCursor Busy;
  const bool ZScoring = Protocol.GenotypeCount() > 0;
  TGenotypeSet& Genotypes = *Protocol.Genotypes;
  Genotypes.PrepareAll();
  if (!ShortLines.empty()) {
    float MaxZ = 0, SecondZ = 0;
    if (!ZScoring) return;
    TClassifyGauge Moves(Gauge, ShortLines.size());
    for (size_t i = ShortLines.size(); i-- > 0;) {
      TFCSShortLine E = ShortLines[i];
      TSglArray Logs(E.LogCompValues().begin(), E.LogCompValues().end());
      Genotypes.Classify(Logs, E.Classes(), MaxZ, SecondZ, Options.Likelihood);
      if (i % GaugeRun == 0) Moves.Done(std::min(GaugeRun, ShortLines.size() - i));
    }
    return;
  }
  const int32_t N = Protocol.ChannelCount();
  // Pattern position by the bits of its "Y" letters (bit c for channel c): the list is built
  // once, and each event looks its pattern up by the bits it sets.
  std::vector<int32_t> Position(size_t{1} << N, -1);
  const TStringArray Patterns = SplitLines(YNPatternList(N, 2));
  for (size_t i = 0; i < Patterns.size(); ++i) {
    size_t Bits = 0;
    for (int32_t c = 0; c < N && c < static_cast<int32_t>(Patterns[i].size()); ++c)
      if (Patterns[i][c] == 'Y') Bits |= size_t{1} << c;
    Position[Bits] = static_cast<int32_t>(i);
  }
  TSglArray Minimum(N), Maximum(N);
  for (int32_t c = 0; c < N; ++c) {
    Minimum[c] = Protocol.GetChannel(c)->Minimum_Value_Threshold;
    Maximum[c] = Protocol.GetChannel(c)->Maximum_Value_Threshold;
  }
  // One event's classes, mask and called flags under the genotype set Set.
  const auto ClassifyOne = [&](TGenotypeSet& Set, size_t i, std::string& Mask, TSglArray& Logs) {
    TFCSLine E = Events[i];
    if (ZScoring) {
      float MaxZ = 0, SecondZ = 0;
      const auto L = E.LogCompValues();
      Logs.assign(L.begin(), L.end());
      Set.Classify(Logs, E.Classes(), MaxZ, SecondZ, Options.Likelihood);
      E.SetMaxZ(MaxZ);
      E.SetSecondZ(SecondZ);
    }
    if (!E.HasCompValues()) E.SizeCompensated();
    const auto Comp = E.CompValues();
    auto Called = E.Called();
    const int32_t Count = static_cast<int32_t>(Called.size());
    Mask.assign(static_cast<size_t>(Count), 'N');
    size_t Bits = 0;
    for (int32_t c = Count - 1; c >= 0; --c) {
      const bool Yes = !E.GatedOut() && c < N && Minimum[c] < Comp[c] && Comp[c] < Maximum[c];
      Called[c] = Yes ? 1 : 0;
      if (Yes) {
        Mask[c] = 'Y';
        Bits |= size_t{1} << c;
      }
    }
    E.SetMask(Mask);
    // A mask longer than the protocol's channels is no pattern of the list.
    const int32_t Class = Count == N ? Position[Bits] : -1;
    if (Class > INT16_MAX) throw RangeCheckError();
    E.Classes()[0] = static_cast<int16_t>(Class);
  };
  // Each event is classified on its own; the genotype set keeps what it found for the event
  // classified last (event 0), so the events above it are classified side by side, each thread
  // with its own copy of the set, and event 0 with the set itself. No event can fail: a set of
  // fewer genotypes than classes can number and pattern positions below 2^15 give no range error.
  // The gauge moves after each run of events, from the last event down. Storage made here for
  // scores, flags and masks is zeroed a run at a time, just before the run writes it, and below
  // a run that fails, so every event reads as it would have had it been zeroed at once.
  const size_t Total = Events.size();
  const TFCSLineArray::TFresh Fresh = Events.PrepareForClassification(ZScoring);
  const int32_t Threads = Genotypes.Count() < INT16_MAX ? ThreadCount() : 1;
  TClassifyGauge Moves(Gauge, Total);
  const size_t Run = Moves.Run(Total);
  std::string Mask;
  TSglArray Logs;
  const bool Parallel = Threads > 1 && Total > ClassifyGrain;
  // Events Bottom .. Top - 1, from the last.
  const auto ClassifyRun = [&](size_t Bottom, size_t Top) {
    Events.ZeroFresh(Fresh, Bottom, Top);
    try {
      if (!Parallel) {
        for (size_t i = Top; i-- > Bottom;) ClassifyOne(Genotypes, i, Mask, Logs);
        return;
      }
      ParallelFor(Top - Bottom, ClassifyGrain, Threads, [&](size_t Begin, size_t End) {
        TGenotypeSet Copy(Genotypes.Owner);
        for (const auto& G : Genotypes.Items) {
          Copy.Items.push_back(std::make_unique<TGenotype>(*G));
          Copy.Items.back()->Owner = &Copy;
        }
        Copy.Likelihoods = Genotypes.Likelihoods;
        std::string LocalMask;
        TSglArray LocalLogs;
        for (size_t i = Bottom + End; i-- > Bottom + Begin;) ClassifyOne(Copy, i, LocalMask, LocalLogs);
      });
    } catch (...) {
      Events.ZeroFresh(Fresh, 0, Bottom);
      throw;
    }
  };
  // Side by side, event 0 is left for the set itself (see above).
  const size_t Last = Parallel ? 1 : 0;
  for (size_t Top = Total; Top > Last;) {
    const size_t Bottom = Top - Last > Run ? Top - Run : Last;
    ClassifyRun(Bottom, Top);
    Moves.Done(Top - Bottom);
    Top = Bottom;
  }
  if (Parallel) {
    Events.ZeroFresh(Fresh, 0, 1);
    ClassifyOne(Genotypes, 0, Mask, Logs);
    Moves.Done(1);
  }
}

}  // namespace qv
