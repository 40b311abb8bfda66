#pragma once
// The one process-wide pseudo-random generator. It is seeded from the clock at start-up, so
// results that draw random numbers differ from run to run; tests call Randomize(seed).
#include <algorithm>
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
    // Whether a correction is due is close to a coin toss for many N: masks, not branches.
    R -= FN & (uint64_t{0} - static_cast<uint64_t>(R >= FN));
    R -= FN & (uint64_t{0} - static_cast<uint64_t>(R >= FN));
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
  // Count values in a row, each handed to Take as it is drawn: the same values as Count calls.
  // Runs of raw draws first, then their remainders, so that neither loop runs short of
  // registers and the divider is not reloaded after every store of the generator.
  template <class Taker>
  void Draw(int32_t Count, Taker&& Take) {
    if (FZero) {
      for (int32_t i = 0; i < Count; ++i) Take(int32_t{0});
      return;
    }
    std::mt19937_64& Generator = FGenerator;
    const uint64_t Limit = FLimit;
    const TDivider Divider = FDivider;
    constexpr int32_t Run = 64;
    uint64_t Raw[Run];
    for (int32_t Done = 0; Done < Count;) {
      const int32_t n = std::min(Count - Done, Run);
      for (int32_t i = 0; i < n; ++i) {
        uint64_t X;
        do {
          X = Generator();
        } while (X >= Limit);
        Raw[i] = X;
      }
      for (int32_t i = 0; i < n; ++i) Take(static_cast<int32_t>(Divider.Remainder(Raw[i])));
      Done += n;
    }
  }

 private:
  std::mt19937_64& FGenerator;
  uint64_t FN;
  uint64_t FLimit;
  TDivider FDivider;
  bool FZero;
};

}  // namespace qv
