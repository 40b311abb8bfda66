// The program's own data file: one zlib stream holding a copy of the protocol, the set's names
// and its unfiltered events. The unpacked stream is kept in memory, so nothing is written beside
// the user's file but the packed result, and loading works from a read-only folder.
#include <zlib.h>

#include <algorithm>
#include <cmath>
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

// False when Packed is not one complete zlib stream.
bool Inflate(const std::vector<uint8_t>& Packed, std::vector<uint8_t>& Plain) {
  Plain.clear();
  if (Packed.empty()) return false;
  z_stream Z{};
  if (inflateInit2(&Z, 15) != Z_OK) return false;
  Z.next_in = const_cast<Bytef*>(Packed.data());
  Z.avail_in = static_cast<uInt>(Packed.size());
  constexpr size_t Chunk = 1 << 20;
  int Status = Z_OK;
  try {
    while (Status == Z_OK) {
      const size_t Old = Plain.size();
      Plain.resize(Old + Chunk);
      Z.next_out = Plain.data() + Old;
      Z.avail_out = static_cast<uInt>(Chunk);
      Status = inflate(&Z, Z_NO_FLUSH);
      Plain.resize(Old + Chunk - Z.avail_out);
      // Input used up before the end mark: a truncated stream.
      if (Status == Z_BUF_ERROR || (Status == Z_OK && Z.avail_in == 0 && Z.avail_out != 0)) break;
    }
  } catch (...) {
    inflateEnd(&Z);
    throw;
  }
  inflateEnd(&Z);
  return Status == Z_STREAM_END;
}

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

TReadResult ReadStoredSet(TStream& Stream, bool LoadEvents, TStoredSet& Set) {
  if (ReadStreamString(Stream) != TFCSData::DataFileMagic) return TReadResult::Invalid;
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
  // The records must fill the rest exactly: this also catches counts that do not match them.
  if (M < 0 || static_cast<int64_t>(M) * RecordSize != Stream.Remaining()) return TReadResult::Invalid;
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
  return Stream.Remaining() == 0 ? TReadResult::Ok : TReadResult::Invalid;
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
      std::vector<uint8_t> Plain;
      if (Inflate(ReadWholeFile(FileName), Plain)) {
        TMemoryStream Stream(std::move(Plain));
        Result = ReadStoredSet(Stream, ALoadEvents, Set);
      }
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
