// Constant-fluorophore fitness: reading the four data files, the Z-limit overrides, the class
// counts and the frequencies, recovery rates and fitness values.
#include "fitness/SimpleFitness.h"

#include <algorithm>

#include "Errors.h"
#include "Files.h"
#include "NumberFormat.h"
#include "analysis/MultinomialReplicate.h"
#include "fitness/FitnessShared.h"

namespace qv {

namespace {

// Fills one frequency column from one count column; a column without events gives zeros.
template <typename TCount, typename TFreq>
void Frequencies(TSimpleFitnessDataArray& Rows, TCount Count, TFreq Freq) {
  int64_t Total = 0;
  for (const auto& Row : Rows) Total += Row.*Count;
  for (auto& Row : Rows) Row.*Freq = Total > 0 ? static_cast<float>(static_cast<Extended>(Row.*Count) / Total) : 0.0f;
}

}  // namespace

TSimpleFitness::TSimpleFitness(const TFitnessFileSet& AFileSet, ProgressMemo* Memo) {
  FileSet = AFileSet;
  Bootstrapped = false;
  FilesRead = ReadFiles(AFileSet, Memo);
  if (!FilesRead) {
    HostMessages().Error(ReadError);
    return;
  }
  // Without this the page's Z limits would never reach the counts of a new model.
  if (ApplyOverrides(AFileSet)) Reclassify();
  FitnessRows.assign(static_cast<size_t>(GenotypeCount), TSimpleFitnessData());
  BootRows.assign(static_cast<size_t>(GenotypeCount), TSimpleFitnessData());
  if (Memo) Memo->Add("Reading data...");
  CollectCounts(FitnessRows);
  if (Memo) Memo->Add("Calculating Fitness");
  Calculate(FitnessRows);
}

TSimpleFitness::~TSimpleFitness() = default;

// The sets run control start, experiment start, control stop, experiment stop.
TFCSData& TSimpleFitness::DataOf(int32_t Set) const {
  return Set < CtrlStop ? *StartData[static_cast<size_t>(Set)] : *StopData[static_cast<size_t>(Set - CtrlStop)];
}

TProtocol& TSimpleFitness::ProtocolOf(int32_t Set) const {
  return Set < CtrlStop ? *StartProtocols[static_cast<size_t>(Set)]
                        : *StopProtocols[static_cast<size_t>(Set - CtrlStop)];
}

bool TSimpleFitness::ReadFiles(const TFitnessFileSet& AFileSet, ProgressMemo* Memo) {
  if (Memo) Memo->Show();
  PostRefresh();
  std::vector<TFitnessFile> Files;
  for (int32_t n = 0; n < 2; ++n)
    Files.push_back({"Reading Stop Point File " + IntToStr(n + 1), AFileSet.ObservedPath(n), &StopData[n],
                     &StopProtocols[n]});
  for (int32_t n = 0; n < 2; ++n)
    Files.push_back({"Reading Start Point File " + IntToStr(n + 1), AFileSet.ExpectedPath(n), &StartData[n],
                     &StartProtocols[n]});
  bool OK = false;
  {
    BusyCursor Busy;
    OK = ReadFitnessFiles(Files, AFileSet.Gauge, Memo) && WithinFitnessCaps(Files, Files.size());
  }
  if (OK) {
    ScoreSingles = StopProtocols[0]->ScoreSingles;
    GenotypeCount = StopProtocols[0]->GenotypeCount();
    for (const auto* P : {StopProtocols[1].get(), StartProtocols[0].get(), StartProtocols[1].get()})
      OK = OK && P->ScoreSingles == ScoreSingles && P->GenotypeCount() == GenotypeCount;
  }
  if (!OK) {
    // Nothing half-read stays behind for a later call to touch.
    for (int32_t n = 0; n < 2; ++n) {
      StartData[n].reset();
      StopData[n].reset();
      StartProtocols[n].reset();
      StopProtocols[n].reset();
    }
    GenotypeCount = 0;
  }
  FSourcesValid = false;
  if (Memo) Memo->Hide();
  return OK;
}

void TSimpleFitness::CountSources() {
  for (int32_t s = CtrlStart; s <= ExptStop; ++s) {
    TFCSData& Data = DataOf(s);
    Data.ClassCounts(ProtocolOf(s), FileSet.ReportType, false, FSourceCounts[s]);
    FSourceDraws[s] = RecordCount(Data);
  }
  FSourcesValid = true;
}

void TSimpleFitness::CollectCounts(TSimpleFitnessDataArray& Rows) {
  if (!FilesRead) return;
  static constexpr int32_t TSimpleFitnessData::*Fields[4] = {
      &TSimpleFitnessData::Count_Ctrl_0, &TSimpleFitnessData::Count_Expt_0, &TSimpleFitnessData::Count_Ctrl_T,
      &TSimpleFitnessData::Count_Expt_T};
  if (Bootstrapped && !FSourcesValid) CountSources();
  TIntArray Counts;
  for (int32_t s = CtrlStart; s <= ExptStop; ++s) {
    // A replicate of resampling the set's events, drawn from its class counts.
    if (Bootstrapped)
      MultinomialReplicate(FSourceCounts[s], FSourceDraws[s], Counts);
    else
      DataOf(s).ClassCounts(ProtocolOf(s), FileSet.ReportType, false, Counts);
    for (size_t g = 0; g < Rows.size(); ++g) Rows[g].*Fields[s] = g + 1 < Counts.size() ? Counts[g + 1] : 0;
  }
  const TStringArray Names = StopProtocols[0]->Genotypes->NameList();
  const TStringArray Fluors = StopProtocols[0]->Genotypes->ChannelNamesList();
  for (size_t g = 0; g < Rows.size(); ++g) {
    Rows[g].Genotype = g < Names.size() ? Names[g] : std::string();
    Rows[g].Fluorophore = g < Fluors.size() ? Fluors[g] : std::string();
  }
}

void TSimpleFitness::Calculate(TSimpleFitnessDataArray& Rows) {
  using R = TSimpleFitnessData;
  Frequencies(Rows, &R::Count_Expt_0, &R::Freq_Expt_0);
  Frequencies(Rows, &R::Count_Expt_T, &R::Freq_Expt_T);
  Frequencies(Rows, &R::Count_Ctrl_0, &R::Freq_Ctrl_0);
  Frequencies(Rows, &R::Count_Ctrl_T, &R::Freq_Ctrl_T);
  for (auto& Row : Rows) {
    Row.R_Ctrl = Ratio(Row.Freq_Ctrl_T, Row.Freq_Ctrl_0);
    Row.R_Expt = Ratio(Row.Freq_Expt_T, Row.Freq_Expt_0);
    Row.W_end = Ratio(Row.Freq_Expt_T, Row.Freq_Ctrl_T);
    Row.W_Ref = Ratio(Row.R_Expt, Row.R_Ctrl);
  }
}

bool TSimpleFitness::FileSetChanged(const TFitnessFileSet& AFileSet) const {
  return FileSetFilesDiffer(AFileSet, FileSet);
}

bool TSimpleFitness::ApplyOverrides(const TFitnessFileSet& AFileSet) {
  if (!FilesRead) return false;
  return ApplyZOverrides(
      AFileSet, {StartProtocols[0].get(), StopProtocols[0].get(), StartProtocols[1].get(), StopProtocols[1].get()});
}

void TSimpleFitness::Reclassify() {
  for (int32_t s = CtrlStart; s <= ExptStop; ++s) DataOf(s).Classify(ProtocolOf(s));
  FSourcesValid = false;
}

void TSimpleFitness::Recalculate() {
  BusyCursor Busy;
  Bootstrapped = false;
  if (!FilesRead) return;
  Reclassify();
  CollectCounts(FitnessRows);
  Calculate(FitnessRows);
}

}  // namespace qv
