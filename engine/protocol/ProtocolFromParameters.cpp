// A protocol built from the GATE and CHANNEL marks on an FCS file's parameters.
#include <cmath>

#include "fcs/ParameterSet.h"
#include "Host.h"
#include "NumberFormat.h"
#include "protocol/Protocol.h"
#include "TextUtils.h"

namespace qv {

namespace {

std::string DisplayName(const TParameter& P) {
  if (P.ShortName.empty()) return P.LongName;
  return P.LongName.empty() ? P.ShortName : P.LongName + "_" + P.ShortName;
}

int32_t ColorOfName(const std::string& Name) {
  const std::string Upper = UpperCase(Name);
  static const struct {
    const char* Text;
    int32_t Color;
  } Colors[] = {{"GFP", 0x00FF00}, {"YFP", 0x00FFFF}, {"RED", 0x0000FF}, {"CFP", 0xFFFF00}, {"KALAMA", 0xFF00FF}};
  for (const auto& C : Colors)
    if (Upper.find(C.Text) != std::string::npos) return C.Color;
  return 0;
}

}  // namespace

std::unique_ptr<TProtocol> TParameterSet::BuildProtocol() const {
  const int32_t ChannelMarks = SelectedChannelCount();
  if (ChannelMarks > TProtocol::MaxChannels) {
    HostMessages().Error("A protocol holds at most " + IntToStr(TProtocol::MaxChannels) + " channels; " +
                         IntToStr(ChannelMarks) + " parameters are marked CHANNEL.");
    return nullptr;
  }
  if (const int32_t GateMarks = SelectedGateCount(); GateMarks > TProtocol::MaxGates) {
    HostMessages().Error("A protocol holds at most " + IntToStr(TProtocol::MaxGates) + " gates; " +
                         IntToStr(GateMarks) + " parameters are marked GATE.");
    return nullptr;
  }
  auto Protocol = std::make_unique<TProtocol>();
  // Carries each channel's unit compensation row into the channel as the editor's grids would.
  StringTable Pairs;
  Pairs.SetSize(ChannelMarks + 1, 3);
  int32_t k = 0;
  for (int32_t i = Count() - 1; i >= 0; --i) {
    const TParameter& P = Items[i];
    const std::string Name = DisplayName(P);
    if (P.UseAsGate) {
      TGateInfo Info;
      Info.Active = true;
      Info.Name = Name;
      Info.FCSName = P.LongName;
      Info.FCSLabel = P.ShortName;
      Info.ExactFCSName = !P.LongName.empty();
      Info.ExactFCSLabel = !P.ShortName.empty();
      Info.Scale = P.IsLog ? 0 : 1;
      Info.DisplayMinimum = 0;
      Info.DisplayMaximum = P.IsLog ? P.Decades : static_cast<float>(P.Range);
      Info.MinimumValue = 0;
      Info.MaximumValue = static_cast<float>(P.Range);
      Info.Minimum_Z = -1.5f;
      Info.Maximum_Z = 1.5f;
      Info.ClipHigh = 1.5f;
      Info.ClipLow = -1.5f;
      Protocol->AddGate(std::make_unique<TGlobalGate>(Info, Protocol.get()));
    }
    if (P.UseAsChannel) {
      TChannelInfo Info;
      Info.ChannelName = Name;
      Info.ChannelTag = FirstCharacter(Name);
      Info.FCSName = P.LongName;
      Info.FCSLabel = P.ShortName;
      Info.ExactFCSName = !P.LongName.empty();
      Info.ExactFCSLabel = !P.ShortName.empty();
      Info.Scale = 0;
      Info.DisplayMinimum = 0;
      Info.DisplayMaximum = P.IsLog      ? P.Decades
                            : P.Range > 0 ? static_cast<float>(std::log10(static_cast<Extended>(P.Range)))
                                          : 4.0f;
      Info.Color = ColorOfName(Name);
      Info.Minimum_Value_Threshold = 0;
      Info.Maximum_Value_Threshold = static_cast<float>(P.Range);
      Info.Minimum_Value_ZScore = 0;
      Info.MaximumValue_ZScore = static_cast<float>(P.Range);
      Info.Minimum_Z = -1.5f;
      Info.Maximum_Z = 1.5f;
      for (int32_t Col = 1; Col <= ChannelMarks; ++Col) {
        Pairs.SetCell(Col, 1, Col == k + 1 ? "100" : "0");
        Pairs.SetCell(Col, 2, "0");
      }
      Info.CompGrid = &Pairs;
      Info.BaseGrid = &Pairs;
      Info.Genotype = "GType_" + IntToStr(k + 1);
      auto Channel = std::make_unique<TChannel>(Info, Protocol.get());
      Channel->SetPeak(false, -1, 2.5f, 0.25f, 0.0f);
      Protocol->AddChannel(std::move(Channel));
      ++k;
    }
  }
  return Protocol;
}

}  // namespace qv
