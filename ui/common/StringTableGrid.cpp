#include "common/StringTableGrid.h"

#include <QSignalBlocker>
#include <QTableWidget>

#include "Host.h"
#include "common/DataGridModels.h"

namespace qv {

void ShowTable(const StringTable& Table, QTableWidget* Grid) {
  const QSignalBlocker Block(Grid);
  Grid->setColumnCount(Table.ColCount());
  Grid->setRowCount(Table.RowCount());
  const QBrush Fixed = Grid->palette().button();
  for (int r = 0; r < Table.RowCount(); ++r)
    for (int c = 0; c < Table.ColCount(); ++c) {
      auto* Item = Grid->item(r, c);
      if (!Item) {
        Item = new QTableWidgetItem;
        Grid->setItem(r, c, Item);
      }
      Item->setText(QString::fromStdString(Table.Cell(c, r)));
      const bool IsFixed = r < Table.FixedRows || c < Table.FixedCols;
      Item->setFlags(IsFixed ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
      Item->setBackground(IsFixed ? Fixed : QBrush());
    }
  // The grids are small: every cell is measured, so titles and names show whole.
  FitColumnsToCells(*Grid);
}

StringTable ReadTable(const QTableWidget* Grid) {
  StringTable T;
  T.SetSize(Grid->columnCount(), Grid->rowCount());
  for (int r = 0; r < Grid->rowCount(); ++r)
    for (int c = 0; c < Grid->columnCount(); ++c)
      if (const auto* Item = Grid->item(r, c)) T.SetCell(c, r, Item->text().toStdString());
  return T;
}

}  // namespace qv
