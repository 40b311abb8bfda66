#pragma once
// How each channel's compensated values are spread over equal log bins of its Z-scoring value
// window, per source file of a data set: counts, fractions and a chi-square per file against the
// pooled fractions.
#include <cstdint>
#include <string>

#include "Types.h"

namespace qv {

class TProtocol;
class TFCSLineArray;

class TVariability {
 public:
  TVariability() { SetSize(0, 0, 0); }
  // Posts the refresh notification.
  ~TVariability();
  TVariability(const TVariability&) = delete;
  TVariability& operator=(const TVariability&) = delete;

  // Discards the previous results and bins every event (filtered and gated-out ones included).
  // Throws, leaving no results, when a channel's window cannot be binned (a limit of 0 or below,
  // a maximum not above the minimum, fewer than one bin; the message names the channel), when an
  // event has no compensated values, or when a file index is negative.
  void Run(const TProtocol& Protocol, const TFCSLineArray& Events, int32_t ABinCount);
  // Highest file index + 1; 1 without events.
  static int32_t PlateCountOf(const TFCSLineArray& Events);
  void SetSize(int32_t AChannelCount, int32_t ABinCount, int32_t APlateCount);
  void Prepare(const TProtocol& Protocol);
  void Accumulate(const TFCSLineArray& Events);
  // Lines ended CR LF, columns separated by Separator.
  void Report(char Separator, std::string& Text) const;

  int32_t BinCount = 0;
  int32_t ChannelCount = 0;
  int32_t PlateCount = 0;
  T2SglArray BinLowerLimits;
  T2IntArray Counts;
  T3IntArray CountsByPlate;  // [channel][bin][plate]
  T2IntArray PlateTotals;    // [channel][plate]
  TStringArray ChannelNames;
  TSglArray LogLow;
  TSglArray LogHigh;
  TSglArray BinWidth;
  TIntArray BelowCount;
  TIntArray AboveCount;
  T2IntArray BelowByPlate;
  T2IntArray AboveByPlate;
  T2SglArray Fractions;
  T3SglArray FractionsByPlate;
  TSglArray BelowFraction;
  TSglArray AboveFraction;
  T2SglArray BelowFractionByPlate;
  T2SglArray AboveFractionByPlate;
};

}  // namespace qv
