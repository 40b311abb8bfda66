#include "ParallelDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "Errors.h"
#include "Streams.h"
#include "Threads.h"

namespace qv {

namespace {

constexpr size_t Window = 32768;
// Blocks per thread in one round of work; the gauge moves after every round and whenever the
// calling thread finishes a block.
constexpr size_t BlocksPerThread = 4;

// A raw deflate stream at the zlib stream's settings.
class TDeflater {
 public:
  TDeflater() {
    const int Status = deflateInit2(&Z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    if (Status == Z_MEM_ERROR) throw std::bad_alloc();
    if (Status != Z_OK) throw EInOutError("Cannot start compression");
  }
  ~TDeflater() { deflateEnd(&Z); }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;
  z_stream Z{};
};

// One block's room: its dictionary and plain bytes, and what they pack to.
struct TSlot {
  std::unique_ptr<uint8_t[]> Plain = std::make_unique_for_overwrite<uint8_t[]>(Window + DeflateBlockSize);
  std::vector<uint8_t> Packed;
  uLong Adler = 1;
  size_t Length = 0;
};

// Packs Length bytes after Dictionary bytes of what came before them; every block but the last
// ends on a byte boundary with the stream still open.
void PackBlock(TSlot& Slot, size_t Dictionary, bool Last) {
  TDeflater D;
  z_stream& Z = D.Z;
  const uint8_t* Data = Slot.Plain.get() + Dictionary;
  if (Dictionary > 0 && deflateSetDictionary(&Z, Slot.Plain.get(), static_cast<uInt>(Dictionary)) != Z_OK)
    throw EInOutError("Compression failed");
  Slot.Adler = adler32_z(1, Data, Slot.Length);
  Slot.Packed.resize(deflateBound(&Z, static_cast<uLong>(Slot.Length)) + 16);
  Z.next_in = const_cast<Bytef*>(Data);
  Z.avail_in = static_cast<uInt>(Slot.Length);
  size_t Held = 0;
  for (;;) {
    Z.next_out = Slot.Packed.data() + Held;
    Z.avail_out = static_cast<uInt>(Slot.Packed.size() - Held);
    const int Status = deflate(&Z, Last ? Z_FINISH : Z_SYNC_FLUSH);
    Held = Slot.Packed.size() - Z.avail_out;
    if (Status == Z_STREAM_ERROR) throw EInOutError("Compression failed");
    if (Last ? Status == Z_STREAM_END : Z.avail_out != 0) break;
    Slot.Packed.resize(Slot.Packed.size() * 2);
  }
  Slot.Packed.resize(Held);
}

void WriteBigEndian32(TStream& Out, uint32_t Value) {
  const uint8_t Bytes[4] = {static_cast<uint8_t>(Value >> 24), static_cast<uint8_t>(Value >> 16),
                            static_cast<uint8_t>(Value >> 8), static_cast<uint8_t>(Value)};
  Out.Write(Bytes, 4);
}

}  // namespace

void DeflateInBlocks(int64_t Size, const TPlainSource& Source, TStream& Out, const TPackedSoFar& Moved,
                     int32_t Threads) {
  if (Size < 0) throw ERangeError("Negative size to pack");
  if (Threads <= 0) Threads = ThreadCount();
  const int64_t Block = static_cast<int64_t>(DeflateBlockSize);
  // An empty stream is one empty final block.
  const int64_t Blocks = std::max<int64_t>(1, (Size + Block - 1) / Block);
  const size_t PerRound = static_cast<size_t>(std::min<int64_t>(Blocks, static_cast<int64_t>(Threads) * BlocksPerThread));
  std::vector<TSlot> Slots(PerRound);
  // The zlib header of level 9 and a 32 KB window without a preset dictionary.
  const uint8_t Header[2] = {0x78, 0xDA};
  Out.Write(Header, 2);
  uLong Adler = 1;
  std::atomic<int64_t> Done{0};
  const std::thread::id Caller = std::this_thread::get_id();
  for (int64_t First = 0; First < Blocks; First += static_cast<int64_t>(PerRound)) {
    const size_t Count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(PerRound), Blocks - First));
    RunTasks(Count, Threads, [&](size_t i) {
      const int64_t B = First + static_cast<int64_t>(i);
      const int64_t Begin = B * Block;
      TSlot& Slot = Slots[i];
      Slot.Length = static_cast<size_t>(std::min(Block, Size - Begin));
      const size_t Dictionary = static_cast<size_t>(std::min<int64_t>(Begin, static_cast<int64_t>(Window)));
      Source(Begin - static_cast<int64_t>(Dictionary), Dictionary + Slot.Length, Slot.Plain.get());
      PackBlock(Slot, Dictionary, B == Blocks - 1);
      const int64_t Now = Done.fetch_add(static_cast<int64_t>(Slot.Length)) + static_cast<int64_t>(Slot.Length);
      if (Moved && std::this_thread::get_id() == Caller) Moved(Now);
    });
    for (size_t i = 0; i < Count; ++i) {
      Out.Write(Slots[i].Packed.data(), Slots[i].Packed.size());
      Adler = adler32_combine(Adler, Slots[i].Adler, static_cast<z_off_t>(Slots[i].Length));
    }
    if (Moved) Moved(Done.load());
  }
  WriteBigEndian32(Out, static_cast<uint32_t>(Adler));
}

}  // namespace qv
