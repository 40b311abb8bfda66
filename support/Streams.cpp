#include "Streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "Errors.h"
#include "Files.h"

namespace qv {

namespace {
const char* const ReadErrorText = "Stream read error";
constexpr int64_t StartWritingEvery = 8 << 20;
}

void TStream::ReadBuffer(void* Buffer, size_t Count) {
  if (Count == 0) return;
  if (Read(Buffer, Count) != Count) throw EReadError(ReadErrorText);
}

void TStream::ReadString(std::string& S, size_t Count) {
  if (Count > static_cast<size_t>(std::numeric_limits<int64_t>::max()) || !Holds(static_cast<int64_t>(Count)))
    throw EReadError(ReadErrorText);
  S.resize(Count);
  ReadBuffer(S.data(), S.size());
}

size_t TMemoryStream::Read(void* Buffer, size_t Count) {
  const int64_t Available = Size() - FPosition;
  if (Available <= 0) return 0;
  const size_t N = std::min<size_t>(Count, static_cast<size_t>(Available));
  std::memcpy(Buffer, FData.data() + FPosition, N);
  FPosition += static_cast<int64_t>(N);
  return N;
}

void TMemoryStream::Write(const void* Buffer, size_t Count) {
  if (Count == 0) return;
  const size_t End = static_cast<size_t>(FPosition) + Count;
  if (End > FData.size()) FData.resize(End);
  std::memcpy(FData.data() + FPosition, Buffer, Count);
  FPosition = static_cast<int64_t>(End);
}

void TMemoryStream::Seek(int64_t Position) {
  if (Position < 0) throw ERangeError("Stream seek error");
  FPosition = Position;
}

TFileStream::TFileStream(const std::string& FileName, TMode Mode, const std::string& ShownName)
    : FFileName(FileName), FShownName(ShownName.empty() ? FileName : ShownName) {
  // A reader that did not ask first must not hang on a pipe or read a folder as nothing.
  if (Mode == TMode::OpenRead && PathExists(FileName)) {
    const std::string Reason = NotAFileReason(FileName);
    if (!Reason.empty()) throw EInOutError("Cannot open file \"" + FShownName + "\": " + Reason);
  }
  FFile = std::fopen(FileName.c_str(), Mode == TMode::OpenRead ? "rb" : "wb");
  if (!FFile)
    throw EInOutError((Mode == TMode::OpenRead ? "Cannot open file \"" : "Cannot create file \"") + FShownName +
                      "\". " + std::strerror(errno));
}

TFileStream::~TFileStream() {
  if (FFile) std::fclose(FFile);
}

size_t TFileStream::Read(void* Buffer, size_t Count) {
  if (!FFile) return 0;
  return std::fread(Buffer, 1, Count, FFile);
}

size_t TFileStream::ReadAt(void* Buffer, size_t Count, int64_t Offset) const {
  if (!FFile || Offset < 0) return 0;
  const int Handle = fileno(FFile);
  size_t Got = 0;
  while (Got < Count) {
    const ssize_t Step = pread(Handle, static_cast<char*>(Buffer) + Got, Count - Got, static_cast<off_t>(Offset) +
                                                                                         static_cast<off_t>(Got));
    if (Step > 0) {
      Got += static_cast<size_t>(Step);
    } else if (Step == 0 || errno != EINTR) {
      break;
    }
  }
  return Got;
}

void TFileStream::Write(const void* Buffer, size_t Count) {
  if (!FFile) throw EInOutError("Error writing file \"" + FShownName + "\"");
  if (std::fwrite(Buffer, 1, Count, FFile) != Count)
    throw EInOutError("Error writing file \"" + FShownName + "\". " + std::strerror(errno));
  FUnstarted += static_cast<int64_t>(Count);
  if (FUnstarted >= StartWritingEvery) {
    // Only a start: errors show when the file is closed.
    FUnstarted = 0;
    if (std::fflush(FFile) == 0) sync_file_range(fileno(FFile), 0, 0, SYNC_FILE_RANGE_WRITE);
  }
}

int64_t TFileStream::Position() const { return FFile ? static_cast<int64_t>(ftello(FFile)) : 0; }

int64_t TFileStream::Size() const {
  if (!FFile) return 0;
  const off_t Here = ftello(FFile);
  fseeko(FFile, 0, SEEK_END);
  const off_t End = ftello(FFile);
  fseeko(FFile, Here, SEEK_SET);
  return static_cast<int64_t>(End);
}

void TFileStream::Seek(int64_t Position) {
  if (!FFile || Position < 0 || fseeko(FFile, static_cast<off_t>(Position), SEEK_SET) != 0)
    throw EInOutError("Stream seek error");
}

void TFileStream::Close() {
  if (!FFile) return;
  // Flushed to the disk before the caller renames the file into place.
  errno = 0;
  const bool Failed = std::fflush(FFile) != 0 || std::ferror(FFile) || fsync(fileno(FFile)) != 0;
  int Code = errno;
  const bool CloseFailed = std::fclose(FFile) != 0;
  if (!Code) Code = errno;
  FFile = nullptr;
  if (Failed || CloseFailed)
    throw EInOutError("Error writing file \"" + FShownName + "\"" +
                      (Code ? ". " + std::string(std::strerror(Code)) : ""));
}

namespace {

template <typename TUnsigned>
void WriteLittleEndian(TStream& Stream, TUnsigned U) {
  uint8_t B[sizeof(TUnsigned)];
  for (size_t i = 0; i < sizeof(TUnsigned); ++i) B[i] = static_cast<uint8_t>(U >> (8 * i));
  Stream.Write(B, sizeof B);
}

template <typename TUnsigned>
TUnsigned ReadLittleEndian(TStream& Stream) {
  uint8_t B[sizeof(TUnsigned)];
  Stream.ReadBuffer(B, sizeof B);
  TUnsigned U = 0;
  for (size_t i = 0; i < sizeof(TUnsigned); ++i) U |= static_cast<TUnsigned>(B[i]) << (8 * i);
  return U;
}

}  // namespace

void WriteInt32(TStream& Stream, int32_t Value) { WriteLittleEndian(Stream, static_cast<uint32_t>(Value)); }
int32_t ReadInt32(TStream& Stream) { return static_cast<int32_t>(ReadLittleEndian<uint32_t>(Stream)); }
void WriteSingle(TStream& Stream, float Value) { WriteLittleEndian(Stream, std::bit_cast<uint32_t>(Value)); }
float ReadSingle(TStream& Stream) { return std::bit_cast<float>(ReadLittleEndian<uint32_t>(Stream)); }
void WriteDouble(TStream& Stream, double Value) { WriteLittleEndian(Stream, std::bit_cast<uint64_t>(Value)); }
double ReadDouble(TStream& Stream) { return std::bit_cast<double>(ReadLittleEndian<uint64_t>(Stream)); }

void WriteByte(TStream& Stream, uint8_t Value) { Stream.Write(&Value, 1); }

uint8_t ReadByte(TStream& Stream) {
  uint8_t Value;
  Stream.ReadBuffer(&Value, 1);
  return Value;
}

void WriteBool(TStream& Stream, bool Value) { WriteByte(Stream, Value ? 1 : 0); }
bool ReadBool(TStream& Stream) { return ReadByte(Stream) != 0; }

void WriteStreamString(const std::string& S, TStream& Stream) {
  if (S.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw ERangeError("String too long to write");
  WriteInt32(Stream, static_cast<int32_t>(S.size()));
  Stream.Write(S.data(), S.size());
}

void ReadStreamString(TStream& Stream, std::string& S) {
  S.clear();
  const int32_t Count = ReadInt32(Stream);
  if (Count <= 0) return;
  Stream.ReadString(S, static_cast<size_t>(Count));
}

std::string ReadStreamString(TStream& Stream) {
  std::string S;
  ReadStreamString(Stream, S);
  return S;
}

int32_t ReadCount(TStream& Stream, size_t ElementSize) {
  const int32_t Count = ReadInt32(Stream);
  if (Count <= 0) return 0;
  const uint64_t Bytes = static_cast<uint64_t>(Count) * ElementSize;
  if (Bytes > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) || !Stream.Holds(static_cast<int64_t>(Bytes)))
    throw EReadError(ReadErrorText);
  return Count;
}

uint32_t SwapLongWord(uint32_t Value) { return __builtin_bswap32(Value); }

}  // namespace qv
