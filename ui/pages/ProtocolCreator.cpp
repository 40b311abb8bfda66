#include "pages/ProtocolCreator.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "common/CommandBinding.h"
#include "common/PageContext.h"
#include "fcs/ParameterSet.h"
#include "protocol/Protocol.h"

namespace qv {

TProtocolCreator::TProtocolCreator(TPageContext& Main) : QObject(Main.Window()), M(Main) {
  setObjectName("ProtocolCreator");
  M.Hooks.ShowFileParameters = [this](const TParameterSet& Parameters, const std::string& FileName) {
    ShowParameters(Parameters, FileName);
  };
  auto* Grid = M.findChild<QTableWidget*>("SgMakeProtocol");
  BindCommand(Grid, &QTableWidget::cellDoubleClicked, [this](int Row) { SgMakeProtocolDblClick(Row); });
  BindCommand(M.findChild<QPushButton*>("BtnCreateProtocol"), [this] { BtnCreateProtocolClick(); });
  BindCommand(M.findChild<QPushButton*>("BtnShowProtocolCreationGrid"), [this] { BtnShowProtocolCreationGridClick(); });
}

TProtocolCreator::~TProtocolCreator() = default;

void TProtocolCreator::ShowParameters(const TParameterSet& Parameters, const std::string& FileName) {
  FParameters = std::make_unique<TParameterSet>(&Parameters);
  FFileName = FileName;
  FillGrid();
}

void TProtocolCreator::BtnShowProtocolCreationGridClick() {
  QWidget* Panel = M.findChild<QWidget*>("PnProtocolCreator");
  Panel->setVisible(Panel->isHidden());
  M.findChild<QPushButton*>("BtnShowProtocolCreationGrid")
      ->setText(Panel->isHidden() ? "Show Protocol Creator..." : "Hide Protocol Creator...");
}

void TProtocolCreator::FillGrid() {
  auto* Grid = M.findChild<QTableWidget*>("SgMakeProtocol");
  const int Gates = FParameters ? FParameters->SelectedGateCount() : 0;
  const int Channels = FParameters ? FParameters->SelectedChannelCount() : 0;
  if (FParameters) {
    // Row 0 of the engine's grid is the heading row, which the grid shows as its header.
    const StringTable Table = FParameters->FillGrid();
    Grid->setRowCount(std::max(0, Table.RowCount() - 1));
    for (int r = 1; r < Table.RowCount(); ++r)
      for (int c = 0; c < std::min(3, Table.ColCount()); ++c)
        Grid->setItem(r - 1, c, new QTableWidgetItem(QString::fromStdString(Table.Cell(c, r))));
  } else {
    Grid->setRowCount(0);
  }
  M.findChild<QLabel*>("LbGateCount")->setText(QString::number(Gates) + " Gates");
  M.findChild<QLabel*>("LbChannelCount")->setText(QString::number(Channels) + " Channels");
  M.findChild<QPushButton*>("BtnCreateProtocol")->setEnabled(Gates > 0 && Channels > 0);
}

void TProtocolCreator::SgMakeProtocolDblClick(int Row) {
  if (!FParameters) return;
  FParameters->CycleSelection(Row);
  FillGrid();
  M.ShowMemoryStatus();
}

void TProtocolCreator::BtnCreateProtocolClick() {
  if (!FParameters || FParameters->SelectedGateCount() < 1 || FParameters->SelectedChannelCount() < 1) return;
  if (!M.QuerySaveProtocol()) return;
  // Built first: a refused build leaves the current protocol as it was.
  std::unique_ptr<TProtocol> Protocol = FParameters->BuildProtocol();
  if (!Protocol) return;
  M.SetCurrentProtocol(std::move(Protocol));
  const std::string Source = FFileName;
  if (M.findChild<QCheckBox*>("CbSaveProtocolAfterCreation")->isChecked()) M.SaveCurrentProtocol(true);
  if (M.findChild<QCheckBox*>("CbProcessAfterCreation")->isChecked() && !Source.empty() && M.Hooks.ReadFCSFile)
    M.Hooks.ReadFCSFile(Source);
  M.ShowMemoryStatus();
}

}  // namespace qv
