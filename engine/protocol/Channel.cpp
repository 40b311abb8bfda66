#include "protocol/Channel.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

#include "ClassPatterns.h"
#include "Errors.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "TextUtils.h"
#include "protocol/Records.h"

namespace qv {

namespace {

const char* const ReadErrorText = "Error reading protocol from stream";

// Bytes of a peak as stored by each record version (the current one is 37).
size_t PeakRecordSize(int32_t Version) {
  size_t Size = 5 * 4;                // Mean, Dev, H, ClipHigh, ClipLow
  if (Version >= 7) Size += 1;        // Raw
  if (Version >= 8) Size += 4 + 4;    // Filter, Value
  if (Version >= 9) Size += 4 + 4;    // Chi, ChiP
  return Size;
}

// Smallest number of bytes one compensation pair takes in a record of this version, so that
// the pair count can be checked against what remains before anything is allocated.
size_t PairRecordSize(int32_t Version) {
  size_t Size = 4;                    // Comp mean
  if (Version >= 4) Size += 4;        // Comp deviation
  if (Version >= 5) Size += 8;        // Base pair
  if (Version <= 5) Size += 4;        // the old per-pair string, at least its length
  return Size;
}

// Grid cells hold what the user typed: a value that does not fit a 32-bit float is no number.
bool TryCellToSingle(const std::string& Text, float& Value) {
  Extended V = 0;
  if (!TryStrToFloat(Text, V)) return false;
  if (!std::isfinite(V) || std::fabs(V) > static_cast<Extended>(FLT_MAX)) return false;
  Value = static_cast<float>(V);
  return true;
}

void FillPairGrid(StringTable& Grid, const TCompensationArray& Pairs, const TChannelOwner* Owner) {
  int32_t Cols = CheckedCount(Pairs.size()) + 1;
  if (Grid.ColCount() != Cols) Grid.SetColCount(Cols);
  Grid.SetRowCount(3);
  Grid.SetCell(0, 0, "");
  Grid.SetCell(0, 1, "Comp Mean");
  Grid.SetCell(0, 2, "Comp Var");
  if (Owner) Owner->FillChannelHeaderRow(Grid);
  for (int32_t i = 0; i < Cols - 1; ++i) {
    Grid.SetCell(i + 1, 1, FormatFloat("##0.00", Pairs[i].Mean));
    Grid.SetCell(i + 1, 2, FormatFloat("##0.00", Pairs[i].Deviation));
  }
}

void ReadPairGrid(const StringTable& Grid, TCompensationArray& Pairs) {
  Pairs.resize(static_cast<size_t>(std::max(0, Grid.ColCount() - 1)));
  for (int32_t i = static_cast<int32_t>(Pairs.size()) - 1; i >= 0; --i) {
    TCompensationPair Pair;
    bool Ok = true;
    for (int32_t Row = 1; Row <= 2 && Ok; ++Row) {
      const std::string& Text = Grid.Cell(i + 1, Row);
      float Value = 0;
      if (!Trim(Text).empty()) Ok = TryCellToSingle(Text, Value);
      (Row == 1 ? Pair.Mean : Pair.Deviation) = Value;
    }
    Pairs[i] = Ok ? Pair : TCompensationPair{};
  }
}

}  // namespace

TChannel::TChannel(const TChannelInfo& Info, TChannelOwner* AOwner) : Owner(AOwner) { SetInfo(Info); }

std::unique_ptr<TChannel> TChannel::CreateFromStream(TStream& Stream, TChannelOwner* AOwner,
                                                     int32_t FileVersion) {
  std::unique_ptr<TChannel> Channel(new TChannel(AOwner));
  if (FileVersion == 2)
    Channel->LoadFromStreamV2(Stream);
  else
    Channel->LoadFromStream(Stream);
  return Channel;
}

std::unique_ptr<TChannel> TChannel::CreateCopy(const TChannel& Source, TChannelOwner* AOwner) {
  std::unique_ptr<TChannel> Channel(new TChannel(Source));
  Channel->Owner = AOwner;
  Channel->ParameterIndex = -1;
  return Channel;
}

void TChannel::GetInfo(TChannelInfo& Info) const {
  Info.ChannelName = ChannelName;
  Info.ChannelTag = ChannelTag;
  Info.FCSName = FCSName;
  Info.FCSLabel = FCSLabel;
  Info.ExactFCSName = ExactFCSName;
  Info.ExactFCSLabel = ExactFCSLabel;
  Info.Scale = Scale;
  Info.DisplayMinimum = DisplayMinimum;
  Info.DisplayMaximum = DisplayMaximum;
  Info.Color = Color;
  Info.Minimum_Value_Threshold = Minimum_Value_Threshold;
  Info.Maximum_Value_Threshold = Maximum_Value_Threshold;
  Info.Minimum_Value_ZScore = Minimum_Value_ZScore;
  Info.MaximumValue_ZScore = MaximumValue_ZScore;
  Info.Minimum_Z = Minimum_Z;
  Info.Maximum_Z = Maximum_Z;
  Info.Notes = Notes;
  Info.ForceMean = ForceMean;
  Info.Genotype = Genotype;
  Info.Baseline = Baseline;

  if (Info.CompGrid) FillPairGrid(*Info.CompGrid, Comp, Owner);
  // Sized by its own pairs so that every pair shows and reads back.
  if (Info.BaseGrid) FillPairGrid(*Info.BaseGrid, Base, Owner);

  if (StringTable* Grid = Info.PeakGrid) {
    int32_t Rows = PeakCount() + 1;
    if (Grid->RowCount() != Rows) Grid->SetRowCount(Rows);
    Grid->FixedRows = Grid->RowCount() > 1 ? 1 : 0;
    Grid->SetColCount(10);
    static const char* const Titles[10] = {"",        "Mean",   "Dev",   "H",   "ClipHigh",
                                           "ClipLow", "Filter", "Value", "Chi", "ChiP"};
    for (int32_t c = 0; c < 10; ++c) Grid->SetCell(c, 0, Titles[c]);
    for (int32_t p = 0; p < PeakCount(); ++p) {
      const TPeak& Peak = Peaks[p];
      int32_t r = p + 1;
      Grid->SetCell(0, r, "Peak " + IntToStr(p));
      Grid->SetCell(1, r, FormatFloat("#0.00000", Peak.Mean));
      Grid->SetCell(2, r, FormatFloat("#0.00000", Peak.Dev));
      Grid->SetCell(3, r, FormatFloat("##0.0", Peak.H));
      Grid->SetCell(4, r, FormatFloat("#0.00", Peak.ClipHigh));
      Grid->SetCell(5, r, FormatFloat("#0.00", Peak.ClipLow));
      Grid->SetCell(6, r, IntToStr(Peak.Filter));
      Grid->SetCell(7, r, FormatFloat("###0.0", Peak.Value));
      Grid->SetCell(8, r, FormatFloat("###0.0", Peak.Chi));
      Grid->SetCell(9, r, FormatFloatByMagnitude("0.00e-", "0.00", 0.01, Peak.ChiP));
    }
  }
}

void TChannel::SetInfo(const TChannelInfo& Info) {
  ChannelName = Info.ChannelName;
  ChannelTag = Info.ChannelTag;
  FCSName = Info.FCSName;
  FCSLabel = Info.FCSLabel;
  ExactFCSName = Info.ExactFCSName;
  ExactFCSLabel = Info.ExactFCSLabel;
  Scale = Info.Scale;
  DisplayMinimum = Info.DisplayMinimum;
  DisplayMaximum = Info.DisplayMaximum;
  Color = Info.Color;
  Minimum_Value_Threshold = Info.Minimum_Value_Threshold;
  Maximum_Value_Threshold = Info.Maximum_Value_Threshold;
  Minimum_Value_ZScore = Info.Minimum_Value_ZScore;
  MaximumValue_ZScore = Info.MaximumValue_ZScore;
  Minimum_Z = Info.Minimum_Z;
  Maximum_Z = Info.Maximum_Z;
  Notes = Info.Notes;
  ForceMean = Info.ForceMean;
  Genotype = Info.Genotype;
  Baseline = Info.Baseline;
  if (Info.CompGrid && Info.BaseGrid) ReadCompFromGrid(*Info.CompGrid, *Info.BaseGrid);
  if (Info.PeakGrid) ReadPeaksFromGrid(*Info.PeakGrid);
}

void TChannel::GetCompPair(int32_t Index, bool IsComp, TCompensationPair& Pair) const {
  const TCompensationArray& Pairs = IsComp ? Comp : Base;
  if (Index >= 0 && static_cast<size_t>(Index) < Pairs.size())
    Pair = Pairs[Index];
  else
    Pair = TCompensationPair{};
}

void TChannel::SetCompPair(int32_t Index, const TCompensationPair& Pair, bool IsComp) {
  if (Index < 0) throw RangeCheckError();
  TCompensationArray& Pairs = IsComp ? Comp : Base;
  if (Pairs.size() <= static_cast<size_t>(Index)) Pairs.resize(static_cast<size_t>(Index) + 1);
  Pairs[Index] = Pair;
}

void TChannel::ReadCompFromGrid(const StringTable& CompGrid, const StringTable& BaseGrid) {
  ReadPairGrid(CompGrid, Comp);
  ReadPairGrid(BaseGrid, Base);
}

void TChannel::GetPeak(int32_t Index, TPeak& Peak) const {
  if (Index >= 0 && Index < PeakCount()) Peak = Peaks[Index];
}

void TChannel::AddPeak(bool Raw, int32_t Filter, float Mean, float Dev, float H, float Value,
                       float Chi, float ChiP, float ClipHigh, float ClipLow) {
  TPeak Peak;
  Peak.Mean = Mean;
  Peak.Dev = Dev;
  Peak.H = H;
  Peak.ClipHigh = ClipHigh;
  Peak.ClipLow = ClipLow;
  Peak.Raw = Raw;
  Peak.Filter = Filter;
  Peak.Value = Value;
  Peak.Chi = Chi;
  Peak.ChiP = ChiP;
  Peaks.push_back(Peak);
}

void TChannel::SetPeak(bool Raw, int32_t Index, float Mean, float Dev, float H) {
  if (Index == -1) {
    Peaks.emplace_back();
    Index = PeakCount() - 1;
  } else if (Index == -2) {
    Index = PeakCount() - 1;
  }
  if (Index < 0 || Index >= PeakCount()) return;
  TPeak& Peak = Peaks[Index];
  Peak.Mean = Mean;
  Peak.Dev = Dev;
  Peak.H = H;
  Peak.Raw = Raw;
  if (Peak.ClipHigh == 0 && Peak.ClipLow == 0) {
    Peak.ClipHigh = 2.0f;
    Peak.ClipLow = -2.0f;
  }
}

void TChannel::DeletePeak(int32_t Index) {
  if (Index < 0 || Index >= PeakCount()) return;
  Peaks.erase(Peaks.begin() + Index);
}

void TChannel::ReadPeaksFromGrid(const StringTable& Grid) {
  Peaks.resize(static_cast<size_t>(std::max(0, Grid.RowCount() - 1)));
  for (int32_t p = PeakCount() - 1; p >= 0; --p) {
    TPeak& Peak = Peaks[p];
    float* const Floats[10] = {nullptr,       &Peak.Mean, &Peak.Dev,   &Peak.H,   &Peak.ClipHigh,
                               &Peak.ClipLow, nullptr,    &Peak.Value, &Peak.Chi, &Peak.ChiP};
    for (int32_t Col = 1; Col <= 9; ++Col) {
      const std::string& Text = Grid.Cell(Col, p + 1);
      if (Col == 6) {
        int32_t Filter = 0;
        if (!TryStrToInt(Text, Filter)) break;
        Peak.Filter = Filter;
      } else {
        float Value = 0;
        if (!TryCellToSingle(Text, Value)) break;
        *Floats[Col] = Value;
      }
    }
  }
}

int32_t TChannel::ReportPairCount() const { return CheckedCount(std::max(Comp.size(), Base.size())); }

void TChannel::AddToReport(std::vector<std::string>& Lines, bool Header, int32_t PairRows) const {
  const size_t N = static_cast<size_t>(std::max(0, PairRows));
  if (Header) {
    for (const char* Label :
         {"ChannelName", "ChannelTag", "Color", "Minimum_Value_Threshold", "Maximum_Value_Threshold",
          "Minimum_Value_ZScore", "MaximumValue_ZScore", "Minimum_Z", "Maximum_Z", "ForceMean",
          "DefaultMean", "DefaultDeviation", "ClipHigh", "ClipLow", "SavedGenotype", "Genotype"})
      Lines.push_back(std::string(Label) + "\t");
    for (const char* Label : {"Comp_Mean", "Comp_Dev", "Base_Mean", "Base_Dev"})
      for (size_t k = 1; k <= N; ++k) Lines.push_back(std::string(Label) + " Ch_" + IntToStr(k) + "\t");
    return;
  }
  if (Lines.size() < 16 + 4 * N) throw RangeCheckError();
  TPeak Peak0;
  GetPeak(0, Peak0);
  const std::string Values[16] = {ChannelName,
                                  ChannelTag,
                                  IntToStr(Color),
                                  FormatFloat("####0.0", Minimum_Value_Threshold),
                                  FormatFloat("####0.0", Maximum_Value_Threshold),
                                  FormatFloat("####0.0", Minimum_Value_ZScore),
                                  FormatFloat("####0.0", MaximumValue_ZScore),
                                  FormatFloat("####0.00", Minimum_Z),
                                  FormatFloat("####0.00", Maximum_Z),
                                  BoolText[ForceMean],
                                  FormatFloat("####0.0000", Peak0.Mean),
                                  FormatFloat("####0.0000", Peak0.Dev),
                                  FormatFloat("####0.00", Peak0.ClipHigh),
                                  FormatFloat("####0.00", Peak0.ClipLow),
                                  BoolText[SavedGenotype],
                                  "\"" + Genotype + "\""};
  for (size_t r = 0; r < 16; ++r) Lines[r] += Values[r] + "\t";
  auto Cell = [](const TCompensationArray& Pairs, size_t i, bool Mean) -> std::string {
    if (i >= Pairs.size()) return "";
    return FormatFloat("##0.000", Mean ? Pairs[i].Mean : Pairs[i].Deviation);
  };
  for (size_t i = 0; i < N; ++i) {
    Lines[16 + i] += Cell(Comp, i, true) + "\t";
    Lines[16 + N + i] += Cell(Comp, i, false) + "\t";
    Lines[16 + 2 * N + i] += Cell(Base, i, true) + "\t";
    Lines[16 + 3 * N + i] += Cell(Base, i, false) + "\t";
  }
}

std::string TChannel::CSVSummaryLine(bool Header, bool Extended) const {
  if (Header) {
    std::string Text = "Channel, Mean, Deviation,";
    if (Extended)
      Text += "ForceMean, MinValue_Thresh, MaxValue_Thresh, MinValue_Z, MaxValue_Z, MinimumZ, "
              "MaximumZ, ClipLow, ClipHigh,";
    return Text;
  }
  TPeak Peak0;
  GetPeak(0, Peak0);
  std::string Text = "\"" + ChannelName + "\",";
  Text += FormatFloat("#0.0000", Peak0.Mean) + ",";
  Text += FormatFloat("#0.0000", Peak0.Dev) + ",";
  if (Extended) {
    Text += std::string(BoolText[ForceMean]) + ",";
    for (float Value : {Minimum_Value_Threshold, Maximum_Value_Threshold, Minimum_Value_ZScore,
                        MaximumValue_ZScore, Minimum_Z, Maximum_Z, Peak0.ClipLow, Peak0.ClipHigh})
      Text += FormatFloat("#0.0000", Value) + ",";
  }
  return Text;
}

void TChannel::SaveToStream(TStream& Stream) {
  RequireFinite({DisplayMinimum, DisplayMaximum, Minimum_Value_Threshold, Maximum_Value_Threshold, Minimum_Z,
                 Maximum_Z, Minimum_Value_ZScore, MaximumValue_ZScore, Baseline},
                "Channel", ChannelName);
  for (const TCompensationArray* Pairs : {&Comp, &Base})
    for (const TCompensationPair& Pair : *Pairs) RequireFinite({Pair.Mean, Pair.Deviation}, "Channel", ChannelName);
  for (const TPeak& Peak : Peaks)
    RequireFinite({Peak.Mean, Peak.Dev, Peak.H, Peak.ClipHigh, Peak.ClipLow, Peak.Value, Peak.Chi, Peak.ChiP},
                  "Channel", ChannelName);
  const int32_t N = CheckedCount(std::max(Comp.size(), Base.size()));
  const int32_t M = CheckedCount(Peaks.size());

  SavedGenotype = !Genotype.empty();
  WriteInt32(Stream, RecordVersion);
  WriteStreamString(ChannelName, Stream);
  WriteStreamString(ChannelTag, Stream);
  WriteMatch(Stream);
  WriteInt32(Stream, Scale);
  WriteSingle(Stream, DisplayMinimum);
  WriteSingle(Stream, DisplayMaximum);
  WriteInt32(Stream, Color);
  WriteSingle(Stream, Minimum_Value_Threshold);
  WriteSingle(Stream, Maximum_Value_Threshold);
  WriteSingle(Stream, Minimum_Z);
  WriteSingle(Stream, Maximum_Z);
  WriteSingle(Stream, Minimum_Value_ZScore);
  WriteSingle(Stream, MaximumValue_ZScore);
  WriteBool(Stream, ForceMean);
  WriteBool(Stream, SavedGenotype);
  WriteSingle(Stream, Baseline);
  WriteInt32(Stream, N);
  TCompensationPair Pair;
  for (int32_t i = N - 1; i >= 0; --i) {
    GetCompPair(i, true, Pair);
    WriteSingle(Stream, Pair.Mean);
  }
  for (int32_t i = N - 1; i >= 0; --i) {
    GetCompPair(i, true, Pair);
    WriteSingle(Stream, Pair.Deviation);
  }
  for (int32_t i = N - 1; i >= 0; --i) {
    GetCompPair(i, false, Pair);
    WriteSingle(Stream, Pair.Mean);
    WriteSingle(Stream, Pair.Deviation);
  }
  WriteStreamString(Notes, Stream);
  if (SavedGenotype) WriteStreamString(Genotype, Stream);
  WriteInt32(Stream, M);
  for (int32_t i = M - 1; i >= 0; --i) {
    const TPeak& Peak = Peaks[i];
    WriteSingle(Stream, Peak.Mean);
    WriteSingle(Stream, Peak.Dev);
    WriteSingle(Stream, Peak.H);
    WriteSingle(Stream, Peak.ClipHigh);
    WriteSingle(Stream, Peak.ClipLow);
    WriteBool(Stream, Peak.Raw);
    WriteInt32(Stream, Peak.Filter);
    WriteSingle(Stream, Peak.Value);
    WriteSingle(Stream, Peak.Chi);
    WriteSingle(Stream, Peak.ChiP);
  }
}

void TChannel::LoadFromStream(TStream& Stream) {
  TChannel Loaded(Owner);
  try {
    Loaded.ReadRecord(Stream);
  } catch (...) {
    HostMessages().Error(ReadErrorText);
    throw;
  }
  Loaded.ParameterIndex = ParameterIndex;
  *this = std::move(Loaded);
}

void TChannel::LoadFromStreamV2(TStream& Stream) {
  TChannel Loaded(Owner);
  Loaded.ReadRecordV2(Stream);
  Loaded.ParameterIndex = ParameterIndex;
  *this = std::move(Loaded);
}

// Reads into a fresh channel; the caller keeps it only when the whole record was read.
void TChannel::ReadRecord(TStream& Stream) {
  const int32_t v = ReadRecordVersion(Stream, OldestRecordVersion, RecordVersion, "channel");
  ChannelName = ReadStreamString(Stream);
  ChannelTag = ReadStreamString(Stream);
  if (v >= 10) {
    ReadMatch(Stream);
  } else {
    SetExact();
  }
  Scale = 0;
  DisplayMinimum = 0.0f;
  DisplayMaximum = 4.0f;
  if (v >= 13) {
    Scale = ReadInt32(Stream);
    DisplayMinimum = ReadNumber(Stream);
    DisplayMaximum = ReadNumber(Stream);
  } else if (v >= 11) {
    SkipBytes(Stream, 2 * 4);
    Scale = ReadInt32(Stream);
  }
  Color = ReadInt32(Stream);
  Minimum_Value_Threshold = ReadNumber(Stream);
  Maximum_Value_Threshold = ReadNumber(Stream);
  Minimum_Z = ReadNumber(Stream);
  Maximum_Z = ReadNumber(Stream);
  if (v <= 5) {
    Peaks.assign(1, TPeak{});
    Peaks[0].Mean = ReadNumber(Stream);
    Peaks[0].Dev = ReadNumber(Stream);
  }
  Minimum_Value_ZScore = ReadNumber(Stream);
  MaximumValue_ZScore = ReadNumber(Stream);
  if (v <= 5) {
    Peaks[0].ClipHigh = ReadNumber(Stream);
    Peaks[0].ClipLow = ReadNumber(Stream);
    Peaks[0].Filter = -1;
  }
  ForceMean = ReadBool(Stream);
  if (v >= 6) {
    SavedGenotype = ReadBool(Stream);
  } else {
    SkipBytes(Stream, 3);
    SavedGenotype = ReadBool(Stream);
    SkipBytes(Stream, 3 * 4);
  }
  Baseline = v >= 5 ? ReadNumber(Stream) : 0.0f;

  const int32_t N = ReadCount(Stream, PairRecordSize(v));
  Comp.assign(static_cast<size_t>(N), TCompensationPair{});
  for (int32_t i = N - 1; i >= 0; --i) Comp[i].Mean = ReadNumber(Stream);
  if (v >= 4)
    for (int32_t i = N - 1; i >= 0; --i) Comp[i].Deviation = ReadNumber(Stream);
  if (v >= 5) {
    Base.assign(static_cast<size_t>(N), TCompensationPair{});
    for (int32_t i = N - 1; i >= 0; --i) {
      Base[i].Mean = ReadNumber(Stream);
      Base[i].Deviation = ReadNumber(Stream);
    }
  } else {
    Base = Comp;
  }
  if (v <= 5)
    for (int32_t i = 0; i < N; ++i) ReadStreamString(Stream);
  Notes = ReadStreamString(Stream);
  Genotype = SavedGenotype ? ReadStreamString(Stream) : std::string();

  if (v >= 6) {
    const int32_t M = ReadCount(Stream, PeakRecordSize(v));
    Peaks.assign(static_cast<size_t>(M), TPeak{});
    for (int32_t i = M - 1; i >= 0; --i) {
      TPeak& Peak = Peaks[i];
      Peak.Filter = -1;
      Peak.Mean = ReadNumber(Stream);
      Peak.Dev = ReadNumber(Stream);
      Peak.H = ReadNumber(Stream);
      Peak.ClipHigh = ReadNumber(Stream);
      Peak.ClipLow = ReadNumber(Stream);
      if (v >= 7) Peak.Raw = ReadBool(Stream);
      if (v >= 8) {
        Peak.Filter = ReadInt32(Stream);
        Peak.Value = ReadNumber(Stream);
      }
      if (v >= 9) {
        Peak.Chi = ReadNumber(Stream);
        Peak.ChiP = ReadNumber(Stream);
      }
    }
  }
}

void TChannel::ReadRecordV2(TStream& Stream) {
  ChannelName = ReadStreamString(Stream);
  ChannelTag = ReadStreamString(Stream);
  Baseline = 0.0f;
  Scale = 0;
  DisplayMinimum = 0.0f;
  DisplayMaximum = 4.0f;
  Color = ReadInt32(Stream);
  Minimum_Value_Threshold = ReadNumber(Stream);
  Maximum_Value_Threshold = ReadNumber(Stream);
  Minimum_Z = ReadNumber(Stream);
  Maximum_Z = ReadNumber(Stream);
  Peaks.assign(1, TPeak{});
  Peaks[0].Mean = ReadNumber(Stream);
  Peaks[0].Dev = ReadNumber(Stream);
  Peaks[0].Filter = -1;
  SkipBytes(Stream, 2 * 4);
  Minimum_Value_ZScore = ReadNumber(Stream);
  MaximumValue_ZScore = ReadNumber(Stream);
  Peaks[0].ClipHigh = ReadNumber(Stream);
  Peaks[0].ClipLow = ReadNumber(Stream);
  SkipBytes(Stream, 1);
  ForceMean = ReadBool(Stream);
  SkipBytes(Stream, 3);
  SavedGenotype = ReadBool(Stream);
  SkipBytes(Stream, 5);
  SkipBytes(Stream, 10 * 4);
  const int32_t N = ReadCount(Stream, 4);
  Comp.assign(static_cast<size_t>(N), TCompensationPair{});
  for (int32_t i = N - 1; i >= 0; --i) Comp[i].Mean = ReadNumber(Stream);
  Base.assign(static_cast<size_t>(N), TCompensationPair{});
  for (int32_t i = 0; i < N; ++i) Base[i].Mean = Comp[i].Mean;
  Notes = ReadStreamString(Stream);
  Genotype = SavedGenotype ? ReadStreamString(Stream) : std::string();
  ExactFCSName = false;
  ExactFCSLabel = false;
}

}  // namespace qv
