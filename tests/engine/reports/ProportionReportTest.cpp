#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>

#include "AllocationCap.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"
#include "Globals.h"
#include "Random.h"
#include "reports/ProportionReport.h"

using namespace qv;

namespace {

// A set whose events carry only a file index and a class: Counts[file][class] events each.
std::unique_ptr<TFCSData> SetOfClasses(const std::vector<std::vector<int>>& Counts, size_t Column) {
  auto D = std::make_unique<TFCSData>();
  D->Events.Reset(0, 1);
  for (size_t f = 0; f < Counts.size(); ++f)
    for (size_t k = 0; k < Counts[f].size(); ++k)
      for (int n = 0; n < Counts[f][k]; ++n) {
        TFCSLine E = D->Events.Append();
        E.SetFileIndex(static_cast<int32_t>(f));
        E.Classes()[Column] = static_cast<int16_t>(k);
      }
  D->FileRange();
  D->BuildFileIndex();
  return D;
}

TStringArray Rows(size_t Classes) {
  TStringArray Table{"Class\t"};
  for (size_t k = 0; k < Classes; ++k) Table.push_back("c" + std::to_string(k) + "\t");
  return Table;
}

bool Has(const TStringArray& Lines, const std::string& Line) {
  return std::find(Lines.begin(), Lines.end(), Line) != Lines.end();
}

struct SettingsRestore {
  bool Calculate = CalculateSSDPvalues;
  int32_t Iterations = SSDIterations;
  float MaxZ = MaxZValue;
  ~SettingsRestore() {
    CalculateSSDPvalues = Calculate;
    SSDIterations = Iterations;
    MaxZValue = MaxZ;
  }
};

TEST(ProportionReport, WorkedExampleOfTwoFiles) {
  SettingsRestore Restore;
  CalculateSSDPvalues = true;
  SSDIterations = 50;
  Randomize(7);
  auto D = SetOfClasses({{5, 10, 30}, {3, 20, 20}}, 2);
  TStringArray Table = Rows(3);
  D->ProportionReport({"n0", "n1", "n2"}, Table, '\t', 2, true);

  // Counts, then per-file counts.
  EXPECT_EQ(Table[0], "Class\tFile0\tFile1\t");
  EXPECT_EQ(Table[1], "c0\t8\t5\t3\t");
  EXPECT_EQ(Table[3], "c2\t50\t30\t20\t");
  // Make-up per file against the pooled fractions (class 0 relative to the others' total).
  EXPECT_TRUE(Has(Table, "c0\t0.1000\t0.1250\t0.0750"));
  EXPECT_TRUE(Has(Table, "c1\t0.3750\t0.2500\t0.5000"));
  EXPECT_TRUE(Has(Table, "c2\t0.6250\t0.7500\t0.5000"));
  EXPECT_TRUE(Has(Table, "\tSSD\t0.031\t0.031\t"));
  EXPECT_TRUE(Has(Table, "\tChi\t2.667\t2.667\t"));
  EXPECT_TRUE(Has(Table, "\tChiP\t0.102\t0.102\t"));
  EXPECT_TRUE(std::any_of(Table.begin(), Table.end(), [](const std::string& L) { return L.rfind("\tP (50)\t", 0) == 0; }));
  EXPECT_TRUE(Has(Table, "File 0\t0.063\t0.000\t0.125\t"));
  // Spread of each class over the files, then the Z values of those shares.
  EXPECT_TRUE(Has(Table, "c1\t\t0.3333\t0.6667"));
  EXPECT_TRUE(Has(Table, "\tMean\t0.4667\t0.5333\t"));
  EXPECT_TRUE(Has(Table, "\tDev\t0.1886\t0.1886\t"));
  EXPECT_TRUE(Has(Table, "c0\t\t0.8397\t-0.8397"));
  EXPECT_TRUE(Has(Table, "c1\t\t-0.7071\t0.7071"));
  EXPECT_TRUE(Has(Table, "c2\t\t0.7071\t-0.7071"));
  EXPECT_TRUE(Has(Table, "Class\tZ Value\tFile0\tFile1\t"));
  EXPECT_EQ(Table.back(), "All Z values are within the acceptable range");
}

TEST(ProportionReport, CountsOnlyAndLinesThatNeedResampling) {
  SettingsRestore Restore;
  CalculateSSDPvalues = true;
  auto D = SetOfClasses({{5, 10, 30}, {3, 20, 20}}, 1);
  TStringArray Counts = Rows(3);
  D->ProportionReport({"n0", "n1", "n2"}, Counts, '\t', 1, false);
  EXPECT_EQ(Counts.size(), 4u);
  EXPECT_EQ(Counts[2], "c1\t30\t10\t20\t");

  // The relaxed column is never resampled.
  TStringArray Table = Rows(3);
  D->ProportionReport({"n0", "n1", "n2"}, Table, '\t', 1, true);
  EXPECT_TRUE(Has(Table, "\tSSD\t0.031\t0.031\t"));
  EXPECT_FALSE(Has(Table, "\tChi\t2.667\t2.667\t"));

  // Too few rows for the classes: a range error, no write past the table.
  TStringArray Short = Rows(2);
  EXPECT_THROW(D->ProportionReport({"n0", "n1", "n2"}, Short, '\t', 1, true), ERangeError);
}

TEST(ProportionReport, SuspiciouslyHighZOnlyAboveTheLimitOnGenotypeClasses) {
  SettingsRestore Restore;
  CalculateSSDPvalues = false;
  // File 0 holds every event of class 1 and half of the others: its Z on class 1 is 2.04.
  auto D = SetOfClasses({{0, 100, 50, 50, 50, 50, 50}, {0, 0, 50, 50, 50, 50, 50}}, 2);
  const TStringArray Names{"n0", "n1", "n2", "n3", "n4", "n5", "n6"};
  TStringArray Table = Rows(7);
  D->ProportionReport(Names, Table, '\t', 2, true);
  EXPECT_TRUE(Has(Table, "c1\t\t2.0412\t-2.0412"));
  EXPECT_EQ(Table.back(), "**** THERE ARE SUSPICIOUSLY HIGH Z VALUES; DATA MAY BE SUSPECT ****");

  MaxZValue = 2.05f;
  Table = Rows(7);
  D->ProportionReport(Names, Table, '\t', 2, true);
  EXPECT_EQ(Table.back(), "All Z values are within the acceptable range");

  // A large Z on class 0 is not tested.
  MaxZValue = 1.96f;
  auto Unassigned = SetOfClasses({{200, 10, 12, 8}, {0, 10, 8, 12}, {0, 10, 10, 10}}, 2);
  Table = Rows(4);
  Unassigned->ProportionReport({"n0", "n1", "n2", "n3"}, Table, '\t', 2, true);
  EXPECT_TRUE(Has(Table, "c0\t\t10.0000\t-5.0000\t0.0000"));
  EXPECT_EQ(Table.back(), "All Z values are within the acceptable range");
}

// The distances between files: every pair up to MaxFilesWithDistances files, beyond it each
// file's mean distance alone, so a set naming thousands of files costs them, not their pairs.
// Even files hold class 1 only and odd files class 2: a pair of unlike files is 2 apart.
TEST(ProportionReport, FileDistancesCostTheFilesNotTheirPairs) {
  SettingsRestore Restore;
  CalculateSSDPvalues = false;
  for (const int Files : {MaxFilesWithDistances, MaxFilesWithDistances + 1, 8192}) {
    SCOPED_TRACE(Files);
    std::vector<std::vector<int>> Counts(static_cast<size_t>(Files));
    for (int f = 0; f < Files; ++f)
      Counts[static_cast<size_t>(f)] = f % 2 == 0 ? std::vector<int>{0, 1, 0} : std::vector<int>{0, 0, 1};
    auto D = SetOfClasses(Counts, 2);
    TStringArray Table = Rows(3);
    {
      test::TAllocationCap Cap(64 << 20);
      D->ProportionReport({"n0", "n1", "n2"}, Table, '\t', 2, true);
      EXPECT_FALSE(Cap.Reached());
    }
    const auto FileLine = [&](int f) {
      const std::string Start = "File " + std::to_string(f) + "\t";
      return *std::find_if(Table.begin(), Table.end(), [&](const std::string& L) { return L.rfind(Start, 0) == 0; });
    };
    const std::string Note =
        "\tDistances between files are listed for at most 1024 files; the mean distance of each file follows";
    if (Files <= MaxFilesWithDistances) {
      EXPECT_EQ(FileLine(0).rfind("File 0\t1.000\t0.000\t2.000\t0.000\t2.000\t", 0), 0u);
      const std::string Second = FileLine(1);
      EXPECT_EQ(std::count(Second.begin(), Second.end(), '\t'), Files + 2);
      EXPECT_FALSE(Has(Table, Note));
    } else {
      // 512 of 1025 files differ from an even file, 513 from an odd one.
      EXPECT_TRUE(Has(Table, Note));
      if (Files == MaxFilesWithDistances + 1) {
        EXPECT_EQ(FileLine(0), "File 0\t0.999\t");
        EXPECT_EQ(FileLine(1), "File 1\t1.001\t");
      } else {
        EXPECT_EQ(FileLine(Files - 1), "File " + std::to_string(Files - 1) + "\t1.000\t");
      }
    }
  }
}

// The per-file columns cost files x classes: up to MaxFileClassCells a table lists them, beyond
// it each class's total and a line saying why, so that two events in the first and the last of
// 65536 files under 32768 classes (2^31 cells) cost the classes alone.
TEST(ProportionReport, FileColumnsPastTheirCapKeepTheClassTotals) {
  SettingsRestore Restore;
  CalculateSSDPvalues = false;
  const struct {
    int Files, Classes;
    bool ZReport, Listed;
  } Cases[] = {{1024, 1024, false, true}, {1025, 1024, true, false}, {65536, 32768, false, false},
               {65536, 32768, true, false}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(std::to_string(Case.Files) + " files, " + std::to_string(Case.Classes) + " classes");
    std::vector<std::vector<int>> Counts(static_cast<size_t>(Case.Files));
    Counts.front() = {0, 1};
    Counts.back().assign(static_cast<size_t>(Case.Classes), 0);
    Counts.back().back() = 1;
    auto D = SetOfClasses(Counts, 2);
    TStringArray Names;
    for (int k = 0; k < Case.Classes; ++k) Names.push_back("n" + std::to_string(k));
    TStringArray Table = Rows(static_cast<size_t>(Case.Classes));
    {
      test::TAllocationCap Cap(64 << 20);
      EXPECT_NO_THROW(D->ProportionReport(Names, Table, '\t', 2, Case.ZReport));
      EXPECT_FALSE(Cap.Reached());
    }
    const std::string Note = "\tCounts per file are listed for at most 1048576 files x classes; this set has " +
                             std::to_string(Case.Files) + " files of " + std::to_string(Case.Classes) + " classes";
    const std::string Last = "c" + std::to_string(Case.Classes - 1) + "\t1\t";
    if (Case.Listed) {
      EXPECT_FALSE(Has(Table, Note));
      EXPECT_EQ(Table[1].rfind("c0\t0\t0\t", 0), 0u);
      EXPECT_EQ(Table.back().rfind(Last, 0), 0u);
      EXPECT_EQ(Table.back().size() - Last.size(), 2u * static_cast<size_t>(Case.Files));
    } else {
      EXPECT_TRUE(Has(Table, Note));
      EXPECT_EQ(Table[2], "c1\t1\t");
      EXPECT_EQ(Table[static_cast<size_t>(Case.Classes)], Last);
      EXPECT_EQ(Table[0], "Class\t");
    }
  }
}

TEST(RandomSample, DrawsWithoutReplacementAndStopsWhenThePoolIsExhausted) {
  Randomize(11);
  auto D = SetOfClasses({{4, 2, 3}, {0, 1, 0}}, 2);
  TIntArray Counts;
  D->RandomSample({"a", "b", "c"}, 2, 1000, Counts);
  EXPECT_EQ(Counts, (TIntArray{0, 3, 3}));
  for (int r = 0; r < 20; ++r) {
    D->RandomSample({"a", "b", "c"}, 2, 4, Counts);
    EXPECT_EQ(Counts[0], 0);
    EXPECT_EQ(Counts[1] + Counts[2], 4);
    EXPECT_LE(Counts[1], 3);
    EXPECT_LE(Counts[2], 3);
  }
  D->RandomSample({}, 2, 4, Counts);
  EXPECT_TRUE(Counts.empty());
}

}  // namespace
