#pragma once
// Constant-fluorophore fitness: every strain keeps its marker, and a control and an experiment
// competition are each sampled at a start and a stop time point (four own data files). Per
// genotype: class frequencies, the recovery rates of control and experiment and two fitness
// values, their bootstrap spread, and the report with its variance analysis and ANOVA sections.
//
// Arrays of two hold the control at index 0 and the experiment at index 1. The file set's
// expected files are the start points, its observed files the stop points.
//
// Caps: MaxFitnessGenotypes per protocol and MaxFitnessPlates per data file (FitnessShared.h),
// since the variance analysis draws per genotype and file of every data set.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Host.h"
#include "Types.h"
#include "dataset/FCSData.h"
#include "fitness/FitnessFileSet.h"
#include "protocol/Protocol.h"

namespace qv {

struct TSimpleFitnessData {
  std::string Genotype;
  std::string Fluorophore;
  int32_t Count_Ctrl_0 = 0;
  int32_t Count_Ctrl_T = 0;
  int32_t Count_Expt_0 = 0;
  int32_t Count_Expt_T = 0;
  float Freq_Ctrl_0 = 0;
  float Freq_Expt_0 = 0;
  float Freq_Ctrl_T = 0;
  float Freq_Expt_T = 0;
  float R_Ctrl = 0;
  float R_Expt = 0;
  float W_end = 0;
  float W_Ref = 0;
  // Bootstrap spread about the full-data value.
  TSkewMoment R_Ctrl_Stats;
  TSkewMoment R_Expt_Stats;
  TSkewMoment W_end_Stats;
  TSkewMoment W_Ref_Stats;
};
using TSimpleFitnessDataArray = std::vector<TSimpleFitnessData>;

class TSimpleFitness {
 public:
  static constexpr const char* ReadError = "Error reading files";
  static constexpr const char* AssemblyError = "Error assembling data";

  // Reads the four files, applies the file set's Z overrides, counts and calculates. When the
  // files were not all read it shows "Error reading files" once and holds nothing.
  TSimpleFitness(const TFitnessFileSet& AFileSet, ProgressMemo* Memo);
  ~TSimpleFitness();
  TSimpleFitness(const TSimpleFitness&) = delete;
  TSimpleFitness& operator=(const TSimpleFitness&) = delete;

  TFitnessFileSet FileSet;
  std::array<std::unique_ptr<TFCSData>, 2> StartData;
  std::array<std::unique_ptr<TFCSData>, 2> StopData;
  std::array<std::unique_ptr<TProtocol>, 2> StartProtocols;
  std::array<std::unique_ptr<TProtocol>, 2> StopProtocols;
  TSimpleFitnessDataArray FitnessRows;
  TSimpleFitnessDataArray BootRows;
  bool Bootstrapped = false;
  bool FilesRead = false;
  bool ScoreSingles = false;
  int32_t GenotypeCount = 0;

  // Loads, compensates, compacts and classifies the four files; True when all four were read
  // with events and their protocols agree on ScoreSingles and genotype count.
  bool ReadFiles(const TFitnessFileSet& AFileSet, ProgressMemo* Memo);
  // Class counts of the four data sets into Rows (resampled while Bootstrapped), and the names.
  void CollectCounts(TSimpleFitnessDataArray& Rows);
  // Frequencies and ratios of Rows; a zero divisor gives 0.
  static void Calculate(TSimpleFitnessDataArray& Rows);
  bool FileSetChanged(const TFitnessFileSet& AFileSet) const;
  // Sets the flagged Z limits on all four protocols; True when any changed. False (and nothing
  // touched) when the files were not read.
  bool ApplyOverrides(const TFitnessFileSet& AFileSet);
  // Classifies the four data sets again with their protocols, then counts and calculates.
  void Recalculate();

  // Reports (SimpleFitnessReports.cpp).
  void Bootstrap(int32_t Iterations);
  std::string Report();
  std::string VarianceReport(int32_t SampleCount);
  std::string AnovaReport();
  std::string FileDataReport(const std::string& Label1, const std::string& Label2, const T3DblArray& Data) const;
  std::string StatisticsText(const std::string& Label, const TSkewMomentArray& Stats) const;

  // Per-file tables of one data set: [file][genotype] shares of the file's genotype events, and
  // their spread over the files. Complete is False when a file's counts were short.
  struct TFileTable {
    T2SglArray Fractions;
    TSkewMomentArray Stats;
    bool Complete = true;
  };
  TFileTable FileFractions(const T2IntArray& Counts) const;
  TSkewMomentArray FileFractionStatistics(const T2SglArray& Fractions) const;
  static T2SglArray RatioTable(const T2SglArray& Start, const T2SglArray& Stop);
  static bool AssembleAnovaData(const T2SglArray& A, const T2SglArray& B, T3DblArray& Data);
  // Numerator / Divisor, or 0 unless the divisor is above 0.
  static float Ratio(float Numerator, float Divisor) {
    return Divisor > 0 ? static_cast<float>(static_cast<Extended>(Numerator) / Divisor) : 0.0f;
  }

 private:
  enum TSetIndex { CtrlStart, ExptStart, CtrlStop, ExptStop };
  TFCSData& DataOf(int32_t Set) const;
  TProtocol& ProtocolOf(int32_t Set) const;
  void Reclassify();
  // Counts of every data set over the whole set, drawn from by the bootstrap replicates.
  void CountSources();
  std::string GenotypeHeader() const;

  std::array<TIntArray, 4> FSourceCounts;
  std::array<int32_t, 4> FSourceDraws{};
  bool FSourcesValid = false;
  // The per-file tables of the four data sets, living only during one Report.
  std::array<TFileTable, 4> FFiles;
};

}  // namespace qv
