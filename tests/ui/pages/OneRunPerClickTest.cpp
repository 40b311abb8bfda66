// A click on a control runs its command once, inside the command guard: each export button of
// the reading pages gives one report window or one saved file, and an engine error in a display
// log/native toggle is one message box in a program that goes on.
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "DataSetFixtures.h"
#include "DataSetHelpers.h"
#include "FcsWriter.h"
#include "Files.h"
#include "ScriptedDialogs.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "common/CommandGuard.h"
#include "pages/ProtocolPage.h"
#include "pages/ReadingPage.h"
#include "shell/MainWindow.h"

using namespace qv;
using namespace qv::test;

namespace {

// Every save dialog is counted.
class CountingDialogs : public ScriptedDialogs {
 public:
  int SaveDialogs = 0;
  std::string SaveFile(const TFileDialogOptions& Spec) override {
    ++SaveDialogs;
    return ScriptedDialogs::SaveFile(Spec);
  }
};

void Click(QAbstractButton* Button) { QTest::mouseClick(Button, Qt::LeftButton); }

}  // namespace

class OneRunPerClickTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { CloseReportWindows(); }

  void EachReadingExportOnceToWindowAndFile() {
    ScopedProgramHome Home;
    CountingDialogs Dialogs;
    TFmMain Main;
    Main.show();
    auto* Page = Main.findChild<TReadingPage*>("ReadingPage");
    Main.SetCurrentProtocol(MakeProtocol({GateDef("FSC", "FSC-H")}, {ChannelDef("GFP", "FL1-H")}));
    FcsFileSpec Spec;
    Spec.Parameters = {LinearParameter("FSC-H", 262144), LinearParameter("FL1-H", 262144)};
    Spec.EventCount = 500;
    Spec.Value = [](int64_t E, int32_t P) { return 20.0 + static_cast<double>((E * (P + 3)) % 900); };
    WriteFcs(Home.Path() + "run.fcs", Spec);
    Page->ShowFolder(Home.Path());
    Page->SelectFiles({"run.fcs"});
    Click(Page->BtnReadFCSFile);
    QVERIFY(Main.CurrentData);
    QVERIFY(Dialogs.Errors.empty());

    struct TExport {
      const char* Sheet;
      const char* Group;
      QPushButton* Button;
    };
    const TExport Exports[] = {{"TsHeader", "Header", Page->BtnExportHeader},
                               {"TsHeader", "Parameters", Page->BtnExportParameters},
                               {"TsData", "Data", Page->BtnExportRawData},
                               {"TsProcessed", "Processed", Page->BtnExportProcessedData},
                               {"TSSummary", "Output", Page->BtnExportSummary}};
    for (const TExport& E : Exports) {
      const QString Name = E.Button->objectName();
      Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
      Main.ShowPage(E.Sheet);
      if (QString(E.Sheet) == "TSSummary") Main.ShowPage("TsClassification");
      QVERIFY2(E.Button->isVisible() && E.Button->isEnabled(), qPrintable(Name));
      // The report window target.
      Click(Main.findChild<QAbstractButton*>(QString("BtnExport%1Text").arg(E.Group)));
      Click(E.Button);
      QVERIFY2(ReportWindows().size() == 1, qPrintable(Name + ": " + QString::number(ReportWindows().size())));
      CloseReportWindows();
      // The file target: one save dialog, one file.
      Click(Main.findChild<QAbstractButton*>(QString("BtnExport%1Save").arg(E.Group)));
      const std::string Target = Home.Path() + E.Group + ".out";
      Dialogs.FileAnswers = {Target, Home.Path() + "second.out"};
      const int Before = Dialogs.SaveDialogs;
      Click(E.Button);
      QVERIFY2(Dialogs.SaveDialogs == Before + 1, qPrintable(Name));
      QVERIFY2(FileExists(Target) && !FileExists(Home.Path() + "second.out"), qPrintable(Name));
      QVERIFY2(ReportWindows().empty(), qPrintable(Name));
    }
    // The menu item runs the processed-data export once too.
    Dialogs.FileAnswers = {Home.Path() + "menu.out", Home.Path() + "second.out"};
    const int Before = Dialogs.SaveDialogs;
    Main.MenuItem("MnExport")->trigger();
    QCOMPARE(Dialogs.SaveDialogs, Before + 1);
    QVERIFY(Dialogs.Errors.empty());
  }

  void EngineErrorInADisplayToggleIsOneMessage() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.show();
    auto P = MakeProtocol({GateDef("FSC", "FSC-H")}, {ChannelDef("GFP", "FL1-H")});
    Main.SetCurrentProtocol(std::move(P));
    auto& Page = *Main.findChild<TProtocolPage*>("ProtocolPage");
    Main.PgMain->setCurrentWidget(Main.Page("TsProtocol"));
    const std::pair<QLineEdit*, QToolButton*> Toggles[] = {
        {Page.EdDisplayMaximum, Page.BtnChannelDisplayMaximum},
        {Page.EdDisplayMinimum, Page.BtnChannelDisplayMinimum},
        {Page.EdGateDisplayMaximum, Page.BtnGateDisplayMaximum},
        {Page.EdGateDisplayMinimum, Page.BtnGateDisplayMinimum}};
    size_t Messages = 0;
    for (const auto& [Edit, Toggle] : Toggles) {
      Main.ShowPage(Edit == Page.EdDisplayMaximum || Edit == Page.EdDisplayMinimum ? "TsChannel" : "TsGlobalGates");
      Main.ShowPage("TsChannelData");
      QVERIFY(Toggle->isVisible());
      // Up: the edit holds a log value, which the click turns into its native value.
      Toggle->setChecked(false);
      Edit->clear();
      QTest::keyClicks(Edit, "5000");
      QCOMPARE(Edit->text(), QString("5000"));
      // 10^5000 is beyond every floating type: the command fails, the program does not.
      Click(Toggle);
      QCOMPARE(Dialogs.Errors.size(), ++Messages);
      QVERIFY(!TCommandGuard::Instance().Busy());
      QVERIFY(Main.isVisible());
    }
    // The program goes on: a toggle of a sound value runs.
    Main.ShowPage("TsChannel");
    Page.BtnChannelDisplayMaximum->setChecked(false);
    Page.EdDisplayMaximum->setText("3");
    Click(Page.BtnChannelDisplayMaximum);
    QCOMPARE(Page.EdDisplayMaximum->text(), QString("1000.0"));
    QCOMPARE(Dialogs.Errors.size(), Messages);
  }
};

static RegisterUiTest<OneRunPerClickTest> Register;
#include "OneRunPerClickTest.moc"
