// The fitness page: file slots, the two models and when they read their files again, the
// correlation of saved reports and the two sweeps.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <set>
#include <tuple>

#include "FitnessFixtures.h"
#include "pages/FitnessPage.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "ScopedValue.h"
#include "ScriptedDialogs.h"
#include "report/TextOutput.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "fitness/FitnessCalculator.h"
#include "fitness/SimpleFitness.h"
#include "TextUtils.h"

using namespace qv;
using namespace qv::test;

namespace {

// The four files of a reciprocal assay in Folder; set 1's observed file holds two plates.
void WriteAssay(const std::string& Folder) {
  auto P1 = AssayProtocol({"A", "B"}, {"GFP", "YFP"});
  auto P2 = AssayProtocol({"B", "A"}, {"GFP", "YFP"});
  SaveAssayFile(Folder + "e1.Quorvenal", *P1, {{10, 100, 100}});
  SaveAssayFile(Folder + "o1.Quorvenal", *P1, {{1, 100, 20}, {2, 50, 30}});
  SaveAssayFile(Folder + "e2.Quorvenal", *P2, {{0, 100, 100}});
  SaveAssayFile(Folder + "o2.Quorvenal", *P2, {{7, 60, 140}});
}

// The page, its folder pointed at Folder and the list refreshed.
TFitnessPage& PageOf(TFmMain& Main, const std::string& Folder) {
  TFitnessPage& Page = *Main.findChild<TFitnessPage*>();
  ProcessDir = Folder;
  Page.RefreshProcessFiles();
  return Page;
}

void Select(TFitnessPage& Page, const QString& Name) {
  const auto Items = Page.LsBxProcessFiles->findItems(Name, Qt::MatchExactly);
  QVERIFY(!Items.isEmpty());
  Page.LsBxProcessFiles->setCurrentItem(Items.first());
}

void FillSlots(TFmMain& Main) {
  const char* const Names[] = {"e1.Quorvenal", "o1.Quorvenal", "e2.Quorvenal", "o2.Quorvenal"};
  for (size_t i = 0; i < 4; ++i) Main.FitnessSlotEdits[i]->setText(Names[i]);
}

bool ReadFiles(TFitnessPage& Page) { return Page.MeProcess->toPlainText().contains("Reading"); }

int Windows(TFmMain& Main) { return static_cast<int>(Main.findChildren<TFmTextOutput*>().size()); }

// What the user types into an edit, replacing its text (through the edit's key filter).
void Type(QLineEdit* Edit, const QString& Text) {
  Edit->selectAll();
  QTest::keyClicks(Edit, Text);
}

void ShowSummarySheet(TFmMain& Main) {
  Main.show();
  Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
  Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsClassification"));
  Main.Pages("PgClassification")->setCurrentWidget(Main.Page("TsAutomateSummary"));
}

QString LastText(TFitnessPage& Page) { return Page.LastReport() ? Page.LastReport()->MeText->toPlainText() : QString(); }

}  // namespace

class FitnessPageTest : public QObject {
  Q_OBJECT
 private slots:
  void SlotsWrapClearAndDeleteAsks() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    WriteAssay(Home.Path());
    TFitnessPage& Page = PageOf(Main, Home.Path());
    Page.BtnProcessFilesClick(10);
    QCOMPARE(Page.LsBxProcessFiles->count(), 4);

    Select(Page, "e2.Quorvenal");
    Page.SlotButtons[3]->click();  // Observed of experiment 2
    QCOMPARE(Main.FitnessSlotEdits[3]->text(), QString("e2.Quorvenal"));
    Select(Page, "o1.Quorvenal");
    Page.BtnProcessFilesClick(0);
    QCOMPARE(Main.FitnessSlotEdits[0]->text(), QString("o1.Quorvenal"));
    Page.BtnProcessFilesClick(0);
    QCOMPARE(Main.FitnessSlotEdits[1]->text(), QString("o1.Quorvenal"));

    Main.findChild<QPushButton*>("BtnClearProcessFileNames")->click();
    for (QLineEdit* Edit : Main.FitnessSlotEdits) QVERIFY(Edit->text().isEmpty());
    Page.BtnProcessFilesClick(0);
    QCOMPARE(Main.FitnessSlotEdits[0]->text(), QString("o1.Quorvenal"));

    Dialogs.Answers = {Dialogs::TAnswer::No, Dialogs::TAnswer::Yes};
    Page.BtnProcessFilesClick(11);
    QCOMPARE(Dialogs.Questions.back(), std::string("Delete o1.Quorvenal"));
    QVERIFY(std::filesystem::exists(Home.Path() + "o1.Quorvenal"));
    Page.BtnProcessFilesClick(11);
    QVERIFY(!std::filesystem::exists(Home.Path() + "o1.Quorvenal"));
    QCOMPARE(Page.LsBxProcessFiles->count(), 3);
    QVERIFY(Dialogs.Errors.empty());
  }

  void ModelChoiceSetsCaptionsControlsAndTabs() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    WriteAssay(Home.Path());
    TFitnessPage& Page = PageOf(Main, Home.Path());
    QTabWidget* Sub = Main.Pages("PgFitnessControls");
    auto TabShown = [&](const char* Name) { return Sub->isTabVisible(Sub->indexOf(Main.Page(Name))); };

    QVERIFY(Page.RbSimpleFitness->isChecked());
    QCOMPARE(Page.SlotButtons[0]->text(), QString("Start Time"));
    QCOMPARE(Page.SlotButtons[3]->text(), QString("End Time"));
    QCOMPARE(Page.GbExperiment2->title(), QString(" Experiment 2 : Experimental Set "));
    QVERIFY(!Page.BtnProcess->isEnabled() && !Page.BtnBootstrap->isEnabled() && !Page.BtnFitnessAutomation->isEnabled());
    QVERIFY(Page.BtnSimpleFitness->isEnabled() && Page.CbSimpleFitnessBootstrap->isEnabled());
    QVERIFY(!TabShown("TsAutomatedFitness") && !TabShown("TsFitnessCorrelation"));

    // The menu runs the variable model whatever the choice.
    FillSlots(Main);
    Main.MenuItem("BtnCalculate")->trigger();
    QVERIFY(Main.Calculator);
    QVERIFY(!Main.SimpleFitness);
    QVERIFY(LastText(Page).contains("Fitness"));
    QCOMPARE(Page.LastReport()->windowTitle(), QString("Fitness Analysis"));

    Page.RbFullFitness->setChecked(true);
    QCOMPARE(Page.SlotButtons[0]->text(), QString("Expected"));
    QCOMPARE(Page.SlotButtons[1]->text(), QString("Observed"));
    QCOMPARE(Page.GbExperiment1->title(), QString(" Experiment 1 : Original Tag "));
    QVERIFY(Page.BtnProcess->isEnabled() && Page.CmBxDeconvolution->isEnabled());
    QVERIFY(!Page.BtnSimpleFitness->isEnabled());
    QVERIFY(TabShown("TsAutomatedFitness") && TabShown("TsFitnessCorrelation"));
  }

  void VariableModelReadsItsFilesOnlyWhenNeeded() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    WriteAssay(Home.Path());
    TFitnessPage& Page = PageOf(Main, Home.Path());
    Page.RbFullFitness->setChecked(true);
    FillSlots(Main);

    Page.BtnProcess->click();
    QVERIFY(ReadFiles(Page));
    QVERIFY(!Page.BtnDiscardFitness->isHidden());
    Page.BtnProcess->click();
    QVERIFY(!ReadFiles(Page));
    QCOMPARE(Windows(Main), 2);

    std::filesystem::copy_file(Home.Path() + "e1.Quorvenal", Home.Path() + "e1b.Quorvenal");
    Main.FitnessSlotEdits[0]->setText("e1b.Quorvenal");
    Page.BtnProcess->click();
    QVERIFY(ReadFiles(Page));
    Page.BtnDiscardFitness->click();
    QVERIFY(!Main.Calculator);
    Page.BtnProcess->click();
    QVERIFY(ReadFiles(Page));

    // An override applied and then unchecked: the protocols get their stored limits back.
    Page.CbReassign[0]->setChecked(true);
    Page.EdOverride[0]->setText("2.0");
    Page.BtnProcess->click();
    QVERIFY(!ReadFiles(Page));
    QCOMPARE(Main.Calculator->ExpectedProtocol[0]->GetChannel(0)->Maximum_Z, 2.0f);
    Page.CbReassign[0]->setChecked(false);
    Page.BtnProcess->click();
    QVERIFY(ReadFiles(Page));
    QCOMPARE(Main.Calculator->ExpectedProtocol[0]->GetChannel(0)->Maximum_Z, 3.0f);

    // Another compensation mode loads the files differently.
    const int32_t Mode = CompensationMode;
    CompensationMode = Mode == 0 ? 2 : 0;
    Page.BtnProcess->click();
    QVERIFY(ReadFiles(Page));
    CompensationMode = Mode;
    Page.BtnProcess->click();
    QVERIFY(ReadFiles(Page));

    // A file missing at first: its report window opens all the same, empty. Once the file is
    // there the run works, without Discard.
    const int Before = Windows(Main);
    auto EmptyReportShown = [&] {
      return Page.LastReport() && Page.LastReport()->windowTitle() == QString("Fitness Analysis") &&
             Page.LastReport()->isVisible() && LastText(Page).trimmed().isEmpty();
    };
    Main.FitnessSlotEdits[3]->setText("late.Quorvenal");
    Page.BtnProcess->click();
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{"Error reading files"});
    QCOMPARE(Windows(Main), Before + 1);
    QVERIFY(EmptyReportShown());
    std::filesystem::copy_file(Home.Path() + "o2.Quorvenal", Home.Path() + "late.Quorvenal");
    Page.BtnProcess->click();
    QCOMPARE(Windows(Main), Before + 2);
    QVERIFY(!LastText(Page).isEmpty());
    QCOMPARE(Dialogs.Errors.size(), size_t(1));

    // A bad number is named and nothing runs; the report window shows that nothing came.
    Page.EdOverride[0]->setText("abc");
    Main.MenuItem("BtnCalculate")->trigger();
    QCOMPARE(Dialogs.Errors.size(), size_t(2));
    QVERIFY(QString::fromStdString(Dialogs.Errors.back()).contains("abc"));
    QVERIFY(QString::fromStdString(Dialogs.Errors.back()).contains("Maximum Z"));
    QCOMPARE(Windows(Main), Before + 3);
    QVERIFY(EmptyReportShown());
  }

  void ConstantModelReadsAgainForAnotherReportType() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    WriteAssay(Home.Path());
    TFitnessPage& Page = PageOf(Main, Home.Path());
    FillSlots(Main);
    Page.BtnSimpleFitness->click();
    QVERIFY(ReadFiles(Page));
    QCOMPARE(Page.LastReport()->windowTitle(), QString("Fitness Calculation"));
    QVERIFY(LastText(Page).contains("Simple Fitness Analysis"));
    Page.BtnSimpleFitness->click();
    QVERIFY(!ReadFiles(Page));
    Page.CmBxReportType->setCurrentIndex(0);
    Page.BtnSimpleFitness->click();
    QVERIFY(ReadFiles(Page));
    QCOMPARE(Main.SimpleFitness->FileSet.ReportType, 1);
    QVERIFY(Dialogs.Errors.empty());
  }

  void ConstantModelBootstrapMovesItsGaugeAndPumps() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.show();
    WriteAssay(Home.Path());
    TFitnessPage& Page = PageOf(Main, Home.Path());
    FillSlots(Main);
    Main.PgMain->setCurrentWidget(Main.Page("TsProcess"));
    QTest::mouseClick(Page.BtnSimpleFitness, Qt::LeftButton);  // the files are read once
    QVERIFY(Main.SimpleFitness && Main.SimpleFitness->FilesRead);

    QTest::mouseClick(Page.CbSimpleFitnessBootstrap, Qt::LeftButton);
    QVERIFY(Page.CbSimpleFitnessBootstrap->isChecked());
    Page.SeIterations->selectAll();
    QTest::keyClicks(Page.SeIterations, "20000");
    QCOMPARE(Page.SeIterations->value(), 20000);
    std::set<int> Shown;
    connect(Page.GaBootstrap, &QProgressBar::valueChanged, this, [&](int Value) { Shown.insert(Value); });
    // Posted now, so it runs only when the bootstrap lets the window handle its events.
    bool HandledDuring = false;
    QTimer::singleShot(0, this, [&] { HandledDuring = !Page.GaBootstrap->isHidden(); });
    QTest::mouseClick(Page.BtnSimpleFitness, Qt::LeftButton);
    disconnect(Page.GaBootstrap, nullptr, this, nullptr);
    QVERIFY(Dialogs.Errors.empty());
    QVERIFY(LastText(Page).contains("Simple Fitness Analysis"));
    QVERIFY2(Shown.size() > 90, QByteArray::number(static_cast<int>(Shown.size())));
    QVERIFY(HandledDuring);
    QVERIFY(Page.GaBootstrap->isHidden());
    QVERIFY(!Main.SimpleFitness->FileSet.Gauge);
  }

  void CorrelationOfSavedReports() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    WriteAssay(Home.Path());
    TFitnessPage& Page = PageOf(Main, Home.Path());
    Page.BtnFitnessCorrelationClick();  // cancelled
    QCOMPARE(Windows(Main), 0);

    TFitnessFileSet Set;
    Set.Folder = Home.Path();
    Set.Expected = {"e1.Quorvenal", "e2.Quorvenal"};
    Set.Observed = {"o1.Quorvenal", "o2.Quorvenal"};
    TFitnessCalculator Calculator(Set, nullptr);
    QVERIFY(Calculator.Calculate(1, 0, false, false, false, nullptr));
    std::string Report;
    Calculator.ReportAll(false, false, Report);
    WriteText(Home.Path() + "sets.txt", Report + Report);
    Dialogs.FileAnswers = {Home.Path() + "sets.txt"};
    Page.BtnFitnessCorrelation->click();
    QCOMPARE(Windows(Main), 1);
    QCOMPARE(Page.LastReport()->windowTitle(), QString("Correlation in Fitness Data"));
    QVERIFY(LastText(Page).contains("for 2 sets"));

    WriteText(Home.Path() + "other.txt", "not a report\r\n");
    Dialogs.FileAnswers = {Home.Path() + "other.txt"};
    Page.BtnFitnessCorrelation->click();
    QCOMPARE(Windows(Main), 1);
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{"No fitness report in " + Home.Path() + "other.txt"});
  }

  void GridWalkOrderCountAndRefusals() {
    TSweepGrid G{-1.0f, -0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 5.0f, 5.0f, 1.2f};
    std::vector<std::array<float, 3>> Seen;
    WalkSweepGrid(G, [&](float MinZ, float MaxZ, float Gate) {
      Seen.push_back({MinZ, MaxZ, Gate});
      return true;
    });
    QCOMPARE(Seen, (std::vector<std::array<float, 3>>{{-1.0f, 0.5f, 5.0f}, {-0.5f, 0.5f, 5.0f}}));
    G.GateTo = 5.9f;
    QCOMPARE(WalkSweepGrid(G, nullptr), int64_t(2));
    const TSweepGrid Defaults{-3.5f, -0.5f, 0.5f, 0.5f, 3.5f, 0.5f, 5.0f, 50.0f, 1.2f};
    QCOMPARE(WalkSweepGrid(Defaults, nullptr), int64_t(637));
    QCOMPARE(SweepNumber(-0.5f), std::string("-0.5000"));

    for (bool Summary : {false, true}) {
      TSweepGrid Bad = Defaults;
      Bad.GateMultiplier = 1.0f;
      QCOMPARE(SweepGridError(Bad, Summary), std::string("Steps must be greater than zero (or 1 for multiplier)"));
      Bad = Defaults;
      Bad.GateFrom = 0;
      QCOMPARE(SweepGridError(Bad, Summary), std::string("The gate start must be greater than zero"));
      Bad = Defaults;
      Bad.MaxZStep = 1e-9f;
      QVERIFY(!SweepGridError(Bad, Summary).empty());
      QVERIFY(SweepGridError(Defaults, Summary).empty());
    }
  }

  void FitnessSweepRunsEachStepAndRestoresTheBoxes() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    WriteAssay(Home.Path());
    TFitnessPage& Page = PageOf(Main, Home.Path());
    Page.RbFullFitness->setChecked(true);
    FillSlots(Main);
    const char* const Grid[] = {"-1.0", "-0.5", "0.5", "0.5", "0.5", "0.5", "5.0", "5.9", "1.2"};
    for (size_t i = 0; i < 9; ++i) Page.FitnessSweepEdits[i]->setText(Grid[i]);
    Page.BtnFitnessAutomation->click();
    QVERIFY(Dialogs.Errors.empty());
    QCOMPARE(Page.LastReport()->windowTitle(), QString("Fitness Z Value Automation"));
    const QString Text = LastText(Page);
    QCOMPARE(Text.count("MinZ , "), 2);
    QVERIFY(Text.indexOf("MinZ , -1.0000 MaxZ , 0.5000 MinZGate , 5.0000") <
            Text.indexOf("MinZ , -0.5000 MaxZ , 0.5000 MinZGate , 5.0000"));
    QCOMPARE(Page.EdOverride[1]->text(), QString("-0.5000"));
    for (QCheckBox* Box : Page.CbReassign) QVERIFY(!Box->isChecked());

    // A step that raises: the report of the steps before it opens and the boxes come back.
    Page.CbReassign[1]->setChecked(true);
    Page.EdOverride[2]->setText("abc");
    Page.BtnFitnessAutomation->click();
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Page.CbReassign[1]->isChecked());
    QVERIFY(!Page.CbReassign[0]->isChecked() && !Page.CbReassign[3]->isChecked());
    QCOMPARE(LastText(Page).count("MinZ , "), 1);

    Page.FitnessSweepEdits[8]->setText("1.0");
    Page.BtnFitnessAutomation->click();
    QCOMPARE(Dialogs.Errors.back(), std::string("Steps must be greater than zero (or 1 for multiplier)"));

    // Files that cannot be read stop the sweep at its first step, with one message.
    Page.EdOverride[2]->setText("1000");
    Page.FitnessSweepEdits[8]->setText("1.2");
    Main.FitnessSlotEdits[0]->setText("missing.Quorvenal");
    Dialogs.Errors.clear();
    Page.BtnFitnessAutomation->click();
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{"Error reading files"});
    QCOMPARE(LastText(Page).count("MinZ , "), 1);
  }

  void SSDSettingsFollowTheirControls() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    TFitnessPage& Page = PageOf(Main, Home.Path());
    Page.CbSSDPValue->setChecked(false);
    Page.EdSSDIterations->setText("250");
    Page.CbSSDPValue->click();
    QVERIFY(CalculateSSDPvalues);
    QCOMPARE(SSDIterations, 250);
    for (const char* Bad : {"0", "1000001", "12x"}) {
      Page.EdSSDIterations->setText(Bad);
      QCOMPARE(SSDIterations, 100);
    }
    Page.EdSSDIterations->setText("1000000");
    QCOMPARE(SSDIterations, 1000000);
  }

  void SummarySweepRefusesABadGridOrAMismatchedProtocol() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    TFitnessPage& Page = PageOf(Main, Home.Path());
    // The set has one gate more than the protocol.
    auto Protocol = AssayProtocol({"A", "B"}, {"GFP", "YFP"});
    auto Data = AssaySet(*AssayProtocol({"A", "B"}, {"GFP", "YFP"}, 1), {{10, 100, 100}});
    Main.SetCurrentProtocol(std::move(Protocol));
    Main.SetCurrentData(std::move(Data));
    ShowSummarySheet(Main);
    auto* MinEdit = Main.findChild<QLineEdit*>("EdReassignMinimumZ");
    const QString MinShown = MinEdit ? MinEdit->text() : QString();
    const char* const Grid[] = {"-1.0", "-0.5", "0.5", "0.5", "1.0", "0.5", "5.0", "6.0", "1.1"};
    auto TypeGrid = [&] {
      for (size_t i = 0; i < 9; ++i) Type(Page.SummarySweepEdits[i], Grid[i]);
    };
    auto Sweep = [&] {
      Dialogs.Errors.clear();
      QTest::mouseClick(Page.BtnSummaryAutomation, Qt::LeftButton);
    };
    const std::string Range = "Max Values must be greater or equal to Min Values";
    const std::string Steps = "Steps must be greater than zero (or 1 for multiplier)";
    const std::tuple<size_t, const char*, std::string> Bad[] = {
        {7, "0", Range},   {7, "-5", Range}, {7, "4.9", Range}, {1, "-1.5", Range}, {4, "0.4", Range},
        {8, "1.0", Steps}, {8, "0.5", Steps}, {2, "0", Steps},  {5, "0", Steps},
        {6, "0", "The gate start must be greater than zero"}};
    for (const auto& [Field, Text, Message] : Bad) {
      TypeGrid();
      Type(Page.SummarySweepEdits[Field], Text);
      Sweep();
      QCOMPARE(Dialogs.Errors, std::vector<std::string>{Message});
    }
    QVERIFY(!Page.LastReport());

    // A good grid against a protocol that does not fit the set: one message before any step,
    // the protocol and the reassign edits as they were, no report.
    TypeGrid();
    Sweep();
    QCOMPARE(Dialogs.Errors,
             std::vector<std::string>{"The protocol does not match the data set (gates or channels differ)"});
    QVERIFY(!Page.LastReport());
    for (int32_t c = 0; c < 2; ++c) {
      const TChannel& Channel = *Main.CurrentProtocol->GetChannel(c);
      QCOMPARE(Channel.Minimum_Z, -3.0f);
      QCOMPARE(Channel.Maximum_Z, 3.0f);
      QCOMPARE(Channel.Minimum_Value_Threshold, 10.0f);
    }
    if (MinEdit) QCOMPARE(MinEdit->text(), MinShown);
    QVERIFY(Page.GaAutomation->isHidden());
  }

  // Each step of the summary sweep reports the summary it showed: with resampled SSD p values
  // a second report would draw them anew (and twice the time).
  void SummarySweepReportsTheSummaryEachStepShowed() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    ScopedValue<bool> Resampled(CalculateSSDPvalues, false);
    ScopedValue<int32_t> Iterations(SSDIterations, SSDIterations);
    TFmMain Main;
    TFitnessPage& Page = PageOf(Main, Home.Path());
    auto Protocol = AssayProtocol({"A", "B"}, {"GFP", "YFP"});
    // Three plates of a merged read, compensated as a read leaves them.
    auto Data = AssaySet(*Protocol, {{5, 60, 40}, {5, 50, 50}, {5, 40, 60}}, true);
    Data->Compensate(*Protocol, nullptr, 0);
    Main.SetCurrentProtocol(std::move(Protocol));
    Main.SetCurrentData(std::move(Data));
    ShowSummarySheet(Main);
    Type(Page.EdSSDIterations, "2000");
    QTest::mouseClick(Page.CbSSDPValue, Qt::LeftButton);
    QVERIFY(CalculateSSDPvalues);
    QCOMPARE(SSDIterations, 2000);
    const char* const Grid[] = {"-1.0", "-1.0", "0.5", "1.0", "1.0", "0.5", "5.0", "5.0", "1.2"};
    for (size_t i = 0; i < 9; ++i) Type(Page.SummarySweepEdits[i], Grid[i]);
    QTest::mouseClick(Page.BtnSummaryAutomation, Qt::LeftButton);
    QVERIFY2(Dialogs.Errors.empty(), Dialogs.Errors.empty() ? "" : Dialogs.Errors[0].c_str());
    const auto Shown = SplitLines(Main.findChild<QTextEdit*>("MeSummary")->toPlainText().toStdString());
    QVERIFY(std::any_of(Shown.begin(), Shown.end(),
                        [](const std::string& L) { return L.find("P (2000)") != std::string::npos; }));
    auto Reported = SplitLines(LastText(Page).toStdString());
    QCOMPARE(Reported.size(), Shown.size() + 4);
    QCOMPARE(Reported[1], std::string("MinZ , -1.0000 MaxZ , 1.0000 Min Gate , 5.0000"));
    Reported.erase(Reported.begin(), Reported.begin() + 4);
    QCOMPARE(Reported, Shown);
  }

  void SummarySweepLeavesTheLastValuesAndCancels() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    TFitnessPage& Page = PageOf(Main, Home.Path());
    auto Protocol = AssayProtocol({"A", "B"}, {"GFP", "YFP"});
    auto Data = AssaySet(*Protocol, {{10, 100, 100}});
    Data->Classify(*Protocol);
    Main.SetCurrentProtocol(std::move(Protocol));
    Main.SetCurrentData(std::move(Data));
    int Stored = 0, Shown = 0, Detectors = 0;
    Main.Hooks.ApplyProtocolChange = [&](const std::function<void()>& Change) {
      ++Stored;
      Change();
      ++Shown;
    };
    Main.Hooks.SetDetectors = [&] { ++Detectors; };
    const char* const Grid[] = {"-1.0", "-0.5", "0.5", "0.5", "1.0", "0.5", "5.0", "6.0", "1.1"};
    for (size_t i = 0; i < 9; ++i) Page.SummarySweepEdits[i]->setText(Grid[i]);
    Page.BtnSummaryAutomation->click();
    QVERIFY(Dialogs.Errors.empty());
    QCOMPARE(Stored, 1);
    QCOMPARE(Shown, 1);
    QCOMPARE(Detectors, 8);
    QCOMPARE(Page.LastReport()->windowTitle(), QString("Z Value Automation"));
    QCOMPARE(LastText(Page).count("Min Gate , "), 8);
    const TChannel& Channel = *Main.CurrentProtocol->GetChannel(0);
    QCOMPARE(Channel.Minimum_Z, -0.5f);
    QCOMPARE(Channel.Maximum_Z, 1.0f);
    QVERIFY(Main.ProtocolModified());

    Main.Hooks.SetDetectors = [&] { Main.ContinueFlag = false; };
    Page.BtnSummaryAutomation->click();
    QCOMPARE(LastText(Page).count("Min Gate , "), 1);

    Page.SummarySweepEdits[8]->setText("1.0");
    Page.BtnSummaryAutomation->click();
    QCOMPARE(Dialogs.Errors.back(), std::string("Steps must be greater than zero (or 1 for multiplier)"));
  }
};

static qv::test::RegisterUiTest<FitnessPageTest> Register;
#include "FitnessPageTest.moc"
