// Set Detectors run by code stays where the user is: every step of the summary sweep keeps its
// sheet and gauge in view, and deleting a file's events on the variability page shows the new
// report there. Only the user's own click on Set Detectors brings the summary forward.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include "DataSetHelpers.h"
#include "ScriptedDialogs.h"
#include "TextUtils.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "common/CommandGuard.h"
#include "pages/FitnessPage.h"
#include "pages/ReadingPage.h"
#include "pages/VariabilityPage.h"
#include "shell/MainWindow.h"

using namespace qv;
using namespace qv::test;

namespace {

// A shown main window holding a merged, classified set of three files, its data pages up.
struct TWindow {
  TWindow() {
    Main.show();
    auto P = OneChannelProtocol();
    auto Data = MergedSet(Folder, *P, {{20, 200}, {2000, 2000, 2000}, {300}});
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(Data));
    Main.Hooks.ShowDataLoaded(true);
    Main.UpdateProtocolDependentControls(false, true);
    Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
  }
  QWidget* Current(const char* Tabs) { return Main.Pages(Tabs)->currentWidget(); }

  ScopedProgramHome Home;
  ScriptedDialogs Dialogs;
  TempFolder Folder;
  TFmMain Main;
};

}  // namespace

class CommandsFromCodeTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { CloseReportWindows(); }

  void SummarySweepStaysOnItsSheet() {
    TWindow W;
    auto& Page = *W.Main.findChild<TFitnessPage*>();
    W.Main.Pages("PgExplore")->setCurrentWidget(W.Main.Page("TsClassification"));
    W.Main.Pages("PgClassification")->setCurrentWidget(W.Main.Page("TsAutomateSummary"));
    const char* const Grid[] = {"-1.0", "-0.5", "0.5", "0.5", "1.0", "0.5", "5.0", "6.0", "1.1"};
    for (size_t i = 0; i < 9; ++i) Page.SummarySweepEdits[i]->setText(Grid[i]);
    // What the user sees whenever the sweep lets the window paint.
    int Samples = 0, Away = 0, GaugeHidden = 0;
    QTimer Watch;
    connect(&Watch, &QTimer::timeout, [&] {
      if (!TCommandGuard::Instance().Busy()) return;
      ++Samples;
      if (W.Current("PgMain") != W.Main.Page("TsExplore") || W.Current("PgExplore") != W.Main.Page("TsClassification") ||
          W.Current("PgClassification") != W.Main.Page("TsAutomateSummary"))
        ++Away;
      if (!Page.GaAutomation->isVisible()) ++GaugeHidden;
    });
    Watch.start(0);
    QTest::mouseClick(Page.BtnSummaryAutomation, Qt::LeftButton);
    Watch.stop();
    QVERIFY(W.Dialogs.Errors.empty());
    QCOMPARE(Page.LastReport()->windowTitle(), QString("Z Value Automation"));
    QCOMPARE(SplitLines(Page.LastReport()->MeText->toPlainText().toStdString()).empty(), false);
    QVERIFY(Samples >= 2);
    QCOMPARE(Away, 0);
    QCOMPARE(GaugeHidden, 0);
    QCOMPARE(W.Current("PgClassification"), W.Main.Page("TsAutomateSummary"));

    // The user's own click on Set Detectors shows the summary it made.
    auto& Reading = *W.Main.findChild<TReadingPage*>("ReadingPage");
    Reading.MeSummary->clear();
    QTest::mouseClick(Reading.BtnReProcess, Qt::LeftButton);
    QVERIFY(!Reading.MeSummary->toPlainText().isEmpty());
    QCOMPARE(W.Current("PgClassification"), W.Main.Page("TSSummary"));
  }

  void DeletingAFileStaysOnTheVariabilityPage() {
    TWindow W;
    auto& Page = *W.Main.findChild<TVariabilityPage*>("VariabilityPage");
    W.Main.Pages("PgExplore")->setCurrentWidget(W.Main.Page("TsVariability"));
    W.Main.Pages("PgClassification")->setCurrentWidget(W.Main.Page("TsClassExplorer"));
    Page.SeVariabilityBins->setValue(3);
    Page.SePlate->setValue(1);
    W.Dialogs.Answers = {Dialogs::TAnswer::Yes};
    QTest::mouseClick(Page.BtnDeleteFile, Qt::LeftButton);
    QCOMPARE(W.Dialogs.Infos, (std::vector<std::string>{"Deleted 3 data points"}));
    QCOMPARE(W.Current("PgExplore"), W.Main.Page("TsVariability"));
    QCOMPARE(W.Current("PgClassification"), W.Main.Page("TsClassExplorer"));
    // The report of the set without file 1, recalculated after the detectors were set again.
    const auto Lines = SplitLines(Page.MeVariability->toPlainText().toStdString());
    QVERIFY(Lines.size() > 6);
    QCOMPARE(Lines[3], std::string("G\tALL\t10.0\t10000.0\t0\t1\t2\t0\t0"));
    QCOMPARE(Lines[5], std::string("G\tFile_1\t10.0\t10000.0\t0\t0\t0\t0\t0"));
    QVERIFY(W.Dialogs.Errors.empty());
  }
};

static RegisterUiTest<CommandsFromCodeTest> Register;
#include "CommandsFromCodeTest.moc"
