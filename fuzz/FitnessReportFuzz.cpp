// The reader of saved fitness reports and their correlation. What must hold:
// - a file that is refused shows exactly one message and keeps no result set, and its
//   correlation report is empty;
// - a file that is read holds one valid set per titled report, the matrices of every kind are
//   count x count, correlations lie in [-1, 1] and distances are finite and not negative, a set's
//   distance to itself is 0, and the correlation report names every set;
// - the sets read, written again as the calculator writes its report, read back with the same
//   class counts and names and the same values to the four decimals the report keeps.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "fitness/FitnessArray.h"
#include "fitness/FitnessCalculator.h"

using namespace qv;

namespace {

bool Finite(float V) { return std::isfinite(V); }

// A value written with four decimals and read back as a float.
bool Close(float A, float B) {
  return std::fabs(static_cast<double>(A) - B) <= 5.1e-5 + 2e-7 * std::fabs(static_cast<double>(A));
}

// Names the report writes as they are and reads back unchanged: one field, not opening a quote.
bool PlainName(const std::string& Name) { return !Name.empty() && Name.front() != '"'; }

bool PlainNames(const TFitnessData& D) {
  const size_t n = static_cast<size_t>(D.ClassCount);
  for (size_t k = 0; k < n; ++k)
    if (!PlainName(D.FluorNames[k]) || !PlainName(D.GenotypeNames[0][k]) || !PlainName(D.GenotypeNames[1][k]))
      return false;
  return true;
}

void CheckMatrices(const TFitnessArray& A) {
  const size_t N = static_cast<size_t>(A.Count);
  for (int32_t Kind = 0; Kind < 5; ++Kind)
    for (const TRArray* M : {&A.R, &A.Rs, &A.D, &A.Ds}) {
      fuzz::Require((*M)[Kind].size() == N, "a matrix row per set");
      for (size_t i = 0; i < N; ++i) {
        fuzz::Require((*M)[Kind][i].size() == N, "a matrix column per set");
        for (size_t j = 0; j < N; ++j) {
          const float V = (*M)[Kind][i][j];
          fuzz::Require(Finite(V), "correlations and distances are finite");
          if (M == &A.R || M == &A.Rs)
            fuzz::Require(std::fabs(V) <= 1.0f + 1e-5f, "a correlation lies in [-1, 1]");
          else
            fuzz::Require(V >= 0, "a distance is not negative");
        }
        if (M == &A.D || M == &A.Ds) fuzz::Require((*M)[Kind][i][i] == 0, "a set's distance to itself is 0");
      }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const fuzz::TWorkBudget Budget(Size, 2);  // the reports read, then written and read back
  fuzz::Quiet();
  static const std::string Name = fuzz::ScratchName("fitness.txt");
  static const std::string Again = fuzz::ScratchName("fitness-again.txt");
  fuzz::WriteScratch(Name, Data, Size);

  fuzz::MessageCounter Messages;
  TFitnessArray First(Name, 1.0f);
  std::string Report;
  First.CorrelationReport(Report);
  if (First.Refused) {
    fuzz::Require(Messages.Errors == 1, "a refused fitness report shows one message");
    fuzz::Require(First.Items.empty() && First.Count == 0 && Report.empty(), "a refused fitness report keeps nothing");
    return 0;
  }
  fuzz::Require(Messages.Errors == 0, "a fitness report that is read shows no message");
  fuzz::Require(static_cast<size_t>(First.Count) == First.Items.size(), "one set per report");
  CheckMatrices(First);
  for (int32_t i = 1; i <= First.Count; ++i)
    fuzz::Require(Report.find("\r\nSet " + std::to_string(i) + "\r\n") != std::string::npos,
                  "the correlation report names every set");

  // Written as the calculator writes a report, and read back.
  TFitnessCalculator Writer;
  std::string Text, Section;
  for (const auto& Item : First.Items) {
    fuzz::Require(Item->Valid, "a set read is valid");
    if (!PlainNames(*Item)) return 0;
    Writer.Report(*Item, true, Section);
    Text += Section;
  }
  fuzz::WriteScratch(Again, reinterpret_cast<const uint8_t*>(Text.data()), Text.size());
  TFitnessArray Second(Again, 1.0f);
  fuzz::Require(!Second.Refused && Second.Count == First.Count, "a written fitness report reads back");
  for (int32_t s = 0; s < First.Count; ++s) {
    const TFitnessData& A = *First.Items[s];
    const TFitnessData& B = *Second.Items[s];
    fuzz::Require(A.ClassCount == B.ClassCount, "a written fitness report keeps its class count");
    const int32_t n = A.ClassCount;
    // The report lists the classes last first, the reader in the order of the rows.
    for (int32_t k = 0; k < n; ++k) {
      const int32_t j = n - 1 - k;
      fuzz::Require(A.FluorNames[k] == B.FluorNames[j] && A.GenotypeNames[0][k] == B.GenotypeNames[0][j] &&
                        A.GenotypeNames[1][k] == B.GenotypeNames[1][j],
                    "a written fitness report keeps its names");
      fuzz::Require(Close(A.W[0][k], B.W[0][j]) && Close(A.W[1][k], B.W[1][j]) && Close(A.AvgW[k], B.AvgW[j]) &&
                        Close(A.MeanW[k], B.MeanW[j]) && Close(A.AvgW1[k], B.AvgW1[j]) &&
                        Close(A.DlnW[k][0], B.DlnW[j][0]),
                    "a written fitness report keeps its values");
    }
  }
  return 0;
}
