// The fitness calculator over a folder of four own data files, given as their unpacked streams
// (see DataFileSeparator) and packed here. The options byte picks the count kind, the
// deconvolution, resampling, the Z-limit overrides and the compensation mode. What must hold:
// - files that are not read show "Error reading files" once, as the last message, keep nothing
//   half-read, and every later call does nothing;
// - files that are read give as many single plates as the observed sets have files and a plate
//   pair for each two; a calculation succeeds exactly when the merged set is valid, and a valid
//   set holds finite values only; the memo is hidden as often as it was shown;
// - the report of a valid merged set, read back by the report reader, gives its class count,
//   names and counts;
// - a short bootstrap gives finite spreads of one entry per class, or none;
// - all of it, single plates and plate pairs included however many plates the files hold,
//   within the work budget of two readings of the input.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "Globals.h"
#include "fitness/FitnessArray.h"
#include "fitness/FitnessCalculator.h"

using namespace qv;

namespace {

class CountingMemo : public ProgressMemo {
 public:
  void Show() override { ++Shown; }
  void Hide() override { ++Hidden; }
  int Shown = 0;
  int Hidden = 0;
};

bool AllFinite(const TSglArray& V) {
  for (const float X : V)
    if (!std::isfinite(X)) return false;
  return true;
}

bool FiniteSet(const TFitnessData& D) {
  bool OK = AllFinite(D.AvgW) && AllFinite(D.AvgW1) && AllFinite(D.AvgW2) && AllFinite(D.MeanW);
  for (int t = 0; t < 2; ++t)
    OK = OK && AllFinite(D.W[t]) && AllFinite(D.LnW[t]) && AllFinite(D.ExpectedFractions[t]) &&
         AllFinite(D.ObservedFractions[t]);
  for (const auto& Row : D.DlnW) OK = OK && AllFinite(Row);
  for (const auto& Row : D.Wfinal) OK = OK && AllFinite(Row);
  return OK;
}

bool FiniteMoments(const TMomentArray& M) {
  for (const TMoment& X : M)
    if (!std::isfinite(static_cast<double>(X.Mean)) || !std::isfinite(static_cast<double>(X.SD))) return false;
  return true;
}

// A name the report reader gives back as it is: one field, no blank, comma or control character,
// not opening a quote.
bool PlainName(const std::string& Name) {
  if (Name.empty() || Name.front() == '"') return false;
  for (const char C : Name)
    if (static_cast<unsigned char>(C) <= ' ' || C == 0x7f || C == ',') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const fuzz::TWorkBudget Budget(Size, 2);  // the four files read, then calculated and reported
  fuzz::Quiet();
  if (Size == 0) return 0;
  static const std::string Folder = fuzz::ScratchFolder("fitness");
  static const char* const Names[4] = {"e1.Quorvenal", "o1.Quorvenal", "e2.Quorvenal", "o2.Quorvenal"};
  const uint8_t Options = Data[0];
  const std::string_view Rest(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  // The parts after each separator; a file without one is missing.
  std::vector<std::string_view> Parts;
  for (size_t At = Rest.find(fuzz::DataFileSeparator); At != std::string_view::npos;) {
    const size_t Begin = At + fuzz::DataFileSeparator.size();
    At = Rest.find(fuzz::DataFileSeparator, Begin);
    Parts.push_back(Rest.substr(Begin, At == std::string_view::npos ? std::string_view::npos : At - Begin));
  }
  for (size_t f = 0; f < 4; ++f) {
    const std::string Path = Folder + Names[f];
    std::remove(Path.c_str());
    if (f < Parts.size()) fuzz::WriteScratch(Path, fuzz::Pack(std::vector<uint8_t>(Parts[f].begin(), Parts[f].end())));
  }

  TFitnessFileSet Set;
  Set.Folder = Folder;
  Set.Expected = {Names[0], Names[2]};
  Set.Observed = {Names[1], Names[3]};
  Set.ReassignMaxZ = Set.ReassignMinZ = (Options & 8) != 0;
  Set.ReassignMaxZGate = Set.ReassignMinZGate = (Options & 16) != 0;
  Set.MaxZ = 2.5f;
  Set.MinZ = -2.5f;
  Set.MaxZGate = 1e5f;
  Set.MinZGate = 1;
  const int32_t Kind = 1 + (Options & 1);
  const int32_t Mode = (Options >> 1) & 1;
  const bool Resample = (Options & 4) != 0;
  CompensationMode = (Options & 32) ? 1 : 0;

  fuzz::MessageCounter Messages;
  CountingMemo Memo;
  TFitnessCalculator C(Set, &Memo);
  fuzz::Require(Memo.Shown == Memo.Hidden, "the memo is hidden as often as shown");
  std::string Report;
  if (!C.FilesRead) {
    int Shown = 0;
    for (const auto& T : Messages.Texts) Shown += T == TFitnessCalculator::ReadError;
    fuzz::Require(Shown == 1 && Messages.Last == TFitnessCalculator::ReadError,
                  "files not read show \"Error reading files\" once, last");
    for (int t = 0; t < 2; ++t)
      fuzz::Require(!C.Expected[t] && !C.Observed[t] && !C.ExpectedProtocol[t] && !C.ObservedProtocol[t],
                    "files not read keep nothing half-read");
    fuzz::Require(!C.Calculate(Kind, Mode, Resample, true, true, &Memo), "nothing is calculated without files");
    fuzz::Require(!C.Bootstrap(Kind, Mode, 3, true, nullptr, &Memo), "nothing is resampled without files");
    C.ReportAll(true, true, Report);
    fuzz::Require(Report.empty(), "nothing is reported without files");
    return 0;
  }

  fuzz::Require(C.PlateCount1 == C.Observed[0]->FileCount && C.PlateCount2 == C.Observed[1]->FileCount,
                "the plates are the files of the observed sets");
  fuzz::Require(C.SinglePlates[0].size() == static_cast<size_t>(C.PlateCount1) &&
                    C.SinglePlates[1].size() == static_cast<size_t>(C.PlateCount2) &&
                    C.PlatePairs.size() == static_cast<size_t>(C.PlateCount1),
                "a single plate per file, a row of pairs per plate of set 1");

  const bool Calculated = C.Calculate(Kind, Mode, Resample, true, true, &Memo);
  fuzz::Require(Memo.Shown == Memo.Hidden, "the memo is hidden as often as shown");
  fuzz::Require(Calculated == C.Merged->Valid, "a calculation succeeds exactly when the merged set is valid");
  const int32_t n = C.GenotypeCount;
  const auto CheckSet = [n](const TFitnessData& D) {
    if (!D.Valid) return;
    fuzz::Require(D.ClassCount == n, "a valid set has a class per genotype");
    fuzz::Require(FiniteSet(D), "a valid set holds finite values");
  };
  CheckSet(*C.Merged);
  for (int t = 0; t < 2; ++t)
    for (const auto& D : C.SinglePlates[t]) CheckSet(*D);
  for (const auto& Row : C.PlatePairs)
    for (const auto& D : Row) CheckSet(*D);
  C.ReportAll(true, true, Report);
  fuzz::Require(Report.rfind("Quorvenal Fitness Report\r\n", 0) == 0, "the report opens with its title");

  // The merged report read back.
  bool Plain = C.Merged->Valid && !Resample;
  for (int t = 0; t < 2 && Plain; ++t)
    for (int32_t k = 0; k < n && Plain; ++k)
      Plain = PlainName(C.Merged->GenotypeNames[t][k]) && PlainName(C.Merged->FluorNames[k]);
  if (Plain) {
    static const std::string Saved = fuzz::ScratchName("fitness-report.txt");
    C.ReportAll(false, false, Report);
    fuzz::WriteScratch(Saved, reinterpret_cast<const uint8_t*>(Report.data()), Report.size());
    TFitnessArray Back(Saved, 1.0f);
    fuzz::Require(!Back.Refused && Back.Count == 1, "the report of a valid set reads back");
    const TFitnessData& M = *C.Merged;
    const TFitnessData& B = *Back.Items[0];
    fuzz::Require(B.ClassCount == n, "the report read back has the class count");
    // The report lists the classes last first, with each one's class-number counts.
    for (int32_t k = 0; k < n; ++k) {
      const int32_t j = n - 1 - k;
      for (int t = 0; t < 2; ++t)
        fuzz::Require(B.GenotypeNames[t][j] == M.GenotypeNames[t][k] && B.FluorNames[j] == M.FluorNames[k] &&
                          B.ExpectedCounts[t][j] == M.ExpectedCounts[t][k + 1] &&
                          B.ObservedCounts[t][j] == M.ObservedCounts[t][k + 1],
                      "the report read back has the names and counts");
    }
  }

  const bool Spread = C.Bootstrap(Kind, Mode, 3, true, nullptr, &Memo);
  fuzz::Require(Memo.Shown == Memo.Hidden, "the memo is hidden as often as shown");
  const TFitnessData& M = *C.Merged;
  if (Spread) {
    const size_t N = static_cast<size_t>(n);
    fuzz::Require(M.GenotypeStats.size() == N && M.FluorStats.size() == N && M.StrainStats[0].size() == N &&
                      M.StrainStats[1].size() == N,
                  "a bootstrap gives a spread per class");
    fuzz::Require(FiniteMoments(M.GenotypeStats) && FiniteMoments(M.FluorStats) && FiniteMoments(M.StrainStats[0]) &&
                      FiniteMoments(M.StrainStats[1]),
                  "a bootstrap spread is finite");
  } else {
    fuzz::Require(M.GenotypeStats.empty() && M.FluorStats.empty(), "a bootstrap that fails keeps no spread");
  }
  CheckSet(M);
  C.ReportAll(true, false, Report);
  return 0;
}
