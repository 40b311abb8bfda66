#include "analysis/Pipeline.h"

#include <new>

#include "Files.h"
#include "NumberFormat.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/Protocol.h"

namespace qv {

void AnalyseDataSet(TFCSData& Data, TProtocol& Protocol, int32_t Mode, Progress* Gauge) {
  Data.Compensate(Protocol, Gauge, Mode);
  Data.SetDetectors(Protocol, Gauge, true);
  Data.Classify(Protocol, Gauge);
}

std::unique_ptr<TFCSData> TFCSData::Create(const TFCSFile& File, int32_t Mode, bool NoAnalysis, Progress* Gauge,
                                           TProtocol* Protocol) {
  auto Data = std::make_unique<TFCSData>();
  Data->SourceName = File.FileName;
  Data->FileNames = ExtractFileName(File.FileName) + "\r\n";
  Data->Parameters = std::make_unique<TParameterSet>(&File.Parameters);
  PostRefresh();
  // A file that was not there gives no events; the user is told why.
  if (File.FileName.empty() && !File.MissingName.empty()) HostMessages().Error("File not found: " + File.MissingName);
  if (!Protocol) return Data;
  Data->CullGate = Protocol->FirstCullGate();
  if (!Data->MatchChannels(File, *Protocol, Gauge)) return Data;
  try {
    if (!Data->LoadEvents(File, *Protocol, Gauge)) {
      HostMessages().Error(ReadError);
      return Data;
    }
    if (!NoAnalysis) AnalyseDataSet(*Data, *Protocol, Mode, Gauge);
  } catch (const std::bad_alloc&) {
    // The half-built set goes with the exception; what it held is freed before the user is told.
    Data.reset();
    throw EFCSFileError(File.FileName, "not enough memory for " + IntToStr(File.EventCount) + " events.");
  }
  return Data;
}

}  // namespace qv
