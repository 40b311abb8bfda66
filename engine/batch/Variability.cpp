#include "batch/Variability.h"

#include <algorithm>
#include <cmath>

#include "dataset/Event.h"
#include "Errors.h"
#include "Host.h"
#include "NumberFormat.h"
#include "protocol/Protocol.h"

namespace qv {

TVariability::~TVariability() {
  SetSize(0, 0, 0);
  PostRefresh();
}

int32_t TVariability::PlateCountOf(const TFCSLineArray& Events) {
  int32_t Highest = 0;
  for (size_t i = 0; i < Events.size(); ++i) Highest = std::max(Highest, Events[i].FileIndex());
  return Highest + 1;
}

void TVariability::SetSize(int32_t AChannelCount, int32_t ABinCount, int32_t APlateCount) {
  ChannelCount = std::max(AChannelCount, 0);
  BinCount = std::max(ABinCount, 0);
  PlateCount = std::max(APlateCount, 0);
  const size_t C = static_cast<size_t>(ChannelCount), B = static_cast<size_t>(BinCount),
               P = static_cast<size_t>(PlateCount);
  BinLowerLimits.assign(C, TSglArray(B, 0.0f));
  Counts.assign(C, TIntArray(B, 0));
  CountsByPlate.assign(C, T2IntArray(B, TIntArray(P, 0)));
  PlateTotals.assign(C, TIntArray(P, 0));
  ChannelNames.assign(C, std::string());
  LogLow.assign(C, 0.0f);
  LogHigh.assign(C, 0.0f);
  BinWidth.assign(C, 0.0f);
  BelowCount.assign(C, 0);
  AboveCount.assign(C, 0);
  BelowByPlate.assign(C, TIntArray(P, 0));
  AboveByPlate.assign(C, TIntArray(P, 0));
  Fractions.assign(C, TSglArray(B, 0.0f));
  FractionsByPlate.assign(C, T2SglArray(B, TSglArray(P, 0.0f)));
  BelowFraction.assign(C, 0.0f);
  AboveFraction.assign(C, 0.0f);
  BelowFractionByPlate.assign(C, TSglArray(P, 0.0f));
  AboveFractionByPlate.assign(C, TSglArray(P, 0.0f));
}

void TVariability::Run(const TProtocol& Protocol, const TFCSLineArray& Events, int32_t ABinCount) {
  try {
    SetSize(Protocol.ChannelCount(), ABinCount, PlateCountOf(Events));
    Prepare(Protocol);
    Accumulate(Events);
  } catch (...) {
    // A failed run leaves no half-filled table behind.
    SetSize(0, 0, 0);
    throw;
  }
}

void TVariability::Prepare(const TProtocol& Protocol) {
  if (BinCount < 1) throw ERangeError("Variability needs at least one bin per channel");
  for (int32_t c = ChannelCount - 1; c >= 0; --c) {
    const TChannel& Channel = *Protocol.GetChannel(c);
    const float Min = Channel.Minimum_Value_ZScore, Max = Channel.MaximumValue_ZScore;
    const auto Refuse = [&] {
      throw EArithmetic("Channel " + Channel.ChannelName + ": its Z-scoring value window " + FloatToStr(Min) +
                        " .. " + FloatToStr(Max) + " cannot be binned; both limits must be above 0 and the " +
                        "maximum above the minimum");
    };
    if (!(Min > 0) || !(Max > 0) || !(Max > Min)) Refuse();
    const float Lo = static_cast<float>(std::log10(static_cast<Extended>(Min)));
    const float Hi = static_cast<float>(std::log10(static_cast<Extended>(Max)));
    const float Width = static_cast<float>((static_cast<Extended>(Hi) - Lo) / BinCount);
    // Limits a hair apart give one float logarithm and no width to divide by.
    if (!(Width > 0)) Refuse();
    ChannelNames[c] = Channel.ChannelName;
    LogLow[c] = Lo;
    LogHigh[c] = Hi;
    BinWidth[c] = Width;
    for (int32_t k = 0; k < BinCount; ++k)
      BinLowerLimits[c][k] = static_cast<float>(static_cast<Extended>(k) * Width + Lo);
  }
}

void TVariability::Accumulate(const TFCSLineArray& Events) {
  if (Events.ChannelCount() < ChannelCount) throw RangeCheckError();
  // Checked before anything is counted, so an unusable set leaves every count at 0.
  for (size_t i = 0; i < Events.size(); ++i) {
    const TFCSLine E = Events[i];
    if (E.FileIndex() < 0 || E.FileIndex() >= PlateCount) throw RangeCheckError();
    if (!E.HasCompValues())
      throw ERangeError("Variability needs compensated values; the data set has events without them");
  }
  for (size_t i = Events.size(); i-- > 0;) {
    const TFCSLine E = Events[i];
    const size_t p = static_cast<size_t>(E.FileIndex());
    const auto Values = E.LogCompValues();
    for (int32_t c = ChannelCount - 1; c >= 0; --c) {
      // The bin is decided before it becomes an integer, so far-off values cannot overflow it.
      const Extended Q = (static_cast<Extended>(Values[c]) - LogLow[c]) / BinWidth[c];
      if (Q <= -1) {
        ++BelowCount[c];
        ++BelowByPlate[c][p];
      } else if (Q >= BinCount) {
        ++AboveCount[c];
        ++AboveByPlate[c][p];
      } else {
        const int32_t Bin = static_cast<int32_t>(Q);
        ++Counts[c][Bin];
        ++CountsByPlate[c][Bin][p];
      }
    }
  }
  for (int32_t c = ChannelCount - 1; c >= 0; --c) {
    int64_t Total = 0;
    for (int32_t k = 0; k < BinCount; ++k) Total += Counts[c][k];
    const auto Fraction = [](int64_t Count, int64_t Of) {
      return static_cast<float>(static_cast<Extended>(Count) / static_cast<Extended>(Of));
    };
    if (Total >= 1) {
      for (int32_t k = 0; k < BinCount; ++k) Fractions[c][k] = Fraction(Counts[c][k], Total);
      BelowFraction[c] = Fraction(BelowCount[c], Total);
      AboveFraction[c] = Fraction(AboveCount[c], Total);
    }
    for (int32_t p = PlateCount - 1; p >= 0; --p) {
      int64_t G = 0;
      for (int32_t k = 0; k < BinCount; ++k) G += CountsByPlate[c][k][p];
      PlateTotals[c][p] = static_cast<int32_t>(G);
      if (G < 1) continue;
      for (int32_t k = 0; k < BinCount; ++k) FractionsByPlate[c][k][p] = Fraction(CountsByPlate[c][k][p], G);
      BelowFractionByPlate[c][p] = Fraction(BelowByPlate[c][p], G);
      AboveFractionByPlate[c][p] = Fraction(AboveByPlate[c][p], G);
    }
  }
}

void TVariability::Report(char Separator, std::string& Text) const {
  const std::string S(1, Separator);
  const TFixedFormat Limit("###0.0"), Share("##0.000"), ChiSq("###0.00");
  std::vector<std::string> Lines;
  const auto BinHeadings = [&] {
    std::string H;
    for (int32_t k = 1; k <= BinCount; ++k) H += "Bin_" + IntToStr(k) + S;
    return H;
  };
  Lines.push_back("****** Channel Counts of Compensated Values ******");
  Lines.emplace_back();
  for (int32_t c = ChannelCount - 1; c >= 0; --c) {
    const std::string Limits = Limit(std::pow(10.0L, static_cast<Extended>(LogLow[c]))) + S +
                               Limit(std::pow(10.0L, static_cast<Extended>(LogHigh[c]))) + S;
    Lines.push_back("Name" + S + "File" + S + "Min" + S + "Max" + S + "Low" + S + BinHeadings() + "High");
    std::string Row = ChannelNames[c] + S + "ALL" + S + Limits + IntToStr(BelowCount[c]) + S;
    for (int32_t k = 0; k < BinCount; ++k) Row += IntToStr(Counts[c][k]) + S;
    Lines.push_back(Row + IntToStr(AboveCount[c]));
    for (int32_t p = 0; p < PlateCount; ++p) {
      Row = ChannelNames[c] + S + "File_" + IntToStr(p) + S + Limits + IntToStr(BelowByPlate[c][p]) + S;
      for (int32_t k = 0; k < BinCount; ++k) Row += IntToStr(CountsByPlate[c][k][p]) + S;
      Lines.push_back(Row + IntToStr(AboveByPlate[c][p]));
    }
    Lines.emplace_back();
  }
  Lines.push_back("****** Channel Fractions of Compensated Values ******");
  Lines.emplace_back();
  std::vector<double> PlateChi(static_cast<size_t>(PlateCount), 0.0);
  for (int32_t c = ChannelCount - 1; c >= 0; --c) {
    Lines.push_back("Name" + S + "Plate" + S + "Low" + S + BinHeadings() + "High" + S + "Chi-Sq");
    std::string Row = ChannelNames[c] + S + "ALL" + S + Share(BelowFraction[c]) + S;
    for (int32_t k = 0; k < BinCount; ++k) Row += Share(Fractions[c][k]) + S;
    Lines.push_back(Row + Share(AboveFraction[c]));
    for (int32_t p = 0; p < PlateCount; ++p) {
      Row = ChannelNames[c] + S + "File_" + IntToStr(p) + S + Share(BelowFractionByPlate[c][p]) + S;
      double Chi = 0;
      for (int32_t k = 0; k < BinCount; ++k) {
        Row += Share(FractionsByPlate[c][k][p]) + S;
        const double Expected = static_cast<double>(PlateTotals[c][p]) * static_cast<double>(Fractions[c][k]);
        if (Expected != 0) {
          const double Diff = CountsByPlate[c][k][p] - Expected;
          Chi += Diff * Diff / Expected;
        }
      }
      PlateChi[p] += Chi;
      Lines.push_back(Row + Share(AboveFractionByPlate[c][p]) + S + ChiSq(Chi));
    }
    Lines.emplace_back();
  }
  Lines.push_back("Total Chi-Sq");
  for (int32_t p = 0; p < PlateCount; ++p) Lines.push_back("File_" + IntToStr(p) + S + ChiSq(PlateChi[p]));
  Text.clear();
  for (const std::string& Line : Lines) Text += Line + "\r\n";
}

}  // namespace qv
