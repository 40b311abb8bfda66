#pragma once
// Packing in blocks on the worker pool. The result is one zlib stream (deflate at level 9, 15-bit
// window, Adler-32) that any zlib reader takes: each block is deflated on its own with the 32 KB
// before it as its dictionary and ends on a byte boundary (a sync flush; the last one finishes
// the stream), the blocks are joined behind one zlib header and their checksums combined. Block
// boundaries are fixed by the offsets alone, so the packed bytes are the same on any number of
// threads; only a few blocks per thread are held at once.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace qv {

class TStream;

// Plain bytes per block.
constexpr size_t DeflateBlockSize = 128 << 10;

// Writes the plain bytes [Offset, Offset + Count) into Into. Called on several threads at once,
// for ranges that overlap by up to 32 KB; may throw.
using TPlainSource = std::function<void(int64_t Offset, size_t Count, uint8_t* Into)>;
// The plain bytes packed so far; called on the calling thread only.
using TPackedSoFar = std::function<void(int64_t Done)>;

// Writes the zlib stream of Size plain bytes to Out on up to Threads threads (ThreadCount() when
// 0). Errors of Source, Moved or Out reach the caller (EInOutError when compression fails).
void DeflateInBlocks(int64_t Size, const TPlainSource& Source, TStream& Out, const TPackedSoFar& Moved = {},
                     int32_t Threads = 0);

}  // namespace qv
