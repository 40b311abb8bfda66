// Packing in blocks: whatever the thread count and wherever the blocks end, the result is one
// zlib stream that unpacks to the plain bytes, with the same packed bytes on any thread count.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "Errors.h"
#include "Files.h"
#include "ParallelDeflate.h"
#include "ScopedThreads.h"
#include "Streams.h"
#include "TestFolders.h"

namespace qv {
namespace {

using test::TempFolder;

// Text-like runs and noise, so the blocks both find matches and fail to.
std::vector<uint8_t> Plain(size_t Size) {
  std::vector<uint8_t> Bytes(Size);
  uint64_t X = 88172645463325252ull;
  for (size_t i = 0; i < Size; ++i) {
    X ^= X << 13;
    X ^= X >> 7;
    X ^= X << 17;
    Bytes[i] = (i / 4096) % 2 ? static_cast<uint8_t>(X) : static_cast<uint8_t>("ACGT,0123456789\n"[(i * 7 + i / 13) % 16]);
  }
  return Bytes;
}

std::vector<uint8_t> Packed(const std::vector<uint8_t>& Bytes, int32_t Threads) {
  TMemoryStream Out;
  DeflateInBlocks(
      static_cast<int64_t>(Bytes.size()),
      [&](int64_t Offset, size_t Count, uint8_t* Into) { std::copy_n(Bytes.begin() + Offset, Count, Into); }, Out, {},
      Threads);
  return Out.Bytes();
}

// What zlib's own reader makes of Packed, which must be exactly one stream.
std::vector<uint8_t> Unpacked(const std::vector<uint8_t>& Packed, size_t Expected) {
  std::vector<uint8_t> Bytes(Expected + 1);
  uLongf Size = static_cast<uLongf>(Bytes.size());
  uLong Used = static_cast<uLong>(Packed.size());
  EXPECT_EQ(uncompress2(Bytes.data(), &Size, Packed.data(), &Used), Z_OK);
  EXPECT_EQ(Used, Packed.size()) << "bytes after the end of the stream";
  Bytes.resize(Size);
  return Bytes;
}

TEST(ParallelDeflate, EveryBlockBoundaryUnpacksToThePlainBytesOnAnyThreadCount) {
  const size_t B = DeflateBlockSize;
  for (const size_t Size : {size_t{0}, size_t{1}, size_t{32767}, size_t{32769}, B - 1, B, B + 1, 2 * B + 40000,
                            9 * B + 12345}) {
    SCOPED_TRACE(Size);
    const std::vector<uint8_t> Bytes = Plain(Size);
    const std::vector<uint8_t> One = Packed(Bytes, 1);
    ASSERT_GE(One.size(), 6u);
    EXPECT_EQ(One[0], 0x78);
    EXPECT_EQ(One[1], 0xDA);
    const uint32_t Adler = static_cast<uint32_t>(adler32_z(1, Bytes.data(), Bytes.size()));
    uint32_t Trailer = 0;
    for (size_t i = One.size() - 4; i < One.size(); ++i) Trailer = Trailer << 8 | One[i];
    EXPECT_EQ(Trailer, Adler);
    EXPECT_EQ(Unpacked(One, Size), Bytes);
    for (const int32_t Threads : {2, 8}) EXPECT_EQ(Packed(Bytes, Threads), One) << Threads << " threads";
  }
  // The empty stream is the one zlib itself writes.
  EXPECT_EQ(Packed({}, 8), (std::vector<uint8_t>{0x78, 0xDA, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
}

TEST(ParallelDeflate, ReportsProgressOnTheCallingThreadAndPassesErrorsOn) {
  const std::vector<uint8_t> Bytes = Plain(20 * DeflateBlockSize + 5);
  const std::thread::id Caller = std::this_thread::get_id();
  std::vector<int64_t> Seen;
  TMemoryStream Out;
  DeflateInBlocks(
      static_cast<int64_t>(Bytes.size()),
      [&](int64_t Offset, size_t Count, uint8_t* Into) { std::copy_n(Bytes.begin() + Offset, Count, Into); }, Out,
      [&](int64_t Done) {
        EXPECT_EQ(std::this_thread::get_id(), Caller);
        Seen.push_back(Done);
      },
      4);
  ASSERT_GE(Seen.size(), 2u);
  EXPECT_TRUE(std::is_sorted(Seen.begin(), Seen.end()));
  EXPECT_EQ(Seen.back(), static_cast<int64_t>(Bytes.size()));

  TMemoryStream Lost;
  EXPECT_THROW(DeflateInBlocks(
                   static_cast<int64_t>(Bytes.size()),
                   [&](int64_t Offset, size_t, uint8_t*) {
                     if (Offset > 5 * static_cast<int64_t>(DeflateBlockSize)) throw EInOutError("gone");
                   },
                   Lost, {}, 4),
               EInOutError);
}

// The packed copy of a file is read by zlib's reader in another program, and by UnpackFile.
TEST(ParallelDeflate, PackedFilesUnpackHereAndInPython) {
  TempFolder Dir;
  const std::vector<uint8_t> Bytes = Plain(5 * DeflateBlockSize + 777);
  {
    std::ofstream(Dir / "x.dat", std::ios::binary).write(reinterpret_cast<const char*>(Bytes.data()),
                                                          static_cast<std::streamsize>(Bytes.size()));
  }
  std::string First;
  for (const char* Threads : {"1", "2", "8"}) {
    SCOPED_TRACE(Threads);
    test::ScopedThreads Scope(Threads);
    ASSERT_TRUE(PackFile(Dir / "x.dat", Dir / "x.zlib", false));
    std::ifstream In(Dir / "x.zlib", std::ios::binary);
    const std::string Packed((std::istreambuf_iterator<char>(In)), {});
    if (First.empty()) First = Packed;
    EXPECT_EQ(Packed, First);
    ASSERT_TRUE(UnpackFile(Dir / "x.zlib", Dir / "back.dat", false, 0));
    std::ifstream Back(Dir / "back.dat", std::ios::binary);
    EXPECT_TRUE(std::equal(Bytes.begin(), Bytes.end(), std::istreambuf_iterator<char>(Back),
                           std::istreambuf_iterator<char>(), [](uint8_t A, char C) { return A == static_cast<uint8_t>(C); }));
  }
  if (std::system("python3 -c 'import zlib' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3 with zlib";
  const std::string Command = "python3 -c \"import sys, zlib; sys.stdout.buffer.write(zlib.decompress(open(sys.argv[1], "
                              "'rb').read()))\" '" + Dir / "x.zlib" + "' > '" + Dir / "py.dat" + "'";
  ASSERT_EQ(std::system(Command.c_str()), 0);
  std::ifstream Py(Dir / "py.dat", std::ios::binary);
  const std::string Read((std::istreambuf_iterator<char>(Py)), {});
  EXPECT_EQ(Read, std::string(Bytes.begin(), Bytes.end()));
}

}  // namespace
}  // namespace qv
