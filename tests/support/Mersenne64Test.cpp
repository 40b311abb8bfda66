#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "GaussianDeviate.h"
#include "Mersenne64.h"

namespace qv {
namespace {

std::mt19937_64 At(uint64_t Seed, uint64_t Drawn) {
  std::mt19937_64 G(Seed);
  G.discard(Drawn);
  return G;
}

// Whether two engines draw the same numbers from here on (the next two blocks and more); their
// states may be written differently.
bool SameAhead(std::mt19937_64 A, std::mt19937_64 B) {
  for (int i = 0; i < 700; ++i)
    if (A() != B()) return false;
  return true;
}

// Started anywhere in a block, the engine draws what the library's engine draws, one at a time
// and in runs that cross the ends of blocks, and hands back a library engine at its place: before
// its first block ends, at the end of a block and inside later ones.
TEST(Mersenne64Test, SameSequenceAndPlaceAsTheLibrary) {
  const uint64_t Starts[] = {0, 1, 155, 311, 312, 313, 5000};
  const size_t Runs[] = {1, 3, 4, 7, 156, 311, 312, 313, 1000};
  for (const uint64_t Start : Starts) {
    std::mt19937_64 Library = At(Start + 7, Start);
    TMersenne64 Engine(Library);
    EXPECT_TRUE(SameAhead(Engine.Standard(), Library)) << "start " << Start;
    for (int Round = 0; Round < 3; ++Round) {
      for (const size_t Run : Runs) {
        std::vector<float> Fast(Run);
        Engine.Uniforms(Fast.data(), Run);
        for (size_t i = 0; i < Run; ++i)
          ASSERT_EQ(Fast[i], GaussUniform(Library())) << "start " << Start << ", run " << Run << ", draw " << i;
        ASSERT_TRUE(SameAhead(Engine.Standard(), Library)) << "start " << Start << ", run " << Run;
        for (int i = 0; i < 5; ++i) ASSERT_EQ(Engine(), Library());
      }
    }
  }
}

TEST(Mersenne64Test, BlockStepsForThisProcessorEqualTheBaseline) {
  std::mt19937_64 G(11);
  uint64_t Old[TMersenne64::Words], Fast[TMersenne64::Words], Plain[TMersenne64::Words];
  for (int Round = 0; Round < 20; ++Round) {
    for (uint64_t& W : Old) W = G();
    mersenne::Twist(Old, Fast);
    mersenne::TwistBaseline(Old, Plain);
    ASSERT_TRUE(std::equal(Fast, Fast + TMersenne64::Words, Plain));
    for (const size_t Count : {size_t{0}, size_t{1}, size_t{3}, size_t{5}, size_t{8}, TMersenne64::Words}) {
      std::vector<float> A(Count), B(Count);
      mersenne::Uniforms(Old, A.data(), Count);
      mersenne::UniformsBaseline(Old, B.data(), Count);
      ASSERT_EQ(A, B) << Count;
    }
  }
}

TEST(Mersenne64Test, UntemperInvertsTemper) {
  std::mt19937_64 G(3);
  for (int i = 0; i < 100000; ++i) {
    const uint64_t X = G();
    ASSERT_EQ(TMersenne64::Untemper(TMersenne64::Temper(X)), X);
  }
}

}  // namespace
}  // namespace qv
