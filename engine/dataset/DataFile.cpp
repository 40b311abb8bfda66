// The program's own data file: one zlib stream holding a copy of the protocol, the set's names
// and its unfiltered events. Saving packs the stream in blocks on every core, making each
// block's bytes from the events as it is packed; loading unpacks the file piece by piece as it
// reads it, no further than its records declare, and builds the events of each piece side by
// side. Neither holds the whole unpacked stream, and nothing is written beside the user's file
// but the packed result, so loading works from a read-only folder.
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "Errors.h"
#include "Files.h"
#include "Globals.h"
#include "ParallelDeflate.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"
#include "Streams.h"
#include "TextUtils.h"
#include "Threads.h"

namespace qv {

namespace {

constexpr int32_t DataFileVersion = 2;

// Before the event count is read nothing says how long the file is; the protocol record and the
// names of no protocol of this program come near this (65536 names of 250 characters). What a
// count claims may be unpacked and held to be checked, and a fitness assay reads four files side
// by side: four heads of this size stay within the 64 MB a small input may cost.
constexpr int64_t MaxBytesBeforeEvents = 16 << 20;
// Packed bytes read from the file at a time; unpacked bytes of records built at a time (a few
// milliseconds of work between two moves of the gauge); unpacked bytes read ahead for small reads.
constexpr size_t PackedPiece = 1 << 20;
constexpr size_t RecordPiece = 1 << 20;
constexpr size_t ReadAhead = 1 << 16;
// Events built per piece of work on a thread.
constexpr size_t EventGrain = 4096;

void MoveGauge(Progress* Gauge, int64_t Position) {
  if (!Gauge) return;
  Gauge->SetPosition(Position);
  Gauge->Pump();
}

// ---------------------------------------------------------------------------------------------
// Saving

// The unpacked stream of a data file: its head (everything before the records) and then one
// record per unfiltered event, the last event first. Any range of it is made on demand, on any
// thread, straight from the events.
class TSavedStream {
 public:
  explicit TSavedStream(const TFCSLineArray& AEvents) : Events(AEvents) {
    RecordSize = TFCSLine::RecordBytes(Events.GateCount(), Events.ChannelCount(), TFCSLine::CurrentRecordVersion);
    const size_t Chunks = (Events.size() + Chunk - 1) / Chunk;
    std::vector<int64_t> Stored(Chunks);
    ParallelFor(Chunks, 64, ThreadCount(), [&](size_t Begin, size_t End) {
      for (size_t c = Begin; c < End; ++c)
        for (size_t i = c * Chunk; i < std::min(Events.size(), (c + 1) * Chunk); ++i)
          Stored[c] += Events[i].Filtered() ? 0 : 1;
    });
    Later.resize(Chunks);
    for (size_t c = Chunks; c-- > 0;) {
      Later[c] = Records;
      Records += Stored[c];
    }
  }

  int64_t RecordCount() const { return Records; }
  void SetHead(std::vector<uint8_t> AHead) { Head = std::move(AHead); }
  int64_t Size() const { return static_cast<int64_t>(Head.size()) + Records * static_cast<int64_t>(RecordSize); }

  void Fill(int64_t Offset, size_t Count, uint8_t* Into) const {
    const int64_t HeadSize = static_cast<int64_t>(Head.size());
    if (Offset < HeadSize) {
      const size_t N = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(Count), HeadSize - Offset));
      std::memcpy(Into, Head.data() + Offset, N);
      Into += N;
      Offset += static_cast<int64_t>(N);
      Count -= N;
    }
    if (Count == 0) return;
    const int64_t Record = (Offset - HeadSize) / static_cast<int64_t>(RecordSize);
    size_t Within = static_cast<size_t>((Offset - HeadSize) % static_cast<int64_t>(RecordSize));
    size_t E = EventOf(Record);
    std::vector<uint8_t> Part;  // a record cut by the range
    for (;;) {
      const TFCSLine Line = Events[E];
      size_t N;
      if (Within == 0 && Count >= RecordSize) {
        Line.SaveToRecord(Into);
        N = RecordSize;
      } else {
        Part.resize(RecordSize);
        Line.SaveToRecord(Part.data());
        N = std::min(RecordSize - Within, Count);
        std::memcpy(Into, Part.data() + Within, N);
        Within = 0;
      }
      Into += N;
      Count -= N;
      if (Count == 0) return;
      E = NextStored(E);
    }
  }

 private:
  // Events are counted in chunks, so a range finds its first event within one chunk.
  static constexpr size_t Chunk = 4096;

  size_t NextStored(size_t E) const {
    do {
      if (E == 0) throw ERangeError("Data file stream read past its last record");
    } while (Events[--E].Filtered());
    return E;
  }
  size_t EventOf(int64_t Record) const {
    // Later falls as the chunks rise: the first chunk whose later records are at most Record.
    const size_t c = static_cast<size_t>(
        std::partition_point(Later.begin(), Later.end(), [&](int64_t L) { return L > Record; }) - Later.begin());
    size_t E = std::min(Events.size(), (c + 1) * Chunk);
    int64_t Skip = Record - Later[c];
    do E = NextStored(E);
    while (Skip-- > 0);
    return E;
  }

  const TFCSLineArray& Events;
  std::vector<uint8_t> Head;
  size_t RecordSize = 0;
  int64_t Records = 0;
  std::vector<int64_t> Later;  // per chunk, the records of the events after it
};

// ---------------------------------------------------------------------------------------------
// Loading

// The unpacked bytes of a packed data file, unpacked piece by piece as they are read, so that a
// file is refused as soon as it unpacks to more than it declares: never sized by the packed
// bytes, which hold about a thousand times as many zeros. Only the bytes read ahead and those
// asked for by Holds are kept; a long read unpacks straight into the reader's buffer.
class TUnpackedStream : public TStream {
 public:
  // Throws EInOutError when the file cannot be opened, EReadError when it is empty.
  explicit TUnpackedStream(const std::string& FileName)
      : File(FileName, TFileStream::TMode::OpenRead), FPackedSize(File.Size()) {
    if (FPackedSize <= 0) throw EReadError(InvalidStream);
    InSize = static_cast<size_t>(std::min<int64_t>(FPackedSize, PackedPiece));
    In = std::make_unique_for_overwrite<uint8_t[]>(InSize);
    const int Status = inflateInit2(&Z, 15);
    if (Status == Z_MEM_ERROR) throw std::bad_alloc();
    if (Status != Z_OK) throw EReadError(InvalidStream);
  }
  ~TUnpackedStream() override { inflateEnd(&Z); }
  TUnpackedStream(const TUnpackedStream&) = delete;
  TUnpackedStream& operator=(const TUnpackedStream&) = delete;

  int64_t PackedSize() const { return FPackedSize; }
  // Unpacking beyond Bytes in all is refused: reads stop short there, and EReadError when more
  // was unpacked already.
  void SetLimit(int64_t Bytes) {
    FLimit = Bytes;
    if (FProduced > FLimit) throw EReadError(TooLong);
  }
  // Whether Count more bytes may be unpacked under the limit; unpacks nothing.
  bool Allows(int64_t Count) const { return Count <= FLimit - FPosition; }

  size_t Read(void* Buffer, size_t Count) override {
    if (Count == 0) return 0;
    CatchUp();
    auto* Out = static_cast<uint8_t*>(Buffer);
    size_t Done = 0;
    if (FPosition < FProduced) {
      Done = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(Count), FProduced - FPosition));
      std::memcpy(Out, FHeld.data() + (FPosition - FBase), Done);
      FPosition += static_cast<int64_t>(Done);
    }
    if (Done == Count || FPosition != FProduced) return Done;
    // Nothing is held ahead any more; what a long look ahead held is let go.
    if (FHeld.capacity() > 4 * ReadAhead) FHeld = std::string();
    FHeld.clear();
    FBase = FProduced;
    const size_t Left = Count - Done;
    if (Left >= ReadAhead) {
      const size_t N = Unpack(Out + Done, Left);
      FPosition += static_cast<int64_t>(N);
      FBase = FProduced;
      return Done + N;
    }
    FHeld.resize(ReadAhead);
    FHeld.resize(Unpack(reinterpret_cast<uint8_t*>(FHeld.data()), ReadAhead));
    const size_t N = std::min(Left, FHeld.size());
    std::memcpy(Out + Done, FHeld.data(), N);
    FPosition += static_cast<int64_t>(N);
    return Done + N;
  }
  void Write(const void*, size_t) override { throw EInOutError("An unpacked data file cannot be written"); }
  int64_t Position() const override { return FPosition; }
  // The bytes unpacked so far.
  int64_t Size() const override { return FProduced; }
  // Back no further than the bytes still held; forward as far as wished (what lies between is
  // unpacked and dropped when next read).
  void Seek(int64_t Position) override {
    if (Position < FBase) throw ERangeError("Stream seek error");
    FPosition = Position;
  }
  bool Holds(int64_t Count) override {
    if (Count <= 0) return true;
    if (!Allows(Count)) return false;
    CatchUp();
    if (FPosition > FProduced) return false;
    const int64_t Missing = FPosition + Count - FProduced;
    if (Missing <= 0) return true;
    // Keep only what is still to be read, then unpack what is missing behind it.
    FHeld.erase(0, static_cast<size_t>(FPosition - FBase));
    FBase = FPosition;
    const size_t Held = FHeld.size();
    const size_t Room = static_cast<size_t>(std::min(std::max<int64_t>(Missing, ReadAhead), FLimit - FProduced));
    FHeld.resize(Held + Room);
    FHeld.resize(Held + Unpack(reinterpret_cast<uint8_t*>(FHeld.data()) + Held, Room));
    return FProduced >= FPosition + Count;
  }
  // A string is sized by its count within the limit and unpacked straight into it.
  void ReadString(std::string& S, size_t Count) override {
    if (Count > static_cast<size_t>(std::numeric_limits<int64_t>::max()) || !Allows(static_cast<int64_t>(Count)))
      throw EReadError("Stream read error");
    S.resize(Count);
    ReadBuffer(S.data(), Count);
  }
  // Unpacks and drops Count bytes; false when the stream ends first.
  bool Skip(int64_t Count) {
    Seek(FPosition + Count);
    CatchUp();
    return FPosition <= FProduced;
  }
  // True when the packed stream ends exactly at the position; what lies beyond it is unpacked
  // only as far as one byte.
  bool AtEnd() {
    CatchUp();
    if (FPosition != FProduced) return false;
    uint8_t Beyond;
    if (UnpackRaw(&Beyond, 1) == 0) return true;
    FHeld.push_back(static_cast<char>(Beyond));
    return false;
  }

 private:
  static constexpr const char* InvalidStream = "Not a packed data file";
  static constexpr const char* TooLong = "The data file unpacks to more than its records declare";

  // Unpacks and drops what lies between the bytes unpacked and a position sought beyond them.
  void CatchUp() {
    if (FPosition <= FProduced) return;
    FHeld.clear();
    if (!Scratch) Scratch = std::make_unique_for_overwrite<uint8_t[]>(RecordPiece);
    while (FProduced < FPosition) {
      const size_t Want = static_cast<size_t>(std::min<int64_t>(FPosition - FProduced, RecordPiece));
      if (Unpack(Scratch.get(), Want) < Want) break;
    }
    FBase = FProduced;
  }
  // Up to Count bytes within the limit; fewer only at the limit or the stream's end.
  size_t Unpack(uint8_t* Into, size_t Count) {
    return UnpackRaw(Into, static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(Count),
                                                                 std::max<int64_t>(FLimit - FProduced, 0))));
  }
  // Throws EReadError for damaged packed bytes or packed bytes that end before the stream does.
  size_t UnpackRaw(uint8_t* Into, size_t Count) {
    size_t Got = 0;
    while (Got < Count && !Ended) {
      if (Z.avail_in == 0 && Fed < FPackedSize) {
        const size_t N = File.Read(In.get(), static_cast<size_t>(std::min<int64_t>(FPackedSize - Fed, InSize)));
        if (N == 0) throw EReadError(InvalidStream);
        Fed += static_cast<int64_t>(N);
        Z.next_in = In.get();
        Z.avail_in = static_cast<uInt>(N);
      }
      const uInt Room = static_cast<uInt>(std::min<size_t>(Count - Got, std::numeric_limits<uInt>::max()));
      Z.next_out = Into + Got;
      Z.avail_out = Room;
      const int Status = inflate(&Z, Z_NO_FLUSH);
      Got += Room - Z.avail_out;
      if (Status == Z_MEM_ERROR) throw std::bad_alloc();
      if (Status == Z_STREAM_END) {
        Ended = true;
      } else if (Status != Z_OK && Status != Z_BUF_ERROR) {
        throw EReadError(InvalidStream);  // damaged
      } else if (Z.avail_in == 0 && Fed >= FPackedSize && Z.avail_out != 0) {
        throw EReadError(InvalidStream);  // the packed bytes end before the stream's end mark
      }
    }
    FProduced += static_cast<int64_t>(Got);
    return Got;
  }

  TFileStream File;
  int64_t FPackedSize;
  std::unique_ptr<uint8_t[]> In;
  size_t InSize = 0;
  int64_t Fed = 0;
  z_stream Z{};
  bool Ended = false;
  std::string FHeld;  // the unpacked bytes FBase .. FProduced - 1
  int64_t FBase = 0;
  int64_t FProduced = 0;
  int64_t FPosition = 0;
  int64_t FLimit = MaxBytesBeforeEvents;
  std::unique_ptr<uint8_t[]> Scratch;
};

// Everything the file holds, read aside so that the set and the caller's protocol change only
// once the whole file has been read.
struct TStoredSet {
  std::unique_ptr<TProtocol> Protocol;
  std::string ProtocolName;
  std::string SourceName;
  std::string FileNames;
  int32_t ValueCount = 0;
  TStringArray ChannelNames;
  TFCSLineArray Events;
  // What the head says of the records.
  int64_t FileCount = 0;
  int32_t EventCount = 0;
  int32_t Version = 0;
  size_t RecordSize = 0;
};

enum class TReadResult { Ok, Invalid, BadProtocol, OutOfMemory, TooManyFiles };

// The file names, counted as they are unpacked: a stream of line breaks is refused as soon as it
// names more files than a set may hold, before the rest is unpacked.
bool ReadFileNames(TUnpackedStream& Stream, std::string& Names, int64_t& Count) {
  Names.clear();
  const int32_t Bytes = ReadInt32(Stream);
  TLineCounter Lines;
  if (Bytes > 0) {
    // Piece by piece, so that names of more files than a set holds are refused as such however
    // long they claim to be.
    while (Names.size() < static_cast<size_t>(Bytes)) {
      const size_t At = Names.size(), N = std::min(ReadAhead, static_cast<size_t>(Bytes) - At);
      if (!Stream.Allows(static_cast<int64_t>(N))) throw EReadError("Stream read error");
      Names.resize(At + N);
      Stream.ReadBuffer(Names.data() + At, N);
      Lines.Add(std::string_view(Names).substr(At));
      if (Lines.Lines() > TFCSData::MaxDataSetFiles) return false;
    }
  }
  Count = Lines.Lines();
  return true;
}

// Items 1 to 10: everything before the records.
TReadResult ReadHead(TUnpackedStream& Stream, const std::string& FileName, TStoredSet& Set) {
  // The magic is checked on the first bytes, before anything else is unpacked.
  const std::string& Magic = TFCSData::DataFileMagic;
  if (ReadInt32(Stream) != static_cast<int32_t>(Magic.size())) return TReadResult::Invalid;
  std::string Found(Magic.size(), '\0');
  if (Stream.Read(Found.data(), Found.size()) != Found.size() || Found != Magic) return TReadResult::Invalid;
  ReadInt32(Stream);  // the version tells nothing the records do not
  Set.Protocol = TProtocol::CreateFromStream(Stream, FileName);
  if (!Set.Protocol) return TReadResult::BadProtocol;
  const TProtocol& P = *Set.Protocol;
  const int32_t NG = P.GateCount(), NC = P.ChannelCount();
  ReadStreamString(Stream, Set.ProtocolName);
  ReadStreamString(Stream, Set.SourceName);
  if (!ReadFileNames(Stream, Set.FileNames, Set.FileCount)) return TReadResult::TooManyFiles;
  Set.ValueCount = ReadInt32(Stream);
  const int32_t Names = ReadCount(Stream, sizeof(int32_t));
  if (Names != NC || Set.ValueCount != NG + NC) return TReadResult::Invalid;
  Set.ChannelNames.assign(static_cast<size_t>(Names), std::string());
  for (int32_t i = Names - 1; i >= 0; --i) ReadStreamString(Stream, Set.ChannelNames[i]);
  Set.Version = P.FileVersion;
  Set.RecordSize = TFCSLine::RecordBytes(NG, NC, Set.Version);
  Set.EventCount = ReadInt32(Stream);
  if (Set.EventCount < 0) return TReadResult::Invalid;
  // The records must fill the rest exactly: this also catches counts that do not match them.
  Stream.SetLimit(Stream.Position() + static_cast<int64_t>(Set.EventCount) * static_cast<int64_t>(Set.RecordSize));
  Set.Events.Reset(NG, NC);
  return TReadResult::Ok;
}

// Unpacks and drops the records, moving the gauge from Base; whether the stream ends with them.
bool SkipRecords(TUnpackedStream& Stream, const TStoredSet& Set, Progress* Gauge, int64_t Base) {
  const int64_t Start = Stream.Position();
  const int64_t Bytes = static_cast<int64_t>(Set.EventCount) * static_cast<int64_t>(Set.RecordSize);
  const int64_t Step = static_cast<int64_t>(std::max<size_t>(1, RecordPiece / Set.RecordSize) * Set.RecordSize);
  for (int64_t Done = 0; Done < Bytes;) {
    Done = std::min(Bytes, Done + Step);
    if (!Stream.Skip(Start + Done - Stream.Position())) return false;
    MoveGauge(Gauge, Base + Done / static_cast<int64_t>(Set.RecordSize));
  }
  return Stream.AtEnd();
}

// Unpacks the records a piece at a time and builds the events of each piece side by side into
// positions M-1 down to 0, so the order in memory is the order the events had when saved.
TReadResult ReadRecords(TUnpackedStream& Stream, TStoredSet& Set, Progress* Gauge, int64_t Base) {
  const size_t M = static_cast<size_t>(Set.EventCount), Size = Set.RecordSize;
  const int32_t Version = Set.Version;
  const int64_t FileCount = Set.FileCount;
  const int32_t Threads = ThreadCount();
  TFCSLineArray& Events = Set.Events;
  Events.ResizeForOverwrite(M);
  const size_t PerPiece = std::max<size_t>(1, RecordPiece / Size);
  const auto Piece = std::make_unique_for_overwrite<uint8_t[]>(std::min(PerPiece, std::max<size_t>(M, 1)) * Size);
  std::atomic<bool> Bad{false};
  for (size_t First = 0; First < M;) {
    const size_t N = std::min(PerPiece, M - First);
    if (Stream.Read(Piece.get(), N * Size) != N * Size) return TReadResult::Invalid;
    ParallelFor(N, EventGrain, Threads, [&](size_t Begin, size_t End) {
      for (size_t k = Begin; k < End; ++k) {
        TFCSLine E = Events[M - 1 - (First + k)];
        E.CreateFromRecord(Piece.get() + k * Size, Version);
        // Every file of a set was named when it joined it, so a file index is below the name
        // count; a larger one would size the per-file tables of the reports far beyond what the
        // file holds.
        const auto Finite = [](std::span<const float> Values) {
          return std::all_of(Values.begin(), Values.end(), [](float V) { return std::isfinite(V); });
        };
        if (E.FileIndex() < 0 || E.FileIndex() >= FileCount || !Finite(E.GateValues()) || !Finite(E.RawValues()))
          Bad.store(true, std::memory_order_relaxed);
      }
    });
    if (Bad.load()) return TReadResult::Invalid;
    First += N;
    MoveGauge(Gauge, Base + static_cast<int64_t>(First));
  }
  return Stream.AtEnd() ? TReadResult::Ok : TReadResult::Invalid;
}

TReadResult ReadStoredSet(const std::string& FileName, bool LoadEvents, Progress* Gauge, TStoredSet& Set) {
  auto Stream = std::make_unique<TUnpackedStream>(FileName);
  TReadResult Result = ReadHead(*Stream, FileName, Set);
  if (Result != TReadResult::Ok) return Result;
  // Events are sized by their count when that costs what a file of this size may; a count beyond
  // it is believed only once the stream has been seen to hold that many records (packed zeros
  // unpack a thousand to one), and the records are then read from the start again.
  const int64_t Budget = 64 * Stream->PackedSize() + (64 << 20);
  const bool Believed =
      static_cast<double>(Set.EventCount) * static_cast<double>(Set.Events.BytesPerEvent()) <= static_cast<double>(Budget);
  const int64_t Passes = LoadEvents ? (Believed ? 1 : 2) : 1;
  if (Gauge) {
    Gauge->SetMax(std::max<int64_t>(Passes * Set.EventCount, 1));
    Gauge->SetPosition(0);
  }
  if (!LoadEvents || !Believed) {
    if (!SkipRecords(*Stream, Set, Gauge, 0)) return TReadResult::Invalid;
    if (!LoadEvents) return TReadResult::Ok;
    Stream = std::make_unique<TUnpackedStream>(FileName);
    TStoredSet Again;
    if ((Result = ReadHead(*Stream, FileName, Again)) != TReadResult::Ok) return Result;
    if (Again.EventCount != Set.EventCount || Again.RecordSize != Set.RecordSize) return TReadResult::Invalid;
  }
  return ReadRecords(*Stream, Set, Gauge, (Passes - 1) * Set.EventCount);
}

}  // namespace

bool TFCSData::SaveToFile(const std::string& FileName, const TProtocol& Protocol, Progress* Gauge) {
  PumpMessages(Gauge);
  if (Events.empty() && !ShortLines.empty()) {
    HostMessages().Error("This data set holds only compact events, whose values are gone; it cannot be saved.");
    return false;
  }
  // The records are read back with the stored protocol's counts: a set of another shape would
  // give a file that never loads.
  if (Events.GateCount() != Protocol.GateCount() || Events.ChannelCount() != Protocol.ChannelCount() ||
      static_cast<int32_t>(ChannelNames.size()) != Protocol.ChannelCount()) {
    HostMessages().Error(
        "The gates and channels of this data set differ from those of the protocol; it cannot be "
        "saved with it.");
    return false;
  }
  if (CountLines(FileNames) > MaxDataSetFiles) {
    HostMessages().Error("This data set names more than " + std::to_string(MaxDataSetFiles) +
                         " files, the most a data file may hold; it cannot be saved.");
    return false;
  }
  BusyCursor Busy;
  auto Stored = TProtocol::CreateCopy(Protocol);
  if (SaveMeansToProtocol) StoreFitsInProtocol(Stored.get());
  Stored->SetChannelsForceMean(true);

  // The count written is that of the records that follow, never a stored count gone stale.
  TSavedStream Plain(Events);
  if (Plain.RecordCount() > std::numeric_limits<int32_t>::max()) throw ERangeError("Too many events to save");
  TMemoryStream Head;
  WriteStreamString(DataFileMagic, Head);
  WriteInt32(Head, DataFileVersion);
  Stored->SaveToStream(Head);
  WriteStreamString(ProtocolName, Head);
  WriteStreamString(SourceName, Head);
  WriteStreamString(FileNames, Head);
  WriteInt32(Head, Events.GateCount() + Events.ChannelCount());
  WriteInt32(Head, static_cast<int32_t>(ChannelNames.size()));
  for (size_t i = ChannelNames.size(); i-- > 0;) WriteStreamString(ChannelNames[i], Head);
  WriteInt32(Head, static_cast<int32_t>(Plain.RecordCount()));
  Plain.SetHead(std::move(Head.Bytes()));

  if (Gauge) {
    Gauge->SetMax(std::max<int64_t>(Plain.Size(), 1));
    Gauge->SetPosition(0);
  }
  WriteFileSafely(FileName, [&](TStream& Out) {
    DeflateInBlocks(
        Plain.Size(), [&](int64_t Offset, size_t Count, uint8_t* Into) { Plain.Fill(Offset, Count, Into); }, Out,
        [&](int64_t Done) { MoveGauge(Gauge, Done); });
  });
  return true;
}

bool TFCSData::LoadFromFile(const std::string& FileName, std::unique_ptr<TProtocol>& Protocol, Progress* Gauge,
                            bool ALoadEvents) {
  if (Gauge) Gauge->Pump();
  if (const std::string Reason = PathExists(FileName) ? NotAFileReason(FileName) : ""; !Reason.empty()) {
    HostMessages().Error(ReadRefusal("Quorvenal file", FileName, Reason));
    Events.clear();
    return false;
  }
  TStoredSet Set;
  TReadResult Result = TReadResult::Invalid;
  {
    BusyCursor Busy;
    try {
      Result = ReadStoredSet(FileName, ALoadEvents, Gauge, Set);
    } catch (const Exception&) {
      Result = TReadResult::Invalid;
    } catch (const std::bad_alloc&) {
      Result = TReadResult::OutOfMemory;
    }
  }
  if (Result != TReadResult::Ok) {
    // The protocol reader has already said what was wrong with its record.
    if (Result == TReadResult::Invalid) HostMessages().Error(InvalidDataFile);
    if (Result == TReadResult::OutOfMemory) HostMessages().Error("Not enough memory to read " + FileName);
    if (Result == TReadResult::TooManyFiles)
      HostMessages().Error(ReadRefusal("Quorvenal file", FileName,
                                       "it names more than " + std::to_string(MaxDataSetFiles) +
                                           " files, the most one data set may hold."));
    Events.clear();
    return false;
  }
  ProtocolName = std::move(Set.ProtocolName);
  SourceName = std::move(Set.SourceName);
  FileNames = std::move(Set.FileNames);
  ValueCount = Set.ValueCount;
  ChannelNames = std::move(Set.ChannelNames);
  Events = std::move(Set.Events);
  ShortLines.Reset(Events.ChannelCount());
  Protocol = std::move(Set.Protocol);
  PostRefresh();
  return true;
}

std::unique_ptr<TFCSData> TFCSData::CreateFromDataFile(const std::string& FileName, const TDataLoadOptions& Options,
                                                       std::unique_ptr<TProtocol>& Protocol) {
  auto Data = std::make_unique<TFCSData>();
  Data->DataFileName = FileName;
  PostRefresh();
  if (!PathExists(FileName)) return Data;
  if (!Data->LoadFromFile(FileName, Protocol, Options.Gauge, Options.LoadEvents)) return Data;
  Data->FileRange();
  PumpMessages(Options.Gauge);
  Data->BuildFileIndex();
  // A set loaded without events has nothing to analyse.
  if (Data->Events.empty()) return Data;
  if (Options.Compensate) Data->Compensate(*Protocol, Options.Gauge, Options.Mode);
  if (Options.DetectorsAndClassify) {
    Data->SetDetectors(*Protocol, Options.Gauge, Options.FitCurves);
    Data->Classify(*Protocol, Options.Gauge);
  }
  if (Options.BuildShortLines) Data->BuildShortLines();
  return Data;
}

}  // namespace qv
