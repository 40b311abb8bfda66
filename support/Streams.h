#pragma once
// Byte streams and the little-endian record conventions of the protocol and data files:
// 32-bit integers and floats, strings as a 32-bit length and bytes, arrays as a 32-bit count
// followed by the elements. Readers check every count and length against what remains, so a
// corrupt file gives EReadError, never a huge allocation or a read past the end.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qv {

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to Count bytes; returns how many were read.
  virtual size_t Read(void* Buffer, size_t Count) = 0;
  // Writes all Count bytes or throws EInOutError.
  virtual void Write(const void* Buffer, size_t Count) = 0;
  virtual int64_t Position() const = 0;
  virtual int64_t Size() const = 0;
  virtual void Seek(int64_t Position) = 0;
  int64_t Remaining() const { return Size() - Position(); }
  // Whether Count more bytes can be read. A stream that makes its bytes as they are read (an
  // unpacking one) makes them first; the readers ask this before they size anything by a count.
  virtual bool Holds(int64_t Count) { return Count <= Remaining(); }
  // Reads exactly Count bytes into S or throws EReadError. An unpacking stream reads them straight
  // into S, so a long string is held once, not twice.
  virtual void ReadString(std::string& S, size_t Count);

  // Reads exactly Count bytes or throws EReadError.
  void ReadBuffer(void* Buffer, size_t Count);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> Bytes) : FData(std::move(Bytes)) {}
  size_t Read(void* Buffer, size_t Count) override;
  void Write(const void* Buffer, size_t Count) override;
  int64_t Position() const override { return FPosition; }
  int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
  void Seek(int64_t Position) override;
  const std::vector<uint8_t>& Bytes() const { return FData; }
  std::vector<uint8_t>& Bytes() { return FData; }
  void Clear() { FData.clear(); FPosition = 0; }

 private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

class TFileStream : public TStream {
 public:
  enum class TMode { OpenRead, Create };
  // Throws EInOutError naming the file when it cannot be opened or created. Errors name
  // ShownName when given (the file a temporary one is written for).
  TFileStream(const std::string& FileName, TMode Mode, const std::string& ShownName = "");
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  size_t Read(void* Buffer, size_t Count) override;
  // Reads from byte Offset without moving the position; several threads may read at once.
  // Answers the bytes read, fewer only at the end of the file or on an error.
  size_t ReadAt(void* Buffer, size_t Count, int64_t Offset) const;
  void Write(const void* Buffer, size_t Count) override;
  int64_t Position() const override;
  int64_t Size() const override;
  void Seek(int64_t Position) override;
  // Flushes and closes; throws EInOutError when buffered bytes cannot be written. A large file is
  // handed to the disk as it is written, so what Close waits for is its last few megabytes.
  void Close();
  const std::string& FileName() const { return FFileName; }

 private:
  std::FILE* FFile = nullptr;
  std::string FFileName;
  std::string FShownName;
  // Bytes written since the system was last asked to start writing the file to the disk.
  int64_t FUnstarted = 0;
};

void WriteInt32(TStream& Stream, int32_t Value);
int32_t ReadInt32(TStream& Stream);
void WriteSingle(TStream& Stream, float Value);
float ReadSingle(TStream& Stream);
void WriteDouble(TStream& Stream, double Value);
double ReadDouble(TStream& Stream);
void WriteByte(TStream& Stream, uint8_t Value);
uint8_t ReadByte(TStream& Stream);
void WriteBool(TStream& Stream, bool Value);  // one byte, 0 or 1
bool ReadBool(TStream& Stream);               // any nonzero byte is true

void WriteStreamString(const std::string& S, TStream& Stream);
// A count of 0 or less reads as the empty string; a count beyond the stream's end is EReadError.
void ReadStreamString(TStream& Stream, std::string& S);
std::string ReadStreamString(TStream& Stream);

// Reads an array count and checks that Count x ElementSize bytes remain (EReadError otherwise).
// A negative count reads as 0.
int32_t ReadCount(TStream& Stream, size_t ElementSize);

uint32_t SwapLongWord(uint32_t Value);

}  // namespace qv
