// The preferences window: what it shows, and that a bad field changes nothing.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <cmath>

#include "Globals.h"
#include "shell/MainWindow.h"
#include "shell/Preferences.h"
#include "ScriptedDialogs.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"

using namespace qv;
using namespace qv::test;

class PreferencesTest : public QObject {
  Q_OBJECT
 private slots:
  void OverrideMeanShownAndStoredAsLog() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    OverrideMean = static_cast<float>(std::log10(1.8));
    TFmPreferences Preferences(&Main);
    QCOMPARE(Preferences.windowTitle(), QString("Quorvenal Preferences"));
    QCOMPARE(Preferences.EdOverridemean->text(), QString("1.8"));
    OverrideMean = 0;
    QVERIFY(Preferences.ApplySettings());
    QCOMPARE(OverrideMean, static_cast<float>(std::log10(1.8)));
    QVERIFY(Dialogs.Errors.empty());
  }

  void BadFieldNamedAndNothingChanged() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    const float OldLogScale = LogScale;
    const int32_t OldTabWidth = TabWidth;
    auto* Preferences = new TFmPreferences(&Main);
    Preferences->show();
    Preferences->EdLogScale->setText("5.5");
    Preferences->CbLoadProtocol->setChecked(!LoadProtocol);
    const bool OldLoadProtocol = LoadProtocol;
    Preferences->EdTabWidth->setText("abc");
    QTest::mouseClick(Preferences->BtnApply, Qt::LeftButton);
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Dialogs.Errors[0].find("Tab Width on Fitness Export") != std::string::npos);
    QCOMPARE(LogScale, OldLogScale);
    QCOMPARE(LoadProtocol, OldLoadProtocol);
    QCOMPARE(TabWidth, OldTabWidth);
    QCOMPARE(Preferences->focusWidget(), Preferences->EdTabWidth);

    // Save && Exit with the bad field stays open.
    QTest::mouseClick(Preferences->BtnSave, Qt::LeftButton);
    QVERIFY(Preferences->isVisible());

    const std::pair<QLineEdit*, const char*> Cases[] = {
        {Preferences->EdHistogramBinCount, "65537"}, {Preferences->EdHistogramBinCount, "0"},
        {Preferences->EdTabWidth, "1001"},           {Preferences->EdOverridemean, "0"},
        {Preferences->EdoverrideExcess, "-1"},       {Preferences->EdMaxZValue, "1e39"}};
    for (const auto& [Edit, Text] : Cases) {
      Preferences->EdTabWidth->setText("8");
      Preferences->EdHistogramBinCount->setText("256");
      Preferences->EdOverridemean->setText("1.0");
      Preferences->EdoverrideExcess->setText("1.0");
      Preferences->EdMaxZValue->setText("4");
      Edit->setText(Text);
      Dialogs.Errors.clear();
      QVERIFY2(!Preferences->ApplySettings(), Text);
      QCOMPARE(Dialogs.Errors.size(), size_t(1));
      QCOMPARE(LogScale, OldLogScale);
    }
    Preferences->EdMaxZValue->setText("4");
    Preferences->EdHistogramBinCount->setText("65536");
    Preferences->EdTabWidth->setText("1000");
    QTest::mouseClick(Preferences->BtnSave, Qt::LeftButton);
    QCOMPARE(HistogramBinCount, 65536);
    QCOMPARE(TabWidth, 1000);
    QCOMPARE(LogScale, 5.5f);
  }

  void CancelChangesNothing() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    const int32_t OldBins = HistogramBinCount;
    QPointer<TFmPreferences> Preferences = new TFmPreferences(&Main);
    Preferences->show();
    Preferences->EdHistogramBinCount->setText("17");
    QTest::mouseClick(Preferences->BtnCancel, Qt::LeftButton);
    QCOMPARE(HistogramBinCount, OldBins);
    QTRY_VERIFY(Preferences.isNull());  // freed on close
  }

  void ModeComboFollowsDeveloperModeAndRedrawsThePanel() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    ReleaseCode = "";
    {
      TFmPreferences Preferences(&Main);
      QVERIFY(!Preferences.CmBxCompensationMode->isEnabled());
      QCOMPARE(Preferences.CmBxCompensationMode->currentText(), QString("Native Raw Data"));
    }
    ReleaseCode = "quib";
    Main.MasterLauncher(2);
    auto* Preferences = Main.findChild<TFmPreferences*>();
    QVERIFY(Preferences);
    QVERIFY(Preferences->CmBxCompensationMode->isEnabled());
    Preferences->CmBxCompensationMode->setCurrentIndex(2);
    QVERIFY(Preferences->ApplySettings());
    QCOMPARE(CompensationMode, 2);
    QCOMPARE(Main.PnDynamicCompensation->text(), QString("Dyanmic"));
    ReleaseCode = "";
    CompensationMode = 0;
  }
};

static RegisterUiTest<PreferencesTest> Register;
#include "PreferencesTest.moc"
