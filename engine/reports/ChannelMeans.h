#pragma once
// The channel means report of the analysis report: per class of one class column, the mean and
// deviation of every compensated channel value, last class first, lines ended CR LF.
#include <cstdint>
#include <string>

#include "Types.h"

namespace qv {

class TFCSLineArray;
class TProtocol;

// An event of a class beyond ClassNames, or without compensated values, is a range error.
void ChannelMeansReport(const TFCSLineArray& Events, const TProtocol& Protocol, const TStringArray& ClassNames,
                        int32_t Column, std::string& Text);

}  // namespace qv
