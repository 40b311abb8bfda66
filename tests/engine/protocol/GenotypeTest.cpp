#include <gtest/gtest.h>

#include <cmath>

#include "ByteWriter.h"
#include "Errors.h"
#include "Globals.h"
#include "protocol/Protocol.h"
#include "RecordingMessages.h"

using namespace qv;
using qv::test::ByteWriter;
using qv::test::RecordingMessages;

namespace {

// Channels named C0.. with tag letters, value window 1..10^4 (log 0..4), Z limits -3..3, and one
// peak each at log mean 2.5 (deviation 0.2).
std::unique_ptr<TProtocol> Channels(const std::string& Letters) {
  auto P = std::make_unique<TProtocol>();
  for (size_t i = 0; i < Letters.size(); ++i) {
    TChannelInfo I;
    I.ChannelName = "C" + std::to_string(i);
    I.ChannelTag = std::string(1, Letters[i]);
    I.Minimum_Value_ZScore = 1;
    I.MaximumValue_ZScore = 10000;
    I.Minimum_Z = -3;
    I.Maximum_Z = 3;
    P->AddChannel(std::make_unique<TChannel>(I, nullptr));
    P->GetChannel(static_cast<int32_t>(i))->AddPeak(false, -1, 2.5f, 0.2f, 100, 0, 0, 0, 2, -2);
  }
  return P;
}

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

TEST(GenotypeSet, UnpreparedGenotypeIsReportedOnceAndTakesNoPart) {
  auto P = Channels("GY");
  P->GetChannel(1)->Minimum_Value_ZScore = 0;  // a protocol built from FCS parameters starts so
  P->AddGenotype("good", 0, 0);
  P->AddGenotype("bad", 1, 0);
  RecordingMessages Messages;
  EXPECT_FALSE(P->Genotypes->PrepareAll());
  ASSERT_EQ(Messages.Errors.size(), 1u);
  EXPECT_NE(Messages.Errors[0].find("bad"), std::string::npos);
  EXPECT_NE(Messages.Errors[0].find("C1"), std::string::npos);
  EXPECT_EQ(Messages.Errors[0].find("good"), std::string::npos);
  TClassTriple Classes{0, 9, 9};
  float MaxZ = 0, SecondZ = 0;
  P->Genotypes->Classify({2.5f, 2.5f}, Classes, MaxZ, SecondZ);
  EXPECT_EQ(P->Genotypes->Likelihoods[1], 0.0L);
  EXPECT_EQ(Classes[1], 1);
  EXPECT_EQ(Classes[2], 1);
}

TEST(GenotypeSet, DeviationsBeyondAFloatLeaveOnlyThatGenotypeUnprepared) {
  // 1e-40 is a float, but its reciprocal is not; 1e30 is, but its square is not.
  for (const float Dev : {1e-40f, 1e30f}) {
    SCOPED_TRACE(Dev);
    auto P = Channels("GYR");
    P->GetChannel(1)->Peaks[0].Dev = Dev;
    P->AddGenotype("green", 0, 0);
    P->AddGenotype("tiny", 1, 0);
    P->AddGenotype("red", 2, 0);
    RecordingMessages Messages;
    EXPECT_FALSE(P->Genotypes->PrepareAll());
    ASSERT_EQ(Messages.Errors.size(), 1u);
    EXPECT_NE(Messages.Errors[0].find("Genotype tiny: peak 0 of channel C1 has a deviation of"), std::string::npos)
        << Messages.Errors[0];
    EXPECT_TRUE(P->GetGenotype(0)->Prepared);
    EXPECT_FALSE(P->GetGenotype(1)->Prepared);
    EXPECT_TRUE(P->GetGenotype(2)->Prepared);
    TClassTriple Classes{0, 9, 9};
    float MaxZ = 0, SecondZ = 0;
    P->Genotypes->Classify({0.5f, 2.5f, 2.5f}, Classes, MaxZ, SecondZ);
    EXPECT_EQ(Classes[2], 3);
  }
}

// A set whose genotypes give the likelihoods 0.3, 0.5 and 0.1 for the event {x, x, x}.
TEST(GenotypeSet, AmbiguityAgainstTheLikelihoodThreshold) {
  auto P = Channels("ABC");
  const double Z[3] = {1.0364334, 0.6744898, 1.6448536};  // two-tail 0.3, 0.5, 0.1
  TSglArray Values;
  for (int i = 0; i < 3; ++i) {
    P->AddGenotype("g" + std::to_string(i), i, 0);
    Values.push_back(static_cast<float>(2.5 + Z[i] * 0.2));
  }
  ASSERT_TRUE(P->Genotypes->PrepareAll());
  TClassTriple Classes{};
  float MaxZ = 0, SecondZ = 0;
  P->LikelihoodThreshold = 1;
  P->Genotypes->Classify(Values, Classes, MaxZ, SecondZ);
  const auto& L = P->Genotypes->Likelihoods;
  EXPECT_NEAR(static_cast<double>(L[1]), 0.5, 1e-5);
  EXPECT_NEAR(static_cast<double>(-2 * std::log(L[0] / L[1])), 1.02165, 1e-4);
  EXPECT_EQ(Classes[1], 2);
  EXPECT_EQ(Classes[2], 2);
  EXPECT_NEAR(MaxZ, 1.6448536, 1e-4);
  EXPECT_NEAR(SecondZ, 1.0364334, 1e-4);
  P->LikelihoodThreshold = 2;
  P->Genotypes->Classify(Values, Classes, MaxZ, SecondZ);
  EXPECT_EQ(Classes[1], 0);
  EXPECT_EQ(Classes[2], 0);
}

TEST(GenotypeSet, EqualBestLikelihoodsAreAmbiguous) {
  auto P = Channels("AB");
  P->AddGenotype("a", 0, 0);
  P->AddGenotype("b", 1, 0);
  ASSERT_TRUE(P->Genotypes->PrepareAll());
  TClassTriple Classes{};
  float MaxZ = 0, SecondZ = 0;
  P->LikelihoodThreshold = 0.5f;
  P->Genotypes->Classify({2.5f, 2.5f}, Classes, MaxZ, SecondZ);
  EXPECT_EQ(Classes[1], 0);
  P->LikelihoodThreshold = 0;
  P->Genotypes->Classify({2.5f, 2.5f}, Classes, MaxZ, SecondZ);
  EXPECT_EQ(Classes[1], 2);  // on a tie the genotype later in the list wins
}

TEST(GenotypeSet, ExcessSignalOnAChannelTheBestDoesNotExplainRejects) {
  auto P = Channels("AB");
  P->AddGenotype("a", 0, 0);
  P->AddGenotype("b", 1, 0);
  ASSERT_TRUE(P->Genotypes->PrepareAll());
  TClassTriple Classes{};
  float MaxZ = 0, SecondZ = 0;
  // Channel 1 lies far above its peak (z = 4 > 3): genotype b is above its limit there.
  P->Genotypes->Classify({2.5f, 3.3f}, Classes, MaxZ, SecondZ);
  EXPECT_EQ(Classes[1], 0);
  EXPECT_EQ(Classes[2], 0);
  P->Genotypes->Classify({2.5f, 1.0f}, Classes, MaxZ, SecondZ);
  EXPECT_EQ(Classes[1], 1);
  P->Genotypes->Classify({0.5f, 0.5f}, Classes, MaxZ, SecondZ);  // nobody explains it
  EXPECT_EQ(Classes[1], 0);
  EXPECT_EQ(MaxZ, -10.0f);
}

TEST(GenotypeSet, MoveWrapsAtBothEnds) {
  TProtocol P;
  auto Names = [&] { return P.Genotypes->NameList(); };
  P.AddGenotype("A", 0, 0);
  P.AddGenotype("B", 0, 0);
  P.AddGenotype("C", 0, 0);
  P.MoveGenotype(0, true);
  EXPECT_EQ(Names(), (TStringArray{"C", "B", "A"}));
  P.MoveGenotype(2, false);
  EXPECT_EQ(Names(), (TStringArray{"A", "B", "C"}));
  P.MoveGenotype(1, true);
  EXPECT_EQ(Names(), (TStringArray{"B", "A", "C"}));
  P.MoveGenotype(7, true);
  EXPECT_EQ(Names(), (TStringArray{"B", "A", "C"}));
  P.DeleteGenotype(0);
  EXPECT_EQ(Names(), (TStringArray{"A", "C"}));
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
