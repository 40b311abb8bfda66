// The detectors' series read their values from the events until the events change: whatever
// changes them afterwards, every series shows the values it was gathered from.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AnalysedSetFixture.h"
#include "DataSetFixtures.h"
#include "Digest.h"
#include "analysis/Compensation.h"
#include "analysis/Detector.h"
#include "analysis/DetectorSetup.h"
#include "dataset/FCSData.h"

namespace qv {
namespace {

class SeriesValues : public test::AnalysedSet {};

TEST_F(SeriesValues, KeepTheirValuesWhateverChangesTheEventsAfterwards) {
  struct TCase {
    std::string Name;
    std::function<void(TFCSData&, TProtocol&)> Change;
  };
  const std::vector<TCase> Cases = {
      {"compensated again with other spill-over",
       [](TFCSData& D, TProtocol& P) {
         P.GetChannel(0)->SetCompPair(1, {20.0f, 0.0f}, true);
         D.Compensate(P, nullptr, 0);
       }},
      {"a file's events deleted", [](TFCSData& D, TProtocol&) { D.DeleteFileEvents(0); }},
      {"another set's events appended",
       [this](TFCSData& D, TProtocol& P) {
         auto Other = StepByStep(P);
         ASSERT_TRUE(D.AppendEvents(*Other));
       }},
      {"the events cleared", [](TFCSData& D, TProtocol&) { D.Events.clear(); }},
      {"the events replaced", [](TFCSData& D, TProtocol&) { D.Events = TFCSLineArray(); }},
  };
  auto P = Protocol();
  // Every series of this set is built before anything changes.
  const auto Expected = StepByStep(*P);
  const uint64_t ExpectedDigest = test::DetectorDigest(*Expected);
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto Q = Protocol();
    auto D = StepByStep(*Q);
    EXPECT_EQ(D->GetPeakDetector(0)->SeriesValues.Count(3), Expected->GetPeakDetector(0)->SeriesValues[3].size());
    C.Change(*D, *Q);
    EXPECT_EQ(test::DetectorDigest(*D), ExpectedDigest);
  }
}

TEST_F(SeriesValues, OutliveTheEventsTheyWereGatheredFrom) {
  auto P = Protocol();
  const auto Analysed = StepByStep(*P);
  // Two sets of detectors set up on two copies of the same events; the values of the first are
  // read while its events live, those of the second after its events are gone.
  struct TDetectors {
    std::vector<std::unique_ptr<TDetector>> Owned;
    TEventDetectors Setup;
    TDetectors() {
      for (int32_t g = 0; g < 2; ++g) Setup.Gates.push_back(Add(g, true, true, false, g == 0));
      for (int32_t c = 0; c < 2; ++c) {
        Setup.Channels.push_back(Add(c, false, false, false, false));
        Setup.Peaks.push_back(Add(c, true, false, true, false));
      }
    }
    TDetector* Add(int32_t Index, bool FitMean, bool IsGate, bool IsPeak, bool Linear) {
      Owned.push_back(std::make_unique<TDetector>(Index, FitMean, IsGate, IsPeak, 0, Linear ? 1024 : 5, Linear));
      return Owned.back().get();
    }
  } Before, After;
  TFCSLineArray Kept = Analysed->Events;
  SetupEventDetectors(Kept, Before.Setup, *P, TDetectorSetupOptions{}, nullptr);
  {
    TFCSLineArray Gone = Analysed->Events;
    SetupEventDetectors(Gone, After.Setup, *P, TDetectorSetupOptions{}, nullptr);
  }
  ASSERT_EQ(Before.Owned.size(), After.Owned.size());
  for (size_t d = 0; d < Before.Owned.size(); ++d) {
    const TDetector& B = *Before.Owned[d];
    const TDetector& A = *After.Owned[d];
    ASSERT_EQ(A.SeriesCount, B.SeriesCount);
    ASSERT_GE(A.SeriesCount, 3);
    for (int32_t s = 0; s < A.SeriesCount; ++s) {
      EXPECT_EQ(A.SeriesValues.Count(static_cast<size_t>(s)), B.SeriesValues[s].size());
      EXPECT_EQ(A.SeriesValues[s], B.SeriesValues[s]) << d << " " << s;
      EXPECT_FALSE(A.SeriesValues[s].empty());
    }
  }
  EXPECT_THROW(Before.Owned[0]->SeriesValues[3], ERangeError);
}

}  // namespace
}  // namespace qv
