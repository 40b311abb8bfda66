#include "protocol/GlobalGate.h"

#include <algorithm>
#include <cmath>

#include "Errors.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "protocol/Records.h"

namespace qv {

TGlobalGate::TGlobalGate(const TGateInfo& Info, TProtocol* AOwner) : Owner(AOwner) { SetInfo(Info); }

std::unique_ptr<TGlobalGate> TGlobalGate::CreateFromStream(TStream& Stream, TProtocol* AOwner,
                                                           int32_t FileVersion) {
  std::unique_ptr<TGlobalGate> Gate(new TGlobalGate(AOwner));
  if (FileVersion == 2)
    Gate->LoadFromStreamV2(Stream);
  else
    Gate->LoadFromStream(Stream);
  return Gate;
}

std::unique_ptr<TGlobalGate> TGlobalGate::CreateCopy(const TGlobalGate& Source, TProtocol* AOwner) {
  TGateInfo Info;
  Source.GetInfo(Info);
  return std::make_unique<TGlobalGate>(Info, AOwner);
}

void TGlobalGate::GetInfo(TGateInfo& Info) const {
  Info.Active = Active;
  Info.Name = Name;
  Info.FCSName = FCSName;
  Info.FCSLabel = FCSLabel;
  Info.ExactFCSName = ExactFCSName;
  Info.ExactFCSLabel = ExactFCSLabel;
  Info.Scale = Scale;
  Info.DisplayMinimum = DisplayMinimum;
  Info.DisplayMaximum = DisplayMaximum;
  Info.Color = Color;
  Info.MinimumValue = MinimumValue;
  Info.MaximumValue = MaximumValue;
  Info.Minimum_Z = Minimum_Z;
  Info.Maximum_Z = Maximum_Z;
  Info.IsDynamic = IsDynamic;
  Info.ZOrder = ZOrder;
  Info.ClipHigh = ClipHigh;
  Info.ClipLow = ClipLow;
  Info.Mean = Mean;
  Info.Deviation = Deviation;
  Info.Cull = Cull;
}

void TGlobalGate::SetInfo(const TGateInfo& Info) {
  Active = Info.Active;
  Name = Info.Name;
  FCSName = Info.FCSName;
  FCSLabel = Info.FCSLabel;
  ExactFCSName = Info.ExactFCSName;
  ExactFCSLabel = Info.ExactFCSLabel;
  Scale = Info.Scale;
  DisplayMinimum = Info.DisplayMinimum;
  DisplayMaximum = Info.DisplayMaximum;
  Color = Info.Color;
  MinimumValue = Info.MinimumValue;
  MaximumValue = Info.MaximumValue;
  Minimum_Z = Info.Minimum_Z;
  Maximum_Z = Info.Maximum_Z;
  IsDynamic = Info.IsDynamic;
  ZOrder = Info.ZOrder;
  ClipHigh = Info.ClipHigh;
  ClipLow = Info.ClipLow;
  Mean = Info.Mean;
  Deviation = Info.Deviation;
  Cull = Info.Cull;
}

void TGlobalGate::AddToReport(std::vector<std::string>& Lines, bool Header) const {
  if (Header) {
    Lines.clear();
    for (const char* Label : {"Name", "Color", "MinimumValue", "MaximumValue", "IsDynamic", "Minimum_Z",
                              "Maximum_Z", "ZOrder", "ClipHigh", "ClipLow", "Mean", "Deviation"})
      Lines.push_back(std::string(Label) + "\t");
    return;
  }
  if (Lines.size() < 12) throw RangeCheckError();
  const std::string Values[12] = {Name,
                                  IntToStr(Color),
                                  FormatFloat("###0.0", MinimumValue),
                                  FormatFloat("###0.0", MaximumValue),
                                  BoolText[IsDynamic],
                                  FormatFloat("###0.00", Minimum_Z),
                                  FormatFloat("###0.00", Maximum_Z),
                                  IntToStr(ZOrder),
                                  FormatFloat("###0.00", ClipHigh),
                                  FormatFloat("###0.00", ClipLow),
                                  FormatFloat("###0.00", Mean),
                                  FormatFloat("###0.00", Deviation)};
  for (size_t r = 0; r < 12; ++r) Lines[r] += Values[r] + "\t";
}

void TGlobalGate::SaveToStream(TStream& Stream) const {
  RequireFinite({DisplayMinimum, DisplayMaximum, MinimumValue, MaximumValue, Minimum_Z, Maximum_Z, ClipHigh, ClipLow,
                 Mean, Deviation},
                "Gate", Name);
  WriteInt32(Stream, RecordVersion);
  WriteBool(Stream, Active);
  WriteInt32(Stream, Color);
  WriteInt32(Stream, Scale);
  WriteSingle(Stream, DisplayMinimum);
  WriteSingle(Stream, DisplayMaximum);
  WriteMatch(Stream);
  WriteStreamString(Name, Stream);
  WriteSingle(Stream, MinimumValue);
  WriteSingle(Stream, MaximumValue);
  WriteSingle(Stream, Minimum_Z);
  WriteSingle(Stream, Maximum_Z);
  WriteBool(Stream, IsDynamic);
  WriteSingle(Stream, ClipHigh);
  WriteSingle(Stream, ClipLow);
  WriteSingle(Stream, Mean);
  WriteSingle(Stream, Deviation);
  WriteInt32(Stream, ZOrder);
  WriteBool(Stream, Cull);
}

void TGlobalGate::LoadFromStream(TStream& Stream) {
  TGlobalGate Loaded(Owner);
  Loaded.ReadRecord(Stream);
  Loaded.ParameterIndex = ParameterIndex;
  *this = std::move(Loaded);
}

void TGlobalGate::LoadFromStreamV2(TStream& Stream) {
  TGlobalGate Loaded(Owner);
  Loaded.ReadRecordV2(Stream);
  Loaded.ParameterIndex = ParameterIndex;
  *this = std::move(Loaded);
}

// Reads into a fresh gate; the caller keeps it only when the whole record was read.
void TGlobalGate::ReadRecord(TStream& Stream) {
  const int32_t v = ReadRecordVersion(Stream, 1, RecordVersion, "gate");
  if (v < 8) SkipBytes(Stream, 4);
  if (v >= 4) {
    Active = ReadBool(Stream);
    Color = ReadInt32(Stream);
    Scale = ReadInt32(Stream);
    if (v >= 7) {
      DisplayMinimum = ReadNumber(Stream);
      DisplayMaximum = ReadNumber(Stream);
    } else {
      DisplayMinimum = 0.0f;
      DisplayMaximum = Scale == 0 ? 4.0f : 65535.0f;
    }
    if (Scale > 1) Scale = 1;
  } else {
    Active = true;
    Color = 0;
    Scale = 0;
    DisplayMinimum = 0.0f;
    DisplayMaximum = 0.0f;
  }
  if (v >= 5) {
    ReadMatch(Stream);
  } else {
    SetExact();
  }
  if (v <= 6 && Scale == 1 && FCSName == "PW") DisplayMaximum = 256.0f;
  if (v == 6) SkipBytes(Stream, 2 * 4);
  Name = ReadStreamString(Stream);
  MinimumValue = ReadNumber(Stream);
  MaximumValue = ReadNumber(Stream);
  Minimum_Z = ReadNumber(Stream);
  Maximum_Z = ReadNumber(Stream);
  IsDynamic = ReadBool(Stream);
  ClipHigh = ReadNumber(Stream);
  ClipLow = ReadNumber(Stream);
  Mean = ReadNumber(Stream);
  Deviation = ReadNumber(Stream);
  ZOrder = ReadInt32(Stream);
  Cull = v >= 8 ? ReadBool(Stream) : false;
}

void TGlobalGate::ReadRecordV2(TStream& Stream) {
  const int32_t Identifier = ReadInt32(Stream);
  if (Identifier < -6 || Identifier > -1)
    throw EReadError("Unknown gate parameter " + IntToStr(Identifier));
  Name = ReadStreamString(Stream);
  Active = true;
  DisplayMinimum = 1.0f;
  Scale = ParameterLogFlag(Identifier) ? 0 : 1;
  DisplayMaximum = 65536.0f;
  MinimumValue = ReadNumber(Stream);
  MaximumValue = ReadNumber(Stream);
  Minimum_Z = ReadNumber(Stream);
  Maximum_Z = ReadNumber(Stream);
  IsDynamic = ReadBool(Stream);
  SkipBytes(Stream, 1);
  ClipHigh = ReadNumber(Stream);
  ClipLow = ReadNumber(Stream);
  Mean = ReadNumber(Stream);
  Deviation = ReadNumber(Stream);
  SkipBytes(Stream, 2 * 4);
  ZOrder = ReadInt32(Stream);
  SkipBytes(Stream, 10);
  SkipBytes(Stream, 10 * 4);
  Cull = false;
  Color = 0;
  ExactFCSName = false;
  ExactFCSLabel = false;
}

}  // namespace qv
