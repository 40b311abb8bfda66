#pragma once
// The parameters of an FCS file (its $Pn keywords), one record per parameter.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Host.h"
#include "Types.h"

namespace qv {

class TProtocol;

// The per-parameter keywords of one FCS parameter.
struct TParameter {
  int32_t Range = 0;          // $PnR; 0 when missing or not an integer
  std::string ShortName;      // $PnN, trimmed
  int32_t Bytes = 0;          // $PnB (bits per value as the file declares them)
  std::string LongName;       // $PnS, trimmed
  bool IsLog = false;         // Decades > 0
  float Decades = 0;          // $PnE, first number
  float Minimum = 0;          // $PnE, second number; not used for scaling
  std::string Filter;         // $PnF, trimmed
  float Gain = 0;             // $PnG
  float Wavelength = 0;       // $PnL
  float Power = 0;            // $PnO
  float PercentLight = 0;     // $PnP
  std::string DetectorType;   // never read ($PnT); always empty
  float Voltage = 0;          // $PnV
  bool UseAsGate = false;     // the user's marks; at most one of them is set
  bool UseAsChannel = false;
};
using TParameterArray = std::vector<TParameter>;

class TParameterSet {
 public:
  TParameterSet() = default;
  // Create(Source): nullptr gives an empty set, otherwise an independent copy of Source.
  explicit TParameterSet(const TParameterSet* Source);

  TParameterArray Items;  // index 0 = parameter 1 of the file

  // Resizes to Count records and fills them from key=value lines ($P1N=FSC-H, ...): names are
  // trimmed and matched without regard to case, every line is searched (the first included),
  // the earliest line wins, values are trimmed, numbers use '.' whatever the locale.
  // Values that are missing or do not convert give 0 or empty; never throws.
  void LoadFromKeywords(const std::vector<std::string>& Keywords, int32_t Count);

  int32_t Count() const { return static_cast<int32_t>(Items.size()); }
  bool IsValidIndex(int32_t Index) const { return Index >= 0 && Index < Count(); }
  // Copies record Index into Parameter; an invalid index leaves Parameter untouched.
  void GetParameter(int32_t Index, TParameter& Parameter) const;

  // Highest index whose LongName ($PnS) and ShortName ($PnN) both match, -1 when none. An empty
  // name matches everything; exact: equal (case-sensitive); otherwise: a case-sensitive substring.
  int32_t FindParameter(const std::string& LongName, const std::string& ShortName, bool ExactLong,
                        bool ExactShort) const;

  // CSV text, lines ended by CR LF: a heading line and one line per parameter.
  std::string CSVReport() const;
  // Count + 1 rows (row 0 left for the caller's headings), 3 columns: LongName, ShortName and
  // "CHANNEL", "GATE" or "--"; one fixed row when Count > 0, two fixed columns.
  StringTable FillGrid() const;
  // "--" -> GATE -> CHANNEL -> "--"; an invalid index is ignored.
  void CycleSelection(int32_t Index);
  int32_t SelectedGateCount() const;
  int32_t SelectedChannelCount() const;
  // A new, unsaved protocol of the marked parameters: a global gate per GATE mark and a channel
  // per CHANNEL mark, both from the last parameter to the first, with unit compensation and one
  // default peak per channel (protocol/ProtocolFromParameters.cpp). More CHANNEL marks than a
  // protocol can hold build nothing: the user is told why and the result is null.
  std::unique_ptr<TProtocol> BuildProtocol() const;

  // Keyword lookups on key=value lines (trimmed names, any letter case, earliest line wins).
  static std::string GetKeywordText(std::string_view Name, const std::vector<std::string>& Keywords);  // trimmed, "" when missing
  static int32_t GetKeywordInt(std::string_view Name, const std::vector<std::string>& Keywords);       // 0 when missing or not an integer
  static float GetKeywordFloat(std::string_view Name, const std::vector<std::string>& Keywords);       // 0 when missing or not a number
  // "a,b": both 0 when missing or without a comma; b 0 when only a converts; both 0 when a does not.
  static void GetKeywordPair(std::string_view Name, const std::vector<std::string>& Keywords, float& First,
                             float& Second);
};

// Converts decimal text with '.' as the decimal separator whatever the process-wide setting
// (FCS keywords are written that way): blanks around, optional sign, digits with an optional
// fraction, optional exponent. False (Value untouched) when the text is anything else.
bool TryStrToFloatDot(std::string_view Text, Extended& Value);
// As above, for a value stored as a 32-bit float: false also when it does not fit one.
bool TryStrToSingleDot(std::string_view Text, float& Value);

}  // namespace qv
