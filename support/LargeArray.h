#pragma once
// Storage for arrays of millions of values. Blocks of 2 MB and more are mapped directly, aligned
// to 2 MB and advised for transparent huge pages, so the kernel faults them in 512 times fewer
// steps than 4 KB pages; nothing is zero-filled by us, so every page is touched once, by the
// code that writes its values (the stages that fill the large arrays do so on several threads,
// each faulting in the pages it writes). Smaller blocks come from the ordinary heap.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

namespace qv {

// Bytes uninitialised, suitably aligned for any scalar type; throws std::bad_alloc. Memory of a
// large block reads as zero until written (fresh pages from the kernel).
void* AllocateLarge(size_t Bytes);
// Frees a block of AllocateLarge given the same byte count.
void FreeLarge(void* Block, size_t Bytes) noexcept;
// Advises the whole 2 MB pages inside an allocated block that nothing has touched yet for
// transparent huge pages (no effect elsewhere or where the system has none).
void AdviseHugePages(void* Block, size_t Bytes) noexcept;
// Faults in the pages of Bytes bytes from Block on up to Threads threads, 2 MB a piece, by
// writing a zero byte into each page: for memory whose values are all written afterwards. Pages
// the kernel gives zeroed are faulted side by side instead of one after another, each by one
// thread (threads filling neighbouring ranges of one huge page would otherwise wait for each
// other's fault).
void FaultIn(void* Block, size_t Bytes, int32_t Threads);
// The same for several blocks at once, their pieces shared out together.
struct TBlockSpan {
  void* Block = nullptr;
  size_t Bytes = 0;
};
void FaultIn(std::span<const TBlockSpan> Blocks, int32_t Threads);
// The same on worker threads while the calling thread calls Tick about every Interval (see
// RunTasksTicking), so that a window stays answered while hundreds of megabytes are faulted in.
void FaultIn(std::span<const TBlockSpan> Blocks, int32_t Threads, const std::function<void()>& Tick,
             std::chrono::milliseconds Interval);

// A growable array of trivially copyable values on AllocateLarge. Unlike std::vector it can grow
// without writing the new values (ResizeForOverwrite), for arrays whose every value is written
// before it is read.
template <class T>
class TLargeVector {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  TLargeVector() = default;
  TLargeVector(const TLargeVector& Other) { *this = Other; }
  TLargeVector(TLargeVector&& Other) noexcept { swap(Other); }
  TLargeVector& operator=(const TLargeVector& Other) {
    if (this != &Other) {
      ResizeForOverwrite(Other.FSize);
      if (FSize) std::memcpy(FData, Other.FData, FSize * sizeof(T));
    }
    return *this;
  }
  TLargeVector& operator=(TLargeVector&& Other) noexcept {
    TLargeVector(std::move(Other)).swap(*this);
    return *this;
  }
  ~TLargeVector() { Release(); }

  void swap(TLargeVector& Other) noexcept {
    std::swap(FData, Other.FData);
    std::swap(FSize, Other.FSize);
    std::swap(FCapacity, Other.FCapacity);
  }

  size_t size() const { return FSize; }
  size_t capacity() const { return FCapacity; }
  bool empty() const { return FSize == 0; }
  T* data() { return FData; }
  const T* data() const { return FData; }
  T& operator[](size_t i) { return FData[i]; }
  const T& operator[](size_t i) const { return FData[i]; }
  T* begin() { return FData; }
  T* end() { return FData + FSize; }
  const T* begin() const { return FData; }
  const T* end() const { return FData + FSize; }

  void reserve(size_t Count) {
    if (Count > FCapacity) Reallocate(Count);
  }
  // New values are value-initialised (zero for scalars).
  void resize(size_t Count) {
    const size_t Old = FSize;
    ResizeForOverwrite(Count);
    for (size_t i = Old; i < Count; ++i) new (FData + i) T();
  }
  // New values are left as the memory holds them; the caller writes each before reading it.
  void ResizeForOverwrite(size_t Count) {
    if (Count > FCapacity) Reallocate(std::max(Count, FSize < Count && FSize > 0 ? FSize + FSize / 2 : Count));
    FSize = Count;
  }
  // Empties the array and releases its memory.
  void clear() {
    Release();
    FSize = FCapacity = 0;
  }

 private:
  void Reallocate(size_t Capacity) {
    if (Capacity > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    T* Fresh = static_cast<T*>(AllocateLarge(Capacity * sizeof(T)));
    if (FSize) std::memcpy(Fresh, FData, FSize * sizeof(T));
    Release();
    FData = Fresh;
    FCapacity = Capacity;
  }
  void Release() noexcept {
    if (FData) FreeLarge(FData, FCapacity * sizeof(T));
    FData = nullptr;
  }

  T* FData = nullptr;
  size_t FSize = 0;
  size_t FCapacity = 0;
};

}  // namespace qv
