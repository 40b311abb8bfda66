#pragma once
// Dynamic compensation of a data set's events: for each event, last first, a number of trials
// that perturb the spill-over pairs by Gaussian deviates of their deviations, invert the
// perturbed matrix and keep the product with the smallest residual. The deviates are drawn from
// the process-wide generator in exactly the order of one trial after another, event by event, so
// a seed gives the same values whatever the thread count. With several threads one thread takes
// the raw draws in that order while the others find the accepted pairs among them and compute
// the trials of blocks of events; results are committed in event order, and an error in a block
// reruns that block on the calling thread from the generator state at its start, so values, the
// error and the generator end as they would sequentially.
#include <cstdint>

#include "dataset/Event.h"
#include "Host.h"
#include "Types.h"

namespace qv {

class TProtocol;

struct TDynamicCompensationOptions {
  int32_t Tries = 0;          // trials per event
  int32_t Threads = 1;        // 1: every trial on the calling thread
  int32_t BlockEvents = 0;    // events per block of threaded work; 0 chooses from the trial cost
  int32_t SegmentDraws = 0;   // raw draws handed over at a time when threaded (even); 0: 16384
  bool SmallQuadrants = true;       // MxSmallQuadrants
  bool AlternateInversion = true;   // MxAlternateInversion
  float Floor = 0;            // raw values below it give a compensated value of 1
};

// A perturbed spill-over value: (Mean + Deviate x Deviation) / 100, summed and divided in
// Extended and rounded to float, as the trials of the protocol compute it.
float PerturbedSpill(float Mean, float Deviate, float Deviation);

// Static is the protocol's unperturbed compensation matrix (HaveStatic false when it cannot be
// built), used for events that hold no compensated values yet. The protocol's own matrices are
// not touched. Gauge: position and pump every 100 events.
void CompensateDynamicEvents(TFCSLineArray& Events, const TProtocol& Protocol, const TMatrix& Static, bool HaveStatic,
                             const TDynamicCompensationOptions& Options, Progress* Gauge);

}  // namespace qv
