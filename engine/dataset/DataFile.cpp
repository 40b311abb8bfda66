// The program's own data file: one zlib stream holding a copy of the protocol, the set's names
// and its unfiltered events. The unpacked stream is kept in memory, so nothing is written beside
// the user's file but the packed result, and loading works from a read-only folder. It is
// unpacked only as far as it is read, and no further than its records declare.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "Errors.h"
#include "Files.h"
#include "Globals.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"
#include "Streams.h"
#include "TextUtils.h"

namespace qv {

namespace {

constexpr int32_t DataFileVersion = 2;
constexpr int32_t MaxStoredFileIndex = 65535;

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& Plain) {
  uLongf Size = compressBound(static_cast<uLong>(Plain.size()));
  std::vector<uint8_t> Packed(Size);
  if (compress2(Packed.data(), &Size, Plain.data(), static_cast<uLong>(Plain.size()), Z_BEST_COMPRESSION) != Z_OK)
    throw EInOutError("Compression failed");
  Packed.resize(Size);
  return Packed;
}

// Before the event count is read nothing says how long the file is; the protocol record and the
// names of no protocol of this program come near this.
constexpr int64_t MaxBytesBeforeEvents = 64 << 20;

// The unpacked bytes of a packed data file, unpacked piece by piece as far as they are read, so
// that a file is refused as soon as it unpacks to more than it declares: never sized by the
// packed bytes, which hold about a thousand times as many zeros. Every byte unpacked is kept.
class TUnpackedStream : public TStream {
 public:
  // Throws EReadError when Packed does not start a zlib stream.
  explicit TUnpackedStream(std::vector<uint8_t> APacked) : Packed(std::move(APacked)) {
    if (Packed.empty() || inflateInit2(&Z, 15) != Z_OK) throw EReadError(InvalidStream);
    Z.next_in = Packed.data();
    Z.avail_in = static_cast<uInt>(std::min<size_t>(Packed.size(), std::numeric_limits<uInt>::max()));
    Fed = Z.avail_in;
  }
  ~TUnpackedStream() override { inflateEnd(&Z); }
  TUnpackedStream(const TUnpackedStream&) = delete;
  TUnpackedStream& operator=(const TUnpackedStream&) = delete;

  // Unpacking beyond Bytes in all throws EReadError.
  void SetLimit(int64_t Bytes) {
    Limit = Bytes;
    if (static_cast<int64_t>(Plain.size()) > Limit) throw EReadError(TooLong);
  }

  size_t Read(void* Buffer, size_t Count) override {
    if (Count == 0) return 0;
    UnpackTo(FPosition + static_cast<int64_t>(std::min<size_t>(Count, std::numeric_limits<int64_t>::max() / 2)));
    const int64_t Available = static_cast<int64_t>(Plain.size()) - FPosition;
    if (Available <= 0) return 0;
    const size_t N = std::min<size_t>(Count, static_cast<size_t>(Available));
    std::memcpy(Buffer, Plain.data() + FPosition, N);
    FPosition += static_cast<int64_t>(N);
    return N;
  }
  void Write(const void*, size_t) override { throw EInOutError("An unpacked data file cannot be written"); }
  int64_t Position() const override { return FPosition; }
  // The bytes unpacked so far.
  int64_t Size() const override { return static_cast<int64_t>(Plain.size()); }
  void Seek(int64_t Position) override {
    if (Position < 0) throw ERangeError("Stream seek error");
    FPosition = Position;
  }
  bool Holds(int64_t Count) override {
    if (Count <= 0) return true;
    if (Count > Limit - FPosition) return false;
    UnpackTo(FPosition + Count);
    return Count <= Remaining();
  }
  // True when the packed stream ends exactly at the position; what lies beyond it unpacks only
  // as far as the limit allows.
  bool AtEnd() {
    UnpackTo(FPosition + 1);
    return Ended && static_cast<int64_t>(Plain.size()) == FPosition;
  }

 private:
  static constexpr const char* InvalidStream = "Not a packed data file";
  static constexpr const char* TooLong = "The data file unpacks to more than its records declare";
  static constexpr int64_t Piece = 1 << 16;

  // Unpacks until Wanted bytes are held, the packed stream ends or the limit is passed.
  void UnpackTo(int64_t Wanted) {
    while (static_cast<int64_t>(Plain.size()) < Wanted && !Ended) {
      const int64_t Held = static_cast<int64_t>(Plain.size());
      // Never more room than twice what was unpacked, so a count that claims more than the file
      // holds sizes nothing by itself; one byte beyond the limit is enough to know it was passed.
      const int64_t Room = std::min({std::max(Wanted - Held, Piece), std::max(Held, Piece), Limit + 1 - Held,
                                     static_cast<int64_t>(std::numeric_limits<uInt>::max())});
      if (Room <= 0) throw EReadError(TooLong);
      Plain.resize(static_cast<size_t>(Held + Room));
      Z.next_out = Plain.data() + Held;
      Z.avail_out = static_cast<uInt>(Room);
      if (Z.avail_in == 0 && Fed < Packed.size()) {
        Z.next_in = Packed.data() + Fed;
        Z.avail_in = static_cast<uInt>(std::min<size_t>(Packed.size() - Fed, std::numeric_limits<uInt>::max()));
        Fed += Z.avail_in;
      }
      const int Status = inflate(&Z, Z_NO_FLUSH);
      Plain.resize(static_cast<size_t>(Held + Room - Z.avail_out));
      if (Status == Z_MEM_ERROR) throw std::bad_alloc();
      if (Status == Z_STREAM_END) {
        Ended = true;
      } else if (Status != Z_OK && Status != Z_BUF_ERROR) {
        throw EReadError(InvalidStream);  // corrupt
      } else if (Z.avail_in == 0 && Fed >= Packed.size() && Z.avail_out != 0) {
        throw EReadError(InvalidStream);  // the packed bytes end before the stream's end mark
      }
      if (static_cast<int64_t>(Plain.size()) > Limit) throw EReadError(TooLong);
    }
  }

  std::vector<uint8_t> Packed;
  size_t Fed = 0;
  z_stream Z{};
  std::vector<uint8_t> Plain;
  int64_t FPosition = 0;
  int64_t Limit = MaxBytesBeforeEvents;
  bool Ended = false;
};

std::vector<uint8_t> ReadWholeFile(const std::string& FileName) {
  TFileStream In(FileName, TFileStream::TMode::OpenRead);
  std::vector<uint8_t> Bytes(static_cast<size_t>(In.Size()));
  if (!Bytes.empty()) In.ReadBuffer(Bytes.data(), Bytes.size());
  return Bytes;
}

void CheckFinite(std::span<const float> Values) {
  for (const float V : Values)
    if (!std::isfinite(V)) throw EReadError("Value not finite");
}

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
};

enum class TReadResult { Ok, Invalid, BadProtocol, OutOfMemory };

TReadResult ReadStoredSet(TUnpackedStream& Stream, bool LoadEvents, TStoredSet& Set) {
  // The magic is checked on the first bytes, before anything else is unpacked.
  const std::string& Magic = TFCSData::DataFileMagic;
  if (ReadInt32(Stream) != static_cast<int32_t>(Magic.size())) return TReadResult::Invalid;
  std::string Found(Magic.size(), '\0');
  if (Stream.Read(Found.data(), Found.size()) != Found.size() || Found != Magic) return TReadResult::Invalid;
  ReadInt32(Stream);  // the version tells nothing the records do not
  Set.Protocol = TProtocol::CreateFromStream(Stream);
  if (!Set.Protocol) return TReadResult::BadProtocol;
  const TProtocol& P = *Set.Protocol;
  const int32_t NG = P.GateCount(), NC = P.ChannelCount();
  ReadStreamString(Stream, Set.ProtocolName);
  ReadStreamString(Stream, Set.SourceName);
  ReadStreamString(Stream, Set.FileNames);
  Set.ValueCount = ReadInt32(Stream);
  const int32_t Names = ReadCount(Stream, sizeof(int32_t));
  if (Names != NC || Set.ValueCount != NG + NC) return TReadResult::Invalid;
  Set.ChannelNames.assign(static_cast<size_t>(Names), std::string());
  for (int32_t i = Names - 1; i >= 0; --i) ReadStreamString(Stream, Set.ChannelNames[i]);
  const int32_t Version = P.FileVersion;
  const int64_t RecordSize = 4 * (1 + static_cast<int64_t>(NG) + NC + (Version < 8 ? 1 : 0));
  const int32_t M = ReadInt32(Stream);
  if (M < 0) return TReadResult::Invalid;
  // The records must fill the rest exactly: this also catches counts that do not match them.
  // Nothing beyond them is unpacked.
  const int64_t EventBytes = static_cast<int64_t>(M) * RecordSize;
  Stream.SetLimit(Stream.Position() + EventBytes);
  if (!Stream.Holds(EventBytes)) return TReadResult::Invalid;
  const int64_t EventsStart = Stream.Position();
  Stream.Seek(EventsStart + EventBytes);
  if (!Stream.AtEnd()) return TReadResult::Invalid;
  Stream.Seek(EventsStart);
  Set.Events.Reset(NG, NC);
  if (!LoadEvents) return TReadResult::Ok;
  // Every file of a set was named when it joined it, so a file index is below the name count;
  // a larger one would size the per-file tables of the reports far beyond what the file holds.
  const int64_t FileCount =
      std::min<int64_t>(static_cast<int64_t>(SplitLines(Set.FileNames).size()), MaxStoredFileIndex + 1);
  Set.Events.resize(static_cast<size_t>(M));
  for (int32_t i = M - 1; i >= 0; --i) {
    TFCSLine E = Set.Events[static_cast<size_t>(i)];
    E.CreateFromStream(Stream, NG, NC, Version);
    if (E.FileIndex() < 0 || E.FileIndex() >= FileCount) return TReadResult::Invalid;
    CheckFinite(E.GateValues());
    CheckFinite(E.RawValues());
  }
  return Stream.Position() == EventsStart + EventBytes ? TReadResult::Ok : TReadResult::Invalid;
}

}  // namespace

bool TFCSData::SaveToFile(const std::string& FileName, const TProtocol& Protocol) {
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
  BusyCursor Busy;
  auto Stored = TProtocol::CreateCopy(Protocol);
  if (SaveMeansToProtocol) StoreFitsInProtocol(Stored.get());
  Stored->SetChannelsForceMean(true);

  TMemoryStream Stream;
  WriteStreamString(DataFileMagic, Stream);
  WriteInt32(Stream, DataFileVersion);
  Stored->SaveToStream(Stream);
  WriteStreamString(ProtocolName, Stream);
  WriteStreamString(SourceName, Stream);
  WriteStreamString(FileNames, Stream);
  WriteInt32(Stream, Events.GateCount() + Events.ChannelCount());
  WriteInt32(Stream, static_cast<int32_t>(ChannelNames.size()));
  for (size_t i = ChannelNames.size(); i-- > 0;) WriteStreamString(ChannelNames[i], Stream);
  // The count written is that of the records that follow, never a stored count gone stale.
  int32_t Unfiltered = 0;
  for (size_t i = 0; i < Events.size(); ++i) Unfiltered += Events[i].Filtered() ? 0 : 1;
  WriteInt32(Stream, Unfiltered);
  for (size_t i = Events.size(); i-- > 0;)
    if (!Events[i].Filtered()) Events[i].SaveToStream(Stream);

  const std::vector<uint8_t> Packed = Deflate(Stream.Bytes());
  WriteFileSafely(FileName, [&](TStream& Out) { Out.Write(Packed.data(), Packed.size()); });
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
      TUnpackedStream Stream(ReadWholeFile(FileName));
      Result = ReadStoredSet(Stream, ALoadEvents, Set);
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
  Data->BuildFileIndex();
  // A set loaded without events has nothing to analyse.
  if (Data->Events.empty()) return Data;
  if (Options.Compensate) Data->Compensate(*Protocol, Options.Gauge, Options.Mode);
  if (Options.DetectorsAndClassify) {
    Data->SetDetectors(*Protocol, Options.Gauge, Options.FitCurves);
    Data->Classify(*Protocol);
  }
  if (Options.BuildShortLines) Data->BuildShortLines();
  return Data;
}

}  // namespace qv
