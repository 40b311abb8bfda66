#pragma once
// Genotypes: how a strain shows up in the cytometer, as components on the protocol's channels
// and peaks, and the likelihood of an event under each.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Errors.h"
#include "Host.h"
#include "Streams.h"
#include "Types.h"

namespace qv {

class TProtocol;
class TGenotypeSet;

// One component: a peak of one channel, with the statistics Prepare caches from it.
struct TFluor {
  int32_t ChannelIndex = 0;
  int32_t PeakIndex = 0;
  float Mean = 0;
  float Deviation = 0;
  float InverseDeviation = 0;
  float LogValueMinimum = 0;
  float LogValueMaximum = 0;
  float MinimumZ = 0;
  float MaximumZ = 0;
  bool PeakFlag = false;  // the peak came from the raw detector: no part in the likelihood
  bool AboveLimit = false;
};
using TFluorArray = std::vector<TFluor>;

// The genotype editor's controls as plain values.
struct TGenotypeEditor {
  std::string Name;
  std::string Notes;
  std::string Threshold;   // the protocol's likelihood threshold, as text
  StringTable Components;  // rows: header, then one per component; columns: label, channel, name, peak
};

// Class triple of an event: 0 simple threshold, 1 relaxed Z, 2 rigorous Z.
using TClassTriple = std::array<int16_t, 3>;
// A column of the class triple; any other is a range error.
inline void CheckClassColumn(int32_t Column) {
  if (Column < 0 || Column > 2) throw RangeCheckError();
}

// The settings a likelihood reads: a genotype with a component mean below OverrideMean explains
// no event with a value above OverrideExcess on a channel it does not name.
struct TLikelihoodOptions {
  float OverrideMean = 0;
  float OverrideExcess = 0;
  // The process-wide settings, read once.
  static TLikelihoodOptions FromSettings();
};

class TGenotype {
 public:
  static constexpr int32_t RecordVersion = 2;
  // One component per fluorophore, and a protocol has at most 15 channels.
  static constexpr int32_t MaxComponents = 64;
  // The z of no component evaluated.
  static constexpr float NoZ = -2147483648.0f;

  TGenotype(const std::string& AName, TGenotypeSet* AOwner, int32_t ChannelIndex, int32_t PeakIndex);
  // Throws EReadError when the record cannot be read.
  static std::unique_ptr<TGenotype> CreateFromStream(TStream& Stream, TGenotypeSet* AOwner);
  // Copies the name, notes, version and the components' channel and peak indices.
  static std::unique_ptr<TGenotype> CreateCopy(const TGenotype& Source, TGenotypeSet* AOwner);

  TGenotypeSet* Owner = nullptr;
  int32_t Version = 0;
  std::string Name;
  std::string ChannelNames;  // component channels joined by "&", last component first
  std::string Notes;
  TFluorArray Components;
  std::array<bool, 3> ClassFlags{};  // [1] in the value window, [2] in the Z window
  bool AboveLimit = false;
  // False after Prepare failed: the genotype then takes no part in classification.
  bool Prepared = false;

  int32_t Count() const { return static_cast<int32_t>(Components.size()); }
  bool InValueWindow() const { return ClassFlags[1]; }
  bool InZWindow() const { return ClassFlags[2]; }

  // ERangeError past MaxComponents.
  void AddComponent(int32_t ChannelIndex);
  // Never removes the last component.
  void DeleteComponent(int32_t Index);
  // Leaves Component untouched when Index is outside the list.
  void GetComponent(int32_t Index, TFluor& Component) const;

  // "-" per channel, with each component's channel letter from ChannelLetters (one letter per
  // channel) at its position; a component on a channel beyond the letters is an ERangeError.
  std::string ClassCode(const std::string& ChannelLetters) const;

  // Fills ChannelNames and every component's cache. On failure returns false and describes the
  // first failing component in Problem.
  bool Prepare(const TProtocol& Protocol, std::string* Problem = nullptr);
  // Likelihood of an event given its log10 compensated values; MaxZ and MaxZChannel take the
  // largest z of the components evaluated (MaxZChannel only when MaxZ changes).
  Extended Likelihood(const TSglArray& Values, float& MaxZ, int32_t& MaxZChannel,
                      const TLikelihoodOptions& Options = TLikelihoodOptions::FromSettings());
  void FixPeaks(const TProtocol& Protocol);

  static std::string ComponentReportHeader();
  std::string ComponentReport(const TProtocol& Protocol) const;

  void ShowInEditor(TGenotypeEditor& Editor, const TProtocol& Protocol) const;
  // Throws EConvertError for a threshold that is not a number, before anything changes.
  void ReadFromEditor(const TGenotypeEditor& Editor, TProtocol& Protocol);

  void SaveToStream(TStream& Stream) const;
  void LoadFromStream(TStream& Stream);

  // Whether a component lies on Channel.
  bool NamesChannel(int32_t Channel) const;
};

}  // namespace qv
