#include "ParallelDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "Errors.h"
#include "Streams.h"
#include "Threads.h"

namespace qv {

namespace {

constexpr size_t Window = 32768;
// Blocks per thread packed or waiting to be written at once.
constexpr size_t BlocksPerThread = 4;
// Plain bytes handed to the compressor at a time, so that the calling thread reports between.
constexpr size_t Feed = 32768;
// How long the calling thread waits for a free slot before it reports again.
constexpr auto ReportEvery = std::chrono::milliseconds(50);

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
  bool Ready = false;
};

// Packs Length bytes after Dictionary bytes of what came before them; every block but the last
// ends on a byte boundary with the stream still open. Between pieces of input, Between().
template <class TBetween>
void PackBlock(TSlot& Slot, size_t Dictionary, bool Last, TBetween&& Between) {
  TDeflater D;
  z_stream& Z = D.Z;
  const uint8_t* Data = Slot.Plain.get() + Dictionary;
  if (Dictionary > 0 && deflateSetDictionary(&Z, Slot.Plain.get(), static_cast<uInt>(Dictionary)) != Z_OK)
    throw EInOutError("Compression failed");
  Slot.Adler = adler32_z(1, Data, Slot.Length);
  Slot.Packed.resize(deflateBound(&Z, static_cast<uLong>(Slot.Length)) + 16);
  size_t Held = 0, Given = 0;
  for (;;) {
    const bool Final = Given + Feed >= Slot.Length;
    const size_t N = Final ? Slot.Length - Given : Feed;
    Z.next_in = const_cast<Bytef*>(Data + Given);
    Z.avail_in = static_cast<uInt>(N);
    Given += N;
    const int Flush = !Final ? Z_NO_FLUSH : Last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
      Z.next_out = Slot.Packed.data() + Held;
      Z.avail_out = static_cast<uInt>(Slot.Packed.size() - Held);
      const int Status = deflate(&Z, Flush);
      Held = Slot.Packed.size() - Z.avail_out;
      if (Status == Z_STREAM_ERROR) throw EInOutError("Compression failed");
      if (Flush == Z_FINISH ? Status == Z_STREAM_END : Z.avail_out != 0) break;
      Slot.Packed.resize(Slot.Packed.size() * 2);
    }
    if (Final) break;
    Between();
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
  const int64_t SlotCount = std::min<int64_t>(Blocks, static_cast<int64_t>(Threads) * BlocksPerThread);
  std::vector<TSlot> Slots(static_cast<size_t>(SlotCount));
  // The zlib header of level 9 and a 32 KB window without a preset dictionary.
  const uint8_t Header[2] = {0x78, 0xDA};
  Out.Write(Header, 2);

  // Blocks are taken in order; block b waits for the slot of block b - SlotCount to be written.
  // Whoever finishes the next block to be written writes it and those ready after it.
  std::mutex Mutex;
  std::condition_variable Written;
  int64_t Next = 0;           // the next block to write
  int64_t WrittenBytes = 0;
  bool Failed = false;        // a block failed: no block after it is written, no one waits
  uLong Adler = 1;
  const std::thread::id Caller = std::this_thread::get_id();
  const auto Report = [&] {
    if (!Moved || std::this_thread::get_id() != Caller) return;
    int64_t Done;
    {
      std::lock_guard Lock(Mutex);
      Done = WrittenBytes;
    }
    Moved(Done);
  };
  RunTasks(static_cast<size_t>(Blocks), Threads, [&](size_t Task) {
    const int64_t B = static_cast<int64_t>(Task);
    TSlot& Slot = Slots[static_cast<size_t>(B % SlotCount)];
    try {
      {
        std::unique_lock Lock(Mutex);
        while (!Failed && B - Next >= SlotCount) {
          if (Moved && std::this_thread::get_id() == Caller) {
            if (Written.wait_for(Lock, ReportEvery) == std::cv_status::timeout) {
              const int64_t Done = WrittenBytes;
              Lock.unlock();
              Moved(Done);
              Lock.lock();
            }
          } else {
            Written.wait(Lock);
          }
        }
        if (Failed) return;
      }
      const int64_t Begin = B * Block;
      Slot.Length = static_cast<size_t>(std::min(Block, Size - Begin));
      const size_t Dictionary = static_cast<size_t>(std::min<int64_t>(Begin, static_cast<int64_t>(Window)));
      Source(Begin - static_cast<int64_t>(Dictionary), Dictionary + Slot.Length, Slot.Plain.get());
      PackBlock(Slot, Dictionary, B == Blocks - 1, Report);
      {
        std::lock_guard Lock(Mutex);
        Slot.Ready = true;
        for (TSlot* S; !Failed && Next < Blocks && (S = &Slots[static_cast<size_t>(Next % SlotCount)])->Ready; ++Next) {
          Out.Write(S->Packed.data(), S->Packed.size());
          Adler = adler32_combine(Adler, S->Adler, static_cast<z_off_t>(S->Length));
          WrittenBytes += static_cast<int64_t>(S->Length);
          S->Ready = false;
        }
      }
      Written.notify_all();
      Report();
    } catch (...) {
      {
        std::lock_guard Lock(Mutex);
        Failed = true;
      }
      Written.notify_all();
      throw;
    }
  });
  if (Failed || Next != Blocks) throw EInOutError("Compression failed");
  if (Moved) Moved(WrittenBytes);
  WriteBigEndian32(Out, static_cast<uint32_t>(Adler));
}

}  // namespace qv
