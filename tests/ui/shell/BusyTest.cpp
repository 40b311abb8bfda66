// One command at a time: a pumping command refuses a second one, Cancel stays live, and a close
// asked for during the command waits for it.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include "common/CommandGuard.h"
#include "shell/MainWindow.h"
#include "shell/Preferences.h"
#include "ScriptedDialogs.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"

using namespace qv;
using namespace qv::test;

class BusyTest : public QObject {
  Q_OBJECT
 private slots:
  void PumpingCommandRefusesOthersAndCancelStops() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.show();
    int Steps = 0;
    bool SecondRan = false, SecondAccepted = true, MenuEnabled = true, CancelVisible = false;
    QTimer::singleShot(30, &Main, [&] {
      SecondAccepted = GuardedCommand([&] { SecondRan = true; });
      MenuEnabled = Main.MenuItem("MnPreferences")->isEnabled();
      CancelVisible = Main.BtnCancel->isVisible();
      QTest::mouseClick(Main.BtnCancel, Qt::LeftButton);
    });
    QVERIFY(GuardedCommand([&] {
      TFmMain::TLongLoop Loop(Main);
      for (int i = 0; i < 100000 && Loop.Continue(); ++i) {
        ++Steps;
        Main.ShowMemoryStatus();
        QTest::qWait(1);
      }
    }));
    QVERIFY(!SecondAccepted);
    QVERIFY(!SecondRan);
    QVERIFY(!MenuEnabled);
    QVERIFY(CancelVisible);
    QVERIFY(Steps < 100000);
    QVERIFY(!Main.BtnCancel->isVisible());
    QVERIFY(Main.MenuItem("MnPreferences")->isEnabled());
    QVERIFY(!TCommandGuard::Instance().Busy());
  }

  void CloseDuringCommandWaitsForIt() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.show();
    bool ClosedAtOnce = true;
    bool StillRunningAfterClose = false;
    QTimer::singleShot(30, &Main, [&] { ClosedAtOnce = Main.close(); });
    GuardedCommand([&] {
      TFmMain::TLongLoop Loop(Main);
      while (Loop.Continue()) {
        Main.ShowMemoryStatus();
        QTest::qWait(1);
      }
      StillRunningAfterClose = Main.isVisible();
    });
    QVERIFY(!ClosedAtOnce);
    QVERIFY(StillRunningAfterClose);
    QTRY_VERIFY(!Main.isVisible());
    QVERIFY(std::filesystem::exists(Home.Path() + "FCS.INI"));
  }

  void FileControlsFollowTheirBusyStateAndTheQueue() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    auto* Read = new QPushButton("Read", Main.Page("TsLoad"));
    Read->setObjectName("BtnReadFCSFile");
    auto* Execute = new QPushButton("Execute", Main.Page("TsLoad"));
    Execute->setObjectName("BtnExecuteFCSQueue");
    auto* Queue = new QListWidget(Main.Page("TsLoad"));
    Queue->setObjectName("LsBxQueue");
    Main.BindCommand("MnReadSingleFCS", [](int) {});
    Main.BindCommand("MnExecuteQueue", [](int) {});
    Main.SetFileControlsBusy(true);
    QVERIFY(!Read->isEnabled());
    QVERIFY(!Main.MenuItem("MnReadSingleFCS")->isEnabled());
    QVERIFY(!Main.MenuItem("MnAddToQueue")->isEnabled());
    Main.SetFileControlsBusy(false);
    QVERIFY(Read->isEnabled());
    QVERIFY(Main.MenuItem("MnReadSingleFCS")->isEnabled());
    QVERIFY(!Execute->isEnabled());                        // empty queue
    QVERIFY(!Main.MenuItem("MnExecuteQueue")->isEnabled());
    Queue->addItem("set 1");
    Main.SetFileControlsBusy(false);
    QVERIFY(Execute->isEnabled());
    QVERIFY(Main.MenuItem("MnExecuteQueue")->isEnabled());
    // Any running command switches them off too, and they come back after it.
    GuardedCommand([&] { QVERIFY(!Main.MenuItem("MnExecuteQueue")->isEnabled() && !Read->isEnabled()); });
    QVERIFY(Read->isEnabled() && Execute->isEnabled());
  }

  void PumpProcessesEventsAtMostEvery20Ms() {
    bool Continue = true;
    TQtProgress Gauge(nullptr, &Continue);
    bool Handled = false;
    QTimer::singleShot(0, [&] { Handled = true; });
    Gauge.Pump();  // just made: too early
    QVERIFY(!Handled);
    QThread::msleep(TQtProgress::PumpIntervalMs + 5);
    Gauge.Pump();
    QVERIFY(Handled);
    QVERIFY(Gauge.Continue());
    Continue = false;
    QVERIFY(!Gauge.Continue());
  }

  void ExceptionsShownAndBusyCleared() {
    ScriptedDialogs Dialogs;
    QVERIFY(GuardedCommand([] { throw std::runtime_error("Broken"); }));
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{"Broken"});
    QVERIFY(!TCommandGuard::Instance().Busy());
    // Out of memory is a message like any other, never an exception through the event loop.
    QVERIFY(GuardedCommand([] { throw std::bad_alloc(); }));
    QCOMPARE(Dialogs.Errors.back(), std::string("Not enough memory to finish this command."));
    QVERIFY(!TCommandGuard::Instance().Busy());
  }

  void PreferencesRefusedWhileBusy() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    auto* Preferences = new TFmPreferences(&Main);
    Preferences->EdTabWidth->setText("12");
    GuardedCommand([&] { Preferences->BtnApplyClick(); });
    QVERIFY(TabWidth != 12);
    Preferences->BtnApplyClick();
    QCOMPARE(TabWidth, 12);
  }
};

static RegisterUiTest<BusyTest> Register;
#include "BusyTest.moc"
