// Detector set-up and classification on larger sets, checked against digests of what this code
// produced: every series value, bin count, statistic, fit, curve and chi of every detector, and
// every event's gating, Z values, classes, mask and called flags, and the analysis report. A
// change of any single bit of any of them changes the digest.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AnalysedSetFixture.h"
#include "DataSetFixtures.h"
#include "Digest.h"
#include "Random.h"
#include "RecordingMessages.h"
#include "Statistics.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/GenotypeSet.h"

namespace qv {
namespace {

using test::DetectorDigest;
using test::EventDigest;
using test::ReportDigest;

// A bright population in each of three channels, a double-bright one and a dim one, over a
// linear FSC gate and a dynamic log SSC gate; genotypes of one and two components, two on the
// same peak, so every branch of the likelihood is taken.
std::unique_ptr<TProtocol> ThreeChannelProtocol() {
  auto P = test::MakeProtocol({{"FSC", "FSC-H"}, {"SSC", "SSC-H", true}},
                              {{"GFP", "FL1"}, {"RFP", "FL2"}, {"YFP", "FL3"}},
                              {{100, 3, 1}, {4, 100, 2}, {0.5f, 6, 100}});
  test::SetScatterGates(*P, 2.5f);
  const float Start[3] = {2.4f, 2.9f, 1.6f};
  for (int32_t c = 0; c < 3; ++c) {
    TChannel& C = *P->GetChannel(c);
    C.DisplayMaximum = 5;
    C.Minimum_Value_Threshold = 100;
    C.Maximum_Value_Threshold = 1e6f;
    C.Minimum_Value_ZScore = 1;
    C.MaximumValue_ZScore = 1e5f;
    C.Minimum_Z = -3;
    C.Maximum_Z = 3;
    C.AddPeak(false, -1, Start[c], 0.15f, 1, 0, 0, 0, 2, -2);
  }
  P->AddGenotype("green", 0, 0);
  P->AddGenotype("red", 1, 0);
  P->AddGenotype("yellow", 2, 0);
  const int32_t Both = P->AddGenotype("green+red", 0, 0);
  P->Genotypes->GetGenotype(Both)->AddComponent(1);
  P->AddGenotype("green again", 0, 0);
  P->LikelihoodThreshold = 2;
  return P;
}

class AnalysisDigest : public test::AnalysedSet {
 protected:
  std::unique_ptr<TFCSFile> ThreeChannelFile() {
    Randomize(77);
    std::vector<std::vector<double>> Rows;
    const auto Log = [](double Mean, double Dev) { return std::pow(10.0, Mean + Dev * GaussRandom()); };
    const double Means[5][3] = {{2.5, 1.0, 1.0}, {1.0, 3.0, 1.0}, {1.0, 1.0, 1.7}, {2.5, 3.0, 1.0}, {0.9, 0.9, 0.9}};
    for (int i = 0; i < 60000; ++i) {
      const auto& M = Means[i % 5];
      Rows.push_back({50 + 900 * Random01(), Log(2.4, 0.2), Log(M[0], 0.12), Log(M[1], 0.12), Log(M[2], 0.12)});
    }
    for (int i = 0; i < 50; ++i) Rows.push_back({500, 300, 1, 1, 1});  // filtered
    return test::WriteAndRead(Folder, "three.fcs", {"FSC-H", "SSC-H", "FL1", "FL2", "FL3"}, Rows);
  }

  // The three-channel set read, compensated and with its detectors fitted.
  static std::unique_ptr<TFCSData> WithDetectors(const TFCSFile& File, TProtocol& P) {
    auto D = TFCSData::Create(File, 0, true, nullptr, &P);
    if (D) {
      D->Compensate(P, nullptr, 0);
      D->SetDetectors(P, nullptr, true);
    }
    return D;
  }
};

TEST_F(AnalysisDigest, TwoPopulationsStepByStep) {
  auto P = Protocol();
  auto D = StepByStep(*P);
  EXPECT_EQ(DetectorDigest(*D), 7476772585629866919u);
  EXPECT_EQ(EventDigest(*D), 8855256024043584187u);
  EXPECT_EQ(ReportDigest(*D, *P), 13960842788609554469u);
}

TEST_F(AnalysisDigest, ThreeChannelsWithDynamicGateAndSharedComponents) {
  auto P = ThreeChannelProtocol();
  auto File = ThreeChannelFile();
  auto D = WithDetectors(*File, *P);
  ASSERT_TRUE(D);
  D->Classify(*P);
  EXPECT_EQ(DetectorDigest(*D), 9457183565057103306u);
  EXPECT_EQ(EventDigest(*D), 12333749449777422575u);
  EXPECT_EQ(ReportDigest(*D, *P), 3328044316151759186u);
  // Without curve fitting, and with the fitted peaks in the protocol, a second time.
  D->StoreFitsInProtocol(P.get());
  D->SetDetectors(*P, nullptr, false);
  D->Classify(*P);
  EXPECT_EQ(DetectorDigest(*D), 16956321455448975723u);
  EXPECT_EQ(EventDigest(*D), 9591860585288627766u);
}

TEST_F(AnalysisDigest, ThreeChannelsWithStaticGatesOnly) {
  auto P = ThreeChannelProtocol();
  P->GetGate(1)->IsDynamic = false;
  auto File = ThreeChannelFile();
  auto D = WithDetectors(*File, *P);
  ASSERT_TRUE(D);
  D->Classify(*P);
  EXPECT_EQ(DetectorDigest(*D), 10716570951552291234u);
  EXPECT_EQ(EventDigest(*D), 13157554096360564046u);
  EXPECT_EQ(ReportDigest(*D, *P), 11899845430252189867u);
}

// A set-up that fails before it replaces the detectors leaves them with every value they had,
// though a set-up reuses the storage of the detectors it replaces.
TEST_F(AnalysisDigest, FailedSetupKeepsTheDetectorsWhole) {
  auto P = ThreeChannelProtocol();
  auto File = ThreeChannelFile();
  auto D = WithDetectors(*File, *P);
  ASSERT_TRUE(D);
  const uint64_t Before = DetectorDigest(*D);
  D->CustomDetector.reset();
  P->GetChannel(0)->DisplayMaximum = INFINITY;
  EXPECT_THROW(D->SetDetectors(*P, nullptr, true), ERangeError);
  EXPECT_EQ(DetectorDigest(*D), Before);
}

// Instrument files with their own scatter and fluorescence parameters.
struct TSampleProtocol {
  std::string File;
  std::vector<std::string> Gates;      // exact $PnN, first linear, second log and dynamic
  std::vector<std::string> Channels;   // exact $PnN
};

TEST_F(AnalysisDigest, InstrumentFiles) {
  if (test::SamplesDir().empty()) GTEST_SKIP() << "../shared/fcs-samples is missing";
  const std::vector<TSampleProtocol> Samples = {
      {"facscan-fcs2-int16-be.fcs", {"FSC-H", "SSC-H"}, {"FL1-H", "FL2-H", "FL3-H"}},
      {"cantoii-fcs2-int16-be.fcs", {"FSC-A", "SSC-A"}, {"FITC-A", "PE-A", "APC-A"}},
      {"ariaii-fcs3-float-be.fcs", {"FSC-A", "SSC-A"}, {"GFP-A", "mCherry-A"}},
      {"attune-fcs31-float-le.fcs", {"FSC-A", "SSC-A"}, {"BL1-A", "YL2-A", "VL1-A"}},
  };
  std::vector<uint64_t> Digests;
  for (const TSampleProtocol& S : Samples) {
    SCOPED_TRACE(S.File);
    std::vector<test::GateDef> Gates;
    for (size_t g = 0; g < S.Gates.size(); ++g) Gates.emplace_back(S.Gates[g], S.Gates[g], g == 1);
    std::vector<test::ChannelDef> Channels;
    for (const std::string& C : S.Channels) Channels.emplace_back(C, C, "", true);
    auto P = test::MakeProtocol(Gates, Channels);
    P->GetGate(0)->Active = true;
    P->GetGate(0)->MaximumValue = 1e9f;
    P->GetGate(0)->DisplayMaximum = 1024;
    TGlobalGate& Side = *P->GetGate(1);
    Side.Active = true;
    Side.MaximumValue = 1e9f;
    Side.DisplayMaximum = 5;
    Side.IsDynamic = true;
    Side.Mean = 2.5f;
    Side.Deviation = 0.3f;
    Side.ClipHigh = 2;
    Side.ClipLow = -2;
    Side.Minimum_Z = -2;
    Side.Maximum_Z = 2;
    for (int32_t c = 0; c < P->ChannelCount(); ++c) {
      TChannel& C = *P->GetChannel(c);
      C.DisplayMaximum = 5;
      C.Minimum_Value_Threshold = 10;
      C.Maximum_Value_Threshold = 1e6f;
      C.Minimum_Value_ZScore = 1;
      C.MaximumValue_ZScore = 1e6f;
      C.Minimum_Z = -2;
      C.Maximum_Z = 2;
      C.AddPeak(false, -1, 1.5f + 0.3f * c, 0.3f, 1, 0, 0, 0, 2, -2);
      P->AddGenotype("G" + std::to_string(c), c, 0);
    }
    const TFCSFile File(test::SampleFile(S.File));
    auto D = TFCSData::Create(File, 0, true, nullptr, P.get());
    ASSERT_TRUE(D);
    D->Compensate(*P, nullptr, 0);
    D->SetDetectors(*P, nullptr, true);
    D->Classify(*P);
    Digests.push_back(DetectorDigest(*D));
    Digests.push_back(EventDigest(*D));
    Digests.push_back(ReportDigest(*D, *P));
  }
  const std::vector<uint64_t> Expected = {
      15568766235711045333u, 8122037358722620004u,  12917998312318702265u, 14420954290117093228u,
      16645680989496123952u, 12077384785812200335u, 2810574960223895459u,  4038425568153856409u,
      3416537960681120105u,  4759224817362893824u,  9488485236817602971u,  8385309471958222193u};
  EXPECT_EQ(Digests, Expected);
}

}  // namespace
}  // namespace qv
