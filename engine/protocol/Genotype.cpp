#include "protocol/Genotype.h"

#include <cmath>
#include <limits>

#include "ClassPatterns.h"
#include "Errors.h"
#include "FloatStores.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "protocol/Protocol.h"
#include "protocol/Records.h"
#include "Statistics.h"
#include "TextUtils.h"

namespace qv {

namespace {

// A whole number from a grid cell, as the editor's integer cells are read.
bool CellInt(const StringTable& Grid, int32_t Col, int32_t Row, int32_t& Value) {
  return TryStrToInt(Grid.Cell(Col, Row), Value);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TGenotype

TGenotype::TGenotype(const std::string& AName, TGenotypeSet* AOwner, int32_t ChannelIndex, int32_t PeakIndex)
    : Owner(AOwner), Name(AName) {
  TFluor F;
  F.ChannelIndex = ChannelIndex;
  F.PeakIndex = PeakIndex;
  Components.push_back(F);
}

std::unique_ptr<TGenotype> TGenotype::CreateFromStream(TStream& Stream, TGenotypeSet* AOwner) {
  auto G = std::make_unique<TGenotype>("", AOwner, 0, 0);
  G->Components.clear();
  G->LoadFromStream(Stream);
  return G;
}

std::unique_ptr<TGenotype> TGenotype::CreateCopy(const TGenotype& Source, TGenotypeSet* AOwner) {
  auto G = std::make_unique<TGenotype>(Source.Name, AOwner, 0, 0);
  G->Version = Source.Version;
  // Data files store protocol copies, so the notes travel with the copy.
  G->Notes = Source.Notes;
  G->Components.clear();
  for (const TFluor& F : Source.Components) {
    TFluor C;
    C.ChannelIndex = F.ChannelIndex;
    C.PeakIndex = F.PeakIndex;
    G->Components.push_back(C);
  }
  return G;
}

void TGenotype::AddComponent(int32_t ChannelIndex) {
  if (Count() >= MaxComponents)
    throw ERangeError("A genotype holds at most " + IntToStr(MaxComponents) + " components");
  TFluor F;
  F.ChannelIndex = ChannelIndex;
  Components.push_back(F);
}

void TGenotype::DeleteComponent(int32_t Index) {
  if (Index < 0 || Index >= Count() || Count() <= 1) return;
  Components.erase(Components.begin() + Index);
}

void TGenotype::GetComponent(int32_t Index, TFluor& Component) const {
  if (Index >= 0 && Index < Count()) Component = Components[Index];
}

std::string TGenotype::ClassCode(const std::string& ChannelLetters) const {
  std::string Code(ChannelLetters.size(), '-');
  for (int32_t i = Count() - 1; i >= 0; --i) {
    const int32_t C = Components[i].ChannelIndex;
    if (C < 0 || C >= static_cast<int32_t>(ChannelLetters.size())) throw RangeCheckError();
    Code[C] = ChannelLetters[C];
  }
  return Code;
}

bool TGenotype::Prepare(const TProtocol& Protocol, std::string* Problem) {
  ChannelNames.clear();
  bool Result = true;
  auto Fail = [&](const std::string& Text) {
    if (Result && Problem) *Problem = Text;
    Result = false;
  };
  for (int32_t i = Count() - 1; i >= 0; --i) {
    TFluor& F = Components[i];
    const TChannel* Channel = Protocol.GetChannel(F.ChannelIndex);
    if (!Channel) {
      Fail("channel " + IntToStr(F.ChannelIndex) + " does not exist");
      continue;
    }
    ChannelNames = ChannelNames.empty() ? Channel->ChannelName : ChannelNames + "&" + Channel->ChannelName;
    if (F.PeakIndex < 0 || F.PeakIndex >= Channel->PeakCount()) {
      Fail("channel " + Channel->ChannelName + " has no peak " + IntToStr(F.PeakIndex));
      continue;
    }
    const TPeak& Peak = Channel->Peaks[F.PeakIndex];
    if (Peak.Dev != 0 && !fp::DeviationFits(Peak.Dev)) {
      Fail("peak " + IntToStr(F.PeakIndex) + " of channel " + Channel->ChannelName + " has a deviation of " +
           FloatToStr(Peak.Dev) + ", too small or too large to score");
      continue;
    }
    F.Mean = Peak.Mean;
    F.Deviation = Peak.Dev;
    F.PeakFlag = Peak.Raw;
    F.InverseDeviation = Peak.Dev != 0 ? fp::Single(1.0L / Peak.Dev) : 1.0f;
    if (!(Channel->MaximumValue_ZScore > 0)) {
      Fail("channel " + Channel->ChannelName + " has a Z-score value limit of 0 or below");
      continue;
    }
    // A minimum of 0 or below is no lower bound (protocols built from a file's parameters
    // have 0): every positive value passes it.
    F.LogValueMinimum =
        Channel->Minimum_Value_ZScore > 0
            ? static_cast<float>(std::log10(static_cast<Extended>(Channel->Minimum_Value_ZScore)))
            : -std::numeric_limits<float>::infinity();
    F.LogValueMaximum = static_cast<float>(std::log10(static_cast<Extended>(Channel->MaximumValue_ZScore)));
    F.MinimumZ = Channel->Minimum_Z;
    F.MaximumZ = Channel->Maximum_Z;
  }
  Prepared = Result;
  return Result;
}

bool TGenotype::NamesChannel(int32_t Channel) const {
  for (const TFluor& F : Components)
    if (F.ChannelIndex == Channel) return true;
  return false;
}

TLikelihoodOptions TLikelihoodOptions::FromSettings() {
  TLikelihoodOptions Options;
  Options.OverrideMean = qv::OverrideMean;
  Options.OverrideExcess = qv::OverrideExcess;
  return Options;
}

Extended TGenotype::Likelihood(const TSglArray& Values, float& MaxZ, int32_t& MaxZChannel,
                               const TLikelihoodOptions& Options) {
  Extended L = 1.0L;
  AboveLimit = false;
  MaxZ = NoZ;
  ClassFlags[1] = false;
  ClassFlags[2] = false;
  if (!Prepared) return 0;
  bool AnyActive = false;
  for (int32_t i = Count() - 1; i >= 0; --i) {
    TFluor& F = Components[i];
    F.AboveLimit = false;
    if (F.PeakFlag) continue;
    if (F.ChannelIndex < 0 || F.ChannelIndex >= static_cast<int32_t>(Values.size())) continue;
    AnyActive = true;
    const float X = Values[F.ChannelIndex];
    const float Z = static_cast<float>((static_cast<Extended>(X) - F.Mean) * F.InverseDeviation);
    F.AboveLimit = X > F.LogValueMaximum || Z > F.MaximumZ;
    AboveLimit = AboveLimit || F.AboveLimit;
    const bool InValue = F.LogValueMinimum <= X && X <= F.LogValueMaximum;
    ClassFlags[1] = InValue;
    ClassFlags[2] = InValue && F.MinimumZ <= Z && Z <= F.MaximumZ;
    // A likelihood already 0 stays 0 (the probability is finite and not negative).
    if (InValue && -5 < Z && Z < 5) {
      if (L != 0) L = L * static_cast<Extended>(NormalTwoTailProbability(Z));
    } else {
      L = 0;
    }
    if (Z > MaxZ) {
      MaxZ = Z;
      MaxZChannel = F.ChannelIndex;
    }
  }
  // A genotype with nothing to score explains no event.
  if (!AnyActive) return 0;
  if (L > 0) {
    bool Dim = false;
    for (const TFluor& F : Components) Dim = Dim || F.Mean < Options.OverrideMean;
    if (Dim)
      for (int32_t j = static_cast<int32_t>(Values.size()) - 1; j >= 0; --j)
        if (Values[j] > Options.OverrideExcess && !NamesChannel(j)) L = 0;
  }
  return L;
}

void TGenotype::FixPeaks(const TProtocol& Protocol) {
  if (Count() == 1) {
    const TChannel* Channel = Protocol.GetChannel(Components[0].ChannelIndex);
    if (Channel) Components[0].PeakIndex = Channel->PeakCount() - 1;
  } else if (Count() == 2) {
    const int32_t ChannelA = Components[0].ChannelIndex;
    const int32_t ChannelB = Components[1].ChannelIndex;
    auto LastPeakFiltered = [&](int32_t Channel, int32_t Partner, int32_t& Index) {
      const TChannel* C = Protocol.GetChannel(Channel);
      if (!C) return;
      for (int32_t p = C->PeakCount() - 1; p >= 0; --p)
        if (C->Peaks[p].Filter == Partner) {
          Index = p;
          return;
        }
    };
    LastPeakFiltered(ChannelA, ChannelB, Components[0].PeakIndex);
    LastPeakFiltered(ChannelB, ChannelA, Components[1].PeakIndex);
  }
}

std::string TGenotype::ComponentReportHeader() {
  return "Genotype\tChannelIDx\tChannel\tPeakIdx\tMean\tDeviation\tChi\tChiP";
}

std::string TGenotype::ComponentReport(const TProtocol& Protocol) const {
  std::vector<std::string> Lines;
  for (const TFluor& F : Components) {
    const TChannel* Channel = Protocol.GetChannel(F.ChannelIndex);
    TPeak Peak;  // zeros for a peak the channel does not have
    std::string ChannelName;
    if (Channel) {
      ChannelName = Channel->ChannelName;
      Channel->GetPeak(F.PeakIndex, Peak);
    }
    Lines.push_back(Name + "\t" + IntToStr(F.ChannelIndex) + "\t" + ChannelName + "\t" + IntToStr(F.PeakIndex) +
                    "\t" + FormatFloat("#0.0000", Peak.Mean) + "\t" + FormatFloat("#0.0000", Peak.Dev) + "\t" +
                    FormatFloat("####0.0", Peak.Chi) + "\t" +
                    FormatFloatByMagnitude("0.00e-", "0.00", 0.01, Peak.ChiP));
  }
  return JoinLines(Lines);
}

void TGenotype::ShowInEditor(TGenotypeEditor& Editor, const TProtocol& Protocol) const {
  Editor.Name = Name;
  Editor.Notes = Notes;
  Editor.Threshold = FormatFloat("###0.000", Protocol.LikelihoodThreshold);
  StringTable& Grid = Editor.Components;
  Grid.SetSize(4, Count() + 1);
  Grid.SetCell(1, 0, "Idx");
  Grid.SetCell(2, 0, "Channel");
  Grid.SetCell(3, 0, "Peak");
  for (int32_t i = 0; i < Count(); ++i) {
    const TFluor& F = Components[i];
    std::string ChannelName;
    Protocol.GetChannelName(F.ChannelIndex, ChannelName);
    Grid.SetCell(0, i + 1, "Fluor_" + IntToStr(i + 1));
    Grid.SetCell(1, i + 1, IntToStr(F.ChannelIndex));
    Grid.SetCell(2, i + 1, ChannelName);
    Grid.SetCell(3, i + 1, IntToStr(F.PeakIndex));
  }
}

void TGenotype::ReadFromEditor(const TGenotypeEditor& Editor, TProtocol& Protocol) {
  const float Threshold = fp::Single(StrToFloat(Editor.Threshold));
  Name = Editor.Name;
  Notes = Editor.Notes;
  Protocol.LikelihoodThreshold = Threshold;
  const StringTable& Grid = Editor.Components;
  Components.resize(static_cast<size_t>(std::max(Grid.RowCount() - 1, 0)));
  for (int32_t Row = Grid.RowCount() - 1; Row >= 1; --Row) {
    TFluor& F = Components[Row - 1];
    int32_t Channel = 0, Peak = 0;
    if (!CellInt(Grid, 1, Row, Channel)) continue;
    F.ChannelIndex = Channel;
    if (CellInt(Grid, 3, Row, Peak)) F.PeakIndex = Peak;
  }
  Prepared = false;
}

void TGenotype::SaveToStream(TStream& Stream) const {
  WriteInt32(Stream, RecordVersion);
  WriteStreamString(Name, Stream);
  WriteInt32(Stream, Count());
  for (int32_t i = Count() - 1; i >= 0; --i) {
    WriteInt32(Stream, Components[i].ChannelIndex);
    WriteInt32(Stream, Components[i].PeakIndex);
  }
  WriteStreamString(Notes, Stream);
}

void TGenotype::LoadFromStream(TStream& Stream) {
  // Read into locals first: a failed read leaves the genotype as it was.
  const int32_t V = ReadInt32(Stream);
  std::string N = ReadStreamString(Stream);
  const int32_t C = ReadCount(Stream, 8);
  CheckCount(C, MaxComponents, "components", "a genotype");
  TFluorArray List(static_cast<size_t>(C));
  for (int32_t i = C - 1; i >= 0; --i) {
    List[i].ChannelIndex = ReadInt32(Stream);
    List[i].PeakIndex = ReadInt32(Stream);
  }
  std::string NewNotes = Notes;
  if (V > 1) NewNotes = ReadStreamString(Stream);
  Version = V;
  Name = std::move(N);
  Components = std::move(List);
  Notes = std::move(NewNotes);
  Prepared = false;
}

}  // namespace qv
