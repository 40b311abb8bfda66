// Fitness calculator: reading the four data files, the Z-limit overrides, the class counts of
// every result set and the calculation of strain, genotype and fluorophore fitness.
#include "fitness/FitnessCalculator.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "Errors.h"
#include "Files.h"
#include "Globals.h"
#include "LinearAlgebra.h"
#include "NumberFormat.h"
#include "analysis/MultinomialReplicate.h"
#include "fitness/FitnessShared.h"

namespace qv {

namespace {

// Counts below this are raised to it: a class that all but vanished still has a finite W.
constexpr int32_t MinimumCount = 5;

float ExpOf(float X) {
  const Extended V = std::exp(static_cast<Extended>(X));
  if (!(V <= static_cast<Extended>(std::numeric_limits<float>::max()))) throw EArithmetic("Floating point overflow");
  return static_cast<float>(V);
}

// Hides the memo on every exit path.
class MemoShown {
 public:
  explicit MemoShown(ProgressMemo* Memo) : FMemo(Memo) {
    if (FMemo) FMemo->Show();
  }
  ~MemoShown() {
    if (FMemo) FMemo->Hide();
  }
  MemoShown(const MemoShown&) = delete;
  MemoShown& operator=(const MemoShown&) = delete;

 private:
  ProgressMemo* FMemo;
};

}  // namespace

TFitnessCalculator::TFitnessCalculator(const TFitnessFileSet& AFileSet, ProgressMemo* AMemo) {
  Resample = false;
  FileSet = AFileSet;
  FilesRead = ReadFiles(AFileSet, AMemo);
  if (!FilesRead) {
    HostMessages().Error(ReadError);
    return;
  }
  if (ApplyOverrides(AFileSet)) Reclassify();
  PlateCount1 = Observed[0]->FileCount;
  PlateCount2 = Observed[1]->FileCount;
  SizeResultSets();
}

TFitnessCalculator::~TFitnessCalculator() = default;

void TFitnessCalculator::Line(const std::string& Text) const {
  if (Memo) Memo->Add(Text);
}

void TFitnessCalculator::StepStart(const char* Text) const {
  if (!Memo) return;
  if (Text) Memo->Add(Text);
  if (FileSet.Gauge) FileSet.Gauge->Pump();
}

// ---------------------------------------------------------------------------------------------
// Inputs

bool TFitnessCalculator::GenotypesAgree() {
  const TStringArray Names1 = ExpectedProtocol[0]->Genotypes->NameList();
  const TStringArray Names2 = ExpectedProtocol[1]->Genotypes->NameList();
  // Both deconvolutions pair the genotypes by name: each must stand exactly once in both sets.
  std::map<std::string, int32_t> Tally;
  for (const auto& N : Names1) Tally[N] += 1;
  for (const auto& N : Names2) Tally[N] += 1000;
  std::string Unpaired;
  for (const auto& [Name, Count] : Tally)
    if (Count != 1001) Unpaired += (Unpaired.empty() ? "" : ", ") + ("\"" + Name + "\"");
  if (!Unpaired.empty()) {
    HostMessages().Error("The genotypes of the two sets do not pair by name: " + Unpaired +
                         ". Each genotype must stand once in both expected files.");
    return false;
  }
  // Class k is one fluorophore in both sets; its channels should say so.
  const TStringArray Fluors1 = ExpectedProtocol[0]->Genotypes->ChannelNamesList();
  const TStringArray Fluors2 = ExpectedProtocol[1]->Genotypes->ChannelNamesList();
  std::string Differ;
  for (size_t k = 0; k < Fluors1.size() && k < Fluors2.size(); ++k)
    if (Fluors1[k] != Fluors2[k])
      Differ += "\r\nclass " + IntToStr(static_cast<int64_t>(k) + 1) + ": \"" + Fluors1[k] + "\" in set 1, \"" +
                Fluors2[k] + "\" in set 2";
  if (!Differ.empty())
    HostMessages().Info(
        "The genotype classes name different channels in the two sets; the fitness values "
        "treat each class as one fluorophore:" +
        Differ);
  return true;
}

bool TFitnessCalculator::ReadFiles(const TFitnessFileSet& AFileSet, ProgressMemo* AMemo) {
  Memo = AMemo;
  FileSet = AFileSet;
  MemoShown Shown(AMemo);
  PostRefresh();
  std::vector<TFitnessFile> Files;
  for (int32_t t = 0; t < 2; ++t)
    Files.push_back({"Reading Observed file " + IntToStr(t + 1), AFileSet.ObservedPath(t), &Observed[t],
                     &ObservedProtocol[t]});
  for (int32_t t = 0; t < 2; ++t)
    Files.push_back({"Reading Expected file " + IntToStr(t + 1), AFileSet.ExpectedPath(t), &Expected[t],
                     &ExpectedProtocol[t]});
  // Only the observed files' plates make result sets.
  bool OK = ReadFitnessFiles(Files, AFileSet.Gauge, AMemo) && WithinFitnessCaps(Files, 2);
  if (OK) {
    ScoreSingles = ExpectedProtocol[0]->ScoreSingles;
    GenotypeCount = ExpectedProtocol[0]->GenotypeCount();
    for (const auto* P : {ExpectedProtocol[1].get(), ObservedProtocol[0].get(), ObservedProtocol[1].get()})
      OK = OK && P->ScoreSingles == ScoreSingles && P->GenotypeCount() == GenotypeCount;
    OK = OK && GenotypesAgree();
  }
  if (!OK) {
    // Nothing half-read stays behind for a later call to touch.
    for (int32_t t = 0; t < 2; ++t) {
      Expected[t].reset();
      Observed[t].reset();
      ExpectedProtocol[t].reset();
      ObservedProtocol[t].reset();
    }
    GenotypeCount = 0;
  }
  FSources = {};
  return OK;
}

bool TFitnessCalculator::ApplyOverrides(const TFitnessFileSet& AFileSet) {
  if (!FilesRead) return false;
  const std::array<TProtocol*, 4> Protocols{ExpectedProtocol[0].get(), ObservedProtocol[0].get(),
                                            ExpectedProtocol[1].get(), ObservedProtocol[1].get()};
  return ApplyZOverrides(AFileSet, Protocols);
}

void TFitnessCalculator::Reclassify() {
  if (!FilesRead) return;
  for (int32_t t = 0; t < 2; ++t) {
    Expected[t]->Classify(*ExpectedProtocol[t]);
    Observed[t]->Classify(*ObservedProtocol[t]);
  }
  FSources = {};
}

bool TFitnessCalculator::FileSetChanged(const TFitnessFileSet& AFileSet) const {
  return FileSetFilesDiffer(AFileSet, FileSet);
}

void TFitnessCalculator::SizeResultSets() {
  Merged = std::make_unique<TFitnessData>();
  const auto Fill = [](std::vector<std::unique_ptr<TFitnessData>>& List, int32_t Count) {
    List.clear();
    for (int32_t i = 0; i < Count; ++i) List.push_back(std::make_unique<TFitnessData>());
  };
  Fill(SinglePlates[0], PlateCount1);
  Fill(SinglePlates[1], PlateCount2);
  PlatePairs.clear();
  PlatePairs.resize(static_cast<size_t>(std::max(PlateCount1, 0)));
  for (auto& Row : PlatePairs) Fill(Row, PlateCount2);
}

// ---------------------------------------------------------------------------------------------
// Class counts

const TFitnessCalculator::TCountSource& TFitnessCalculator::CountSource(int32_t Set, bool IsObserved) {
  if (FSourceKind != CountKind) {
    FSources = {};
    FSourceKind = CountKind;
  }
  auto& Slot = FSources[static_cast<size_t>(Set)][IsObserved ? 1 : 0];
  if (!Slot) {
    const TFCSData& Data = IsObserved ? *Observed[Set] : *Expected[Set];
    const TProtocol& Protocol = IsObserved ? *ObservedProtocol[Set] : *ExpectedProtocol[Set];
    const int32_t N = TFCSData::ClassCount(Protocol);
    auto Source = std::make_unique<TCountSource>();
    Data.CountClasses(N, CountKind, Source->Whole);
    Source->Files.resize(static_cast<size_t>(std::max(Data.FileCount, 0)));
    for (int32_t f = 0; f < Data.FileCount; ++f)
      Data.CountClassesOfFile(N, CountKind, Source->Files[f], Data.MinFileIndex + f);
    Source->Draws = RecordCount(Data);
    Slot = std::move(Source);
  }
  return *Slot;
}

void TFitnessCalculator::Counts(int32_t Set, bool IsObserved, int32_t Plate, TIntArray& Result) {
  const TFCSData& Data = IsObserved ? *Observed[Set] : *Expected[Set];
  if (Resample) {
    // A replicate has the distribution of resampling the events: as many draws as the whole set
    // has records, from the class fractions of the set or of the one file.
    const TCountSource& Source = CountSource(Set, IsObserved);
    MultinomialReplicate(Plate < 0 ? Source.Whole : Source.Files.at(static_cast<size_t>(Plate)), Source.Draws, Result);
  } else {
    const TProtocol& Protocol = IsObserved ? *ObservedProtocol[Set] : *ExpectedProtocol[Set];
    const int32_t N = TFCSData::ClassCount(Protocol);
    if (Plate < 0)
      Data.CountClasses(N, CountKind, Result);
    else
      Data.CountClassesOfFile(N, CountKind, Result, Data.MinFileIndex + Plate);
  }
  Result.resize(static_cast<size_t>(GenotypeCount) + 1, 0);
}

void TFitnessCalculator::Prepare(bool DoSingles, bool DoPairs) {
  if (!FilesRead) return;
  const int32_t n = GenotypeCount;
  Merged->SetSize(n);
  for (int32_t t = 0; t < 2; ++t) {
    Counts(t, false, -1, Merged->ExpectedCounts[t]);
    Counts(t, true, -1, Merged->ObservedCounts[t]);
  }
  if (DoSingles) {
    for (int32_t i = PlateCount1 - 1; i >= 0; --i) {
      TFitnessData& D = *SinglePlates[0][i];
      D.CopyCounts(*Merged, n, true, true, false, true);
      Counts(0, true, i, D.ObservedCounts[0]);
    }
    for (int32_t i = PlateCount2 - 1; i >= 0; --i) {
      TFitnessData& D = *SinglePlates[1][i];
      D.CopyCounts(*Merged, n, true, true, true, false);
      Counts(1, true, i, D.ObservedCounts[1]);
    }
  }
  if (DoPairs) {
    for (int32_t i = PlateCount1 - 1; i >= 0; --i)
      for (int32_t j = PlateCount2 - 1; j >= 0; --j) {
        TFitnessData& D = *PlatePairs[i][j];
        D.CopyCounts(*Merged, n, true, true, false, false);
        Counts(0, true, i, D.ObservedCounts[0]);
        Counts(1, true, j, D.ObservedCounts[1]);
      }
  }
}

// ---------------------------------------------------------------------------------------------
// Calculation

bool TFitnessCalculator::Calculate(int32_t ACountKind, int32_t ADeconvolutionMode, bool AResample, bool DoSingles,
                                   bool DoPairs, ProgressMemo* AMemo) {
  if (!FilesRead) return false;
  // The compact events hold no threshold classes, and the report names only two deconvolutions.
  if (ACountKind < 1 || ACountKind > 2 || ADeconvolutionMode < 0 || ADeconvolutionMode > 1) return false;
  Resample = AResample;
  CountKind = ACountKind;
  DeconvolutionMode = ADeconvolutionMode;
  Memo = AMemo;
  MemoShown Shown(AMemo);
  Prepare(DoSingles, DoPairs);
  const bool Result = ComputeOne(*Merged);
  const auto NotAsked = [](std::unique_ptr<TFitnessData>& D) {
    D->Valid = false;
    D->FailReason = "not calculated in this run";
  };
  for (int32_t t = 0; t < 2; ++t) {
    if (DoSingles) Line("** Processing single plate set " + IntToStr(t + 1));
    for (size_t i = SinglePlates[t].size(); i-- > 0;) {
      if (DoSingles)
        ComputeOne(*SinglePlates[t][i]);
      else
        NotAsked(SinglePlates[t][i]);
    }
  }
  for (size_t i = PlatePairs.size(); i-- > 0;) {
    if (DoPairs) Line("** Processing single plate pairs for plate " + IntToStr(static_cast<int64_t>(i)));
    for (size_t j = PlatePairs[i].size(); j-- > 0;) {
      if (DoPairs)
        ComputeOne(*PlatePairs[i][j]);
      else
        NotAsked(PlatePairs[i][j]);
    }
  }
  return Result;
}

bool TFitnessCalculator::ComputeOne(TFitnessData& Data) {
  Data.Valid = false;
  try {
    LoadClassNames(Data);
    StrainFractions(Data);
    RawFitness(Data);
    DeltaLnW(Data);
    if (DeconvolutionMode == 0) {
      Deconvolute(Data);
    } else {
      BuildNameMaps(Data);
      ChainFitness(Data);
    }
    AssignGenotypeFitness(Data);
    AssignFluorFitness(Data);
  } catch (const std::exception& E) {
    Data.FailReason = E.what();
    return false;
  }
  Data.Valid = true;
  Data.FailReason.clear();
  return true;
}

void TFitnessCalculator::LoadClassNames(TFitnessData& Data) {
  if (!ExpectedProtocol[0] || !ExpectedProtocol[1]) throw EAssertionFailed("No expected protocols to name the classes");
  const size_t n = static_cast<size_t>(Data.ClassCount);
  const TStringArray Fluors = ExpectedProtocol[0]->Genotypes->ChannelNamesList();
  const TStringArray Names1 = ExpectedProtocol[0]->Genotypes->NameList();
  const TStringArray Names2 = ExpectedProtocol[1]->Genotypes->NameList();
  if (Fluors.size() < n || Names1.size() < n || Names2.size() < n) throw ERangeError("Fewer genotypes than classes");
  for (size_t k = n; k-- > 0;) {
    Data.FluorNames[k] = Fluors[k];
    Data.GenotypeNames[0][k] = Names1[k];
    Data.GenotypeNames[1][k] = Names2[k];
  }
}

void TFitnessCalculator::StrainFractions(TFitnessData& Data) {
  StepStart("Calculating strain fractions");
  const int32_t n = Data.ClassCount;
  for (int32_t t = 0; t < 2; ++t) {
    if (static_cast<int32_t>(Data.ExpectedCounts[t].size()) <= n ||
        static_cast<int32_t>(Data.ObservedCounts[t].size()) <= n)
      throw RangeCheckError();
    for (int32_t i = n; i >= 1; --i) {
      Data.ObservedCounts[t][i] = std::max(Data.ObservedCounts[t][i], MinimumCount);
      Data.ExpectedCounts[t][i] = std::max(Data.ExpectedCounts[t][i], MinimumCount);
    }
    int64_t Observed = 0, Expected = 0;
    for (int32_t i = 1; i <= n; ++i) {
      Observed += Data.ObservedCounts[t][i];
      Expected += Data.ExpectedCounts[t][i];
    }
    if (Observed > std::numeric_limits<int32_t>::max() || Expected > std::numeric_limits<int32_t>::max())
      throw EArithmetic("Integer overflow");
    Data.ObservedTotals[t] = static_cast<int32_t>(Observed);
    Data.ExpectedTotals[t] = static_cast<int32_t>(Expected);
    for (int32_t k = 0; k < n; ++k) {
      Data.ExpectedFractions[t][k] =
          Expected > 0 ? static_cast<float>(static_cast<Extended>(Data.ExpectedCounts[t][k + 1]) / Expected) : 0.0f;
      Data.ObservedFractions[t][k] =
          Observed > 0 ? static_cast<float>(static_cast<Extended>(Data.ObservedCounts[t][k + 1]) / Observed) : 0.0f;
    }
  }
}

void TFitnessCalculator::RawFitness(TFitnessData& Data) {
  StepStart("Calculating raw fitness values");
  for (int32_t t = 0; t < 2; ++t)
    for (int32_t k = Data.ClassCount - 1; k >= 0; --k) {
      const float Exp = Data.ExpectedFractions[t][k];
      const float W = Exp > 0 ? static_cast<float>(static_cast<Extended>(Data.ObservedFractions[t][k]) / Exp) : 0.0f;
      Data.W[t][k] = W;
      Data.LnW[t][k] = W > 0 ? static_cast<float>(std::log(static_cast<Extended>(W))) : 0.0f;
    }
}

void TFitnessCalculator::DeltaLnW(TFitnessData& Data) {
  const int32_t n = Data.ClassCount;
  if (n <= 0) throw EArithmetic("Division by zero");
  Data.CentredDlnW.assign(static_cast<size_t>(n), TSglArray(1, 0.0f));
  float Sum = 0;
  for (int32_t k = n - 1; k >= 0; --k) {
    Data.DlnW[k][0] = static_cast<float>(static_cast<Extended>(Data.LnW[0][k]) - Data.LnW[1][k]);
    Sum = static_cast<float>(static_cast<Extended>(Sum) + Data.DlnW[k][0]);
  }
  const float Mean = static_cast<float>(static_cast<Extended>(Sum) / n);
  for (int32_t k = n - 1; k >= 0; --k)
    Data.CentredDlnW[k][0] = static_cast<float>(static_cast<Extended>(Data.DlnW[k][0]) - Mean);
}

const TFitnessCalculator::TDesign& TFitnessCalculator::DesignOf(const TStringArray& Names1, const TStringArray& Names2,
                                                                int32_t n, int32_t s, bool SmallQuadrants,
                                                                bool AlternateInversion) {
  TDesigns& Ds = FDesigns;
  const auto Same = [n](const TStringArray& Held, const TStringArray& Names) {
    return Held.size() == static_cast<size_t>(n) && std::equal(Held.begin(), Held.end(), Names.begin());
  };
  if (!Same(Ds.Names1, Names1) || !Same(Ds.Names2, Names2) || Ds.SmallQuadrants != SmallQuadrants ||
      Ds.AlternateInversion != AlternateInversion) {
    Ds.References.clear();
    Ds.Names1.assign(Names1.begin(), Names1.begin() + n);
    Ds.Names2.assign(Names2.begin(), Names2.begin() + n);
    Ds.SmallQuadrants = SmallQuadrants;
    Ds.AlternateInversion = AlternateInversion;
  }
  Ds.References.resize(static_cast<size_t>(n));
  TDesign& Design = Ds.References.at(static_cast<size_t>(s));
  if (Design.Made) return Design;
  TMatrix& D = Design.Matrix;
  IdentityMatrix(n, D);
  for (int32_t r = n - 1; r >= 0; --r)
    for (int32_t c = n - 1; c >= 0; --c)
      if (Names1[c] == Names2[r] && Names2[r] != Names1[s]) D[r][c] = -1.0f;
  TMatrix Product;
  // The closed forms answer a singular matrix with zeros and success: check the product too.
  bool Inverted = InvertMatrix(D, Design.Inverse, {SmallQuadrants, AlternateInversion}) == MxOk &&
                  MultiplyMatrix(D, Design.Inverse, Product) == MxOk;
  for (int32_t r = 0; Inverted && r < n; ++r)
    for (int32_t c = 0; c < n; ++c)
      if (std::fabs(Product[r][c] - (r == c ? 1.0f : 0.0f)) > 1e-4f) Inverted = false;
  if (!Inverted) Design.Inverse.clear();
  Design.Inverted = Inverted;
  Design.Made = true;
  return Design;
}

void TFitnessCalculator::Deconvolute(TFitnessData& Data) {
  StepStart("Deconvoluting genotype and fluor fitness values");
  const int32_t n = Data.ClassCount;
  const auto& G1 = Data.GenotypeNames[0];
  const auto& G2 = Data.GenotypeNames[1];
  if (static_cast<int32_t>(G1.size()) < n || static_cast<int32_t>(G2.size()) < n) throw RangeCheckError();
  const TInversionOptions Inversion = TInversionOptions::FromSettings();
  // Every set of the assay has the same design matrices: only the merged set keeps copies, since
  // each set of a plate pair would hold n x n x n values.
  const bool KeepDesigns = &Data == Merged.get();
  for (int32_t s = n - 1; s >= 0; --s) {
    const TDesign& Design = DesignOf(G1, G2, n, s, Inversion.SmallQuadrants, Inversion.AlternateInversion);
    if (KeepDesigns) Data.DesignMatrices[s] = Design.Matrix;
    if (!Design.Inverted) throw EArithmetic("The design matrix of reference " + G1[s] + " cannot be inverted");
    Data.LogFitness[s].assign(static_cast<size_t>(n), TSglArray(1, 0.0f));
    if (MultiplyMatrix(Design.Inverse, Data.DlnW, Data.LogFitness[s]) != MxOk)
      throw EArithmetic("Invalid floating point operation");
    for (int32_t k = n - 1; k >= 0; --k) Data.Wfinal[s][k] = ExpOf(Data.LogFitness[s][k][0]);
  }
}

void TFitnessCalculator::BuildNameMaps(const TFitnessData& Data) {
  const int32_t n = Data.ClassCount;
  NameMap1.resize(static_cast<size_t>(n), 0);
  NameMap2.resize(static_cast<size_t>(n), 0);
  const auto& G1 = Data.GenotypeNames[0];
  const auto& G2 = Data.GenotypeNames[1];
  for (int32_t i = n - 1; i >= 0; --i)
    for (int32_t j = n - 1; j >= 0; --j) {
      if (G1[i] == G2[j]) NameMap1[i] = j;
      if (G2[i] == G1[j]) NameMap2[i] = j;
    }
}

void TFitnessCalculator::ChainFitness(TFitnessData& Data) {
  const int32_t n = Data.ClassCount;
  if (static_cast<int32_t>(NameMap2.size()) < n) throw RangeCheckError();
  for (int32_t s = n - 1; s >= 0; --s) {
    // Genotypes the walk does not reach read 0, never a value of an earlier calculation.
    TMatrix& L = Data.LogFitness[s];
    L.assign(static_cast<size_t>(n), TSglArray(1, 0.0f));
    int32_t Cur = s;
    for (int32_t Step = 0; Step < n - 1; ++Step) {
      const float V = static_cast<float>(static_cast<Extended>(L[Cur][0]) - Data.CentredDlnW[Cur][0]);
      const int32_t Next = NameMap2[Cur];
      // Back at the reference: its cycle is closed and its 0 stays.
      if (Next == s) break;
      L[Next][0] = V;
      Cur = Next;
    }
    for (int32_t k = 0; k < n; ++k) Data.Wfinal[s][k] = ExpOf(L[k][0]);
  }
}

void TFitnessCalculator::AssignGenotypeFitness(TFitnessData& Data) {
  StepStart("Assigning average genotype fitness values");
  const int32_t n = Data.ClassCount;
  for (int32_t k = 0; k < n; ++k) {
    Extended Sum = 0;
    for (int32_t s = 0; s < n; ++s) Sum += Data.Wfinal[s][k];
    Data.AvgW[k] = static_cast<float>(Sum / n);
  }
}

void TFitnessCalculator::AssignFluorFitness(TFitnessData& Data) {
  StepStart("Assigning average fluor fitness values");
  const int32_t n = Data.ClassCount;
  std::fill(Data.AvgW1.begin(), Data.AvgW1.end(), 0.0f);
  std::fill(Data.AvgW2.begin(), Data.AvgW2.end(), 0.0f);
  for (int32_t k = n - 1; k >= 0; --k) {
    if (Data.AvgW[k] == 0) throw EArithmetic("Division by zero");
    const Extended Avg = Data.AvgW[k];
    Data.AvgW1[k] = static_cast<float>(Data.W[0][k] / Avg);
    for (int32_t j = 0; j < n; ++j)
      if (Data.GenotypeNames[1][j] == Data.GenotypeNames[0][k]) Data.AvgW2[j] = static_cast<float>(Data.W[1][j] / Avg);
  }
  for (int32_t k = 0; k < n; ++k)
    Data.MeanW[k] = static_cast<float>((static_cast<Extended>(Data.AvgW1[k]) + Data.AvgW2[k]) / 2);
}

}  // namespace qv
