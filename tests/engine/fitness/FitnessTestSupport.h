#pragma once
// Calculators built in memory: data sets whose events carry given Z classes, and protocols that
// name the genotypes, so the calculation is tested without reading files.
#include <memory>
#include <string>
#include <vector>

#include "FitnessFixtures.h"
#include "fitness/FitnessCalculator.h"

namespace qv::test {

class RecordingMemo : public ProgressMemo {
 public:
  void Show() override { ++Shown; }
  void Hide() override { ++Hidden; }
  void Add(const std::string& Line) override { Lines.push_back(Line); }
  std::vector<std::string> Lines;
  int Shown = 0;
  int Hidden = 0;
};

// Plates[p][c] events of Z class c (both Z columns) in file FirstFile + p.
inline std::unique_ptr<TFCSData> ClassSet(const std::vector<TIntArray>& Plates, int32_t FirstFile = 0) {
  auto D = std::make_unique<TFCSData>();
  D->Events.Reset(0, 1);
  for (size_t p = 0; p < Plates.size(); ++p)
    for (size_t c = 0; c < Plates[p].size(); ++c)
      for (int32_t e = 0; e < Plates[p][c]; ++e) {
        TFCSLine L = D->Events.Append();
        L.Classes() = {0, static_cast<int16_t>(c), static_cast<int16_t>(c)};
        L.SetFileIndex(FirstFile + static_cast<int32_t>(p));
      }
  D->FileRange();
  D->BuildFileIndex();
  return D;
}

struct AssaySpec {
  std::vector<std::string> Genotypes1;
  std::vector<std::string> Genotypes2;
  std::vector<std::string> Fluors;
  std::array<TIntArray, 2> Expected;               // [set][class number]
  std::array<std::vector<TIntArray>, 2> Observed;  // [set][plate][class number]
  int32_t FirstObservedFile = 0;
};

// The two-genotype reciprocal example.
inline AssaySpec Example() {
  AssaySpec S;
  S.Genotypes1 = {"A", "B"};
  S.Genotypes2 = {"B", "A"};
  S.Fluors = {"GFP", "YFP"};
  S.Expected = {TIntArray{10, 100, 100}, TIntArray{0, 100, 100}};
  S.Observed = {std::vector<TIntArray>{{3, 150, 50}}, std::vector<TIntArray>{{7, 60, 140}}};
  return S;
}

inline std::unique_ptr<TFitnessCalculator> InMemoryCalculator(const AssaySpec& S) {
  auto C = std::make_unique<TFitnessCalculator>();
  for (int t = 0; t < 2; ++t) {
    const auto& Names = t == 0 ? S.Genotypes1 : S.Genotypes2;
    C->ExpectedProtocol[t] = AssayProtocol(Names, S.Fluors);
    C->ObservedProtocol[t] = AssayProtocol(Names, S.Fluors);
    C->Expected[t] = ClassSet({S.Expected[t]});
    C->Observed[t] = ClassSet(S.Observed[t], S.FirstObservedFile);
  }
  C->FileSet.Folder = "/assay/";
  C->FileSet.Expected = {"e1.Quorvenal", "e2.Quorvenal"};
  C->FileSet.Observed = {"o1.Quorvenal", "o2.Quorvenal"};
  C->GenotypeCount = static_cast<int32_t>(S.Genotypes1.size());
  C->PlateCount1 = C->Observed[0]->FileCount;
  C->PlateCount2 = C->Observed[1]->FileCount;
  C->FilesRead = true;
  C->SizeResultSets();
  return C;
}

}  // namespace qv::test
