#include "dataset/FCSData.h"

#include <gtest/gtest.h>

#include <new>
#include <thread>

#include "DataSetFixtures.h"
#include "Digest.h"
#include "Errors.h"
#include "RecordingMessages.h"
#include "ScopedThreads.h"
#include "TextUtils.h"

namespace qv {
namespace {

using test::ChannelDef;
using test::GateDef;
using test::MakeProtocol;
using test::RecordingMessages;
using test::SettingsGuard;
using test::TempFolder;
using test::WriteAndRead;

// FSC, SSC, FL1, FL2 with long names; the channels come after the gates in every row.
std::unique_ptr<TFCSFile> FourParameterFile(const TempFolder& Folder, const std::string& Name,
                                            const std::vector<std::vector<double>>& Events) {
  return WriteAndRead(Folder, Name, {"FSC-H", "SSC-H", "FL1-H", "FL2-H"}, Events,
                      {"Forward", "Side", "GFP-A", "RFP-A"});
}

std::unique_ptr<TProtocol> TwoByTwo(bool CullOnFirstGate = false) {
  return MakeProtocol({{"FSC", "FSC-H", false, CullOnFirstGate}, {"SSC", "SSC-H", true}},
                      {{"GFP", "FL1-H"}, {"RFP", "FL2-H"}});
}

std::vector<int32_t> FileIndices(const TFCSData& D) {
  std::vector<int32_t> R;
  for (size_t i = 0; i < D.Events.size(); ++i) R.push_back(D.Events[i].FileIndex());
  return R;
}

std::vector<float> Channel0(const TFCSData& D) {
  std::vector<float> R;
  for (size_t i = 0; i < D.Events.size(); ++i) R.push_back(D.Events[i].RawValues()[0]);
  return R;
}

class DataSet : public ::testing::Test {
 protected:
  SettingsGuard Guard;
  RecordingMessages Messages;
  TempFolder Folder;
  void SetUp() override { MinimumRawScore = 2; }
};

TEST_F(DataSet, MatchesChannelsByLabelAndLongNameExactOrNot) {
  auto File = FourParameterFile(Folder, "a.fcs", {{1, 2, 3, 4}});
  // Inexact: a substring; the highest matching parameter wins.
  auto P = MakeProtocol({{"Scatter", "SC"}}, {{"Green", "FL1"}, {"Red", "", "RFP", false, true}, {"Any", "-H"}});
  auto D = TFCSData::Create(*File, 0, true, nullptr, P.get());
  EXPECT_EQ(P->GetGate(0)->ParameterIndex, 1);
  EXPECT_EQ(P->GetChannel(0)->ParameterIndex, 2);
  EXPECT_EQ(P->GetChannel(1)->ParameterIndex, -1) << "exact long name RFP does not match RFP-A";
  EXPECT_EQ(P->GetChannel(2)->ParameterIndex, 3);
  EXPECT_TRUE(D->Events.empty()) << "an unmatched channel leaves the set without events";
  EXPECT_TRUE(Messages.Errors.empty());
  EXPECT_EQ(D->ValueCount, 4);
  EXPECT_EQ(D->ChannelNames, (TStringArray{"Green", "Red", "Any"}));

  auto Exact = MakeProtocol({{"FSC", "FSC-H"}}, {{"Red", "FL2-H", "RFP-A", true, true}, {"G", "FL1", "", true}});
  D = TFCSData::Create(*File, 0, true, nullptr, Exact.get());
  EXPECT_EQ(Exact->GetGate(0)->ParameterIndex, 0);
  EXPECT_EQ(Exact->GetChannel(0)->ParameterIndex, 3);
  EXPECT_EQ(Exact->GetChannel(1)->ParameterIndex, -1) << "exact label FL1 is not FL1-H";
}

TEST_F(DataSet, CreatesEventsInFileOrderWithoutAnalysis) {
  auto File = FourParameterFile(Folder, "sample.fcs", {{10, 20, 300, 40}, {11, 21, 1, 1}, {12, 22, 0.5, 500}});
  auto P = TwoByTwo();
  auto D = TFCSData::Create(*File, 0, true, nullptr, P.get());
  EXPECT_EQ(D->SourceName, Folder / "sample.fcs");
  EXPECT_EQ(D->FileNames, "sample.fcs\r\n");
  EXPECT_EQ(D->DataFileName, "");
  ASSERT_TRUE(D->Parameters);
  EXPECT_EQ(D->Parameters->Count(), 4);
  ASSERT_EQ(D->Events.size(), 3u);
  EXPECT_EQ(Channel0(*D), (std::vector<float>{300, 1, 0.5f}));
  EXPECT_EQ(D->Events[2].GateValues()[1], 22.0f);
  EXPECT_TRUE(D->Events[1].Filtered());
  EXPECT_FALSE(D->Events[2].Filtered());
  EXPECT_TRUE(D->Events[0].CompValues().empty());
  EXPECT_EQ(D->FileCount, 1);
  EXPECT_EQ(D->MinFileIndex, 0);
  EXPECT_EQ(D->MaxFileIndex, 0);
  EXPECT_EQ(D->CullGate, -1);
  // Counted only when the detectors are set.
  EXPECT_EQ(D->EventCount(0), 0);
  EXPECT_EQ(D->EventCount(1), 0);
  EXPECT_EQ(D->EventCount(2), 0);

  auto None = TFCSData::Create(*File, 0, true, nullptr, nullptr);
  EXPECT_TRUE(None->Events.empty());
  EXPECT_EQ(None->FileNames, "sample.fcs\r\n");
}

TEST_F(DataSet, AnalysedCreationCompensatesAndCounts) {
  auto File = FourParameterFile(Folder, "sample.fcs", {{10, 20, 300, 40}, {11, 21, 1, 1}});
  auto P = TwoByTwo();
  Progress Gauge;
  auto D = TFCSData::Create(*File, 0, false, &Gauge, P.get());
  ASSERT_EQ(D->Events.size(), 2u);
  EXPECT_EQ(D->Events[0].CompValues()[0], 300.0f);
  EXPECT_EQ(D->Events[1].CompValues()[1], 1.0f);
  EXPECT_EQ(D->ProtocolName, P->FileName);
  EXPECT_EQ(D->EventCount(0), 2);
  EXPECT_EQ(D->EventCount(1), 1);
  EXPECT_EQ(D->EventCount(3), 0);
}

TEST_F(DataSet, EventsThatCannotBeBuiltLeaveNoEvents) {
  auto File = FourParameterFile(Folder, "sample.fcs", {{10, 20, 300, 40}, {11, 21, 5, 5}, {12, 22, 6, 6}});
  // DATA holding fewer rows than the file declares.
  File->EventCount = 4;
  auto P = TwoByTwo();
  auto D = TFCSData::Create(*File, 0, false, nullptr, P.get());
  EXPECT_EQ(Messages.Errors, (std::vector<std::string>{"Error reading FCS file"}));
  EXPECT_TRUE(D->Events.empty());
  EXPECT_EQ(D->FileCount, 0);
}

// Running out of memory on the way is reported like an unreadable file, and leaves no set.
class OutOfMemoryGauge : public Progress {
 public:
  void SetMax(int64_t) override { throw std::bad_alloc(); }
};

TEST_F(DataSet, OutOfMemoryIsAReadErrorAndLeavesNoSet) {
  auto File = FourParameterFile(Folder, "sample.fcs", {{10, 20, 300, 40}, {11, 21, 5, 5}, {12, 22, 6, 6}});
  auto P = TwoByTwo();
  OutOfMemoryGauge Gauge;
  try {
    TFCSData::Create(*File, 0, false, &Gauge, P.get());
    ADD_FAILURE() << "no error";
  } catch (const EFCSFileError& E) {
    EXPECT_EQ(E.Reason(), "not enough memory for 3 events.");
    EXPECT_EQ(std::string(E.what()).rfind("Error reading FCS file", 0), 0u);
  }
  // Nothing half-built stays behind: the same file and protocol still give a whole set.
  auto D = TFCSData::Create(*File, 0, false, nullptr, P.get());
  EXPECT_EQ(D->Events.size(), 3u);
}

// Workers build the events, but the gauge moves from the calling thread only, every 100 events
// from the last down as one thread moves it, and the events are those built without a gauge.
TEST_F(DataSet, CreationMovesTheGaugeAsOneThreadWouldOnEveryThreadCount) {
  std::vector<std::vector<double>> Rows;
  for (int i = 0; i < 300050; ++i) Rows.push_back({i % 1000 * 1.5, 5, i % 77 * 1.0, 3});
  const auto File = FourParameterFile(Folder, "big.fcs", Rows);
  const int32_t Count = File->EventCount;
  std::vector<int64_t> Expected;
  for (int32_t m = Count / 100 * 100; m >= 100; m -= 100) Expected.push_back(Count - m);
  const auto Digest = [](const TFCSData& D) {
    test::TDigest Hash;
    for (size_t i = 0; i < D.Events.size(); ++i) test::AddEventValues(Hash, D.Events[i]);
    return Hash.Hash();
  };
  auto P = TwoByTwo();
  const uint64_t Plain = Digest(*TFCSData::Create(*File, 0, true, nullptr, P.get()));
  for (const char* Threads : {"1", "2", "8"}) {
    SCOPED_TRACE(Threads);
    test::ScopedThreads Scope(Threads);
    class TGauge : public Progress {
     public:
      void SetPosition(int64_t Position) override {
        Foreign += std::this_thread::get_id() != Owner;
        Positions.push_back(Position);
      }
      void Pump() override {
        Foreign += std::this_thread::get_id() != Owner;
        ++Pumps;
      }
      const std::thread::id Owner = std::this_thread::get_id();
      std::vector<int64_t> Positions;
      int32_t Pumps = 0, Foreign = 0;
    } Gauge;
    const auto Gauged = TFCSData::Create(*File, 0, true, &Gauge, P.get());
    EXPECT_EQ(Gauge.Positions, Expected);
    EXPECT_EQ(Gauge.Foreign, 0);
    EXPECT_GE(Gauge.Pumps, 2);
    EXPECT_EQ(Digest(*Gauged), Plain);
  }
}

TEST_F(DataSet, MissingFileIsNamed) {
  TFCSFile File(Folder / "gone.fcs");
  auto D = TFCSData::Create(File, 0, false, nullptr, TwoByTwo().get());
  EXPECT_TRUE(D->Events.empty());
  EXPECT_EQ(Messages.Errors, (std::vector<std::string>{"File not found: " + Folder / "gone.fcs"}));
}

TEST_F(DataSet, MergesFilesWithIndicesRangesAndNames) {
  auto P = TwoByTwo();
  auto F0 = FourParameterFile(Folder, "f0.fcs", {{1, 1, 100, 5}, {1, 1, 1, 1}, {1, 1, 101, 5}});
  auto F1 = FourParameterFile(Folder, "f1.fcs", {{1, 1, 200, 5}, {1, 1, 201, 5}});
  auto F2 = FourParameterFile(Folder, "f2.fcs", {{1, 1, 300, 5}});
  auto D0 = TFCSData::Create(*F0, 0, true, nullptr, P.get());
  auto D1 = TFCSData::Create(*F1, 0, true, nullptr, P.get());
  auto D2 = TFCSData::Create(*F2, 0, true, nullptr, P.get());
  TCullSettings Cull;
  auto M = TFCSData::CreateMerged(*D0, Cull);
  EXPECT_EQ(M->SourceName, "Merged Files");
  EXPECT_EQ(M->ChannelNames, D0->ChannelNames);
  EXPECT_EQ(M->ValueCount, 4);
  // The filtered event is dropped; each source is taken last event first.
  EXPECT_EQ(Channel0(*M), (std::vector<float>{101, 100}));
  EXPECT_EQ(M->FileCount, 1);
  EXPECT_TRUE(M->Merge(*D1, 1, Cull));
  EXPECT_EQ(M->FileCount, 2);
  EXPECT_TRUE(M->Merge(*D2, 2, Cull));
  EXPECT_EQ(Channel0(*M), (std::vector<float>{101, 100, 201, 200, 300}));
  EXPECT_EQ(FileIndices(*M), (std::vector<int32_t>{0, 0, 1, 1, 2}));
  EXPECT_EQ(M->FileCount, 3);
  EXPECT_EQ(M->MinFileIndex, 0);
  EXPECT_EQ(M->MaxFileIndex, 2);
  EXPECT_EQ(M->FileNames, "f0.fcs\r\nf1.fcs\r\nf2.fcs\r\n");
  EXPECT_TRUE(M->Events[0].CompValues().empty()) << "merged copies are compensated again";
  EXPECT_FALSE(M->Events[0].LogRawValues().empty());

  M->BuildFileIndex();
  EXPECT_EQ(M->FirstEvent, (TIntArray{0, 2, 4}));
  EXPECT_EQ(M->LastEvent, (TIntArray{1, 3, 4}));

  // A file index without events keeps the empty marks.
  auto Gap = TFCSData::CreateMerged(*D0, Cull);
  Gap->Merge(*D2, 2, Cull);
  Gap->BuildFileIndex();
  EXPECT_EQ(Gap->FirstEvent, (TIntArray{0, 2147483647, 2}));
  EXPECT_EQ(Gap->LastEvent, (TIntArray{1, -1, 2}));
}

TEST_F(DataSet, CullGateKeepsValuesStrictlyInsideItsBounds) {
  const std::vector<std::vector<double>> Rows{{50, 1, 10, 5}, {50.5, 1, 11, 5}, {999.9, 1, 12, 5}, {1000, 1, 13, 5}};
  auto P = TwoByTwo(true);
  auto File = FourParameterFile(Folder, "c.fcs", Rows);
  auto D = TFCSData::Create(*File, 0, true, nullptr, P.get());
  EXPECT_EQ(D->CullGate, 0);
  TCullSettings Cull{true, 1000, 50};
  EXPECT_EQ(Channel0(*TFCSData::CreateMerged(*D, Cull)), (std::vector<float>{12, 11}));
  Cull.Cull = false;
  EXPECT_EQ(TFCSData::CreateMerged(*D, Cull)->Events.size(), 4u);

  auto NoCullGate = TwoByTwo(false);
  auto E = TFCSData::Create(*File, 0, true, nullptr, NoCullGate.get());
  EXPECT_EQ(TFCSData::CreateMerged(*E, TCullSettings{true, 1000, 50})->Events.size(), 4u);
}

TEST_F(DataSet, MergeRefusesAnotherShape) {
  auto P = TwoByTwo();
  auto Small = MakeProtocol({{"FSC", "FSC-H"}}, {{"GFP", "FL1-H"}, {"RFP", "FL2-H"}});
  auto File = FourParameterFile(Folder, "a.fcs", {{1, 1, 100, 5}});
  auto D = TFCSData::Create(*File, 0, true, nullptr, P.get());
  auto Other = TFCSData::Create(*File, 0, true, nullptr, Small.get());
  auto M = TFCSData::CreateMerged(*D, {});
  EXPECT_FALSE(M->Merge(*Other, 1, {}));
  EXPECT_EQ(Messages.Errors.size(), 1u);
  EXPECT_EQ(M->Events.size(), 1u);
  EXPECT_EQ(M->FileNames, "a.fcs\r\n");
}

TEST_F(DataSet, NamesCountsAndCompactEvents) {
  TFCSData Empty;
  Empty.FileNames = "a.fcs\r\nb.fcs\r\n";
  std::string Name;
  Empty.GetName(Name);
  EXPECT_EQ(Name, "a.fcs\r\nb.fcs\r\n");
  Empty.SourceName = "Merged Files";
  Empty.GetName(Name);
  EXPECT_EQ(Name, "Merged Files");
  Empty.FileRange();
  EXPECT_EQ(Empty.FileCount, 0);

  auto P = TwoByTwo();
  auto File = FourParameterFile(Folder, "a.fcs", {{1, 1, 100, 5}, {1, 1, 1, 1}});
  auto D = TFCSData::Create(*File, 0, false, nullptr, P.get());
  D->Events[0].Classes() = {1, 2, 3};
  D->BuildShortLines();
  EXPECT_TRUE(D->Events.empty());
  ASSERT_EQ(D->ShortLines.size(), 2u);
  EXPECT_EQ(D->ShortLines[0].Classes(), (TClassTriple{1, 2, 3}));
  EXPECT_FLOAT_EQ(D->ShortLines[0].LogCompValues()[0], 2.0f);
  EXPECT_EQ(D->EventCount(0), 2) << "the counts stay";
  EXPECT_EQ(D->FileCount, 1);
}

TEST_F(DataSet, ScatterKeepsPointsAboveTheCutOnBothAxes) {
  TFCSData D;
  const TSglArray X{0.5f, 0.0009f, 2, 3}, Y{4, 5, 0.0005f, 6};
  ChartData Chart;
  Chart.Series.resize(3);
  D.FillScatter(Chart, {&X, "GFP", true}, {&Y, "SSC", false}, 3, nullptr);
  ASSERT_EQ(Chart.Series.size(), 1u);
  const ChartSeries& S = Chart.Series[0];
  EXPECT_EQ(S.Kind, ChartSeries::TKind::Point);
  EXPECT_EQ(S.Color, 0xFF0000u);
  EXPECT_EQ(S.Width, 3);
  EXPECT_EQ(S.Points, (std::vector<std::pair<double, double>>{{3, 6}, {0.5f, 4}}));
  EXPECT_EQ(Chart.XTitle, "GFP");
  EXPECT_TRUE(Chart.XLog);
  EXPECT_EQ(Chart.YTitle, "SSC");
  EXPECT_FALSE(Chart.YLog);
}

TEST_F(DataSet, FromAnInstrumentFile) {
  const std::string Path = test::SampleFile("facscan-fcs2-int16-le.fcs");
  if (test::SamplesDir().empty()) GTEST_SKIP() << "instrument files not found";
  TFCSFile File(Path);
  auto P = MakeProtocol({{"FSC", "FSC-H", false}, {"SSC", "SSC-H", false}},
                        {{"FITC", "FL1-H", "", true}, {"PE", "FL2-H", "", true}});
  auto D = TFCSData::Create(File, 0, false, nullptr, P.get());
  EXPECT_TRUE(Messages.Errors.empty());
  ASSERT_EQ(D->Events.size(), 94569u);
  EXPECT_EQ(D->FileNames, "facscan-fcs2-int16-le.fcs\r\n");
  EXPECT_EQ(D->Events[0].GateValues()[0], 234.0f);
  EXPECT_EQ(D->Events[0].GateValues()[1], 58.0f);
  for (size_t i : {size_t{0}, size_t{1000}, size_t{94568}}) {
    EXPECT_EQ(D->Events[i].RawValues()[0], File.Events[i][2]);
    EXPECT_EQ(D->Events[i].RawValues()[1], File.Events[i][3]);
  }
  EXPECT_EQ(D->EventCount(0), 94569);
  EXPECT_GT(D->EventCount(1), 90000);
  // The identity matrix leaves the unfloored values as they were.
  const TFCSLine E = D->Events[0];
  EXPECT_EQ(E.CompValues()[0], E.RawValues()[0]);
}

}  // namespace
}  // namespace qv
