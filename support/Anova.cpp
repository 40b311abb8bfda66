#include "Anova.h"

#include <vector>

#include "Errors.h"
#include "FloatStores.h"
#include "NumberFormat.h"
#include "Statistics.h"

namespace qv {

void TwoWayAnova(const T3DblArray& Data, TwoWayAnovaResult& Result) {
  using fp::Div;
  using fp::Double;
  TwoWayAnovaResult r;
  const int32_t a = static_cast<int32_t>(Data.size());
  const int32_t b = a > 0 ? static_cast<int32_t>(Data[0].size()) : 0;
  r.Rows = a;
  r.Columns = b;
  for (const T2DblArray& row : Data)
    if (static_cast<int32_t>(row.size()) != b) throw RangeCheckError();

  std::vector<int64_t> rowCount(a, 0), colCount(b, 0);
  std::vector<double> rowTotal(a, 0), colTotal(b, 0);
  int64_t count = 0;
  double grand = 0, squares = 0, sCells = 0;
  for (int32_t i = 0; i < a; ++i)
    for (int32_t j = 0; j < b; ++j) {
      const TDblArray& cell = Data[i][j];
      const int64_t n = static_cast<int64_t>(cell.size());
      count += n;
      rowCount[i] += n;
      colCount[j] += n;
      double total = 0, sumSquares = 0;
      for (double x : cell) {
        total = Double(Extended(total) + x);
        sumSquares = Double(Extended(sumSquares) + Extended(x) * x);
      }
      rowTotal[i] = Double(Extended(rowTotal[i]) + total);
      colTotal[j] = Double(Extended(colTotal[j]) + total);
      grand = Double(Extended(grand) + total);
      squares = Double(Extended(squares) + sumSquares);
      // An empty cell is 0 / 0 here: an invalid operation the caller reports.
      sCells = Double(sCells + Div(Extended(total) * total, n));
    }
  if (count > INT32_MAX) throw ERangeError("Integer overflow");
  r.Count = static_cast<int32_t>(count);

  const double correction = Double(Div(Extended(grand) * grand, count));
  double sRows = 0, sCols = 0;
  for (int32_t i = 0; i < a; ++i) sRows = Double(sRows + Div(Extended(rowTotal[i]) * rowTotal[i], rowCount[i]));
  for (int32_t j = 0; j < b; ++j) sCols = Double(sCols + Div(Extended(colTotal[j]) * colTotal[j], colCount[j]));

  r.SSTotal = Double(Extended(squares) - correction);
  r.SSCells = Double(Extended(sCells) - correction);
  r.SSRows = Double(Extended(sRows) - correction);
  r.SSColumns = Double(Extended(sCols) - correction);
  r.SSInteraction = Double(Extended(sCells) - sRows - sCols + correction);
  r.SSWithin = Double(Extended(squares) - sCells);

  r.DFRows = a - 1;
  r.DFColumns = b - 1;
  r.DFInteraction = (a - 1) * (b - 1);
  r.DFCells = a * b - 1;
  r.DFTotal = r.Count - 1;
  r.DFWithin = r.DFTotal - r.DFCells;

  auto meanSquare = [](double ss, int32_t df) { return df > 0 ? Double(Extended(ss) / df) : 0.0; };
  r.MSRows = meanSquare(r.SSRows, r.DFRows);
  r.MSColumns = meanSquare(r.SSColumns, r.DFColumns);
  r.MSInteraction = meanSquare(r.SSInteraction, r.DFInteraction);
  r.MSWithin = meanSquare(r.SSWithin, r.DFWithin);

  if (r.MSWithin > 0) {
    r.FRows = Double(Extended(r.MSRows) / r.MSWithin);
    r.FColumns = Double(Extended(r.MSColumns) / r.MSWithin);
    r.FInteraction = Double(Extended(r.MSInteraction) / r.MSWithin);
    r.PRows = FProbability(r.DFRows, r.DFWithin, r.FRows);
    r.PColumns = FProbability(r.DFColumns, r.DFWithin, r.FColumns);
    r.PInteraction = FProbability(r.DFInteraction, r.DFWithin, r.FInteraction);
  }
  Result = r;
}

void TwoWayAnovaReport(const TwoWayAnovaResult& Result, std::string& Text) {
  auto value = [](double v) { return FormatFloat("####0.000", v); };
  auto line = [&](const char* label, double ss, int32_t df, double ms, double f, double p) {
    return std::string(label) + "\t" + value(ss) + "\t" + IntToStr(df) + "\t" + value(ms) + "\t" +
           value(f) + "\t" + FormatFloat("0.0000E-", p);
  };
  const std::string lines[] = {
      "Two-Way ANOVA Analysis",
      "",
      "Category\tSS\tdf\tMS\t F \t P",
      "--------\t--\t--\t--\t---\t---",
      line("Group", Result.SSRows, Result.DFRows, Result.MSRows, Result.FRows, Result.PRows),
      line("Class", Result.SSColumns, Result.DFColumns, Result.MSColumns, Result.FColumns, Result.PColumns),
      line("Interaction", Result.SSInteraction, Result.DFInteraction, Result.MSInteraction,
           Result.FInteraction, Result.PInteraction),
      "Error\t" + value(Result.SSWithin) + "\t" + IntToStr(Result.DFWithin) + "\t" + value(Result.MSWithin) + "\t",
      "Total\t" + value(Result.SSTotal) + "\t" + IntToStr(int64_t(Result.Count) - 1) + "\t",
      "",
  };
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  Text = std::move(text);
}

}  // namespace qv
