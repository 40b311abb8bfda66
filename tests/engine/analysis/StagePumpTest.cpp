// Every stage pumps the windows' messages when handed a gauge, and gives the same results as
// without one.
#include <gtest/gtest.h>

#include <thread>

#include "DataSetFixtures.h"
#include "Digest.h"
#include "Random.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"

namespace qv {
namespace {

using test::ChannelDef;
using test::GateDef;
using test::MakeProtocol;
using test::PumpCounter;
using test::SettingsGuard;

class StagePumps : public ::testing::Test {
 protected:
  void SetUp() override {
    P = MakeProtocol({GateDef("FSC", "FSC")}, {ChannelDef("GFP", "FL1"), ChannelDef("RFP", "FL2")});
    for (int32_t c = 0; c < 2; ++c) {
      TChannel& C = *P->GetChannel(c);
      C.Minimum_Value_Threshold = 50;
      C.Maximum_Value_Threshold = 100000;
      C.AddPeak(false, -1, 2.5f, 0.3f, 1, 0, 0, 0, 2, -2);
    }
    P->GetGate(0)->Active = true;
    P->GetGate(0)->MinimumValue = 10;
    P->GetGate(0)->MaximumValue = 1000;
    P->AddGenotype("G", 0, 0);
  }

  // Two files of the same 300 events, GFP and RFP populations and some gated out.
  std::unique_ptr<TFCSData> Analysed(Progress* Gauge) {
    std::vector<std::vector<float>> Rows;
    Randomize(7);
    for (int i = 0; i < 300; ++i) {
      const float Size = i % 10 == 0 ? 5000.0f : 100.0f + static_cast<float>(i);
      const bool Green = i % 3 != 0;
      Rows.push_back({Size, Green ? 300.0f + 50.0f * static_cast<float>(Random01()) : 5.0f,
                      Green ? 5.0f : 400.0f + 80.0f * static_cast<float>(Random01())});
    }
    TFCSData One;
    test::FillEvents(One.Events, 1, 2, Rows);
    One.CullGate = -1;
    auto D = TFCSData::CreateMerged(One, {}, Gauge);
    D->Merge(One, 1, {}, Gauge);
    D->Compensate(*P, Gauge, 0);
    D->SetDetectors(*P, Gauge, true);
    D->Classify(*P, Gauge);
    return D;
  }

  SettingsGuard Settings;
  std::unique_ptr<TProtocol> P;
};

TEST_F(StagePumps, EachStagePumpsAndResultsDoNotDependOnTheGauge) {
  PumpCounter Gauge;
  auto Pumped = Analysed(&Gauge);
  EXPECT_GE(Gauge.Pumps, 6);
  auto Plain = Analysed(nullptr);
  ASSERT_EQ(Pumped->Events.size(), 600u);
  for (size_t i = 0; i < Plain->Events.size(); ++i)
    ASSERT_EQ(Pumped->Events[i].Classes(), Plain->Events[i].Classes()) << i;

  const auto Pumps = [&](auto Step) {
    const int32_t Before = Gauge.Pumps;
    Step(&Gauge);
    return Gauge.Pumps - Before;
  };
  TIntArray A, B;
  T2IntArray Table;
  EXPECT_GE(Pumps([&](Progress* G) { Pumped->CountClasses(4, 0, A, G); }), 1);
  EXPECT_GE(Pumps([&](Progress* G) { Pumped->CountClassesOfFile(4, 0, A, 1, G); }), 1);
  EXPECT_GE(Pumps([&](Progress* G) { Pumped->SumClassCounts(4, 0, Table, G); }), 1);
  EXPECT_GE(Pumps([&](Progress* G) { Pumped->ClassCountsByFile(*P, 2, Table, G); }), 2);
  Randomize(11);
  EXPECT_GE(Pumps([&](Progress* G) { Pumped->Resample(4, 0, A, G); }), 1);
  Randomize(11);
  Plain->Resample(4, 0, B);
  EXPECT_EQ(A, B);
  EXPECT_GE(Pumps([&](Progress* G) { Pumped->ResampleFile(4, 0, A, 0, G); }), 1);
  EXPECT_GE(Pumps([&](Progress* G) { Pumped->RandomSample({"-", "G"}, 2, 10, A, G); }), 1);

  std::string WithGauge, Without;
  EXPECT_GE(Pumps([&](Progress* G) { Pumped->AnalysisReport(*P, WithGauge, G); }), 4);
  Plain->AnalysisReport(*P, Without);
  EXPECT_EQ(WithGauge, Without);
  const TDetectorOptions Fit = PeakFitOptions(*P->GetChannel(0), 0, true);
  EXPECT_GE(Pumps([&](Progress* G) { Pumped->GetPeakDetector(0)->FitGaussian(*P, Fit, G); }), 1);
}

// Records every move of the gauge and the thread of every move and pump.
class RecordingGauge : public Progress {
 public:
  void SetMax(int64_t Max) override {
    Progress::SetMax(Max);
    Maxima.push_back(Max);
    Threads.push_back(std::this_thread::get_id());
  }
  void SetPosition(int64_t Position) override {
    Progress::SetPosition(Position);
    Positions.push_back(Position);
    Threads.push_back(std::this_thread::get_id());
  }
  void Pump() override { Threads.push_back(std::this_thread::get_id()); }
  std::vector<int64_t> Maxima, Positions;
  std::vector<std::thread::id> Threads;
};

// Detector set-up and classification of a set of many runs move the gauge again and again, only
// forward and within its maximum, only from the calling thread, and give what they give
// without a gauge.
TEST_F(StagePumps, SetDetectorsAndClassifyMoveTheGaugeOnTheCallingThread) {
  std::vector<std::vector<float>> Rows;
  Randomize(5);
  for (int i = 0; i < 300000; ++i) {
    const bool Green = i % 3 != 0;
    Rows.push_back({i % 10 == 0 ? 5000.0f : 100.0f + static_cast<float>(i % 500),
                    Green ? 300.0f + 50.0f * static_cast<float>(Random01()) : 5.0f,
                    Green ? 5.0f : 400.0f + 80.0f * static_cast<float>(Random01())});
  }
  const auto Analysed = [&](Progress* SetupGauge, Progress* ClassifyGauge) {
    auto D = std::make_unique<TFCSData>();
    test::FillEvents(D->Events, 1, 2, Rows);
    D->Compensate(*P, nullptr, 0);
    D->SetDetectors(*P, SetupGauge, true);
    D->Classify(*P, ClassifyGauge);
    return D;
  };
  RecordingGauge Setup, Classify;
  const auto Gauged = Analysed(&Setup, &Classify);
  const auto Plain = Analysed(nullptr, nullptr);
  EXPECT_EQ(test::DetectorDigest(*Gauged), test::DetectorDigest(*Plain));
  EXPECT_EQ(test::EventDigest(*Gauged), test::EventDigest(*Plain));
  for (const RecordingGauge* G : {&Setup, &Classify}) {
    ASSERT_EQ(G->Maxima.size(), 1u);
    EXPECT_GE(G->Positions.size(), 4u);
    for (size_t k = 1; k < G->Positions.size(); ++k) EXPECT_GE(G->Positions[k], G->Positions[k - 1]);
    EXPECT_LE(G->Positions.back(), G->Maxima[0]);
    for (const std::thread::id Id : G->Threads) EXPECT_EQ(Id, std::this_thread::get_id());
  }
  EXPECT_EQ(Classify.Positions.back(), 300000);
}

}  // namespace
}  // namespace qv
