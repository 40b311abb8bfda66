// Class make-up of a data set across its files (proportions, Z values, chi-square, SSD with
// resampled p values) and the chi-square of the channel peak fits.
#include "reports/ProportionReport.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <unordered_map>

#include "ClassPatterns.h"
#include "Errors.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"
#include "FloatStores.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "protocol/Protocol.h"
#include "Random.h"
#include "Statistics.h"

namespace qv {

namespace {

void CheckRows(const TStringArray& Table, size_t Rows) {
  if (Table.size() < Rows) throw RangeCheckError();
}

Extended Ratio(Extended A, Extended B) { return B == 0 ? 0 : A / B; }

}  // namespace

TProportionOptions TProportionOptions::FromSettings() {
  TProportionOptions Options;
  Options.CalculateSSDPvalues = qv::CalculateSSDPvalues;
  Options.SSDIterations = qv::SSDIterations;
  Options.MaxZValue = qv::MaxZValue;
  return Options;
}

void ClassProportionReport(const TReportEvents& Set, const TStringArray& Names, int32_t Column, bool ZReport,
                           char Separator, const TProportionOptions& Options, TStringArray& Table, Progress* Gauge) {
  PumpMessages(Gauge);
  BusyCursor Busy;
  const std::string Sep(1, Separator);
  const int32_t C = static_cast<int32_t>(Names.size());
  const int32_t H = C - 1;
  CheckRows(Table, static_cast<size_t>(C) + 1);
  const TStringArray Entry = Table;

  TIntArray Count;
  T2IntArray T;
  CountEventClasses(Set.Records, {C, Column}, Count, Gauge);
  if (const int64_t Files = std::max(Set.FileCount, 0); Files * C > MaxFileClassCells) {
    for (int32_t k = H; k >= 0; --k) Table[k + 1] += IntToStr(Count[k]) + Sep;
    Table.emplace_back();
    Table.push_back(Sep + "Counts per file are listed for at most " + IntToStr(MaxFileClassCells) +
                    " files x classes; this set has " + IntToStr(Files) + " files of " + IntToStr(C) + " classes");
    return;
  }
  SumFileClassCounts(Set.Records.Events, Set.MinFileIndex, Set.FileCount, {C, Column}, T, Gauge);
  const int32_t F = static_cast<int32_t>(T.size());

  for (int32_t k = H; k >= 0; --k) Table[k + 1] += IntToStr(Count[k]) + Sep;
  std::string FileHeader;
  for (int32_t f = 0; f < F; ++f) FileHeader += "File" + IntToStr(f) + Sep;
  Table[0] += FileHeader;
  for (int32_t f = 0; f < F; ++f)
    for (int32_t k = 0; k < C; ++k) Table[k + 1] += IntToStr(T[f][k]) + Sep;
  if (!ZReport) return;

  // Working copies: whatever they hold is appended even when the arithmetic fails.
  TStringArray A = Entry, B = Entry, Z = Entry;
  std::vector<TMoment> Stats(static_cast<size_t>(F));
  bool Suspect = false;
  std::exception_ptr Failure;
  try {
    int64_t Total = 0;
    for (int32_t k = 1; k <= H; ++k) Total += Count[k];
    TIntArray FileTotal(static_cast<size_t>(F), 0);
    for (int32_t f = 0; f < F; ++f)
      for (int32_t k = 1; k <= H; ++k) FileTotal[f] += T[f][k];

    TSglArray Frac(static_cast<size_t>(C));
    for (int32_t k = 0; k < C; ++k) Frac[k] = fp::Single(Ratio(Count[k], static_cast<Extended>(Total)));
    T2SglArray P(static_cast<size_t>(F), TSglArray(static_cast<size_t>(C))), Q = P, ZV = P;
    for (int32_t f = 0; f < F; ++f)
      for (int32_t k = 0; k < C; ++k) {
        P[f][k] = fp::Single(Ratio(T[f][k], FileTotal[f]));
        Q[f][k] = fp::Single(Ratio(T[f][k], Count[k]));
      }
    for (int32_t f = 0; f < F; ++f) {
      if (H >= 1) DescriptiveStatistics(TSglArray(Q[f].begin() + 1, Q[f].end()), {}, Stats[f]);
      for (int32_t k = 0; k < C; ++k)
        ZV[f][k] = Stats[f].SD > 0 ? fp::Single((Extended(Q[f][k]) - Stats[f].Mean) / Stats[f].SD) : 0.0f;
    }

    TDblArray SSD(static_cast<size_t>(F), 0), Chi(static_cast<size_t>(F), 0), ChiP(static_cast<size_t>(F), -1.0),
        AvgDist(static_cast<size_t>(F), 0);
    // Every pair of files up to the cap; beyond it only each file's mean distance, from the sums
    // of the make-ups over all files, so the table costs the files, not their pairs.
    const bool Pairs = F <= MaxFilesWithDistances;
    T2DblArray Dist(Pairs ? static_cast<size_t>(F) : 0, TDblArray(static_cast<size_t>(F), 0));
    std::vector<Extended> PSum, PSquares;
    if (!Pairs) {
      PSum.assign(static_cast<size_t>(C), 0);
      PSquares.assign(static_cast<size_t>(C), 0);
      for (int32_t g = 0; g < F; ++g)
        for (int32_t k = 1; k <= H; ++k) {
          PSum[k] += P[g][k];
          PSquares[k] += Extended(P[g][k]) * P[g][k];
        }
    }
    for (int32_t f = 0; f < F; ++f) {
      Extended Sum = 0;
      for (int32_t k = 1; k <= H; ++k) Sum += (Extended(P[f][k]) - Frac[k]) * (Extended(P[f][k]) - Frac[k]);
      SSD[f] = fp::Double(Sum);
      if (Pairs) {
        for (int32_t g = 0; g < F; ++g) {
          Extended D = 0;
          for (int32_t k = 1; k <= H; ++k) D += (Extended(P[f][k]) - P[g][k]) * (Extended(P[f][k]) - P[g][k]);
          Dist[f][g] = fp::Double(D);
        }
        Extended DistSum = 0;
        for (int32_t g = 0; g < F; ++g) DistSum += Dist[f][g];
        AvgDist[f] = fp::Double(DistSum / F);
      } else {
        Extended DistSum = 0;
        for (int32_t k = 1; k <= H; ++k) {
          const Extended Pk = P[f][k];
          DistSum += F * Pk * Pk - 2 * Pk * PSum[k] + PSquares[k];
        }
        AvgDist[f] = fp::Double(std::max<Extended>(DistSum / F, 0));
      }
      Extended X = 0;
      int32_t Used = 0;
      for (int32_t k = 1; k <= H; ++k) {
        const Extended E = Extended(FileTotal[f]) * Frac[k];
        if (!(E > 0)) continue;
        X += (T[f][k] - E) * (T[f][k] - E) / E;
        ++Used;
      }
      Chi[f] = fp::Double(X);
      ChiP[f] = Total > 1 ? ChiSquareProbability(Chi[f], Used - 1) : -1.0;
    }

    // Resampled SSD: how often a random draw of a file's size from the pooled set is further
    // from the pooled make-up than the file itself.
    const int32_t N = Options.SSDIterations;
    const bool Resampled = Options.CalculateSSDPvalues && N > 0 && Column == 2;
    TDblArray SSDMean(static_cast<size_t>(F), 0);
    TIntArray Hits(static_cast<size_t>(F), 0);
    if (Resampled)
      for (int32_t f = 0; f < F; ++f) {
        if (FileTotal[f] <= 0) {
          SSD[f] = 0;
          continue;
        }
        Extended SumS = 0;
        TIntArray Drawn;
        for (int32_t r = 0; r < N; ++r) {
          RandomClassSample(Set.Records.Events, C, Column, FileTotal[f], Drawn, Gauge);
          Extended S = 0;
          for (int32_t k = 1; k <= H; ++k) {
            const Extended D = Extended(Drawn[k]) / FileTotal[f] - Frac[k];
            S += D * D;
          }
          SumS += S;
          if (S > SSD[f]) ++Hits[f];
        }
        SSDMean[f] = fp::Double(SumS / N);
      }

    // The masks of the per-file columns are parsed once: a set may have thousands of files.
    const TFixedFormat Share("#0.0000"), Sum("###0.000"), Distance("##0.000");
    const std::string Header = "Class" + Sep + "Fraction" + Sep + FileHeader;
    CheckRows(A, static_cast<size_t>(C) + 1);
    A[0] = Header;
    for (int32_t k = 0; k < C; ++k) {
      Share.AppendTo(A[k + 1], Frac[k]);
      for (int32_t f = 0; f < F; ++f) {
        A[k + 1] += Sep;
        Share.AppendTo(A[k + 1], P[f][k]);
      }
    }
    const auto PerFile = [&](const std::string& Label, const TDblArray& Values) {
      std::string Line = Sep + Label + Sep;
      for (int32_t f = 0; f < F; ++f) {
        Sum.AppendTo(Line, Values[f]);
        Line += Sep;
      }
      A.push_back(Line);
    };
    A.emplace_back();
    PerFile("SSD", SSD);
    if (Resampled) {
      TDblArray PValues(static_cast<size_t>(F));
      for (int32_t f = 0; f < F; ++f) PValues[f] = static_cast<double>(Hits[f]) / N;
      PerFile("Mean", SSDMean);
      PerFile("P (" + IntToStr(N) + ")", PValues);
      PerFile("Chi", Chi);
      PerFile("ChiP", ChiP);
    }
    if (!Pairs)
      A.push_back(Sep + "Distances between files are listed for at most " + IntToStr(MaxFilesWithDistances) +
                  " files; the mean distance of each file follows");
    for (int32_t f = 0; f < F; ++f) {
      std::string Line = "File " + IntToStr(f) + Sep;
      Distance.AppendTo(Line, AvgDist[f]);
      Line += Sep;
      if (Pairs)
        for (int32_t g = 0; g < F; ++g) {
          Distance.AppendTo(Line, Dist[f][g]);
          Line += Sep;
        }
      A.push_back(Line);
    }

    B[0] = Header;
    for (int32_t k = 0; k < C; ++k)
      for (int32_t f = 0; f < F; ++f) {
        B[k + 1] += Sep;
        Share.AppendTo(B[k + 1], Q[f][k]);
      }

    Z[0] = "Class" + Sep + "Z Value" + Sep + FileHeader;
    for (int32_t k = 0; k < C; ++k)
      for (int32_t f = 0; f < F; ++f) {
        Z[k + 1] += Sep;
        Share.AppendTo(Z[k + 1], ZV[f][k]);
      }

    // Only an excess on a genotype class is suspicious; class 0 and low values are not.
    for (int32_t f = 0; f < F; ++f)
      for (int32_t k = 1; k < C; ++k)
        if (ZV[f][k] > Options.MaxZValue) Suspect = true;
  } catch (...) {
    Failure = std::current_exception();
  }

  const auto Add = [&](const TStringArray& Lines) { Table.insert(Table.end(), Lines.begin(), Lines.end()); };
  Table.emplace_back();
  Table.push_back("Proportion of total cell counts as a function of the Fluor");
  Table.emplace_back();
  Add(A);
  Table.emplace_back();
  Table.push_back("Proportion of total cell counts as a function of the File");
  Table.emplace_back();
  Add(B);
  Table.emplace_back();
  std::string MeanLine = Sep + "Mean" + Sep, DevLine = Sep + "Dev" + Sep;
  const TFixedFormat Moment("#0.0000");
  for (int32_t f = 0; f < F; ++f) {
    Moment.AppendTo(MeanLine, Stats[f].Mean);
    MeanLine += Sep;
    Moment.AppendTo(DevLine, Stats[f].SD);
    DevLine += Sep;
  }
  Table.push_back(MeanLine);
  Table.push_back(DevLine);
  Table.emplace_back();
  Table.push_back("Z Values for each proportions relative to respective means");
  Table.emplace_back();
  Add(Z);
  Table.push_back(Suspect ? "**** THERE ARE SUSPICIOUSLY HIGH Z VALUES; DATA MAY BE SUSPECT ****"
                          : "All Z values are within the acceptable range");
  if (Failure) std::rethrow_exception(Failure);
}

void CountCalledChannels(const TFCSLineArray& Events, const TProtocol& Protocol, TIntArray& Counts) {
  const int32_t N = Protocol.ChannelCount();
  Counts.assign(static_cast<size_t>(N), 0);
  for (size_t i = Events.size(); i-- > 0;) {
    const auto Called = Events[i].Called();
    const int32_t M = std::min<int32_t>(N, static_cast<int32_t>(Called.size()));
    for (int32_t c = 0; c < M; ++c)
      if (Called[c]) ++Counts[c];
  }
}

void ChannelChiReport(const TFCSLineArray& Events, const std::vector<std::unique_ptr<TDetector>>& PeakDetectors,
                      const TProtocol& Protocol, char Separator, TStringArray& Table, Progress* Gauge) {
  const auto GetPeakDetector = [&PeakDetectors](int32_t Index) -> const TDetector* {
    return Index >= 0 && static_cast<size_t>(Index) < PeakDetectors.size() ? PeakDetectors[Index].get() : nullptr;
  };
  PumpMessages(Gauge);
  const std::string Sep(1, Separator);
  const int32_t N = Protocol.ChannelCount();
  CheckRows(Table, static_cast<size_t>(N) + 1);
  TIntArray Called;
  CountCalledChannels(Events, Protocol, Called);
  for (int32_t c = N - 1; c >= 0; --c) Table[c + 1] += IntToStr(Called[c]) + Sep;
  // A set without detectors has no fits to report. The header names the series by what they
  // hold, not by the channel they all share.
  static const char* const FitSeriesNames[] = {"All", "Thresh", "GblZ", "FlZ"};
  if (const TDetector* First = N > 0 ? GetPeakDetector(0) : nullptr)
    for (int32_t i = 0; i < First->SeriesCount; ++i) {
      if (i >= static_cast<int32_t>(std::size(FitSeriesNames))) throw RangeCheckError();
      Table[0] += std::string("Chi_") + FitSeriesNames[i] + Sep + "P" + Sep;
    }
  for (int32_t c = N - 1; c >= 0; --c) {
    const TDetector* D = GetPeakDetector(c);
    if (!D) continue;
    for (int32_t i = 0; i < D->SeriesCount; ++i) {
      const float Chi = D->GetChi(i);
      if (Called[c] != 0 && Chi > -1.0f)
        Table[c + 1] += FormatFloat("##0.000", Chi) + Sep + FormatFloatByMagnitude("0.00e-", "0.00", 0.01, D->GetChiP(i)) + Sep;
      else
        Table[c + 1] += FormatFloat("#0.0", Chi) + Sep + "na" + Sep;
    }
  }
}

void RandomClassSample(const TFCSLineArray& Events, int32_t Classes, int32_t Column, int32_t N, TIntArray& Counts,
                       Progress* Gauge) {
  PumpMessages(Gauge);
  CheckClassColumn(Column);
  const int32_t C = std::max(Classes, 0);
  Counts.assign(static_cast<size_t>(C), 0);
  if (C == 0) return;
  // Sparse Fisher-Yates: only the swapped slots of the virtual permutation are stored, so one
  // call costs its draws, not the size of the set.
  const int32_t M = static_cast<int32_t>(Events.size());
  std::unordered_map<int32_t, int32_t> Swapped;
  const auto At = [&](int32_t I) {
    const auto Found = Swapped.find(I);
    return Found == Swapped.end() ? I : Found->second;
  };
  int32_t Counted = 0;
  for (int32_t Left = M; Left > 0 && Counted < N; --Left) {
    const int32_t Pick = RandomInt(Left);
    const int32_t Event = At(Pick);
    Swapped[Pick] = At(Left - 1);
    const int32_t Class = Events[static_cast<size_t>(Event)].Classes()[static_cast<size_t>(Column)];
    if (Class < 1) continue;
    if (Class >= C) throw RangeCheckError();
    ++Counts[Class];
    ++Counted;
  }
}

void TFCSData::ProportionReport(const TStringArray& Names, TStringArray& Table, char Separator, int32_t Column,
                                bool ZReport, Progress* Gauge) {
  ClassProportionReport({{Events, ShortLines}, MinFileIndex, FileCount}, Names, Column, ZReport, Separator,
                        TProportionOptions::FromSettings(), Table, Gauge);
}

void TFCSData::ChannelStats(const TProtocol& Protocol, TIntArray& Counts) const {
  CountCalledChannels(Events, Protocol, Counts);
}

void TFCSData::ChiReport(const TProtocol& Protocol, TStringArray& Table, char Separator, Progress* Gauge) const {
  ChannelChiReport(Events, PeakDetectors, Protocol, Separator, Table, Gauge);
}

void TFCSData::RandomSample(const TStringArray& Names, int32_t Column, int32_t N, TIntArray& Counts,
                            Progress* Gauge) const {
  RandomClassSample(Events, static_cast<int32_t>(Names.size()), Column, N, Counts, Gauge);
}

}  // namespace qv
