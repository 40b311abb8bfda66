// The own data file's packed stream, checked against digests of the unpacked bytes that the
// sequential writer produced: the stream unpacks to the same bytes on any number of threads, is
// one zlib stream any reader takes, and loads back to the events saved.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Digest.h"
#include "FitnessFixtures.h"
#include "RecordingMessages.h"
#include "ScopedThreads.h"
#include "Streams.h"
#include "dataset/FCSData.h"

namespace qv {
namespace {

using test::AssayProtocol;
using test::ScopedThreads;
using test::SettingsGuard;
using test::TDigest;
using test::TempFolder;

uint64_t Mix(uint64_t X) {
  X ^= X >> 33;
  X *= 0xff51afd7ed558ccdULL;
  X ^= X >> 33;
  X *= 0xc4ceb9fe1a85ec53ULL;
  X ^= X >> 33;
  return X;
}

// Count events of the protocol's shape in Files files: whole and fractional values of several
// decades, and about one event in sixteen with every channel below the raw floor (filtered,
// so not stored).
std::unique_ptr<TFCSData> MixedSet(const TProtocol& P, size_t Count, int32_t Files) {
  auto D = std::make_unique<TFCSData>();
  const int32_t NG = P.GateCount(), NC = P.ChannelCount();
  D->SourceName = TFCSData::MergedName;
  D->ValueCount = NG + NC;
  for (int32_t c = 0; c < NC; ++c) D->ChannelNames.push_back(P.GetChannel(c)->ChannelName);
  for (int32_t f = 0; f < Files; ++f) D->FileNames += "plate" + std::to_string(f) + ".fcs\r\n";
  D->Events.Reset(NG, NC);
  D->ShortLines.Reset(NC);
  std::vector<int32_t> Gates(static_cast<size_t>(NG)), Channels(static_cast<size_t>(NC));
  for (int32_t g = 0; g < NG; ++g) Gates[static_cast<size_t>(g)] = g;
  for (int32_t c = 0; c < NC; ++c) Channels[static_cast<size_t>(c)] = NG + c;
  std::vector<float> Row(static_cast<size_t>(NG + NC));
  for (size_t e = 0; e < Count; ++e) {
    const bool Low = Mix(e) % 16 == 5;
    for (size_t v = 0; v < Row.size(); ++v) {
      const uint64_t R = Mix(e * 64 + v);
      if (Low && v >= static_cast<size_t>(NG))
        Row[v] = 0.5f;
      else if (R % 3 == 0)
        Row[v] = static_cast<float>(R % 1024);
      else
        Row[v] = static_cast<float>(static_cast<double>(R >> 20) / 1e9);
    }
    TFCSLine L = D->Events.Append();
    L.Create(Row, Gates, Channels);
    L.SetFileIndex(static_cast<int32_t>(e % static_cast<size_t>(Files)));
  }
  D->FileRange();
  D->BuildFileIndex();
  return D;
}

std::vector<uint8_t> ReadBytes(const std::string& FileName) {
  TFileStream In(FileName, TFileStream::TMode::OpenRead);
  std::vector<uint8_t> Bytes(static_cast<size_t>(In.Size()));
  if (!Bytes.empty()) In.ReadBuffer(Bytes.data(), Bytes.size());
  return Bytes;
}

// The bytes one zlib stream unpacks to; the stream must end exactly where the bytes do.
std::vector<uint8_t> Inflated(const std::vector<uint8_t>& Packed) {
  z_stream Z{};
  EXPECT_EQ(inflateInit(&Z), Z_OK);
  std::vector<uint8_t> Plain, Piece(1 << 16);
  Z.next_in = const_cast<Bytef*>(Packed.data());
  Z.avail_in = static_cast<uInt>(Packed.size());
  int Status = Z_OK;
  while (Status == Z_OK) {
    Z.next_out = Piece.data();
    Z.avail_out = static_cast<uInt>(Piece.size());
    Status = inflate(&Z, Z_NO_FLUSH);
    Plain.insert(Plain.end(), Piece.data(), Piece.data() + (Piece.size() - Z.avail_out));
  }
  EXPECT_EQ(Status, Z_STREAM_END);
  EXPECT_EQ(Z.avail_in, 0u) << "bytes after the end of the stream";
  inflateEnd(&Z);
  return Plain;
}

uint64_t DigestOf(const std::vector<uint8_t>& Bytes) {
  TDigest D;
  D.Array(Bytes);
  return D.Hash();
}

class DataFileSave : public ::testing::Test {
 protected:
  SettingsGuard Settings;
  TempFolder Folder;
  test::RecordingMessages Messages;
};

// Two gates and three channels: 24-byte records, so block boundaries fall inside records.
TEST_F(DataFileSave, UnpackedBytesMatchTheSequentialWritersOnAnyThreadCount) {
  MinimumRawScore = 2;
  auto P = AssayProtocol({"A", "B"}, {"GFP", "YFP", "RFP"}, 2);
  struct Case {
    const char* Name;
    size_t Events;
    uint64_t Size;
    uint64_t Digest;
  };
  const Case Cases[] = {
      {"many blocks", 200000, 4502873, 2331128660081020314ull},
      {"one event", 1, 929, 9185636241686922634ull},
      {"no events", 0, 905, 15147643420612710083ull},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto D = MixedSet(*P, C.Events, 3);
    std::vector<uint8_t> First;
    for (const char* Threads : {"1", "2", "8"}) {
      SCOPED_TRACE(Threads);
      ScopedThreads Scope(Threads);
      const std::string Name = Folder / (std::string("t") + Threads + ".Quorvenal");
      ASSERT_TRUE(D->SaveToFile(Name, *P));
      const std::vector<uint8_t> Packed = ReadBytes(Name);
      const std::vector<uint8_t> Plain = Inflated(Packed);
      EXPECT_EQ(Plain.size(), C.Size);
      EXPECT_EQ(DigestOf(Plain), C.Digest);
      if (First.empty()) First = Packed;
      EXPECT_EQ(Packed, First) << "the packed bytes do not depend on the thread count";
    }
  }
}

}  // namespace
}  // namespace qv
