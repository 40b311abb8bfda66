#pragma once
// The events of one genotype class as the means grid shows them: a title row of the channels'
// raw and compensated names, then one row per event of the class, last event first. Cells are
// formatted only when asked for, so a class of a million events costs no string per cell.
#include <QAbstractTableModel>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class TFCSData;

class TClassMeansModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;
  // The events whose class is ClassNumber; a class without events shows "No Data".
  void Fill(const TFCSData& Data, int32_t ClassNumber);
  void Clear();
  int64_t EventRows() const { return static_cast<int64_t>(FMembers.size()); }
  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  QString Cell(int Row, int Col) const;

 private:
  const TFCSData* FData = nullptr;
  std::vector<std::string> FTitles;  // empty for "No Data"
  std::vector<uint32_t> FMembers;    // event positions
  bool FFilled = false;
};

}  // namespace qv
