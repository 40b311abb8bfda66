#pragma once
// Protocols, FCS files and settings for the event, data-set and compensation tests.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FCSFile.h"
#include "FcsWriter.h"
#include "Globals.h"
#include "Protocol.h"
#include "TestFolders.h"

namespace qv::test {

struct GateDef {
  GateDef(std::string AName, std::string ALabel, bool ALog = false, bool ACull = false)
      : Name(std::move(AName)), Label(std::move(ALabel)), Log(ALog), Cull(ACull) {}
  std::string Name;
  std::string Label;  // matched against $PnN
  bool Log = false;
  bool Cull = false;
};

struct ChannelDef {
  ChannelDef(std::string AName, std::string ALabel, std::string ALongName = "", bool AExactLabel = false,
              bool AExactLongName = false)
      : Name(std::move(AName)), Label(std::move(ALabel)), LongName(std::move(ALongName)),
        ExactLabel(AExactLabel), ExactLongName(AExactLongName) {}
  std::string Name;
  std::string Label;     // matched against $PnN
  std::string LongName;  // matched against $PnS
  bool ExactLabel = false;
  bool ExactLongName = false;
};

// Spill is in percent, Spill[i][j] = spill of channel j's fluorophore into channel i; empty
// gives 100 on the diagonal and 0 elsewhere.
inline std::unique_ptr<TProtocol> MakeProtocol(const std::vector<GateDef>& Gates,
                                               const std::vector<ChannelDef>& Channels,
                                               const std::vector<std::vector<float>>& Spill = {}) {
  auto P = std::make_unique<TProtocol>();
  P->FileName = "/protocols/test.protocol";
  for (const auto& G : Gates) {
    TGateInfo Info;
    Info.Name = G.Name;
    Info.FCSLabel = G.Label;
    Info.Scale = G.Log ? 0 : 1;
    Info.Cull = G.Cull;
    P->AddGate(std::make_unique<TGlobalGate>(Info, P.get()));
  }
  for (const auto& C : Channels) {
    TChannelInfo Info;
    Info.ChannelName = C.Name;
    Info.ChannelTag = C.Name.substr(0, 1);
    Info.FCSLabel = C.Label;
    Info.FCSName = C.LongName;
    Info.ExactFCSLabel = C.ExactLabel;
    Info.ExactFCSName = C.ExactLongName;
    P->AddChannel(std::make_unique<TChannel>(Info, P.get()));
  }
  const size_t N = Channels.size();
  for (size_t i = 0; i < N; ++i)
    for (size_t j = 0; j < N; ++j) {
      TCompensationPair Pair;
      Pair.Mean = Spill.empty() ? (i == j ? 100.0f : 0.0f) : Spill[i][j];
      P->GetChannel(static_cast<int32_t>(i))->SetCompPair(static_cast<int32_t>(j), Pair, true);
    }
  return P;
}

// Restores the settings that events and compensation read.
class SettingsGuard {
 public:
  SettingsGuard() = default;
  ~SettingsGuard() {
    MinimumRawScore = FMinimum;
    DynamicCompensationN = FTries;
  }

 private:
  float FMinimum = MinimumRawScore;
  int32_t FTries = DynamicCompensationN;
};

// A float FCS file of linear parameters named Names ($PnN; $PnS = LongNames when given).
inline std::unique_ptr<TFCSFile> WriteAndRead(const TempFolder& Folder, const std::string& Name,
                                              const std::vector<std::string>& Names,
                                              const std::vector<std::vector<double>>& Events,
                                              const std::vector<std::string>& LongNames = {}) {
  FcsFileSpec Spec;
  Spec.DataType = FcsDataType::Float32;
  for (size_t i = 0; i < Names.size(); ++i)
    Spec.Parameters.push_back(LinearParameter(Names[i], 262144, i < LongNames.size() ? LongNames[i] : ""));
  Spec.Events = Events;
  WriteFcs(Folder / Name, Spec);
  return std::make_unique<TFCSFile>(Folder / Name);
}

}  // namespace qv::test
