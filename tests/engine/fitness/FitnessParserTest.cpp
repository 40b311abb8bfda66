#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "AllocationCap.h"
#include "Globals.h"
#include "NotFiles.h"
#include "NumberFormat.h"
#include "RecordingMessages.h"
#include "TestFolders.h"
#include "TextUtils.h"
#include "fitness/FitnessArray.h"
#include "fitness/FitnessCalculator.h"

namespace qv {
namespace {

using test::RecordingMessages;
using test::TempFolder;

class SeparatorGuard {
 public:
  explicit SeparatorGuard(char C) : Old(DecimalSeparator()) { SetDecimalSeparator(C); }
  ~SeparatorGuard() { SetDecimalSeparator(Old); }

 private:
  char Old;
};

// A calculated-looking result set: class k holds values derived from k and Seed, so that every
// field of every row differs.
void Fill(TFitnessData& D, const TStringArray& Genotypes1, const TStringArray& Genotypes2, float Seed) {
  const int32_t n = static_cast<int32_t>(Genotypes1.size());
  D.SetSize(n);
  for (int32_t k = 0; k < n; ++k) {
    D.FluorNames[k] = "Fluor " + std::to_string(k);
    D.GenotypeNames[0][k] = Genotypes1[k];
    D.GenotypeNames[1][k] = Genotypes2[k];
    for (int32_t t = 0; t < 2; ++t) {
      D.ExpectedCounts[t][k + 1] = 100 * (k + 1) + t;
      D.ObservedCounts[t][k + 1] = 200 * (k + 1) + t;
      D.ExpectedFractions[t][k] = 0.1f * (k + 1);
      D.ObservedFractions[t][k] = 0.05f * (k + 1) + 0.01f * t;
      D.W[t][k] = Seed + 0.25f * k * (t + 1);
      D.LnW[t][k] = -0.5f * k + t;
    }
    D.DlnW[k][0] = 0.125f * k;
    D.AvgW[k] = Seed + 0.5f * k;
    D.AvgW1[k] = 1 + 0.0625f * k;
    D.AvgW2[k] = 2 - 0.0625f * k;
    D.MeanW[k] = Seed - 0.125f * k;
  }
  for (int32_t s = 0; s < n; ++s) {
    D.LogFitness[s].assign(static_cast<size_t>(n), TSglArray(1, 0.0f));
    for (int32_t k = 0; k < n; ++k) {
      D.LogFitness[s][k][0] = 0.01f * (10 * s + k);
      D.Wfinal[s][k] = 1 + 0.001f * (10 * s + k);
    }
  }
  D.Valid = true;
}

// The report the calculator writes for a set filled as above.
std::string Written(const TStringArray& G1, const TStringArray& G2, float Seed, bool WithTitle = true,
                    const std::string& Expected1 = "ctrl start.Quorvenal") {
  TFitnessCalculator C;
  C.FileSet.Expected = {Expected1, "expt start.Quorvenal"};
  C.FileSet.Observed = {"ctrl stop.Quorvenal", "expt stop.Quorvenal"};
  Fill(*C.Merged, G1, G2, Seed);
  std::string Text;
  C.Report(*C.Merged, WithTitle, Text);
  return Text;
}

std::string Replace(std::string Text, const std::string& From, const std::string& To) {
  const size_t At = Text.find(From);
  EXPECT_NE(At, std::string::npos) << From;
  if (At != std::string::npos) Text.replace(At, From.size(), To);
  return Text;
}

// Text without the first line that begins with Prefix.
std::string WithoutLine(const std::string& Text, const std::string& Prefix) {
  const size_t At = Text.find("\r\n" + Prefix);
  EXPECT_NE(At, std::string::npos) << Prefix;
  if (At == std::string::npos) return Text;
  return Text.substr(0, At) + Text.substr(Text.find("\r\n", At + 2));
}

void WriteText(const std::string& FileName, const std::string& Text) {
  std::ofstream(FileName, std::ios::binary) << Text;
}

TEST(FitnessReportReader, ReadsBackTheWritersValuesInRowOrder) {
  // Written with "," as the process-wide separator, read with it too: the report always uses ".".
  SeparatorGuard Comma(',');
  std::string Text = Written({"wt 1", "a,b", "c"}, {"c", "wt 1", "a,b"}, 1.5f);
  const auto D = TFitnessData::CreateFromText(Text);
  EXPECT_TRUE(Text.empty());
  ASSERT_EQ(D->ClassCount, 3);
  EXPECT_TRUE(D->Valid);
  EXPECT_EQ(D->Description,
            "Expected 1 : ctrl start\r\nObserved 1 : ctrl stop\r\nExpected 2 : expt start\r\n"
            "Observed 2 : expt stop");
  // Row 0 is the writer's last class (k = 2); names lose blanks and commas to "_".
  EXPECT_EQ(D->FluorNames, (TStringArray{"Fluor_2", "Fluor_1", "Fluor_0"}));
  EXPECT_EQ(D->GenotypeNames[0], (TStringArray{"c", "a_b", "wt_1"}));
  EXPECT_EQ(D->GenotypeNames[1], (TStringArray{"a_b", "wt_1", "c"}));
  // Counts lie at the row index; the last slot stays 0.
  EXPECT_EQ(D->ExpectedCounts[0], (TIntArray{300, 200, 100, 0}));
  EXPECT_EQ(D->ObservedCounts[1], (TIntArray{601, 401, 201, 0}));
  EXPECT_FLOAT_EQ(D->ExpectedFractions[1][0], 0.3f);
  EXPECT_FLOAT_EQ(D->ObservedFractions[1][2], 0.06f);
  EXPECT_FLOAT_EQ(D->W[1][0], 2.5f);
  EXPECT_FLOAT_EQ(D->LnW[0][0], -1.0f);
  EXPECT_FLOAT_EQ(D->DlnW[0][0], 0.25f);
  // Reference columns in text order: reference r of row i is the writer's reference n-1-r.
  EXPECT_FLOAT_EQ(D->LogFitness[0][0][0], 0.22f);
  EXPECT_FLOAT_EQ(D->LogFitness[2][1][0], 0.01f);
  EXPECT_FLOAT_EQ(D->Wfinal[1][2], 1.01f);
  EXPECT_FLOAT_EQ(D->AvgW[0], 2.5f);
  EXPECT_FLOAT_EQ(D->AvgW1[0], 1.125f);
  EXPECT_FLOAT_EQ(D->AvgW2[2], 2.0f);
  EXPECT_FLOAT_EQ(D->MeanW[1], 1.375f);
  EXPECT_EQ(D->WDifference[0].size(), 3u);
}

TEST(FitnessReportReader, ConcatenatedReportsComeBackOneByOneAndSkipSinglePlates) {
  const std::string First = Written({"A", "B"}, {"B", "A"}, 1.0f);
  const std::string Plate = "\r\nSingle plate #0 within set 1 holding other set as a merged constant\r\n" +
                            Written({"A", "B"}, {"B", "A"}, 7.0f, false);
  const std::string Second = Written({"A", "B", "C"}, {"C", "A", "B"}, 3.0f);
  std::string Text = First + Plate + Second;
  const auto D1 = TFitnessData::CreateFromText(Text);
  EXPECT_EQ(Text, Second);
  EXPECT_EQ(D1->ClassCount, 2);
  EXPECT_FLOAT_EQ(D1->AvgW[1], 1.0f);
  const auto D2 = TFitnessData::CreateFromText(Text);
  EXPECT_TRUE(Text.empty());
  EXPECT_EQ(D2->ClassCount, 3);
  EXPECT_FLOAT_EQ(D2->AvgW[2], 3.0f);

  TempFolder Folder;
  WriteText(Folder / "sets.txt", First + Plate + Second + Plate);
  TFitnessArray A(Folder / "sets.txt", 10);
  EXPECT_EQ(A.Count, 2);
  EXPECT_FALSE(A.Refused);
}

TEST(FitnessReportReader, TextWithoutTitleGivesAnEmptySet) {
  std::string Text = Written({"A", "B"}, {"B", "A"}, 1.0f, false);
  const auto D = TFitnessData::CreateFromText(Text);
  EXPECT_EQ(D->ClassCount, 0);
  EXPECT_TRUE(Text.empty());
}

TEST(FitnessReportReader, DamagedReportsAreRefusedWithTheirPosition) {
  const std::string Good = Written({"A", "B"}, {"B", "A"}, 1.0f);
  struct TCase {
    const char* Name;
    std::string Text;
    int32_t Set;
  };
  const std::vector<TCase> Cases = {
      {"huge n", Good + Replace(Good, "Values\t2", "Values\t99999999999"), 2},
      {"large n", Replace(Good, "Values\t2", "Values\t2000000000"), 1},
      {"negative n", Replace(Good, "Values\t2", "Values\t-2"), 1},
      {"missing strain row", WithoutLine(Good, "Fluor 1\tB\t200\t400\t"), 1},
      {"short genotype row", Replace(Good, "\tB\t1.5000\r\n", "\r\n"), 1},
      {"short fluor row", Replace(Good, "\t1.9375\t0.8750\r\n", "\t1.9375\r\n"), 1},
      {"decimal comma", Replace(Good, "0.2000", "0,2000"), 1},
      {"missing file lines", Replace(Good, "Observed 2 : expt stop\r\n\r\n", ""), 1},
      {"truncated before a good one", Good.substr(0, Good.find("Fluor Fitness Values")) + Good, 1},
  };
  TempFolder Folder;
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    WriteText(Folder / "sets.txt", C.Text);
    RecordingMessages Messages;
    TFitnessArray A(Folder / "sets.txt", 10);
    ASSERT_EQ(Messages.Errors.size(), 1u);
    EXPECT_EQ(Messages.Errors[0].rfind("Invalid fitness report: set " + std::to_string(C.Set) + ":", 0), 0u)
        << Messages.Errors[0];
    EXPECT_TRUE(A.Refused);
    EXPECT_EQ(A.Count, 0);
    EXPECT_TRUE(A.Items.empty());
    std::string Report;
    A.CorrelationReport(Report);
    EXPECT_TRUE(Report.empty());
  }
}

// Each row is split and its fields counted against the class count before anything is sized
// from it: a 24 KB text that claims 4,000 classes, its tables made of empty lines, would ask for
// 4,000 x 4,000 values; a class count edited below the rows would read fields from the wrong
// columns.
TEST(FitnessReportReader, RowsMustHoldTheFieldsOfTheClassCountBeforeAnythingIsSized) {
  const std::string Good = Written({"A", "B", "C"}, {"C", "A", "B"}, 1.0f);
  const std::string Blank(8000, '\n');
  const std::string Claims4000 = Good.substr(0, Good.find("Strain Fitness Values")) +
                                 "Strain Fitness Values\t4000\r\n---\r\nFluor\r\n" + Blank +
                                 "Genotype Fitness Values\r\n----\r\nMix_GType\r\n" + Blank +
                                 "Fluor Fitness Values\r\nFluor\r\n" + Blank;
  struct TCase {
    const char* Name;
    std::string Text;
    std::string Reason;
  };
  const std::vector<TCase> Cases = {
      {"4000 classes of empty rows", Claims4000, "row 1 of the strain table holds 0 fields, not 15"},
      {"class count edited down", Replace(Good, "Values\t3", "Values\t2"),
       "row 1 of the genotype table holds 11 fields, not 9"},
      {"a strain row of 16 fields", Replace(Good, "\t0.0000\t\r\n", "\t0.0000\t0\t\r\n"),
       "row 1 of the strain table holds 16 fields, not 15"},
  };
  TempFolder Folder;
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    WriteText(Folder / "sets.txt", C.Text);
    RecordingMessages Messages;
    bool Reached = false;
    {
      test::TAllocationCap Cap(16 << 20);
      TFitnessArray A(Folder / "sets.txt", 10);
      Reached = Cap.Reached();
    }
    EXPECT_FALSE(Reached);
    ASSERT_EQ(Messages.Errors.size(), 1u);
    EXPECT_EQ(Messages.Errors[0], "Invalid fitness report: set 1: " + C.Reason);
  }
}

// Reports are read from the text in one pass, never by splitting what is left of it again for
// each one: a hundred reports each followed by a thousand blank lines are read within 16 MB of
// allocations (each split of the rest would copy its lines). One more report than the cap is
// refused by name before any is read.
TEST(FitnessReportReader, ReportsAreReadInOnePassUpToTheCap) {
  const std::string Empty = Written({}, {}, 1.0f) + std::string(2000, '\n');
  std::string Text;
  for (int32_t i = 0; i < TFitnessArray::MaxReports; ++i) Text += Empty;
  TempFolder Folder;
  WriteText(Folder / "many.txt", Text);
  WriteText(Folder / "too many.txt", Text + Empty);
  RecordingMessages Messages;
  {
    test::TAllocationCap Cap(16 << 20);
    TFitnessArray A(Folder / "many.txt", 10);
    EXPECT_FALSE(Cap.Reached());
    EXPECT_EQ(A.Count, TFitnessArray::MaxReports);
  }
  EXPECT_TRUE(Messages.Errors.empty());
  TFitnessArray A(Folder / "too many.txt", 10);
  EXPECT_EQ(Messages.Errors, (std::vector<std::string>{"Error reading fitness report \"" + Folder / "too many.txt" +
                                                       "\": it holds 101 reports; a correlation takes at most 100."}));
  EXPECT_TRUE(A.Refused);
  EXPECT_EQ(A.Count, 0);
}

TEST(FitnessCorrelation, SetWithItselfCorrelatesOneAtDistanceZero) {
  TempFolder Folder;
  WriteText(Folder / "one.txt", Written({"A", "B", "C"}, {"C", "A", "B"}, 1.0f));
  RecordingMessages Messages;
  TFitnessArray A(Folder / "one.txt", 10);
  ASSERT_EQ(A.Count, 1);
  EXPECT_TRUE(Messages.Errors.empty());
  for (int32_t Kind = 0; Kind < 5; ++Kind) {
    SCOPED_TRACE(Kind);
    ASSERT_EQ(A.R[Kind].size(), 1u);
    EXPECT_FLOAT_EQ(A.R[Kind][0][0], Kind == 2 ? 0.0f : 1.0f);
    EXPECT_FLOAT_EQ(A.Rs[Kind][0][0], 1.0f);
    EXPECT_EQ(A.D[Kind][0][0], 0.0f);
    EXPECT_EQ(A.Ds[Kind][0][0], 0.0f);
  }
  std::string Text;
  A.CorrelationReport(Text);
  const std::vector<std::string> Lines = SplitLines(Text);
  ASSERT_GT(Lines.size(), 12u);
  EXPECT_EQ(Lines[0], "Data from one.txt");
  EXPECT_EQ(Lines[2], std::string(74, '*'));
  EXPECT_EQ(Lines[3], "Pearson R Correlation Coefficients for 1 sets of Fitness Data");
  EXPECT_EQ(Lines[6], "R Values for Raw Fitness 1");
  EXPECT_EQ(Lines[7], "\t1");
  EXPECT_EQ(Lines[8], "1\t1.0000");
  EXPECT_EQ(Lines[10], "R Values for Raw Fitness 2");
  EXPECT_NE(Text.find("D Values for Change in Fitness\r\n\t1\r\n1\t0.000\r\n"), std::string::npos);
  EXPECT_NE(Text.find("Key to File Sets\r\nSet 1\r\nExpected 1 : ctrl start\r\n"), std::string::npos);
  EXPECT_EQ(Text.find("not correlated"), std::string::npos);
}

TEST(FitnessCorrelation, ValuesBeyondSingleRangeAreRefusedNotInfinite) {
  // Each value fits 32 bits; their difference does not.
  const std::string Text = Written({"A", "B"}, {"B", "A"}, 1.0f);
  const std::string Huge = Replace(Text, "\t1.0000\t0.0000\t", "\t300000000000000000000000000000000000000\t0.0000\t");
  const std::string Negative =
      Replace(Text, "\t1.0000\t0.0000\t", "\t-300000000000000000000000000000000000000\t0.0000\t");
  TempFolder Folder;
  WriteText(Folder / "sets.txt", Huge + Negative);
  RecordingMessages Messages;
  TFitnessArray A(Folder / "sets.txt", 10);
  ASSERT_EQ(Messages.Errors.size(), 1u);
  EXPECT_EQ(Messages.Errors[0], "The fitness sets cannot be compared: Floating point overflow");
  EXPECT_TRUE(A.Refused);
  EXPECT_EQ(A.Count, 0);
}

TEST(FitnessCorrelation, FolderOrPipeIsRefusedByName) {
  TempFolder Folder;
  for (const auto& [Path, Reason] : test::MakeNotFiles(Folder, "txt")) {
    SCOPED_TRACE(Path);
    RecordingMessages Messages;
    std::unique_ptr<TFitnessArray> A;
    test::WithoutBlocking(Path, [&] { A = std::make_unique<TFitnessArray>(Path, 10); });
    EXPECT_EQ(Messages.Errors,
              (std::vector<std::string>{"Error reading fitness report \"" + Path + "\": " + Reason}));
    EXPECT_TRUE(A->Refused);
    EXPECT_EQ(A->Count, 0);
  }
}

TEST(FitnessCorrelation, MissingFileGivesEmptyBlocks) {
  TFitnessArray A("/nonexistent/sets.txt", 10);
  EXPECT_EQ(A.Count, 0);
  std::string Text;
  A.CorrelationReport(Text);
  EXPECT_NE(Text.find("Rs Values for Fluor Fitness\r\n\r\n\r\n"), std::string::npos);
}

TFitnessData Vectors(const TSglArray& W) {
  TFitnessData D;
  TStringArray Names;
  for (size_t i = 0; i < W.size(); ++i) Names.push_back("G" + std::to_string(i));
  Fill(D, Names, Names, 1.0f);
  D.W[0] = W;
  return D;
}

TEST(FitnessCorrelation, KnownValues) {
  TFitnessData X = Vectors({1, 2, 3, 4});
  const TFitnessData Y = Vectors({2, 4, 5, 4});
  EXPECT_NEAR(X.PearsonR(0, Y), 0.718185f, 1e-6);
  float D = -1, Ds = -1;
  EXPECT_NEAR(X.SpearmanAndDistances(0, Y, 0.1f, D, Ds), 0.65f, 1e-6);
  EXPECT_NEAR(D, 3.0f, 1e-6);
  EXPECT_NEAR(Ds, 1.870829f, 1e-6);
  // A kind beyond the table compares nothing.
  EXPECT_EQ(X.PearsonR(5, Y), 0.0f);
}

TEST(FitnessCorrelation, ChangeInFitnessPairsTheSameGenotype) {
  // A three-genotype rotation: set 2's row j holds genotype G2[j]. Both differences carry each
  // genotype's own value, so pairing the same genotypes correlates exactly.
  const TStringArray G1{"A", "B", "C"}, G2{"B", "C", "A"};
  const std::map<std::string, float> Value{{"A", 1.0f}, {"B", 5.0f}, {"C", 2.0f}};
  TFitnessData This, Other;
  Fill(This, G1, G2, 1.0f);
  Fill(Other, G1, G2, 1.0f);
  for (size_t i = 0; i < 3; ++i) {
    This.W[0][i] = Value.at(G1[i]);
    This.W[1][i] = Value.at(G2[i]);
    Other.W[0][i] = 0;
    Other.W[1][i] = 0;
  }
  EXPECT_FLOAT_EQ(This.PearsonR(2, Other), 1.0f);
  EXPECT_EQ(This.WDifference[1], (TSglArray{1, 5, 2}));
  float D = -1, Ds = -1;
  EXPECT_FLOAT_EQ(This.SpearmanAndDistances(2, Other, 0.1f, D, Ds), 1.0f);
  EXPECT_EQ(D, 0.0f);
  EXPECT_EQ(Ds, 0.0f);
}

TEST(FitnessCorrelation, DifferentClassCountsAreNotCompared) {
  TFitnessData Three = Vectors({1, 2, 3});
  const TFitnessData Four = Vectors({1, 2, 3, 4});
  EXPECT_EQ(Three.PearsonR(0, Four), 0.0f);
  float D = -1, Ds = -1;
  EXPECT_EQ(Three.SpearmanAndDistances(0, Four, 0.1f, D, Ds), 0.0f);
  EXPECT_EQ(D, 0.0f);
  EXPECT_EQ(Ds, 0.0f);

  TempFolder Folder;
  WriteText(Folder / "sets.txt",
            Written({"A", "B"}, {"B", "A"}, 1.0f) + Written({"A", "B", "C"}, {"C", "A", "B"}, 2.0f));
  TFitnessArray A(Folder / "sets.txt", 10);
  ASSERT_EQ(A.Count, 2);
  EXPECT_EQ(A.R[0][0][1], 0.0f);
  EXPECT_EQ(A.D[0][1][0], 0.0f);
  EXPECT_FLOAT_EQ(A.R[0][1][1], 1.0f);
  std::string Text;
  A.CorrelationReport(Text);
  EXPECT_NE(Text.find("\r\n\r\nSets of different class counts, or of fewer than two classes, are not correlated"),
            std::string::npos);
}

}  // namespace
}  // namespace qv
