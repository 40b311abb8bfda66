#pragma once
// One bootstrap replicate of a sample drawn from its class counts alone. Drawing Draws events
// with replacement from a sample and counting their classes gives a multinomial split of Draws
// with the sample's class fractions; drawing that split directly costs microseconds instead of
// one random draw per event.
#include <cstdint>

#include "Types.h"

namespace qv {

// Replicate[c] for every class c of Counts, summing to Draws; all zeros when Counts sums to 0 or
// Draws <= 0. Negative counts throw ERangeError. Draws from the process-wide generator.
void MultinomialReplicate(const TIntArray& Counts, int32_t Draws, TIntArray& Replicate);

}  // namespace qv
