#include "protocol/GenotypeSet.h"

#include <cmath>

#include "Errors.h"
#include "NumberFormat.h"
#include "TextUtils.h"
#include "protocol/Protocol.h"
#include "protocol/Records.h"

namespace qv {

namespace {

constexpr float NoZ = TGenotype::NoZ;

}  // namespace

TGenotypeSet::TGenotypeSet(TStream& Stream, TProtocol* AOwner) : Owner(AOwner) { LoadFromStream(Stream); }

std::unique_ptr<TGenotypeSet> TGenotypeSet::CreateCopy(const TGenotypeSet& Source, TProtocol* AOwner) {
  auto Set = std::make_unique<TGenotypeSet>(AOwner);
  for (const auto& G : Source.Items) Set->Items.push_back(TGenotype::CreateCopy(*G, Set.get()));
  Set->Likelihoods.assign(Set->Items.size(), 0);
  return Set;
}

int32_t TGenotypeSet::Add(const std::string& Name, int32_t ChannelIndex, int32_t PeakIndex) {
  if (Count() >= MaxGenotypes) throw ERangeError("A protocol holds at most " + IntToStr(MaxGenotypes) + " genotypes");
  Items.push_back(std::make_unique<TGenotype>(Name, this, ChannelIndex, PeakIndex));
  return Count() - 1;
}

void TGenotypeSet::Delete(int32_t Index) {
  if (Index < 0 || Index >= Count()) return;
  Items.erase(Items.begin() + Index);
}

TGenotype* TGenotypeSet::GetGenotype(int32_t Index) const {
  return (Index >= 0 && Index < Count()) ? Items[Index].get() : nullptr;
}

void TGenotypeSet::Move(int32_t Index, bool Up) {
  if (Index < 0 || Index >= Count()) return;
  const int32_t Other = Up ? (Index == 0 ? Count() - 1 : Index - 1) : (Index == Count() - 1 ? 0 : Index + 1);
  std::swap(Items[Index], Items[Other]);
}

void TGenotypeSet::FixPeaks() {
  if (!Owner) return;
  for (int32_t i = Count() - 1; i >= 0; --i) Items[i]->FixPeaks(*Owner);
}

bool TGenotypeSet::PrepareAll() {
  bool Result = true;
  std::vector<std::string> Problems;
  for (int32_t i = Count() - 1; i >= 0; --i) {
    std::string Problem;
    if (!Owner || !Items[i]->Prepare(*Owner, &Problem)) {
      Result = false;
      Problems.insert(Problems.begin(), "Genotype " + Items[i]->Name + ": " + (Owner ? Problem : "no protocol"));
    }
  }
  Likelihoods.assign(Items.size(), 0);
  if (!Problems.empty())
    HostMessages().Error("These genotypes cannot be scored and take no part in classification:\r\n" +
                         JoinLines(Problems));
  return Result;
}

void TGenotypeSet::Classify(const TSglArray& Values, TClassTriple& Classes, float& MaxZ, float& SecondZ,
                            const TLikelihoodOptions& Options) {
  if (Count() < 1 || static_cast<int32_t>(Likelihoods.size()) < Count()) throw RangeCheckError();
  MaxZ = NoZ;
  SecondZ = NoZ;
  int32_t MaxChannel = -1, SecondChannel = -1;
  for (int32_t g = Count() - 1; g >= 0; --g) {
    float Z = NoZ;
    int32_t Channel = -1;
    Likelihoods[g] = Items[g]->Likelihood(Values, Z, Channel, Options);
    if (Z > MaxZ && Channel != MaxChannel) {
      SecondZ = MaxZ;
      SecondChannel = MaxChannel;
      MaxZ = Z;
      MaxChannel = Channel;
    } else if (Z > SecondZ && Channel != SecondChannel && Channel != MaxChannel) {
      SecondZ = Z;
      SecondChannel = Channel;
    }
  }
  const int32_t Last = Count() - 1;
  Extended Best = Likelihoods[Last], Second = 0;
  int32_t BestIndex = Last;
  if (Count() > 1) {
    const Extended Next = Likelihoods[Last - 1];
    if (Next > Best) {
      Second = Best;
      Best = Next;
      BestIndex = Last - 1;
    } else {
      Second = Next;
    }
    for (int32_t g = Last - 2; g >= 0; --g) {
      if (Likelihoods[g] > Best) {
        Second = Best;
        Best = Likelihoods[g];
        BestIndex = g;
      } else if (Likelihoods[g] > Second) {
        Second = Likelihoods[g];
      }
    }
  }
  if (Best <= 0) {
    Classes[1] = 0;
    Classes[2] = 0;
    return;
  }
  const TGenotype& B = *Items[BestIndex];
  bool Reject = false;
  for (int32_t g = Last; g >= 0 && !Reject; --g) {
    const TGenotype& G = *Items[g];
    if (!G.AboveLimit) continue;
    for (int32_t c = G.Count() - 1; c >= 0; --c)
      if (G.Components[c].AboveLimit && !B.NamesChannel(G.Components[c].ChannelIndex)) Reject = true;
  }
  if (!Reject && Second > 0) {
    const Extended Statistic = -2.0L * std::log(Second / Best);
    Reject = Statistic < (Owner ? Owner->LikelihoodThreshold : 0.0f);
  }
  if (Reject) {
    Classes[1] = 0;
    Classes[2] = 0;
    return;
  }
  if (BestIndex + 1 > INT16_MAX) throw RangeCheckError();
  const int16_t Class = static_cast<int16_t>(BestIndex + 1);
  Classes[1] = B.InValueWindow() ? Class : 0;
  Classes[2] = B.InZWindow() ? Class : 0;
}

std::string TGenotypeSet::ClassCodeTable() const {
  const std::string Letters = Owner ? Owner->ChannelLetters() : std::string();
  std::string Text = std::string(Letters.size(), '-') + "\r\n";
  for (const auto& G : Items) Text += G->ClassCode(Letters) + "\r\n";
  return Text;
}

StringTable TGenotypeSet::FillGrid() const {
  StringTable Grid;
  Grid.SetSize(1, Count() + 1);
  Grid.FixedRows = Count() > 0 ? 1 : 0;
  Grid.SetCell(0, 0, "Genotypes");
  for (int32_t i = 0; i < Count(); ++i) Grid.SetCell(0, i + 1, Items[i]->Name);
  return Grid;
}

TStringArray TGenotypeSet::NameList() const {
  TStringArray Names;
  for (const auto& G : Items) Names.push_back(G->Name);
  return Names;
}

TStringArray TGenotypeSet::ChannelNamesList() const {
  TStringArray Names;
  for (const auto& G : Items) Names.push_back(G->ChannelNames);
  return Names;
}

void TGenotypeSet::SaveToStream(TStream& Stream) const {
  WriteInt32(Stream, RecordVersion);
  WriteInt32(Stream, Count());
  for (int32_t i = Count() - 1; i >= 0; --i) Items[i]->SaveToStream(Stream);
}

void TGenotypeSet::LoadFromStream(TStream& Stream) {
  Items.clear();
  Likelihoods.clear();
  try {
    ReadInt32(Stream);
    // Each genotype record takes at least 16 bytes.
    const int32_t N = ReadItemCount(Stream, 16, MaxGenotypes, "genotypes");
    std::vector<std::unique_ptr<TGenotype>> List(static_cast<size_t>(N));
    for (int32_t i = N - 1; i >= 0; --i) List[i] = TGenotype::CreateFromStream(Stream, this);
    Items = std::move(List);
  } catch (const Exception&) {
    Items.clear();
    throw;
  }
}

}  // namespace qv
