#pragma once
// What the fuzz targets share: a scratch file per process, a silent message sink, and the
// protocol that carries an FCS file down the whole data-set road.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Globals.h"
#include "Host.h"
#include "protocol/Protocol.h"

namespace qv::fuzz {

// Messages go nowhere: the targets run millions of inputs.
class SilentMessages : public Messages {
 public:
  void Error(const std::string&) override {}
  void Info(const std::string&) override {}
  bool Confirm(const std::string&) override { return false; }
};

// Silent messages, and histograms coarse enough that the peak fits (which search every bin)
// leave time for exploring the readers.
inline void Quiet() {
  static SilentMessages Sink;
  SetHostMessages(&Sink);
  HistogramBinCount = 24;
}

// A file name of this process for Tag (the readers take names, not memory), in /dev/shm when
// there is one so that the writes stay in memory.
inline std::string ScratchName(const std::string& Tag) {
  const char* Temp = std::getenv("TMPDIR");
  const char* Dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (Temp ? Temp : "/tmp");
  return std::string(Dir) + "/quorvenal-fuzz-" + std::to_string(getpid()) + "-" + Tag;
}

inline void WriteScratch(const std::string& Name, const uint8_t* Data, size_t Size) {
  std::FILE* F = std::fopen(Name.c_str(), "wb");
  if (!F) std::abort();
  if (Size && std::fwrite(Data, 1, Size, F) != Size) std::abort();
  std::fclose(F);
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

}  // namespace qv::fuzz
