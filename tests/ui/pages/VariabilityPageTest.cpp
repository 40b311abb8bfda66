// The variability page: its report of a merged set, the file range it offers and the removal
// of one file's events with every view rebuilt.
#include <numeric>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "DataSetHelpers.h"
#include "shell/MainWindow.h"
#include "ScriptedDialogs.h"
#include "TextUtils.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "pages/VariabilityPage.h"

using namespace qv;
using namespace qv::test;

namespace {

TVariabilityPage& PageOf(TFmMain& Main) { return *Main.findChild<TVariabilityPage*>("VariabilityPage"); }

std::vector<std::string> MemoLines(const TVariabilityPage& Page) {
  return SplitLines(Page.MeVariability->toPlainText().toStdString());
}

bool HasLine(const std::vector<std::string>& Lines, const std::string& Line) {
  return std::find(Lines.begin(), Lines.end(), Line) != Lines.end();
}

}  // namespace

class VariabilityPageTest : public QObject {
  Q_OBJECT
 private slots:
  void TwoFileSetGivesCountsPerFile() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TempFolder Folder;
    TFmMain Main;
    auto P = OneChannelProtocol();
    auto Data = MergedSet(Folder, *P, {{20, 200, 2000}, {200, 50000}});
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(Data));
    TVariabilityPage& Page = PageOf(Main);
    QCOMPARE(Page.SeVariabilityBins->value(), 5);
    QCOMPARE(Page.SeVariabilityBins->minimum(), 2);
    QCOMPARE(Page.SeVariabilityBins->maximum(), 100);
    QCOMPARE(Page.SePlate->maximum(), 1);
    Page.SeVariabilityBins->setValue(3);
    QTest::mouseClick(Page.BtnCalculateVariability, Qt::LeftButton);
    const auto Lines = MemoLines(Page);
    QVERIFY(!Lines.empty());
    QCOMPARE(Lines[0], std::string("****** Channel Counts of Compensated Values ******"));
    QCOMPARE(Lines[2], std::string("Name\tFile\tMin\tMax\tLow\tBin_1\tBin_2\tBin_3\tHigh"));
    QCOMPARE(Lines[3], std::string("G\tALL\t10.0\t10000.0\t0\t1\t2\t1\t1"));
    QCOMPARE(Lines[4], std::string("G\tFile_0\t10.0\t10000.0\t0\t1\t1\t1\t0"));
    QCOMPARE(Lines[5], std::string("G\tFile_1\t10.0\t10000.0\t0\t0\t1\t0\t1"));
    QVERIFY(HasLine(Lines, "Total Chi-Sq"));
    QVERIFY(Dialogs.Errors.empty());

    // A different set empties the memo and moves the file range.
    TempFolder Other;
    auto P2 = OneChannelProtocol();
    Main.SetCurrentData(MergedSet(Other, *P2, {{20}, {30}, {40}, {50}}));
    QVERIFY(Page.MeVariability->toPlainText().isEmpty());
    QCOMPARE(Page.SePlate->minimum(), 0);
    QCOMPARE(Page.SePlate->maximum(), 3);
    Main.SetCurrentData(nullptr);
    QCOMPARE(Page.SePlate->maximum(), 0);
    // Without a set the buttons do nothing.
    QTest::mouseClick(Page.BtnCalculateVariability, Qt::LeftButton);
    QTest::mouseClick(Page.BtnDeleteFile, Qt::LeftButton);
    QVERIFY(Dialogs.Questions.empty());
    QVERIFY(Page.MeVariability->toPlainText().isEmpty());
  }

  void RefusedRunLeavesNoReport() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TempFolder Folder;
    TFmMain Main;
    auto P = OneChannelProtocol();
    auto Data = MergedSet(Folder, *P, {{20, 200}, {300}});
    Main.SetCurrentData(std::move(Data));
    TVariabilityPage& Page = PageOf(Main);
    // No protocol: one is asked for.
    Page.MeVariability->setPlainText("old report");
    QTest::mouseClick(Page.BtnCalculateVariability, Qt::LeftButton);
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{TVariabilityPage::ProtocolNeeded});
    QVERIFY(Page.MeVariability->toPlainText().isEmpty());
    // A protocol of two channels does not fit a set of one.
    Dialogs.Errors.clear();
    Page.MeVariability->setPlainText("old report");
    auto Two = MakeProtocol({}, {ChannelDef("G", "FL1-H"), ChannelDef("R", "FL2-H")});
    Main.SetCurrentProtocol(std::move(Two));
    QTest::mouseClick(Page.BtnCalculateVariability, Qt::LeftButton);
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{ProtocolMismatchText});
    QVERIFY(Page.MeVariability->toPlainText().isEmpty());
    // A window that cannot be binned: the engine's error, and still no report.
    auto Bad = OneChannelProtocol();
    Bad->GetChannel(0)->Minimum_Value_ZScore = 0;
    Main.SetCurrentProtocol(std::move(Bad));
    Page.MeVariability->setPlainText("old report");
    QTest::mouseClick(Page.BtnCalculateVariability, Qt::LeftButton);
    QCOMPARE(Dialogs.Errors.size(), size_t(2));
    QVERIFY(Page.MeVariability->toPlainText().isEmpty());
  }

  void DeletingAFileRebuildsEveryView() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TempFolder Folder;
    TFmMain Main;
    auto P = OneChannelProtocol();
    auto Data = MergedSet(Folder, *P, {{20, 200}, {2000, 2000, 2000}, {300}});
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(Data));
    TVariabilityPage& Page = PageOf(Main);
    Page.SeVariabilityBins->setValue(3);
    int Replaced = 0, Shown = 0, Detectors = 0;
    connect(&Main, &TFmMain::DataReplaced, this, [&] { ++Replaced; });
    Main.Hooks.ShowDataLoaded = [&](bool HasData) { Shown += HasData ? 1 : 0; };

    // No: nothing removed, but the count and report are refreshed.
    Dialogs.Answers = {Dialogs::TAnswer::No};
    Page.SePlate->setValue(1);
    QTest::mouseClick(Page.BtnDeleteFile, Qt::LeftButton);
    QCOMPARE(Dialogs.Questions.back(), std::string("Permanently removes all data derived from File 1"));
    QVERIFY(Dialogs.Infos.empty());
    QCOMPARE(Main.PnPoints->text(), QString("6 Points"));
    QCOMPARE(MemoLines(Page)[3], std::string("G\tALL\t10.0\t10000.0\t0\t1\t2\t3\t0"));
    QCOMPARE(Replaced, 0);

    // Yes: file 1 goes; without the reading page's detector hook the set is analysed here.
    Dialogs.Answers = {Dialogs::TAnswer::Yes};
    QTest::mouseClick(Page.BtnDeleteFile, Qt::LeftButton);
    QCOMPARE(Dialogs.Infos.back(), std::string("Deleted 3 data points"));
    QCOMPARE(Main.PnPoints->text(), QString("3 Points"));
    QCOMPARE(Replaced, 1);
    QCOMPARE(Shown, 1);
    QCOMPARE(Main.CurrentData->EventCount(0), 3);
    TIntArray Counts;
    Main.CurrentData->ClassCounts(*Main.CurrentProtocol, 0, false, Counts);
    QCOMPARE(std::accumulate(Counts.begin(), Counts.end(), 0), 3);
    auto Lines = MemoLines(Page);
    QCOMPARE(Lines[3], std::string("G\tALL\t10.0\t10000.0\t0\t1\t2\t0\t0"));
    QCOMPARE(Lines[4], std::string("G\tFile_0\t10.0\t10000.0\t0\t1\t1\t0\t0"));
    QCOMPARE(Lines[5], std::string("G\tFile_1\t10.0\t10000.0\t0\t0\t0\t0\t0"));
    QCOMPARE(Lines[6], std::string("G\tFile_2\t10.0\t10000.0\t0\t0\t1\t0\t0"));
    QCOMPARE(Page.SePlate->minimum(), 0);
    QCOMPARE(Page.SePlate->maximum(), 2);

    // An index that supplied no events reports 0; the reading page's hook sets the detectors.
    Main.Hooks.SetDetectors = [&] { ++Detectors; };
    Dialogs.Answers = {Dialogs::TAnswer::Yes};
    Page.SePlate->setValue(1);
    QTest::mouseClick(Page.BtnDeleteFile, Qt::LeftButton);
    QCOMPARE(Dialogs.Infos.back(), std::string("Deleted 0 data points"));
    QCOMPARE(Detectors, 1);
    QCOMPARE(Main.PnPoints->text(), QString("3 Points"));
    QVERIFY(Dialogs.Errors.empty());
  }
};

static qv::test::RegisterUiTest<VariabilityPageTest> Register;

#include "VariabilityPageTest.moc"
