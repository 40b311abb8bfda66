#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Files.h"
#include "FitnessTestSupport.h"
#include "NotFiles.h"
#include "RecordingMessages.h"
#include "ScopedThreads.h"
#include "TextUtils.h"
#include "fitness/SimpleFitness.h"

namespace qv {
namespace {

using test::AssayProtocol;
using test::RecordingMemo;
using test::RecordingMessages;
using test::SaveAssayFile;
using test::ScopedThreads;
using test::TempFolder;

// A gauge that notes every thread that moves or pumps it.
class ThreadGauge : public Progress {
 public:
  void SetMax(int64_t Max) override {
    Note();
    Progress::SetMax(Max);
  }
  void SetPosition(int64_t Position) override {
    Note();
    Progress::SetPosition(Position);
  }
  void Pump() override {
    Note();
    ++Pumps;
  }
  int Pumps = 0;
  bool OtherThread = false;

 private:
  void Note() { OtherThread = OtherThread || std::this_thread::get_id() != FOwner; }
  std::thread::id FOwner = std::this_thread::get_id();
};

class FitnessInputs : public ::testing::Test {
 protected:
  // The example's counts in four files; set 1's observed file holds two plates.
  TFitnessFileSet WriteExample(const std::vector<std::string>& Genotypes2 = {"B", "A"},
                               const std::vector<std::string>& Fluors2 = {"GFP", "YFP"}) {
    auto P1 = AssayProtocol({"A", "B"}, {"GFP", "YFP"});
    auto P2 = AssayProtocol(Genotypes2, Fluors2);
    SaveAssayFile(Folder / "e1.Quorvenal", *P1, {{10, 100, 100}});
    SaveAssayFile(Folder / "o1.Quorvenal", *P1, {{1, 100, 20}, {2, 50, 30}});
    SaveAssayFile(Folder / "e2.Quorvenal", *P2, {{0, 100, 100}});
    SaveAssayFile(Folder / "o2.Quorvenal", *P2, {{7, 60, 140}});
    TFitnessFileSet Set;
    Set.Folder = Folder.Path().substr(0, Folder.Path().size() - 1);  // no trailing separator
    Set.Expected = {"e1.Quorvenal", "e2.Quorvenal"};
    Set.Observed = {"o1.Quorvenal", "o2.Quorvenal"};
    return Set;
  }
  TempFolder Folder;
  RecordingMessages Messages;
};

TEST_F(FitnessInputs, ReadsClassifiesAndCalculatesFromDataFiles) {
  const TFitnessFileSet Set = WriteExample();
  RecordingMemo Memo;
  TFitnessCalculator C(Set, &Memo);
  ASSERT_TRUE(C.FilesRead);
  EXPECT_TRUE(Messages.Errors.empty());
  EXPECT_TRUE(Messages.Infos.empty());
  EXPECT_EQ(Memo.Lines, (std::vector<std::string>{"Reading Observed file 1", "Reading Observed file 2",
                                                  "Reading Expected file 1", "Reading Expected file 2"}));
  EXPECT_EQ(Memo.Shown, Memo.Hidden);
  EXPECT_EQ(C.GenotypeCount, 2);
  EXPECT_EQ(C.PlateCount1, 2);
  EXPECT_EQ(C.PlateCount2, 1);
  EXPECT_EQ(C.SinglePlates[0].size(), 2u);
  EXPECT_EQ(C.PlatePairs.size(), 2u);
  EXPECT_EQ(C.PlatePairs[0].size(), 1u);
  EXPECT_TRUE(C.Observed[0]->Events.empty()) << "compact events only";
  EXPECT_EQ(C.Observed[0]->ShortLines.size(), 203u);

  ASSERT_TRUE(C.Calculate(1, 1, false, true, true, nullptr));
  EXPECT_EQ(C.Merged->ObservedCounts[0], (TIntArray{3, 150, 50}));
  EXPECT_EQ(C.SinglePlates[0][1]->ObservedCounts[0], (TIntArray{2, 50, 30}));
  std::string Text;
  C.ReportAll(false, false, Text);
  const TStringArray Lines = SplitLines(Text);
  ASSERT_GT(Lines.size(), 12u);
  EXPECT_EQ(Lines[3], "Expected 1 : e1");
  EXPECT_EQ(Lines[12],
            "GFP\tA\t100\t150\t0.5000\t0.7500\t1.5000\t0.4055\tB\t100\t60\t0.5000\t0.3000\t0.6000\t-0.5108\t");

  // Bootstrap draws from the compact events' counts.
  ASSERT_TRUE(C.Bootstrap(2, 0, 10, true, nullptr, nullptr));
  EXPECT_EQ(C.Merged->GenotypeStats[0].Count, 10);
  EXPECT_TRUE(C.SinglePlates[0][0]->Valid) << "the final calculation fills the single plates";
  EXPECT_TRUE(C.SinglePlates[0][0]->GenotypeStats.empty());
}

TEST_F(FitnessInputs, MissingFileGivesOneMessageAndEveryLaterCallIsHarmless) {
  TFitnessFileSet Set = WriteExample();
  Set.Observed[1] = "absent.Quorvenal";
  TFitnessCalculator C(Set, nullptr);
  EXPECT_FALSE(C.FilesRead);
  EXPECT_EQ(Messages.Errors, (std::vector<std::string>{"Error reading files"}));
  EXPECT_EQ(C.Merged->ClassCount, 0);
  for (int t = 0; t < 2; ++t) {
    EXPECT_FALSE(C.Observed[t]);
    EXPECT_FALSE(C.ExpectedProtocol[t]);
  }
  TFitnessFileSet Overrides = Set;
  Overrides.ReassignMaxZ = true;
  Overrides.MaxZ = 2;
  EXPECT_FALSE(C.ApplyOverrides(Overrides));
  C.Reclassify();
  EXPECT_FALSE(C.Calculate(1, 1, false, true, true, nullptr));
  EXPECT_FALSE(C.Bootstrap(1, 1, 10, true, nullptr, nullptr));
  std::string Text = "x";
  C.ReportAll(true, true, Text);
  EXPECT_TRUE(Text.empty());
  TFitnessData D;
  D.SetSize(2);
  EXPECT_FALSE(C.ComputeOne(D));
  EXPECT_EQ(Messages.Errors.size(), 1u);
}

TEST_F(FitnessInputs, FolderOrPipeAsADataFileIsRefusedByName) {
  TFitnessFileSet Set = WriteExample();
  for (const auto& [Path, Reason] : test::MakeNotFiles(Folder, "Quorvenal")) {
    if (Path.rfind(Folder.Path(), 0) != 0) continue;  // the slots name files of the set's folder
    SCOPED_TRACE(Path);
    Messages.Errors.clear();
    Set.Observed[1] = ExtractFileName(Path);
    std::unique_ptr<TFitnessCalculator> C;
    test::WithoutBlocking(Path, [&] { C = std::make_unique<TFitnessCalculator>(Set, nullptr); });
    EXPECT_FALSE(C->FilesRead);
    EXPECT_EQ(Messages.Errors, (std::vector<std::string>{"Error reading Quorvenal file \"" + Path + "\": " + Reason,
                                                         "Error reading files"}));
    EXPECT_FALSE(C->Observed[0]);
  }
}

TEST_F(FitnessInputs, GenotypesThatDoNotPairAreRefused) {
  const TFitnessFileSet Set = WriteExample({"B", "X"});
  TFitnessCalculator C(Set, nullptr);
  EXPECT_FALSE(C.FilesRead);
  ASSERT_EQ(Messages.Errors.size(), 2u);
  EXPECT_NE(Messages.Errors[0].find("\"A\""), std::string::npos) << Messages.Errors[0];
  EXPECT_NE(Messages.Errors[0].find("\"X\""), std::string::npos);
  EXPECT_EQ(Messages.Errors[0].find("\"B\""), std::string::npos);
  EXPECT_EQ(Messages.Errors[1], "Error reading files");
}

TEST_F(FitnessInputs, ClassesNamingOtherChannelsAreComputedAfterOneWarning) {
  const TFitnessFileSet Set = WriteExample({"B", "A"}, {"YFP", "GFP"});
  TFitnessCalculator C(Set, nullptr);
  ASSERT_TRUE(C.FilesRead);
  EXPECT_TRUE(Messages.Errors.empty());
  ASSERT_EQ(Messages.Infos.size(), 1u);
  EXPECT_NE(Messages.Infos[0].find("class 1: \"GFP\" in set 1, \"YFP\" in set 2"), std::string::npos)
      << Messages.Infos[0];
  EXPECT_TRUE(C.Calculate(1, 1, false, false, false, nullptr));
}

TEST_F(FitnessInputs, ProtocolsThatDisagreeOnScoreSinglesAreRefused) {
  TFitnessFileSet Set = WriteExample();
  auto P = AssayProtocol({"B", "A"}, {"GFP", "YFP"});
  P->ScoreSingles = true;
  SaveAssayFile(Folder / "o2.Quorvenal", *P, {{7, 60, 140}});
  TFitnessCalculator C(Set, nullptr);
  EXPECT_FALSE(C.FilesRead);
  EXPECT_EQ(Messages.Errors, (std::vector<std::string>{"Error reading files"}));
}

TEST_F(FitnessInputs, OverridesReachAllFourProtocolsAndFileSetChanges) {
  TFitnessFileSet Set = WriteExample();
  TFitnessCalculator C(Set, nullptr);
  ASSERT_TRUE(C.FilesRead);
  Set.ReassignMaxZ = true;
  Set.MaxZ = 2.5f;
  Set.ReassignMinZGate = true;
  Set.MinZGate = 3;
  EXPECT_TRUE(C.ApplyOverrides(Set));
  for (const auto* P : {C.ExpectedProtocol[0].get(), C.ObservedProtocol[0].get(), C.ExpectedProtocol[1].get(),
                        C.ObservedProtocol[1].get()})
    for (int32_t c = 0; c < P->ChannelCount(); ++c) {
      EXPECT_EQ(P->GetChannel(c)->Maximum_Z, 2.5f);
      EXPECT_EQ(P->GetChannel(c)->Minimum_Value_ZScore, 3.0f);
    }
  EXPECT_FALSE(C.ApplyOverrides(Set));

  EXPECT_FALSE(C.FileSetChanged(Set));
  TFitnessFileSet Other = Set;
  Other.Observed[0] = "O1.Quorvenal";
  EXPECT_TRUE(C.FileSetChanged(Other));
  Other = Set;
  Other.Folder += "/";
  EXPECT_TRUE(C.FileSetChanged(Other));
}

// Files read side by side show what the sequential reading shows: the messages of the first file
// that fails and nothing of those after it, with the memo lines up to it, for both models; the
// gauge is moved and pumped only on the calling thread.
TEST_F(FitnessInputs, BadFilesGiveTheSequentialMessagesOnEveryThreadCount) {
  TFitnessFileSet Set = WriteExample();
  for (const char* Name : {"o2.Quorvenal", "e1.Quorvenal"}) std::ofstream(Folder / Name) << "not packed";
  for (const char* Threads : {"1", "2", "8"}) {
    SCOPED_TRACE(Threads);
    ScopedThreads Scope(Threads);
    ThreadGauge Gauge;
    Set.Gauge = &Gauge;
    RecordingMemo Memo;
    Messages.Errors.clear();
    TFitnessCalculator C(Set, &Memo);
    EXPECT_FALSE(C.FilesRead);
    EXPECT_EQ(Messages.Errors, (std::vector<std::string>{TFCSData::InvalidDataFile, "Error reading files"}));
    EXPECT_EQ(Memo.Lines, (std::vector<std::string>{"Reading Observed file 1", "Reading Observed file 2"}));
    EXPECT_FALSE(C.Observed[0]) << "nothing read is kept";
    EXPECT_GT(Gauge.Pumps, 0);
    EXPECT_FALSE(Gauge.OtherThread);

    Messages.Errors.clear();
    RecordingMemo SimpleMemo;
    TSimpleFitness S(Set, &SimpleMemo);
    EXPECT_FALSE(S.FilesRead);
    EXPECT_EQ(Messages.Errors, (std::vector<std::string>{TFCSData::InvalidDataFile, "Error reading files"}));
    EXPECT_EQ(SimpleMemo.Lines,
              (std::vector<std::string>{"Reading Stop Point File 1", "Reading Stop Point File 2"}));
    EXPECT_FALSE(Gauge.OtherThread);
  }
}

// An assay beyond a cap is refused by both models, naming the file and the cap, before any
// result set is sized: the deconvolution grows with the cube of the genotypes, the plate pairs
// with the square of the observed plates, the constant model's variance analysis with the files
// of every data set. The expected files' plates make no result sets of the variable model.
TEST_F(FitnessInputs, AssaysBeyondTheCapsAreRefusedByName) {
  const TFitnessFileSet Set = WriteExample();
  const std::vector<std::string> Fluors{"GFP", "YFP"};
  const auto Many = [&](const std::vector<std::string>& Swap) {
    auto P = AssayProtocol({}, Fluors);
    for (int32_t i = 0; i < 2; ++i) P->AddGenotype(Swap[i], i, 0);
    for (int32_t i = 2; i <= MaxFitnessGenotypes; ++i) P->AddGenotype("G" + std::to_string(i), i % 2, 0);
    P->Genotypes->PrepareAll();
    return P;
  };
  const std::vector<std::vector<int32_t>> Plates(MaxFitnessPlates + 1, std::vector<int32_t>{0, 1, 1});
  const std::string TooManyGenotypes = "its protocol defines 33 genotypes; a fitness assay takes at most 32.";
  const std::string TooManyPlates = "it merges 25 plates; a fitness assay takes at most 24 per file.";
  const struct {
    const char* File;
    std::unique_ptr<TProtocol> Protocol;
    std::vector<std::vector<int32_t>> Plates;
    std::string Reason;
    bool VariableRefuses;
  } Cases[] = {
      {"e2.Quorvenal", Many({"B", "A"}), {{0, 10, 10}}, TooManyGenotypes, true},
      {"o1.Quorvenal", AssayProtocol({"A", "B"}, Fluors), Plates, TooManyPlates, true},
      {"e1.Quorvenal", AssayProtocol({"A", "B"}, Fluors), Plates, TooManyPlates, false},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.File);
    TempFolder Own;
    TFitnessFileSet Assay = Set;
    Assay.Folder = Own.Path();
    for (const char* Name : {"e1.Quorvenal", "e2.Quorvenal", "o1.Quorvenal", "o2.Quorvenal"})
      if (Name != std::string(Case.File)) std::filesystem::copy_file(Folder / Name, Own / Name);
    SaveAssayFile(Own / Case.File, *Case.Protocol, Case.Plates);
    const std::vector<std::string> Refused{
        "Error reading fitness data file \"" + Assay.PathOf(Case.File) + "\": " + Case.Reason, "Error reading files"};
    Messages.Errors.clear();
    TFitnessCalculator C(Assay, nullptr);
    EXPECT_EQ(C.FilesRead, !Case.VariableRefuses);
    if (Case.VariableRefuses) {
      EXPECT_EQ(Messages.Errors, Refused);
      EXPECT_TRUE(C.PlatePairs.empty());
      EXPECT_FALSE(C.Expected[1]);
    }
    Messages.Errors.clear();
    TSimpleFitness S(Assay, nullptr);
    EXPECT_FALSE(S.FilesRead);
    EXPECT_EQ(Messages.Errors, Refused);
    EXPECT_TRUE(S.FitnessRows.empty());
  }
}

}  // namespace
}  // namespace qv
