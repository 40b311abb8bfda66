// Start-up and close of the main window: settings, the restored protocol, the unsaved questions.
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>
#include <deque>
#include <filesystem>

#include "DataSetFixtures.h"
#include "FcsWriter.h"
#include "Files.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "dataset/FCSData.h"
#include "pages/ReadingPage.h"
#include "report/SRichEdit.h"
#include "report/TextOutput.h"
#include "ScriptedDialogs.h"
#include "ScriptedTextOutputDialogs.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"

using namespace qv;
using namespace qv::test;
using TAnswer = Dialogs::TAnswer;

namespace {

// Input boxes answered from a script (none left: cancelled).
class InputDialogs : public ScriptedDialogs {
 public:
  std::deque<std::string> Inputs;
  bool Input(const std::string&, const std::string&, std::string& Value) override {
    if (Inputs.empty()) return false;
    Value = Inputs.front();
    Inputs.pop_front();
    return true;
  }
};

void ClickEntry(QListWidget* List, const QString& Text, bool Double = false) {
  const QPoint At = List->visualItemRect(List->findItems(Text, Qt::MatchExactly).value(0)).center();
  QTest::mouseClick(List->viewport(), Qt::LeftButton, Qt::NoModifier, At);
  if (Double) QTest::mouseDClick(List->viewport(), Qt::LeftButton, Qt::NoModifier, At);
}

}  // namespace

class StartCloseTest : public QObject {
  Q_OBJECT
 private slots:
  void FreshStartWritesEveryKeyAtClose() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    {
      TFmMain Main;
      QCOMPARE(Main.windowTitle(), QString("Quorvenal - Vantorel"));
      QVERIFY(!Main.CurrentProtocol);
      QVERIFY(!FileExists(Home.Path() + "FCS.INI"));  // written only at close
      QVERIFY(Main.close());
    }
    const std::string Ini = ReadText(Home.Path() + "FCS.INI");
    int Keys = 0;
    std::istringstream Lines(Ini);
    for (std::string Line; std::getline(Lines, Line);)
      if (Line.find('=') != std::string::npos) ++Keys;
    QCOMPARE(Keys, 26);
    QVERIFY(Dialogs.Errors.empty());
    QVERIFY(std::filesystem::is_directory(Home.Path() + "Data"));
  }

  void StoredDynamicModeStartsNative() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    WriteText(Home.Path() + "FCS.INI", "[Protocol]\nCompensationMode=2\n");
    TFmMain Main;
    QCOMPARE(CompensationMode, 0);
    QCOMPARE(Main.PnDynamicCompensation->text(), QString("Native"));
  }

  void LastProtocolRestoredOnlyWhenAsked() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    const std::string File = SaveTwoChannelProtocol(Home.Path(), "Two.protocol");
    WriteText(Home.Path() + "FCS.INI", "[Directories]\nProtocolFile=" + File + "\nLoadProtocol=0\n");
    {
      TFmMain Main;
      QVERIFY(!Main.CurrentProtocol);
      Main.close();
    }
    WriteText(Home.Path() + "FCS.INI", "[Directories]\nProtocolFile=" + File + "\nLoadProtocol=1\n");
    TFmMain Main;
    QVERIFY(Main.CurrentProtocol);
    QCOMPARE(Main.CurrentProtocol->ChannelCount(), 2);
    QVERIFY(!Main.ProtocolModified());
    // A protocol restored unchanged closes without a question and stays the last protocol.
    QVERIFY(Main.close());
    QVERIFY(Dialogs.Questions.empty());
    QVERIFY(ReadText(Home.Path() + "FCS.INI").find("ProtocolFile=" + File) != std::string::npos);
  }

  void NeverSavedProtocolKeepsProtocolFile() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    const std::string File = SaveTwoChannelProtocol(Home.Path(), "Kept.protocol");
    WriteText(Home.Path() + "FCS.INI", "[Directories]\nProtocolFile=" + File + "\nLoadProtocol=0\n");
    {
      TFmMain Main;
      Main.SetCurrentProtocol(std::make_unique<TProtocol>());
      Dialogs.Answers = {TAnswer::No};
      QVERIFY(Main.close());
      QCOMPARE(Dialogs.Questions.size(), size_t(1));
      QCOMPARE(Dialogs.Questions[0], std::string("Save changes to protocol (not saved)?"));
    }
    QVERIFY(ReadText(Home.Path() + "FCS.INI").find("ProtocolFile=" + File) != std::string::npos);
  }

  void UnreadableSettingsReportedAndKept() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    std::filesystem::create_directory(Home.Path() + "FCS.INI");  // exists, cannot be read as a file
    {
      TFmMain Main;
      QVERIFY(Dialogs.Errors.empty());  // not before the window is up
      Main.show();
      Pump();
      QCOMPARE(Dialogs.Errors.size(), size_t(1));
      QVERIFY(Dialogs.Errors[0].find("FCS.INI") != std::string::npos);
      QVERIFY(Main.close());
    }
    QCOMPARE(Dialogs.Errors.size(), size_t(2));
    QCOMPARE(Dialogs.Errors[1], std::string("Settings not saved: FCS.INI could not be read at start"));
    QVERIFY(std::filesystem::is_directory(Home.Path() + "FCS.INI"));
  }

  void UnsavedProtocolQuestionAnswers() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    const std::string File = SaveTwoChannelProtocol(Home.Path(), "Edited.protocol", "first");
    WriteText(Home.Path() + "FCS.INI", "[Directories]\nProtocolFile=" + File + "\nLoadProtocol=1\n");
    TFmMain Main;
    Main.CurrentProtocol->Notes = "second";
    QVERIFY(Main.ProtocolModified());

    Dialogs.Answers = {TAnswer::Cancel};
    QVERIFY(!Main.close());  // Cancel: the window stays, the file is untouched
    QCOMPARE(Dialogs.Questions.back(), std::string("Save changes to protocol Edited.protocol?"));
    QVERIFY(Main.CurrentProtocol);
    QCOMPARE(TProtocol::OpenFile(File)->Notes, std::string("first"));

    Dialogs.Answers = {TAnswer::No};
    QVERIFY(Main.QuerySaveProtocol());  // No: discarded, the file keeps the old text
    QCOMPARE(TProtocol::OpenFile(File)->Notes, std::string("first"));

    Dialogs.Answers = {TAnswer::Yes};
    QVERIFY(Main.close());  // Yes: saved to its own file, then closed
    QCOMPARE(TProtocol::OpenFile(File)->Notes, std::string("second"));
  }

  void NeverSavedProtocolYesSavesAs() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.SetCurrentProtocol(std::make_unique<TProtocol>());
    // Yes with the save dialog cancelled stops the close.
    Dialogs.Answers = {TAnswer::Yes};
    QVERIFY(!Main.close());
    Dialogs.Answers = {TAnswer::Yes};
    Dialogs.FileAnswers = {Home.Path() + "New.protocol"};
    QVERIFY(Main.close());
    QVERIFY(FileExists(Home.Path() + "New.protocol"));
    QVERIFY(ReadText(Home.Path() + "FCS.INI").find("ProtocolFile=" + Home.Path() + "New.protocol") !=
            std::string::npos);
  }

  void ProtocolAndDataNotificationsInOrder() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    std::vector<std::string> Seen;
    connect(&Main, &TFmMain::ProtocolReplaced, [&] { Seen.push_back("protocol"); });
    connect(&Main, &TFmMain::DataFreeing, [&] { Seen.push_back(Main.CurrentData ? "freeing" : "freeing-none"); });
    connect(&Main, &TFmMain::DataReplaced, [&] { Seen.push_back(Main.CurrentData ? "data" : "no-data"); });
    int Saves = 0;
    Main.BindCommand("MnSaveProtocol", [&](int Tag) { Saves += Tag; });
    QVERIFY(!Main.MenuItem("MnSaveProtocol")->isEnabled());  // needs a protocol
    Main.SetCurrentProtocol(std::make_unique<TProtocol>());
    QVERIFY(Main.MenuItem("MnSaveProtocol")->isEnabled());
    Main.MenuItem("MnSaveProtocol")->trigger();
    QCOMPARE(Saves, 4);  // run with its Tag
    Main.SetCurrentData(std::make_unique<TFCSData>());
    Main.SetCurrentData(nullptr);
    QCOMPARE(Seen, (std::vector<std::string>{"protocol", "data", "freeing", "no-data"}));
  }
  void ReportWindowsAskBeforeTheMainWindowCloses() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    ScriptedTextOutputDialogs Reports;
    SetTextOutputDialogs(&Reports);
    struct TRestore {
      ~TRestore() { SetTextOutputDialogs(nullptr); }
    } Restore;
    QPointer<TFmTextOutput> Header, Results;
    {
      TFmMain Main;
      Main.show();
      QVERIFY(QTest::qWaitForWindowExposed(&Main));
      auto P = MakeProtocol({GateDef("FSC", "FSC-H")}, {ChannelDef("GFP", "FL1-H")});
      P->FileName = Home.Path() + "q.protocol";
      P->SaveToFile(P->FileName);
      Main.SetCurrentProtocol(std::move(P));
      SaveDir = Home.Path();
      FcsFileSpec Spec;
      Spec.Parameters = {LinearParameter("FSC-H", 1024), LinearParameter("FL1-H", 1024)};
      for (int i = 0; i < 200; ++i) Spec.Events.push_back({double(100 + i), double(10 + (i * 7) % 900)});
      WriteFcs(Home.Path() + "a.fcs", Spec);
      auto* Page = Main.findChild<TReadingPage*>("ReadingPage");
      Page->ShowFolder(Home.Path());
      ClickEntry(Page->LsBxLoadFiles, "a.fcs", true);
      QVERIFY(Main.CurrentData);
      // The header in a report window of its own, and the queue's results in one the main
      // window owns.
      Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsHeader"));
      QTest::mouseClick(Page->BtnExportHeader, Qt::LeftButton);
      for (QWidget* W : QApplication::topLevelWidgets())
        if (auto* R = qobject_cast<TFmTextOutput*>(W); R && !R->parent()) Header = R;
      QVERIFY(Header);
      Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsLoad"));
      ClickEntry(Page->LsBxLoadFiles, "a.fcs");
      Dialogs.Inputs = {"Set"};
      QTest::mouseClick(Main.findChild<QPushButton*>("BtnAddToFCSQueue"), Qt::LeftButton);
      QTest::mouseClick(Main.findChild<QPushButton*>("BtnExecuteFCSQueue"), Qt::LeftButton);
      Results = Main.findChild<TFmTextOutput*>();
      QVERIFY(Results);
      QTest::keyClicks(Header->MeText, "header note");
      QTest::keyClicks(Results->MeText, "results note");
      const QStringList Asked{"Save changes to " + Header->windowTitle() + "?",
                              "Save changes to Results of File Analyses?"};

      // Cancel at the second window: every window stays and no step of the close has run.
      Reports.YesNoCancelAnswers = {TextOutputDialogs::TAnswer::No, TextOutputDialogs::TAnswer::Cancel};
      Main.MenuItem("MnQuit")->trigger();
      Pump();
      QCOMPARE(Reports.Questions, Asked);
      QVERIFY(Main.isVisible());
      QVERIFY(Header && Header->isVisible() && Results && Results->isVisible());
      QVERIFY(!FileExists(Home.Path() + "FCS.INI"));
      QVERIFY(Dialogs.Questions.empty());

      // Again: the header's edits, kept through the Cancel, are discarded; the results saved.
      Reports.YesNoCancelAnswers = {TextOutputDialogs::TAnswer::No, TextOutputDialogs::TAnswer::Yes};
      Reports.FileNames = {QString::fromStdString(Home.Path() + "results.txt")};
      Main.MenuItem("MnQuit")->trigger();
      Pump();
      QCOMPARE(Reports.Questions, Asked + Asked);
      QVERIFY(!Main.isVisible());
      QVERIFY(FileExists(Home.Path() + "FCS.INI"));
      QVERIFY(ReadText(Home.Path() + "results.txt").find("results note") != std::string::npos);
    }
    // The owned window went with the main window; the other closes without asking again.
    QVERIFY(!Results);
    QVERIFY(Header);
    Header->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!Header);
    QCOMPARE(Reports.Questions.size(), qsizetype(4));
  }
};

static RegisterUiTest<StartCloseTest> Register;
#include "StartCloseTest.moc"
