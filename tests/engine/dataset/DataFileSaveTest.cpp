// The own data file's packed stream, checked against digests of the unpacked bytes that the
// sequential writer produced: the stream unpacks to the same bytes on any number of threads, is
// one zlib stream any reader takes, and loads back to the events saved.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AllocationCap.h"
#include "DataFileFixtures.h"
#include "Digest.h"
#include "Files.h"
#include "FitnessFixtures.h"
#include "RecordingMessages.h"
#include "ScopedThreads.h"
#include "Streams.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {
namespace {

using test::AssayProtocol;
using test::PackedDataFile;
using test::WriteBytes;
using test::ScopedThreads;
using test::SettingsGuard;
using test::Mix;
using test::TDigest;
using test::TempFolder;

// Count events of the protocol's shape in Files files: whole and fractional values of several
// decades, and about one event in sixteen, and every event from LowFrom to LowTo, with every
// channel below the raw floor (filtered, so not stored).
std::unique_ptr<TFCSData> MixedSet(const TProtocol& P, size_t Count, int32_t Files, size_t LowFrom = 0,
                                   size_t LowTo = 0) {
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
    const bool Low = Mix(e) % 16 == 5 || (LowFrom <= e && e < LowTo);
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

// Where the gauge was set and how often it pumped.
class RecordingGauge : public Progress {
 public:
  void SetMax(int64_t Max) override {
    Progress::SetMax(Max);
    Maxima.push_back(Max);
  }
  void SetPosition(int64_t Position) override {
    Progress::SetPosition(Position);
    Positions.push_back(Position);
  }
  void Pump() override { ++Pumps; }
  std::vector<int64_t> Maxima, Positions;
  int32_t Pumps = 0;
};

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
    size_t LowFrom, LowTo;
    uint64_t Size;
    uint64_t Digest;
  };
  const Case Cases[] = {
      {"many blocks", 200000, 0, 0, 4502873, 2331128660081020314ull},
      {"runs of filtered events", 60000, 9000, 31000, 857609, 17938904477765320490ull},
      {"one event", 1, 0, 0, 929, 9185636241686922634ull},
      {"no events", 0, 0, 0, 905, 15147643420612710083ull},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto D = MixedSet(*P, C.Events, 3, C.LowFrom, C.LowTo);
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

// Another program's zlib reads the saved file, and the program reads it back to the very events
// saved, in their order; both the save and the load move the gauge to their end as they go.
TEST_F(DataFileSave, SavedFileUnpacksElsewhereAndLoadsBackTheSameEvents) {
  MinimumRawScore = 2;
  auto P = AssayProtocol({"A", "B"}, {"GFP", "YFP", "RFP"}, 2);
  auto D = MixedSet(*P, 150000, 3);
  const std::string Name = Folder / "set.Quorvenal";
  RecordingGauge Saving;
  ASSERT_TRUE(D->SaveToFile(Name, *P, &Saving));
  const std::vector<uint8_t> Plain = Inflated(ReadBytes(Name));
  ASSERT_EQ(Saving.Maxima.size(), 1u);
  EXPECT_EQ(Saving.Maxima[0], static_cast<int64_t>(Plain.size()));
  EXPECT_GE(Saving.Positions.size(), 2u);
  EXPECT_TRUE(std::is_sorted(Saving.Positions.begin(), Saving.Positions.end()));
  EXPECT_EQ(Saving.Positions.back(), static_cast<int64_t>(Plain.size()));

  RecordingGauge Loading;
  TDataLoadOptions Options;
  Options.Compensate = Options.DetectorsAndClassify = Options.FitCurves = false;
  Options.Gauge = &Loading;
  std::unique_ptr<TProtocol> Loaded;
  auto L = TFCSData::CreateFromDataFile(Name, Options, Loaded);
  EXPECT_TRUE(Messages.Errors.empty());
  size_t Stored = 0;
  for (size_t i = 0; i < D->Events.size(); ++i) {
    const TFCSLine E = D->Events[i];
    if (E.Filtered()) continue;
    ASSERT_LT(Stored, L->Events.size());
    const TFCSLine Back = L->Events[Stored++];
    ASSERT_EQ(Back.FileIndex(), E.FileIndex()) << i;
    ASSERT_EQ(std::memcmp(Back.GateValues().data(), E.GateValues().data(), E.GateValues().size_bytes()), 0) << i;
    ASSERT_EQ(std::memcmp(Back.RawValues().data(), E.RawValues().data(), E.RawValues().size_bytes()), 0) << i;
    ASSERT_EQ(std::memcmp(Back.LogRawValues().data(), E.LogRawValues().data(), E.LogRawValues().size_bytes()), 0) << i;
  }
  EXPECT_EQ(Stored, L->Events.size());
  EXPECT_GE(Loading.Positions.size(), 2u) << "the events of a file of several pieces move the gauge as they come";
  EXPECT_EQ(Loading.Positions.back(), static_cast<int64_t>(Stored));

  if (std::system("python3 -c 'import zlib' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3 with zlib";
  const std::string Command = "python3 -c \"import sys, zlib; sys.stdout.buffer.write(zlib.decompress(open(sys.argv[1], "
                              "'rb').read()))\" '" + Name + "' > '" + Folder / "py.bin" + "'";
  ASSERT_EQ(std::system(Command.c_str()), 0);
  EXPECT_EQ(ReadBytes(Folder / "py.bin"), Plain);
}

// Stored file names of 60 MB of line breaks pack to about 60 KB. They are counted as they are
// unpacked and refused at the cap, at a cost the packed size allows; a set of exactly the cap
// loads, and a set naming more is not saved.
TEST_F(DataFileSave, FileNamesBeyondTheCapAreRefusedAsTheyAreUnpacked) {
  auto P = AssayProtocol({"A"}, {"GFP"});
  const std::string Name = Folder / "names.Quorvenal";
  const std::vector<uint8_t> Packed = PackedDataFile(*P, std::string(60 << 20, '\n'), 1);
  WriteBytes(Name, Packed);
  auto Mine = AssayProtocol({"Mine"}, {"RFP"});
  TProtocol* Before = Mine.get();
  bool Reached = false;
  {
    test::TAllocationCap Cap(64 * Packed.size() + (64 << 20));
    auto D = TFCSData::CreateFromDataFile(Name, TDataLoadOptions(), Mine);
    Reached = Cap.Reached();
    EXPECT_TRUE(D->Events.empty());
  }
  EXPECT_FALSE(Reached);
  const std::string Refusal = "Error reading Quorvenal file \"" + Name +
                              "\": it names more than 65536 files, the most one data set may hold.";
  EXPECT_EQ(Messages.Errors, (std::vector<std::string>{Refusal}));
  EXPECT_EQ(Mine.get(), Before);

  std::string AtCap;
  for (int32_t f = 0; f < TFCSData::MaxDataSetFiles; ++f) AtCap += "f" + std::to_string(f) + ".fcs\r\n";
  for (const bool Over : {false, true}) {
    SCOPED_TRACE(Over);
    Messages.Errors.clear();
    WriteBytes(Name, PackedDataFile(*P, Over ? AtCap + "one more.fcs" : AtCap, 3));
    std::unique_ptr<TProtocol> Loaded;
    TDataLoadOptions Options;
    Options.Compensate = Options.DetectorsAndClassify = Options.FitCurves = false;
    auto D = TFCSData::CreateFromDataFile(Name, Options, Loaded);
    EXPECT_EQ(D->Events.size(), Over ? 0u : 3u);
    EXPECT_EQ(Messages.Errors, Over ? std::vector<std::string>{Refusal} : std::vector<std::string>{});
    if (Over) continue;
    Messages.Errors.clear();
    D->FileNames += "one more.fcs\r\n";
    EXPECT_FALSE(D->SaveToFile(Folder / "more.Quorvenal", *Loaded));
    EXPECT_EQ(Messages.Errors.size(), 1u);
    EXPECT_FALSE(FileExists(Folder / "more.Quorvenal"));
  }
}

// Events that would cost more than the packed size allows are believed once the stream has been
// seen to hold them: a large set of one repeated event still loads whole, the gauge running over
// both passes.
TEST_F(DataFileSave, EventsBeyondWhatThePackedSizeVouchesForLoadAfterAFirstPass) {
  auto P = AssayProtocol({"A"}, {"GFP"});
  const int32_t Count = 2400000;  // 8-byte records, 30 bytes each in memory: over 64 MB
  const std::vector<uint8_t> Packed = PackedDataFile(*P, "one.fcs\r\n", Count, 123.5f);
  ASSERT_GT(static_cast<int64_t>(Count) * 30, 64 * static_cast<int64_t>(Packed.size()) + (64 << 20));
  WriteBytes(Folder / "repeated.Quorvenal", Packed);
  RecordingGauge Gauge;
  TDataLoadOptions Options;
  Options.Compensate = Options.DetectorsAndClassify = Options.FitCurves = false;
  Options.Gauge = &Gauge;
  std::unique_ptr<TProtocol> Loaded;
  auto D = TFCSData::CreateFromDataFile(Folder / "repeated.Quorvenal", Options, Loaded);
  EXPECT_TRUE(Messages.Errors.empty());
  ASSERT_EQ(D->Events.size(), static_cast<size_t>(Count));
  for (const size_t i : {size_t{0}, size_t{Count / 2}, size_t{Count - 1}}) {
    EXPECT_EQ(D->Events[i].RawValues()[0], 123.5f);
    EXPECT_EQ(D->Events[i].FileIndex(), 0);
  }
  ASSERT_FALSE(Gauge.Maxima.empty());
  EXPECT_EQ(Gauge.Maxima[0], 2 * static_cast<int64_t>(Count));
  EXPECT_TRUE(std::is_sorted(Gauge.Positions.begin(), Gauge.Positions.end()));
  EXPECT_EQ(Gauge.Positions.back(), 2 * static_cast<int64_t>(Count));
}

}  // namespace
}  // namespace qv
