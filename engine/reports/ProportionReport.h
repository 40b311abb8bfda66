#pragma once
// The settings of the class make-up reports (TFCSData::ProportionReport), read once per report.
#include <cstdint>

namespace qv {

struct TProportionOptions {
  bool CalculateSSDPvalues = false;  // resampled SSD p values on the rigorous Z class
  int32_t SSDIterations = 0;
  float MaxZValue = 0;  // a genotype class's Z above it makes the data suspect
  static TProportionOptions FromSettings();
};

}  // namespace qv
