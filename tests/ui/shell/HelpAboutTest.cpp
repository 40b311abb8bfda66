// The help window on the generated help file, the about and splash windows.
#include <QLabel>
#include <QPdfBookmarkModel>
#include <QPdfDocument>
#include <QPointer>
#include <QtTest>
#include <filesystem>

#include "shell/About.h"
#include "shell/HelpFile.h"
#include "HelpPdf.h"
#include "shell/MainWindow.h"
#include "ScriptedDialogs.h"
#include "shell/Splash.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"

using namespace qv;
using namespace qv::test;

class HelpAboutTest : public QObject {
  Q_OBJECT
 private slots:
  void MissingHelpFileNamedWithoutFolder() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    QCOMPARE(TFmMain::HelpFileName(), Home.Path() + "Quorvenal.PDF");
    Main.BtnHelpClick();
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{"Quorvenal.PDF Not Found"});
    auto* Help = Main.findChild<TFmHelp*>();
    QVERIFY(Help && Help->isVisible());  // stays open and empty
    QCOMPARE(Help->windowTitle(), QString("Quorvenal Help"));
  }

  void TwoHelpWindowsBelowTheMainWindowWithBookmarks() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    std::filesystem::copy_file(QUORVENAL_HELP_PDF, Home.Path() + "Quorvenal.PDF");
    TFmMain Main;
    Main.move(40, 60);
    Main.show();
    Main.MenuItem("MnHelpHelp")->trigger();
    Main.MenuItem("MnHelpHelp")->trigger();
    const QList<TFmHelp*> Windows = Main.findChildren<TFmHelp*>();
    QCOMPARE(Windows.size(), 2);
    for (TFmHelp* Help : Windows) {
      QCOMPARE(Help->pos().y(), Main.pos().y() + 50);
      QCOMPARE(Help->pos().x(), Main.pos().x());
      QCOMPARE(Help->width(), 1024);
      QCOMPARE(Help->windowTitle(), QString("Quorvenal.PDF"));
      QCOMPARE(Help->Document->status(), QPdfDocument::Status::Ready);
      QVERIFY(Help->Document->pageCount() >= 2);
    }
    QPdfBookmarkModel* Marks = Windows[0]->Bookmarks;
    const auto& Sections = help::HelpSections();
    QCOMPARE(Marks->rowCount(), int(Sections.size()));
    for (int i = 0; i < Marks->rowCount(); ++i)
      QCOMPARE(Marks->index(i, 0).data(int(QPdfBookmarkModel::Role::Title)).toString(),
               QString::fromStdString(Sections[size_t(i)].Title));
    QVERIFY(Dialogs.Errors.empty());
  }

  void AboutAndSplashLabels() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.MasterLauncher(3);
    auto* About = Main.findChild<TFmAbout*>();
    QVERIFY(About && About->isVisible());
    QCOMPARE(About->windowTitle(), QString("About Quorvenal..."));
    QCOMPARE(About->size(), QSize(483, 362));
    QCOMPARE(About->Label1->text(), QString("Quorvenal"));
    QCOMPARE(About->LbVersion->text(), QString("Version 3.10"));
    QCOMPARE(About->LbDate->text(), QString("14 Feb 2013"));

    QPointer<TFmSplash> Splash = new TFmSplash;
    QCOMPARE(Splash->LbVersion->text(), QString("Version 3.10"));
    QCOMPARE(Splash->LbDate->text(), QString("14 Feb 2013"));
    QCOMPARE(Splash->size(), QSize(511, 358));
    Splash->show();
    QTest::qWait(TFmSplash::LifeMs - 500);
    QVERIFY(!Splash.isNull());
    QTRY_VERIFY_WITH_TIMEOUT(Splash.isNull(), 3000);
  }
};

static RegisterUiTest<HelpAboutTest> Register;
#include "HelpAboutTest.moc"
