#include <gtest/gtest.h>

#include <numeric>

#include "DataSetFixtures.h"
#include "analysis/Classification.h"
#include "analysis/Compensation.h"
#include "Errors.h"
#include "dataset/FCSData.h"
#include "Random.h"
#include "RecordingMessages.h"

using namespace qv;
using namespace qv::test;

namespace {

class Classification : public ::testing::Test {
 protected:
  // Channels called between 10 and 1000 (linear), no spill-over, genotypes on request.
  std::unique_ptr<TProtocol> Protocol(int32_t Channels) {
    std::vector<ChannelDef> Defs;
    for (int32_t c = 0; c < Channels; ++c) Defs.emplace_back("C" + std::to_string(c), "P" + std::to_string(c));
    auto P = MakeProtocol({}, Defs);
    for (int32_t c = 0; c < Channels; ++c) {
      TChannel& C = *P->GetChannel(c);
      C.Minimum_Value_Threshold = 10;
      C.Maximum_Value_Threshold = 1000;
      C.Minimum_Value_ZScore = 1;
      C.MaximumValue_ZScore = 100000;
      C.Minimum_Z = -3;
      C.Maximum_Z = 3;
      C.AddPeak(false, -1, 2.0f, 0.2f, 1, 0, 0, 0, 2, -2);  // log 2: value 100
    }
    return P;
  }

  std::unique_ptr<TFCSData> Data(TProtocol& P, const std::string& Name, const std::vector<std::vector<double>>& Rows) {
    std::vector<std::string> Names;
    for (int32_t c = 0; c < P.ChannelCount(); ++c) Names.push_back("P" + std::to_string(c));
    auto File = WriteAndRead(Folder, Name, Names, Rows);
    auto D = TFCSData::Create(*File, 0, true, nullptr, &P);
    D->Compensate(P, nullptr, 0);
    return D;
  }

  std::vector<int16_t> Column(const TFCSData& D, size_t K) {
    std::vector<int16_t> Classes;
    for (size_t i = 0; i < D.Events.size(); ++i) Classes.push_back(D.Events[i].Classes()[K]);
    return Classes;
  }

  TempFolder Folder;
  SettingsGuard Settings;
};

TEST_F(Classification, ThresholdClassIsThePositionOfTheCalledPattern) {
  auto P = Protocol(2);
  auto D = Data(*P, "a.fcs", {{5, 50}, {50, 50}, {10, 1000}, {2000, 50}, {50, 5}});
  D->Classify(*P);
  // Patterns of two channels: NN, YN, NY, YY. A value on a threshold is not called.
  EXPECT_EQ(Column(*D, 0), (std::vector<int16_t>{2, 3, 0, 2, 1}));
  EXPECT_EQ(D->Events[1].Mask(), "YY");
  EXPECT_EQ(D->Events[2].Mask(), "NN");
  EXPECT_EQ(D->Events[0].Called()[1], 1);
  // Without genotypes the Z classes stay as they were.
  EXPECT_EQ(Column(*D, 1), (std::vector<int16_t>{0, 0, 0, 0, 0}));
}

TEST_F(Classification, PatternOrderOfThreeChannels) {
  auto P = Protocol(3);
  auto D = Data(*P, "b.fcs", {{50, 50, 5}, {5, 5, 50}, {50, 50, 50}, {5, 5, 5}});
  D->Classify(*P);
  // NNN, YNN, NYN, NNY, YYN, YNY, NYY, YYY
  EXPECT_EQ(Column(*D, 0), (std::vector<int16_t>{4, 3, 7, 0}));
}

TEST_F(Classification, GatedOutEventsAreNotCalledButStillScored) {
  auto P = Protocol(2);
  P->AddGenotype("g0", 0, 0);
  P->AddGenotype("g1", 1, 0);
  auto D = Data(*P, "c.fcs", {{100, 1}, {1, 100}});
  D->Events[0].SetGatedOut(true);
  D->Classify(*P);
  EXPECT_EQ(D->Events[0].Mask(), "NN");
  EXPECT_EQ(Column(*D, 0), (std::vector<int16_t>{0, 2}));
  EXPECT_EQ(Column(*D, 1), (std::vector<int16_t>{1, 2}));
  EXPECT_EQ(Column(*D, 2), (std::vector<int16_t>{1, 2}));
  EXPECT_NEAR(D->Events[0].MaxZ(), 0.0f, 1e-5);
}

TEST_F(Classification, CompactEventsOnlyGetTheirZClassesAgain) {
  auto P = Protocol(2);
  P->AddGenotype("g0", 0, 0);
  auto D = Data(*P, "d.fcs", {{100, 1}, {1, 100}});
  D->Classify(*P);
  D->BuildShortLines();
  ASSERT_EQ(D->ShortLines.size(), 2u);
  EXPECT_EQ(D->ShortLines[0].Classes()[1], 1);
  P->AddGenotype("g1", 1, 0);
  D->Classify(*P);
  EXPECT_EQ(D->ShortLines[1].Classes()[1], 2);
  EXPECT_EQ(D->ShortLines[1].Classes()[0], 2);  // the threshold class is kept
}

TEST_F(Classification, CountsPerFileWithAMissingMiddleFile) {
  auto P = Protocol(2);
  P->ScoreSingles = true;  // classes NN, YN, NY
  auto A = Data(*P, "f0.fcs", {{50, 5}, {50, 5}, {5, 50}});
  auto B = Data(*P, "f2.fcs", {{5, 5}, {5, 50}, {5, 50}, {5, 50}, {5, 5}, {50, 5}, {5, 5}});
  A->Classify(*P);
  B->Classify(*P);
  // A single file counts by file without a separate index step.
  T2IntArray Single;
  A->ClassCountsByFile(*P, 0, Single);
  EXPECT_EQ(Single, (T2IntArray{{0, 2, 1}}));
  auto M = TFCSData::CreateMerged(*A, {});
  M->Merge(*B, 2, {});
  M->Compensate(*P, nullptr, 0);
  M->Classify(*P);
  EXPECT_EQ(TFCSData::ClassCount(*P), 3);
  T2IntArray Table;
  M->ClassCountsByFile(*P, 0, Table);
  EXPECT_EQ(Table, (T2IntArray{{0, 2, 1}, {0, 0, 0}, {3, 1, 3}}));
  TIntArray Counts;
  M->ClassCounts(*P, 0, false, Counts);
  EXPECT_EQ(Counts, (TIntArray{3, 3, 4}));
  M->SumClassCounts(3, 0, Table);
  EXPECT_EQ(Table[2], (TIntArray{3, 1, 3}));

  // A replicate of one file takes as many draws as the whole set holds, all from that file.
  Randomize(3);
  M->BootstrapClassCounts(*P, 0, true, 0, Counts);
  EXPECT_EQ(std::accumulate(Counts.begin(), Counts.end(), 0), 10);
  EXPECT_EQ(Counts[0], 0);
  Counts = {9, 9, 9};
  M->ResampleFile(3, 0, Counts, 1);
  EXPECT_EQ(Counts, (TIntArray{0, 0, 0}));

  RecordingMessages Messages;
  M->ClassCountsByFile(*P, 3, Table);
  M->BootstrapClassCounts(*P, 0, false, 7, Counts);
  EXPECT_EQ(Messages.Errors, (std::vector<std::string>(2, "Error generating Class Counts")));
  EXPECT_THROW(M->ClassCounts(*P, 3, false, Counts), ERangeError);
}

TEST_F(Classification, BootstrapReplicatesKeepTheTotalAndStayNearTheCounts) {
  auto P = Protocol(2);
  P->ScoreSingles = true;
  std::vector<std::vector<double>> Rows;
  for (int i = 0; i < 4000; ++i) Rows.push_back(i % 4 == 0 ? std::vector<double>{50, 5} : std::vector<double>{5, 50});
  auto D = Data(*P, "e.fcs", Rows);
  D->Classify(*P);
  Randomize(11);
  TIntArray Counts, Sum(3, 0);
  const int Replicates = 200;
  for (int r = 0; r < Replicates; ++r) {
    D->ClassCounts(*P, 0, true, Counts);
    ASSERT_EQ(std::accumulate(Counts.begin(), Counts.end(), 0), 4000);
    for (int k = 0; k < 3; ++k) Sum[k] += Counts[k];
    EXPECT_NEAR(Counts[1], 1000, 120);  // binomial sd about 27
  }
  EXPECT_NEAR(Sum[1] / static_cast<double>(Replicates), 1000, 10);
  EXPECT_NEAR(Sum[2] / static_cast<double>(Replicates), 3000, 10);
  TFCSData Empty;
  Empty.Resample(3, 0, Counts);
  EXPECT_EQ(Counts, (TIntArray{0, 0, 0}));
}

TEST_F(Classification, MoreGenotypesThanPatternsAreAllCounted) {
  auto P = Protocol(1);  // two patterns
  P->AddGenotype("a", 0, 0);
  P->AddGenotype("b", 0, 0);
  P->AddGenotype("c", 0, 0);
  EXPECT_EQ(TFCSData::ClassCount(*P), 4);
}

TEST_F(Classification, StageTakesTheDimOverridesFromItsOptions) {
  auto P = Protocol(2);
  P->AddGenotype("G", 0, 0);
  TFCSLineArray Events;
  TFCSShortLineArray ShortLines;
  // GFP on its peak; RFP far above the override's excess on the second event.
  MinimumRawScore = 0;
  test::FillEvents(Events, 0, 2, {{100, 5}, {100, 900}});
  TCompensationOptions Static;
  CompensateEvents(Events, *P, Static, nullptr);

  // The settings say "no override"; the options say a genotype of mean 2 is dim.
  OverrideMean = 0;
  OverrideExcess = 100;
  TClassifyOptions Options;
  Options.Likelihood.OverrideMean = 2.5f;
  Options.Likelihood.OverrideExcess = 2.5f;
  ClassifyEvents(Events, ShortLines, *P, Options, nullptr);
  EXPECT_EQ(Events[0].Classes()[2], 1);
  EXPECT_EQ(Events[1].Classes()[2], 0);
  EXPECT_EQ(Events[0].Classes()[0], 1);  // YN
  EXPECT_EQ(Events[1].Classes()[0], 3);  // YY

  Options.Likelihood.OverrideMean = 0;
  ClassifyEvents(Events, ShortLines, *P, Options, nullptr);
  EXPECT_EQ(Events[1].Classes()[2], 1);
}

}  // namespace
