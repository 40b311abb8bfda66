// The status row's panels, the compensation mode, key filters, number edits and the controls
// that follow developer mode and the spreadsheet program.
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>
#include <functional>

#include "common/Colours.h"
#include "Errors.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "common/MemoryStatus.h"
#include "common/NumberEdit.h"
#include "ScriptedDialogs.h"
#include "common/Spreadsheet.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"

using namespace qv;
using namespace qv::test;

namespace {

uint32_t PanelColour(const QLabel* Panel) { return ToPlatformColour(Panel->palette().color(QPalette::Window)); }

// Widgets one layout places whose boxes overlap or that got less height than they need, under
// Root, as "parent: what" lines.
QStringList Crowded(QWidget* Root) {
  QStringList Found;
  const auto Name = [](const QWidget* W) {
    return W->objectName().isEmpty() ? QString(W->metaObject()->className()) : W->objectName();
  };
  std::function<void(QLayout*, std::vector<QLayoutItem*>&)> Items = [&](QLayout* L, std::vector<QLayoutItem*>& Out) {
    for (int i = 0; i < L->count(); ++i) {
      QLayoutItem* Item = L->itemAt(i);
      if (Item->widget())
        Out.push_back(Item);
      else if (Item->layout())
        Items(Item->layout(), Out);
    }
  };
  QList<QWidget*> All = Root->findChildren<QWidget*>();
  All.prepend(Root);
  for (QWidget* Parent : All) {
    if (!Parent->isVisible() || !Parent->layout()) continue;
    std::vector<QLayoutItem*> Placed;
    Items(Parent->layout(), Placed);
    std::erase_if(Placed, [](QLayoutItem* I) { return !I->widget()->isVisible(); });
    for (size_t i = 0; i < Placed.size(); ++i) {
      QWidget* A = Placed[i]->widget();
      const QSize Least = Placed[i]->minimumSize();
      if (A->height() < Least.height()) Found << Name(Parent) + ": " + Name(A) + " squeezed";
      for (size_t j = i + 1; j < Placed.size(); ++j)
        if (A->geometry().intersects(Placed[j]->widget()->geometry()))
          Found << Name(Parent) + ": " + Name(A) + " over " + Name(Placed[j]->widget());
    }
  }
  return Found;
}

class ScopedPath {
 public:
  explicit ScopedPath(const std::string& Folder) : FOld(qgetenv("PATH")) { qputenv("PATH", Folder.c_str()); }
  ~ScopedPath() { qputenv("PATH", FOld); }

 private:
  QByteArray FOld;
};

}  // namespace

class StatusRowTest : public QObject {
  Q_OBJECT
 private slots:
  void MemoryColoursAtTheirBoundaries() {
    QCOMPARE(VirtualMemoryColour(450), 0xCC00FFu);
    QCOMPARE(PhysicalMemoryColour(450), 0x0000FFu);
    QCOMPARE(PhysicalMemoryColour(199.9f), 0xFF00FFu);
    QCOMPARE(PhysicalMemoryColour(200), 0x6800FFu);
    QCOMPARE(VirtualMemoryColour(200), 0xCC00FFu);
    QCOMPARE(PhysicalMemoryColour(1600), 0x00FFCCu);
    QCOMPARE(VirtualMemoryColour(1999.99f), 0x00FFCCu);
    QCOMPARE(PhysicalMemoryColour(2000), 0x00FF00u);
    QCOMPARE(VirtualMemoryColour(2000), 0x00FF00u);
    QCOMPARE(MemoryCaption(1024000), std::string(" 1 MB"));
    QCOMPARE(MemoryCaption(0), std::string(" 0 MB"));
    // 2,048,000,000 bytes are 2000 MB (divided by 1,024,000, not 1,048,576).
    QCOMPARE(MemoryMB(2048000000ull), 2000.0f);
  }

  void MemInfoFiguresShownOnThePanels() {
    const char* Sample =
        "MemTotal:       16318480 kB\nMemFree:          512000 kB\nMemAvailable:     450000 kB\n"
        "Buffers:           10000 kB\nSwapTotal:       2097148 kB\nSwapFree:        1600000 kB\n";
    TMemoryFigures F;
    QVERIFY(ParseMemInfo(Sample, F));
    QCOMPARE(F.Physical, 450000ull * 1024);
    QCOMPARE(F.Virtual, (450000ull + 1600000ull) * 1024);
    QVERIFY(!ParseMemInfo("MemTotal: 1 kB\n", F));
    // The machine's own figures parse.
    QVERIFY(ReadMemoryFigures().Physical > 0);

    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.ShowMemoryFigures({1024000ull * 450, 1024000ull * 450});
    QCOMPARE(Main.PnPhysicalMemory->text(), QString(" 450 MB"));
    QCOMPARE(PanelColour(Main.PnPhysicalMemory), 0x0000FFu);
    QCOMPARE(PanelColour(Main.PnVirtualMemory), 0xCC00FFu);
  }

  void RefreshNotificationsAreQueuedAndEndWithTheWindow() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    {
      TFmMain Main;
      Main.ShowMemoryFigures({0, 0});
      for (int i = 0; i < 100; ++i) PostRefresh();
      QCOMPARE(Main.PnPhysicalMemory->text(), QString(" 0 MB"));  // nothing redrawn in the call
      Pump();
      QVERIFY(Main.PnPhysicalMemory->text() != QString(" 0 MB"));
      PostRefresh();  // pending when the window goes
    }
    PostRefresh();
    Pump();
  }

  void ModePanelStepsAndNeedsDeveloperMode() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    QCOMPARE(Main.PnDynamicCompensation->text(), QString("Native"));
    QCOMPARE(PanelColour(Main.PnDynamicCompensation), 0x00FF00u);
    CompensationMode = 2;
    Main.NextCompensationMode();
    QCOMPARE(CompensationMode, 0);
    QCOMPARE(Main.PnDynamicCompensation->text(), QString("Native"));
    QCOMPARE(Main.PnDynamicCompensation->toolTip(), QString("Static Compensation of Raw Values"));

    ReleaseCode = "";
    QTest::mouseClick(Main.PnDynamicCompensation, Qt::LeftButton);
    QCOMPARE(CompensationMode, 0);
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{"Whoa Nellie; that's a \"Developer Only\" function you're clicking"});

    ReleaseCode = "quib";
    DynamicCompensationN = 40;
    QTest::mouseClick(Main.PnDynamicCompensation, Qt::LeftButton);
    QTest::mouseClick(Main.PnDynamicCompensation, Qt::LeftButton);
    QCOMPARE(CompensationMode, 2);
    QCOMPARE(Main.PnDynamicCompensation->text(), QString("Dyanmic"));
    QCOMPARE(Main.PnDynamicCompensation->toolTip(), QString("Dyanmic Compensation using 40 Monte Carlo iterations"));
    QCOMPARE(PanelColour(Main.PnDynamicCompensation), 0x0000FFu);
    ReleaseCode = "";
  }

  void KeyFiltersAndTheTagEdit() {
    QLineEdit Unsigned, Signed, Integer, Tag, Name;
    InstallKeyFilter(&Unsigned, TKeyFilter::UnsignedDecimal);
    InstallKeyFilter(&Signed, TKeyFilter::SignedDecimal);
    InstallKeyFilter(&Integer, TKeyFilter::Integer);
    InstallKeyFilter(&Tag, TKeyFilter::ChannelTag);
    QTest::keyClicks(&Unsigned, "-1a2.5e");
    QCOMPARE(Unsigned.text(), QString("12.5"));
    QTest::keyClicks(&Signed, "-1a2.5e");
    QCOMPARE(Signed.text(), QString("-12.5"));
    QTest::keyClicks(&Integer, "-1a2.5");
    QCOMPARE(Integer.text(), QString("125"));
    QTest::keyClick(&Integer, Qt::Key_Backspace);
    QCOMPARE(Integer.text(), QString("12"));

    QTest::keyClicks(&Tag, "a");
    QCOMPARE(Tag.text(), QString("A"));
    QTest::keyClicks(&Tag, "b7");
    QCOMPARE(Tag.text(), QString("7"));
    QTest::keyClick(&Tag, Qt::Key_Backspace);
    QCOMPARE(Tag.text(), QString(""));

    // Grid cells filter their editor's keys as the unsigned edits do.
    QTableWidget Grid(2, 2);
    InstallGridKeyFilter(&Grid, TKeyFilter::UnsignedDecimal);
    Grid.show();
    Grid.setCurrentCell(0, 0);
    Grid.editItem(Grid.item(0, 0) ? Grid.item(0, 0) : (Grid.setItem(0, 0, new QTableWidgetItem), Grid.item(0, 0)));
    auto* Cell = Grid.findChild<QLineEdit*>();
    QVERIFY(Cell);
    QTest::keyClicks(Cell, "x3.5-");
    QCOMPARE(Cell->text(), QString("3.5"));

    Name.setText("mCherry");
    ChannelTagEnter(&Name, &Tag);
    QCOMPARE(Tag.text(), QString("m"));
    Tag.setText("X");
    ChannelTagEnter(&Name, &Tag);
    QCOMPARE(Tag.text(), QString("X"));
    // A first character beyond the basic plane is two UTF-16 units, taken together.
    Name.setText(QString::fromUtf8("\xF0\x9D\x9B\xBC-FITC"));
    Tag.clear();
    ChannelTagEnter(&Name, &Tag);
    QCOMPARE(Tag.text(), QString::fromUtf8("\xF0\x9D\x9B\xBC"));
  }

  void NumbersReadFromEditsNameTheirField() {
    QCOMPARE(double(ReadNumber(QString(" 1.5 "), "Mean")), 1.5);
    QCOMPARE(ReadInteger(QString("-2147483648"), "Bins"), std::numeric_limits<int32_t>::min());
    for (const char* Bad : {"1,5", "abc", "", "1.5.2", "inf", "nan"}) {
      try {
        ReadNumber(QString(Bad), "Override Mean");
        QFAIL(Bad);
      } catch (const EConvertError& E) {
        QVERIFY(std::string(E.what()).find("Override Mean") != std::string::npos);
      }
    }
    QVERIFY_THROWS_EXCEPTION(EConvertError, ReadInteger(QString("2147483648"), "Bins"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, ReadInteger(QString("1.0"), "Bins"));
  }

  void DeveloperControlsOnlyWithTheCode() {
    QWidget Root;
    auto* Baseline = new QPushButton(&Root);
    Baseline->setObjectName("BtnBaselineCompensation");
    auto* Full = new QPushButton(&Root);
    Full->setObjectName("RbFullFitness");
    ApplyDeveloperMode(&Root, false);
    QVERIFY(!Baseline->isEnabled() && !Full->isEnabled());
    QVERIFY(!Baseline->isHidden());
    ApplyDeveloperMode(&Root, true);
    QVERIFY(Baseline->isEnabled() && Full->isEnabled());

    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    WriteText(Home.Path() + "FCS.INI", "[Misc]\nReleaseCode=QUIB\n");
    TFmMain Main;
    QVERIFY(!IsDeveloperMode());  // the code is case-sensitive
    QCOMPARE(Main.PnDynamicCompensation->text(), QString("Native"));
  }

  void ExcelButtonsFollowTheSpreadsheetProgram() {
    TempFolder Bin;
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    {
      ScopedPath Path(Bin.Path());
      QVERIFY(!SpreadsheetAvailable());
      TFmMain Main;
      QVERIFY(!ExcelAvailable);
    }
    WriteText(Bin / "soffice", "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(Bin / "soffice", std::filesystem::perms::owner_all);
    {
      ScopedPath Path(Bin.Path());
      QVERIFY(SpreadsheetAvailable());
      TFmMain Main;
      QVERIFY(ExcelAvailable);
    }
    QWidget Root;
    auto* Excel = new QPushButton(&Root);
    Excel->setObjectName("BtnExportMatrixExcel");
    auto* Text = new QPushButton(&Root);
    Text->setObjectName("BtnExportMatrixText");
    ApplySpreadsheetAvailability(&Root, false);
    QVERIFY(!Excel->isEnabled());
    QVERIFY(Text->isEnabled());
    ApplySpreadsheetAvailability(&Root, true);
    QVERIFY(Excel->isEnabled());
  }

  void FrameMenusAndPages() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    QCOMPARE(Main.minimumSize(), QSize(762, 248));
    QCOMPARE(Main.MenuItem("MnQuit")->shortcut(), QKeySequence("Ctrl+Q"));
    QCOMPARE(Main.MenuItem("MnAddToQueue")->shortcut(), QKeySequence("Ctrl+Alt+A"));
    QCOMPARE(Main.MenuItem("MnHelpHelp")->shortcut(), QKeySequence("F1"));
    QCOMPARE(Main.MenuItem("MnClearProtocol")->data().toInt(), 49);
    QCOMPARE(Main.MenuItem("MnReprocess")->statusTip(), QString("Reset detectors, fit curves and call classess"));
    QVERIFY(!Main.PopupMenu("PMHistogram")->isEnabled());
    // Start: FCS File Viewer on Load, the file and data pages hidden.
    QCOMPARE(Main.PgMain->currentWidget(), Main.Page("TsExplore"));
    QTabWidget* Explore = Main.Pages("PgExplore");
    QCOMPARE(Explore->currentWidget(), Main.Page("TsLoad"));
    QVERIFY(!Explore->isTabVisible(Explore->indexOf(Main.Page("TsHeader"))));
    QVERIFY(!Explore->isTabVisible(Explore->indexOf(Main.Page("TsClassification"))));
    Main.UpdateProtocolDependentControls(true, false);
    QVERIFY(Explore->isTabVisible(Explore->indexOf(Main.Page("TsData"))));
    QVERIFY(!Explore->isTabVisible(Explore->indexOf(Main.Page("TSGraphs"))));
    QTabWidget* Channel = Main.Pages("PgChannel");
    QCOMPARE(Channel->tabText(Channel->indexOf(Main.Page("TsCompensation"))), QString("Compensation "));
    // A hint shown by a control lands on the hint panel.
    QStatusTipEvent Tip("Set program preferences");
    QCoreApplication::sendEvent(&Main, &Tip);
    QCOMPARE(Main.PnHint->text(), QString(" Set program preferences"));
  }
  void LongHintLeavesTheFixedPanelsWhole() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Main));
    Main.resize(Main.minimumSize());
    QTest::mouseClick(Main.PnPhysicalMemory, Qt::LeftButton);  // the machine's own figures
    Pump();
    const std::vector<QLabel*> Fixed{Main.PnPoints, Main.PnPhysicalMemory, Main.PnVirtualMemory,
                                     Main.PnDynamicCompensation, Main.PnProtocolName};
    std::vector<int> Widths;
    for (QLabel* Panel : Fixed) Widths.push_back(Panel->width());
    const QString Hint = "Append these files to the file already open, ignoring the protocol, and a good deal more";
    QStatusTipEvent Tip(Hint);
    QCoreApplication::sendEvent(&Main, &Tip);
    Pump();
    QCOMPARE(Main.PnHint->text(), " " + Hint);  // the whole hint, elided only when drawn
    for (size_t i = 0; i < Fixed.size(); ++i) {
      QCOMPARE(Fixed[i]->width(), Widths[i]);
      QVERIFY2(Fixed[i]->contentsRect().width() >= Fixed[i]->fontMetrics().horizontalAdvance(Fixed[i]->text()),
               qPrintable(Fixed[i]->objectName() + " cuts " + Fixed[i]->text()));
    }
    QVERIFY(Main.PnHint->geometry().right() < Main.PnProtocolName->geometry().left());
    QVERIFY(Main.PnHint->width() < Main.PnHint->fontMetrics().horizontalAdvance(Main.PnHint->text()));
    QVERIFY(Main.PnButtons->geometry().right() <= Main.PnStatus->width());
  }

  void PagesScrollAtTheSmallestSize() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Main));
    Main.UpdateProtocolDependentControls(true, true);
    // Every sheet in turn, its own pages after it; Check looks at each.
    const auto VisitAll = [&Main](const std::function<void(QWidget*)>& Check) {
      int Leaves = 0;
      std::function<void(QTabWidget*)> Visit = [&](QTabWidget* Tabs) {
        for (int i = 0; i < Tabs->count(); ++i) {
          Tabs->setCurrentIndex(i);
          Pump();
          QWidget* Sheet = Tabs->widget(i);
          Check(Sheet);
          // The sheet's own tab widget is the one nearest to it.
          QTabWidget* Inner = nullptr;
          int Least = 0;
          for (QTabWidget* Sub : Sheet->findChildren<QTabWidget*>()) {
            int Depth = 0;
            for (QWidget* W = Sub; W != Sheet; W = W->parentWidget()) ++Depth;
            if (!Inner || Depth < Least) {
              Inner = Sub;
              Least = Depth;
            }
          }
          if (Inner)
            Visit(Inner);
          else
            ++Leaves;
        }
      };
      Visit(Main.PgMain);
      return Leaves;
    };
    // At the first size every page fits without scrolling.
    QStringList Scrolled;
    QCOMPARE(VisitAll([&](QWidget* Sheet) {
               for (QScrollArea* Scroll : Sheet->findChildren<QScrollArea*>(Sheet->objectName() + "Scroll"))
                 if (Scroll->verticalScrollBar()->isVisible()) Scrolled << Sheet->objectName();
             }),
             24);
    QVERIFY2(Scrolled.isEmpty(), qPrintable(Scrolled.join(", ")));
    // At the smallest size no page squeezes its controls below their height or over each other.
    Main.resize(Main.minimumSize());
    QStringList Found;
    VisitAll([&](QWidget* Sheet) { Found << Crowded(Sheet); });
    Found.removeDuplicates();
    QVERIFY2(Found.isEmpty(), qPrintable(Found.join("\n")));
  }
};

static RegisterUiTest<StatusRowTest> Register;
#include "StatusRowTest.moc"
