// Constant-fluorophore fitness: the bootstrap of rates and fitness values, and the report with
// its result table, variance analysis and ANOVA sections. Genotype columns run from the last
// genotype to the first in every table.
#include <algorithm>

#include "Files.h"
#include "LinearAlgebra.h"
#include "NumberFormat.h"
#include "Anova.h"
#include "Statistics.h"
#include "TextUtils.h"
#include "fitness/SimpleFitness.h"

namespace qv {

namespace {

const std::string Tab = "\t";

void Append(std::vector<std::string>& Lines, const std::string& Text) {
  for (auto& Line : SplitLines(Text)) Lines.push_back(std::move(Line));
}

std::string Joined(const std::vector<std::string>& Lines) { return JoinLines(Lines) + "\r\n"; }

}  // namespace

void TSimpleFitness::Bootstrap(int32_t Iterations) {
  if (Iterations <= 0 || !FilesRead) return;
  Bootstrapped = true;
  Progress* Gauge = FileSet.Gauge;
  if (Gauge) {
    Gauge->SetMax(Iterations);
    Gauge->SetPosition(0);
  }
  BusyCursor Busy;
  const size_t n = FitnessRows.size(), It = static_cast<size_t>(Iterations);
  T2SglArray RCtrl(n, TSglArray(It)), RExpt(n, TSglArray(It)), WRef(n, TSglArray(It)), WEnd(n, TSglArray(It));
  // Each data set is counted once; every replicate is drawn from those counts.
  CountSources();
  BootRows.assign(n, TSimpleFitnessData());
  for (int32_t i = Iterations - 1; i >= 0; --i) {
    if (Gauge) {
      Gauge->SetPosition(Iterations - i);
      Gauge->Pump();
    }
    CollectCounts(BootRows);
    Calculate(BootRows);
    for (size_t g = 0; g < n; ++g) {
      RCtrl[g][i] = BootRows[g].R_Ctrl;
      RExpt[g][i] = BootRows[g].R_Expt;
      WRef[g][i] = BootRows[g].W_Ref;
      WEnd[g][i] = BootRows[g].W_end;
    }
  }
  for (size_t g = 0; g < n; ++g) {
    TSimpleFitnessData& Row = FitnessRows[g];
    SemiDeviationsAbout(RCtrl[g], Row.R_Ctrl_Stats, Row.R_Ctrl);
    SemiDeviationsAbout(RExpt[g], Row.R_Expt_Stats, Row.R_Expt);
    SemiDeviationsAbout(WRef[g], Row.W_Ref_Stats, Row.W_Ref);
    SemiDeviationsAbout(WEnd[g], Row.W_end_Stats, Row.W_end);
  }
  if (Gauge) Gauge->SetPosition(0);
}

TSimpleFitness::TFileTable TSimpleFitness::FileFractions(const T2IntArray& Counts) const {
  TFileTable Table;
  const size_t n = static_cast<size_t>(GenotypeCount);
  Table.Fractions.assign(Counts.size(), TSglArray(n, 0.0f));
  for (size_t f = 0; f < Counts.size(); ++f) {
    const TIntArray& C = Counts[f];
    // A file whose counts failed holds fewer classes than the genotypes need.
    if (C.size() < n + 1) {
      Table.Complete = false;
      continue;
    }
    int64_t Total = 0;
    for (size_t g = 1; g <= n; ++g) Total += C[g];
    for (size_t g = 0; g < n; ++g)
      Table.Fractions[f][g] = Total < 1 ? 0.0f : static_cast<float>(static_cast<Extended>(C[g + 1]) / Total);
  }
  return Table;
}

TSkewMomentArray TSimpleFitness::FileFractionStatistics(const T2SglArray& Fractions) const {
  const size_t n = static_cast<size_t>(GenotypeCount);
  TSkewMomentArray Stats(n);
  TSglArray Series(Fractions.size());
  for (size_t g = 0; g < n; ++g) {
    for (size_t f = 0; f < Fractions.size(); ++f) Series[f] = g < Fractions[f].size() ? Fractions[f][g] : 0.0f;
    SemiDeviations(Series, Stats[g]);
  }
  return Stats;
}

T2SglArray TSimpleFitness::RatioTable(const T2SglArray& Start, const T2SglArray& Stop) {
  // A stop set with fewer files than its start set pairs only the files both have.
  const size_t Files = std::min(Start.size(), Stop.size());
  T2SglArray Result(Files);
  for (size_t f = 0; f < Files; ++f) {
    const size_t n = std::min(Start[f].size(), Stop[f].size());
    Result[f].resize(n);
    for (size_t g = 0; g < n; ++g) Result[f][g] = Start[f][g] == 0 ? 0.0f : Ratio(Stop[f][g], Start[f][g]);
  }
  return Result;
}

bool TSimpleFitness::AssembleAnovaData(const T2SglArray& A, const T2SglArray& B, T3DblArray& Data) {
  if (A.size() < 2 || B.empty()) return false;
  const size_t n = A[0].size();
  for (const T2SglArray* T : {&A, &B})
    for (const TSglArray& Row : *T)
      if (Row.size() != n) return false;
  Data.assign(2, T2DblArray(n));
  for (size_t g = 0; g < n; ++g) {
    for (const TSglArray& Row : A) Data[0][g].push_back(Row[g]);
    for (const TSglArray& Row : B) Data[1][g].push_back(Row[g]);
  }
  return true;
}

std::string TSimpleFitness::GenotypeHeader() const {
  std::string Names = Tab + "Genotype" + Tab, Fluors = Tab + "Fluorophore" + Tab;
  for (size_t g = FitnessRows.size(); g-- > 0;) {
    Names += FitnessRows[g].Genotype + Tab;
    Fluors += FitnessRows[g].Fluorophore + Tab;
  }
  return Names + "\r\n" + Fluors;
}

std::string TSimpleFitness::StatisticsText(const std::string& Label, const TSkewMomentArray& Stats) const {
  static constexpr double TSkewMoment::*Fields[4] = {&TSkewMoment::Mean, &TSkewMoment::RMSDeviation,
                                                     &TSkewMoment::LowerSemiDeviation,
                                                     &TSkewMoment::UpperSemiDeviation};
  static constexpr const char* Names[4] = {"Mean", "Dev", "DevL", "DevR"};
  std::vector<std::string> Lines;
  for (size_t q = 0; q < 4; ++q) {
    std::string Line = Label + Tab + Names[q] + Tab;
    for (size_t g = Stats.size(); g-- > 0;) Line += FormatFloat("###0.00000", Stats[g].*Fields[q]) + Tab;
    Lines.push_back(Line);
  }
  return Joined(Lines);
}

std::string TSimpleFitness::VarianceReport(int32_t SampleCount) {
  const size_t n = FitnessRows.size();
  const size_t S = static_cast<size_t>(std::max(SampleCount, 0));
  TSkewMomentArray RCtrl(n), RExpt(n), WRef(n), WEnd(n);
  TSglArray A(S), B(S), C(S), D(S);
  // The simulated frequencies of one data set and genotype: mean of as many draws as it has files.
  const auto Simulate = [&](int32_t Set, size_t g) {
    const TFileTable& T = FFiles[static_cast<size_t>(Set)];
    const TSkewMoment M = g < T.Stats.size() ? T.Stats[g] : TSkewMoment();
    return SimulatedMean(static_cast<int32_t>(T.Fractions.size()), M.Mean, M.RMSDeviation);
  };
  for (size_t g = 0; g < n; ++g) {
    for (size_t s = 0; s < S; ++s) {
      const float CtrlStart0 = Simulate(CtrlStart, g);
      const float CtrlStopT = Simulate(CtrlStop, g);
      const float ExptStart0 = Simulate(ExptStart, g);
      const float ExptStopT = Simulate(ExptStop, g);
      A[s] = Ratio(CtrlStopT, CtrlStart0);
      B[s] = Ratio(ExptStopT, ExptStart0);
      C[s] = Ratio(B[s], A[s]);
      D[s] = Ratio(ExptStopT, CtrlStopT);
    }
    SemiDeviations(A, RCtrl[g]);
    SemiDeviations(B, RExpt[g]);
    SemiDeviations(C, WRef[g]);
    SemiDeviations(D, WEnd[g]);
  }
  std::vector<std::string> Lines{"Variance Analysis", ""};
  Append(Lines, GenotypeHeader());
  Append(Lines, StatisticsText("R_Ctrl", RCtrl));
  Append(Lines, StatisticsText("R_Expt", RExpt));
  Append(Lines, StatisticsText("W_Ref", WRef));
  Append(Lines, StatisticsText("W_End", WEnd));
  return Joined(Lines);
}

std::string TSimpleFitness::FileDataReport(const std::string& Label1, const std::string& Label2,
                                           const T3DblArray& Data) const {
  std::vector<std::string> Lines{"File data", ""};
  Append(Lines, GenotypeHeader());
  const std::string Labels[2] = {Label1, Label2};
  for (size_t c = 0; c < 2 && c < Data.size(); ++c) {
    const T2DblArray& Cond = Data[c];
    const size_t Files = Cond.empty() ? 0 : Cond[0].size();
    for (size_t f = 0; f < Files; ++f) {
      std::string Line = Labels[c] + Tab + "File_" + IntToStr(static_cast<int64_t>(f)) + Tab;
      for (size_t g = Cond.size(); g-- > 0;)
        Line += FormatFloat("###0.00000", f < Cond[g].size() ? Cond[g][f] : 0.0) + Tab;
      Lines.push_back(Line);
    }
  }
  Lines.push_back("");
  return Joined(Lines);
}

std::string TSimpleFitness::AnovaReport() {
  struct TSection {
    const char* Title;
    const char* Label1;
    const char* Label2;
  };
  const TFileTable& Cs = FFiles[CtrlStart];
  const TFileTable& Es = FFiles[ExptStart];
  const TFileTable& Ct = FFiles[CtrlStop];
  const TFileTable& Et = FFiles[ExptStop];
  const TSection Sections[3] = {{"ANOVA of Start time Point Data sets", "Ctrl_Start", "Expt_Start"},
                                {"ANOVA of Stop Time Point Data sets", "Ctrl_Stop", "Expt_Stop"},
                                {"ANOVA of Relative Recovery Rates", "R_Ctrl", "R_Expt"}};
  const T2SglArray* Tables[3][2] = {{&Cs.Fractions, &Es.Fractions}, {&Ct.Fractions, &Et.Fractions}, {nullptr, nullptr}};
  const bool Complete[3] = {Cs.Complete && Es.Complete, Ct.Complete && Et.Complete,
                            Cs.Complete && Es.Complete && Ct.Complete && Et.Complete};
  const T2SglArray RCtrl = RatioTable(Cs.Fractions, Ct.Fractions);
  const T2SglArray RExpt = RatioTable(Es.Fractions, Et.Fractions);
  Tables[2][0] = &RCtrl;
  Tables[2][1] = &RExpt;

  std::vector<std::string> Lines;
  for (size_t k = 0; k < 3; ++k) {
    Lines.push_back(Sections[k].Title);
    T3DblArray Data;
    std::string Text;
    bool OK = Complete[k] && AssembleAnovaData(*Tables[k][0], *Tables[k][1], Data);
    if (OK) {
      try {
        TwoWayAnovaResult Result;
        TwoWayAnova(Data, Result);
        TwoWayAnovaReport(Result, Text);
      } catch (const std::exception&) {
        OK = false;
      }
    }
    if (!OK) {
      Lines.push_back(AssemblyError);
      continue;
    }
    Append(Lines, Text);
    Append(Lines, FileDataReport(Sections[k].Label1, Sections[k].Label2, Data));
  }
  return Joined(Lines);
}

std::string TSimpleFitness::Report() {
  std::vector<std::string> Lines{"Simple Fitness Analysis",
                                 std::string(23, '-'),
                                 "",
                                 "File T0.1 (Start_Ctrl) \t" + ExtractFileName(FileSet.Expected[0]),
                                 "File T0.2 (Start_Expt)\t" + ExtractFileName(FileSet.Expected[1]),
                                 "File T1.1 (Stop_Ctrl) \t" + ExtractFileName(FileSet.Observed[0]),
                                 "File T1.2 (Stop_Expt)\t" + ExtractFileName(FileSet.Observed[1]),
                                 ""};
  if (!FilesRead) {
    Lines.push_back(ReadError);
    return JoinLines(Lines);
  }
  const auto Row = [&](const std::string& Name, const auto& Value) {
    std::string Line = Name;
    for (size_t g = FitnessRows.size(); g-- > 0;) Line += Tab + Value(FitnessRows[g]);
    Lines.push_back(Line);
  };
  using R = TSimpleFitnessData;
  Row("Genotype", [](const R& r) { return r.Genotype; });
  Row("Fluorophore", [](const R& r) { return r.Fluorophore; });
  for (const auto& [Name, Field] :
       {std::pair{"Count_Ctrl_0", &R::Count_Ctrl_0}, std::pair{"Count_Ctrl_T", &R::Count_Ctrl_T},
        std::pair{"Count_Expt_0", &R::Count_Expt_0}, std::pair{"Count_Expt_T", &R::Count_Expt_T}})
    Row(Name, [F = Field](const R& r) { return IntToStr(r.*F); });
  for (const auto& [Name, Field] :
       {std::pair{"Freq_Ctrl_0", &R::Freq_Ctrl_0}, std::pair{"Freq_Ctrl_T", &R::Freq_Ctrl_T},
        std::pair{"Freq_Expt_0", &R::Freq_Expt_0}, std::pair{"Freq_Expt_T", &R::Freq_Expt_T}})
    Row(Name, [F = Field](const R& r) { return FormatFloat("0.00000", r.*F); });
  for (const auto& [Name, Field] : {std::pair{"R_Ctrl", &R::R_Ctrl}, std::pair{"R_Expt", &R::R_Expt},
                                    std::pair{"W_Ref", &R::W_Ref}, std::pair{"W_end", &R::W_end}})
    Row(Name, [F = Field](const R& r) { return FormatFloat("##0.00000", r.*F); });
  if (Bootstrapped) {
    static constexpr double TSkewMoment::*Fields[4] = {&TSkewMoment::Mean, &TSkewMoment::RMSDeviation,
                                                       &TSkewMoment::LowerSemiDeviation,
                                                       &TSkewMoment::UpperSemiDeviation};
    static constexpr const char* Suffixes[4] = {"BootMean", "BootDev", "BootDevL", "BootDevR"};
    for (const auto& [Name, Stats] : {std::pair{"R_Ctrl_", &R::R_Ctrl_Stats}, std::pair{"R_Expt_", &R::R_Expt_Stats},
                                      std::pair{"W_Ref_", &R::W_Ref_Stats}, std::pair{"W_end_", &R::W_end_Stats}})
      for (size_t q = 0; q < 4; ++q)
        Row(std::string(Name) + Suffixes[q],
            [S = Stats, F = Fields[q]](const R& r) { return FormatFloat("##0.00000", (r.*S).*F); });
  }
  Lines.push_back("");

  // The per-file tables of the analyses below, in the order control start, control stop,
  // experiment start, experiment stop.
  for (int32_t s : {static_cast<int32_t>(CtrlStart), static_cast<int32_t>(CtrlStop), static_cast<int32_t>(ExptStart),
                    static_cast<int32_t>(ExptStop)}) {
    T2IntArray Counts;
    DataOf(s).ClassCountsByFile(ProtocolOf(s), FileSet.ReportType, Counts);
    FFiles[static_cast<size_t>(s)] = FileFractions(Counts);
    FFiles[static_cast<size_t>(s)].Stats = FileFractionStatistics(FFiles[static_cast<size_t>(s)].Fractions);
  }
  Append(Lines, VarianceReport(1000));
  Append(Lines, AnovaReport());
  FFiles = {};
  return JoinLines(Lines);
}

}  // namespace qv
