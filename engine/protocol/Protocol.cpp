#include "protocol/Protocol.h"

#include "ClassPatterns.h"
#include "Errors.h"
#include "Files.h"
#include "FloatStores.h"
#include "LinearAlgebra.h"
#include "NumberFormat.h"
#include "Statistics.h"
#include "TextUtils.h"

namespace qv {

TProtocol::TProtocol(const std::string& AFileName)
    : FileName(AFileName),
      Genotypes(std::make_unique<TGenotypeSet>(this)),
      Filters(std::make_unique<TChannelFilters>()) {
  if (!AFileName.empty()) LoadFromFile(AFileName);
}

TProtocol::~TProtocol() { PostRefresh(); }

std::unique_ptr<TProtocol> TProtocol::CreateCopy(const TProtocol& Source) {
  auto P = std::make_unique<TProtocol>();
  P->FileName = Source.FileName;
  for (const auto& G : Source.Gates) P->Gates.push_back(TGlobalGate::CreateCopy(*G, P.get()));
  for (const auto& C : Source.Channels) P->Channels.push_back(TChannel::CreateCopy(*C, P.get()));
  P->Notes = Source.Notes;
  P->SpilloverMatrix = Source.SpilloverMatrix;
  P->CompensationMatrix = Source.CompensationMatrix;
  P->ClassNames = Source.ClassNames;
  P->ScoreSingles = Source.ScoreSingles;
  P->ScoreDoubles = Source.ScoreDoubles;
  P->LikelihoodThreshold = Source.LikelihoodThreshold;
  P->Genotypes = TGenotypeSet::CreateCopy(*Source.Genotypes, P.get());
  P->Filters = TChannelFilters::CreateCopy(*Source.Filters);
  return P;
}

// ---------------------------------------------------------------------------------------------
// Channels, gates and genotypes

int32_t TProtocol::AddChannel(std::unique_ptr<TChannel> Channel) {
  if (ChannelCount() >= MaxChannels)
    throw ERangeError("A protocol holds at most " + IntToStr(MaxChannels) + " channels");
  Channel->Owner = this;
  Channels.push_back(std::move(Channel));
  RebuildClassNames();
  return ChannelCount();
}

void TProtocol::AddGate(std::unique_ptr<TGlobalGate> Gate) {
  if (GateCount() >= MaxGates) throw ERangeError("A protocol holds at most " + IntToStr(MaxGates) + " gates");
  Gate->Owner = this;
  Gates.push_back(std::move(Gate));
}

TChannel* TProtocol::GetChannel(int32_t Index) const {
  return (Index >= 0 && Index < ChannelCount()) ? Channels[Index].get() : nullptr;
}

TGlobalGate* TProtocol::GetGate(int32_t Index) const {
  return (Index >= 0 && Index < GateCount()) ? Gates[Index].get() : nullptr;
}

void TProtocol::GetChannelName(int32_t Index, std::string& Name) const {
  const TChannel* C = GetChannel(Index);
  Name = C ? C->ChannelName : std::string();
}

int32_t TProtocol::GetChannelColor(int32_t Index) const {
  const TChannel* C = GetChannel(Index);
  return C ? C->Color : 0;
}

void TProtocol::GetChannelTags(std::string& Text) const {
  Text.clear();
  for (const auto& C : Channels) Text += C->ChannelTag;
}

std::string TProtocol::ChannelLetters() const {
  std::string Letters;
  for (const auto& C : Channels) Letters += C->ChannelTag.empty() ? '?' : C->ChannelTag[0];
  return Letters;
}

int32_t TProtocol::FirstCullGate() const {
  for (int32_t i = 0; i < GateCount(); ++i)
    if (Gates[i]->Cull) return i;
  return -1;
}

int32_t TProtocol::AddGenotype(const std::string& Name, int32_t ChannelIndex, int32_t PeakIndex) {
  return Genotypes->Add(Name, ChannelIndex, PeakIndex);
}

void TProtocol::EnsureGenotypes() {
  if (Genotypes->Count() > 0) return;
  for (int32_t i = 0; i < ChannelCount(); ++i)
    if (!Channels[i]->Genotype.empty()) Genotypes->Add(Channels[i]->Genotype, i, 0);
}

void TProtocol::GenotypeNameTexts(std::string& Names, std::string& ChannelNames) const {
  Names = JoinLines(Genotypes->NameList());
  ChannelNames = JoinLines(Genotypes->ChannelNamesList());
}

// ---------------------------------------------------------------------------------------------
// Channel settings in bulk

void TProtocol::SetChannelsForceMean(bool Value) {
  for (auto& C : Channels) C->ForceMean = Value;
}

template <typename F>
bool TProtocol::SetOnChannels(float Value, F Field) {
  bool Changed = false;
  for (int32_t i = ChannelCount() - 1; i >= 0; --i) {
    float& Target = Field(*Channels[i]);
    if (Target != Value) {
      Target = Value;
      Changed = true;
    }
  }
  return Changed;
}

bool TProtocol::SetChannelsMinimumValueThreshold(float Value) {
  return SetOnChannels(Value, [](TChannel& C) -> float& { return C.Minimum_Value_Threshold; });
}
bool TProtocol::SetChannelsMaximumValueThreshold(float Value) {
  return SetOnChannels(Value, [](TChannel& C) -> float& { return C.Maximum_Value_Threshold; });
}
bool TProtocol::SetChannelsMinimumValueZScore(float Value) {
  return SetOnChannels(Value, [](TChannel& C) -> float& { return C.Minimum_Value_ZScore; });
}
bool TProtocol::SetChannelsMaximumValueZScore(float Value) {
  return SetOnChannels(Value, [](TChannel& C) -> float& { return C.MaximumValue_ZScore; });
}
bool TProtocol::SetChannelsMinimumZ(float Value) {
  return SetOnChannels(Value, [](TChannel& C) -> float& { return C.Minimum_Z; });
}
bool TProtocol::SetChannelsMaximumZ(float Value) {
  return SetOnChannels(Value, [](TChannel& C) -> float& { return C.Maximum_Z; });
}

void TProtocol::GetBaselines(TSglArray& Values) const {
  Values.resize(Channels.size());
  for (size_t i = 0; i < Channels.size(); ++i) Values[i] = Channels[i]->Baseline;
}

void TProtocol::SetBaselines(const TSglArray& Values) {
  if (Values.size() != Channels.size()) throw RangeCheckError();
  for (size_t i = 0; i < Channels.size(); ++i) Channels[i]->Baseline = Values[i];
}

void TProtocol::SetGateStatistics(int32_t Index, float Mean, float Deviation) {
  if (TGlobalGate* G = GetGate(Index)) {
    G->Mean = Mean;
    G->Deviation = Deviation;
  }
}

void TProtocol::SetCompPairColumn(int32_t SourceIndex, const TCompensationArray& Pairs, bool IsComp) {
  if (SourceIndex < 0 || Pairs.size() != Channels.size()) throw RangeCheckError();
  for (size_t k = 0; k < Channels.size(); ++k) Channels[k]->SetCompPair(SourceIndex, Pairs[k], IsComp);
}

void TProtocol::SetCompPairMatrix(const TFullCompensationArray& Pairs, bool IsComp) {
  // Checked whole first, so a bad column never leaves the matrix half written.
  for (const auto& Column : Pairs)
    if (Column.size() != Channels.size()) throw RangeCheckError();
  for (int32_t i = static_cast<int32_t>(Pairs.size()) - 1; i >= 0; --i) SetCompPairColumn(i, Pairs[i], IsComp);
}

bool TProtocol::SetCompensationMatrix(const TMatrix& Matrix) {
  const size_t N = Channels.size();
  if (Matrix.size() != N) return false;
  for (const auto& Row : Matrix) {
    if (Row.size() != N) return false;
    for (float V : Row)
      if (!(V >= 0 && V <= 100)) return false;
  }
  for (size_t i = 0; i < N; ++i)
    for (size_t j = 0; j < N; ++j) {
      TCompensationPair Pair;
      Channels[i]->GetCompPair(static_cast<int32_t>(j), true, Pair);
      Pair.Mean = Matrix[i][j];
      Channels[i]->SetCompPair(static_cast<int32_t>(j), Pair, true);
    }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Matrices and dynamic compensation

bool TProtocol::BuildCompensationMatrix(bool Perturb, const TInversionOptions& Inversion) {
  const int32_t N = ChannelCount();
  // Rebuilt from zero: a pair a channel lacks counts as no spill-over.
  ZeroMatrix(N, N, SpilloverMatrix);
  for (int32_t i = N - 1; i >= 0; --i) {
    const TChannel& C = *Channels[i];
    for (int32_t j = C.CompCount() - 1; j >= 0; --j) {
      if (j >= N) continue;  // a pair for a channel the protocol no longer has
      const TCompensationPair& P = C.Comp[j];
      Extended M = P.Mean;
      if (Perturb) M = M + static_cast<Extended>(GaussRandom()) * P.Deviation;
      SpilloverMatrix[i][j] = fp::Single(M / 100.0L);
    }
  }
  // The closed forms answer a singular matrix with zeros, which is never a true inverse.
  bool Failed = N == 0 || InvertMatrix(SpilloverMatrix, CompensationMatrix, Inversion) != MxOk;
  if (!Failed) {
    Failed = true;
    for (const auto& Row : CompensationMatrix)
      for (float V : Row) Failed = Failed && V == 0;
  }
  if (Failed) CompensationMatrix.clear();
  return !Failed;
}

float TProtocol::EventResidual(const TMatrix& Values) const {
  TSglArray Column(Values.size());
  for (size_t i = 0; i < Values.size(); ++i) Column[i] = Values[i].empty() ? 0.0f : Values[i][0];
  return EventResidual(Column);
}

float TProtocol::EventResidual(std::span<const float> Values) const {
  const int32_t N = static_cast<int32_t>(Values.size());
  if (N == 0) return 0;
  auto V = [&](int32_t i) { return Values[static_cast<size_t>(i)]; };
  int32_t Largest = N - 1;
  for (int32_t i = N - 2; i >= 0; --i)
    if (V(i) > V(Largest)) Largest = i;
  int32_t Second = -1;
  if (!ScoreSingles) {
    float SecondValue = -2147483648.0f;
    for (int32_t i = N - 1; i >= 0; --i)
      if (i != Largest && V(i) > SecondValue) {
        SecondValue = V(i);
        Second = i;
      }
  }
  float Sum = 0;
  for (int32_t i = N - 1; i >= 0; --i) {
    if (i == Largest || i == Second) continue;
    const Extended D = static_cast<Extended>(V(i)) - 1;
    Sum = fp::Single(Sum + D * D);
  }
  const float Max = V(Largest);
  return Max > 0 ? fp::Single(Sum / static_cast<Extended>(Max)) : 0.0f;
}

void TProtocol::CompensateDynamic(const TMatrix& Raw, TMatrix& Compensated, int32_t Tries,
                                  const TInversionOptions& Inversion) {
  float Best = 2147483648.0f;
  TMatrix Product;
  for (int32_t t = 0; t < Tries; ++t) {
    if (!BuildCompensationMatrix(true, Inversion)) continue;
    if (MultiplyMatrix(CompensationMatrix, Raw, Product) != MxOk) continue;
    const float R = EventResidual(Product);
    if (R < Best) {
      Best = R;
      Compensated = Product;
    }
  }
}

void TProtocol::BuildClassNames(TStringArray& List) const {
  const std::string Letters = ChannelLetters();
  for (std::string& Line : List) {
    for (char& C : Line)
      if (C == 'N') C = '-';
    for (int32_t i = static_cast<int32_t>(Letters.size()) - 1; i >= 0; --i)
      if (i < static_cast<int32_t>(Line.size()) && Line[i] == 'Y') Line[i] = Letters[i];
  }
}

void TProtocol::RebuildClassNames() {
  ClassNames = SplitLines(YNPatternList(ChannelCount(), 2));
  BuildClassNames(ClassNames);
}

void TProtocol::ShowNotes(TProtocolNotesView& View) const {
  View.Notes = Notes;
  View.NamePanel = " " + ExtractFileName(FileName);
}

void TProtocol::FillChannelHeaderRow(StringTable& Grid) const {
  if (Grid.ColCount() != ChannelCount() + 1 || Grid.RowCount() < 1) return;
  for (int32_t i = 0; i < ChannelCount(); ++i) Grid.SetCell(i + 1, 0, Channels[i]->ChannelName);
}

}  // namespace qv
