#pragma once
// The two-way analysis of variance of a table of replicate cells, and its report.
#include <cstdint>
#include <string>

#include "Types.h"

namespace qv {

struct TwoWayAnovaResult {
  int32_t Rows = 0;
  int32_t Columns = 0;
  int32_t Count = 0;
  double SSTotal = 0;
  double SSCells = 0;
  double SSRows = 0;
  double SSColumns = 0;
  double SSInteraction = 0;
  double SSWithin = 0;
  int32_t DFRows = 0;
  int32_t DFColumns = 0;
  int32_t DFInteraction = 0;
  int32_t DFWithin = 0;
  int32_t DFCells = 0;
  int32_t DFTotal = 0;
  double MSWithin = 0;
  double MSRows = 0;
  double MSColumns = 0;
  double MSInteraction = 0;
  double FRows = 0;
  double FColumns = 0;
  double FInteraction = 0;
  double PRows = 0;
  double PColumns = 0;
  double PInteraction = 0;
};

// Data is indexed [row][column][replicate]; cells may differ in size. An empty table or cell
// throws EArithmetic, rows of unequal length throw ERangeError.
void TwoWayAnova(const T3DblArray& Data, TwoWayAnovaResult& Result);
// Ten lines, each ended by CR LF; rows are reported as "Group", columns as "Class".
void TwoWayAnovaReport(const TwoWayAnovaResult& Result, std::string& Text);

}  // namespace qv
