#pragma once
// One fitness result set: the class counts of the two reciprocal experiments (set 1 and set 2)
// and everything the fitness calculation derives from them.
//
// A class k (0..n-1) is genotype class number k + 1. The count arrays are indexed by the class
// number itself and keep the unassigned count at index 0. Arrays of two hold set 1 at index 0.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Types.h"

namespace qv {

class TFitnessData {
 public:
  TFitnessData() = default;

  int32_t ClassCount = 0;
  std::array<TIntArray, 2> ExpectedCounts;  // n + 1
  std::array<TIntArray, 2> ObservedCounts;  // n + 1
  std::array<TSglArray, 2> ExpectedFractions;
  std::array<TSglArray, 2> ObservedFractions;
  std::array<int32_t, 2> ObservedTotals{};
  std::array<int32_t, 2> ExpectedTotals{};
  std::array<TSglArray, 2> W;
  std::array<TSglArray, 2> WDifference;  // sized only by the report reader
  std::array<TSglArray, 2> LnW;
  TMatrix DlnW;                     // n x 1
  TMatrix CentredDlnW;              // n x 1
  std::vector<TMatrix> LogFitness;  // [s]: n x 1, log fitness relative to reference genotype s
  std::vector<TSglArray> Wfinal;    // [s][k] = e ^ LogFitness[s][k][0]
  TSglArray AvgW;                   // genotype fitness
  TSglArray AvgW1;                  // fluorophore fitness from set 1
  TSglArray AvgW2;                  // and from set 2
  TSglArray MeanW;
  std::vector<TMatrix> DesignMatrices;  // [s]: n x n, matrix deconvolution only
  TStringArray FluorNames;
  std::array<TStringArray, 2> GenotypeNames;
  TMomentArray GenotypeStats;
  TMomentArray FluorStats;
  std::array<TMomentArray, 2> StrainStats;
  std::string Description;

  // True only after a calculation of this set succeeded; FailReason says why one did not.
  bool Valid = false;
  std::string FailReason;

  // Resizes every per-class array to n (counts to n + 1), keeping the values that stay and
  // filling new ones with 0 or "". LogFitness and DesignMatrices get n entries whose own sizes
  // the calculation sets. Posts the refresh notification.
  void SetSize(int32_t N);
  // SetSize(N), then each count array copied from Source where its flag is set, zeros where not.
  // Source must hold N + 1 counts in every array copied (ERangeError otherwise).
  void CopyCounts(const TFitnessData& Source, int32_t N, bool CopyExpected1, bool CopyExpected2, bool CopyObserved1,
                  bool CopyObserved2);

  // Report reading and comparison (FitnessParser.cpp).
  // The first titled report of Text as a valid result set; Text keeps what follows, from the next
  // report title on (empty when there is none). A text without a title gives an empty set and an
  // empty Text; a titled report that does not read throws EConvertError.
  static std::unique_ptr<TFitnessData> CreateFromText(std::string& Text);
  void ParseReport(const std::string& Text, std::string& Rest);
  // Kinds as FitnessKindNames. Sets of different class counts or of fewer than two classes
  // correlate 0; distances of sets of different class counts are 0.
  float PearsonR(int32_t Kind, const TFitnessData& Other);
  float SpearmanAndDistances(int32_t Kind, const TFitnessData& Other, float Tolerance, float& D, float& Ds) const;
};

// A text of saved fitness reports split into lines once, so that its reports are read one after
// another in one pass: a report ends where the next line holding the report title begins (the
// single-plate and pair sections before it are skipped). The text must outlive the object. It
// holds 16 bytes per line of the text; each report read is bounded by its own rows (a class
// count is believed only once the rows it claims are all there).
class TFitnessReportText {
 public:
  explicit TFitnessReportText(const std::string& AText);
  // Titled reports in the text.
  int32_t Count() const { return static_cast<int32_t>(FTitles.size()); }
  // Report Index (0 .. Count - 1) as a valid result set; one that does not read throws
  // EConvertError.
  std::unique_ptr<TFitnessData> Read(int32_t Index) const;
  // Where the title of report Index begins in the text.
  size_t Offset(int32_t Index) const;

 private:
  std::string_view FText;
  std::vector<std::string_view> FLines;
  std::vector<int32_t> FTitles;  // the lines holding a title
};

}  // namespace qv
