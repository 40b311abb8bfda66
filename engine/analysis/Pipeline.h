#pragma once
// The analysis a data set gets when it is created: compensation, detector set-up with fitted
// curves, and classification, in that order.
#include <cstdint>

#include "Host.h"

namespace qv {

class TFCSData;
class TProtocol;

// Mode as TFCSData::Compensate takes it. Errors of any stage pass to the caller.
void AnalyseDataSet(TFCSData& Data, TProtocol& Protocol, int32_t Mode, Progress* Gauge);

}  // namespace qv
