// The class explorer: the class events grid against the engine's means grid, the class histogram
// and its clearing, the export, and what a new or freed set leaves.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QAbstractAxis>
#include <QAreaSeries>
#include <QLineSeries>
#include <QChart>
#include <QTabWidget>
#include <QPushButton>
#include <QtTest>

#include "common/ChartView.h"
#include "pages/ClassExplorerPage.h"
#include "pages/ClassMeansModel.h"
#include "DataSetFixtures.h"
#include "shell/MainWindow.h"
#include "pages/ReadingPage.h"
#include "ScriptedDialogs.h"
#include "TextUtils.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"

using namespace qv;
using namespace qv::test;

namespace {

// Two channels, genotypes "green" (class 1) and "red" (class 2). Every third event is put in
// class 1 by hand; none in class 2.
struct TClassSet {
  explicit TClassSet(TFmMain& Main) {
    auto P = MakeProtocol({{"FSC", "FSC-H"}}, {{"GFP", "FL1"}, {"RFP", "FL2"}});
    P->AddGenotype("green", 0, 0);
    P->AddGenotype("red", 1, 0);
    std::vector<std::vector<double>> Rows;
    for (int i = 0; i < 12; ++i) Rows.push_back({100.0 + i, 50.25 + i, 20.0 + 3 * i});
    File = WriteAndRead(Folder, "classes.fcs", {"FSC-H", "FL1", "FL2"}, Rows);
    auto D = TFCSData::Create(*File, 0, true, nullptr, P.get());
    D->Compensate(*P, nullptr, 0);
    D->SetDetectors(*P, nullptr, false);
    for (size_t i = 0; i < D->Events.size(); ++i) D->Events[i].Classes()[2] = i % 3 == 1 ? 1 : 0;
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(D));
    for (auto& Listener : Main.Hooks.DataShownListeners) Listener(true);
  }
  TempFolder Folder;
  std::unique_ptr<TFCSFile> File;
};

void Click(QButtonGroup* Group, int Id) { Group->button(Id)->click(); }

// A click on the radio's indicator, as the user makes it.
void ClickRadio(QButtonGroup* Group, int Id) {
  QAbstractButton* Radio = Group->button(Id);
  QTest::mouseClick(Radio, Qt::LeftButton, {}, QPoint(8, Radio->height() / 2));
}

void ChooseClass(TClassExplorerPage& Page, int Item) {
  Page.CmBxClassExplorerGenotype->setCurrentIndex(Item);
  emit Page.CmBxClassExplorerGenotype->activated(Item);
}

}  // namespace

class ClassExplorerPageTest : public QObject {
  Q_OBJECT
 private slots:
  void ClassEventsGridAndExport() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    auto* Page = Main.findChild<TClassExplorerPage*>();
    QVERIFY(Page);
    TClassSet Set(Main);
    QCOMPARE(Page->CmBxClassExplorerGenotype->count(), 2);
    QCOMPARE(Page->CmBxClassExplorerGenotype->currentIndex(), -1);
    QCOMPARE(Page->GenotypeItems->button(1)->text(), QString("red"));
    QCOMPARE(Page->ChannelItems->button(0)->text(), QString("GFP"));

    // Nothing chosen: nothing shown.
    Page->CmBxClassExplorerGenotypeChange(0);
    QCOMPARE(Page->GenotypeData().rowCount(), 0);

    // The grid holds exactly what the engine's means grid holds, cell by cell.
    ChooseClass(*Page, 0);
    StringTable Expected;
    Main.CurrentData->FillMeansGrid(Expected, 1);
    const TClassMeansModel& Grid = Page->GenotypeData();
    QCOMPARE(Grid.rowCount(), Expected.RowCount());
    QCOMPARE(Grid.columnCount(), Expected.ColCount());
    for (int r = 0; r < Expected.RowCount(); ++r)
      for (int c = 0; c < Expected.ColCount(); ++c) QCOMPARE(Grid.Cell(r, c).toStdString(), Expected.Cell(c, r));
    // Last event of the class first; "##0.0" rounds 60.25 half away from zero.
    QCOMPARE(Grid.Cell(0, 0), QString("GFP_Raw"));
    QCOMPARE(Grid.Cell(0, 3), QString("RFP_Comp"));
    QCOMPARE(Grid.Cell(1, 0), QString("60.3"));
    QCOMPARE(Grid.Cell(4, 0), QString("51.3"));

    // A class without events.
    ChooseClass(*Page, 1);
    QCOMPARE(Grid.rowCount(), 1);
    QCOMPARE(Grid.Cell(0, 0), QString("No Data"));

    // Export to a file: the quoted lines of the grid, under the set's name.
    ChooseClass(*Page, 0);
    Page->ClassTargets.Save->click();
    Dialogs.FileAnswers = {Set.Folder / "class"};
    Page->BtnExportGenotypeEvents->click();
    const auto Lines = SplitLines(ReadText(Set.Folder / "class.CSV"));
    QCOMPARE(Lines.size(), size_t(5));
    QCOMPARE(Lines[0], std::string("\"GFP_Raw\",\"RFP_Raw\",\"GFP_Comp\",\"RFP_Comp\","));
    QVERIFY(Lines[1].rfind("\"60.3\",\"50.0\",", 0) == 0);
    QVERIFY(Dialogs.Errors.empty());

    // A new detector set and a freed set both empty the grid.
    for (auto& Listener : Main.Hooks.DataShownListeners) Listener(true);
    QCOMPARE(Grid.rowCount(), 0);
    ChooseClass(*Page, 0);
    QCOMPARE(Grid.rowCount(), 5);
    Main.SetCurrentData(nullptr);
    QCOMPARE(Grid.rowCount(), 0);
    Page->BtnExportGenotypeEvents->click();
    QVERIFY(Dialogs.FileAnswers.empty());
  }

  // A class without events draws its bars on the axis (no block below it) under a title that
  // says so; the classification pages hold no empty sheet.
  void EmptyClassDrawsNoBlock() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    auto* Page = Main.findChild<TClassExplorerPage*>();
    TClassSet Set(Main);
    Main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Main));
    Main.UpdateProtocolDependentControls(true, true);
    Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
    Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsClassification"));
    QTabWidget* Sheets = Main.Pages("PgClassification");
    for (int i = 0; i < Sheets->count(); ++i) {
      Sheets->setCurrentIndex(i);
      QVERIFY2(!Sheets->widget(i)->findChildren<QAbstractButton*>().isEmpty(), qPrintable(Sheets->tabText(i)));
    }
    Sheets->setCurrentWidget(Main.Page("TsClassExplorer"));
    Pump();
    ClickRadio(Page->GenotypeItems, 1);  // "red": no events
    ClickRadio(Page->ChannelItems, 0);
    TChartView* Chart = Page->CrtGenotype;
    QCOMPARE(Chart->Data().Series.size(), size_t(1));
    QCOMPARE(Chart->YMin(), 0.0);
    QVERIFY(Chart->YMax() > 0);
    QCOMPARE(Chart->chart()->title(), QString("No events in class red"));
    for (QAbstractSeries* S : Chart->chart()->series()) {
      auto* Area = qobject_cast<QAreaSeries*>(S);
      QVERIFY(Area && Area->lowerSeries());
      for (const QPointF& P : Area->lowerSeries()->points()) QCOMPARE(P.y(), 0.0);
    }
    // A class with events: its bars stand on the same base, and no title.
    ClickRadio(Page->GenotypeItems, 0);
    QCOMPARE(Chart->YMin(), 0.0);
    QVERIFY(Chart->YMax() >= 1);
    QVERIFY(Chart->chart()->title().isEmpty());
    QVERIFY(Dialogs.Errors.empty());
  }

  void ClassHistogramNeedsBothChoices() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    auto* Page = Main.findChild<TClassExplorerPage*>();
    TClassSet Set(Main);
    const TDetector& Class = *Main.CurrentData->ClassDetector;

    // A genotype alone draws nothing.
    Click(Page->GenotypeItems, 0);
    QCOMPARE(Class.SeriesCount, 0);
    QVERIFY(Page->CrtGenotype->IsEmpty());

    // With a channel: the class's four events, one bar series and no fitted curve.
    Click(Page->ChannelItems, 1);
    QCOMPARE(Class.SeriesCount, 1);
    QCOMPARE(Class.SeriesValues[0].size(), size_t(4));
    QCOMPARE(Page->CrtGenotype->Data().Series.size(), size_t(1));
    QVERIFY(Page->CrtGenotype->Data().Series[0].Kind == ChartSeries::TKind::Bar);
    QCOMPARE(Page->CrtGenotype->XAxis()->titleText(), QString("Compensated intensity"));
    QCOMPARE(Page->CrtGenotype->YAxis()->titleText(), QString("Events"));

    // Without automatic clearing the series pile up; with it the plot starts again.
    Page->CBAutoClearGenotypeDetector->setChecked(false);
    Click(Page->ChannelItems, 0);
    QCOMPARE(Class.SeriesCount, 2);
    QCOMPARE(Page->CrtGenotype->Data().Series.size(), size_t(2));
    Page->CBAutoClearGenotypeDetector->setChecked(true);
    Click(Page->ChannelItems, 1);
    QCOMPARE(Class.SeriesCount, 1);
    Page->BtnClearGenotypeDetector->click();
    QCOMPARE(Class.SeriesCount, 0);
    QVERIFY(Page->CrtGenotype->IsEmpty());

    // A new set clears the plot and the choices.
    Click(Page->ChannelItems, 1);
    QVERIFY(!Page->CrtGenotype->IsEmpty());
    for (auto& Listener : Main.Hooks.DataShownListeners) Listener(true);
    QVERIFY(Page->CrtGenotype->IsEmpty());
    QCOMPARE(Page->GenotypeChoice(), -1);
    QCOMPARE(Page->ChannelChoice(), -1);

    // A protocol of another shape is refused by name; the set's detector stays untouched.
    Click(Page->GenotypeItems, 0);
    const int32_t Before = Class.SeriesCount;
    Main.SetCurrentProtocol(MakeProtocol({}, {{"GFP", "FL1"}}));
    Click(Page->ChannelItems, 0);
    QCOMPARE(Dialogs.Errors, (std::vector<std::string>{TReadingPage::Mismatch}));
    QCOMPARE(Class.SeriesCount, Before);
    QVERIFY(Page->CrtGenotype->IsEmpty());
  }
};

static RegisterUiTest<ClassExplorerPageTest> Register;

#include "ClassExplorerPageTest.moc"
