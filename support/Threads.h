#pragma once
// How many threads parallel work may use: QUORVENAL_THREADS from the environment when it is a
// positive number, otherwise every core. 1 means the sequential code.
#include <cstdint>

namespace qv {

int32_t ThreadCount();

}  // namespace qv
