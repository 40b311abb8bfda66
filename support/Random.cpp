#include "Random.h"

#include <chrono>
#include <limits>

#include "Statistics.h"

namespace qv {

namespace {

uint64_t ClockSeed() {
  const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  return static_cast<uint64_t>(now) ^ 0x9E3779B97F4A7C15ull;
}

}  // namespace

std::mt19937_64& RandomGenerator() {
  // Function-local so that it is seeded before any static initialiser can draw from it.
  static std::mt19937_64 generator(ClockSeed());
  return generator;
}

void Randomize(uint64_t Seed) {
  RandomGenerator().seed(Seed);
  ClearGaussCache();
}

int32_t RandomInt(int32_t N) {
  if (N <= 0) return 0;
  const uint64_t n = static_cast<uint64_t>(N);
  // Reject the top partial block of 2^64 so that every residue is equally likely.
  const uint64_t limit = std::numeric_limits<uint64_t>::max() - std::numeric_limits<uint64_t>::max() % n;
  uint64_t x;
  do {
    x = RandomGenerator()();
  } while (x >= limit);
  return static_cast<int32_t>(x % n);
}

double Random01() {
  return static_cast<double>(RandomGenerator()() >> 11) * 0x1.0p-53;
}

}  // namespace qv
