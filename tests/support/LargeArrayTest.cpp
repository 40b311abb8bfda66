#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

#include "LargeArray.h"

namespace qv {
namespace {

TEST(LargeArray, GrowsKeepsValuesAndZeroesOnlyWhatResizeAdds) {
  TLargeVector<int32_t> V;
  V.resize(10);
  for (int32_t x : V) EXPECT_EQ(x, 0);
  std::iota(V.begin(), V.end(), 1);
  // Past the size that is mapped in 2 MB pages, and back down.
  const size_t Big = (size_t{3} << 20) / sizeof(int32_t) + 5;
  V.ResizeForOverwrite(Big);
  for (size_t i = 10; i < Big; ++i) V[i] = static_cast<int32_t>(i + 1);
  EXPECT_EQ(V.size(), Big);
  for (size_t i = 0; i < Big; ++i) ASSERT_EQ(V[i], static_cast<int32_t>(i + 1));
  V.resize(Big + 3);
  EXPECT_EQ(V[Big], 0);
  EXPECT_EQ(V[Big + 2], 0);

  TLargeVector<int32_t> Copy = V;
  EXPECT_TRUE(std::equal(Copy.begin(), Copy.end(), V.begin(), V.end()));
  TLargeVector<int32_t> Moved = std::move(Copy);
  EXPECT_EQ(Moved.size(), Big + 3);
  EXPECT_TRUE(Copy.empty());

  // Appending one at a time grows geometrically.
  TLargeVector<uint8_t> Bytes;
  size_t Reallocations = 0, Capacity = 0;
  for (size_t i = 0; i < 100000; ++i) {
    Bytes.resize(Bytes.size() + 1);
    if (Bytes.capacity() != Capacity) ++Reallocations, Capacity = Bytes.capacity();
  }
  EXPECT_LT(Reallocations, 40u);
  V.clear();
  EXPECT_EQ(V.capacity(), 0u);
}

TEST(LargeArray, LargeBlocksAreAlignedForHugePages) {
  void* Block = AllocateLarge(size_t{5} << 20);
  static_cast<char*>(Block)[(size_t{5} << 20) - 1] = 1;
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
  EXPECT_EQ(reinterpret_cast<uintptr_t>(Block) % (size_t{2} << 20), 0u);
#endif
  FreeLarge(Block, size_t{5} << 20);
}

}  // namespace
}  // namespace qv
