#include "pages/ClassExplorerPage.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "common/ChartView.h"
#include "pages/ClassMeansModel.h"
#include "common/CommandBinding.h"
#include "common/DataGridModels.h"
#include "common/Dialogs.h"
#include "common/ExportTargets.h"
#include "common/Hints.h"
#include "common/PageContext.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

// A radio group inside a scroll area, so a long genotype list never stretches the sheet.
QGroupBox* RadioGroup(QWidget* Parent, QVBoxLayout* Column, const char* Name, const QString& Caption,
                      QVBoxLayout*& Items) {
  auto* Scroll = new QScrollArea(Parent);
  Scroll->setWidgetResizable(true);
  Scroll->setFrameShape(QFrame::NoFrame);
  auto* Group = new QGroupBox(Caption);
  Group->setObjectName(Name);
  Group->setProperty("Tag", 1);
  Items = new QVBoxLayout(Group);
  // Tight rows, so a short list fits without a scroll bar in the sheet's smallest height.
  Items->setContentsMargins(6, 2, 6, 2);
  Items->setSpacing(0);
  Items->addStretch(1);
  Scroll->setWidget(Group);
  Column->addWidget(Scroll, 1);
  return Group;
}

void FillRadioGroup(QGroupBox* Group, QVBoxLayout* Items, QButtonGroup* Buttons, const TStringArray& Names) {
  for (QAbstractButton* B : Buttons->buttons()) {
    Buttons->removeButton(B);
    delete B;
  }
  for (size_t i = 0; i < Names.size(); ++i) {
    auto* Radio = new QRadioButton(Q(Names[i]), Group);
    Buttons->addButton(Radio, static_cast<int>(i));
    Items->insertWidget(static_cast<int>(i), Radio);
  }
}

}  // namespace

TClassExplorerPage::TClassExplorerPage(TPageContext& Main) : QObject(Main.Window()), FMain(Main) {
  setObjectName("ClassExplorerPage");
  FGenotypeData = new TClassMeansModel(this);
  Build();
  FMain.Hooks.DataShownListeners.push_back([this](bool HasData) { FillLists(HasData); });
  FMain.OnDataFreeing(this, [this] { ClearViews(); });
}

void TClassExplorerPage::Build() {
  QWidget* Sheet = FMain.Page("TsClassExplorer");
  auto* Outer = new QVBoxLayout(Sheet);
  Outer->setContentsMargins(4, 4, 4, 4);
  auto* Split = new QSplitter(Qt::Vertical, Sheet);
  Outer->addWidget(Split, 1);

  // Upper part: one channel's histogram over one class.
  auto* Plot = new QWidget(Split);
  auto* PlotRow = new QHBoxLayout(Plot);
  PlotRow->setContentsMargins(0, 0, 0, 0);
  auto* Column = new QVBoxLayout;
  FListColumn = Column;
  RgGenotypes = RadioGroup(Plot, Column, "RgGenotypes", " Genotypes", FGenotypeLayout);
  RgChannels = RadioGroup(Plot, Column, "RgChannels", " Channels ", FChannelLayout);
  GenotypeItems = new QButtonGroup(this);
  ChannelItems = new QButtonGroup(this);
  for (QButtonGroup* Items : {GenotypeItems, ChannelItems}) {
    Items->setExclusive(true);
    BindCommand(Items, &QButtonGroup::idClicked, [this] { CmBxClassExplorerGenotypeChange(1); });
  }
  BtnClearGenotypeDetector = new QPushButton("Clear", Plot);
  BtnClearGenotypeDetector->setObjectName("BtnClearGenotypeDetector");
  BtnClearGenotypeDetector->setProperty("Tag", 2);
  SetHint(BtnClearGenotypeDetector, "Clear the class histogram");
  BindCommand(BtnClearGenotypeDetector, [this] { CmBxClassExplorerGenotypeChange(2); });
  CBAutoClearGenotypeDetector = new QCheckBox("Automatically Clear", Plot);
  CBAutoClearGenotypeDetector->setObjectName("CBAutoClearGenotypeDetector");
  CBAutoClearGenotypeDetector->setChecked(true);
  Column->addWidget(BtnClearGenotypeDetector);
  Column->addWidget(CBAutoClearGenotypeDetector);
  auto* ColumnBox = new QWidget(Plot);
  ColumnBox->setLayout(Column);
  Column->setContentsMargins(0, 0, 0, 0);
  ColumnBox->setFixedWidth(170);
  PlotRow->addWidget(ColumnBox);
  CrtGenotype = new TChartView(Plot);
  CrtGenotype->setObjectName("CrtGenotype");
  PlotRow->addWidget(CrtGenotype, 1);

  // Lower part: the events of the class chosen in the combo.
  auto* Means = new QWidget(Split);
  auto* MeansLayout = new QVBoxLayout(Means);
  MeansLayout->setContentsMargins(0, 0, 0, 0);
  auto* Row = new QHBoxLayout;
  MeansLayout->addLayout(Row);
  Row->addWidget(new QLabel("Class events of", Means));
  CmBxClassExplorerGenotype = new QComboBox(Means);
  CmBxClassExplorerGenotype->setObjectName("CmBxClassExplorerGenotype");
  CmBxClassExplorerGenotype->setProperty("Tag", 0);
  CmBxClassExplorerGenotype->setMinimumWidth(160);
  SetHint(CmBxClassExplorerGenotype, "Show the events of a genotype class");
  BindCommand(CmBxClassExplorerGenotype, &QComboBox::activated, [this] { CmBxClassExplorerGenotypeChange(0); });
  Row->addWidget(CmBxClassExplorerGenotype);
  Row->addStretch(1);
  ClassTargets = CreateExportTargets(Means, "Class");
  for (QAbstractButton* B : {ClassTargets.Text, ClassTargets.Excel, ClassTargets.Save}) Row->addWidget(B);
  BtnExportGenotypeEvents = new QPushButton("Export", Means);
  BtnExportGenotypeEvents->setObjectName("BtnExportGenotypeEvents");
  BtnExportGenotypeEvents->setProperty("Tag", 3);
  SetHint(BtnExportGenotypeEvents, "Export the class events");
  BindCommand(BtnExportGenotypeEvents, [this] { CmBxClassExplorerGenotypeChange(3); });
  Row->addWidget(BtnExportGenotypeEvents);
  SgGenotypeData = new QTableView(Means);
  SgGenotypeData->setObjectName("SgGenotypeData");
  SgGenotypeData->setModel(FGenotypeData);
  SgGenotypeData->horizontalHeader()->hide();
  SgGenotypeData->verticalHeader()->hide();
  SgGenotypeData->verticalHeader()->setDefaultSectionSize(20);
  SgGenotypeData->horizontalHeader()->setDefaultSectionSize(90);
  FitColumnsOnReset(*SgGenotypeData, 1);
  MeansLayout->addWidget(SgGenotypeData, 1);

  Split->setStretchFactor(0, 3);
  Split->setStretchFactor(1, 2);
}

int TClassExplorerPage::GenotypeChoice() const { return GenotypeItems->checkedId(); }
int TClassExplorerPage::ChannelChoice() const { return ChannelItems->checkedId(); }

void TClassExplorerPage::FillLists(bool HasData) {
  ClearViews();
  const TProtocol* Protocol = FMain.CurrentProtocol.get();
  if (!HasData || !Protocol) return;
  TComboItems Combo;
  Protocol->FillGenotypeCombo(Combo);
  CmBxClassExplorerGenotype->clear();
  for (const std::string& Name : Combo.Items) CmBxClassExplorerGenotype->addItem(Q(Name));
  CmBxClassExplorerGenotype->setCurrentIndex(Combo.ItemIndex);
  TStringArray Channels;
  for (int32_t c = 0; c < Protocol->ChannelCount(); ++c) Channels.push_back(Protocol->GetChannel(c)->ChannelName);
  FillRadioGroup(RgGenotypes, FGenotypeLayout, GenotypeItems, Combo.Items);
  FillRadioGroup(RgChannels, FChannelLayout, ChannelItems, Channels);
  // The two lists share their column by their lengths, so neither scrolls while the other has
  // room to spare.
  for (auto [Group, Count] : {std::pair{RgGenotypes, Combo.Items.size()}, std::pair{RgChannels, Channels.size()}})
    if (QWidget* Scroll = Group->parentWidget() ? Group->parentWidget()->parentWidget() : nullptr)
      FListColumn->setStretchFactor(Scroll, static_cast<int>(std::clamp<size_t>(Count, 1, 100)));
}

// The grid and chart show parts of the set: they go with it.
void TClassExplorerPage::ClearViews() {
  CrtGenotype->Clear();
  FGenotypeData->Clear();
}

void TClassExplorerPage::ClearClassDetector() {
  try {
    if (TFCSData* Data = FMain.CurrentData.get(); Data && Data->ClassDetector) Data->ClassDetector->Clear();
  } catch (const std::exception&) {
    // nothing to report: the plot is cleared all the same
  }
  CrtGenotype->Clear();
}

void TClassExplorerPage::ShowClass() {
  const int Genotype = GenotypeChoice(), Channel = ChannelChoice();
  TFCSData* Data = FMain.CurrentData.get();
  const TProtocol* Protocol = FMain.CurrentProtocol.get();
  if (Genotype < 0 || Channel < 0 || !Data || !Protocol) return;
  if (!ProtocolFitsData(*Protocol, *Data)) {
    AppDialogs().Error(ProtocolMismatchText);
    return;
  }
  if (CBAutoClearGenotypeDetector->isChecked()) ClearClassDetector();
  BusyCursor Hourglass;
  try {
    TCustomDetectorOptions Options;
    Options.PlotChannel = Channel;
    Options.ClassNumber = Genotype + 1;
    Data->FillClassDetector(*Protocol, Options);
    if (const TDetector* Detector = Data->ClassDetector.get()) {
      THistogramView View;
      View.ShowAll = true;
      ChartData Chart;
      Detector->DrawChart(Chart, View);
      // Without automatic clearing the series may be of several channels.
      Chart.XTitle = "Compensated intensity";
      Chart.YTitle = "Events";
      // An empty class draws only its base line; the title says why.
      const auto Newest = std::find_if(Chart.Series.rbegin(), Chart.Series.rend(), [](const ChartSeries& S) {
        return S.Kind == ChartSeries::TKind::Bar;
      });
      if (Newest != Chart.Series.rend() &&
          std::all_of(Newest->Points.begin(), Newest->Points.end(), [](const auto& P) { return P.second == 0; }))
        Chart.Title = "No events in class " + GenotypeItems->checkedButton()->text().toStdString();
      CrtGenotype->SetData(std::move(Chart));
    }
  } catch (const std::exception&) {
    // an engine error ends the plot without a message
  }
}

void TClassExplorerPage::CmBxClassExplorerGenotypeChange(int Tag) {
  const TFCSData* Data = FMain.CurrentData.get();
  if (!Data) return;
  switch (Tag) {
    case 0:
      if (const int Item = CmBxClassExplorerGenotype->currentIndex(); Item >= 0) {
        BusyCursor Hourglass;
        FGenotypeData->Fill(*Data, Item + 1);
      }
      break;
    case 1: ShowClass(); break;
    case 2: ClearClassDetector(); break;
    case 3:
      if (FMain.Hooks.ExportModel) {
        std::string Name;
        Data->GetName(Name);
        FMain.Hooks.ExportModel(*FGenotypeData, {ClassTargets, "Class Analysis of " + Q(Name),
                                                 CSVExportFilter, "CSV"});
      }
      break;
    default: break;
  }
}

}  // namespace qv
