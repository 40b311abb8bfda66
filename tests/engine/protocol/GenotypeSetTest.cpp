#include <gtest/gtest.h>

#include <cmath>

#include "Errors.h"
#include "ByteWriter.h"
#include "GenotypeFixtures.h"
#include "protocol/GenotypeFile.h"
#include "protocol/Protocol.h"
#include "RecordingMessages.h"

using namespace qv;
using qv::test::ByteWriter;
using qv::test::Channels;
using qv::test::RecordingMessages;

namespace {

TEST(GenotypeSet, UnpreparedGenotypeIsReportedOnceAndTakesNoPart) {
  auto P = Channels("GY");
  P->GetChannel(1)->MaximumValue_ZScore = 0;  // no value lies below it
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

// A set whose genotypes give the likelihoods 0.3, 0.5 and 0.1 for the event {x, x, x}.
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

// Components are capped like the genotypes they belong to, by the editor, a genotype file and a
// stored record alike; a refusal changes nothing.
TEST(GenotypeSet, ComponentsPastTheirCapAreRefused) {
  auto P = Channels("GY");
  P->AddGenotype("g", 0, 0);
  TGenotype* G = P->GetGenotype(0);
  for (int i = 1; i < TGenotype::MaxComponents; ++i) G->AddComponent(1);
  EXPECT_THROW(G->AddComponent(1), ERangeError);
  EXPECT_EQ(G->Count(), TGenotype::MaxComponents);

  std::string Line = "A";
  for (int i = 0; i <= TGenotype::MaxComponents; ++i) Line += ",0";
  try {
    ParseGenotypeFile(Line, 2);
    ADD_FAILURE() << "a line past the cap was read";
  } catch (const EConvertError& E) {
    EXPECT_STREQ(E.what(), "Line 1 of the genotype file: 65 channels; a genotype holds at most 64");
  }

  ByteWriter Many;
  Many.Int32(TGenotype::RecordVersion).String("g").Int32(TGenotype::MaxComponents + 1);
  for (int i = 0; i <= TGenotype::MaxComponents; ++i) Many.Int32(0).Int32(0);
  TMemoryStream GenotypeRecord(Many.String("").Bytes());
  TGenotype Kept("kept", nullptr, 1, 0);
  try {
    Kept.LoadFromStream(GenotypeRecord);
    ADD_FAILURE() << "a genotype past the cap was read";
  } catch (const EReadError& E) {
    EXPECT_STREQ(E.what(), "it declares 65 components; a genotype holds at most 64");
  }
  EXPECT_EQ(Kept.Name, "kept");
}

}  // namespace
