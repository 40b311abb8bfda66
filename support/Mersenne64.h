#pragma once
// The process-wide generator's sequence (std::mt19937_64) drawn in bulk. A thread that does
// nothing but draw (dynamic compensation's) spends most of its time in the library's one draw at
// a time; this engine twists and tempers whole blocks of the state side by side and gives the
// same numbers in the same order. It starts where a std::mt19937_64 stands and can hand back one
// that stands where it does.
#include <cstddef>
#include <cstdint>
#include <random>

namespace qv {

class TMersenne64 {
 public:
  static constexpr size_t Words = 312;
  using result_type = uint64_t;
  static constexpr result_type min() { return 0; }
  static constexpr result_type max() { return ~uint64_t{0}; }

  // At the place of Generator in its sequence (of a default-constructed one without).
  explicit TMersenne64(const std::mt19937_64& Generator);
  TMersenne64() : TMersenne64(std::mt19937_64()) {}

  result_type operator()() {
    if (FNext == Words) Twist();
    if (!FHavePrevious) ++FSinceOrigin;
    return Temper(FBlocks[FCurrent][FNext++]);
  }
  // GaussUniform of each of the next Count draws.
  void Uniforms(float* Out, size_t Count);
  // A std::mt19937_64 at this engine's place in the sequence.
  std::mt19937_64 Standard() const;

  static uint64_t Temper(uint64_t Z) {
    Z ^= (Z >> 29) & 0x5555555555555555ULL;
    Z ^= (Z << 17) & 0x71D67FFFEDA60000ULL;
    Z ^= (Z << 37) & 0xFFF7EEE000000000ULL;
    return Z ^ (Z >> 43);
  }
  // The state word that Temper turns into Z.
  static uint64_t Untemper(uint64_t Z);

 private:
  // The next block of state words from the current one, which is kept as the previous block.
  void Twist();
  // The current block of state words (FNext of them drawn) and the one it was twisted from,
  // once a block has been twisted here; until then the generator this engine started from and
  // the draws made since stand in for the previous block.
  uint64_t FBlocks[2][Words];
  int FCurrent = 0;
  size_t FNext = 0;
  bool FHavePrevious = false;
  std::mt19937_64 FOrigin;
  uint64_t FSinceOrigin = 0;
};

// The block steps, built for the baseline instruction set and as TMersenne64 runs them on this
// processor, for the tests that hold them equal.
namespace mersenne {
void TwistBaseline(const uint64_t* Old, uint64_t* New);
void Twist(const uint64_t* Old, uint64_t* New);
void UniformsBaseline(const uint64_t* Words, float* Out, size_t Count);
void Uniforms(const uint64_t* Words, float* Out, size_t Count);
}  // namespace mersenne

}  // namespace qv
