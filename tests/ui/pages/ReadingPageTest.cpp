// The reading page: one file, merged files, own data files and re-processing, each leaving the
// views and data commands in step with the data set that exists.
#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QRadioButton>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>
#include <filesystem>

#include "common/CommandGuard.h"
#include "DataSetFixtures.h"
#include "FcsWriter.h"
#include "Files.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "pages/ProtocolCreator.h"
#include "pages/ReadingPage.h"
#include "ScriptedDialogs.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "TextUtils.h"

using namespace qv;
using namespace qv::test;

namespace {

// The save dialog's suggested name is recorded.
class RecordingDialogs : public ScriptedDialogs {
 public:
  std::vector<std::string> Suggested;
  std::string SaveFile(const TFileDialogOptions& Spec) override {
    Suggested.push_back(Spec.FileName);
    return ScriptedDialogs::SaveFile(Spec);
  }
};

// Events vary with their index so files differ; FL2 is the cull gate.
FcsFileSpec Spec(int64_t Count, double Offset = 0) {
  FcsFileSpec S;
  S.DataType = FcsDataType::Float32;
  S.Parameters = {LinearParameter("FSC-H", 262144), LinearParameter("FL1-H", 262144), LinearParameter("FL2-H", 262144),
                  LinearParameter("FL3-H", 262144)};
  S.EventCount = Count;
  S.Value = [Offset](int64_t E, int32_t P) { return 20.0 + Offset + static_cast<double>((E * (P + 3)) % 900); };
  return S;
}

std::unique_ptr<TProtocol> Protocol() {
  return MakeProtocol({GateDef("FSC", "FSC-H"), GateDef("Cull", "FL3-H", false, true)},
                      {ChannelDef("GFP", "FL1-H"), ChannelDef("RFP", "FL2-H")});
}

struct Fixture {
  ScopedProgramHome Home;
  RecordingDialogs Dialogs;
  TFmMain Main;
  TReadingPage* Page = Main.findChild<TReadingPage*>("ReadingPage");
  std::string Folder = Home.Path();

  void Write(const std::string& Name, const FcsFileSpec& S) { WriteFcs(Folder + Name, S); }
  void Select(std::vector<std::string> Names) {
    Page->ShowFolder(Folder);
    Page->SelectFiles(Names);
  }
  bool Click(QAbstractButton* Button) {
    QTest::mouseClick(Button, Qt::LeftButton);
    return true;
  }

  // The window on screen at the Load page, its file list showing Folder.
  void Show() {
    Main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Main));
    Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsLoad"));
    Page->ShowFolder(Folder);
  }
  QPoint Spot(const std::string& Name) {
    QListWidget* List = Page->LsBxLoadFiles;
    const QList<QListWidgetItem*> Items = List->findItems(QString::fromStdString(Name), Qt::MatchExactly);
    if (Items.isEmpty()) return {-1, -1};
    List->scrollToItem(Items[0]);
    return List->visualItemRect(Items[0]).center();
  }
  // Clicks the entries as a user does: the first alone, each further one with Ctrl.
  void ClickFiles(const std::vector<std::string>& Names) {
    Qt::KeyboardModifiers Keys = Qt::NoModifier;
    for (const std::string& Name : Names) {
      QTest::mouseClick(Page->LsBxLoadFiles->viewport(), Qt::LeftButton, Keys, Spot(Name));
      Keys = Qt::ControlModifier;
    }
  }
  void DoubleClickFile(const std::string& Name) {
    const QPoint At = Spot(Name);
    QTest::mouseClick(Page->LsBxLoadFiles->viewport(), Qt::LeftButton, Qt::NoModifier, At);
    QTest::mouseDClick(Page->LsBxLoadFiles->viewport(), Qt::LeftButton, Qt::NoModifier, At);
  }
  // Which pages of the FCS File Viewer have a tab.
  std::vector<bool> Tabs() const {
    QTabWidget* Explore = Main.Pages("PgExplore");
    std::vector<bool> Shown;
    for (int i = 0; i < Explore->count(); ++i) Shown.push_back(Explore->isTabVisible(i));
    return Shown;
  }
};

}  // namespace

class ReadingPageTest : public QObject {
  Q_OBJECT
 private slots:
  void SingleFileFillsEveryView() {
    Fixture F;
    F.Main.SetCurrentProtocol(Protocol());
    F.Write("big.fcs", Spec(250000));
    F.Select({"big.fcs"});
    F.Page->BtnReadClick();
    QVERIFY(F.Dialogs.Errors.empty());
    QCOMPARE(F.Main.PnPoints->text(), QString("250000 Points"));
    QCOMPARE(F.Page->RawRowCount(), int64_t(100002));
    QCOMPARE(F.Page->RawCell(0, 0), QString("Parameter"));
    QCOMPARE(F.Page->RawCell(1, 0), QString("Name"));
    QCOMPARE(F.Page->RawCell(0, 2), QString("FL1-H"));
    QCOMPARE(F.Page->RawCell(2, 1), QString("20"));
    const QString Header = F.Page->MeHeader->toPlainText();
    QVERIFY(Header.startsWith("File,"));
    QVERIFY(Header.contains("$TOT=250000"));
    QCOMPARE(F.Page->ProcessedCell(0, 0), QString("Index"));
    QCOMPARE(F.Page->ProcessedCell(1, 0), QString("1"));
    QVERIFY(F.Page->ProcessedRowCount() > 1);
    QVERIFY(!F.Page->MeSummary->toPlainText().isEmpty());
    QCOMPARE(F.Page->PnFileName->text(), QString("big.fcs"));
    QVERIFY(F.Page->BtnReProcess->isEnabled());
    QVERIFY(F.Main.MenuItem("MnSaveQuorvenal")->isEnabled());
    QVERIFY(F.Page->BtnReadFCSFile->isEnabled());
    QCOMPARE(LoadDir, F.Folder);
  }

  void ReadingAgainFreesTheOlderSetOnceBeforeBuilding() {
    Fixture F;
    F.Main.SetCurrentProtocol(Protocol());
    F.Write("a.fcs", Spec(200000));
    F.Write("b.fcs", Spec(200000, 7));
    F.Select({"a.fcs"});
    F.Page->BtnReadClick();
    const QString FirstCell = F.Page->ProcessedCell(1, 1);
    int Freed = 0;
    std::string FreedSource;
    bool Pumped = false, HeldDuringBuild = true;
    QString CellDuringBuild = "unread";
    const auto Watch = QObject::connect(&F.Main, &TFmMain::DataFreeing, [&] {
      ++Freed;
      FreedSource = F.Main.CurrentData ? F.Main.CurrentData->SourceName : "";
      // Runs at the gauge's first pump while the new set is built: the older set is gone by
      // then and the processed view, which a repaint would read, no longer reaches it.
      QTimer::singleShot(0, [&] {
        Pumped = true;
        HeldDuringBuild = F.Main.CurrentData != nullptr;
        CellDuringBuild = F.Page->ProcessedCell(1, 1);
      });
    });
    F.Select({"b.fcs"});
    QVERIFY(GuardedCommand([&] { F.Page->BtnReadClick(); }));
    QObject::disconnect(Watch);
    QVERIFY(F.Dialogs.Errors.empty());
    QCOMPARE(Freed, 1);
    QCOMPARE(FreedSource, F.Folder + "a.fcs");
    QVERIFY(Pumped);
    QVERIFY(!HeldDuringBuild);
    QCOMPARE(CellDuringBuild, QString());
    QCOMPARE(F.Main.CurrentData->SourceName, F.Folder + "b.fcs");
    QVERIFY(F.Page->ProcessedCell(1, 1) != FirstCell);
    QVERIFY(F.Page->ProcessedRowCount() > 1);
    QVERIFY(!F.Page->MeSummary->toPlainText().isEmpty());
  }

  void UnreadableFileKeepsThePreviousState() {
    Fixture F;
    F.Main.SetCurrentProtocol(Protocol());
    F.Write("good.fcs", Spec(500));
    FcsFileSpec Cut = Spec(500);
    Cut.TruncateTo = 2000;
    F.Write("cut.fcs", Cut);
    F.Select({"good.fcs"});
    F.Page->BtnReadClick();
    const TFCSData* Before = F.Main.CurrentData.get();
    QVERIFY(Before);
    F.Select({"cut.fcs"});
    QVERIFY(GuardedCommand([&] { F.Page->BtnReadClick(); }));
    QCOMPARE(F.Dialogs.Errors.size(), size_t(1));
    QVERIFY(F.Dialogs.Errors[0].find("cut.fcs") != std::string::npos);
    QCOMPARE(F.Main.CurrentData.get(), Before);
    QCOMPARE(F.Page->RawRowCount(), int64_t(502));
    QCOMPARE(F.Main.PnPoints->text(), QString("500 Points"));
    QCOMPARE(F.Page->FileOnPages(), F.Folder + "good.fcs");
    QVERIFY(F.Page->BtnReadFCSFile->isEnabled());
    QVERIFY(F.Main.MenuItem("MnReadSingleFCS")->isEnabled());
    // A failure after the file was read leaves the new file on the pages and no older set.
    F.Main.SetCurrentProtocol(MakeProtocol({GateDef("FSC", "FSC-H")}, {ChannelDef("GFP", "FL1-H"), ChannelDef("RFP", "FL2-H")},
                                           {{0, 0}, {0, 0}}));
    F.Write("other.fcs", Spec(300));
    F.Select({"other.fcs"});
    QVERIFY(GuardedCommand([&] { F.Page->BtnReadClick(); }));
    QCOMPARE(F.Dialogs.Errors.size(), size_t(2));
    QVERIFY(!F.Main.CurrentData);
    QCOMPARE(F.Page->RawRowCount(), int64_t(302));
    QCOMPARE(F.Main.PnPoints->text(), QString("300 Points"));
    QVERIFY(!F.Page->BtnReProcess->isEnabled());
  }

  // A file without $PAR holds no events, whatever its $TOT: the page shows none, no error.
  void FileWithoutParametersShowsNoEvents() {
    Fixture F;
    FcsFileSpec Empty;
    Empty.Omit = {"$PAR"};
    Empty.Keywords = {{"$TOT", "2147483647"}};
    F.Write("empty.fcs", Empty);
    F.Select({"empty.fcs"});
    QVERIFY(GuardedCommand([&] { F.Page->BtnReadClick(); }));
    QVERIFY(F.Dialogs.Errors.empty());
    QCOMPARE(F.Main.PnPoints->text(), QString("0 Points"));
    QCOMPARE(F.Page->FileOnPages(), F.Folder + "empty.fcs");
  }

  void RealInstrumentFile() {
    const std::string Dir = SamplesDir();
    if (Dir.empty()) QSKIP("../shared/fcs-samples is missing");
    Fixture F;
    F.Page->ShowFolder(Dir);
    F.Page->SelectFiles({"facscan-fcs2-int16-le.fcs"});
    F.Page->BtnReadClick();
    QVERIFY(F.Dialogs.Errors.empty());
    QVERIFY(F.Page->RawRowCount() > 2);
    QVERIFY(F.Page->MeHeader->toPlainText().contains("$PAR="));
    // Without a protocol no data set exists and the data commands stay off.
    QVERIFY(!F.Main.CurrentData);
    QVERIFY(!F.Page->BtnReProcess->isEnabled());
  }

  void MergeLabelsAndCull() {
    Fixture F;
    F.Main.SetCurrentProtocol(Protocol());
    for (int i = 0; i < 3; ++i) F.Write("m" + std::to_string(i) + ".fcs", Spec(300, i));
    F.Select({"m0.fcs", "m1.fcs", "m2.fcs"});
    F.Page->BtnMergeFCSFilesClick();
    QCOMPARE(F.Page->PnFileName->text(), QString("m2.fcs + 2 others"));
    QCOMPARE(F.Main.CurrentData->FileCount, 3);
    QVERIFY(F.Page->FileOnPages().empty());
    QVERIFY(!F.Page->BtnExportHeader->isEnabled());
    F.Select({"m0.fcs", "m1.fcs"});
    F.Page->BtnMergeFCSFilesClick();
    QCOMPARE(F.Page->PnFileName->text(), QString("m1.fcs + 1 other"));
    F.Select({"m1.fcs"});
    // Answering No merges without the cull gate and unchecks the box.
    F.Page->CbCullAPC->setChecked(true);
    F.Page->EdCullHigh->setText("300");
    F.Dialogs.Answers = {Dialogs::TAnswer::No};
    F.Page->BtnMergeFCSFilesClick();
    QCOMPARE(F.Dialogs.Questions.back(), std::string("Discard events with CullValues > 300 or < 10?"));
    QCOMPARE(F.Page->PnFileName->text(), QString("m1.fcs + 0 others"));
    QCOMPARE(F.Main.CurrentData->EventCount(0), 300);
    QVERIFY(!F.Page->CbCullAPC->isChecked());
    // Yes culls.
    F.Page->CbCullAPC->setChecked(true);
    F.Dialogs.Answers = {Dialogs::TAnswer::Yes};
    F.Page->BtnMergeFCSFilesClick();
    QVERIFY(F.Main.CurrentData->EventCount(0) < 300);
    QVERIFY(!F.Page->CbCullAPC->isChecked());
  }

  void MergeRefusalsChangeNothing() {
    Fixture F;
    F.Write("a.fcs", Spec(100));
    F.Select({"a.fcs"});
    F.Page->BtnMergeFCSFilesClick();
    QCOMPARE(F.Dialogs.Errors.back(), std::string("A protocol is needed to merge files"));
    F.Main.SetCurrentProtocol(Protocol());
    F.Page->BtnReadClick();
    const TFCSData* Before = F.Main.CurrentData.get();
    QVERIFY(Before);
    F.Page->EdCullLow->setText("abc");
    F.Page->BtnMergeFCSFilesClick();
    QVERIFY(F.Dialogs.Errors.back().find("Cull low") != std::string::npos);
    QCOMPARE(F.Main.CurrentData.get(), Before);
    QCOMPARE(F.Page->PnFileName->text(), QString("a.fcs"));
  }

  void MergeCancelAndFailure() {
    Fixture F;
    F.Main.SetCurrentProtocol(Protocol());
    for (int i = 0; i < 3; ++i) F.Write("m" + std::to_string(i) + ".fcs", Spec(200, i));
    F.Select({"m0.fcs", "m1.fcs", "m2.fcs"});
    // Cancel once the first file is read: it stays merged and compensated.
    QMetaObject::Connection C = connect(F.Page->GaMerge, &QProgressBar::valueChanged, [&](int V) {
      if (V == 2) F.Main.BtnCancelClick();
    });
    QVERIFY(GuardedCommand([&] { F.Page->BtnMergeFCSFilesClick(); }));
    disconnect(C);
    QVERIFY(F.Main.CurrentData);
    QCOMPARE(F.Main.CurrentData->FileCount, 1);
    QCOMPARE(F.Main.CurrentData->EventCount(0), 200);
    QVERIFY(F.Main.CurrentData->Events[0].HasCompValues());
    QVERIFY(F.Main.BtnCancel->isHidden());
    // A damaged file ends the merge with its message and leaves no data set.
    FcsFileSpec Cut = Spec(200);
    Cut.TruncateTo = 1500;
    F.Write("m1.fcs", Cut);
    F.Select({"m0.fcs", "m1.fcs", "m2.fcs"});
    QVERIFY(GuardedCommand([&] { F.Page->BtnMergeFCSFilesClick(); }));
    QVERIFY(!F.Main.CurrentData);
    QVERIFY(F.Dialogs.Errors.back().find("m1.fcs") != std::string::npos);
    QVERIFY(!F.Page->BtnReProcess->isEnabled());
    QVERIFY(!F.Main.MenuItem("MnReprocess")->isEnabled());
    QVERIFY(F.Page->BtnReadMultipleFCSFiles->isEnabled());
  }

  void OwnDataFilesSaveAndLoad() {
    Fixture F;
    F.Main.SetCurrentProtocol(Protocol());
    F.Write("run1.fcs", Spec(400));
    F.Select({"run1.fcs"});
    F.Page->BtnReadClick();
    const std::string Target = F.Folder + "run1.Quorvenal";
    F.Dialogs.FileAnswers = {Target};
    F.Page->BtnSaveFCSDataClick();
    QCOMPARE(F.Dialogs.Suggested.back(), std::string("run1.Quorvenal"));
    QVERIFY(FileExists(Target));
    QCOMPARE(SaveDir, F.Folder);
    // Upper-case extension loads on double-click; the protocol question comes first.
    std::rename(Target.c_str(), (F.Folder + "RUN1.QUORVENAL").c_str());
    WriteText(F.Folder + "notes.txt", "x");
    F.Main.MarkProtocolSaved();
    F.Page->RbAllFiles->click();
    F.Select({"notes.txt"});
    F.Page->LsBxLoadFiles->setCurrentRow(F.Page->LsBxLoadFiles->currentRow());
    F.Page->LsBxLoadFilesDblClick();
    QCOMPARE(F.Page->PnFileName->text(), QString("run1.fcs"));
    QVERIFY(F.Page->BtnExportHeader->isEnabled());
    F.Select({"RUN1.QUORVENAL"});
    F.Page->LsBxLoadFilesDblClick();
    QVERIFY(F.Main.CurrentData);
    QCOMPARE(F.Main.CurrentData->EventCount(0), 400);
    QCOMPARE(F.Page->PnFileName->text(), QString(" RUN1.QUORVENAL"));
    QCOMPARE(F.Main.PnPoints->text(), QString("400 Points"));
    // The header pages no longer speak of the set on screen.
    QVERIFY(F.Page->FileOnPages().empty());
    QVERIFY(!F.Page->BtnExportHeader->isEnabled());
    // An invalid data file leaves no set and names none.
    WriteText(F.Folder + "bad.Quorvenal", "not a data file");
    F.Select({"bad.Quorvenal"});
    F.Main.MarkProtocolSaved();
    F.Page->BtnLoadQuorvenalClick(6);
    QVERIFY(!F.Main.CurrentData);
    QVERIFY(!F.Dialogs.Errors.empty());
    QCOMPARE(F.Page->PnFileName->text(), QString(" File Name : <none>"));
    // Appending a data file adds its events to the set on screen, which is compensated again.
    F.Select({"RUN1.QUORVENAL"});
    F.Page->LsBxLoadFilesDblClick();
    F.Page->BtnLoadQuorvenalClick(8);
    QCOMPARE(static_cast<int64_t>(F.Main.CurrentData->Events.size()), int64_t(800));
    QCOMPARE(F.Main.PnPoints->text(), QString("800 Points"));
    QVERIFY(F.Main.CurrentData->Events[799].HasCompValues());
    // Load without a selection does nothing.
    F.Page->LsBxLoadFiles->clearSelection();
    F.Page->LsBxLoadFiles->setCurrentRow(-1);
    const size_t Errors = F.Dialogs.Errors.size();
    F.Page->BtnLoadQuorvenalClick(6);
    QCOMPARE(F.Dialogs.Errors.size(), Errors);
  }

  void ReprocessModesAndMismatch() {
    Fixture F;
    F.Main.SetCurrentProtocol(Protocol());
    F.Write("r.fcs", Spec(300));
    F.Select({"r.fcs"});
    F.Page->BtnReadClick();
    CompensationMode = 2;
    F.Page->MeSummary->clear();
    F.Dialogs.Answers = {Dialogs::TAnswer::Cancel};
    F.Page->BtnReProcessClick(4);
    QCOMPARE(CompensationMode, 2);
    QVERIFY(F.Page->MeSummary->toPlainText().isEmpty());
    F.Dialogs.Answers = {Dialogs::TAnswer::No};
    F.Page->BtnReProcessClick(4);
    QCOMPARE(CompensationMode, 1);
    QCOMPARE(F.Main.PnDynamicCompensation->text(), QString("Corrected"));
    QVERIFY(!F.Page->MeSummary->toPlainText().isEmpty());
    QCOMPARE(F.Main.Pages("PgClassification")->currentWidget(), F.Main.Page("TSSummary"));
    CompensationMode = 0;
    // A protocol of another shape is refused before anything runs.
    F.Main.SetCurrentProtocol(MakeProtocol({GateDef("FSC", "FSC-H")}, {ChannelDef("GFP", "FL1-H")}));
    F.Page->MeSummary->clear();
    F.Page->BtnReProcessClick(3);
    QCOMPARE(F.Dialogs.Errors.back(), std::string(TReadingPage::Mismatch));
    QVERIFY(F.Page->MeSummary->toPlainText().isEmpty());
  }

  void CreatorMarksParametersAndBuilds() {
    Fixture F;
    F.Write("p.fcs", Spec(50));
    F.Select({"p.fcs"});
    F.Page->BtnReadClick();
    auto* Creator = F.Main.findChild<TProtocolCreator*>("ProtocolCreator");
    auto* Create = F.Main.findChild<QPushButton*>("BtnCreateProtocol");
    auto* Grid = F.Main.findChild<QTableWidget*>("SgMakeProtocol");
    QCOMPARE(Grid->rowCount(), 4);
    Creator->SgMakeProtocolDblClick(0);
    QCOMPARE(Grid->item(0, 2)->text(), QString("GATE"));
    QCOMPARE(F.Main.findChild<QLabel*>("LbGateCount")->text(), QString("1 Gates"));
    QVERIFY(!Create->isEnabled());
    Creator->SgMakeProtocolDblClick(1);
    Creator->SgMakeProtocolDblClick(1);
    QCOMPARE(Grid->item(1, 2)->text(), QString("CHANNEL"));
    QCOMPARE(F.Main.findChild<QLabel*>("LbChannelCount")->text(), QString("1 Channels"));
    QVERIFY(Create->isEnabled());
    // A third click takes the mark away again.
    Creator->SgMakeProtocolDblClick(2);
    Creator->SgMakeProtocolDblClick(2);
    Creator->SgMakeProtocolDblClick(2);
    QCOMPARE(Grid->item(2, 2)->text(), QString("--"));
    F.Main.findChild<QCheckBox*>("CbSaveProtocolAfterCreation")->setChecked(true);
    F.Main.findChild<QCheckBox*>("CbProcessAfterCreation")->setChecked(true);
    F.Dialogs.FileAnswers = {F.Folder + "made.protocol"};
    // The file list's selection has moved on: the file that built the protocol is read again.
    F.Page->LsBxLoadFiles->clearSelection();
    Creator->BtnCreateProtocolClick();
    QVERIFY(F.Main.CurrentProtocol);
    QCOMPARE(F.Main.CurrentProtocol->GateCount(), 1);
    QCOMPARE(F.Main.CurrentProtocol->ChannelCount(), 1);
    QVERIFY(FileExists(F.Folder + "made.protocol"));
    QVERIFY(F.Main.CurrentData);
    QCOMPARE(static_cast<int64_t>(F.Main.CurrentData->Events.size()), int64_t(50));
  }

  void CreatorButtonNamesItsPanelAndTheSavedProtocolShows() {
    Fixture F;
    F.Write("p.fcs", Spec(50));
    F.Select({"p.fcs"});
    F.Click(F.Page->BtnReadFCSFile);
    F.Main.PgMain->setCurrentWidget(F.Main.Page("TsExplore"));
    F.Main.Pages("PgExplore")->setCurrentWidget(F.Main.Page("TsHeader"));
    F.Main.show();
    QApplication::setActiveWindow(&F.Main);
    QVERIFY(QTest::qWaitForWindowActive(&F.Main));
    auto* Show = F.Main.findChild<QPushButton*>("BtnShowProtocolCreationGrid");
    auto* Panel = F.Main.findChild<QWidget*>("PnProtocolCreator");
    auto* Grid = F.Main.findChild<QTableWidget*>("SgMakeProtocol");
    QCOMPARE(Show->text(), QString("Show Protocol Creator..."));
    F.Click(Show);
    QVERIFY(Panel->isVisible());
    QCOMPARE(Show->text(), QString("Hide Protocol Creator..."));
    auto DoubleClick = [&](int Row) {
      // A double-click as the mouse makes it: press and release, then the double-click.
      const QPoint At = Grid->visualItemRect(Grid->item(Row, 0)).center();
      QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, At);
      QTest::mouseDClick(Grid->viewport(), Qt::LeftButton, {}, At);
    };
    DoubleClick(0);
    DoubleClick(1);
    DoubleClick(1);
    QCOMPARE(Grid->item(1, 2)->text(), QString("CHANNEL"));
    auto* SaveAfter = F.Main.findChild<QCheckBox*>("CbSaveProtocolAfterCreation");
    QTest::mouseClick(SaveAfter, Qt::LeftButton, {}, QPoint(8, SaveAfter->height() / 2));  // on its box
    QVERIFY(SaveAfter->isChecked());
    F.Dialogs.FileAnswers = {F.Folder + "made.protocol"};
    F.Click(F.Main.findChild<QPushButton*>("BtnCreateProtocol"));
    QVERIFY(FileExists(F.Folder + "made.protocol"));
    QCOMPARE(F.Main.PnProtocolName->text(), QString(" made.protocol"));
    F.Click(Show);
    QVERIFY(Panel->isHidden());
    QCOMPARE(Show->text(), QString("Show Protocol Creator..."));
  }

  void CreatorRefusedBuildKeepsTheProtocol() {
    Fixture F;
    F.Main.SetCurrentProtocol(Protocol());
    const TProtocol* Before = F.Main.CurrentProtocol.get();
    FcsFileSpec Wide;
    for (int i = 0; i < 17; ++i) Wide.Parameters.push_back(LinearParameter("P" + std::to_string(i) + "-H", 1024));
    Wide.Events = {std::vector<double>(17, 10.0)};
    F.Write("wide.fcs", Wide);
    F.Select({"wide.fcs"});
    F.Page->BtnReadClick();
    auto* Creator = F.Main.findChild<TProtocolCreator*>("ProtocolCreator");
    Creator->SgMakeProtocolDblClick(0);
    for (int i = 1; i < 17; ++i) {
      Creator->SgMakeProtocolDblClick(i);
      Creator->SgMakeProtocolDblClick(i);
    }
    F.Dialogs.Errors.clear();
    Creator->BtnCreateProtocolClick();
    QCOMPARE(F.Main.CurrentProtocol.get(), Before);
    QVERIFY(!F.Dialogs.Errors.empty());
  }
  void ChannelSummariesOfTheFilesThatLoad() {
    Fixture F;
    F.Main.SetCurrentProtocol(Protocol());
    F.Write("s.fcs", Spec(100));
    F.Select({"s.fcs"});
    F.Page->BtnReadClick();
    for (const char* Name : {"a.Quorvenal", "b.Quorvenal"}) {
      F.Dialogs.FileAnswers = {F.Folder + Name};
      F.Page->BtnSaveFCSDataClick();
    }
    WriteText(F.Folder + "c.Quorvenal", "not a data file");
    F.Page->RbQuorvenalFiles->click();
    F.Select({"a.Quorvenal", "b.Quorvenal", "c.Quorvenal"});
    // Without a spreadsheet program the lines go to the save dialog.
    const QByteArray OldPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(F.Folder + "no-bin"));
    F.Dialogs.Errors.clear();
    F.Dialogs.FileAnswers = {F.Folder + "summary.csv"};
    F.Page->BtnLoadQuorvenalClick(7);
    qputenv("PATH", OldPath);
    const std::string Text = ReadText(F.Folder + "summary.csv");
    QVERIFY(Text.rfind("File,", 0) == 0);
    QVERIFY(Text.find("\r\na,") != std::string::npos);
    QVERIFY(Text.find("\r\nb,") != std::string::npos);
    QVERIFY(Text.find("\r\nc,") == std::string::npos);
    QVERIFY(!F.Dialogs.Errors.empty());
    QVERIFY(F.Dialogs.Errors.back().find("c.Quorvenal") != std::string::npos);
    QCOMPARE(F.Page->PnFileName->text(), QString(" a.Quorvenal"));
  }
  void PointsAndSaveNameOfTheFileRead() {
    Fixture F;
    F.Show();
    QCOMPARE(F.Main.PnPoints->text(), QString(" 000000 Points"));
    F.Main.SetCurrentProtocol(Protocol());
    F.Write("2013.02.14 run1.fcs", Spec(1000));
    F.Page->ShowFolder(F.Folder);
    F.DoubleClickFile("2013.02.14 run1.fcs");
    QVERIFY(F.Dialogs.Errors.empty());
    QCOMPARE(F.Page->PnFileName->text(), QString("2013.02.14 run1.fcs"));
    QCOMPARE(F.Main.PnPoints->text(), QString("1000 Points"));
    F.Click(F.Page->BtnReProcess);
    QCOMPARE(F.Main.PnPoints->text(), QString("1000 Points"));
    // Only the extension is replaced, whatever dots the name holds.
    F.Main.MenuItem("MnSaveQuorvenal")->trigger();
    QCOMPARE(F.Dialogs.Suggested.back(), std::string("2013.02.14 run1.Quorvenal"));
  }

  void AppendAndSummariesFollowTheSetAndTheList() {
    Fixture F;
    F.Show();
    QAction* Append = F.Main.MenuItem("MnAppendQuorvenal");
    QAction* Summaries = F.Main.MenuItem("MnExportChannelSummaries");
    QVERIFY(F.Page->RbFCSFiles->isChecked());
    QVERIFY(!F.Page->BtnAppendQuorvenalFile->isEnabled() && !Append->isEnabled());
    QVERIFY(!F.Page->BtnChannelSummaries->isEnabled() && !Summaries->isEnabled());
    F.Click(F.Page->RbQuorvenalFiles);
    QVERIFY(F.Page->BtnChannelSummaries->isEnabled() && Summaries->isEnabled());
    QVERIFY(!F.Page->BtnAppendQuorvenalFile->isEnabled() && !Append->isEnabled());
    F.Click(F.Page->RbAllFiles);
    QVERIFY(!F.Page->BtnChannelSummaries->isEnabled() && !Summaries->isEnabled());
    F.Click(F.Page->RbFCSFiles);
    QVERIFY(!F.Page->BtnChannelSummaries->isEnabled() && !Summaries->isEnabled());
    // A set to append to enables Append.
    F.Main.SetCurrentProtocol(Protocol());
    F.Write("a.fcs", Spec(100));
    F.Page->ShowFolder(F.Folder);
    F.DoubleClickFile("a.fcs");
    QVERIFY(F.Page->BtnAppendQuorvenalFile->isEnabled() && Append->isEnabled());
    QVERIFY(!F.Page->BtnChannelSummaries->isEnabled() && !Summaries->isEnabled());
  }

  void ChannelSummariesAskAboutTheEditedProtocolFirst() {
    Fixture F;
    F.Show();
    F.Main.SetCurrentProtocol(Protocol());
    F.Write("s.fcs", Spec(100));
    F.Page->ShowFolder(F.Folder);
    F.DoubleClickFile("s.fcs");
    F.Dialogs.FileAnswers = {F.Folder + "a.Quorvenal"};
    F.Main.MenuItem("MnSaveQuorvenal")->trigger();
    QVERIFY(FileExists(F.Folder + "a.Quorvenal"));
    // An edit of the protocol on its page.
    F.Main.PgMain->setCurrentWidget(F.Main.Page("TsProtocol"));
    F.Main.Pages("PgProtocol")->setCurrentWidget(F.Main.Page("TsProtocolNotes"));
    auto* Notes = F.Main.findChild<QPlainTextEdit*>("MeNotes");
    QTest::keyClicks(Notes, "edited since");
    F.Main.PgMain->setCurrentWidget(F.Main.Page("TsExplore"));
    F.Click(F.Page->RbQuorvenalFiles);
    F.ClickFiles({"a.Quorvenal"});
    // Cancel: the protocol and the set on screen stay.
    F.Dialogs.Answers = {Dialogs::TAnswer::Cancel};
    F.Click(F.Page->BtnChannelSummaries);
    QCOMPARE(F.Dialogs.Questions, std::vector<std::string>{"Save changes to protocol test.protocol?"});
    QCOMPARE(Notes->toPlainText(), QString("edited since"));
    QCOMPARE(F.Main.CurrentProtocol->Notes, std::string("edited since"));
    QCOMPARE(F.Page->PnFileName->text(), QString("s.fcs"));
    QCOMPARE(F.Main.PnPoints->text(), QString("100 Points"));
    // No: the summary is made and the file's protocol becomes current.
    const QByteArray OldPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(F.Folder + "no-bin"));
    F.Dialogs.Answers = {Dialogs::TAnswer::No};
    F.Dialogs.FileAnswers = {F.Folder + "summary.csv"};
    F.Click(F.Page->BtnChannelSummaries);
    qputenv("PATH", OldPath);
    QCOMPARE(F.Dialogs.Questions.size(), size_t(2));
    QVERIFY(ReadText(F.Folder + "summary.csv").find("\r\na,") != std::string::npos);
    QCOMPARE(F.Page->PnFileName->text(), QString(" a.Quorvenal"));
    QCOMPARE(F.Main.CurrentProtocol->Notes, std::string());
  }

  void MergeOfAFileWithOtherParametersSaysSoAndHoldsNoSet() {
    Fixture F;
    F.Show();
    F.Main.SetCurrentProtocol(Protocol());
    F.Write("a.fcs", Spec(300));
    FcsFileSpec Other = Spec(300);
    Other.Parameters = {LinearParameter("FSC-H", 262144), LinearParameter("FL1-H", 262144),
                        LinearParameter("FL3-H", 262144)};
    F.Write("b.fcs", Other);
    F.Page->ShowFolder(F.Folder);
    F.DoubleClickFile("a.fcs");
    QCOMPARE(F.Page->PnFileName->text(), QString("a.fcs"));
    F.ClickFiles({"a.fcs", "b.fcs"});
    F.Click(F.Page->BtnReadMultipleFCSFiles);
    QCOMPARE(F.Dialogs.Errors, std::vector<std::string>{"b.fcs: its parameters do not match the protocol's channels and gates"});
    // The older set is gone, and nothing on the pages speaks of it.
    QCOMPARE(F.Main.PnPoints->text(), QString("0 Points"));
    QCOMPARE(F.Page->PnFileName->text(), QString(" File Name : <none>"));
    QVERIFY(F.Page->MeHeader->toPlainText().isEmpty());
    QCOMPARE(F.Page->SgData->model()->rowCount(), 0);
    QCOMPARE(F.Page->SgProcessed->model()->rowCount(), 0);
    QVERIFY(F.Page->MeSummary->toPlainText().isEmpty());
    QCOMPARE(F.Tabs(), std::vector<bool>({true, false, false, false, false, false, false, false, false}));
    QVERIFY(!F.Page->BtnReProcess->isEnabled());
    QVERIFY(!F.Main.MenuItem("MnSaveQuorvenal")->isEnabled());
    QVERIFY(!F.Page->BtnAppendQuorvenalFile->isEnabled());
    QVERIFY(F.Page->BtnReadMultipleFCSFiles->isEnabled());
  }

  void RefusedMergeChangesNothing() {
    Fixture F;
    F.Show();
    F.Write("a.fcs", Spec(300));
    F.Page->ShowFolder(F.Folder);
    const std::string Elsewhere = F.Folder + "elsewhere/";
    LoadDir = Elsewhere;
    // Without a protocol: refused before the cull question, the box as it was.
    F.Click(F.Page->CbCullAPC);
    QVERIFY(F.Page->CbCullAPC->isChecked());
    F.ClickFiles({"a.fcs"});
    const std::vector<bool> Start = F.Tabs();
    F.Click(F.Page->BtnReadMultipleFCSFiles);
    QCOMPARE(F.Dialogs.Errors, std::vector<std::string>{"A protocol is needed to merge files"});
    QVERIFY(F.Dialogs.Questions.empty());
    QVERIFY(F.Page->CbCullAPC->isChecked());
    QCOMPARE(LoadDir, Elsewhere);
    QCOMPARE(F.Tabs(), Start);
    // A cull edit left empty: refused the same way, the set on screen kept.
    F.Main.SetCurrentProtocol(Protocol());
    F.DoubleClickFile("a.fcs");
    QCOMPARE(F.Page->PnFileName->text(), QString("a.fcs"));
    LoadDir = Elsewhere;
    const std::vector<bool> Read = F.Tabs();
    QTest::mouseClick(F.Page->EdCullLow, Qt::LeftButton);
    QTest::keyClick(F.Page->EdCullLow, Qt::Key_End);
    for (int i = 0; i < 2; ++i) QTest::keyClick(F.Page->EdCullLow, Qt::Key_Backspace);
    QVERIFY(F.Page->EdCullLow->text().isEmpty());
    F.ClickFiles({"a.fcs"});
    F.Click(F.Page->BtnReadMultipleFCSFiles);
    QCOMPARE(F.Dialogs.Errors.size(), size_t(2));
    QVERIFY(F.Dialogs.Errors.back().find("Cull low") != std::string::npos);
    QVERIFY(F.Dialogs.Questions.empty());
    QCOMPARE(LoadDir, Elsewhere);
    QCOMPARE(F.Tabs(), Read);
    QCOMPARE(F.Page->PnFileName->text(), QString("a.fcs"));
    QCOMPARE(F.Main.PnPoints->text(), QString("300 Points"));
    QVERIFY(F.Page->BtnReProcess->isEnabled());
    QVERIFY(!F.Page->MeHeader->toPlainText().isEmpty());
  }

  // Without a protocol a read makes no set, yet the header, raw events and parameters are on
  // their pages, named on the panel, and export from there; the save dialog names each mask once.
  void FilePagesExportAFileReadWithoutAProtocol() {
    Fixture F;
    F.Show();
    F.Write("a.fcs", Spec(300));
    F.Page->ShowFolder(F.Folder);
    F.DoubleClickFile("a.fcs");
    QVERIFY(F.Dialogs.Errors.empty());
    QVERIFY(!F.Main.CurrentData);
    QCOMPARE(F.Page->PnFileName->text(), QString("a.fcs"));
    QCOMPARE(F.Main.PnPoints->text(), QString("300 Points"));
    QPushButton* const Exports[] = {F.Page->BtnExportHeader, F.Page->BtnExportRawData, F.Page->BtnExportParameters};
    for (QPushButton* B : Exports) QVERIFY2(B->isEnabled(), qPrintable(B->objectName()));

    for (const char* X : {"Header", "Data", "Parameters"})
      F.Click(F.Main.findChild<QAbstractButton*>(QString("BtnExport%1Save").arg(X)));
    F.Dialogs.FileAnswers = {F.Folder + "header", F.Folder + "raw", F.Folder + "parameters"};
    for (QPushButton* B : Exports) F.Click(B);
    QVERIFY(F.Dialogs.Errors.empty());
    QVERIFY(ReadText(F.Folder + "header.TXT").find("$TOT=300") != std::string::npos);
    QCOMPARE(SplitLines(ReadText(F.Folder + "raw.CSV")).size(), size_t(302));
    TFCSFile File(F.Folder + "a.fcs");
    QCOMPARE(SplitLines(ReadText(F.Folder + "parameters.CSV")), SplitLines(File.Parameters.CSVReport()));

    // The plain save dialog: every caption with its mask once.
    SetAppDialogs(nullptr);
    const std::vector<std::pair<QPushButton*, QStringList>> Filters{
        {F.Page->BtnExportHeader,
         {"Text Files (*.txt)", "RTF Files (*.rtf)", "Comma Separated Values (*.csv)", "All Files (*.*)"}},
        {F.Page->BtnExportParameters, {"CSVs (*.csv)", "All Files (*.*)"}}};
    for (const auto& [Button, Expected] : Filters) {
      QStringList Shown;
      QVERIFY(OnModal<QFileDialog>([&] { F.Click(Button); }, [&](QFileDialog* Dialog) {
        Shown = Dialog->nameFilters();
        Dialog->reject();
      }));
      QCOMPARE(Shown, Expected);
    }
    SetAppDialogs(&F.Dialogs);

    // A merge leaves the pages without a file of their own: the exports stand still.
    F.Main.SetCurrentProtocol(Protocol());
    F.ClickFiles({"a.fcs"});
    F.Click(F.Page->BtnReadMultipleFCSFiles);
    QVERIFY(F.Main.CurrentData);
    for (QPushButton* B : Exports) QVERIFY2(!B->isEnabled(), qPrintable(B->objectName()));
  }

  // The creator's grid shows its three columns whole, however many parameters the file has.
  void CreatorGridShowsEveryColumn() {
    Fixture F;
    F.Show();
    QTableWidget* Grid = F.Main.findChild<QTableWidget*>("SgMakeProtocol");
    for (int Count : {9, 24}) {
      FcsFileSpec Many = Spec(50);
      Many.Parameters.clear();
      for (int i = 1; i <= Count; ++i)
        Many.Parameters.push_back(LogParameter("FL" + std::to_string(i) + "-H", 4, 1024, "CD" + std::to_string(i)));
      const std::string Name = "p" + std::to_string(Count) + ".fcs";
      F.Write(Name, Many);
      F.Main.Pages("PgExplore")->setCurrentWidget(F.Main.Page("TsLoad"));
      F.Page->ShowFolder(F.Folder);
      F.DoubleClickFile(Name);
      F.Main.Pages("PgExplore")->setCurrentWidget(F.Main.Page("TsHeader"));
      if (!Grid->isVisible()) F.Click(F.Main.findChild<QPushButton*>("BtnShowProtocolCreationGrid"));
      QTRY_VERIFY(Grid->isVisible() && Grid->viewport()->width() > 200);
      QCOMPARE(Grid->rowCount(), Count);
      const QHeaderView* Head = Grid->horizontalHeader();
      for (int Col : {1, 2}) {
        const QString Caption = Grid->horizontalHeaderItem(Col)->text();
        QVERIFY2(Head->sectionViewportPosition(Col) + Head->sectionSize(Col) <= Grid->viewport()->width(),
                 qPrintable(Caption));
        QVERIFY2(Head->sectionSize(Col) > Head->fontMetrics().horizontalAdvance(Caption), qPrintable(Caption));
      }
      QCOMPARE(Grid->horizontalHeaderItem(2)->text(), QString("Gate/Channel"));
    }
  }

  void DriveBoxNamesThePlaceOfTheFolder() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    std::filesystem::create_directories(Home.Path() + "Data/plates");
    WriteText(Home.Path() + "FCS.INI", "[Directories]\nLoadDir=" + Home.Path() + "Data/plates/\n");
    TFmMain Main;
    auto* Page = Main.findChild<TReadingPage*>("ReadingPage");
    Main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Main));
    QCOMPARE(Page->Folder(), Home.Path() + "Data/plates/");
    QCOMPARE(Page->CmBxLoadDrive->currentText(), QString("Data"));
    // Up the folder list: the box follows to the place that holds the folder.
    QListWidget* Folders = Page->LsBxLoadDirectory;
    for (const char* Place : {"Data", "ProgramDir"}) {
      QCOMPARE(Folders->item(0)->text(), QString(".."));
      const QPoint Up = Folders->visualItemRect(Folders->item(0)).center();
      QTest::mouseClick(Folders->viewport(), Qt::LeftButton, Qt::NoModifier, Up);
      QTest::mouseDClick(Folders->viewport(), Qt::LeftButton, Qt::NoModifier, Up);
      QCOMPARE(Page->CmBxLoadDrive->currentText(), QString(Place));
    }
    QCOMPARE(Page->Folder(), Home.Path());
  }
};

static RegisterUiTest<ReadingPageTest> Register;
#include "ReadingPageTest.moc"
