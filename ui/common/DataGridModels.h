#pragma once
// Views of the raw and processed events that format a cell only when it is drawn, so grids of
// a million events cost no string per cell; and column widths that show the grids' titles whole.
#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "Host.h"

class QTableView;

namespace qv {

// Widens each column of View to show whole the cells of its first Rows rows (every row when Rows
// is negative); no column is narrower than the header's default section size.
void FitColumnsToCells(QTableView& View, int Rows = -1);
// The same for the first TitleRows rows each time View's model is reset (filled anew): the title
// rows of a grid of many events, whose other cells are not measured.
void FitColumnsOnReset(QTableView& View, int TitleRows);

class TFCSFile;
class TFCSData;
class TProtocol;

// The raw events of one FCS file: row 0 the short names, row 1 the long names, then at most
// MaxRows events; column 0 holds the row titles "Parameter" and "Name".
class TRawDataModel : public QAbstractTableModel {
 public:
  static constexpr int64_t MaxRows = 100000;
  using QAbstractTableModel::QAbstractTableModel;
  void Fill(const TFCSFile& File);
  void Clear();
  int64_t EventRows() const { return FRows; }
  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  QString Cell(int Row, int Col) const;
  // The cells as the engine's grid: fixed row and column included.
  StringTable ToTable() const;

 private:
  std::vector<std::string> FShort, FLong;
  std::vector<float> FValues;  // FRows x FCols, rows first
  int64_t FRows = 0;
  int FCols = 0;
};

// The events of a data set as the engine's event grid shows them: a title row, then one row per
// shown event (filtered ones only when asked for), numbered from 1.
class TProcessedModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;
  void Fill(const TFCSData& Data, const TProtocol& Protocol, bool IncludeFiltered);
  void Clear();
  int64_t EventRows() const { return static_cast<int64_t>(FShown.size()); }
  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  QString Cell(int Row, int Col) const;

 private:
  const TFCSData* FData = nullptr;
  std::vector<std::string> FTitles;
  std::vector<uint32_t> FShown;  // event positions
  mutable StringTable FRow;       // the last formatted row
  mutable int FRowShown = -1;
};

}  // namespace qv
