#include "common/DataGridModels.h"

#include <QHeaderView>
#include <QTableView>
#include <algorithm>

#include "NumberFormat.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {
QString Q(const std::string& Text) { return QString::fromStdString(Text); }
}  // namespace

void FitColumnsToCells(QTableView& View, int Rows) {
  const QAbstractItemModel* Model = View.model();
  if (!Model) return;
  const int Measured = Rows < 0 ? Model->rowCount() : std::min(Rows, Model->rowCount());
  const int Default = View.horizontalHeader()->defaultSectionSize();
  const int Grid = View.showGrid() ? 1 : 0;
  for (int c = 0; c < Model->columnCount(); ++c) {
    int Width = Default;
    for (int r = 0; r < Measured; ++r) Width = std::max(Width, View.sizeHintForIndex(Model->index(r, c)).width() + Grid);
    View.setColumnWidth(c, Width);
  }
}

void FitColumnsOnReset(QTableView& View, int TitleRows) {
  // Connected after the header's own answer to the reset, which gives every column the default.
  QObject::connect(View.model(), &QAbstractItemModel::modelReset, &View,
                   [&View, TitleRows] { FitColumnsToCells(View, TitleRows); });
}

void TRawDataModel::Fill(const TFCSFile& File) {
  beginResetModel();
  FCols = File.ParameterCount;
  FRows = std::min<int64_t>(MaxRows, static_cast<int64_t>(File.Events.size()));
  FShort.assign(FCols, {});
  FLong.assign(FCols, {});
  for (int i = 0; i < FCols; ++i) {
    File.GetParameterShortName(i, FShort[i]);
    File.GetParameterLongName(i, FLong[i]);
  }
  FValues.assign(static_cast<size_t>(FRows) * FCols, 0.0f);
  for (int64_t r = 0; r < FRows; ++r) {
    const std::span<const float> Row = File.Events[static_cast<size_t>(r)];
    std::copy_n(Row.begin(), std::min<size_t>(Row.size(), FCols), FValues.begin() + r * FCols);
  }
  endResetModel();
}

void TRawDataModel::Clear() {
  beginResetModel();
  FShort.clear();
  FLong.clear();
  FValues.clear();
  FRows = 0;
  FCols = 0;
  endResetModel();
}

int TRawDataModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() || FCols == 0 ? 0 : static_cast<int>(FRows + 2);
}
int TRawDataModel::columnCount(const QModelIndex& Parent) const { return Parent.isValid() || FCols == 0 ? 0 : FCols + 1; }

QString TRawDataModel::Cell(int Row, int Col) const {
  if (Row < 0 || Col < 0 || Row >= rowCount() || Col >= columnCount()) return {};
  if (Col == 0) return Row == 0 ? QString("Parameter") : Row == 1 ? QString("Name") : QString();
  if (Row == 0) return Q(FShort[Col - 1]);
  if (Row == 1) return Q(FLong[Col - 1]);
  static const TFixedFormat Format("######0");
  return Q(Format(FValues[static_cast<size_t>(Row - 2) * FCols + (Col - 1)]));
}

QVariant TRawDataModel::data(const QModelIndex& Index, int Role) const {
  if (Role != Qt::DisplayRole || !Index.isValid()) return {};
  return Cell(Index.row(), Index.column());
}

StringTable TRawDataModel::ToTable() const {
  StringTable Table;
  Table.SetSize(columnCount(), rowCount());
  Table.FixedRows = 2;
  Table.FixedCols = 1;
  for (int r = 0; r < rowCount(); ++r)
    for (int c = 0; c < columnCount(); ++c) Table.SetCell(c, r, Cell(r, c).toStdString());
  return Table;
}

void TProcessedModel::Fill(const TFCSData& Data, const TProtocol& Protocol, bool IncludeFiltered) {
  beginResetModel();
  FData = &Data;
  FRowShown = -1;
  FShown.clear();
  FTitles.clear();
  const int32_t NG = Data.Events.GateCount(), NC = Data.Events.ChannelCount();
  if (!Data.Events.empty()) {
    FTitles.push_back("Index");
    for (int32_t g = 0; g < NG; ++g) {
      const TGlobalGate* Gate = Protocol.GetGate(g);
      FTitles.push_back(Gate ? Gate->Name : std::string());
    }
    for (const char* Suffix : {"_Raw", "_Comp"})
      for (int32_t c = 0; c < NC; ++c)
        FTitles.push_back((static_cast<size_t>(c) < Data.ChannelNames.size() ? Data.ChannelNames[c] : std::string()) +
                          Suffix);
    FShown.reserve(Data.Events.size());
    for (size_t i = 0; i < Data.Events.size(); ++i)
      if (IncludeFiltered || !Data.Events[i].Filtered()) FShown.push_back(static_cast<uint32_t>(i));
    FRow.SetSize(static_cast<int32_t>(FTitles.size()), 2);
  }
  endResetModel();
}

void TProcessedModel::Clear() {
  beginResetModel();
  FData = nullptr;
  FShown.clear();
  FTitles.clear();
  FRowShown = -1;
  endResetModel();
}

int TProcessedModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() || FTitles.empty() ? 0 : static_cast<int>(FShown.size() + 1);
}
int TProcessedModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : static_cast<int>(FTitles.size());
}

QString TProcessedModel::Cell(int Row, int Col) const {
  if (!FData || Row < 0 || Col < 0 || Row >= rowCount() || Col >= columnCount()) return {};
  if (Row == 0) return Q(FTitles[Col]);
  if (Row != FRowShown) {
    FData->Events[FShown[static_cast<size_t>(Row - 1)]].FillGridRow(FRow, 1);
    FRowShown = Row;
  }
  if (Col == 0) return QString::number(Row);
  return Q(FRow.Cell(Col, 1));
}

QVariant TProcessedModel::data(const QModelIndex& Index, int Role) const {
  if (Role != Qt::DisplayRole || !Index.isValid()) return {};
  return Cell(Index.row(), Index.column());
}

}  // namespace qv
