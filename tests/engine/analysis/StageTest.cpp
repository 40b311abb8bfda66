// The compensation and detector set-up stages on events built in memory, with their options
// given rather than read from the settings.
#include <gtest/gtest.h>

#include <cmath>

#include "DataSetFixtures.h"
#include "ScopedValue.h"
#include "Globals.h"
#include "analysis/Compensation.h"
#include "analysis/Detector.h"
#include "analysis/DetectorSetup.h"
#include "dataset/Event.h"

namespace qv {
namespace {

using test::ChannelDef;
using test::GateDef;
using test::FillEvents;
using test::MakeProtocol;
using test::PumpCounter;
using test::SettingsGuard;

std::vector<float> Comp(const TFCSLineArray& Events, size_t i) {
  const auto S = Events[i].CompValues();
  return {S.begin(), S.end()};
}

TEST(CompensationStage, StaticMatrixAndFloorComeFromTheOptions) {
  SettingsGuard Settings;
  MinimumRawScore = 1000;  // would filter and floor every event below
  auto P = MakeProtocol({}, {ChannelDef("GFP", "FL1"), ChannelDef("RFP", "FL2")}, {{100, 0}, {10, 100}});
  TFCSLineArray Events;
  MinimumRawScore = 0;
  FillEvents(Events, 0, 2, {{100, 110}, {200, 20}, {0.5f, 50}});
  MinimumRawScore = 1000;

  TCompensationOptions Options;
  Options.Mode = 0;
  Options.MinimumRawScore = 1;
  PumpCounter Gauge;
  CompensateEvents(Events, *P, Options, &Gauge);
  EXPECT_GE(Gauge.Pumps, 1);
  // RFP sees 10 % of GFP: (100, 110) is 100 GFP and 100 RFP.
  EXPECT_NEAR(Comp(Events, 0)[0], 100.0f, 1e-3);
  EXPECT_NEAR(Comp(Events, 0)[1], 100.0f, 1e-3);
  EXPECT_NEAR(Comp(Events, 1)[1], 0.0f, 1e-3);
  EXPECT_FLOAT_EQ(Events[1].LogCompValues()[1], 0.0f);
  // Below the options' floor the compensated value is 1, whatever the setting says.
  EXPECT_FLOAT_EQ(Comp(Events, 2)[0], 1.0f);
  EXPECT_NEAR(Events[0].LogCompValues()[0], 2.0f, 1e-5);

  // Keep mode leaves compensated values alone.
  Events[0].CompValues()[0] = 7;
  Options.Mode = 1;
  CompensateEvents(Events, *P, Options, nullptr);
  EXPECT_FLOAT_EQ(Comp(Events, 0)[0], 7.0f);
}

TEST(DetectorSetupStage, SeriesAndGatesOnEventsInMemory) {
  SettingsGuard Settings;
  MinimumRawScore = 1;
  test::BinCountGuard Bins(64);
  auto P = MakeProtocol({GateDef("FSC", "FSC")}, {ChannelDef("GFP", "FL1")});
  TGlobalGate& Gate = *P->GetGate(0);
  Gate.Active = true;
  Gate.MinimumValue = 10;
  Gate.MaximumValue = 100;
  P->GetChannel(0)->AddPeak(false, -1, 2.0f, 0.3f, 1, 0, 0, 0, 2, -2);
  TFCSLineArray Events;
  // Gate values 5 and 500 are outside 10..100; the last event is filtered (raw below 1).
  FillEvents(Events, 1, 1, {{50, 100}, {5, 120}, {100, 90}, {500, 80}, {10, 110}, {50, 0.5f}});
  CompensateEvents(Events, *P, TCompensationOptions{}, nullptr);

  TDetector GateDetector(0, true, true, false, 0, 1000, true);
  TDetector ChannelDetector(0, false, false, false, 0, 4, false);
  TDetector PeakDetector(0, true, false, true, 0, 4, false);
  TEventDetectors Detectors{{&GateDetector}, {&ChannelDetector}, {&PeakDetector}};
  TDetectorSetupOptions Options;
  Options.FitCurves = false;
  PumpCounter Gauge;
  SetupEventDetectors(Events, Detectors, *P, Options, &Gauge);
  EXPECT_GE(Gauge.Pumps, 5);

  std::vector<bool> Out;
  for (size_t i = 0; i < Events.size(); ++i) Out.push_back(Events[i].GatedOut());
  EXPECT_EQ(Out, (std::vector<bool>{false, true, false, true, false, false}));
  // All unfiltered events, the gated ones, the final ones; the peak detector also the compensated.
  ASSERT_EQ(GateDetector.SeriesCount, 3);
  EXPECT_EQ(GateDetector.SeriesValues[0].size(), 5u);
  EXPECT_EQ(GateDetector.SeriesValues[1].size(), 3u);
  EXPECT_EQ(GateDetector.SeriesValues[2].size(), 3u);
  EXPECT_EQ(GateDetector.GetSeriesName(0), "FSC");
  EXPECT_EQ(ChannelDetector.GetSeriesName(1), "GFP_Raw");
  ASSERT_EQ(PeakDetector.SeriesCount, 4);
  EXPECT_EQ(PeakDetector.GetSeriesName(3), "GFP_Comp");
  // Read last to first.
  EXPECT_FLOAT_EQ(PeakDetector.SeriesValues[3][0], std::log10(110.0f));
  EXPECT_EQ(PeakDetector.LastFitted, 2);

  TFCSLineArray Other;
  FillEvents(Other, 0, 1, {{100}});
  EXPECT_THROW(SetupEventDetectors(Other, Detectors, *P, Options, nullptr), ERangeError);
}

}  // namespace
}  // namespace qv
