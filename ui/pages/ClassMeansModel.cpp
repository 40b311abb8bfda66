#include "pages/ClassMeansModel.h"

#include "NumberFormat.h"
#include "dataset/FCSData.h"

namespace qv {

void TClassMeansModel::Fill(const TFCSData& Data, int32_t ClassNumber) {
  beginResetModel();
  FData = &Data;
  FFilled = true;
  FMembers.clear();
  FTitles.clear();
  for (size_t i = Data.Events.size(); i-- > 0;)
    if (Data.Events[i].Classes()[2] == ClassNumber) FMembers.push_back(static_cast<uint32_t>(i));
  if (!FMembers.empty()) {
    const int32_t NC = Data.Events.ChannelCount();
    for (const char* Suffix : {"_Raw", "_Comp"})
      for (int32_t c = 0; c < NC; ++c)
        FTitles.push_back((static_cast<size_t>(c) < Data.ChannelNames.size() ? Data.ChannelNames[c] : std::string()) +
                          Suffix);
  }
  endResetModel();
}

void TClassMeansModel::Clear() {
  beginResetModel();
  FData = nullptr;
  FFilled = false;
  FMembers.clear();
  FTitles.clear();
  endResetModel();
}

int TClassMeansModel::rowCount(const QModelIndex& Parent) const {
  if (Parent.isValid() || !FFilled) return 0;
  return FMembers.empty() ? 1 : static_cast<int>(FMembers.size() + 1);
}

int TClassMeansModel::columnCount(const QModelIndex& Parent) const {
  if (Parent.isValid() || !FFilled) return 0;
  return FMembers.empty() ? 1 : static_cast<int>(FTitles.size());
}

QString TClassMeansModel::Cell(int Row, int Col) const {
  if (!FData || Row < 0 || Col < 0 || Row >= rowCount() || Col >= columnCount()) return {};
  if (FMembers.empty()) return QStringLiteral("No Data");
  if (Row == 0) return QString::fromStdString(FTitles[static_cast<size_t>(Col)]);
  static const TFixedFormat Format("##0.0");
  const TFCSLine E = FData->Events[FMembers[static_cast<size_t>(Row - 1)]];
  const int NC = static_cast<int>(FTitles.size() / 2);
  if (Col < NC) return QString::fromStdString(Format(E.RawValues()[static_cast<size_t>(Col)]));
  const auto Comp = E.CompValues();
  return Comp.empty() ? QString() : QString::fromStdString(Format(Comp[static_cast<size_t>(Col - NC)]));
}

QVariant TClassMeansModel::data(const QModelIndex& Index, int Role) const {
  if (Role != Qt::DisplayRole || !Index.isValid()) return {};
  return Cell(Index.row(), Index.column());
}

}  // namespace qv
