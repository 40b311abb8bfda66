// The fitness models read from own data files on 1, 2 and 8 threads, checked against digests of
// what the sequential code produced: the classes of every compact event of the four data sets,
// every report text, and the messages and memo lines in their order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Digest.h"
#include "FitnessTestSupport.h"
#include "Random.h"
#include "RecordingMessages.h"
#include "ScopedThreads.h"
#include "TestFolders.h"
#include "fitness/SimpleFitness.h"

namespace qv {
namespace {

using test::AssayProtocol;
using test::RecordingMemo;
using test::SaveAssayFile;
using test::ScopedThreads;
using test::TDigest;

void AddClasses(TDigest& D, const TFCSData& Data) {
  D.Value(Data.ShortLines.size());
  for (size_t i = 0; i < Data.ShortLines.size(); ++i) {
    D.Value(Data.ShortLines[i].Classes());
    D.Value(Data.ShortLines[i].FileIndex());
    D.Value(Data.ShortLines[i].GatedOut());
  }
}

class FitnessDigest : public ::testing::Test {
 protected:
  // Three genotypes rotated between the sets, two gates, four channels; the observed files hold
  // three and two plates of shifted proportions, the values jittered as instrument values are.
  static void SetUpTestSuite() {
    Folder = new test::TempFolder;
    const std::vector<std::string> Fluors{"GFP", "YFP", "RFP", "CFP"};
    auto P1 = AssayProtocol({"A", "B", "C"}, Fluors, 2);
    auto P2 = AssayProtocol({"B", "C", "A"}, Fluors, 2);
    SaveAssayFile(*Folder / "e1.Quorvenal", *P1, {{400, 3000, 3100, 2900}}, true);
    SaveAssayFile(*Folder / "e2.Quorvenal", *P2, {{300, 2900, 3000, 3100}}, true);
    SaveAssayFile(*Folder / "o1.Quorvenal", *P1, {{100, 1500, 700, 900}, {90, 1400, 800, 700}, {3, 1300, 4, 800}},
                  true);
    SaveAssayFile(*Folder / "o2.Quorvenal", *P2, {{120, 600, 1100, 1300}, {80, 700, 1000, 1250}}, true);
  }
  static void TearDownTestSuite() {
    delete Folder;
    Folder = nullptr;
  }
  static TFitnessFileSet Files() {
    TFitnessFileSet Set;
    Set.Folder = Folder->Path();
    Set.Expected = {"e1.Quorvenal", "e2.Quorvenal"};
    Set.Observed = {"o1.Quorvenal", "o2.Quorvenal"};
    return Set;
  }
  static test::TempFolder* Folder;
};
test::TempFolder* FitnessDigest::Folder = nullptr;

constexpr const char* ThreadCounts[] = {"1", "2", "8"};

TEST_F(FitnessDigest, VariableModelReadsAndReportsAlikeOnEveryThreadCount) {
  for (const char* Threads : ThreadCounts) {
    SCOPED_TRACE(Threads);
    ScopedThreads Scope(Threads);
    test::RecordingMessages Messages;
    RecordingMemo Memo;
    TFitnessCalculator C(Files(), &Memo);
    ASSERT_TRUE(C.FilesRead);
    EXPECT_EQ(Memo.Lines, (std::vector<std::string>{"Reading Observed file 1", "Reading Observed file 2",
                                                    "Reading Expected file 1", "Reading Expected file 2"}));
    EXPECT_TRUE(Messages.Errors.empty());
    TDigest Classes;
    for (int32_t t = 0; t < 2; ++t) {
      AddClasses(Classes, *C.Observed[t]);
      AddClasses(Classes, *C.Expected[t]);
    }
    EXPECT_EQ(Classes.Hash(), 7817678270536653436u);
    TDigest Reports;
    for (const int32_t Kind : {1, 2})
      for (const int32_t Mode : {0, 1}) {
        ASSERT_TRUE(C.Calculate(Kind, Mode, false, true, true, nullptr));
        std::string Text;
        C.ReportAll(true, true, Text);
        Reports.Text(Text);
      }
    EXPECT_EQ(Reports.Hash(), 632965134618667847u);
  }
}

TEST_F(FitnessDigest, ConstantModelReadsAndReportsAlikeOnEveryThreadCount) {
  for (const char* Threads : ThreadCounts) {
    SCOPED_TRACE(Threads);
    ScopedThreads Scope(Threads);
    test::RecordingMessages Messages;
    RecordingMemo Memo;
    TFitnessFileSet Set = Files();
    Set.ReportType = 2;
    TSimpleFitness S(Set, &Memo);
    ASSERT_TRUE(S.FilesRead);
    EXPECT_EQ(Memo.Lines, (std::vector<std::string>{"Reading Stop Point File 1", "Reading Stop Point File 2",
                                                    "Reading Start Point File 1", "Reading Start Point File 2",
                                                    "Reading data...", "Calculating Fitness"}));
    EXPECT_TRUE(Messages.Errors.empty());
    TDigest Classes;
    for (int32_t t = 0; t < 2; ++t) {
      AddClasses(Classes, *S.StopData[t]);
      AddClasses(Classes, *S.StartData[t]);
    }
    EXPECT_EQ(Classes.Hash(), 7817678270536653436u);
    // The variance analysis draws its samples.
    Randomize(33);
    TDigest Report;
    Report.Text(S.Report());
    EXPECT_EQ(Report.Hash(), 2220948728512657417u);
  }
}

}  // namespace
}  // namespace qv
