#include "analysis/Pipeline.h"

#include "Files.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/Protocol.h"

namespace qv {

void AnalyseDataSet(TFCSData& Data, TProtocol& Protocol, int32_t Mode, Progress* Gauge) {
  Data.Compensate(Protocol, Gauge, Mode);
  Data.SetDetectors(Protocol, Gauge, true);
  Data.Classify(Protocol);
}

std::unique_ptr<TFCSData> TFCSData::Create(const TFCSFile& File, int32_t Mode, bool NoAnalysis, Progress* Gauge,
                                           TProtocol* Protocol) {
  auto Data = std::make_unique<TFCSData>();
  Data->SourceName = File.FileName;
  Data->FileNames = ExtractFileName(File.FileName) + "\r\n";
  Data->Parameters = std::make_unique<TParameterSet>(&File.Parameters);
  PostRefresh();
  if (!Protocol) return Data;
  Data->CullGate = Protocol->FirstCullGate();
  if (!Data->MatchChannels(File, *Protocol, Gauge)) return Data;
  if (!Data->LoadEvents(File, *Protocol, Gauge)) {
    HostMessages().Error(ReadError);
    return Data;
  }
  if (!NoAnalysis) AnalyseDataSet(*Data, *Protocol, Mode, Gauge);
  return Data;
}

}  // namespace qv
