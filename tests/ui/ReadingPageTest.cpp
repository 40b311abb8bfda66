// The reading page: one file, merged files, own data files and re-processing, each leaving the
// views and data commands in step with the data set that exists.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QRadioButton>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include "CommandGuard.h"
#include "DataSetFixtures.h"
#include "FcsWriter.h"
#include "Files.h"
#include "Globals.h"
#include "Main.h"
#include "ProtocolCreator.h"
#include "ReadingPage.h"
#include "ScriptedDialogs.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "dataset/FCSData.h"

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
    QVERIFY(F.Main.PnPoints->text().contains("250000 Points"));
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
    QCOMPARE(F.Page->PnFileName->text(), QString(" big.fcs"));
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
    QVERIFY(F.Main.PnPoints->text().contains("000500 Points"));
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
    QVERIFY(F.Main.PnPoints->text().contains("000300 Points"));
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
    QCOMPARE(F.Main.PnPoints->text(), QString(" 000000 Points"));
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
    QCOMPARE(F.Page->PnFileName->text(), QString(" a.fcs"));
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
    const TFCSData* Before = F.Main.CurrentData.get();
    F.Page->LsBxLoadFilesDblClick();
    QCOMPARE(F.Main.CurrentData.get(), Before);
    F.Select({"RUN1.QUORVENAL"});
    F.Page->LsBxLoadFilesDblClick();
    QVERIFY(F.Main.CurrentData);
    QVERIFY(F.Main.CurrentData.get() != Before);
    QCOMPARE(F.Main.CurrentData->EventCount(0), 400);
    QCOMPARE(F.Page->PnFileName->text(), QString(" RUN1.QUORVENAL"));
    QVERIFY(F.Page->FileOnPages().empty());
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
    QVERIFY(F.Main.PnPoints->text().contains("000800 Points"));
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
};

static RegisterUiTest<ReadingPageTest> Register;
#include "ReadingPageTest.moc"
