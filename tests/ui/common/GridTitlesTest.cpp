// Grid columns wide enough for their titles, so that long gate and channel names (and the _Raw
// and _Comp columns made from them) read whole: raw and processed events, the compensation
// grids of the channel editor and the matrix sheet, and the class events.
#include <QAbstractItemModel>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include "DataSetFixtures.h"
#include "ScriptedDialogs.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "dataset/FCSData.h"
#include "pages/ClassExplorerPage.h"
#include "pages/CompensationCommands.h"
#include "pages/ProtocolPage.h"
#include "pages/ReadingPage.h"
#include "shell/MainWindow.h"

using namespace qv;
using namespace qv::test;

namespace {

const char* const GateName = "Side Scatter Height";
const char* const Green = "GFP-Fluorescein";
const char* const Red = "RFP-Texas Red";

std::unique_ptr<TProtocol> LongNamedProtocol() {
  auto P = MakeProtocol({GateDef(GateName, "SSC-H")}, {ChannelDef(Green, "FL1-H"), ChannelDef(Red, "FL2-H")});
  for (int32_t c = 0; c < P->ChannelCount(); ++c) {
    TChannel& C = *P->GetChannel(c);
    C.Minimum_Value_ZScore = 1;
    C.MaximumValue_ZScore = 100000;
    C.AddPeak(false, -1, 2.0f, 0.2f, 1, 0, 0, 0, 2, -2);
  }
  P->AddGenotype("green", 0, 0);
  P->AddGenotype("red", 1, 0);
  return P;
}

// The texts of the cells of View that do not show whole: rows below Rows are not looked at.
QStringList CutCells(const QTableView& View, int Rows) {
  const QAbstractItemModel& Model = *View.model();
  // The item delegate keeps a focus margin and one pixel on each side of the text.
  const int Margins = 2 * (View.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &View) + 1);
  QStringList Cut;
  for (int r = 0; r < std::min(Rows, Model.rowCount()); ++r)
    for (int c = 0; c < Model.columnCount(); ++c) {
      const QString Text = Model.data(Model.index(r, c)).toString();
      if (View.columnWidth(c) < View.fontMetrics().horizontalAdvance(Text) + Margins) Cut << Text;
    }
  return Cut;
}

}  // namespace

class GridTitlesTest : public QObject {
  Q_OBJECT
 private slots:
  void LongNamesReadWholeInEveryGrid() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TempFolder Folder;
    TFmMain Main;
    Main.show();
    auto* Reading = Main.findChild<TReadingPage*>("ReadingPage");
    Main.SetCurrentProtocol(LongNamedProtocol());
    std::vector<std::vector<double>> Rows;
    for (int i = 0; i < 300; ++i) Rows.push_back({400.0 + i, 50.0 + i % 97, 20.0 + (i * 7) % 300});
    WriteAndRead(Folder, "long.fcs", {"SSC-H", "FL1-H", "FL2-H"}, Rows,
                 {"Side Scatter Height", "Fluorescein Isothiocyanate", "Texas Red Phycoerythrin"});

    // Read Single FCS File: the raw events under the file's parameter names, the processed
    // events under the gate and the _Raw and _Comp channel columns.
    Reading->ShowFolder(Folder.Path());
    Reading->SelectFiles({"long.fcs"});
    QTest::mouseClick(Reading->BtnReadFCSFile, Qt::LeftButton);
    QVERIFY2(Dialogs.Errors.empty(), Dialogs.Errors.empty() ? "" : Dialogs.Errors[0].c_str());
    QVERIFY(Reading->ProcessedRowCount() > 1);
    QCOMPARE(Reading->ProcessedCell(0, 3), QString("RFP-Texas Red_Raw"));
    QCOMPARE(CutCells(*Reading->SgProcessed, 1), QStringList());
    QCOMPARE(CutCells(*Reading->SgData, 2), QStringList());
    // A data cell keeps the default width: only titles widen a column.
    QCOMPARE(Reading->SgProcessed->columnWidth(0), Reading->SgProcessed->horizontalHeader()->defaultSectionSize());

    // The channel editor's compensation grids, shown when the channel is chosen.
    auto* Protocol = Main.findChild<TProtocolPage*>();
    Main.PgMain->setCurrentWidget(Main.Page("TsProtocol"));
    QTableWidget* Channels = Protocol->SgChannels;
    QTest::mouseClick(Channels->viewport(), Qt::LeftButton, {}, Channels->visualItemRect(Channels->item(2, 0)).center());
    QCOMPARE(Channels->currentRow(), 2);
    QCOMPARE(Protocol->SgCompensations1->item(0, 2)->text(), QString(Red));
    for (QTableWidget* Grid : {Protocol->SgCompensations1, Protocol->SgCompensations2, Channels})
      QCOMPARE(CutCells(*Grid, Grid->rowCount()), QStringList());

    // The matrix sheet's channel names.
    auto* Matrix = Main.findChild<TCompensationCommands*>();
    QTest::mouseClick(Matrix->BtnShowMatrix, Qt::LeftButton);
    QCOMPARE(Matrix->SgMatrix->item(2, 0)->text(), QString(Red));
    QCOMPARE(CutCells(*Matrix->SgMatrix, Matrix->SgMatrix->rowCount()), QStringList());

    // The class events: every event of the set put in class 1 by hand.
    for (size_t i = 0; i < Main.CurrentData->Events.size(); ++i) Main.CurrentData->Events[i].Classes()[2] = 1;
    auto* Explorer = Main.findChild<TClassExplorerPage*>();
    Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
    Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsClassification"));
    Main.Pages("PgClassification")->setCurrentWidget(Main.Page("TsClassExplorer"));
    QComboBox* Classes = Explorer->CmBxClassExplorerGenotype;
    Classes->setFocus();
    QTest::keyClick(Classes, Qt::Key_Down);
    QCOMPARE(Classes->currentIndex(), 0);
    QTableView* Events = Explorer->SgGenotypeData;
    QCOMPARE(Events->model()->data(Events->model()->index(0, 3)).toString(), QString("RFP-Texas Red_Comp"));
    QCOMPARE(CutCells(*Events, 1), QStringList());
  }
};

static RegisterUiTest<GridTitlesTest> Register;

#include "GridTitlesTest.moc"
