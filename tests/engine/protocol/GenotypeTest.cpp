#include <gtest/gtest.h>

#include <cmath>

#include "ByteWriter.h"
#include "Errors.h"
#include "Globals.h"
#include "protocol/Protocol.h"
#include "GenotypeFixtures.h"
#include "RecordingMessages.h"

using namespace qv;
using qv::test::ByteWriter;
using qv::test::Channels;
using qv::test::RecordingMessages;

namespace {

Extended LikelihoodAt(TGenotype& G, const TSglArray& Values) {
  float MaxZ = 0;
  int32_t Channel = -1;
  return G.Likelihood(Values, MaxZ, Channel);
}

TEST(GenotypeLikelihood, TwoTailProbabilityOfTheZValue) {
  auto P = Channels("G");
  TGenotype& G = *P->GetGenotype(P->AddGenotype("g", 0, 0));
  ASSERT_TRUE(G.Prepare(*P));
  EXPECT_EQ(LikelihoodAt(G, {2.5f}), 1.0L);
  EXPECT_NEAR(static_cast<double>(LikelihoodAt(G, {2.7f})), 0.3173105, 2e-6);   // z = 1
  EXPECT_NEAR(static_cast<double>(LikelihoodAt(G, {2.892f})), 0.0499958, 2e-6);  // z = 1.96
  EXPECT_NEAR(static_cast<double>(LikelihoodAt(G, {2.9f})), 0.0455003, 2e-6);   // z = 2
  EXPECT_EQ(LikelihoodAt(G, {3.5f}), 0.0L);                                      // z = 5: outside
  float MaxZ = 0;
  int32_t Channel = -1;
  G.Likelihood({2.9f}, MaxZ, Channel);
  EXPECT_NEAR(MaxZ, 2.0f, 1e-5);
  EXPECT_EQ(Channel, 0);
  EXPECT_TRUE(G.InValueWindow());
  EXPECT_TRUE(G.InZWindow());
  G.Likelihood({3.2f}, MaxZ, Channel);  // z = 3.5: in the value window, outside the Z window
  EXPECT_TRUE(G.InValueWindow());
  EXPECT_FALSE(G.InZWindow());
  EXPECT_TRUE(G.AboveLimit);
  G.Likelihood({0.0f}, MaxZ, Channel);  // exactly on the value window's lower edge
  EXPECT_TRUE(G.InValueWindow());
}

// A minimum of 0 or below is no lower bound; a maximum of 0 or below leaves nothing to score.
TEST(GenotypeLikelihood, ZScoreMinimumOfZeroOrBelowBoundsNothing) {
  for (const float Minimum : {0.0f, -5.0f}) {
    SCOPED_TRACE(Minimum);
    auto P = Channels("G");
    P->GetChannel(0)->Minimum_Value_ZScore = Minimum;
    P->GetChannel(0)->Peaks[0].Mean = 0.2f;
    TGenotype& G = *P->GetGenotype(P->AddGenotype("g", 0, 0));
    std::string Problem;
    ASSERT_TRUE(G.Prepare(*P, &Problem)) << Problem;
    EXPECT_EQ(LikelihoodAt(G, {0.2f}), 1.0L);
    EXPECT_GT(LikelihoodAt(G, {-0.3f}), 0.0L);  // z = -2.5, below every positive value's log
    EXPECT_TRUE(G.InValueWindow());
    EXPECT_TRUE(G.InZWindow());
    EXPECT_FALSE(G.AboveLimit);
  }
  auto P = Channels("G");
  P->GetChannel(0)->MaximumValue_ZScore = 0;
  TGenotype& G = *P->GetGenotype(P->AddGenotype("g", 0, 0));
  std::string Problem;
  EXPECT_FALSE(G.Prepare(*P, &Problem));
  EXPECT_EQ(Problem, "channel C0 has a Z-score value limit of 0 or below");
}

TEST(GenotypeLikelihood, DimGenotypeIsRefusedForBrightSignalElsewhere) {
  auto P = Channels("GY");
  P->GetChannel(0)->Peaks[0].Mean = 1.5f;
  TGenotype& G = *P->GetGenotype(P->AddGenotype("dim", 0, 0));
  ASSERT_TRUE(G.Prepare(*P));
  EXPECT_EQ(LikelihoodAt(G, {1.5f, 2.3f}), 0.0L);
  EXPECT_EQ(LikelihoodAt(G, {1.5f, 2.176f}), 1.0L);
}

TEST(GenotypeLikelihood, NothingToScoreMeansNoLikelihood) {
  auto P = Channels("G");
  P->GetChannel(0)->Peaks[0].Raw = true;
  TGenotype& G = *P->GetGenotype(P->AddGenotype("raw only", 0, 0));
  ASSERT_TRUE(G.Prepare(*P));
  EXPECT_EQ(LikelihoodAt(G, {2.5f}), 0.0L);
  EXPECT_FALSE(G.InValueWindow());
  EXPECT_FALSE(G.InZWindow());
  EXPECT_EQ(LikelihoodAt(G, {}), 0.0L);
}

TEST(Genotype, ClassCodesAndTheirTable) {
  auto P = Channels("GYR");
  TGenotype& G = *P->GetGenotype(P->AddGenotype("g", 0, 0));
  G.AddComponent(2);
  EXPECT_EQ(G.ClassCode(P->ChannelLetters()), "G-R");
  P->AddGenotype("y", 1, 0);
  EXPECT_EQ(P->Genotypes->ClassCodeTable(), "---\r\nG-R\r\n-Y-\r\n");
  G.AddComponent(7);  // a channel beyond the letters is never silently left out of a code
  EXPECT_THROW(G.ClassCode(P->ChannelLetters()), ERangeError);
  EXPECT_THROW(P->Genotypes->ClassCodeTable(), ERangeError);
  G.DeleteComponent(2);
  G.DeleteComponent(0);
  EXPECT_EQ(G.ClassCode(P->ChannelLetters()), "--R");
  TGenotype& One = *P->GetGenotype(1);
  One.DeleteComponent(0);
  EXPECT_EQ(One.Count(), 1);
}

TEST(Genotype, FixPeaksPicksPartnerFilteredPeaks) {
  auto P = Channels("AB");
  P->GetChannel(0)->AddPeak(false, 1, 3.0f, 0.2f, 1, 0, 0, 0, 2, -2);
  P->GetChannel(0)->AddPeak(false, 5, 3.5f, 0.2f, 1, 0, 0, 0, 2, -2);
  P->GetChannel(1)->AddPeak(false, 0, 3.0f, 0.2f, 1, 0, 0, 0, 2, -2);
  TGenotype& Pair = *P->GetGenotype(P->AddGenotype("ab", 0, 0));
  Pair.AddComponent(1);
  TGenotype& Single = *P->GetGenotype(P->AddGenotype("a", 0, 0));
  P->FixGenotypePeaks();
  EXPECT_EQ(Pair.Components[0].PeakIndex, 1);
  EXPECT_EQ(Pair.Components[1].PeakIndex, 1);
  EXPECT_EQ(Single.Components[0].PeakIndex, 2);
  ASSERT_TRUE(Pair.Prepare(*P));
  EXPECT_EQ(Pair.ChannelNames, "C1&C0");
}

TEST(GenotypeRecord, VersionOneHasNoNotesAndRoundTripsAsVersionTwo) {
  ByteWriter W;
  W.Int32(1).String("old").Int32(2).Int32(3).Int32(0).Int32(1).Int32(2);  // last component first
  TMemoryStream S = W.Stream();
  auto G = TGenotype::CreateFromStream(S, nullptr);
  EXPECT_EQ(S.Remaining(), 0);
  EXPECT_EQ(G->Version, 1);
  EXPECT_EQ(G->Name, "old");
  ASSERT_EQ(G->Count(), 2);
  EXPECT_EQ(G->Components[0].ChannelIndex, 1);
  EXPECT_EQ(G->Components[1].ChannelIndex, 3);
  EXPECT_EQ(G->Notes, "");
  G->Notes = "n";
  TMemoryStream Out;
  G->SaveToStream(Out);
  Out.Seek(0);
  auto H = TGenotype::CreateFromStream(Out, nullptr);
  EXPECT_EQ(H->Version, 2);
  EXPECT_EQ(H->Notes, "n");
  EXPECT_EQ(H->Components[1].PeakIndex, 0);
}

TEST(GenotypeRecord, DamagedSetRecordIsAnErrorNotAHalfSet) {
  TProtocol P;
  P.AddGenotype("a", 0, 0);
  P.AddGenotype("b", 1, 0);
  TMemoryStream Full;
  P.Genotypes->SaveToStream(Full);
  for (size_t Cut = 8; Cut < Full.Bytes().size(); ++Cut) {
    TMemoryStream S(std::vector<uint8_t>(Full.Bytes().begin(), Full.Bytes().begin() + Cut));
    EXPECT_THROW(TGenotypeSet(S, &P), EReadError) << Cut;
  }
  TMemoryStream Empty(ByteWriter().Int32(1).Int32(0).Bytes());
  EXPECT_EQ(TGenotypeSet(Empty, &P).Count(), 0);
}

TEST(GenotypeEditor, ReadsBackWhatItShows) {
  auto P = Channels("GY");
  P->LikelihoodThreshold = 1.25f;
  TGenotype& G = *P->GetGenotype(P->AddGenotype("g", 0, 0));
  G.AddComponent(1);
  TGenotypeEditor E;
  G.ShowInEditor(E, *P);
  EXPECT_EQ(E.Threshold, "1.250");
  EXPECT_EQ(E.Components.Cell(0, 2), "Fluor_2");
  EXPECT_EQ(E.Components.Cell(2, 2), "C1");
  E.Name = "renamed";
  E.Threshold = "2.5";
  E.Components.SetCell(3, 1, "x");  // a bad peak cell keeps the channel only
  E.Components.SetCell(1, 2, "y");  // a bad channel cell keeps the row as it was
  G.ReadFromEditor(E, *P);
  EXPECT_EQ(G.Name, "renamed");
  EXPECT_EQ(P->LikelihoodThreshold, 2.5f);
  EXPECT_EQ(G.Components[1].ChannelIndex, 1);
  E.Threshold = "much";
  E.Name = "again";
  EXPECT_THROW(G.ReadFromEditor(E, *P), EConvertError);
  EXPECT_EQ(G.Name, "renamed");
}

}  // namespace
