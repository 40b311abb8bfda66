#include "pages/VariabilityPage.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "common/CommandBinding.h"
#include "common/Dialogs.h"
#include "Errors.h"
#include "common/ExportTargets.h"
#include "common/PageContext.h"
#include "common/QtHost.h"
#include "TextUtils.h"
#include "batch/Variability.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

constexpr const char* VariabilityFilter =
    "Text Files (*.txt)|*.txt|RTF Files (*.rtf)|*.rtf|Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*";

QPushButton* NewButton(QWidget* Parent, const char* Name, const char* Caption, int Tag) {
  auto* B = new QPushButton(Caption, Parent);
  B->setObjectName(Name);
  B->setProperty("Tag", Tag);
  return B;
}

QSpinBox* NewSpin(QWidget* Parent, const char* Name, int Min, int Max, int Value, const char* Hint) {
  auto* S = new QSpinBox(Parent);
  S->setObjectName(Name);
  S->setRange(Min, Max);
  S->setValue(Value);
  S->setToolTip(Hint);
  S->setStatusTip(Hint);
  return S;
}

}  // namespace

TVariabilityPage::TVariabilityPage(TPageContext& Main) : QObject(Main.Window()), FMain(Main) {
  setObjectName("VariabilityPage");
  QWidget* Sheet = FMain.Page("TsVariability");
  auto* Column = new QVBoxLayout(Sheet);
  auto* Row = new QHBoxLayout;
  Column->addLayout(Row);

  auto* BinsLabel = new QLabel("Bins", Sheet);
  SeVariabilityBins = NewSpin(Sheet, "SeVariabilityBins", 2, 100, 5, "Number of bins of each channel's value window");
  BinsLabel->setBuddy(SeVariabilityBins);
  BtnCalculateVariability = NewButton(Sheet, "BtnCalculateVariability", "Calculate", 1);
  BtnExportVariability = NewButton(Sheet, "BtnExportVariability", "Export", 2);
  Targets = CreateExportTargets(Sheet, "Variability");
  auto* FileLabel = new QLabel("File", Sheet);
  SePlate = NewSpin(Sheet, "SePlate", 0, 0, 0, "Index of the file whose events are to be removed");
  FileLabel->setBuddy(SePlate);
  BtnDeleteFile = NewButton(Sheet, "BtnDeleteFile", "Delete Data from File", 3);

  Row->addWidget(BinsLabel);
  Row->addWidget(SeVariabilityBins);
  Row->addWidget(BtnCalculateVariability);
  Row->addSpacing(12);
  Row->addWidget(BtnExportVariability);
  Row->addWidget(Targets.Text);
  Row->addWidget(Targets.Excel);
  Row->addWidget(Targets.Save);
  Row->addStretch(1);
  Row->addWidget(FileLabel);
  Row->addWidget(SePlate);
  Row->addWidget(BtnDeleteFile);

  MeVariability = new QPlainTextEdit(Sheet);
  MeVariability->setObjectName("MeVariability");
  MeVariability->setLineWrapMode(QPlainTextEdit::NoWrap);
  MeVariability->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  MeVariability->setTabStopDistance(MeVariability->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 10);
  Column->addWidget(MeVariability, 1);

  for (QPushButton* Button : {BtnCalculateVariability, BtnExportVariability, BtnDeleteFile})
    BindCommand(Button, Button->property("Tag").toInt(), [this](int Tag) { BtnCalculateVariabilityClick(Tag); });
  // A report of another set never stays on the page.
  FMain.OnDataFreeing(MeVariability, [this] { MeVariability->clear(); });
  FMain.OnDataReplaced(this, [this] {
    MeVariability->clear();
    ResetPlateRange();
  });
}

void TVariabilityPage::ResetPlateRange() {
  const TFCSData* Data = FMain.CurrentData.get();
  const int Min = Data ? Data->MinFileIndex : 0;
  const int Max = Data ? std::max(Data->MinFileIndex, Data->MaxFileIndex) : 0;
  SePlate->setRange(Min, Max);
  SePlate->setValue(Min);
}

void TVariabilityPage::BtnCalculateVariabilityClick(int Tag) {
  if (!FMain.CurrentData) return;
  switch (Tag) {
    case 1: Calculate(); break;
    case 2: {
      std::string Name;
      FMain.CurrentData->GetName(Name);
      const std::string Text = MeVariability->toPlainText().toStdString();
      TExportRequest Request{Targets, "Variability Analysis : " + QString::fromStdString(Name), VariabilityFilter,
                             "txt"};
      if (FMain.Hooks.ExportText) FMain.Hooks.ExportText(SplitLines(Text), Request);
      break;
    }
    case 3: DeleteFile(); break;
    default: break;
  }
  FMain.ShowMemoryStatus();
}

void TVariabilityPage::Calculate() {
  TFCSData& Data = *FMain.CurrentData;
  MeVariability->clear();
  const TProtocol* Protocol = FMain.CurrentProtocol.get();
  if (!Protocol) {
    AppDialogs().Error(ProtocolNeeded);
    return;
  }
  if (!ProtocolFitsData(*Protocol, Data)) {
    AppDialogs().Error(ProtocolMismatchText);
    return;
  }
  if (!FMain.Variability) return;
  BusyCursor Busy;
  FMain.Variability->Run(*FMain.CurrentProtocol, Data.Events, SeVariabilityBins->value());
  std::string Text;
  FMain.Variability->Report('\t', Text);
  MeVariability->setPlainText(QString::fromStdString(JoinLines(SplitLines(Text), "\n")));
}

void TVariabilityPage::DeleteFile() {
  const int32_t FileIndex = SePlate->value();
  if (AppDialogs().YesNo("Permanently removes all data derived from File " + std::to_string(FileIndex))) {
    const int32_t Count = FMain.CurrentData->DeleteFileEvents(FileIndex);
    // Views that index events are rebuilt before anything can paint them.
    FMain.AnnounceDataReplaced();
    if (FMain.CurrentProtocol && !FMain.CurrentData->Events.empty()) {
      if (FMain.Hooks.SetDetectors) {
        FMain.Hooks.SetDetectors();
      } else {
        TQtProgress Gauge(FMain.GaProgress, nullptr);
        FMain.CurrentData->SetDetectors(*FMain.CurrentProtocol, &Gauge, true);
        FMain.CurrentData->Classify(*FMain.CurrentProtocol);
      }
    }
    if (FMain.Hooks.ShowDataLoaded) FMain.Hooks.ShowDataLoaded(true);
    AppDialogs().Info("Deleted " + std::to_string(Count) + " data points");
  }
  FMain.ShowPoints(FMain.CurrentData->EventCount(0));
  Calculate();
}

}  // namespace qv
