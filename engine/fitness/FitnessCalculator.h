#pragma once
// The variable-fluorophore fitness calculator: two reciprocal competition experiments, each an
// expected (start) and an observed (end) own data file, turned into result sets of strain,
// genotype and fluorophore fitness, their bootstrap spread and the fitness report.
//
// Arrays of two hold set 1 at index 0. Plate i of an observed set is file MinFileIndex + i of
// its data set. Caps: MaxFitnessGenotypes per protocol and MaxFitnessPlates per observed file
// (FitnessShared.h); saved reports: TFitnessArray::MaxReports.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Host.h"
#include "Types.h"
#include "dataset/FCSData.h"
#include "fitness/FitnessData.h"
#include "fitness/FitnessFileSet.h"
#include "fitness/FitnessShared.h"
#include "protocol/Protocol.h"

namespace qv {

class TFitnessCalculator {
 public:
  static constexpr const char* ReadError = "Error reading files";

  // Reads the four files; on failure shows "Error reading files" once and keeps an empty merged
  // result set, on which every later call does nothing.
  TFitnessCalculator(const TFitnessFileSet& AFileSet, ProgressMemo* Memo);
  // A calculator that has read nothing; its fields may be filled directly.
  TFitnessCalculator() = default;
  ~TFitnessCalculator();
  TFitnessCalculator(const TFitnessCalculator&) = delete;
  TFitnessCalculator& operator=(const TFitnessCalculator&) = delete;

  int32_t GenotypeCount = 0;
  TFitnessFileSet FileSet;
  std::array<std::unique_ptr<TFCSData>, 2> Expected;
  std::array<std::unique_ptr<TFCSData>, 2> Observed;
  std::array<std::unique_ptr<TProtocol>, 2> ExpectedProtocol;
  std::array<std::unique_ptr<TProtocol>, 2> ObservedProtocol;
  TIntArray NameMap1;
  TIntArray NameMap2;
  std::unique_ptr<TFitnessData> Merged = std::make_unique<TFitnessData>();
  std::array<std::vector<std::unique_ptr<TFitnessData>>, 2> SinglePlates;
  std::vector<std::vector<std::unique_ptr<TFitnessData>>> PlatePairs;  // [plate of set 1][plate of set 2]
  int32_t PlateCount1 = 0;
  int32_t PlateCount2 = 0;
  bool FilesRead = false;
  bool Resample = false;  // counts drawn by resampling; after a bootstrap: write its part
  int32_t CountKind = 1;
  int32_t DeconvolutionMode = 0;  // 0 matrix, 1 cascade
  int32_t Iterations = 0;         // requested by the last bootstrap
  int32_t UsedIterations = 0;     // of those, calculated
  bool ScoreSingles = false;
  ProgressMemo* Memo = nullptr;

  // Loads, compensates, compacts and classifies the four files and checks that they agree.
  bool ReadFiles(const TFitnessFileSet& AFileSet, ProgressMemo* AMemo);
  // Sets the flagged Z limits on all four protocols; True when any channel changed.
  bool ApplyOverrides(const TFitnessFileSet& AFileSet);
  void Reclassify();
  // Folder or a file name differs (case-sensitive).
  bool FileSetChanged(const TFitnessFileSet& AFileSet) const;
  // Gives Merged, SinglePlates and PlatePairs their entries for the plate counts.
  void SizeResultSets();
  // Fills the class counts of the result sets the calculation uses.
  void Prepare(bool DoSingles, bool DoPairs);

  // Count kinds 1 and 2 only. The result is that of the merged set.
  bool Calculate(int32_t ACountKind, int32_t ADeconvolutionMode, bool AResample, bool DoSingles, bool DoPairs,
                 ProgressMemo* AMemo);
  // The whole calculation on one result set; False (and the set invalid) when a step failed.
  bool ComputeOne(TFitnessData& Data);
  void LoadClassNames(TFitnessData& Data);
  void StrainFractions(TFitnessData& Data);
  void RawFitness(TFitnessData& Data);
  void DeltaLnW(TFitnessData& Data);
  void Deconvolute(TFitnessData& Data);
  void BuildNameMaps(const TFitnessData& Data);
  void ChainFitness(TFitnessData& Data);
  void AssignGenotypeFitness(TFitnessData& Data);
  void AssignFluorFitness(TFitnessData& Data);

  // Repeats the merged calculation on Iterations resampled count sets and stores the spread in
  // Merged; iterations that fail are left out. False when fewer than two could be used.
  bool Bootstrap(int32_t ACountKind, int32_t ADeconvolutionMode, int32_t AIterations, bool WithSingles, Progress* Gauge,
                 ProgressMemo* AMemo);

  // One report section of Data (lines ended CR LF); the title line only when WithTitle.
  void Report(const TFitnessData& Data, bool WithTitle, std::string& Text) const;
  // The merged section, then the single-plate and plate-pair sections asked for. Empty when the
  // files were not read.
  void ReportAll(bool WithSingles, bool WithPairs, std::string& Text) const;

 private:
  // Class counts of one data set's records, whole and per file, for multinomial replicates.
  struct TCountSource {
    TIntArray Whole;
    std::vector<TIntArray> Files;
    int32_t Draws = 0;
  };
  void Line(const std::string& Text) const;
  void StepStart(const char* Text) const;
  // The counts of the whole set, or of plate Plate (-1 whole), drawn afresh when Resample.
  void Counts(int32_t Set, bool IsObserved, int32_t Plate, TIntArray& Result);
  const TCountSource& CountSource(int32_t Set, bool IsObserved);
  bool GenotypesAgree();

  // [set][0 expected, 1 observed], valid for FSourceKind; emptied when the classes change.
  std::array<std::array<std::unique_ptr<TCountSource>, 2>, 2> FSources;
  int32_t FSourceKind = -1;

  // The design matrix of one reference and its inverse (none when it cannot be inverted).
  struct TDesign {
    bool Made = false;
    bool Inverted = false;
    TMatrix Matrix;
    TMatrix Inverse;
  };
  // The design of reference s for the first n genotype names of each set. A design depends on
  // nothing else but the inversion settings, so every result set of a calculation, and every
  // bootstrap iteration, shares one inversion per reference instead of making its own.
  const TDesign& DesignOf(const TStringArray& Names1, const TStringArray& Names2, int32_t n, int32_t s,
                          bool SmallQuadrants, bool AlternateInversion);
  struct TDesigns {
    TStringArray Names1, Names2;
    bool SmallQuadrants = false;
    bool AlternateInversion = false;
    std::vector<TDesign> References;
  };
  TDesigns FDesigns;
};

}  // namespace qv
