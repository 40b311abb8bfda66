#include <gtest/gtest.h>

#include <cmath>

#include "RecordingMessages.h"
#include "TestFolders.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "fcs/ParameterSet.h"
#include "protocol/GenotypeSet.h"
#include "protocol/Protocol.h"

using namespace qv;

namespace {

TParameter Param(const std::string& LongName, const std::string& ShortName, int32_t Range = 1024, float Decades = 0) {
  TParameter P;
  P.LongName = LongName;
  P.ShortName = ShortName;
  P.Range = Range;
  P.Decades = Decades;
  P.IsLog = Decades > 0;
  return P;
}

TEST(BuildProtocol, ChannelsAndGatesFromTheMarksLastFirst) {
  TParameterSet Set;
  Set.Items = {Param("", "FSC-H"), Param("FITC-A GFP", "FL1", 262144), Param("SSC", "", 1024, 4),
               Param("PE Red", "FL2", 0)};
  Set.Items[0].UseAsGate = true;
  Set.Items[2].UseAsGate = true;
  Set.Items[1].UseAsChannel = true;
  Set.Items[3].UseAsChannel = true;
  const auto P = Set.BuildProtocol();
  ASSERT_TRUE(P);
  EXPECT_TRUE(P->FileName.empty());

  ASSERT_EQ(P->GateCount(), 2);
  const TGlobalGate& G0 = *P->GetGate(0);
  EXPECT_EQ(G0.Name, "SSC");
  EXPECT_TRUE(G0.Active);
  EXPECT_TRUE(G0.ExactFCSName);
  EXPECT_FALSE(G0.ExactFCSLabel);
  EXPECT_EQ(G0.Scale, 0);
  EXPECT_EQ(G0.DisplayMaximum, 4.0f);
  EXPECT_EQ(G0.MaximumValue, 1024.0f);
  EXPECT_EQ(G0.ClipHigh, 1.5f);
  EXPECT_EQ(G0.Minimum_Z, -1.5f);
  const TGlobalGate& G1 = *P->GetGate(1);
  EXPECT_EQ(G1.Name, "FSC-H");
  EXPECT_EQ(G1.Scale, 1);
  EXPECT_EQ(G1.DisplayMaximum, 1024.0f);

  // Marking parameters 1 and 3 builds channel 0 from parameter 3.
  ASSERT_EQ(P->ChannelCount(), 2);
  const TChannel& C0 = *P->GetChannel(0);
  EXPECT_EQ(C0.ChannelName, "PE Red_FL2");
  EXPECT_EQ(C0.Genotype, "GType_1");
  EXPECT_EQ(C0.Color, 0x0000FF);
  EXPECT_EQ(C0.DisplayMaximum, 4.0f);  // no range
  const TChannel& C1 = *P->GetChannel(1);
  EXPECT_EQ(C1.ChannelName, "FITC-A GFP_FL1");
  EXPECT_EQ(C1.ChannelTag, "F");
  EXPECT_EQ(C1.Color, 0x00FF00);
  EXPECT_EQ(C1.Genotype, "GType_2");
  EXPECT_EQ(C1.Scale, 0);
  EXPECT_FLOAT_EQ(C1.DisplayMaximum, 5.4185395f);
  EXPECT_EQ(C1.MaximumValue_ZScore, 262144.0f);
  EXPECT_EQ(C1.Maximum_Value_Threshold, 262144.0f);

  // Unit compensation rows; the default peak with its clips.
  for (int32_t c = 0; c < 2; ++c) {
    const TChannel& C = *P->GetChannel(c);
    ASSERT_EQ(C.Comp.size(), 2u);
    ASSERT_EQ(C.Base.size(), 2u);
    for (int32_t j = 0; j < 2; ++j) {
      EXPECT_EQ(C.Comp[j], (TCompensationPair{j == c ? 100.0f : 0.0f, 0.0f}));
      EXPECT_EQ(C.Base[j], C.Comp[j]);
    }
    ASSERT_EQ(C.PeakCount(), 1);
    EXPECT_EQ(C.Peaks[0].Mean, 2.5f);
    EXPECT_EQ(C.Peaks[0].Dev, 0.25f);
    EXPECT_EQ(C.Peaks[0].ClipHigh, 2.0f);
    EXPECT_EQ(C.Peaks[0].ClipLow, -2.0f);
  }
  EXPECT_TRUE(P->BuildCompensationMatrix(false));
  EXPECT_EQ(P->CompensationMatrix[1][1], 1.0f);
}

// The protocol built from a file's parameters has a Z-score minimum value of 0: no lower bound,
// so its genotypes (once loaded from its file) score that very file.
TEST(BuildProtocol, ProtocolOfAnInstrumentFileClassifiesItByZ) {
  if (test::SamplesDir().empty()) GTEST_SKIP() << "../shared/fcs-samples is missing";
  const TFCSFile File(test::SampleFile("facscan-fcs2-int16-le.fcs"));
  TParameterSet Set = File.Parameters;
  ASSERT_EQ(Set.Count(), 4);  // FSC-H, SSC-H, FL1-H, FL2-H
  Set.Items[0].UseAsGate = Set.Items[1].UseAsGate = true;
  Set.Items[2].UseAsChannel = Set.Items[3].UseAsChannel = true;
  const auto P = Set.BuildProtocol();
  ASSERT_TRUE(P);
  ASSERT_EQ(P->GetChannel(0)->Minimum_Value_ZScore, 0.0f);
  P->EnsureGenotypes();
  ASSERT_EQ(P->Genotypes->Count(), 2);

  test::RecordingMessages Messages;
  const auto D = TFCSData::Create(File, 0, false, nullptr, P.get());
  ASSERT_TRUE(D);
  EXPECT_TRUE(Messages.Errors.empty()) << (Messages.Errors.empty() ? "" : Messages.Errors[0]);
  ASSERT_EQ(D->Events.size(), 94569u);
  int64_t Relaxed = 0, Rigorous = 0;
  for (size_t i = 0; i < D->Events.size(); ++i) {
    const TFCSLine E = D->Events[i];
    Relaxed += E.Classes()[1] > 0;
    Rigorous += E.Classes()[2] > 0;
    ASSERT_FALSE(std::isnan(E.MaxZ()) || std::isnan(E.SecondZ())) << i;
  }
  EXPECT_GT(Rigorous, 1000);
  EXPECT_GE(Relaxed, Rigorous);

  // A maximum of 0 still cannot be scored.
  P->GetChannel(1)->MaximumValue_ZScore = 0;
  EXPECT_FALSE(P->Genotypes->PrepareAll());
  ASSERT_EQ(Messages.Errors.size(), 1u);
  EXPECT_NE(Messages.Errors[0].find("has a Z-score value limit of 0 or below"), std::string::npos);
}

TEST(BuildProtocol, MoreChannelsThanAProtocolHoldsBuildNothing) {
  TParameterSet Set;
  for (int i = 0; i < 16; ++i) {
    Set.Items.push_back(Param("P" + std::to_string(i), ""));
    Set.Items.back().UseAsChannel = true;
  }
  test::RecordingMessages Messages;
  EXPECT_EQ(Set.BuildProtocol(), nullptr);
  ASSERT_EQ(Messages.Errors.size(), 1u);
  EXPECT_NE(Messages.Errors[0].find("15"), std::string::npos);

  Set.Items.pop_back();
  const auto P = Set.BuildProtocol();
  ASSERT_TRUE(P);
  EXPECT_EQ(P->ChannelCount(), 15);
}

TEST(BuildProtocol, TagIsTheWholeFirstCharacterOfTheName) {
  TParameterSet Set;
  Set.Items = {Param("\xC3\x89" "cran", "FL1"), Param("", "\xE2\x82\xAC" "-A")};
  Set.Items[0].UseAsChannel = Set.Items[1].UseAsChannel = true;
  const auto P = Set.BuildProtocol();
  ASSERT_TRUE(P);
  EXPECT_EQ(P->GetChannel(0)->ChannelTag, "\xE2\x82\xAC");
  EXPECT_EQ(P->GetChannel(1)->ChannelTag, "\xC3\x89");
}

}  // namespace
