#pragma once
// Array and record types shared by the support library and the engine.
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// Arithmetic runs in the widest type and is rounded to the stored width on every store.
using Extended = long double;

using TSglArray = std::vector<float>;
using T2SglArray = std::vector<TSglArray>;
using T3SglArray = std::vector<T2SglArray>;
using TMatrix = std::vector<TSglArray>;  // rows first

using TIntArray = std::vector<int32_t>;
using T2IntArray = std::vector<TIntArray>;
using T3IntArray = std::vector<T2IntArray>;

using TDblArray = std::vector<double>;
using T2DblArray = std::vector<TDblArray>;
using T3DblArray = std::vector<T2DblArray>;  // rows x columns x replicates

using TBoolArray = std::vector<bool>;
using TStringArray = std::vector<std::string>;

// Descriptive statistics of a series.
struct TMoment {
  double Mean = 0;
  double SD = 0;
  double Variance = 0;
  double ThirdMoment = 0;
  float Max = 0;
  float Min = 0;
  int32_t Count = 0;
};
using TMomentArray = std::vector<TMoment>;
using T2MomentArray = std::vector<TMomentArray>;

// Deviations about a centre, split below and above it.
struct TSkewMoment {
  double Mean = 0;
  double RMSDeviation = 0;
  double LowerSemiDeviation = 0;
  double UpperSemiDeviation = 0;
  int32_t Count = 0;
  int32_t CountLower = 0;
  int32_t CountUpper = 0;
};
using TSkewMomentArray = std::vector<TSkewMoment>;

}  // namespace qv
