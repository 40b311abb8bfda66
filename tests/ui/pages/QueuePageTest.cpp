// The queue on the Load page: adding sets, deleting the right entries and a run that saves each
// set with its own report block, or an error line and no file.
#include <QLabel>
#include <QCheckBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <deque>

#include "common/CommandGuard.h"
#include "DataSetFixtures.h"
#include "FcsWriter.h"
#include "Files.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "PipeWatchdog.h"
#include "pages/QueuePage.h"
#include "pages/ReadingPage.h"
#include "report/SRichEdit.h"
#include "ScriptedDialogs.h"
#include "report/TextOutput.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "batch/Queue.h"

using namespace qv;
using namespace qv::test;

namespace {

// Input boxes answered from a script (none left: cancelled).
class QueueDialogs : public ScriptedDialogs {
 public:
  std::deque<std::string> Inputs;
  bool Input(const std::string&, const std::string&, std::string& Value) override {
    if (Inputs.empty()) return false;
    Value = Inputs.front();
    Inputs.pop_front();
    return true;
  }
};

FcsFileSpec Spec(int64_t Count, double Offset) {
  FcsFileSpec S;
  S.DataType = FcsDataType::Float32;
  S.Parameters = {LinearParameter("FSC-H", 262144), LinearParameter("FL1-H", 262144),
                  LinearParameter("FL2-H", 262144)};
  S.EventCount = Count;
  S.Value = [Offset](int64_t E, int32_t P) { return 20.0 + Offset + static_cast<double>((E * (P + 5)) % 700); };
  return S;
}

struct Fixture {
  ScopedProgramHome Home;
  QueueDialogs Dialogs;
  TFmMain Main;
  TReadingPage* Page = Main.findChild<TReadingPage*>("ReadingPage");
  TQueuePage* Queue = Main.findChild<TQueuePage*>("QueuePage");
  std::string Folder = Home.Path();

  Fixture() {
    auto P = MakeProtocol({GateDef("FSC", "FSC-H")}, {ChannelDef("GFP", "FL1-H"), ChannelDef("RFP", "FL2-H")});
    P->FileName = Folder + "q.protocol";
    P->SaveToFile(P->FileName);
    Main.SetCurrentProtocol(std::move(P));
    for (int i = 0; i < 4; ++i) WriteFcs(Folder + "f" + std::to_string(i) + ".fcs", Spec(150 + 10 * i, i));
    SaveDir = Folder;
    Page->ShowFolder(Folder);
  }
  void Add(const std::vector<std::string>& Files, const std::string& Name) {
    Page->SelectFiles(Files);
    Dialogs.Inputs = {Name};
    Queue->BtnAddToQueueClick(1);
  }
  QString Label() const { return Main.findChild<QLabel*>("LbQueue")->text(); }
  TFmTextOutput* Report() const {
    const auto Windows = Main.findChildren<TFmTextOutput*>();
    return Windows.isEmpty() ? nullptr : Windows.back();
  }
};

}  // namespace

class QueuePageTest : public QObject {
  Q_OBJECT
 private slots:
  void AddingNeedsFilesANameAndASavedProtocol() {
    Fixture F;
    F.Page->LsBxLoadFiles->clearSelection();
    F.Queue->BtnAddToQueueClick(1);
    QCOMPARE(F.Main.Queue->Count(), 0);
    QCOMPARE(F.Label(), QString("0 sets in queue"));
    F.Page->SelectFiles({"f0.fcs"});
    F.Queue->BtnAddToQueueClick(1);  // name box cancelled
    QCOMPARE(F.Main.Queue->Count(), 0);
    F.Add({"f0.fcs", "f1.fcs"}, "first");
    QCOMPARE(F.Main.Queue->Count(), 1);
    QCOMPARE(F.Label(), QString("1 sets in queue"));
    QVERIFY(!F.Main.findChild<QListWidget*>("LsBxQueue")->isHidden());
    // The same file-name part would save over the first entry's file.
    F.Add({"f2.fcs"}, "sub/first");
    QCOMPARE(F.Main.Queue->Count(), 1);
    // A protocol never saved cannot be queued.
    F.Main.SetCurrentProtocol(std::make_unique<TProtocol>());
    F.Add({"f2.fcs"}, "second");
    QCOMPARE(F.Main.Queue->Count(), 1);
    QCOMPARE(F.Dialogs.Errors.back(), std::string(TQueuePage::SaveProtocolFirst));
  }

  void DeleteRemovesExactlyTheSelectedRows() {
    Fixture F;
    F.Add({"f0.fcs"}, "a");
    F.Add({"f1.fcs"}, "b");
    F.Add({"f2.fcs"}, "c");
    auto* List = F.Main.findChild<QListWidget*>("LsBxQueue");
    QVERIFY(List->item(0)->text().startsWith("c"));
    List->item(0)->setSelected(true);
    List->item(1)->setSelected(true);
    F.Dialogs.Answers = {Dialogs::TAnswer::Yes, Dialogs::TAnswer::Yes};
    F.Queue->BtnAddToQueueClick(4);
    QCOMPARE(F.Main.Queue->Count(), 1);
    QCOMPARE(F.Main.Queue->Names[0], std::string("a"));
    QCOMPARE(F.Label(), QString("1 sets in queue"));
  }

  void RunSavesEachSetNewestFirst() {
    Fixture F;
    F.Add({"f0.fcs", "f1.fcs"}, "older");
    F.Add({"f2.fcs"}, "dir/newer");
    QVERIFY(GuardedCommand([&] { F.Queue->BtnAddToQueueClick(2); }));
    TFmTextOutput* Report = F.Report();
    QVERIFY(Report);
    const QString Text = Report->MeText->toPlainText();
    const qsizetype Newer = Text.indexOf("Data for dir/newer"), Older = Text.indexOf("Data for older");
    QVERIFY(Newer >= 0 && Older > Newer);
    QVERIFY(!Text.contains("Error with queue entry"));
    QVERIFY(FileExists(F.Folder + "newer.Quorvenal"));
    QVERIFY(FileExists(F.Folder + "older.Quorvenal"));
    // The last set stays current under its protocol; the queue keeps its entries.
    QCOMPARE(F.Main.CurrentData->FileCount, 2);
    QCOMPARE(F.Main.Queue->Count(), 2);
    QVERIFY(F.Main.BtnCancel->isHidden());
    QVERIFY(!F.Page->CbCullAPC->isChecked());
    QCOMPARE(F.Page->GbFCSFiles->height(), TReadingPage::GroupHeight);
    Report->close();
  }

  void FailingEntriesGiveErrorLinesAndNoFile() {
    Fixture F;
    F.Add({"f0.fcs"}, "good");
    FcsFileSpec Cut = Spec(150, 0);
    Cut.TruncateTo = 1200;
    WriteFcs(F.Folder + "f3.fcs", Cut);
    F.Page->ShowFolder(F.Folder);
    F.Add({"f3.fcs"}, "cut");
    // The second entry's protocol file vanishes.
    F.Main.CurrentProtocol->FileName = F.Folder + "gone.protocol";
    F.Main.CurrentProtocol->SaveToFile(F.Main.CurrentProtocol->FileName);
    F.Main.MarkProtocolSaved();
    F.Add({"f1.fcs"}, "noprotocol");
    DeleteFileIfExists(F.Folder + "gone.protocol");
    QVERIFY(GuardedCommand([&] { F.Queue->BtnAddToQueueClick(2); }));
    const QString Text = F.Report()->MeText->toPlainText();
    QVERIFY(Text.contains("Error with queue entrycut"));
    QVERIFY(Text.contains("Error with queue entrynoprotocol"));
    QVERIFY(Text.contains("Data for good"));
    QVERIFY(!FileExists(F.Folder + "cut.Quorvenal"));
    QVERIFY(!FileExists(F.Folder + "noprotocol.Quorvenal"));
    QVERIFY(FileExists(F.Folder + "good.Quorvenal"));
    F.Report()->close();
  }

  void ProtocolReplacedByAPipeOrFolderIsRefused() {
    Fixture F;
    for (const std::string Name : {"piped", "folder"}) {
      F.Main.CurrentProtocol->FileName = F.Folder + Name + ".protocol";
      F.Main.CurrentProtocol->SaveToFile(F.Main.CurrentProtocol->FileName);
      F.Main.MarkProtocolSaved();
      F.Add({"f1.fcs"}, Name);
    }
    DeleteFileIfExists(F.Folder + "piped.protocol");
    DeleteFileIfExists(F.Folder + "folder.protocol");
    QCOMPARE(mkfifo((F.Folder + "piped.protocol").c_str(), 0644), 0);
    QVERIFY(CreateFolder(F.Folder + "folder.protocol"));
    PipeWatchdog Watch(F.Folder + "piped.protocol");
    QVERIFY(GuardedCommand([&] { F.Queue->BtnAddToQueueClick(2); }));
    QVERIFY(!Watch.Blocked());
    const QString Text = F.Report()->MeText->toPlainText();
    QVERIFY(Text.contains("Error with queue entrypiped"));
    QVERIFY(Text.contains("Error with queue entryfolder"));
    QCOMPARE(F.Dialogs.Errors,
             (std::vector<std::string>{"Error reading protocol file \"" + F.Folder +
                                           "folder.protocol\": it is a folder, not a file.",
                                       "Error reading protocol file \"" + F.Folder +
                                           "piped.protocol\": it is not a regular file (a pipe, a device or a socket)."}));
    QVERIFY(!FileExists(F.Folder + "piped.Quorvenal"));
    F.Report()->close();
  }

  // Adding needs a protocol first, and says so.
  void AddWithoutAProtocolAsksForOne() {
    Fixture F;
    F.Dialogs.Answers = {Dialogs::TAnswer::No};
    F.Main.MenuItem("MnClearProtocol")->trigger();
    QVERIFY(!F.Main.CurrentProtocol);
    F.Page->SelectFiles({"f0.fcs"});
    F.Dialogs.Inputs = {"set"};
    QTest::mouseClick(F.Main.findChild<QPushButton*>("BtnAddToFCSQueue"), Qt::LeftButton);
    QCOMPARE(F.Dialogs.Errors, std::vector<std::string>{TQueuePage::ProtocolNeeded});
    QCOMPARE(F.Dialogs.Inputs.size(), size_t(1));
    QCOMPARE(F.Main.Queue->Count(), 0);
  }

  // After a run the file-name panel names the set on screen: the last entry's saved file, or
  // that entry unsaved when the run was cancelled in it.
  void FileNamePanelNamesTheSetOfTheRun() {
    Fixture F;
    F.Main.show();
    QLabel* Panel = F.Page->PnFileName;
    F.Page->SelectFiles({"f2.fcs", "f3.fcs"});
    QTest::mouseClick(F.Page->BtnReadMultipleFCSFiles, Qt::LeftButton);
    QCOMPARE(Panel->text(), QString("f3.fcs + 1 other"));
    auto* Add = F.Main.findChild<QPushButton*>("BtnAddToFCSQueue");
    auto* Execute = F.Main.findChild<QPushButton*>("BtnExecuteFCSQueue");
    F.Page->SelectFiles({"f0.fcs", "f1.fcs"});
    F.Dialogs.Inputs = {"older"};
    QTest::mouseClick(Add, Qt::LeftButton);
    F.Page->SelectFiles({"f2.fcs"});
    F.Dialogs.Inputs = {"newer"};
    QTest::mouseClick(Add, Qt::LeftButton);
    QTest::mouseClick(Execute, Qt::LeftButton);
    QCOMPARE(F.Main.CurrentData->FileCount, 2);
    QCOMPARE(Panel->text(), QString(" older.Quorvenal"));
    F.Report()->close();

    // Cancelled in the last entry, after its first file.
    connect(F.Page->GaMerge, &QProgressBar::valueChanged, &F.Main, [&](int V) {
      if (V == 2) QTest::mouseClick(F.Main.BtnCancel, Qt::LeftButton);
    });
    QTest::mouseClick(Execute, Qt::LeftButton);
    QVERIFY(F.Report()->MeText->toPlainText().contains("Cancelled: older"));
    QVERIFY(F.Main.CurrentData);
    QCOMPARE(Panel->text(), QString(" older (not saved)"));
    QVERIFY(F.Dialogs.Errors.empty());
    F.Report()->close();
  }

  void CancelInTheFirstEntrySavesNothing() {
    Fixture F;
    F.Add({"f0.fcs"}, "later");
    F.Add({"f1.fcs", "f2.fcs"}, "first");
    auto* Merge = F.Page->GaMerge;
    connect(Merge, &QProgressBar::valueChanged, &F.Main, [&](int V) {
      if (V == 2) F.Main.BtnCancelClick();
    });
    QVERIFY(GuardedCommand([&] { F.Queue->BtnAddToQueueClick(2); }));
    const QString Text = F.Report()->MeText->toPlainText();
    QVERIFY(Text.contains("Cancelled: first (1 of 2 files read); not saved"));
    QVERIFY(!Text.contains("Data for"));
    QVERIFY(!FileExists(F.Folder + "first.Quorvenal"));
    QVERIFY(!FileExists(F.Folder + "later.Quorvenal"));
    F.Report()->close();
  }
};

static RegisterUiTest<QueuePageTest> Register;
#include "QueuePageTest.moc"
