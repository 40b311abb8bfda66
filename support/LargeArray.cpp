#include "LargeArray.h"

#include "Threads.h"

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace qv {

namespace {

constexpr size_t HugePage = size_t{2} << 20;

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
constexpr bool Mapped = true;
#else
// The sanitizers track heap blocks only; they get ordinary allocations.
constexpr bool Mapped = false;
#endif

size_t RoundUp(size_t Bytes, size_t Unit) { return (Bytes + Unit - 1) / Unit * Unit; }

}  // namespace

void* AllocateLarge(size_t Bytes) {
  if (Bytes == 0) Bytes = 1;
#if defined(__linux__)
  if (Mapped && Bytes >= HugePage) {
    if (Bytes > SIZE_MAX - 2 * HugePage) throw std::bad_alloc();
    // Over-map by one huge page and trim both ends so the block starts on a 2 MB boundary.
    const size_t Length = RoundUp(Bytes, HugePage);
    const size_t Span = Length + HugePage;
    void* Raw = mmap(nullptr, Span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (Raw == MAP_FAILED) throw std::bad_alloc();
    const uintptr_t Start = reinterpret_cast<uintptr_t>(Raw);
    const uintptr_t Aligned = RoundUp(Start, HugePage);
    if (Aligned > Start) munmap(Raw, Aligned - Start);
    const uintptr_t End = Aligned + Length;
    if (Start + Span > End) munmap(reinterpret_cast<void*>(End), Start + Span - End);
    void* Block = reinterpret_cast<void*>(Aligned);
    madvise(Block, Length, MADV_HUGEPAGE);
    return Block;
  }
#endif
  void* Block = std::malloc(Bytes);
  if (!Block) throw std::bad_alloc();
  return Block;
}

void FreeLarge(void* Block, size_t Bytes) noexcept {
  if (!Block) return;
  if (Bytes == 0) Bytes = 1;
#if defined(__linux__)
  if (Mapped && Bytes >= HugePage) {
    munmap(Block, RoundUp(Bytes, HugePage));
    return;
  }
#endif
  std::free(Block);
}

void AdviseHugePages(void* Block, size_t Bytes) noexcept {
#if defined(__linux__)
  if (!Mapped || !Block) return;
  const uintptr_t Start = RoundUp(reinterpret_cast<uintptr_t>(Block), HugePage);
  const uintptr_t End = (reinterpret_cast<uintptr_t>(Block) + Bytes) / HugePage * HugePage;
  if (End > Start) madvise(reinterpret_cast<void*>(Start), End - Start, MADV_HUGEPAGE);
#else
  (void)Block;
  (void)Bytes;
#endif
}

void FaultIn(void* Block, size_t Bytes, int32_t Threads) {
  const TBlockSpan One{Block, Bytes};
  FaultIn(std::span<const TBlockSpan>(&One, 1), Threads);
}

namespace {

// Pieces end on 2 MB boundaries of the address, so no two share a huge page.
struct TFaultPiece {
  char* Start;
  size_t Bytes;
};

std::vector<TFaultPiece> FaultPieces(std::span<const TBlockSpan> Blocks) {
  std::vector<TFaultPiece> Pieces;
  for (const TBlockSpan& B : Blocks) {
    if (!B.Block || B.Bytes == 0) continue;
    char* const Start = static_cast<char*>(B.Block);
    const uintptr_t First = reinterpret_cast<uintptr_t>(Start);
    size_t At = 0;
    for (size_t Next = std::min(B.Bytes, RoundUp(First + 1, HugePage) - First); At < B.Bytes;
         At = Next, Next = std::min(B.Bytes, Next + HugePage))
      Pieces.push_back({Start + At, Next - At});
  }
  return Pieces;
}

void FaultPiece(const TFaultPiece& Piece) {
  for (size_t At = 0; At < Piece.Bytes; At += 4096) *static_cast<volatile char*>(Piece.Start + At) = 0;
  *static_cast<volatile char*>(Piece.Start + Piece.Bytes - 1) = 0;
}

}  // namespace

void FaultIn(std::span<const TBlockSpan> Blocks, int32_t Threads) {
  const std::vector<TFaultPiece> Pieces = FaultPieces(Blocks);
  ParallelFor(Pieces.size(), 1, Threads, [&](size_t Begin, size_t End) {
    for (size_t p = Begin; p < End; ++p) FaultPiece(Pieces[p]);
  });
}

void FaultIn(std::span<const TBlockSpan> Blocks, int32_t Threads, const std::function<void()>& Tick,
             std::chrono::milliseconds Interval) {
  const std::vector<TFaultPiece> Pieces = FaultPieces(Blocks);
  RunTasksTicking(Pieces.size(), Threads, [&](size_t p) { FaultPiece(Pieces[p]); }, Tick, Interval);
}

}  // namespace qv
