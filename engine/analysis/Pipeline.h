#pragma once
// The analysis a data set gets when it is created: compensation, detector set-up with fitted
// curves, and classification, in that order.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Host.h"

namespace qv {

class TFCSData;
class TProtocol;
struct TCullSettings;

// Mode as TFCSData::Compensate takes it. Errors of any stage pass to the caller.
void AnalyseDataSet(TFCSData& Data, TProtocol& Protocol, int32_t Mode, Progress* Gauge);

// Files of Folder read into one set as the reading page merges them (TFCSData::CreateFromFiles:
// failures, gauges and the continue flag as there), then compensated in Mode over Gauge. Null
// when no file was taken.
std::unique_ptr<TFCSData> MergeFCSFiles(const std::string& Folder, const std::vector<std::string>& Names,
                                        TProtocol& Protocol, int32_t Mode, const TCullSettings& Cull,
                                        Progress* Gauge, Progress* FileGauge, const bool* ContinueFlag);

}  // namespace qv
