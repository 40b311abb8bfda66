#include "fcs/ParameterSet.h"

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <unordered_map>

#include "NumberFormat.h"
#include "TextUtils.h"

namespace qv {

bool TryStrToFloatDot(std::string_view Text, Extended& Value) {
  std::string T = Trim(Text);
  // Check the whole syntax first: from_chars alone would also take "inf", "nan" and hex.
  size_t i = 0;
  if (i < T.size() && (T[i] == '+' || T[i] == '-')) ++i;
  size_t MantissaDigits = 0;
  while (i < T.size() && T[i] >= '0' && T[i] <= '9') ++i, ++MantissaDigits;
  if (i < T.size() && T[i] == '.') {
    ++i;
    while (i < T.size() && T[i] >= '0' && T[i] <= '9') ++i, ++MantissaDigits;
  }
  if (MantissaDigits == 0) return false;
  if (i < T.size() && (T[i] == 'e' || T[i] == 'E')) {
    ++i;
    if (i < T.size() && (T[i] == '+' || T[i] == '-')) ++i;
    size_t ExponentDigits = 0;
    while (i < T.size() && T[i] >= '0' && T[i] <= '9') ++i, ++ExponentDigits;
    if (ExponentDigits == 0) return false;
  }
  if (i != T.size()) return false;
  const char* First = T.data();
  if (*First == '+') ++First;  // from_chars takes no plus sign
  long double Result = 0;
  auto [Ptr, Ec] = std::from_chars(First, T.data() + T.size(), Result, std::chars_format::general);
  if (Ec != std::errc() || Ptr != T.data() + T.size() || !std::isfinite(Result)) return false;
  Value = Result;
  return true;
}

bool TryStrToSingleDot(std::string_view Text, float& Value) {
  Extended V = 0;
  if (!TryStrToFloatDot(Text, V) || std::fabs(V) > static_cast<Extended>(FLT_MAX)) return false;
  Value = static_cast<float>(V);
  return true;
}

namespace {

int32_t TextToInt(const std::string& Value) { return StrToIntDef(Value, 0); }

float TextToFloat(const std::string& Value) {
  float Result = 0;
  return TryStrToSingleDot(Value, Result) ? Result : 0.0f;
}

void TextToPair(const std::string& Value, float& First, float& Second) {
  First = 0;
  Second = 0;
  size_t Comma = Value.find(',');
  if (Comma == std::string::npos) return;
  if (!TryStrToSingleDot(std::string_view(Value).substr(0, Comma), First)) {
    First = 0;
    return;
  }
  if (!TryStrToSingleDot(std::string_view(Value).substr(Comma + 1), Second)) Second = 0;
}

// Name (trimmed, upper case) -> trimmed value of its earliest line.
class TKeywordIndex {
 public:
  explicit TKeywordIndex(const std::vector<std::string>& Lines) {
    FValues.reserve(Lines.size());
    for (const std::string& Line : Lines) {
      size_t Equals = Line.find('=');
      if (Equals == std::string::npos) continue;
      FValues.try_emplace(UpperCase(Trim(std::string_view(Line).substr(0, Equals))),
                          Trim(std::string_view(Line).substr(Equals + 1)));
    }
  }
  const std::string& Text(const std::string& Name) const {
    static const std::string Empty;
    auto It = FValues.find(UpperCase(Name));
    return It == FValues.end() ? Empty : It->second;
  }

 private:
  std::unordered_map<std::string, std::string> FValues;
};

}  // namespace

TParameterSet::TParameterSet(const TParameterSet* Source) {
  if (Source) Items = Source->Items;
}

void TParameterSet::LoadFromKeywords(const std::vector<std::string>& Keywords, int32_t Count) {
  Items.assign(static_cast<size_t>(std::max(Count, 0)), TParameter());
  TKeywordIndex Index(Keywords);
  for (int32_t n = Count; n >= 1; --n) {
    TParameter& P = Items[static_cast<size_t>(n - 1)];
    const std::string Prefix = "$P" + std::to_string(n);
    auto Text = [&](const char* Suffix) -> const std::string& { return Index.Text(Prefix + Suffix); };
    P.UseAsGate = false;
    P.UseAsChannel = false;
    P.Bytes = TextToInt(Text("B"));
    P.Filter = Text("F");
    P.Gain = TextToFloat(Text("G"));
    P.Wavelength = TextToFloat(Text("L"));
    P.ShortName = Text("N");
    P.Power = TextToFloat(Text("O"));
    P.PercentLight = TextToFloat(Text("P"));
    P.Range = TextToInt(Text("R"));
    P.LongName = Text("S");
    P.Voltage = TextToFloat(Text("V"));
    TextToPair(Text("E"), P.Decades, P.Minimum);
    P.IsLog = P.Decades > 0;
  }
}

void TParameterSet::GetParameter(int32_t Index, TParameter& Parameter) const {
  if (IsValidIndex(Index)) Parameter = Items[static_cast<size_t>(Index)];
}

int32_t TParameterSet::FindParameter(const std::string& LongName, const std::string& ShortName, bool ExactLong,
                                     bool ExactShort) const {
  auto Matches = [](const std::string& Wanted, const std::string& Name, bool Exact) {
    if (Wanted.empty()) return true;
    return Exact ? Name == Wanted : Name.find(Wanted) != std::string::npos;
  };
  for (int32_t i = Count() - 1; i >= 0; --i) {
    const TParameter& P = Items[static_cast<size_t>(i)];
    if (Matches(LongName, P.LongName, ExactLong) && Matches(ShortName, P.ShortName, ExactShort)) return i;
  }
  return -1;
}

std::string TParameterSet::CSVReport() const {
  auto F = [](float Value) { return FormatFloat("#0.0", Value); };
  std::string Text =
      "Idx,LongName,ShortName,Bytes,Range,Scale,Minimum,Decades,Filter,Gain,Wavelength,Power,PercentLight,"
      "DetectorType,Voltage\r\n";
  for (int32_t i = 0; i < Count(); ++i) {
    const TParameter& P = Items[static_cast<size_t>(i)];
    Text += IntToStr(i + 1) + "," + P.LongName + "," + P.ShortName + "," + IntToStr(P.Bytes) + "," +
            IntToStr(P.Range) + ",";
    Text += P.IsLog ? "Log," + F(P.Minimum) + "," + F(P.Decades) + "," : std::string("Linear,na,na,");
    Text += P.Filter + "," + F(P.Gain) + "," + F(P.Wavelength) + "," + F(P.Power) + "," + F(P.PercentLight) +
            "," + P.DetectorType + "," + F(P.Voltage) + "\r\n";
  }
  return Text;
}

StringTable TParameterSet::FillGrid() const {
  StringTable Grid;
  Grid.SetSize(3, Count() + 1);
  Grid.FixedRows = Count() > 0 ? 1 : 0;
  Grid.FixedCols = 2;
  for (int32_t i = 0; i < Count(); ++i) {
    const TParameter& P = Items[static_cast<size_t>(i)];
    Grid.SetCell(0, i + 1, P.LongName);
    Grid.SetCell(1, i + 1, P.ShortName);
    Grid.SetCell(2, i + 1, P.UseAsChannel ? "CHANNEL" : P.UseAsGate ? "GATE" : "--");
  }
  return Grid;
}

void TParameterSet::CycleSelection(int32_t Index) {
  if (!IsValidIndex(Index)) return;
  TParameter& P = Items[static_cast<size_t>(Index)];
  if (P.UseAsChannel) {
    P.UseAsChannel = false;
    P.UseAsGate = false;
  } else if (P.UseAsGate) {
    P.UseAsGate = false;
    P.UseAsChannel = true;
  } else {
    P.UseAsGate = true;
  }
}

int32_t TParameterSet::SelectedGateCount() const {
  int32_t N = 0;
  for (const TParameter& P : Items) N += P.UseAsGate ? 1 : 0;
  return N;
}

int32_t TParameterSet::SelectedChannelCount() const {
  int32_t N = 0;
  for (const TParameter& P : Items) N += P.UseAsChannel ? 1 : 0;
  return N;
}

std::string TParameterSet::GetKeywordText(std::string_view Name, const std::vector<std::string>& Keywords) {
  std::string Value;
  return FindNameValue(Keywords, Name, Value, true) ? Trim(Value) : std::string();
}

int32_t TParameterSet::GetKeywordInt(std::string_view Name, const std::vector<std::string>& Keywords) {
  return TextToInt(GetKeywordText(Name, Keywords));
}

float TParameterSet::GetKeywordFloat(std::string_view Name, const std::vector<std::string>& Keywords) {
  return TextToFloat(GetKeywordText(Name, Keywords));
}

void TParameterSet::GetKeywordPair(std::string_view Name, const std::vector<std::string>& Keywords, float& First,
                                   float& Second) {
  TextToPair(GetKeywordText(Name, Keywords), First, Second);
}

}  // namespace qv
