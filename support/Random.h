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

// x mod N for 64-bit x and 0 < N < 2^32 by a multiplication: the quotient estimated with the
// precomputed floor((2^64 - 1) / N) is short by at most 2, and the remainder is corrected.
class TDivider {
 public:
  explicit TDivider(uint64_t N) : FN(N), FInverse(N > 0 ? ~uint64_t{0} / N : 0) {}
  uint64_t Remainder(uint64_t X) const {
    const uint64_t Quotient = static_cast<uint64_t>((static_cast<unsigned __int128>(X) * FInverse) >> 64);
    uint64_t R = X - Quotient * FN;
    while (R >= FN) R -= FN;
    return R;
  }

 private:
  uint64_t FN;
  uint64_t FInverse;
};

// Repeated RandomInt(N) for one N: the same values from the same draws of the generator,
// without a division per value.
class TRandomIntDraws {
 public:
  explicit TRandomIntDraws(int32_t N)
      : FGenerator(RandomGenerator()),
        FN(N > 0 ? static_cast<uint64_t>(N) : 1),
        FLimit(~uint64_t{0} - ~uint64_t{0} % FN),
        FDivider(FN),
        FZero(N <= 0) {}
  int32_t operator()() {
    if (FZero) return 0;
    uint64_t X;
    do {
      X = FGenerator();
    } while (X >= FLimit);
    return static_cast<int32_t>(FDivider.Remainder(X));
  }

 private:
  std::mt19937_64& FGenerator;
  uint64_t FN;
  uint64_t FLimit;
  TDivider FDivider;
  bool FZero;
};

}  // namespace qv
