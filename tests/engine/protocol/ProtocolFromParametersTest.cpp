#include <gtest/gtest.h>

#include "fcs/ParameterSet.h"
#include "protocol/Protocol.h"
#include "RecordingMessages.h"

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

}  // namespace
