// Classification of a data set's events: the threshold class from the channels that are called,
// and the relaxed and rigorous Z classes from the genotype set.
#include <unordered_map>

#include "ClassPatterns.h"
#include "Errors.h"
#include "FCSData.h"
#include "Protocol.h"
#include "TextUtils.h"

namespace qv {

void TFCSData::Classify(TProtocol& Protocol) {
  BusyCursor Busy;
  const bool ZScoring = Protocol.GenotypeCount() > 0;
  TGenotypeSet& Genotypes = *Protocol.Genotypes;
  Genotypes.PrepareAll();
  float MaxZ = 0, SecondZ = 0;
  if (!ShortLines.empty()) {
    if (!ZScoring) return;
    for (size_t i = ShortLines.size(); i-- > 0;) {
      TFCSShortLine E = ShortLines[i];
      TSglArray Logs(E.LogCompValues().begin(), E.LogCompValues().end());
      Genotypes.Classify(Logs, E.Classes(), MaxZ, SecondZ);
    }
    return;
  }
  const int32_t N = Protocol.ChannelCount();
  // Pattern position by text: the list is built once, looked up per event.
  std::unordered_map<std::string, int32_t> Position;
  const TStringArray Patterns = SplitLines(YNPatternList(N, 2));
  for (size_t i = 0; i < Patterns.size(); ++i) Position.emplace(Patterns[i], static_cast<int32_t>(i));
  TSglArray Minimum(N), Maximum(N);
  for (int32_t c = 0; c < N; ++c) {
    Minimum[c] = Protocol.GetChannel(c)->Minimum_Value_Threshold;
    Maximum[c] = Protocol.GetChannel(c)->Maximum_Value_Threshold;
  }
  std::string Mask;
  TSglArray Logs;
  for (size_t i = Events.size(); i-- > 0;) {
    TFCSLine E = Events[i];
    if (ZScoring) {
      const auto L = E.LogCompValues();
      Logs.assign(L.begin(), L.end());
      Genotypes.Classify(Logs, E.Classes(), MaxZ, SecondZ);
      E.SetMaxZ(MaxZ);
      E.SetSecondZ(SecondZ);
    }
    if (!E.HasCompValues()) E.SizeCompensated();
    const auto Comp = E.CompValues();
    auto Called = E.Called();
    const int32_t Count = static_cast<int32_t>(Called.size());
    Mask.assign(static_cast<size_t>(Count), 'N');
    for (int32_t c = Count - 1; c >= 0; --c) {
      const bool Yes = !E.GatedOut() && c < N && Minimum[c] < Comp[c] && Comp[c] < Maximum[c];
      Called[c] = Yes ? 1 : 0;
      if (Yes) Mask[c] = 'Y';
    }
    E.SetMask(Mask);
    const auto Found = Position.find(Mask);
    const int32_t Class = Found == Position.end() ? -1 : Found->second;
    if (Class > INT16_MAX) throw ERangeError("Range check error");
    E.Classes()[0] = static_cast<int16_t>(Class);
  }
}

}  // namespace qv
