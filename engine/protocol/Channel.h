#pragma once
// One fluorescence channel of an analysis protocol: which FCS parameter it reads, how its
// histogram is shown, its scoring windows, its spill-over pairs and its Gaussian peaks.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Host.h"
#include "Streams.h"
#include "protocol/ParameterMatch.h"

namespace qv {

// Spill-over of one channel's fluorophore into another, in percent.
struct TCompensationPair {
  float Mean = 0;
  float Deviation = 0;
  bool operator==(const TCompensationPair&) const = default;
};
// One pair per channel of the protocol.
using TCompensationArray = std::vector<TCompensationPair>;
// One TCompensationArray per source channel.
using TFullCompensationArray = std::vector<TCompensationArray>;

// One Gaussian peak of a channel. Mean and Dev are log10 units; the fit window is
// Mean + ClipLow x Dev .. Mean + ClipHigh x Dev.
struct TPeak {
  float Mean = 0;
  float Dev = 0;
  float H = 0;
  float ClipHigh = 0;
  float ClipLow = 0;
  bool Raw = false;    // taken from the raw-value detector
  int32_t Filter = 0;  // partner channel of two-channel genotypes, -1 when unset
  float Value = 0;
  float Chi = 0;
  float ChiP = 0;
  bool operator==(const TPeak&) const = default;
};
using TPeakArray = std::vector<TPeak>;

// Every editable setting of a channel, exchanged with the channel editor. The grids are the
// editor's (not owned) and each may be null.
struct TChannelInfo {
  std::string ChannelName;
  std::string ChannelTag;
  std::string FCSName;
  std::string FCSLabel;
  bool ExactFCSName = false;
  bool ExactFCSLabel = false;
  int32_t Scale = 0;  // 0 log, 1 linear
  float DisplayMinimum = 0;
  float DisplayMaximum = 0;
  int32_t Color = 0;  // $00BBGGRR
  float Minimum_Value_Threshold = 0;
  float Maximum_Value_Threshold = 0;
  float Minimum_Value_ZScore = 0;
  float MaximumValue_ZScore = 0;
  float Minimum_Z = 0;
  float Maximum_Z = 0;
  StringTable* CompGrid = nullptr;
  StringTable* BaseGrid = nullptr;
  StringTable* PeakGrid = nullptr;
  std::string Notes;
  bool ForceMean = false;
  std::string Genotype;
  float Baseline = 0;
};

// What a channel needs of the protocol that holds it. The protocol implements it.
class TChannelOwner {
 public:
  // Writes the channel names into row 0 of a grid with one column per channel plus one.
  virtual void FillChannelHeaderRow(StringTable& Grid) const = 0;

 protected:
  ~TChannelOwner() = default;
};

class TChannel : public TParameterMatch {
 public:
  // Record version written by SaveToStream; LoadFromStream reads versions 3 to this one.
  static constexpr int32_t RecordVersion = 13;
  static constexpr int32_t OldestRecordVersion = 3;

  TChannel(const TChannelInfo& Info, TChannelOwner* Owner);
  // Reads a record of the current layout, or of the "Version 2" protocol file when
  // FileVersion is 2. Throws when the record cannot be read, so no partly read channel exists.
  static std::unique_ptr<TChannel> CreateFromStream(TStream& Stream, TChannelOwner* Owner,
                                                    int32_t FileVersion);
  // A deep copy for another protocol; ParameterIndex is not copied.
  static std::unique_ptr<TChannel> CreateCopy(const TChannel& Source, TChannelOwner* Owner);

  TChannelOwner* Owner = nullptr;  // not owned
  std::string ChannelName;
  std::string ChannelTag;  // its first letter names the channel in class codes
  int32_t Scale = 0;
  float DisplayMinimum = 0;
  float DisplayMaximum = 0;
  int32_t Color = 0;
  float Minimum_Value_Threshold = 0;
  float Maximum_Value_Threshold = 0;
  float Minimum_Value_ZScore = 0;
  float MaximumValue_ZScore = 0;
  float Minimum_Z = 0;
  float Maximum_Z = 0;
  TCompensationArray Comp;
  TCompensationArray Base;  // baseline-corrected estimates, kept beside Comp
  float Baseline = 0;
  std::string Notes;
  bool ForceMean = false;
  TPeakArray Peaks;
  bool SavedGenotype = false;
  std::string Genotype;

  // Settings
  void GetInfo(TChannelInfo& Info) const;
  void SetInfo(const TChannelInfo& Info);
  void SetBaseline(float Value) { Baseline = Value; }

  // Compensation pairs
  int32_t CompCount() const { return static_cast<int32_t>(Comp.size()); }
  // (0, 0) when Index is outside the array.
  void GetCompPair(int32_t Index, bool IsComp, TCompensationPair& Pair) const;
  // Grows only the chosen array, with (0, 0) pairs, to hold Index.
  void SetCompPair(int32_t Index, const TCompensationPair& Pair, bool IsComp);
  void ReadCompFromGrid(const StringTable& CompGrid, const StringTable& BaseGrid);

  // Peaks
  int32_t PeakCount() const { return static_cast<int32_t>(Peaks.size()); }
  // Leaves Peak unchanged when Index is outside the list.
  void GetPeak(int32_t Index, TPeak& Peak) const;
  void AddPeak(bool Raw, int32_t Filter, float Mean, float Dev, float H, float Value, float Chi,
               float ChiP, float ClipHigh, float ClipLow);
  // Index -1 appends a new peak first, -2 is the last peak; other indices outside the list do
  // nothing.
  void SetPeak(bool Raw, int32_t Index, float Mean, float Dev, float H);
  void DeletePeak(int32_t Index);
  void ReadPeaksFromGrid(const StringTable& Grid);

  // Reports
  // Pairs this channel contributes to the report table: the longer of Comp and Base.
  int32_t ReportPairCount() const;
  // One TAB-ended column of the protocol's channel table. PairRows is the largest
  // ReportPairCount of all channels, so every channel writes the same rows; a channel with
  // fewer pairs writes empty cells. With Header the row labels are appended to Lines; without,
  // Lines must already hold those rows (ERangeError otherwise).
  void AddToReport(std::vector<std::string>& Lines, bool Header, int32_t PairRows) const;
  std::string CSVSummaryLine(bool Header, bool Extended) const;

  // Persistence. SaveToStream sets SavedGenotype from Genotype first. The record has one pair
  // count: the longer of Comp and Base, the shorter padded with (0, 0).
  void SaveToStream(TStream& Stream);
  // On failure shows "Error reading protocol from stream" and rethrows; the channel is then
  // unchanged. Owner and ParameterIndex are kept.
  void LoadFromStream(TStream& Stream);
  // The "Version 2" layout; errors pass to the caller and leave the channel unchanged.
  void LoadFromStreamV2(TStream& Stream);

 private:
  explicit TChannel(TChannelOwner* AOwner) : Owner(AOwner) {}
  void ReadRecord(TStream& Stream);
  void ReadRecordV2(TStream& Stream);
};

}  // namespace qv
