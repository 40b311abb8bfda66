#pragma once
// Classification of events: the threshold class from the channels each event calls, and the
// relaxed and rigorous Z classes from the protocol's genotypes.
#include "Host.h"
#include "protocol/Genotype.h"

namespace qv {

class TFCSLineArray;
class TFCSShortLineArray;
class TProtocol;

struct TClassifyOptions {
  TLikelihoodOptions Likelihood;
  // The process-wide settings, read once.
  static TClassifyOptions FromSettings();
};

// Classifies the compact events when there are any (only their Z classes, and only with
// genotypes), else the full events. Pumps at its start; the gauge's maximum is the events'
// count, and it moves and pumps (on the calling thread) after each run of events classified.
void ClassifyEvents(TFCSLineArray& Events, TFCSShortLineArray& ShortLines, TProtocol& Protocol,
                    const TClassifyOptions& Options, Progress* Gauge);

}  // namespace qv
