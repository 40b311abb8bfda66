// Tour pictures of refusals on the tour's own file: the custom detector's clip window turned
// round, a fit without result that Save refuses, a summary sweep whose protocol does not fit
// the data set, and a table too large for a report window offered to a file, beside a report
// window that shows what it holds of a longer report. Each message box is drawn over the window
// as the user sees it.
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTextCursor>
#include <QTimer>
#include <functional>
#include <iostream>

#include "common/Dialogs.h"
#include "Globals.h"
#include "pages/CustomDetectorPage.h"
#include "pages/FitnessPage.h"
#include "pages/ReadingPage.h"
#include "report/ReportCapacity.h"
#include "report/TextOutput.h"
#include "shell/MainWindow.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/Protocol.h"

namespace {

using TCapture = std::function<void(QWidget*, const QString&)>;

void Settle(int Ms) {
  QEventLoop Loop;
  QTimer::singleShot(Ms, &Loop, &QEventLoop::quit);
  Loop.exec();
}

// Messages become pictures (the next one under Name) instead of waiting for a click.
class TRefusalDialogs : public qv::TQtDialogs {
 public:
  TRefusalDialogs(qv::TFmMain& Main, const TCapture& Capture) : FMain(Main), FCapture(Capture) {}
  QString Name;
  void Error(const std::string& Text) override { Picture(QMessageBox::Critical, Text); }
  void Info(const std::string& Text) override { Picture(QMessageBox::Information, Text); }
  // Questions are answered No; a named one is pictured first.
  bool YesNo(const std::string& Text) override {
    if (!Name.isEmpty()) Picture(QMessageBox::Question, Text, QMessageBox::Yes | QMessageBox::No);
    return false;
  }
  TAnswer YesNoCancel(const std::string& Text) override {
    if (!Name.isEmpty()) Picture(QMessageBox::Question, Text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    return TAnswer::No;
  }

 private:
  void Picture(QMessageBox::Icon Icon, const std::string& Text,
               QMessageBox::StandardButtons Buttons = QMessageBox::Ok) {
    if (Name.isEmpty()) {
      std::cerr << "Refusals tour: " << Text << '\n';
      return;
    }
    QMessageBox Box(Icon, "Quorvenal", QString::fromStdString(Text), Buttons, &FMain);
    Box.show();
    Settle(100);
    QImage Image = FMain.grab().toImage();
    const QPixmap Message = Box.grab();
    {
      QPainter Painter(&Image);
      Painter.drawPixmap((Image.width() - Message.width()) / 2, (Image.height() - Message.height()) / 2, Message);
    }
    Box.hide();
    QLabel Shown;
    Shown.setPixmap(QPixmap::fromImage(Image));
    Shown.resize(Image.size());
    FCapture(&Shown, Name);
    Name.clear();
  }

  qv::TFmMain& FMain;
  TCapture FCapture;
};

void Type(QLineEdit* Edit, const char* Text) { Edit->setText(Text); }

}  // namespace

void RefusalsTour(qv::TFmMain& Main, const TCapture& Capture) {
  auto* Custom = Main.findChild<qv::TCustomDetectorPage*>("CustomDetectorPage");
  auto* Reading = Main.findChild<qv::TReadingPage*>("ReadingPage");
  auto* Fitness = Main.findChild<qv::TFitnessPage*>();
  if (!Custom || !Reading || !Fitness || !Main.CurrentProtocol) {
    std::cerr << "Refusals tour: no page or no protocol\n";
    return;
  }
  TRefusalDialogs Dialogs(Main, Capture);
  struct TRestore {
    qv::Dialogs* Old = &qv::AppDialogs();
    ~TRestore() { qv::SetAppDialogs(Old); }
  } Restore;
  qv::SetAppDialogs(&Dialogs);

  // The tour's protocol with no spill-over.
  const std::string ProtocolFile = Main.CurrentProtocol->FileName;
  const auto NoSpillOver = [&ProtocolFile] {
    auto Protocol = qv::TProtocol::OpenFile(ProtocolFile);
    for (int32_t i = 0; Protocol && i < Protocol->ChannelCount(); ++i)
      for (int32_t j = 0; j < Protocol->ChannelCount(); ++j)
        Protocol->GetChannel(i)->SetCompPair(j, {i == j ? 100.0f : 0.0f, 0.0f}, true);
    return Protocol;
  };
  // The file read Copies times over into one set (analysed when Analyse), compensated, and shown
  // on the explore sheet Sheet; false when it could not be read.
  const auto ShowTourFile = [&](int Copies, bool Analyse, const char* Sheet) {
    Reading->ReplaceData(nullptr);
    Main.SetCurrentProtocol(NoSpillOver());
    if (!Main.CurrentProtocol) return false;
    try {
      qv::TFCSFile File(qv::ProgramDir + "Data/tour.fcs");
      auto Data = qv::TFCSData::Create(File, 0, !Analyse, nullptr, Main.CurrentProtocol.get());
      if (Copies > 1) {
        auto Copy = qv::TFCSData::Create(File, 0, true, nullptr, Main.CurrentProtocol.get());
        for (int i = 1; i < Copies; ++i) Data->AppendEvents(*Copy);
      }
      Data->Compensate(*Main.CurrentProtocol, nullptr, 0);
      if (Analyse) Data->SetDetectors(*Main.CurrentProtocol, nullptr, false);
      Reading->ReplaceData(std::move(Data));
    } catch (const std::exception& E) {
      std::cerr << "Refusals tour: " << E.what() << '\n';
    }
    if (!Main.CurrentData) return false;
    Main.UpdateProtocolDependentControls(true, true);
    Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
    Main.Pages("PgExplore")->setCurrentWidget(Main.Page(Sheet));
    return true;
  };
  if (ShowTourFile(1, true, "TsCustomDetector")) {
    Custom->CmBxCustomDetector->setCurrentIndex(0);
    Custom->CmBxCustomFilter->setCurrentIndex(1);
    Type(Custom->EdCustomFilterMin, "1");
    Type(Custom->EdCustomFilterMax, "10000");
    Type(Custom->EdCustomDetectorMean, "2.5");
    Type(Custom->EdCustomDeviation, "0.3");
    // The form's clip window, 1.0 to 1.0, holds nothing to fit.
    Type(Custom->EdCustomClipHigh, "1.0");
    Type(Custom->EdCustomClipLow, "1.0");
    Dialogs.Name = "CustomDetector-ClipRefused";
    Custom->BtnAddCustomDetector->click();
    // A window where the channel has no events: plotted, not fitted, and not saved.
    Type(Custom->EdCustomClipHigh, "2");
    Type(Custom->EdCustomClipLow, "-2");
    Type(Custom->EdCustomDetectorMean, "4.5");
    Type(Custom->EdCustomDeviation, "0.01");
    Dialogs.Name.clear();
    Custom->BtnAddCustomDetector->click();
    Dialogs.Name = "CustomDetector-NotFittedSaveRefused";
    Custom->BtnSavePeak->click();
    Custom->BtnClearCustomDetector->click();

    // Another protocol opened over the set: one gate more than the set was read with.
    auto Other = qv::TProtocol::OpenFile(ProtocolFile);
    qv::TGateInfo Gate;
    Gate.Name = "FSC";
    Gate.FCSLabel = "FSC-H";
    Gate.Scale = 1;
    Other->AddGate(std::make_unique<qv::TGlobalGate>(Gate, Other.get()));
    Main.SetCurrentProtocol(std::move(Other));
    Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsClassification"));
    Main.Pages("PgClassification")->setCurrentWidget(Main.Page("TsAutomateSummary"));
    Dialogs.Name = "AutomateSummary-ProtocolRefused";
    Fitness->BtnSummaryAutomation->click();
  }

  // Eight copies of the file's events: more rows than a report window holds, so the processed
  // export to it offers a file instead.
  if (ShowTourFile(8, false, "TsProcessed")) {
    if (auto* Export = Main.findChild<QPushButton*>("BtnExportProcessedData")) {
      Dialogs.Name = "Processed-LargeExportOffersAFile";
      Export->click();
    }
  }
  {
    // A report longer than the window holds ends with what it leaves out.
    auto* Report = new qv::TFmTextOutput(nullptr, "Results of File Analyses", true);
    Report->SetTabStops({70, 140, 210, 280, 350});
    std::vector<std::string> Lines;
    for (int i = 0; i < qv::TReportCapacity::MaxLines + 2500; ++i)
      Lines.push_back("run" + std::to_string(i / 40) + ".fcs\tGFP\t" + std::to_string(4000 + i % 977) + "\t41.2370");
    Report->AddLines(Lines);
    Report->MeText->moveCursor(QTextCursor::End);
    Capture(Report, "ReportWindow-LongReportCut");
    Report->DiscardChanges();
    Report->close();
  }

  // The tour goes on with the protocol as saved, so closing asks nothing.
  Reading->ReplaceData(nullptr);
  Main.SetCurrentProtocol(qv::TProtocol::OpenFile(ProtocolFile));
  Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsLoad"));
}
