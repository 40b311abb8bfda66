#pragma once
// The one process-wide pseudo-random generator. It is seeded from the clock at start-up, so
// results that draw random numbers differ from run to run; tests call Randomize(seed).
#include <cstdint>
#include <random>

namespace qv {

// Restarts the generator from Seed and empties the cached Gaussian deviate, so that a seeded
// run draws the same sequence of uniform and Gaussian values every time.
void Randomize(uint64_t Seed);

// Uniform on 0..N-1 without modulo bias; 0 when N <= 0.
int32_t RandomInt(int32_t N);

// Uniform on [0, 1), with 53 random bits.
double Random01();

// The generator itself, for code that needs raw 64-bit draws.
std::mt19937_64& RandomGenerator();

}  // namespace qv
