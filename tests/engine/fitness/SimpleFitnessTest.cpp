#include <gtest/gtest.h>

#include <algorithm>

#include "Files.h"
#include "FitnessTestSupport.h"
#include "NotFiles.h"
#include "Random.h"
#include "RecordingMessages.h"
#include "TextUtils.h"
#include "fitness/SimpleFitness.h"

namespace qv {
namespace {

using test::AssayProtocol;
using test::RecordingMemo;
using test::RecordingMessages;
using test::SaveAssayFile;
using test::TempFolder;

using TPlates = std::vector<std::vector<int32_t>>;

TSimpleFitnessData Row(int32_t Ctrl0, int32_t CtrlT, int32_t Expt0, int32_t ExptT) {
  TSimpleFitnessData R;
  R.Count_Ctrl_0 = Ctrl0;
  R.Count_Ctrl_T = CtrlT;
  R.Count_Expt_0 = Expt0;
  R.Count_Expt_T = ExptT;
  return R;
}

TEST(SimpleFitnessCalculation, RatesAndFitnessFromFrequencies) {
  TSimpleFitnessDataArray Rows{Row(100, 120, 100, 150), Row(100, 80, 100, 50)};
  TSimpleFitness::Calculate(Rows);
  EXPECT_FLOAT_EQ(Rows[0].Freq_Ctrl_T, 0.6f);
  EXPECT_FLOAT_EQ(Rows[0].R_Ctrl, 1.2f);
  EXPECT_FLOAT_EQ(Rows[1].R_Ctrl, 0.8f);
  EXPECT_FLOAT_EQ(Rows[0].R_Expt, 1.5f);
  EXPECT_FLOAT_EQ(Rows[1].R_Expt, 0.5f);
  EXPECT_FLOAT_EQ(Rows[0].W_end, 1.25f);
  EXPECT_FLOAT_EQ(Rows[1].W_end, 0.625f);
  EXPECT_FLOAT_EQ(Rows[0].W_Ref, 1.25f);
  EXPECT_FLOAT_EQ(Rows[1].W_Ref, 0.625f);

  // No control-start events: no control rate and no relative fitness, but W_end stands.
  Rows = {Row(0, 120, 100, 150), Row(100, 80, 100, 50)};
  TSimpleFitness::Calculate(Rows);
  EXPECT_EQ(Rows[0].R_Ctrl, 0.0f);
  EXPECT_EQ(Rows[0].W_Ref, 0.0f);
  EXPECT_FLOAT_EQ(Rows[0].W_end, 1.25f);

  // A column without events replaces what an earlier replicate left.
  Rows[0].Count_Expt_T = Rows[1].Count_Expt_T = 0;
  TSimpleFitness::Calculate(Rows);
  EXPECT_EQ(Rows[0].Freq_Expt_T, 0.0f);
  EXPECT_EQ(Rows[1].W_end, 0.0f);
  EXPECT_EQ(Rows[1].R_Expt, 0.0f);
}

TEST(SimpleFitnessTables, FractionsRatiosAndAssembly) {
  const T2SglArray Start{{0.5f, 0.5f}, {0.0f, 1.0f}, {0.25f, 0.75f}};
  const T2SglArray Stop{{0.6f, 0.4f}, {0.5f, 0.5f}};
  const T2SglArray R = TSimpleFitness::RatioTable(Start, Stop);
  ASSERT_EQ(R.size(), 2u) << "only the files both sets have";
  EXPECT_FLOAT_EQ(R[0][0], 1.2f);
  EXPECT_EQ(R[1][0], 0.0f) << "a zero start gives 0";
  EXPECT_FLOAT_EQ(R[1][1], 0.5f);

  T3DblArray Data;
  ASSERT_TRUE(TSimpleFitness::AssembleAnovaData(Start, Stop, Data));
  ASSERT_EQ(Data.size(), 2u);
  ASSERT_EQ(Data[0].size(), 2u);
  EXPECT_EQ(Data[0][1], (TDblArray{0.5, 1.0, 0.75}));
  EXPECT_EQ(Data[1][0].size(), 2u);
  EXPECT_FALSE(TSimpleFitness::AssembleAnovaData({{0.5f, 0.5f}}, Stop, Data)) << "one file in the first set";
  EXPECT_FALSE(TSimpleFitness::AssembleAnovaData(Start, {}, Data)) << "no file in the second";
  EXPECT_FALSE(TSimpleFitness::AssembleAnovaData(Start, {{1.0f, 0.0f, 0.0f}}, Data)) << "genotype counts differ";
}

class SimpleFitnessFiles : public ::testing::Test {
 protected:
  // Control (100, 100) -> (120, 80), experiment (100, 100) -> (150, 50), unassigned events
  // besides; Files gives every data set that many copies of its plate.
  TFitnessFileSet Write(int32_t Files = 1, bool Jitter = false) {
    auto P = AssayProtocol({"A", "B"}, {"GFP", "YFP"});
    const auto Copies = [Files](std::vector<int32_t> Plate) { return TPlates(static_cast<size_t>(Files), Plate); };
    TPlates CtrlStop = Copies({1, 120, 80});
    // A second plate that differs, so the ANOVA has spread within the cells.
    if (Files > 1) CtrlStop[1] = {1, 110, 90};
    SaveAssayFile(Folder / "c0.Quorvenal", *P, Copies({5, 100, 100}), Jitter);
    SaveAssayFile(Folder / "e0.Quorvenal", *P, Copies({0, 100, 100}), Jitter);
    SaveAssayFile(Folder / "cT.Quorvenal", *P, CtrlStop, Jitter);
    SaveAssayFile(Folder / "eT.Quorvenal", *P, Copies({2, 150, 50}), Jitter);
    TFitnessFileSet Set;
    Set.Folder = Folder.Path();
    Set.Expected = {"c0.Quorvenal", "e0.Quorvenal"};
    Set.Observed = {"cT.Quorvenal", "eT.Quorvenal"};
    return Set;
  }
  static TStringArray Lines(const std::string& Text) { return SplitLines(Text); }
  static int32_t Occurrences(const std::string& Text, const std::string& What) {
    int32_t N = 0;
    for (size_t At = Text.find(What); At != std::string::npos; At = Text.find(What, At + 1)) ++N;
    return N;
  }
  TempFolder Folder;
  RecordingMessages Messages;
};

TEST_F(SimpleFitnessFiles, ReadsCountsAndCalculates) {
  RecordingMemo Memo;
  TSimpleFitness S(Write(), &Memo);
  ASSERT_TRUE(S.FilesRead);
  EXPECT_TRUE(Messages.Errors.empty());
  EXPECT_EQ(Memo.Lines,
            (TStringArray{"Reading Stop Point File 1", "Reading Stop Point File 2", "Reading Start Point File 1",
                          "Reading Start Point File 2", "Reading data...", "Calculating Fitness"}));
  EXPECT_EQ(Memo.Shown, Memo.Hidden);
  ASSERT_EQ(S.GenotypeCount, 2);
  const TSimpleFitnessData& A = S.FitnessRows[0];
  EXPECT_EQ(A.Genotype, "A");
  EXPECT_EQ(A.Fluorophore, "GFP");
  EXPECT_EQ(S.FitnessRows[1].Fluorophore, "YFP");
  EXPECT_EQ(A.Count_Ctrl_0, 100);
  EXPECT_EQ(A.Count_Ctrl_T, 120);
  EXPECT_EQ(A.Count_Expt_T, 150);
  EXPECT_FLOAT_EQ(A.R_Ctrl, 1.2f);
  EXPECT_FLOAT_EQ(A.W_Ref, 1.25f);
  EXPECT_FLOAT_EQ(S.FitnessRows[1].W_end, 0.625f);

  TFitnessFileSet Same = S.FileSet;
  Same.ReportType = 2;
  Same.ReassignMaxZ = true;
  EXPECT_FALSE(S.FileSetChanged(Same));
  Same.Observed[1] = "ET.Quorvenal";
  EXPECT_TRUE(S.FileSetChanged(Same));
}

TEST_F(SimpleFitnessFiles, ReportWithoutAndWithBootstrap) {
  TSimpleFitness S(Write(), nullptr);
  ASSERT_TRUE(S.FilesRead);
  Randomize(7);
  std::string Text = S.Report();
  TStringArray L = Lines(Text);
  ASSERT_GT(L.size(), 24u);
  EXPECT_EQ(L[0], "Simple Fitness Analysis");
  EXPECT_EQ(L[1], std::string(23, '-'));
  EXPECT_EQ(L[2], "");
  EXPECT_EQ(L[3], "File T0.1 (Start_Ctrl) \tc0.Quorvenal");
  EXPECT_EQ(L[4], "File T0.2 (Start_Expt)\te0.Quorvenal");
  EXPECT_EQ(L[5], "File T1.1 (Stop_Ctrl) \tcT.Quorvenal");
  EXPECT_EQ(L[6], "File T1.2 (Stop_Expt)\teT.Quorvenal");
  EXPECT_EQ(L[7], "");
  // Genotype columns run from the last genotype to the first.
  EXPECT_EQ(L[8], "Genotype\tB\tA");
  EXPECT_EQ(L[10], "Count_Ctrl_0\t100\t100");
  EXPECT_EQ(L[15], "Freq_Ctrl_T\t0.40000\t0.60000");
  EXPECT_EQ(L[18], "R_Ctrl\t0.80000\t1.20000");
  EXPECT_EQ(L[21], "W_end\t0.62500\t1.25000");
  EXPECT_EQ(L[22], "");
  EXPECT_EQ(L[23], "Variance Analysis");
  EXPECT_NE(Text.find("\r\n\tGenotype\tB\tA\t\r\n\tFluorophore\tYFP\tGFP\t\r\nR_Ctrl\tMean\t"), std::string::npos);
  EXPECT_EQ(Occurrences(Text, "Error assembling data"), 3) << "one file per data set";
  EXPECT_TRUE(Messages.Errors.empty());

  S.Bootstrap(500);
  EXPECT_TRUE(S.Bootstrapped);
  Text = S.Report();
  L = Lines(Text);
  EXPECT_EQ(L[22], "R_Ctrl_BootMean\t" + L[22].substr(16));
  EXPECT_EQ(L[37].rfind("W_end_BootDevR\t", 0), 0u);
  EXPECT_EQ(L[38], "") << "30 table lines";
  // Resampling 200 genotype events at each point: R_Ctrl = 1.2 spreads by about 0.11.
  const TSkewMoment& R = S.FitnessRows[0].R_Ctrl_Stats;
  EXPECT_EQ(R.Count, 500);
  EXPECT_NEAR(R.Mean, 1.2, 0.03);
  EXPECT_GT(R.RMSDeviation, 0.07);
  EXPECT_LT(R.RMSDeviation, 0.16);
  EXPECT_GT(R.LowerSemiDeviation, 0.03);
  EXPECT_GT(R.UpperSemiDeviation, 0.03);
  EXPECT_NEAR(S.FitnessRows[1].W_Ref_Stats.Mean, 0.625, 0.05);
  // The full-data rows keep their values; only the statistics were added.
  EXPECT_FLOAT_EQ(S.FitnessRows[0].R_Ctrl, 1.2f);

  S.Recalculate();
  EXPECT_FALSE(S.Bootstrapped);
  EXPECT_EQ(Lines(S.Report())[22], "");
}

TEST_F(SimpleFitnessFiles, AnovaSectionsWithSeveralFilesPerSet) {
  TSimpleFitness S(Write(2), nullptr);
  ASSERT_TRUE(S.FilesRead);
  const std::string Text = S.Report();
  EXPECT_EQ(Occurrences(Text, "Error assembling data"), 0);
  EXPECT_EQ(Occurrences(Text, "\r\nFile data\r\n"), 3);
  EXPECT_NE(Text.find("ANOVA of Relative Recovery Rates\r\n"), std::string::npos);
  EXPECT_NE(Text.find("\r\nCtrl_Stop\tFile_1\t0.45000\t0.55000\t\r\n"), std::string::npos);
  EXPECT_NE(Text.find("\r\nR_Ctrl\tFile_0\t0.80000\t1.20000\t\r\n"), std::string::npos);
}

TEST_F(SimpleFitnessFiles, OverridesReachTheCounts) {
  TFitnessFileSet Set = Write(1, true);
  TSimpleFitness S(Set, nullptr);
  ASSERT_TRUE(S.FilesRead);
  const int32_t Before = S.FitnessRows[0].Count_Ctrl_T;
  EXPECT_EQ(Before, 120);
  // A lower value limit inside the values' jitter leaves part of the events unassigned.
  Set.ReassignMinZGate = true;
  Set.MinZGate = 102;
  ASSERT_TRUE(S.ApplyOverrides(Set));
  S.Recalculate();
  const int32_t After = S.FitnessRows[0].Count_Ctrl_T;
  EXPECT_GT(After, 0);
  EXPECT_LT(After, Before);

  // A model created with the overrides counts with them from the start.
  TSimpleFitness Fresh(Set, nullptr);
  EXPECT_EQ(Fresh.FitnessRows[0].Count_Ctrl_T, After);
}

TEST_F(SimpleFitnessFiles, FolderOrPipeAsADataFileIsRefusedByName) {
  TFitnessFileSet Set = Write();
  for (const auto& [Path, Reason] : test::MakeNotFiles(Folder, "Quorvenal")) {
    if (Path.rfind(Folder.Path(), 0) != 0) continue;  // the slots name files of the set's folder
    SCOPED_TRACE(Path);
    Messages.Errors.clear();
    Set.Expected[0] = ExtractFileName(Path);
    std::unique_ptr<TSimpleFitness> S;
    test::WithoutBlocking(Path, [&] { S = std::make_unique<TSimpleFitness>(Set, nullptr); });
    EXPECT_FALSE(S->FilesRead);
    EXPECT_EQ(Messages.Errors,
              (TStringArray{"Error reading Quorvenal file \"" + Set.ExpectedPath(0) + "\": " + Reason,
                            "Error reading files"}));
  }
}

TEST_F(SimpleFitnessFiles, FilesThatDoNotReadLeaveAHarmlessModel) {
  TFitnessFileSet Set = Write();
  Set.Observed[1] = "absent.Quorvenal";
  RecordingMemo Memo;
  TSimpleFitness S(Set, &Memo);
  EXPECT_FALSE(S.FilesRead);
  EXPECT_EQ(Messages.Errors, (TStringArray{"Error reading files"}));
  EXPECT_EQ(Memo.Shown, Memo.Hidden);
  EXPECT_TRUE(S.FitnessRows.empty());
  Set.ReassignMaxZ = true;
  EXPECT_FALSE(S.ApplyOverrides(Set));
  S.Recalculate();
  S.Bootstrap(10);
  EXPECT_FALSE(S.Bootstrapped);
  const TStringArray L = Lines(S.Report());
  ASSERT_EQ(L.size(), 9u);
  EXPECT_EQ(L[6], "File T1.2 (Stop_Expt)\tabsent.Quorvenal");
  EXPECT_EQ(L[8], "Error reading files");
  EXPECT_EQ(Messages.Errors.size(), 1u);

  // Protocols that disagree on the genotype count make the read fail too.
  auto Three = AssayProtocol({"A", "B", "C"}, {"GFP", "YFP", "RFP"});
  SaveAssayFile(Folder / "e0.Quorvenal", *Three, {{0, 100, 100, 10}});
  Set.Observed[1] = "eT.Quorvenal";
  TSimpleFitness Mixed(Set, nullptr);
  EXPECT_FALSE(Mixed.FilesRead);
}

}  // namespace
}  // namespace qv
