#pragma once
// The user's analysis protocol: channels, global gates, spill-over filters and genotypes, the
// spill-over and compensation matrices of its channels, class names, and its file.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "protocol/Channel.h"
#include "protocol/ChannelFilters.h"
#include "protocol/GenotypeSet.h"
#include "protocol/GlobalGate.h"
#include "LinearAlgebra.h"
#include "Streams.h"
#include "Types.h"

namespace qv {

// The protocol page's notes memo and name panel.
struct TProtocolNotesView {
  std::string Notes;
  std::string NamePanel;
};

// A combo box's contents: its items, the text it shows and the selected item (-1 none).
struct TComboItems {
  TStringArray Items;
  std::string Text;
  int32_t ItemIndex = -1;
};

class TProtocol : public TChannelOwner {
 public:
  static constexpr int32_t CurrentFileVersion = 9;
  // Class numbers are 16-bit over 2^n patterns.
  static constexpr int32_t MaxChannels = 15;
  // Every gate gets a detector of HistogramBinCount bins in each data set; protocols hold a
  // handful (the protocol page makes at most 99), so a file declaring more is refused.
  static constexpr int32_t MaxGates = 1000;
  static constexpr const char* Header = "Quorvenal Protocol";
  static constexpr const char* HeaderV2 = "Quorvenal Protocol Version 2";

  // An empty protocol; with a file name, LoadFromFile.
  explicit TProtocol(const std::string& AFileName = "");
  virtual ~TProtocol();
  TProtocol(const TProtocol&) = delete;
  TProtocol& operator=(const TProtocol&) = delete;

  // Reads a protocol record at the stream's position; shows "Not a Valid Protocol File" (and
  // nothing the record readers would say) and answers null when it cannot be read.
  static std::unique_ptr<TProtocol> CreateFromStream(TStream& Stream);
  // Every field but FileVersion.
  static std::unique_ptr<TProtocol> CreateCopy(const TProtocol& Source);
  // Reads a protocol file into a new protocol; shows "Not a valid protocol file" and answers
  // null when the file cannot be read, so the caller's protocol stays as it is.
  static std::unique_ptr<TProtocol> OpenFile(const std::string& FileName);

  int32_t FileVersion = 0;
  std::string FileName;
  std::vector<std::unique_ptr<TGlobalGate>> Gates;
  std::vector<std::unique_ptr<TChannel>> Channels;
  std::unique_ptr<TGenotypeSet> Genotypes;
  std::unique_ptr<TChannelFilters> Filters;
  std::string Notes;
  TMatrix SpilloverMatrix;
  TMatrix CompensationMatrix;
  TStringArray ClassNames;
  bool ScoreSingles = false;
  bool ScoreDoubles = false;
  float LikelihoodThreshold = 0;

  // Channels, gates and genotypes. AddChannel and AddGate throw ERangeError past MaxChannels
  // and MaxGates.
  int32_t AddChannel(std::unique_ptr<TChannel> Channel);
  void AddGate(std::unique_ptr<TGlobalGate> Gate);
  int32_t ChannelCount() const { return static_cast<int32_t>(Channels.size()); }
  int32_t GateCount() const { return static_cast<int32_t>(Gates.size()); }
  int32_t GenotypeCount() const { return Genotypes->Count(); }
  TChannel* GetChannel(int32_t Index) const;
  TGlobalGate* GetGate(int32_t Index) const;
  TGenotype* GetGenotype(int32_t Index) const { return Genotypes->GetGenotype(Index); }
  void GetChannelName(int32_t Index, std::string& Name) const;
  int32_t GetChannelColor(int32_t Index) const;
  void GetChannelTags(std::string& Text) const;
  // The letter that names each channel in class codes: the first of its tag, "?" when empty.
  std::string ChannelLetters() const;
  int32_t FirstCullGate() const;
  int32_t AddGenotype(const std::string& Name, int32_t ChannelIndex, int32_t PeakIndex);
  void DeleteGenotype(int32_t Index) { Genotypes->Delete(Index); }
  void MoveGenotype(int32_t Index, bool Up) { Genotypes->Move(Index, Up); }
  void FixGenotypePeaks() { Genotypes->FixPeaks(); }
  void EnsureGenotypes();
  void GenotypeNameTexts(std::string& Names, std::string& ChannelNames) const;

  // Channel settings in bulk; each setter answers whether a channel changed.
  void SetChannelsForceMean(bool Value);
  bool SetChannelsMinimumValueThreshold(float Value);
  bool SetChannelsMaximumValueThreshold(float Value);
  bool SetChannelsMinimumValueZScore(float Value);
  bool SetChannelsMaximumValueZScore(float Value);
  bool SetChannelsMinimumZ(float Value);
  bool SetChannelsMaximumZ(float Value);
  void GetBaselines(TSglArray& Values) const;
  // Values must hold one value per channel (ERangeError otherwise, nothing changed).
  void SetBaselines(const TSglArray& Values);
  void SetGateStatistics(int32_t Index, float Mean, float Deviation);
  // Pairs must hold one pair per channel (ERangeError otherwise, nothing changed).
  void SetCompPairColumn(int32_t SourceIndex, const TCompensationArray& Pairs, bool IsComp);
  void SetCompPairMatrix(const TFullCompensationArray& Pairs, bool IsComp);
  // Accepts an n x n matrix with entries in 0..100 as the channels' Comp means.
  bool SetCompensationMatrix(const TMatrix& Matrix);

  // Spill-over from the Comp pairs (perturbed by their deviations when Perturb) and its
  // inverse. When the inversion fails the compensation matrix is emptied and false returned.
  bool BuildCompensationMatrix(bool Perturb, const TInversionOptions& Inversion = TInversionOptions::FromSettings());
  // Tries perturbed matrices on one event's raw values (n x 1) and keeps the product with the
  // smallest EventResidual in Compensated; the inversion settings are read once for all tries.
  void CompensateDynamic(const TMatrix& Raw, TMatrix& Compensated, int32_t Tries,
                         const TInversionOptions& Inversion = TInversionOptions::FromSettings());
  float EventResidual(const TMatrix& Values) const;
  // The same on one value per channel.
  float EventResidual(std::span<const float> Values) const;
  // Turns Y/N patterns into class codes of the channels' letters.
  void BuildClassNames(TStringArray& List) const;

  void ShowNotes(TProtocolNotesView& View) const;
  void ReadNotes(const TProtocolNotesView& View) { Notes = View.Notes; }

  // The protocol file.
  void WriteToStream(TStream& Stream, bool Rewind);
  void SaveToStream(TStream& Stream) { WriteToStream(Stream, false); }
  // Written through a temporary file; errors reach the caller and leave the old file.
  void SaveToFile(const std::string& AFileName);
  // Reads into a fresh protocol and takes it over only on success; answers false otherwise
  // and leaves this protocol as it was. A record declaring more channels or gates than a
  // protocol holds is refused before anything is sized by it; LastRefusal() then says so.
  bool LoadFromStream(TStream& Stream, bool Rewind);
  // A missing file is ignored; a folder, pipe, device or link to nothing is refused before
  // opening, naming the reason; an unreadable one shows "Not a valid protocol file", one past
  // a cap a message naming the file and the cap.
  bool LoadFromFile(const std::string& AFileName);
  // Why the last LoadFromStream refused its record when a count passed its cap ("it declares
  // 2000 gates; a protocol holds at most 1000"); empty otherwise.
  const std::string& LastRefusal() const { return FReadRefusal; }

  // Writes the channel names into row 0 of a grid of ChannelCount + 1 columns.
  void FillChannelHeaderRow(StringTable& Grid) const override;

  // Reports and displays (reports/ProtocolReports.cpp); texts are lines joined with CR LF.
  void InformationReport(std::string& Text) const;
  // Each channel's CSV summary, last channel first.
  void ChannelSettingsRow(bool Header, bool Extended, std::string& Text) const;
  // "Class", then List's Y/N patterns as class codes, each line followed by Separator (in double
  // quotes before a comma) and ended CR LF. List is not changed.
  void ClassListText(const TStringArray& List, char Separator, std::string& Text) const;
  // "Channel" + Separator, then CR LF + each channel name + Separator; no line break at the end.
  void ChannelHeader(char Separator, std::string& Text) const;
  void FillChannelGrid(StringTable& Grid) const;
  void FillGateGrid(StringTable& Grid) const;
  void FillGenotypeCombo(TComboItems& Combo) const;
  void FillGenotypeGrid(StringTable& Grid) const;
  // Names in column 0; the values only when the compensation matrix is n x n.
  void FillCompensationGrid(StringTable& Grid) const;
  void FillChannelCombo(TComboItems& Combo) const;

 private:
  std::string FReadRefusal;
  bool ReadCurrent(TStream& Stream);
  bool ReadV2(TStream& Stream);
  void TakeOver(TProtocol& Source);
  void RebuildClassNames();
  template <typename F>
  bool SetOnChannels(float Value, F Field);
};

}  // namespace qv
