// Every stage pumps the windows' messages when handed a gauge, and gives the same results as
// without one.
#include <gtest/gtest.h>

#include "DataSetFixtures.h"
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

}  // namespace
}  // namespace qv
