#pragma once
// The protocol's genotypes in class order, and the classification of one event by them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Host.h"
#include "Streams.h"
#include "Types.h"
#include "protocol/Genotype.h"

namespace qv {

class TProtocol;

class TGenotypeSet {
 public:
  static constexpr int32_t RecordVersion = 1;
  // Every event is weighed against every genotype, and an assay names a few dozen at most (class
  // numbers, 16-bit, would allow 32767); a record declaring more is refused, and Add takes no more
  // (ERangeError).
  static constexpr int32_t MaxGenotypes = 256;

  explicit TGenotypeSet(TProtocol* AOwner) : Owner(AOwner) {}
  // Reads the record; one that cannot be read throws EReadError (no set is made).
  TGenotypeSet(TStream& Stream, TProtocol* AOwner);
  static std::unique_ptr<TGenotypeSet> CreateCopy(const TGenotypeSet& Source, TProtocol* AOwner);

  TProtocol* Owner = nullptr;
  std::vector<std::unique_ptr<TGenotype>> Items;  // genotype i is class i + 1
  std::vector<Extended> Likelihoods;              // of the event classified last

  int32_t Count() const { return static_cast<int32_t>(Items.size()); }
  // ERangeError past MaxGenotypes.
  int32_t Add(const std::string& Name, int32_t ChannelIndex, int32_t PeakIndex);
  void Delete(int32_t Index);
  TGenotype* GetGenotype(int32_t Index) const;
  // Swaps with the neighbour above (Up) or below, wrapping at both ends.
  void Move(int32_t Index, bool Up);
  void FixPeaks();

  // Prepares every genotype on its own; those that fail take no part in classification and are
  // reported once, together, through HostMessages. True when all were prepared.
  bool PrepareAll();
  // Writes Classes[1] and Classes[2] of one event; needs a set prepared by PrepareAll.
  void Classify(const TSglArray& Values, TClassTriple& Classes, float& MaxZ, float& SecondZ,
                const TLikelihoodOptions& Options = TLikelihoodOptions::FromSettings());

  std::string ClassCodeTable() const;
  StringTable FillGrid() const;
  TStringArray NameList() const;
  TStringArray ChannelNamesList() const;

  void SaveToStream(TStream& Stream) const;
  void LoadFromStream(TStream& Stream);
};

}  // namespace qv
