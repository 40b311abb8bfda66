#pragma once
// Several saved fitness reports read from one text file and compared with each other: Pearson
// and Spearman correlations and Euclidean distances of values and ranks, for every kind of
// fitness value (FitnessKindNames), and the correlation report.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Types.h"
#include "fitness/FitnessData.h"

namespace qv {

// One count x count matrix per kind of fitness value; rows "this" set, columns the other.
using TRArray = std::array<TMatrix, 5>;

class TFitnessArray {
 public:
  // Reports compared from one file at most. The comparison and its report grow with the square
  // of the reports (20 count x count matrices); people compare replicate assays, a handful or a
  // few dozen at a time. A file holding more is refused by name before any report is read.
  static constexpr int32_t MaxReports = 100;

  // Tolerance := TolerancePercent / 100; the file is read when it exists.
  TFitnessArray(const std::string& AFileName, float TolerancePercent);

  std::vector<std::unique_ptr<TFitnessData>> Items;
  TRArray R;
  TRArray Rs;
  TRArray D;
  TRArray Ds;
  int32_t Count = 0;
  std::string FileName;
  float Tolerance = 0;
  // A report of the file could not be read: the user was told which, no set is held and the
  // correlation report is empty.
  bool Refused = false;
  // Some pair differed in class count or had fewer than two classes, so was not compared.
  bool Incomparable = false;

  // One result set per titled report, in file order (the text read in one pass), then the
  // matrices. A report that does not read empties the list and shows "Invalid fitness report:
  // set <i>" with the reason; more than MaxReports reports, or too little memory, are refused
  // the same way, naming the file.
  void LoadFromFile(const std::string& AFileName);
  void ComputeMatrices();
  // Lines ended CR LF; empty after a refusal.
  void CorrelationReport(std::string& Text) const;
  void WriteMatrixBlock(const TRArray& Matrices, const std::string& Prefix, const std::string& Mask,
                        std::string& Text) const;
};

}  // namespace qv
