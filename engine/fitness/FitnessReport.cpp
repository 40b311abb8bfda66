// The fitness report: tab-separated sections of result sets. The correlation reads saved reports
// back, so numbers are always written with "." whatever the process-wide separator.
#include <string>

#include "Files.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "fitness/FitnessCalculator.h"
#include "fitness/FitnessShared.h"

namespace qv {

namespace {

const std::string Tab = "\t";
const std::string Stars(63, '*');

std::string Num(Extended Value) { return FormatFloatDot("0.0000", Value); }

void Add(std::string& Text, const std::string& Line) { Text += Line + "\r\n"; }

}  // namespace

void TFitnessCalculator::Report(const TFitnessData& Data, bool WithTitle, std::string& Text) const {
  Text.clear();
  if (WithTitle) Add(Text, "Quorvenal Fitness Report");
  const int32_t Mode = DeconvolutionMode == 0 ? 0 : 1;
  const int32_t Kind = CountKind >= 0 && CountKind <= 2 ? CountKind : 1;
  Add(Text, std::string("Fitness Calculation using ") + DeconvolutionNames[Mode] + " in " + ClassifyModeNames[Kind]);
  Add(Text, "");
  for (int32_t t = 0; t < 2; ++t) {
    Add(Text, "Expected " + IntToStr(t + 1) + " : " + FileBaseName(FileSet.Expected[t]));
    Add(Text, "Observed " + IntToStr(t + 1) + " : " + FileBaseName(FileSet.Observed[t]));
  }
  Add(Text, "");
  if (!Data.Valid) {
    Add(Text, "Fitness calculation failed" + (Data.FailReason.empty() ? std::string() : ": " + Data.FailReason));
    return;
  }
  const int32_t n = Data.ClassCount;
  const auto& G1 = Data.GenotypeNames[0];
  const auto& G2 = Data.GenotypeNames[1];

  Add(Text, "Strain Fitness Values" + Tab + IntToStr(n));
  Add(Text, "---\t1\t1\t1\t1\t1\t1\t1\t2\t2\t2\t2\t2\t2\t2\t");
  Add(Text, "Fluor\tGtype\tExp#\tObs#\tExp%\tObs%\tW\tlnW\tGtype\tExp#\tObs#\tExp%\tObs%\tW\tlnW\t");
  for (int32_t k = n - 1; k >= 0; --k) {
    std::string Row = Data.FluorNames[k] + Tab;
    for (int32_t t = 0; t < 2; ++t)
      Row += Data.GenotypeNames[t][k] + Tab + IntToStr(Data.ExpectedCounts[t][k + 1]) + Tab +
             IntToStr(Data.ObservedCounts[t][k + 1]) + Tab + Num(Data.ExpectedFractions[t][k]) + Tab +
             Num(Data.ObservedFractions[t][k]) + Tab + Num(Data.W[t][k]) + Tab + Num(Data.LnW[t][k]) + Tab;
    Add(Text, Row);
  }
  Add(Text, "");

  Add(Text, "Genotype Fitness Values");
  std::string Head = "----\t----\t----\t";
  for (int32_t s = n - 1; s >= 0; --s) Head += G1[s] + Tab + G1[s] + Tab;
  Add(Text, Head);
  Head = "Mix_GType\tDlnW\tGType\t";
  for (int32_t s = 0; s < n; ++s) Head += "LnW\tWfinal\t";
  Add(Text, Head + "GType\tAvgW");
  for (int32_t k = n - 1; k >= 0; --k) {
    std::string Row = G1[k] + "-" + G2[k] + Tab + Num(Data.DlnW[k][0]) + Tab + G1[k] + Tab;
    for (int32_t s = n - 1; s >= 0; --s) Row += Num(Data.LogFitness[s][k][0]) + Tab + Num(Data.Wfinal[s][k]) + Tab;
    Add(Text, Row + G1[k] + Tab + Num(Data.AvgW[k]));
  }
  Add(Text, "");

  Add(Text, "Fluor Fitness Values");
  Add(Text, "Fluor\tAvgW1\tAvgW2\tMeanW");
  for (int32_t k = n - 1; k >= 0; --k)
    Add(Text, Data.FluorNames[k] + Tab + Num(Data.AvgW1[k]) + Tab + Num(Data.AvgW2[k]) + Tab + Num(Data.MeanW[k]));

  if (!Resample || &Data != Merged.get()) return;
  const size_t N = static_cast<size_t>(n);
  const bool HaveStats = Data.GenotypeStats.size() == N && Data.FluorStats.size() == N &&
                         Data.StrainStats[0].size() == N && Data.StrainStats[1].size() == N;
  if (!HaveStats) {
    Add(Text, "");
    Add(Text, "Bootstrap variance not calculated: " + IntToStr(UsedIterations) + " of " + IntToStr(Iterations) +
                  " iterations could be calculated, and at least 2 are needed");
    return;
  }
  Add(Text, "");
  Add(Text, Stars);
  Add(Text, "Bootstrap variance calculation using " + IntToStr(Iterations) + " iterations");
  Add(Text, Stars);
  Add(Text, "");
  Add(Text, "Strain1\tFitness\tMean\tDeviation\tStrain2\tFitness\tMean\tDeviation");
  for (int32_t k = n - 1; k >= 0; --k) {
    std::string Row;
    for (int32_t t = 0; t < 2; ++t) {
      const TMoment& S = Data.StrainStats[t][k];
      Row += (t ? Tab : "") + Data.GenotypeNames[t][k] + "/" + Data.FluorNames[k] + Tab + Num(Data.W[t][k]) + Tab +
             Num(S.Mean) + Tab + Num(S.SD);
    }
    Add(Text, Row);
  }
  Add(Text, "");
  Add(Text, "Genotype\tFitness\tMean\tDeviation\tFlour\tFitness\tMean\tDeviation");
  for (int32_t k = n - 1; k >= 0; --k) {
    const TMoment& Gs = Data.GenotypeStats[k];
    const TMoment& Fs = Data.FluorStats[k];
    const Extended Fluor = (static_cast<Extended>(Data.AvgW1[k]) + Data.AvgW2[k]) / 2;
    Add(Text, G1[k] + Tab + Num(Data.AvgW[k]) + Tab + Num(Gs.Mean) + Tab + Num(Gs.SD) + Tab + Data.FluorNames[k] + Tab +
                  Num(Fluor) + Tab + Num(Fs.Mean) + Tab + Num(Fs.SD));
  }
}

void TFitnessCalculator::ReportAll(bool WithSingles, bool WithPairs, std::string& Text) const {
  Text.clear();
  if (!FilesRead) return;
  std::string Section;
  Report(*Merged, true, Text);
  if (WithSingles)
    for (int32_t t = 0; t < 2; ++t)
      for (size_t i = SinglePlates[t].size(); i-- > 0;) {
        Text += "\r\nSingle plate #" + IntToStr(static_cast<int64_t>(i)) + " within set " + IntToStr(t + 1) +
                " holding other set as a merged constant";
        Report(*SinglePlates[t][i], false, Section);
        Text += "\r\n";
        Text += Section;
      }
  if (WithPairs)
    for (size_t i = PlatePairs.size(); i-- > 0;)
      for (size_t j = PlatePairs[i].size(); j-- > 0;) {
        Text += "\r\nSingle data : plate #" + IntToStr(static_cast<int64_t>(i)) + " in set 1 and plate #" +
                IntToStr(static_cast<int64_t>(j)) + " in set 2";
        Report(*PlatePairs[i][j], false, Section);
        Text += "\r\n";
        Text += Section;
      }
}

}  // namespace qv
