#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "FitnessTestSupport.h"
#include "NumberFormat.h"
#include "Random.h"
#include "RecordingMessages.h"
#include "TextUtils.h"

namespace qv {
namespace {

using test::AssaySpec;
using test::Example;
using test::InMemoryCalculator;
using test::RecordingMemo;

constexpr int32_t Relaxed = 1;
constexpr int32_t MatrixMode = 0;
constexpr int32_t CascadeMode = 1;

TStringArray SplitFields(const std::string& Line) {
  TStringArray Fields(1);
  for (char Ch : Line) {
    if (Ch == '\t')
      Fields.emplace_back();
    else
      Fields.back() += Ch;
  }
  return Fields;
}

TStringArray ReportLines(const TFitnessCalculator& C, const TFitnessData& D, bool Title = true) {
  std::string Text;
  C.Report(D, Title, Text);
  EXPECT_TRUE(Text.size() >= 2 && Text.substr(Text.size() - 2) == "\r\n") << "every line ends CR LF";
  return SplitLines(Text);
}

class FitnessCalculation : public ::testing::Test {
 protected:
  void TearDown() override { SetDecimalSeparator('.'); }
  test::RecordingMessages Messages;
};

TEST_F(FitnessCalculation, TwoGenotypeCascadeValuesAndReport) {
  auto C = InMemoryCalculator(Example());
  RecordingMemo Memo;
  ASSERT_TRUE(C->Calculate(Relaxed, CascadeMode, false, false, false, &Memo));
  const TFitnessData& M = *C->Merged;
  EXPECT_NEAR(M.W[0][0], 1.5, 1e-6);
  EXPECT_NEAR(M.W[0][1], 0.5, 1e-6);
  EXPECT_NEAR(M.W[1][0], 0.6, 1e-6);
  EXPECT_NEAR(M.W[1][1], 1.4, 1e-6);
  EXPECT_NEAR(M.DlnW[0][0], 0.9163, 5e-5);
  EXPECT_NEAR(M.DlnW[1][0], -1.0296, 5e-5);
  EXPECT_NEAR(M.AvgW[0], 1.8229, 5e-5);
  EXPECT_NEAR(M.AvgW[1], 0.6890, 5e-5);
  EXPECT_NEAR(M.MeanW[0], 0.8469, 5e-5);
  EXPECT_NEAR(M.MeanW[1], 0.7469, 5e-5);
  EXPECT_EQ(M.Wfinal[0][0], 1.0f);
  EXPECT_EQ(Memo.Lines, (std::vector<std::string>{"Calculating strain fractions", "Calculating raw fitness values",
                                                  "Assigning average genotype fitness values",
                                                  "Assigning average fluor fitness values"}));
  EXPECT_EQ(Memo.Shown, Memo.Hidden);

  // The correlation reads the numbers back: "." whatever the process-wide separator.
  SetDecimalSeparator(',');
  const TStringArray Expected{
      "Quorvenal Fitness Report",
      "Fitness Calculation using Cascade deconvolution in Relaxed Z Mode",
      "",
      "Expected 1 : e1",
      "Observed 1 : o1",
      "Expected 2 : e2",
      "Observed 2 : o2",
      "",
      "Strain Fitness Values\t2",
      "---\t1\t1\t1\t1\t1\t1\t1\t2\t2\t2\t2\t2\t2\t2\t",
      "Fluor\tGtype\tExp#\tObs#\tExp%\tObs%\tW\tlnW\tGtype\tExp#\tObs#\tExp%\tObs%\tW\tlnW\t",
      "YFP\tB\t100\t50\t0.5000\t0.2500\t0.5000\t-0.6931\tA\t100\t140\t0.5000\t0.7000\t1.4000\t0.3365\t",
      "GFP\tA\t100\t150\t0.5000\t0.7500\t1.5000\t0.4055\tB\t100\t60\t0.5000\t0.3000\t0.6000\t-0.5108\t",
      "",
      "Genotype Fitness Values",
      "----\t----\t----\tB\tB\tA\tA\t",
      "Mix_GType\tDlnW\tGType\tLnW\tWfinal\tLnW\tWfinal\tGType\tAvgW",
      "B-A\t-1.0296\tB\t0.0000\t1.0000\t-0.9730\t0.3780\tB\t0.6890",
      "A-B\t0.9163\tA\t0.9730\t2.6458\t0.0000\t1.0000\tA\t1.8229",
      "",
      "Fluor Fitness Values",
      "Fluor\tAvgW1\tAvgW2\tMeanW",
      "YFP\t0.7257\t0.7680\t0.7469",
      "GFP\t0.8229\t0.8708\t0.8469",
  };
  const TStringArray Lines = ReportLines(*C, M);
  ASSERT_EQ(Lines.size(), Expected.size());
  for (size_t i = 0; i < Lines.size(); ++i) EXPECT_EQ(Lines[i], Expected[i]) << "line " << i + 1;
  EXPECT_EQ(ReportLines(*C, M, false).front(), Expected[1]);
}

TEST_F(FitnessCalculation, TwoGenotypeMatrixKeepsTheUncentredChange) {
  auto C = InMemoryCalculator(Example());
  ASSERT_TRUE(C->Calculate(Relaxed, MatrixMode, false, false, false, nullptr));
  const TFitnessData& M = *C->Merged;
  EXPECT_NEAR(M.AvgW[0], 1.6964, 5e-5);
  EXPECT_NEAR(M.AvgW[1], 0.6250, 5e-5);
  EXPECT_NEAR(M.MeanW[0], 0.9221, 5e-5);
  EXPECT_NEAR(M.MeanW[1], 0.8126, 5e-5);
  // Reference A: genotype A at DlnW[0] + DlnW[1], B at DlnW[1].
  EXPECT_NEAR(M.LogFitness[0][0][0], M.DlnW[0][0] + M.DlnW[1][0], 1e-6);
  EXPECT_NEAR(M.LogFitness[0][1][0], M.DlnW[1][0], 1e-6);
  EXPECT_EQ(M.DesignMatrices[0], (TMatrix{{1, -1}, {0, 1}}));
  EXPECT_EQ(ReportLines(*C, M)[1], "Fitness Calculation using Matrix deconvolution in Relaxed Z Mode");
}

TEST_F(FitnessCalculation, SmallCountsAreRaisedToFive) {
  AssaySpec S = Example();
  S.Expected[0] = {0, 3, 200};
  S.Observed[0] = {{0, 4, 100}};
  auto C = InMemoryCalculator(S);
  ASSERT_TRUE(C->Calculate(Relaxed, CascadeMode, false, false, false, nullptr));
  const TStringArray Fields = SplitFields(ReportLines(*C, *C->Merged)[12]);
  ASSERT_GE(Fields.size(), 8u);
  EXPECT_EQ(Fields[0], "GFP");
  EXPECT_EQ(TStringArray(Fields.begin() + 2, Fields.begin() + 8),
            (TStringArray{"5", "5", "0.0244", "0.0476", "1.9524", "0.6690"}));
}

TEST_F(FitnessCalculation, CascadeRecoversGenotypeEffectsOfARotation) {
  // ln W = fluorophore effect + genotype effect, genotypes rotated between the sets.
  const std::map<std::string, double> Genotype{{"A", 0.0}, {"B", 0.3}, {"C", -0.2}};
  const double Fluor[] = {0.0, 0.1, -0.1};
  AssaySpec S;
  S.Genotypes1 = {"A", "B", "C"};
  S.Genotypes2 = {"B", "C", "A"};
  S.Fluors = {"GFP", "YFP", "RFP"};
  for (int t = 0; t < 2; ++t) {
    S.Expected[t] = {0, 20000, 20000, 20000};
    TIntArray Obs{0, 0, 0, 0};
    for (int k = 0; k < 3; ++k) {
      const std::string& G = (t == 0 ? S.Genotypes1 : S.Genotypes2)[k];
      Obs[k + 1] = static_cast<int32_t>(std::lround(20000 * std::exp(Fluor[k] + Genotype.at(G))));
    }
    S.Observed[t] = {Obs};
  }
  auto C = InMemoryCalculator(S);
  ASSERT_TRUE(C->Calculate(Relaxed, CascadeMode, false, false, false, nullptr));
  const TFitnessData& M = *C->Merged;
  for (int s = 0; s < 3; ++s)
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR(M.LogFitness[s][k][0], Genotype.at(S.Genotypes1[k]) - Genotype.at(S.Genotypes1[s]), 5e-4)
          << "reference " << s << " genotype " << k;
  // The matrix deconvolution of a single cycle gives the same genotype fitness up to the mean change.
  ASSERT_TRUE(C->Calculate(Relaxed, MatrixMode, false, false, false, nullptr));
  EXPECT_TRUE(C->Merged->Valid);
}

// Every result set of a calculation shares one inversion per reference; the shared inverses
// follow the genotype names, so a calculator whose names changed gives what a fresh one gives.
// Only the merged set keeps copies of the design matrices.
TEST_F(FitnessCalculation, SharedDesignsFollowTheGenotypeNames) {
  AssaySpec S;
  S.Genotypes1 = {"A", "B", "C", "D"};
  S.Genotypes2 = {"B", "C", "D", "A"};
  S.Fluors = {"GFP", "YFP", "RFP", "CFP"};
  S.Expected = {TIntArray{0, 100, 100, 100, 100}, TIntArray{0, 100, 100, 100, 100}};
  S.Observed = {std::vector<TIntArray>{{0, 150, 80, 120, 90}, {0, 140, 85, 110, 95}},
                std::vector<TIntArray>{{0, 90, 130, 70, 110}}};
  const auto Report = [](TFitnessCalculator& C) {
    EXPECT_TRUE(C.Calculate(Relaxed, MatrixMode, false, true, true, nullptr));
    std::string Text;
    C.ReportAll(true, true, Text);
    return Text;
  };
  auto C = InMemoryCalculator(S);
  const std::string First = Report(*C);
  EXPECT_EQ(C->Merged->DesignMatrices[3].size(), 4u);
  EXPECT_TRUE(C->SinglePlates[0][1]->Valid);
  EXPECT_TRUE(C->SinglePlates[0][1]->DesignMatrices[3].empty());
  EXPECT_TRUE(C->PlatePairs[1][0]->DesignMatrices[3].empty());

  S.Genotypes2 = {"D", "A", "B", "C"};
  for (int32_t i = 0; i < 4; ++i) C->ExpectedProtocol[1]->Genotypes->GetGenotype(i)->Name = S.Genotypes2[i];
  const std::string Renamed = Report(*C);
  EXPECT_NE(Renamed, First);
  EXPECT_EQ(Renamed, Report(*InMemoryCalculator(S)));
}

TEST_F(FitnessCalculation, GenotypeKeepingItsFluorophoreLeavesTheReferenceAtZero) {
  AssaySpec S;
  S.Genotypes1 = {"A", "B", "C"};
  S.Genotypes2 = {"B", "A", "C"};
  S.Fluors = {"GFP", "YFP", "RFP"};
  S.Expected = {TIntArray{0, 100, 100, 100}, TIntArray{0, 100, 100, 100}};
  S.Observed = {std::vector<TIntArray>{{0, 150, 80, 120}}, std::vector<TIntArray>{{0, 90, 130, 70}}};
  auto C = InMemoryCalculator(S);
  // In matrix mode C's row has -1 on the diagonal; the design of reference C cannot be solved.
  EXPECT_FALSE(C->Calculate(Relaxed, MatrixMode, false, false, false, nullptr));
  EXPECT_EQ(C->Merged->DesignMatrices[2], (TMatrix{{1, -1, 0}, {-1, 1, 0}, {0, 0, 1}}));
  // Values an earlier calculation left must not survive the walk.
  C->Merged->LogFitness.assign(3, TMatrix(3, TSglArray(1, 7.0f)));
  ASSERT_TRUE(C->Calculate(Relaxed, CascadeMode, false, false, false, nullptr));
  const TFitnessData& M = *C->Merged;
  for (int s = 0; s < 3; ++s) {
    EXPECT_EQ(M.LogFitness[s][s][0], 0.0f) << "reference " << s;
    EXPECT_EQ(M.Wfinal[s][s], 1.0f);
  }
  // C is outside the A-B cycle and A, B outside C's: unreached entries are 0.
  EXPECT_EQ(M.LogFitness[0][2][0], 0.0f);
  EXPECT_EQ(M.LogFitness[2][0][0], 0.0f);
  EXPECT_EQ(M.LogFitness[2][1][0], 0.0f);
  EXPECT_NE(M.LogFitness[0][1][0], 0.0f);
}

TEST_F(FitnessCalculation, SingularDesignGivesAnInvalidSetAndTheFailureLine) {
  AssaySpec S;
  S.Genotypes1 = {"A", "B", "C", "D"};
  S.Genotypes2 = {"B", "A", "D", "C"};
  S.Fluors = {"F1", "F2", "F3", "F4"};
  S.Expected = {TIntArray{0, 100, 100, 100, 100}, TIntArray{0, 100, 100, 100, 100}};
  S.Observed = {std::vector<TIntArray>{{0, 150, 80, 120, 90}}, std::vector<TIntArray>{{0, 90, 130, 70, 100}}};
  auto C = InMemoryCalculator(S);
  EXPECT_FALSE(C->Calculate(Relaxed, MatrixMode, false, false, false, nullptr));
  EXPECT_FALSE(C->Merged->Valid);
  const TStringArray Lines = ReportLines(*C, *C->Merged);
  ASSERT_EQ(Lines.size(), 9u);
  EXPECT_EQ(Lines[3], "Expected 1 : e1");
  EXPECT_EQ(Lines[8].rfind("Fitness calculation failed", 0), 0u) << Lines[8];
  // The cascade of the same design is well defined.
  EXPECT_TRUE(C->Calculate(Relaxed, CascadeMode, false, false, false, nullptr));
}

TEST_F(FitnessCalculation, OnlyZCountKindsAndKnownModesAreCalculated) {
  auto C = InMemoryCalculator(Example());
  EXPECT_FALSE(C->Calculate(0, CascadeMode, false, false, false, nullptr));
  EXPECT_FALSE(C->Calculate(3, CascadeMode, false, false, false, nullptr));
  EXPECT_FALSE(C->Calculate(Relaxed, 2, false, false, false, nullptr));
  EXPECT_FALSE(C->Merged->Valid);
  EXPECT_TRUE(C->Calculate(2, CascadeMode, false, false, false, nullptr));
  EXPECT_EQ(ReportLines(*C, *C->Merged)[1], "Fitness Calculation using Cascade deconvolution in Strict Z Mode");
}

TEST_F(FitnessCalculation, PlatesAreTheFilesOfTheObservedSets) {
  AssaySpec S = Example();
  S.Observed[0] = {{1, 100, 20}, {2, 50, 30}};  // files 4 and 5
  S.Observed[1] = {{3, 30, 60}, {0, 0, 0}, {4, 30, 80}};
  S.FirstObservedFile = 4;
  auto C = InMemoryCalculator(S);
  ASSERT_EQ(C->PlateCount1, 2);
  ASSERT_EQ(C->PlateCount2, 3);
  RecordingMemo Memo;
  ASSERT_TRUE(C->Calculate(Relaxed, CascadeMode, false, true, true, &Memo));
  EXPECT_EQ(C->Merged->ObservedCounts[0], (TIntArray{3, 150, 50}));
  const TFitnessData& Single = *C->SinglePlates[0][1];
  EXPECT_EQ(Single.ObservedCounts[0], (TIntArray{2, 50, 30}));
  EXPECT_EQ(Single.ObservedCounts[1], C->Merged->ObservedCounts[1]);
  EXPECT_EQ(Single.ExpectedCounts[0], C->Merged->ExpectedCounts[0]);
  const TFitnessData& Pair = *C->PlatePairs[0][2];
  EXPECT_EQ(Pair.ObservedCounts[0], (TIntArray{1, 100, 20}));
  EXPECT_EQ(Pair.ObservedCounts[1], (TIntArray{4, 30, 80}));
  EXPECT_TRUE(Pair.Valid);
  // An empty plate still computes (its counts are raised to 5).
  EXPECT_TRUE(C->SinglePlates[1][1]->Valid);
  EXPECT_NE(std::find(Memo.Lines.begin(), Memo.Lines.end(), "** Processing single plate set 2"), Memo.Lines.end());
  EXPECT_NE(std::find(Memo.Lines.begin(), Memo.Lines.end(), "** Processing single plate pairs for plate 0"),
            Memo.Lines.end());

  std::string Text;
  C->ReportAll(true, true, Text);
  const TStringArray Lines = SplitLines(Text);
  EXPECT_EQ(std::count(Lines.begin(), Lines.end(), "Quorvenal Fitness Report"), 1);
  const auto Heading =
      std::find(Lines.begin(), Lines.end(), "Single plate #1 within set 1 holding other set as a merged constant");
  ASSERT_NE(Heading, Lines.end());
  EXPECT_EQ(*(Heading - 1), "");
  EXPECT_EQ(*(Heading + 1), "Fitness Calculation using Cascade deconvolution in Relaxed Z Mode");
  EXPECT_NE(std::find(Lines.begin(), Lines.end(), "Single data : plate #1 in set 1 and plate #2 in set 2"),
            Lines.end());

  // Sets not calculated in this run keep their header and say so, never stale tables.
  ASSERT_TRUE(C->Calculate(Relaxed, CascadeMode, false, false, false, nullptr));
  C->ReportAll(true, false, Text);
  const TStringArray After = SplitLines(Text);
  const auto Single1 =
      std::find(After.begin(), After.end(), "Single plate #0 within set 2 holding other set as a merged constant");
  ASSERT_NE(Single1, After.end());
  ASSERT_LT(Single1 + 8, After.end());
  EXPECT_EQ((Single1 + 8)->rfind("Fitness calculation failed", 0), 0u);
}

TEST_F(FitnessCalculation, BootstrapSpreadMatchesTheDeltaMethod) {
  auto C = InMemoryCalculator(Example());
  Randomize(2024);
  test::RecordingMemo Memo;
  Progress Gauge;
  ASSERT_TRUE(C->Bootstrap(Relaxed, CascadeMode, 2000, false, &Gauge, &Memo));
  const TFitnessData& M = *C->Merged;
  ASSERT_EQ(M.StrainStats[0].size(), 2u);
  const TMoment& W1A = M.StrainStats[0][0];
  EXPECT_EQ(W1A.Count, 2000);
  EXPECT_NEAR(W1A.SD, 0.122, 0.0122);
  EXPECT_NEAR(W1A.Mean, 1.5, 4 * 0.122 / std::sqrt(2000.0));
  EXPECT_EQ(Gauge.Max(), 2000);
  EXPECT_EQ(Gauge.Position(), 2000);
  EXPECT_TRUE(Memo.Lines.empty()) << "no lines during the loop";
  // The point estimates are those of the real counts.
  EXPECT_NEAR(M.W[0][0], 1.5, 1e-6);

  std::string Text;
  C->ReportAll(false, false, Text);
  const TStringArray Lines = SplitLines(Text);
  const auto Title = std::find(Lines.begin(), Lines.end(), "Bootstrap variance calculation using 2000 iterations");
  ASSERT_NE(Title, Lines.end());
  EXPECT_EQ(*(Title - 1), std::string(63, '*'));
  ASSERT_LT(Title + 9, Lines.end());
  EXPECT_EQ(*(Title + 3), "Strain1\tFitness\tMean\tDeviation\tStrain2\tFitness\tMean\tDeviation");
  EXPECT_EQ((Title + 5)->rfind("A/GFP\t1.5000\t", 0), 0u) << *(Title + 5);
  EXPECT_EQ(*(Title + 7), "Genotype\tFitness\tMean\tDeviation\tFlour\tFitness\tMean\tDeviation");

  // A plain calculation afterwards drops the bootstrap part.
  ASSERT_TRUE(C->Calculate(Relaxed, CascadeMode, false, false, false, nullptr));
  C->ReportAll(false, false, Text);
  EXPECT_EQ(Text.find("Bootstrap"), std::string::npos);
}

TEST_F(FitnessCalculation, BootstrapWithTooFewUsableIterations) {
  auto C = InMemoryCalculator(Example());
  EXPECT_FALSE(C->Bootstrap(Relaxed, CascadeMode, 1, false, nullptr, nullptr));
  EXPECT_EQ(C->UsedIterations, 1);
  std::string Text;
  C->ReportAll(false, false, Text);
  EXPECT_EQ(Text.find("Bootstrap variance calculation"), std::string::npos);
  EXPECT_NE(Text.find("Bootstrap variance not calculated: 1 of 1 iterations could be calculated"), std::string::npos);

  // Every iteration of a singular design fails: none is counted.
  AssaySpec S;
  S.Genotypes1 = {"A", "B", "C", "D"};
  S.Genotypes2 = {"B", "A", "D", "C"};
  S.Fluors = {"F1", "F2", "F3", "F4"};
  S.Expected = {TIntArray{0, 100, 100, 100, 100}, TIntArray{0, 100, 100, 100, 100}};
  S.Observed = {std::vector<TIntArray>{S.Expected[0]}, std::vector<TIntArray>{S.Expected[1]}};
  auto D = InMemoryCalculator(S);
  EXPECT_FALSE(D->Bootstrap(Relaxed, MatrixMode, 20, false, nullptr, nullptr));
  EXPECT_EQ(D->UsedIterations, 0);
  EXPECT_TRUE(D->Merged->GenotypeStats.empty());
}

}  // namespace
}  // namespace qv
