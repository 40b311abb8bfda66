#include "fitness/FitnessShared.h"

#include "Globals.h"
#include "NumberFormat.h"

namespace qv {

TDataLoadOptions FitnessLoadOptions(Progress* Gauge) {
  TDataLoadOptions Options;
  Options.Gauge = Gauge;
  Options.LoadEvents = true;
  Options.Compensate = true;
  Options.BuildShortLines = true;
  Options.DetectorsAndClassify = false;
  Options.FitCurves = false;
  Options.Mode = CompensationMode;
  return Options;
}

bool HasEvents(const TFCSData& Data) { return !Data.Events.empty() || !Data.ShortLines.empty(); }

int32_t RecordCount(const TFCSData& Data) {
  return static_cast<int32_t>(Data.ShortLines.empty() ? Data.Events.size() : Data.ShortLines.size());
}

bool ApplyZOverrides(const TFitnessFileSet& FileSet, const std::array<TProtocol*, 4>& Protocols) {
  bool Changed = false;
  const auto Apply = [&](bool Flag, float Value, bool (TProtocol::*Set)(float)) {
    if (!Flag) return;
    for (TProtocol* P : Protocols) Changed = (P->*Set)(Value) || Changed;
  };
  Apply(FileSet.ReassignMaxZ, FileSet.MaxZ, &TProtocol::SetChannelsMaximumZ);
  Apply(FileSet.ReassignMinZ, FileSet.MinZ, &TProtocol::SetChannelsMinimumZ);
  Apply(FileSet.ReassignMaxZGate, FileSet.MaxZGate, &TProtocol::SetChannelsMaximumValueZScore);
  Apply(FileSet.ReassignMinZGate, FileSet.MinZGate, &TProtocol::SetChannelsMinimumValueZScore);
  return Changed;
}

bool FileSetFilesDiffer(const TFitnessFileSet& A, const TFitnessFileSet& B) {
  return A.Folder != B.Folder || A.Expected != B.Expected || A.Observed != B.Observed;
}

std::string FormatFloatDot(const std::string& Mask, Extended Value) {
  std::string S = FormatFloat(Mask, Value);
  const char Sep = DecimalSeparator();
  if (Sep != '.')
    for (char& C : S)
      if (C == Sep) C = '.';
  return S;
}

}  // namespace qv
