// Merging FCS files into one data set, checked against digests of what the file-by-file loop
// (a set per file, merged into the growing set one after another) produced: every field of the
// merged set and of every event, before and after compensation, on 1, 2 and 8 threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DataSetFixtures.h"
#include "Digest.h"
#include "ScopedThreads.h"
#include "RecordingMessages.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"

namespace qv {
namespace {

using test::Mix;
using test::ScopedThreads;
using test::TDigest;

// Parameters of the files: two gates (FSC log, SSC the cull gate) and four channels, with two
// spare parameters; files list them in different orders.
const std::vector<std::string> Standard = {"FSC-H", "SSC-H", "FL1-H", "FL2-H", "FL3-H", "FL4-H", "FL5-H", "Time"};
const std::vector<std::string> Shuffled = {"Time", "FL4-H", "SSC-H", "FL5-H", "FL2-H", "FSC-H", "FL1-H", "FL3-H"};

// One value of parameter Name of event E of file Seed: one event in eight is below the raw floor
// in every channel (filtered); cull-gate values stand on and around the bounds 10 and 500; the
// rest of every kind a float can hold.
double Value(uint64_t Seed, int64_t E, const std::string& Name, bool Whole) {
  const uint64_t R = Mix(Seed * 1000003 + static_cast<uint64_t>(E) * 16 + std::hash<std::string>()(Name) % 16);
  const bool Channel = Name.rfind("FL", 0) == 0 && Name != "FL5-H";
  if (Channel && Mix(Seed * 77 + static_cast<uint64_t>(E)) % 8 == 0) return static_cast<double>(R % 2);
  if (Name == "SSC-H") {
    const double Near[] = {10, 500, 9, 11, 499, 501, 10.5, 499.5, 250, 0};
    return Whole ? std::floor(Near[R % 10]) : Near[R % 10];
  }
  if (Whole) return static_cast<double>(R % 1024);
  const double U = static_cast<double>(R >> 11) / 9007199254740992.0;
  switch (R % 8) {
    case 0: return std::pow(10.0, -38 + 8 * U);
    case 1: return 0;
    case 2: return -std::pow(10.0, 5 * U);
    case 3: return std::nextafter(2.0f, R % 16 < 8 ? 0.0f : 4.0f);
    case 4: return std::pow(10.0, 20 + 10 * U);
    default: return std::pow(10.0, -2 + 8 * U);
  }
}

struct TFileDef {
  std::string Name;
  int64_t Events;
  bool ShuffledOrder = false;
  bool Integer = false;
  bool BigEndian = false;
  bool AllFiltered = false;
};

void WriteFile(const std::string& Folder, const TFileDef& D, uint64_t Seed) {
  test::FcsFileSpec Spec;
  Spec.DataType = D.Integer ? test::FcsDataType::Int16 : test::FcsDataType::Float32;
  Spec.BigEndian = D.BigEndian;
  const std::vector<std::string>& Names = D.ShuffledOrder ? Shuffled : Standard;
  for (const std::string& N : Names)
    Spec.Parameters.push_back(D.Integer && N == "FL2-H" ? test::LogParameter(N, 4) : test::LinearParameter(N, 262144));
  if (D.Integer)
    for (auto& P : Spec.Parameters) P.Range = 1024;
  Spec.EventCount = D.Events;
  Spec.Value = [=](int64_t E, int32_t P) {
    if (D.AllFiltered && Names[P].rfind("FL", 0) == 0) return 1.0;
    return Value(Seed, E, Names[P], D.Integer);
  };
  test::WriteFcs(Folder + D.Name, Spec);
}

std::unique_ptr<TProtocol> MergeProtocol() {
  return test::MakeProtocol({{"FSC", "FSC-H", true}, {"Cull", "SSC-H", false, true}},
                            {{"GFP", "FL1-H"}, {"RFP", "FL2-H"}, {"CFP", "FL3-H"}, {"YFP", "FL4-H"}},
                            {{100, 2, 1, 0.5f}, {3, 100, 2, 1}, {1, 4, 100, 2}, {0.5f, 1, 3, 100}});
}

// The merged set as the reading page built it file by file: the names taken from the last to
// the first, each file's set built without analysis and merged under the next file index.
std::unique_ptr<TFCSData> FileByFile(const std::string& Folder, const std::vector<std::string>& Names,
                                     TProtocol& Protocol, const TCullSettings& Cull) {
  std::unique_ptr<TFCSData> Merged;
  int32_t k = 0;
  for (size_t j = Names.size(); j-- > 0;) {
    const TFCSFile File(Folder + Names[j]);
    auto Part = TFCSData::Create(File, 0, true, nullptr, &Protocol);
    if (!Merged)
      Merged = TFCSData::CreateMerged(*Part, Cull);
    else
      Merged->Merge(*Part, k, Cull);
    ++k;
  }
  return Merged;
}

void AddEvents(TDigest& D, const TFCSData& Data) {
  D.Value(Data.Events.size());
  D.Value(Data.Events.GateCount());
  D.Value(Data.Events.ChannelCount());
  for (size_t i = 0; i < Data.Events.size(); ++i) {
    const TFCSLine E = Data.Events[i];
    D.Value(E.Filtered());
    D.Value(E.GatedOut());
    test::AddEventValues(D, E);
    D.Text(std::string(E.Mask()));
    D.Value(E.Classes());
    D.Value(E.MaxZ());
    D.Value(E.SecondZ());
  }
}

// Every field of the merged set and of its events, the protocol's matched parameters, then the
// events again once compensated.
uint64_t MergedDigest(TFCSData& Data, TProtocol& Protocol) {
  TDigest D;
  for (const std::string* S : {&Data.DataFileName, &Data.SourceName, &Data.FileNames, &Data.ProtocolName})
    D.Text(*S);
  D.Value(Data.Parameters != nullptr);
  if (Data.Parameters)
    for (const TParameter& P : Data.Parameters->Items) {
      D.Value(P.Range);
      D.Text(P.ShortName);
      D.Value(P.Bytes);
      D.Text(P.LongName);
      D.Value(P.IsLog);
      D.Value(P.Decades);
      D.Value(P.Minimum);
      D.Text(P.Filter);
      for (float F : {P.Gain, P.Wavelength, P.Power, P.PercentLight, P.Voltage}) D.Value(F);
      D.Text(P.DetectorType);
      D.Value(P.UseAsGate);
      D.Value(P.UseAsChannel);
    }
  for (int32_t V : {Data.FileCount, Data.MaxFileIndex, Data.MinFileIndex, Data.ValueCount, Data.TotalCount,
                    Data.GateDetectorCount, Data.ChannelDetectorCount, Data.UnfilteredCount, Data.GatedInCount,
                    Data.CullGate})
    D.Value(V);
  D.Value(Data.ChannelNames.size());
  for (const std::string& N : Data.ChannelNames) D.Text(N);
  D.Array(Data.FirstEvent);
  D.Array(Data.LastEvent);
  D.Value(Data.ShortLines.size());
  D.Value(Data.GateDetectors.size() + Data.ChannelDetectors.size() + Data.PeakDetectors.size());
  D.Value(Data.CustomDetector != nullptr);
  D.Value(Data.ClassDetector != nullptr);
  for (int32_t g = 0; g < Protocol.GateCount(); ++g) D.Value(Protocol.GetGate(g)->ParameterIndex);
  for (int32_t c = 0; c < Protocol.ChannelCount(); ++c) D.Value(Protocol.GetChannel(c)->ParameterIndex);
  AddEvents(D, Data);
  Data.Compensate(Protocol, nullptr, 0);
  AddEvents(D, Data);
  return D.Hash();
}

class MergeFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Folder = new test::TempFolder;
    const std::vector<TFileDef> Files = {
        {"a0.fcs", 1000},
        {"a1.fcs", 40000, true, false, true},
        {"a2.fcs", 0},
        {"a3.fcs", 3000, false, true},
        {"a4.fcs", 500, false, false, false, true},
        {"a5.fcs", 17000, true},
        {"a6.fcs", 1},
    };
    for (size_t i = 0; i < Files.size(); ++i) WriteFile(Folder->Path(), Files[i], i + 1);
  }
  static void TearDownTestSuite() {
    delete Folder;
    Folder = nullptr;
  }
  static test::TempFolder* Folder;
  test::SettingsGuard Settings;
  test::RecordingMessages Messages;
  void SetUp() override { MinimumRawScore = 2; }
};
test::TempFolder* MergeFiles::Folder = nullptr;

struct TMergeCase {
  std::vector<std::string> Names;
  TCullSettings Cull;
  uint64_t Digest;
};

// The last name is merged first: an all-filtered or empty file there leaves file 0 without
// events, one in the middle a file index without events.
const std::vector<TMergeCase> Cases = {
    {{"a0.fcs", "a1.fcs", "a2.fcs", "a3.fcs", "a4.fcs", "a5.fcs", "a6.fcs"}, {false, 500, 10}, 2336542508727508389u},
    {{"a0.fcs", "a1.fcs", "a2.fcs", "a3.fcs", "a4.fcs", "a5.fcs", "a6.fcs"}, {true, 500, 10}, 11388092095287539166u},
    {{"a5.fcs", "a3.fcs", "a1.fcs", "a4.fcs"}, {false, 500, 10}, 15913068450966477934u},
    {{"a1.fcs", "a2.fcs"}, {true, 500, 10}, 8367819196802842081u},
};

std::unique_ptr<TFCSData> AllAtOnce(const std::string& Folder, const std::vector<std::string>& Names,
                                    TProtocol& Protocol, const TCullSettings& Cull, Progress* FileGauge = nullptr,
                                    const bool* ContinueFlag = nullptr) {
  return TFCSData::CreateFromFiles(Folder, Names, Protocol, Cull, nullptr, FileGauge, ContinueFlag);
}

TEST_F(MergeFiles, SameSetAsFileByFileOnEveryThreadCount) {
  for (const TMergeCase& C : Cases) {
    for (const char* Threads : {"1", "2", "8"}) {
      SCOPED_TRACE(std::string(Threads) + " threads, first name " + C.Names[0]);
      ScopedThreads Scope(Threads);
      auto P = MergeProtocol();
      auto M = AllAtOnce(Folder->Path(), C.Names, *P, C.Cull);
      ASSERT_TRUE(M);
      EXPECT_EQ(MergedDigest(*M, *P), C.Digest);
    }
    // Merge itself builds its copies as the merge of files does.
    auto P = MergeProtocol();
    auto M = FileByFile(Folder->Path(), C.Names, *P, C.Cull);
    EXPECT_EQ(MergedDigest(*M, *P), C.Digest);
  }
  EXPECT_TRUE(Messages.Errors.empty());
}

// Files are read and built on the workers, but the refresh notification, the busy cursor and
// the gauges belong to the windows' thread: all are only ever called from the thread that merges.
TEST_F(MergeFiles, RefreshCursorAndGaugesStayOnTheCallingThread) {
  ScopedThreads Scope("8");
  std::mutex Mutex;
  std::vector<std::thread::id> Callers;
  const auto Record = [&] {
    std::lock_guard Lock(Mutex);
    Callers.push_back(std::this_thread::get_id());
  };
  class TRecordingGauge : public Progress {
   public:
    explicit TRecordingGauge(std::function<void()> Call) : FCall(std::move(Call)) {}
    void SetMax(int64_t Max) override { FCall(); Progress::SetMax(Max); }
    void SetPosition(int64_t Position) override {
      FCall();
      EXPECT_LE(Position, Max());
      Progress::SetPosition(Position);
    }
    void Pump() override { FCall(); }

   private:
    std::function<void()> FCall;
  } Gauge(Record), Files(Record);
  SetRefreshHandler(Record);
  SetBusyCursorHooks(Record, Record);
  auto P = MergeProtocol();
  auto M = TFCSData::CreateFromFiles(Folder->Path(), Cases[0].Names, *P, {}, &Gauge, &Files, nullptr);
  SetRefreshHandler(nullptr);
  SetBusyCursorHooks(nullptr, nullptr);
  ASSERT_TRUE(M);
  EXPECT_GE(Callers.size(), 3 * Cases[0].Names.size());
  for (const std::thread::id& Id : Callers) EXPECT_EQ(Id, std::this_thread::get_id());
}

// Moves of the file gauge, in order; clears Flag at the file given.
class FileSteps : public Progress {
 public:
  void SetPosition(int64_t Position) override {
    Progress::SetPosition(Position);
    Steps.push_back(Position);
    if (Position == CancelAt) Flag = false;
  }
  void Pump() override { ++Pumps; }
  std::vector<int64_t> Steps;
  int32_t Pumps = 0;
  int64_t CancelAt = -1;
  bool Flag = true;
};

TEST_F(MergeFiles, CancelKeepsTheFilesTakenSoFar) {
  const std::vector<std::string> Names = {"a0.fcs", "a1.fcs", "a3.fcs", "a5.fcs", "a6.fcs"};
  for (const char* Threads : {"1", "2", "8"}) {
    SCOPED_TRACE(Threads);
    ScopedThreads Scope(Threads);
    FileSteps Steps;
    Steps.CancelAt = 3;
    auto P = MergeProtocol();
    auto M = AllAtOnce(Folder->Path(), Names, *P, {}, &Steps, &Steps.Flag);
    ASSERT_TRUE(M);
    // The last two names were taken; the gauge still steps over the rest, pumping at each.
    auto Q = MergeProtocol();
    auto Expected = FileByFile(Folder->Path(), {"a5.fcs", "a6.fcs"}, *Q, {});
    EXPECT_EQ(MergedDigest(*M, *P), MergedDigest(*Expected, *Q));
    EXPECT_EQ(Steps.Steps, (std::vector<int64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Steps.Max(), 5);
    EXPECT_EQ(Steps.Pumps, 5);
    // Cancelled before the first file: no set.
    Steps = FileSteps();
    Steps.CancelAt = 1;
    EXPECT_FALSE(AllAtOnce(Folder->Path(), Names, *P, {}, &Steps, &Steps.Flag));
    EXPECT_EQ(Steps.Steps.size(), 5u);
  }
}

// A file that cannot be merged ends the merge with its own error, never a later file's, and
// leaves the protocol matched as the file left it.
TEST_F(MergeFiles, FirstRefusedFileEndsTheMerge) {
  test::TempFolder Bad;
  const auto Copy = [&](const std::string& From, const std::string& To) {
    std::filesystem::copy_file(Folder->Path() + From, Bad / To);
  };
  for (const char* Name : {"a0.fcs", "a1.fcs", "a3.fcs", "a5.fcs", "a6.fcs"}) Copy(Name, Name);
  test::FcsFileSpec Cut;
  Cut.Parameters = {test::LinearParameter("FSC-H"), test::LinearParameter("SSC-H")};
  Cut.EventCount = 100;
  Cut.Value = [](int64_t E, int32_t) { return static_cast<double>(E); };
  test::WriteFcs(Bad / "other.fcs", Cut);
  Cut.TruncateTo = 700;
  test::WriteFcs(Bad / "cut.fcs", Cut);
  const auto ReadError = [&](const std::string& Name) {
    try {
      TFCSFile File(Bad / Name);
    } catch (const EFCSFileError& E) {
      return std::string(E.what());
    }
    return std::string("read");
  };
  struct TRefusal {
    std::string Refused;
    std::string Message;
    int32_t ParameterIndexOfFSC;
  };
  const std::vector<TRefusal> Refusals = {
      {"cut.fcs", ReadError("cut.fcs"), 5},  // the indices of a5.fcs, the file before
      {"gone.fcs", "File not found: " + Bad / "gone.fcs", 5},
      {"other.fcs", "other.fcs: its parameters do not match the protocol's channels and gates", 0},
  };
  for (const TRefusal& R : Refusals)
    for (const char* Threads : {"1", "2", "8"}) {
      SCOPED_TRACE(R.Refused + ", " + Threads + " threads");
      ScopedThreads Scope(Threads);
      auto P = MergeProtocol();
      FileSteps Steps;
      // Later files fail too, each in another way.
      const std::vector<std::string> Names = {"gone2.fcs", "cut.fcs", "other.fcs", "a0.fcs", R.Refused, "a5.fcs", "a6.fcs"};
      try {
        AllAtOnce(Bad.Path(), Names, *P, {}, &Steps);
        ADD_FAILURE() << "merged";
      } catch (const std::exception& E) {
        EXPECT_EQ(E.what(), R.Message);
      }
      EXPECT_EQ(Steps.Steps, (std::vector<int64_t>{1, 2, 3}));
      EXPECT_EQ(P->GetGate(0)->ParameterIndex, R.ParameterIndexOfFSC);
      EXPECT_TRUE(Messages.Errors.empty());
    }
}

// Merging into a set keeps its file range and positions those of its events, whatever the order
// of the file indices and whether a file gives events.
TEST_F(MergeFiles, MergeKeepsTheFileIndexOfItsEvents) {
  auto P = MergeProtocol();
  std::vector<std::unique_ptr<TFCSData>> Sets;
  for (const char* Name : {"a0.fcs", "a2.fcs", "a4.fcs", "a6.fcs"}) {
    const TFCSFile File(Folder->Path() + Name);
    Sets.push_back(TFCSData::Create(File, 0, true, nullptr, P.get()));
  }
  const std::vector<std::vector<std::pair<size_t, int32_t>>> Orders = {
      {{0, 0}, {1, 1}, {3, 2}, {0, 5}}, {{1, 0}, {2, 1}, {0, 4}, {3, 2}, {0, 1}},
      {{3, 7}, {0, 3}, {2, 9}, {0, 3}}, {{2, 0}, {1, 1}}};
  for (const auto& Order : Orders) {
    auto M = TFCSData::CreateMerged(*Sets[Order[0].first], {});
    for (size_t k = 1; k < Order.size(); ++k) {
      M->Merge(*Sets[Order[k].first], Order[k].second, {});
      const TIntArray First = M->FirstEvent, Last = M->LastEvent;
      const std::vector<int32_t> Range = {M->FileCount, M->MinFileIndex, M->MaxFileIndex};
      M->FileRange();
      M->BuildFileIndex();
      EXPECT_EQ(First, M->FirstEvent) << k;
      EXPECT_EQ(Last, M->LastEvent) << k;
      EXPECT_EQ(Range, (std::vector<int32_t>{M->FileCount, M->MinFileIndex, M->MaxFileIndex})) << k;
    }
  }
}

}  // namespace
}  // namespace qv
