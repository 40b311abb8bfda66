#include "pages/ChartsPage.h"

#include <QAction>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "common/ChartView.h"
#include "common/CommandBinding.h"
#include "common/Hints.h"
#include "common/ExportTargets.h"
#include "common/PageContext.h"
#include "TextUtils.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

QToolButton* Toggle(QWidget* Parent, const char* Name, const QString& Caption, bool Down) {
  auto* B = new QToolButton(Parent);
  B->setObjectName(Name);
  B->setText(Caption);
  B->setCheckable(true);
  B->setChecked(Down);
  B->setMinimumWidth(70);
  return B;
}

QVBoxLayout* SheetLayout(QWidget* Sheet) {
  if (auto* L = qobject_cast<QVBoxLayout*>(Sheet->layout())) return L;
  auto* L = new QVBoxLayout(Sheet);
  L->setContentsMargins(2, 2, 2, 2);
  return L;
}

// The caption of a detector in the axis menus and the distribution list.
QString DetectorCaption(const TFCSData& Data, int32_t Index) {
  const std::string Name = Data.GetDetector(Index)->GetSeriesName(0);
  return Name.empty() ? QString("Detector %1").arg(Index + 1) : Q(Name);
}

}  // namespace

std::vector<std::string> JoinDistributionTables(const std::vector<std::vector<std::string>>& Tables) {
  std::vector<std::string> Joined;
  size_t Width = 0;  // cells in every joined line so far
  for (const std::vector<std::string>& Table : Tables) {
    // A data line holds numbers only, so its commas count the table's cells.
    const size_t Cells = Table.empty() ? 0 : static_cast<size_t>(std::count(Table.back().begin(), Table.back().end(), ','));
    const size_t Lines = std::max(Joined.size(), Table.size());
    Joined.resize(Lines, std::string(Width, ','));
    for (size_t k = 0; k < Lines; ++k) Joined[k] += k < Table.size() ? Table[k] : std::string(Cells, ',');
    Width += Cells;
  }
  for (size_t k = 0; k < Joined.size(); ++k)
    Joined[k] = (k == 0 ? std::string() : k == 1 ? std::string("Bin") : std::to_string(k - 1)) + "," + Joined[k];
  return Joined;
}

TChartsPage::TChartsPage(TPageContext& Main) : QObject(Main.Window()), FMain(Main) {
  BuildGraphs();
  BuildDistributions();
  FMain.Hooks.DataShownListeners.push_back([this](bool HasData) { FillDataLists(HasData); });
  FMain.Hooks.CloseDerivePanel = [this] {
    if (BtnShowDerive->text() == "Hide") BtnShowDeriveClick();
  };
  FMain.OnDataFreeing(this, [this] { FillDataLists(false); });
}

void TChartsPage::BuildGraphs() {
  QWidget* Sheet = FMain.Page("TSGraphs");
  QVBoxLayout* Outer = SheetLayout(Sheet);
  auto* Row = new QHBoxLayout;
  Outer->addLayout(Row);
  BtnGraphAll = Toggle(Sheet, "BtnGraphAll", "All", false);
  BtnGraphThreshold = Toggle(Sheet, "BtnGraphThreshold", "Threshold", false);
  BtnGraphGlobalZ = Toggle(Sheet, "BtnGraphGlobalZ", "Global Z", true);
  for (QToolButton* B : {BtnGraphAll, BtnGraphThreshold, BtnGraphGlobalZ}) {
    Row->addWidget(B);
    BindCommand(B, [this, B] { GraphToggleClicked(B); });
  }
  Row->addSpacing(20);
  Row->addWidget(new QLabel("Point size", Sheet));
  SePointSize = new QSpinBox(Sheet);
  SePointSize->setObjectName("SePointSize");
  SePointSize->setRange(1, 8);
  SePointSize->setValue(2);
  SePointSize->setProperty("Tag", 0);
  BindCommand(SePointSize, &QSpinBox::valueChanged, [this] { AxisMetricMenuClick(0); });
  Row->addWidget(SePointSize);
  Row->addStretch(1);
  CrtFCS = new TChartView(Sheet);
  CrtFCS->setObjectName("CrtFCS");
  SetHint(CrtFCS, "Right click on an axis to choose its metric");
  Outer->addWidget(CrtFCS, 1);
  connect(CrtFCS, &TChartView::MouseReleased, this, [this](QMouseEvent* E) {
    CrtFCSMouseUp(E->button(), static_cast<int>(E->position().x()), static_cast<int>(E->position().y()));
  });
}

void TChartsPage::BuildDistributions() {
  QWidget* Sheet = FMain.Page("TsDistributions");
  QVBoxLayout* Outer = SheetLayout(Sheet);
  PnDistributionControl = new QWidget(Sheet);
  PnDistributionControl->setObjectName("PnDistributionControl");
  PnDistributionControl->setFixedHeight(69);
  auto* Panel = new QVBoxLayout(PnDistributionControl);
  Panel->setContentsMargins(0, 0, 0, 0);
  auto* Row = new QHBoxLayout;
  Panel->addLayout(Row);
  BtnAllPoints = Toggle(PnDistributionControl, "BtnAllPoints", "All", false);
  BtnFiltered = Toggle(PnDistributionControl, "BtnFiltered", "Threshold", false);
  BtnZFiltered = Toggle(PnDistributionControl, "BtnZFiltered", "Global Z", true);
  for (QToolButton* B : {BtnAllPoints, BtnFiltered, BtnZFiltered}) {
    Row->addWidget(B);
    BindCommand(B, [this] { RgDistributionsClick(); });
  }
  Row->addStretch(1);
  DistTargets = CreateExportTargets(PnDistributionControl, "Dist");
  for (QAbstractButton* B : {DistTargets.Text, DistTargets.Excel, DistTargets.Save}) Row->addWidget(B);
  BtnExportDistributions = new QPushButton("Export ", PnDistributionControl);
  BtnExportDistributions->setObjectName("BtnExportDistributions");
  BtnExportDistributions->setToolTip("Export every distribution of the list");
  BtnExportDistributions->setStatusTip(BtnExportDistributions->toolTip());
  BindCommand(BtnExportDistributions, [this] { BtnExportDistributionsClick(); });
  Row->addWidget(BtnExportDistributions);
  Row->addSpacing(12);
  BtnShowDerive = new QPushButton("Derive...", PnDistributionControl);
  BtnShowDerive->setObjectName("BtnShowDerive");
  BtnShowDerive->setEnabled(false);
  BindCommand(BtnShowDerive, [this] { BtnShowDeriveClick(); });
  Row->addWidget(BtnShowDerive);
  PnDerive = new QWidget(PnDistributionControl);
  PnDerive->setObjectName("PnDerive");
  PnDerive->setVisible(false);
  Panel->addWidget(PnDerive, 1);
  Outer->addWidget(PnDistributionControl);

  auto* Body = new QHBoxLayout;
  Outer->addLayout(Body, 1);
  RgDistributions = new QGroupBox(" Metric to Display ", Sheet);
  RgDistributions->setObjectName("RgDistributions");
  RgDistributions->setMinimumWidth(170);
  FItemsLayout = new QVBoxLayout(RgDistributions);
  FItemsLayout->addStretch(1);
  DistributionItems = new QButtonGroup(this);
  DistributionItems->setExclusive(true);
  BindCommand(DistributionItems, &QButtonGroup::idClicked, [this] { RgDistributionsClick(); });
  Body->addWidget(RgDistributions);
  CrtDistribution = new TChartView(Sheet);
  CrtDistribution->setObjectName("CrtDistribution");
  CrtDistribution->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(CrtDistribution, &QWidget::customContextMenuRequested, this, [this](const QPoint& Pos) {
    if (QMenu* Menu = FMain.PopupMenu("PMHistogram")) Menu->popup(CrtDistribution->mapToGlobal(Pos));
  });
  Body->addWidget(CrtDistribution, 1);
  if (QMenu* Menu = FMain.PopupMenu("PMHistogram"))
    for (QAction* Item : Menu->actions())
      if (Item->objectName() == "MnExportHistogram")
        BindCommand(Item, [this] { MnExportHistogramClick(); });
}

void TChartsPage::ClearCharts() {
  CrtFCS->Clear();
  CrtDistribution->Clear();
}

// A new detector set (or none): the metrics, lists and charts of the old one are dropped.
void TChartsPage::FillDataLists(bool HasData) {
  ClearCharts();
  FMain.XMetric = -1;
  FMain.YMetric = -1;
  FMain.DistributionChannel = -1;
  if (BtnShowDerive->text() == "Hide") BtnShowDeriveClick();
  BtnShowDerive->setEnabled(false);
  QMenu* XMenu = FMain.PopupMenu("PMXAxis");
  QMenu* YMenu = FMain.PopupMenu("PMYAxis");
  XMenu->clear();
  YMenu->clear();
  for (QAbstractButton* B : DistributionItems->buttons()) {
    DistributionItems->removeButton(B);
    delete B;
  }
  const TFCSData* Data = FMain.CurrentData.get();
  const int32_t Count = HasData && Data ? Data->DetectorCount() : 0;
  for (int32_t i = 0; i < Count; ++i) {
    const QString Caption = DetectorCaption(*Data, i);
    for (QMenu* Menu : {XMenu, YMenu}) {
      const int Tag = Menu == XMenu ? i + 1 : -(i + 1);
      QAction* Item = Menu->addAction(Caption);
      Item->setProperty("Tag", Tag);
      Item->setStatusTip(Menu == XMenu ? "Set X-Axis metric" : "Set Y-Axis metric");
      BindCommand(Item, Tag, [this](int T) { AxisMetricMenuClick(T); });
    }
    auto* Radio = new QRadioButton(Caption, RgDistributions);
    DistributionItems->addButton(Radio, i);
    FItemsLayout->insertWidget(i, Radio);
  }
  XMenu->setEnabled(Count > 0);
  YMenu->setEnabled(Count > 0);
  FMain.PopupMenu("PMHistogram")->setEnabled(HasData && Data);
}

void TChartsPage::GraphToggleClicked(QToolButton* Button) {
  // One group that may be all up: pressing one releases the others.
  if (Button->isChecked())
    for (QToolButton* B : {BtnGraphAll, BtnGraphThreshold, BtnGraphGlobalZ})
      if (B != Button) B->setChecked(false);
  BtnGraphAllClick();
}

void TChartsPage::AxisMetricMenuClick(int Tag) {
  if (Tag > 0) FMain.XMetric = Tag;
  if (Tag < 0) FMain.YMetric = -Tag;
  // The axis menu has closed by now, but what it covered is drawn again only when events are
  // next handled: painted now, its picture does not stay over the chart while the scatter is made.
  if (Tag != 0) FMain.Window()->repaint();
  BtnGraphAllClick();
  FMain.ShowMemoryStatus();
}

void TChartsPage::BtnGraphAllClick() {
  const TFCSData* Data = FMain.CurrentData.get();
  if (Data && FMain.XMetric >= 0 && FMain.YMetric >= 0 && FMain.XMetric <= Data->DetectorCount() &&
      FMain.YMetric <= Data->DetectorCount() && FMain.XMetric > 0 && FMain.YMetric > 0) {
    BusyCursor Hourglass;
    TLongLoop Loop(FMain);
    const int32_t Set = BtnGraphAll->isChecked() ? 0 : BtnGraphThreshold->isChecked() ? 1 : 2;
    ChartData Chart;
    Data->DrawScatter(Chart, FMain.XMetric - 1, &Loop.Gauge(), Set, SePointSize->value(), FMain.YMetric - 1);
    Chart.ShowLegend = false;
    CrtFCS->SetData(std::move(Chart));
  }
  FMain.ShowMemoryStatus();
}

QMenu* TChartsPage::AxisMenuAt(int X, int Y) const {
  const float FX = static_cast<float>(X) / static_cast<float>(std::max(CrtFCS->width(), 1));
  const float FY = static_cast<float>(Y) / static_cast<float>(std::max(CrtFCS->height(), 1));
  if (FX < 0.1f && FY < 0.9f) return FMain.PopupMenu("PMYAxis");
  if (FY > 0.9f && FX > 0.1f) return FMain.PopupMenu("PMXAxis");
  return nullptr;
}

void TChartsPage::CrtFCSMouseUp(Qt::MouseButton Button, int X, int Y) {
  if (Button != Qt::RightButton) return;
  if (QMenu* Menu = AxisMenuAt(X, Y)) Menu->popup(CrtFCS->mapToGlobal(QPoint(X, Y)));
}

int TChartsPage::DistributionIndex() const { return DistributionItems->checkedId(); }

std::string TChartsPage::ShowDistribution() {
  std::string Text;
  FMain.DistributionChannel = -1;
  const TFCSData* Data = FMain.CurrentData.get();
  const TProtocol* Protocol = FMain.CurrentProtocol.get();
  const int Index = DistributionIndex();
  if (Data && Index >= 0 && Index < Data->DetectorCount()) {
    const TDetector* D = Data->GetDetector(Index);
    float Limits[4] = {0, 0, 0, 0};
    // A detector the protocol does not have (another protocol loaded since) keeps limits 0.
    if (D->IsGate) {
      if (Protocol && D->Index >= 0 && D->Index < Protocol->GateCount()) {
        const TGlobalGate* G = Protocol->GetGate(D->Index);
        Limits[0] = G->ClipLow;
        Limits[1] = G->ClipHigh;
        Limits[2] = G->Minimum_Z;
        Limits[3] = G->Maximum_Z;
      }
    } else if (Protocol && D->Index >= 0 && D->Index < Protocol->ChannelCount()) {
      const TChannel* C = Protocol->GetChannel(D->Index);
      if (!C->Peaks.empty()) {
        Limits[0] = C->Peaks[0].ClipLow;
        Limits[1] = C->Peaks[0].ClipHigh;
      }
      Limits[2] = C->Minimum_Z;
      Limits[3] = C->Maximum_Z;
      if (!D->IsPeak) FMain.DistributionChannel = D->Index;
    }
    TGaussianFit Fit;
    if (D->LastFitted >= 0) D->GetFitResult(D->LastFitted, Fit);
    THistogramView View;
    View.Show[0] = BtnAllPoints->isChecked();
    View.Show[1] = BtnFiltered->isChecked();
    View.Show[2] = BtnZFiltered->isChecked();
    for (int i = 0; i < 4; ++i) View.Guides[i] = static_cast<float>(Fit.Mean + Fit.Deviation * Limits[i]);
    DistributionView = View;
    ChartData Chart;
    Text = D->DrawChart(Chart, View);
    Chart.XTitle = D->GetSeriesName(0);
    Chart.YTitle = "Events";
    CrtDistribution->SetData(std::move(Chart));
  }
  FMain.ShowMemoryStatus();
  BtnShowDerive->setEnabled(FMain.DistributionChannel >= 0);
  if (!BtnShowDerive->isEnabled() && BtnShowDerive->text() == "Hide") BtnShowDeriveClick();
  return Text;
}

TExportRequest TChartsPage::DistRequest() const {
  std::string Name;
  if (FMain.CurrentData) FMain.CurrentData->GetName(Name);
  return {DistTargets, "Fluorescence Distribution from " + Q(Name), CSVExportFilter, "CSV"};
}

void TChartsPage::BtnExportDistributionsClick() {
  if (!FMain.CurrentData) return;
  std::vector<std::vector<std::string>> Tables;
  for (int i = static_cast<int>(DistributionItems->buttons().size()) - 1; i >= 0; --i) {
    QAbstractButton* Item = DistributionItems->button(i);
    if (!Item) continue;
    Item->setChecked(true);
    Tables.push_back(SplitLines(ShowDistribution()));
  }
  std::vector<std::string> Lines = JoinDistributionTables(Tables);
  if (!Lines.empty() && FMain.Hooks.ExportText) FMain.Hooks.ExportText(std::move(Lines), DistRequest());
  FMain.ShowMemoryStatus();
}

void TChartsPage::MnExportHistogramClick() {
  const TFCSData* Data = FMain.CurrentData.get();
  if (!Data) return;
  const TDetector* Detector = nullptr;
  if (FMain.PageShown("TsCustomDetector")) {
    Detector = Data->CustomDetector.get();
  } else if (const int Index = DistributionIndex(); Index >= 0 && Index < Data->DetectorCount()) {
    Detector = Data->GetDetector(Index);
  }
  if (Detector && FMain.Hooks.ExportText) FMain.Hooks.ExportText(Detector->HistogramCSV(), DistRequest());
}

void TChartsPage::BtnShowDeriveClick() {
  const bool Open = BtnShowDerive->text() != "Hide";
  PnDistributionControl->setFixedHeight(Open ? 202 : 69);
  PnDerive->setVisible(Open);
  BtnShowDerive->setText(Open ? "Hide" : "Derive...");
}

}  // namespace qv
