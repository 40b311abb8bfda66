#include "pages/FitnessPage.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>
#include <memory>

#include "common/CommandBinding.h"
#include "common/Dialogs.h"
#include "Errors.h"
#include "Files.h"
#include "Globals.h"
#include "common/DeveloperMode.h"
#include "common/PageContext.h"
#include "common/NumberEdit.h"
#include "common/Pictures.h"
#include "common/QtHost.h"
#include "report/TextOutput.h"
#include "TextUtils.h"
#include "dataset/FCSData.h"
#include "fitness/FitnessArray.h"
#include "fitness/FitnessCalculator.h"
#include "fitness/SimpleFitness.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

const std::string Crosses(78, 'X');

// MeProcess as the engine's progress memo; repaints at most ten times a second so that a long
// bootstrap stays responsive without drowning in redraws.
class TMemoProgress : public ProgressMemo {
 public:
  explicit TMemoProgress(QTextEdit* Memo) : FMemo(Memo) { FSincePaint.start(); }
  void Show() override { FMemo->setVisible(true); }
  void Hide() override { FMemo->setVisible(false); }
  void Add(const std::string& Line) override {
    FMemo->append(Q(Line));
    if (FSincePaint.elapsed() >= 100) {
      FSincePaint.restart();
      QCoreApplication::processEvents();
    }
  }

 private:
  QTextEdit* FMemo;
  QElapsedTimer FSincePaint;
};

// The report window's text from an engine report (lines ended CR LF).
std::vector<std::string> ReportLines(const std::string& Text) { return SplitLines(Text); }

QLineEdit* NewEdit(QWidget* Parent, const char* Name, const char* Text, int Width = 60) {
  auto* Edit = new QLineEdit(Text, Parent);
  Edit->setObjectName(Name);
  Edit->setFixedWidth(Width);
  return Edit;
}

QPushButton* NewButton(QWidget* Parent, const char* Name, const char* Caption, const char* Hint = "") {
  auto* Button = new QPushButton(Caption, Parent);
  Button->setObjectName(Name);
  if (*Hint) Button->setStatusTip(Hint);
  return Button;
}

QCheckBox* NewCheck(QWidget* Parent, const char* Name, const char* Caption) {
  auto* Box = new QCheckBox(Caption, Parent);
  Box->setObjectName(Name);
  return Box;
}

bool ParseFloat(const QString& Text, float& Value) {
  const std::string S = Text.trimmed().toStdString();
  if (S.empty()) return false;
  const char* First = S.data();
  if (*First == '+') ++First;
  auto [End, Error] = std::from_chars(First, S.data() + S.size(), Value);
  return Error == std::errc() && End == S.data() + S.size() && std::isfinite(Value);
}

constexpr const char* MultiplierSteps = "Steps must be greater than zero (or 1 for multiplier)";

// True when Step moves a 32-bit loop value anywhere between From and To.
bool StepMoves(float From, float To, float Step) {
  for (float V : {From, To})
    if (static_cast<float>(V + Step) == V) return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Grid walk

std::string SweepGridError(const TSweepGrid& G, bool CheckGateRange) {
  const char* const Steps = CheckGateRange ? MultiplierSteps : "Steps must be greater than zero";
  if (!(G.MinZStep > 0) || !(G.MaxZStep > 0)) return Steps;
  if (!(G.GateMultiplier > 1)) return MultiplierSteps;
  if (G.MinZTo < G.MinZFrom || G.MaxZTo < G.MaxZFrom || (CheckGateRange && G.GateTo < G.GateFrom))
    return "Max Values must be greater or equal to Min Values";
  if (!(G.GateFrom > 0)) return "The gate start must be greater than zero";
  // Steps too small to move a 32-bit loop value would never end the walk; the gate grows from
  // its start, so a multiplier that moves it there moves it everywhere after.
  if (!StepMoves(G.MinZFrom, G.MinZTo, G.MinZStep) || !StepMoves(G.MaxZFrom, G.MaxZTo, G.MaxZStep)) return Steps;
  if (!(static_cast<float>(G.GateFrom * G.GateMultiplier) > G.GateFrom)) return MultiplierSteps;
  return {};
}

int64_t WalkSweepGrid(const TSweepGrid& G, const std::function<bool(float, float, float)>& Visit) {
  int64_t Steps = 0;
  for (float Gate = G.GateFrom; !(Gate > G.GateTo); Gate = Gate * G.GateMultiplier)
    for (float MinZ = G.MinZFrom; !(MinZ > G.MinZTo); MinZ = MinZ + G.MinZStep)
      for (float MaxZ = G.MaxZFrom; !(MaxZ > G.MaxZTo); MaxZ = MaxZ + G.MaxZStep) {
        ++Steps;
        if (Visit && !Visit(MinZ, MaxZ, Gate)) return Steps;
      }
  return Steps;
}

std::string SweepNumber(float Value) {
  std::string S = QString::number(static_cast<double>(Value), 'f', 4).toStdString();
  if (S == "-0.0000") S = "0.0000";
  return S;
}

// ---------------------------------------------------------------------------------------------
// Building

TFitnessPage::TFitnessPage(TPageContext& Main) : QObject(Main.Window()), FMain(Main) {
  BuildPage();
  BuildAnalysisSheet();
  BuildBootstrapSheet();
  BuildAutomationSheet();
  BuildCorrelationSheet();
  BuildSummarySheet();
  BindCommands();
  FMain.Hooks.RefreshProcessFiles = [this] { RefreshProcessFiles(); };

  // The window's creation steps that concern this page.
  for (QPushButton* B : SlotButtons) B->setIcon(ButtonGlyph("BMRIGHT"));
  LbFitnessDirectory->setText(Q(ProcessDir));
  FMain.FitnessSlot = 0;
  for (size_t i = 0; i < SlotButtons.size(); ++i)
    FMain.FitnessSlotEdits[i] = FMain.findChild<QLineEdit*>(i == 0 ? "EdExpected1" : i == 1 ? "EdObserved1" : i == 2 ? "EdExpected2" : "EdObserved2");
  CmBxReportType->setCurrentIndex(1);
  CmBxDeconvolution->setCurrentIndex(1);
  CbSSDPValue->setChecked(CalculateSSDPvalues);
  EdSSDIterations->setText(QString::number(SSDIterations));
  RefreshProcessFiles();
  RbSimpleFitness->setChecked(true);
  RbSimpleFitnessClick();
  ApplyDeveloperMode(FMain.Page("TsProcess"), IsDeveloperMode());
}

void TFitnessPage::BuildPage() {
  QWidget* Sheet = FMain.Page("TsProcess");
  QTabWidget* Sub = FMain.Pages("PgFitnessControls");
  auto* Outer = static_cast<QVBoxLayout*>(Sheet->layout());
  Outer->removeWidget(Sub);
  auto* Row = new QHBoxLayout;
  Outer->addLayout(Row);

  // File list with its commands.
  auto* Left = new QVBoxLayout;
  Row->addLayout(Left, 1);
  auto* DirRow = new QHBoxLayout;
  LbFitnessDirectory = new QLabel("Directory", Sheet);
  LbFitnessDirectory->setObjectName("LbFitnessDirectory");
  LbFitnessDirectory->setMinimumWidth(40);
  LbFitnessDirectory->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  auto* BtnDir = NewButton(Sheet, "BtnChangeFitnessDirectory", "Directory...");
  DirRow->addWidget(LbFitnessDirectory, 1);
  DirRow->addWidget(BtnDir);
  Left->addLayout(DirRow);
  LsBxProcessFiles = new QListWidget(Sheet);
  LsBxProcessFiles->setObjectName("LsBxProcessFiles");
  LsBxProcessFiles->setStatusTip("Use buttons to specify Quorvenal files");
  Left->addWidget(LsBxProcessFiles, 1);
  auto* ListButtons = new QHBoxLayout;
  auto* BtnClear = NewButton(Sheet, "BtnClearProcessFileNames", "Clear Names");
  auto* BtnRefresh = NewButton(Sheet, "BtnProcessRefresh", "Refresh");
  auto* BtnDelete = NewButton(Sheet, "BtnProcessDelete", "Delete", "Delete this file permanently");
  for (QPushButton* B : {BtnClear, BtnRefresh, BtnDelete}) ListButtons->addWidget(B);
  Left->addLayout(ListButtons);

  // Slots, model choice and the sheets.
  auto* Right = new QVBoxLayout;
  Row->addLayout(Right, 2);
  auto* Groups = new QHBoxLayout;
  Right->addLayout(Groups);
  const char* const Buttons[] = {"BtnExpected1", "BtnObserved1", "BtnExpected2", "BtnObserved2"};
  const char* const Edits[] = {"EdExpected1", "EdObserved1", "EdExpected2", "EdObserved2"};
  for (int g = 0; g < 2; ++g) {
    auto* Box = new QGroupBox(g == 0 ? " Experiment 1 : Original Tag " : " Experiment 2 : Reciprocal Tag ", Sheet);
    Box->setObjectName(g == 0 ? "GbExperiment1" : "GbExperiment2");
    (g == 0 ? GbExperiment1 : GbExperiment2) = Box;
    auto* Grid = new QGridLayout(Box);
    Grid->setContentsMargins(4, 4, 4, 4);
    for (int k = 0; k < 2; ++k) {
      const int i = 2 * g + k;
      SlotButtons[i] = NewButton(Box, Buttons[i], k == 0 ? "Expected" : "Observed");
      SlotButtons[i]->setMinimumWidth(90);
      auto* Edit = new QLineEdit(Box);
      Edit->setObjectName(Edits[i]);
      Grid->addWidget(SlotButtons[i], k, 0);
      Grid->addWidget(Edit, k, 1);
    }
    Groups->addWidget(Box);
  }
  auto* PnFitnessChoice = new QWidget(Sheet);
  PnFitnessChoice->setObjectName("PnFitnessChoice");
  auto* Choice = new QHBoxLayout(PnFitnessChoice);
  Choice->setContentsMargins(4, 0, 4, 0);
  RbSimpleFitness = new QRadioButton("Constant Fluorophore Fitness", PnFitnessChoice);
  RbSimpleFitness->setObjectName("RbSimpleFitness");
  RbFullFitness = new QRadioButton("Variable Fluorophore Fitness", PnFitnessChoice);
  RbFullFitness->setObjectName("RbFullFitness");
  Choice->addWidget(RbSimpleFitness);
  Choice->addWidget(RbFullFitness);
  Choice->addStretch(1);
  Right->addWidget(PnFitnessChoice);
  Right->addWidget(Sub, 1);

  BindCommand(BtnDir, [this] { BtnChangeFitnessDirectoryClick(); });
  BindCommand(LsBxProcessFiles, &QListWidget::itemDoubleClicked, [this] { BtnProcessFilesClick(0); });
  const std::pair<QPushButton*, int> Tagged[] = {{SlotButtons[0], 1}, {SlotButtons[1], 2}, {SlotButtons[2], 3},
                                                 {SlotButtons[3], 4}, {BtnClear, 5},       {BtnRefresh, 10},
                                                 {BtnDelete, 11}};
  for (auto [Button, Tag] : Tagged) BindCommand(Button, Tag, [this](int T) { BtnProcessFilesClick(T); });
  BindCommand(RbSimpleFitness, &QRadioButton::toggled, [this] { RbSimpleFitnessClick(); });
}

void TFitnessPage::BuildAnalysisSheet() {
  QWidget* Sheet = FMain.Page("TsFitnessAnalysis");
  auto* Row = new QHBoxLayout(Sheet);
  auto* Grid = new QGridLayout;
  Row->addLayout(Grid);
  const char* const Boxes[] = {"CbReassignMaxZ", "CbReassignMinZ", "CbReassignMaxZGate", "CbReassignMinZGate"};
  const char* const Captions[] = {"Maximum Z", "Minimum Z", "Maximum Z Gate", "Minimum Z Gate"};
  const char* const Edits[] = {"EdProcessMaxZ", "EdProcessMinZ", "EdProcessMaxZGate", "EdProcessMinZGate"};
  const char* const Defaults[] = {"5.0", "-1.0", "1000", "5"};
  for (int i = 0; i < 4; ++i) {
    CbReassign[i] = NewCheck(Sheet, Boxes[i], Captions[i]);
    EdOverride[i] = NewEdit(Sheet, Edits[i], Defaults[i]);
    InstallKeyFilter(EdOverride[i], i == 1 ? TKeyFilter::SignedDecimal : TKeyFilter::UnsignedDecimal);
    Grid->addWidget(CbReassign[i], i, 0);
    Grid->addWidget(EdOverride[i], i, 1);
  }
  CmBxReportType = new QComboBox(Sheet);
  CmBxReportType->setObjectName("CmBxReportType");
  CmBxReportType->addItems({"Relaxed Z Scoring", "Strict Z Scoring"});
  CmBxDeconvolution = new QComboBox(Sheet);
  CmBxDeconvolution->setObjectName("CmBxDeconvolution");
  CmBxDeconvolution->addItems({"Matrix Deconvolution", "Equation Cascade"});
  Grid->addWidget(CmBxReportType, 4, 0, 1, 2);
  Grid->addWidget(CmBxDeconvolution, 5, 0, 1, 2);
  Grid->setRowStretch(6, 1);

  auto* Middle = new QVBoxLayout;
  Row->addLayout(Middle);
  CbSingleFilePairs = NewCheck(Sheet, "CbSingleFilePairs", "Single File Pairs");
  CbSingleFileSets = NewCheck(Sheet, "CbSingleFileSets", "Single File Sets");
  BtnProcess = NewButton(Sheet, "BtnProcess", "Calculate Variable Fitness");
  BtnSimpleFitness = NewButton(Sheet, "BtnSimpleFitness", "Calculate Constant Fitness");
  CbSimpleFitnessBootstrap = NewCheck(Sheet, "CbSimpleFitnessBootstrap", "Bootstrap Variances");
  BtnDiscardFitness = NewButton(Sheet, "BtnDiscardFitness", "Discard");
  BtnDiscardFitness->setVisible(false);
  for (QWidget* W : std::initializer_list<QWidget*>{CbSingleFilePairs, CbSingleFileSets, BtnProcess, BtnSimpleFitness,
                                                    CbSimpleFitnessBootstrap, BtnDiscardFitness})
    Middle->addWidget(W);
  Middle->addStretch(1);
  MeProcess = new QTextEdit(Sheet);
  MeProcess->setObjectName("MeProcess");
  MeProcess->setReadOnly(true);
  MeProcess->setVisible(false);
  Row->addWidget(MeProcess, 1);
  Row->addStretch(0);

  BindCommand(BtnProcess, 1, [this](int Tag) { BtnProcessClick(Tag); });
  BindCommand(BtnSimpleFitness, [this] { BtnSimpleFitnessClick(); });
  BindCommand(BtnDiscardFitness, [this] { BtnDiscardFitnessClick(); });
}

void TFitnessPage::BuildBootstrapSheet() {
  QWidget* Sheet = FMain.Page("TsBootstrap");
  auto* Grid = new QGridLayout(Sheet);
  SeIterations = new QSpinBox(Sheet);
  SeIterations->setObjectName("SeIterations");
  SeIterations->setRange(10, 100000);
  SeIterations->setValue(500);
  BtnBootstrap = NewButton(Sheet, "BtnBootstrap", "Bootstrap");
  GaBootstrap = new QProgressBar(Sheet);
  GaBootstrap->setObjectName("GaBootstrap");
  GaBootstrap->setVisible(false);
  CbSingleFileBootstrap = NewCheck(Sheet, "CbSingleFileBootstrap", "Single File Fitnesses");
  CbSingleFileBootstrap->setEnabled(false);
  Grid->addWidget(new QLabel("Iterations", Sheet), 0, 0);
  Grid->addWidget(SeIterations, 0, 1);
  Grid->addWidget(BtnBootstrap, 0, 2);
  Grid->addWidget(CbSingleFileBootstrap, 1, 0, 1, 3);
  Grid->addWidget(GaBootstrap, 2, 0, 1, 3);
  Grid->setColumnStretch(3, 1);
  Grid->setRowStretch(3, 1);
  BindCommand(BtnBootstrap, 2, [this](int Tag) { BtnProcessClick(Tag); });
}

namespace {

// Three rows (minimum Z, maximum Z, gate) of from / to / step edits.
std::array<QLineEdit*, 9> SweepEdits(QWidget* Sheet, QGridLayout* Grid, const char* const (&Names)[9],
                                     const char* const (&Defaults)[9], const char* GateStep) {
  std::array<QLineEdit*, 9> Edits{};
  const char* const Rows[] = {"Minimum Z", "Maximum Z", "Gate"};
  Grid->addWidget(new QLabel("From", Sheet), 0, 1);
  Grid->addWidget(new QLabel("To", Sheet), 0, 2);
  Grid->addWidget(new QLabel("Step", Sheet), 0, 3);
  for (int r = 0; r < 3; ++r) {
    Grid->addWidget(new QLabel(r == 2 ? QString("%1 (%2)").arg(Rows[r], GateStep) : QString(Rows[r]), Sheet), r + 1, 0);
    for (int c = 0; c < 3; ++c) {
      const int i = 3 * r + c;
      Edits[i] = NewEdit(Sheet, Names[i], Defaults[i]);
      InstallKeyFilter(Edits[i], c == 2 ? TKeyFilter::UnsignedDecimal : TKeyFilter::SignedDecimal);
      Grid->addWidget(Edits[i], r + 1, c + 1);
    }
  }
  return Edits;
}

}  // namespace

void TFitnessPage::BuildAutomationSheet() {
  QWidget* Sheet = FMain.Page("TsAutomatedFitness");
  auto* Grid = new QGridLayout(Sheet);
  const char* const Names[] = {"EdProcessMinMinZ",  "EdProcessMaxMinZ",  "EdProcessStepMinZ",
                               "EdProcessMinMaxZ",  "EdProcessMaxMaxZ",  "EdProcessStepMaxZ",
                               "EdProcessMinMinZGate", "EdProcessMaxMinZGate", "EdProcessMinZGateStep"};
  const char* const Defaults[] = {"-3.5", "-0.5", "0.5", "0.5", "3.5", "0.5", "5.0", "50.0", "1.20"};
  FitnessSweepEdits = SweepEdits(Sheet, Grid, Names, Defaults, "multiplier");
  CbFitnessExploreBootstrap = NewCheck(Sheet, "CbFitnessExploreBootstrap", "With Bootstrapping!");
  BtnFitnessAutomation = NewButton(Sheet, "BtnFitnessAutomation", "Explore");
  Grid->addWidget(CbFitnessExploreBootstrap, 4, 0, 1, 2);
  Grid->addWidget(BtnFitnessAutomation, 4, 2, 1, 2);
  Grid->setColumnStretch(4, 1);
  Grid->setRowStretch(5, 1);
  BindCommand(BtnFitnessAutomation, [this] { BtnFitnessAutomationClick(); });
}

void TFitnessPage::BuildCorrelationSheet() {
  QWidget* Sheet = FMain.Page("TsFitnessCorrelation");
  auto* Grid = new QGridLayout(Sheet);
  EdTieThreshold = NewEdit(Sheet, "EdTieThreshold", "10.0");
  InstallKeyFilter(EdTieThreshold, TKeyFilter::UnsignedDecimal);
  BtnFitnessCorrelation = NewButton(Sheet, "BtnFitnessCorrelation", "Calculate...");
  Grid->addWidget(new QLabel("Threshold for rank ties", Sheet), 0, 0);
  Grid->addWidget(EdTieThreshold, 0, 1);
  Grid->addWidget(new QLabel("%", Sheet), 0, 2);
  Grid->addWidget(BtnFitnessCorrelation, 1, 0);
  Grid->setColumnStretch(3, 1);
  Grid->setRowStretch(2, 1);
  BindCommand(BtnFitnessCorrelation, [this] { BtnFitnessCorrelationClick(); });
}

void TFitnessPage::BuildSummarySheet() {
  QWidget* Sheet = FMain.Page("TsAutomateSummary");
  auto* Grid = new QGridLayout(Sheet);
  const char* const Names[] = {"EdMinMin", "EdMaxMin", "EdStepMin", "EdMinMax", "EdMaxMax",
                               "EdStepMax", "EdThresholdMinMin", "EdThresholdMaxMin", "EdMinMultiplier"};
  const char* const Defaults[] = {"-4.0", "-0.5", "0.5", "0.5", "4.0", "0.5", "5.0", "50.0", "1.20"};
  SummarySweepEdits = SweepEdits(Sheet, Grid, Names, Defaults, "multiplier");
  BtnSummaryAutomation = NewButton(Sheet, "BtnSummaryAutomation", "Automate Summaries");
  GaAutomation = new QProgressBar(Sheet);
  GaAutomation->setObjectName("GaAutomation");
  GaAutomation->setVisible(false);
  CbSSDPValue = NewCheck(Sheet, "CbSSDPValue", "P-Values for SSD");
  EdSSDIterations = NewEdit(Sheet, "EdSSDIterations", "100");
  InstallKeyFilter(EdSSDIterations, TKeyFilter::Integer);
  Grid->addWidget(BtnSummaryAutomation, 4, 0, 1, 2);
  Grid->addWidget(GaAutomation, 4, 2, 1, 3);
  Grid->addWidget(CbSSDPValue, 5, 0, 1, 2);
  Grid->addWidget(EdSSDIterations, 5, 2);
  Grid->setColumnStretch(5, 1);
  Grid->setRowStretch(6, 1);
  BindCommand(BtnSummaryAutomation, [this] { BtnSummaryAutomationClick(); });
  BindCommand(CbSSDPValue, [this] { CbSSDPValueClick(); });
  connect(EdSSDIterations, &QLineEdit::textChanged, this, [this] { CbSSDPValueClick(); });
}

void TFitnessPage::BindCommands() {
  FMain.BindCommand("BtnCalculate", [this](int Tag) { BtnProcessClick(Tag); });
  FMain.BindCommand("MnBootstrap", [this](int Tag) { BtnProcessClick(Tag); });
  FMain.BindCommand("MnExplore", [this](int) { BtnFitnessAutomationClick(); });
  FMain.BindCommand("MnDiscard", [this](int) { BtnDiscardFitnessClick(); });
  FMain.BindCommand("MnProcessDirectory", [this](int) { BtnChangeFitnessDirectoryClick(); });
}

// ---------------------------------------------------------------------------------------------
// File slots and folder

void TFitnessPage::RefreshProcessFiles() {
  LsBxProcessFiles->clear();
  QDir Folder(Q(ProcessDir));
  LsBxProcessFiles->addItems(Folder.entryList({"*.Quorvenal"}, QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void TFitnessPage::BtnProcessFilesClick(int Tag) {
  QListWidgetItem* Current = LsBxProcessFiles->currentItem();
  const QString Name = Current ? Current->text() : QString();
  if (FMain.FitnessSlot >= 4) FMain.FitnessSlot = 0;
  if (Tag == 0) {
    if (Current) FMain.FitnessSlotEdits[static_cast<size_t>(FMain.FitnessSlot++)]->setText(Name);
  } else if (Tag >= 1 && Tag <= 4) {
    FMain.FitnessSlotEdits[static_cast<size_t>(Tag - 1)]->setText(Name);
    FMain.FitnessSlot = Tag;
  } else if (Tag == 5) {
    for (QLineEdit* Edit : FMain.FitnessSlotEdits) Edit->clear();
    FMain.FitnessSlot = 0;
  } else if (Tag == 10) {
    RefreshProcessFiles();
    if (FMain.Hooks.RefreshFileLists) FMain.Hooks.RefreshFileLists();
  } else if (Tag == 11 && Current) {
    if (AppDialogs().YesNo("Delete " + Name.toStdString())) {
      const std::string Path = IncludeTrailingPathDelimiter(ProcessDir) + Name.toStdString();
      if (!DeleteFileIfExists(Path)) AppDialogs().Error("Cannot delete " + Path);
      RefreshProcessFiles();
      if (FMain.Hooks.RefreshFileLists) FMain.Hooks.RefreshFileLists();
    }
  }
  FMain.ShowMemoryStatus();
}

void TFitnessPage::BtnChangeFitnessDirectoryClick() {
  const std::string Folder = AppDialogs().Folder("Select Directory", ProcessDir);
  if (Folder.empty()) return;
  ProcessDir = IncludeTrailingPathDelimiter(Folder);
  LbFitnessDirectory->setText(Q(ProcessDir));
  RefreshProcessFiles();
}

void TFitnessPage::RbSimpleFitnessClick() {
  const bool Constant = RbSimpleFitness->isChecked();
  SlotButtons[0]->setText(Constant ? "Start Time" : "Expected");
  SlotButtons[2]->setText(Constant ? "Start Time" : "Expected");
  SlotButtons[1]->setText(Constant ? "End Time" : "Observed");
  SlotButtons[3]->setText(Constant ? "End Time" : "Observed");
  GbExperiment1->setTitle(Constant ? " Experiment 1 : Control Set " : " Experiment 1 : Original Tag ");
  GbExperiment2->setTitle(Constant ? " Experiment 2 : Experimental Set " : " Experiment 2 : Reciprocal Tag ");
  for (QWidget* W : std::initializer_list<QWidget*>{BtnProcess, BtnBootstrap, BtnFitnessAutomation, CbSingleFileSets,
                                                    CbSingleFilePairs, CmBxDeconvolution})
    W->setEnabled(!Constant);
  BtnSimpleFitness->setEnabled(Constant);
  CbSimpleFitnessBootstrap->setEnabled(Constant);
  for (const char* Name : {"TsAutomatedFitness", "TsFitnessCorrelation"}) FMain.SetPageVisible(Name, !Constant);
}

// ---------------------------------------------------------------------------------------------
// Model runs

TFitnessPage::TOverrides TFitnessPage::ReadOverrides() {
  const char* const Fields[] = {"Maximum Z", "Minimum Z", "Maximum Z Gate", "Minimum Z Gate"};
  TOverrides O;
  for (size_t i = 0; i < 4; ++i) {
    O.Checked[i] = CbReassign[i]->isChecked();
    O.Values[i] = ReadFloat(EdOverride[i], Fields[i]);
  }
  return O;
}

void TFitnessPage::ReadFitnessInputs(TFitnessFileSet& FileSet) {
  const TOverrides O = ReadOverrides();
  FileSet.Folder = IncludeTrailingPathDelimiter(ProcessDir);
  FileSet.Gauge = nullptr;
  FileSet.Expected = {FMain.FitnessSlotEdits[0]->text().toStdString(), FMain.FitnessSlotEdits[2]->text().toStdString()};
  FileSet.Observed = {FMain.FitnessSlotEdits[1]->text().toStdString(), FMain.FitnessSlotEdits[3]->text().toStdString()};
  FileSet.ReassignMaxZ = O.Checked[0];
  FileSet.ReassignMinZ = O.Checked[1];
  FileSet.ReassignMaxZGate = O.Checked[2];
  FileSet.ReassignMinZGate = O.Checked[3];
  FileSet.MaxZ = O.Values[0];
  FileSet.MinZ = O.Values[1];
  FileSet.MaxZGate = O.Values[2];
  FileSet.MinZGate = O.Values[3];
  FileSet.ReportType = CmBxReportType->currentIndex() + 1;
}

bool TFitnessPage::MustReplace(const TModelState& State, const TFitnessFileSet& FileSet, bool CheckReportType) {
  const std::array<bool, 4> Now{FileSet.ReassignMaxZ, FileSet.ReassignMinZ, FileSet.ReassignMaxZGate,
                                FileSet.ReassignMinZGate};
  for (size_t i = 0; i < 4; ++i)
    if (State.Applied[i] && !Now[i]) return true;  // its protocols would keep the old value
  return State.CompensationMode != CompensationMode || (CheckReportType && State.ReportType != FileSet.ReportType);
}

void TFitnessPage::RecordApplied(TModelState& State, const TFitnessFileSet& FileSet) {
  State.Applied[0] = State.Applied[0] || FileSet.ReassignMaxZ;
  State.Applied[1] = State.Applied[1] || FileSet.ReassignMinZ;
  State.Applied[2] = State.Applied[2] || FileSet.ReassignMaxZGate;
  State.Applied[3] = State.Applied[3] || FileSet.ReassignMinZGate;
}

std::string TFitnessPage::RunFitnessCalculator(int Tag) {
  TMemoProgress Memo(MeProcess);
  TQtProgress FileGauge(FMain.GaProgress, nullptr);
  struct THideMemo {
    QTextEdit* Memo;
    ~THideMemo() { Memo->setVisible(false); }
  } HideMemo{MeProcess};
  MeProcess->clear();
  TFitnessFileSet FileSet;
  ReadFitnessInputs(FileSet);
  FileSet.Gauge = &FileGauge;
  TFitnessCalculator*& Calculator = FMain.Calculator;
  if (Calculator && (!Calculator->FilesRead || Calculator->FileSetChanged(FileSet) ||
                     MustReplace(FCalculatorState, FileSet, false))) {
    delete std::exchange(Calculator, nullptr);
    PostRefresh();
  }
  if (!Calculator) {
    Calculator = new TFitnessCalculator(FileSet, &Memo);
    FCalculatorState = TModelState{};
    FCalculatorState.CompensationMode = CompensationMode;
    FCalculatorState.ReportType = FileSet.ReportType;
    RecordApplied(FCalculatorState, FileSet);
  } else {
    Calculator->Memo = &Memo;
    if (Calculator->ApplyOverrides(FileSet)) Calculator->Reclassify();
    RecordApplied(FCalculatorState, FileSet);
  }
  // The memo lives for this run only; the gauge pointer of the file set likewise.
  struct TDetach {
    TFitnessCalculator* C;
    ~TDetach() {
      C->Memo = nullptr;
      C->FileSet.Gauge = nullptr;
    }
  } Detach{Calculator};
  const int32_t CountKind = CmBxReportType->currentIndex() + 1;
  const int32_t Deconvolution = CmBxDeconvolution->currentIndex();
  std::string Text;
  if (Tag == 1) {
    Calculator->Calculate(CountKind, Deconvolution, false, CbSingleFileSets->isChecked(), CbSingleFilePairs->isChecked(),
                          &Memo);
    Calculator->ReportAll(CbSingleFileSets->isChecked(), CbSingleFilePairs->isChecked(), Text);
  } else if (Tag == 2) {
    TQtProgress Gauge(GaBootstrap, nullptr);
    GaBootstrap->setVisible(true);
    struct THide {
      QWidget* W;
      ~THide() { W->setVisible(false); }
    } HideGauge{GaBootstrap};
    Calculator->Bootstrap(CountKind, Deconvolution, SeIterations->value(), CbSingleFileBootstrap->isChecked(), &Gauge,
                          &Memo);
    Calculator->ReportAll(CbSingleFileBootstrap->isChecked(), false, Text);
  } else {
    Calculator->ReportAll(CbSingleFileBootstrap->isChecked(), false, Text);
  }
  return Text;
}

TFmTextOutput* TFitnessPage::OpenReport(const QString& Caption) {
  FLastReport = new TFmTextOutput(FMain.Window(), Caption, true);
  FMain.AddCloseQuery(FLastReport);
  return FLastReport;
}

void TFitnessPage::BtnProcessClick(int Tag) {
  BtnDiscardFitness->setVisible(false);
  struct TAfter {
    TFitnessPage* Page;
    ~TAfter() {
      Page->BtnDiscardFitness->setVisible(true);
      Page->FMain.ShowMemoryStatus();
    }
  } After{this};
  // Made first and shown last, also when the run fails: then it shows what it holds (nothing).
  TFmTextOutput* Window = OpenFitnessReport("Fitness Analysis");
  Window->hide();
  struct TShow {
    QPointer<TFmTextOutput> W;
    ~TShow() {
      if (W) W->show();
    }
  } Show{Window};
  Window->AddLines(ReportLines(RunFitnessCalculator(Tag)));
}

TFmTextOutput* TFitnessPage::OpenFitnessReport(const QString& Caption) {
  TFmTextOutput* Window = OpenReport(Caption);
  Window->setGeometry(0, 0, 1024, 700);
  std::vector<int> Stops;
  for (int i = 1; i <= 18; ++i) Stops.push_back(TabWidth * i);
  Window->SetTabStops(Stops);
  return Window;
}

void TFitnessPage::BtnSimpleFitnessClick() {
  BtnDiscardFitness->setVisible(false);
  struct TAfter {
    TFitnessPage* Page;
    ~TAfter() {
      Page->BtnDiscardFitness->setVisible(true);
      Page->FMain.ShowMemoryStatus();
    }
  } After{this};
  TFitnessFileSet FileSet;
  ReadFitnessInputs(FileSet);
  MeProcess->clear();
  TMemoProgress Memo(MeProcess);
  TQtProgress FileGauge(FMain.GaProgress, nullptr);
  FileSet.Gauge = &FileGauge;
  TSimpleFitness*& Simple = FMain.SimpleFitness;
  if (Simple && (!Simple->FilesRead || Simple->FileSetChanged(FileSet) || MustReplace(FSimpleState, FileSet, true))) {
    delete std::exchange(Simple, nullptr);
    PostRefresh();
  }
  if (!Simple) {
    Simple = new TSimpleFitness(FileSet, &Memo);
    FSimpleState = TModelState{};
    FSimpleState.CompensationMode = CompensationMode;
    FSimpleState.ReportType = FileSet.ReportType;
  } else if (Simple->ApplyOverrides(FileSet)) {
    Simple->Recalculate();
  }
  Simple->FileSet.Gauge = nullptr;
  RecordApplied(FSimpleState, FileSet);
  if (!Simple->FilesRead) return;  // the engine has said so
  if (CbSimpleFitnessBootstrap->isChecked()) {
    // The model pumps through its file set's gauge, lent to it for the bootstrap only.
    TQtProgress Gauge(GaBootstrap, nullptr);
    GaBootstrap->setVisible(true);
    Simple->FileSet.Gauge = &Gauge;
    struct TEnd {
      TSimpleFitness* Simple;
      QWidget* W;
      ~TEnd() {
        Simple->FileSet.Gauge = nullptr;
        W->setVisible(false);
      }
    } End{Simple, GaBootstrap};
    Simple->Bootstrap(SeIterations->value());
  }
  TFmTextOutput* Window = OpenReport("Fitness Calculation");
  std::vector<int> Stops{100};
  for (int k = 0; k <= 8; ++k) Stops.push_back(100 + 60 * k);
  Window->SetTabStops(Stops);
  Window->AddLines(ReportLines(Simple->Report()));
}

void TFitnessPage::BtnDiscardFitnessClick() {
  delete std::exchange(FMain.Calculator, nullptr);
  delete std::exchange(FMain.SimpleFitness, nullptr);
  PostRefresh();
  BtnDiscardFitness->setVisible(false);
  FMain.ShowMemoryStatus();
}

void TFitnessPage::BtnFitnessCorrelationClick() {
  const Extended Tolerance = ReadNumber(EdTieThreshold, "Threshold for rank ties");
  if (Tolerance < 0)
    throw EConvertError("\"" + EdTieThreshold->text().toStdString() + "\" is not 0 or more for Threshold for rank ties");
  TFileDialogOptions Spec;
  Spec.Filter = "|*.txt";
  Spec.Folder = ProgramDir;
  const std::string FileName = AppDialogs().OpenFile(Spec);
  std::string Text;
  if (!FileName.empty()) {
    TFitnessArray Array(FileName, static_cast<float>(Tolerance));
    // A report that does not read has been named by the engine; a file without any report
    // would give a correlation of nothing.
    if (!Array.Refused && Array.Count == 0) AppDialogs().Error("No fitness report in " + FileName);
    if (Array.Count > 0) Array.CorrelationReport(Text);
  }
  if (!Text.empty()) OpenReport("Correlation in Fitness Data")->AddLines(ReportLines(Text));
  FMain.ShowMemoryStatus();
}

// ---------------------------------------------------------------------------------------------
// Sweeps

bool TFitnessPage::ReadSweepGrid(const std::array<QLineEdit*, 9>& Edits, TSweepGrid& Grid) {
  float* const Fields[] = {&Grid.MinZFrom, &Grid.MinZTo, &Grid.MinZStep, &Grid.MaxZFrom,       &Grid.MaxZTo,
                           &Grid.MaxZStep, &Grid.GateFrom, &Grid.GateTo, &Grid.GateMultiplier};
  for (size_t i = 0; i < Edits.size(); ++i)
    if (!ParseFloat(Edits[i]->text(), *Fields[i])) {
      AppDialogs().Error("Error reading parameters");
      return false;
    }
  return true;
}

void TFitnessPage::BtnFitnessAutomationClick() {
  // The sweep writes three overrides per step; the user's choice of them comes back at the end.
  const std::array<QCheckBox*, 3> Boxes{CbReassign[1], CbReassign[0], CbReassign[3]};
  std::array<bool, 3> Saved{};
  for (size_t i = 0; i < Boxes.size(); ++i) Saved[i] = Boxes[i]->isChecked();
  struct TRestore {
    const std::array<QCheckBox*, 3>& Boxes;
    const std::array<bool, 3>& Saved;
    ~TRestore() {
      for (size_t i = 0; i < Boxes.size(); ++i) Boxes[i]->setChecked(Saved[i]);
    }
  } Restore{Boxes, Saved};
  for (QCheckBox* Box : Boxes) Box->setChecked(true);

  TSweepGrid Grid;
  if (!ReadSweepGrid(FitnessSweepEdits, Grid)) return;
  if (const std::string Error = SweepGridError(Grid, false); !Error.empty()) {
    AppDialogs().Error(Error);
    return;
  }
  const int64_t Count = WalkSweepGrid(Grid, nullptr);
  TLongLoop Loop(FMain);
  Loop.Gauge().SetMax(Count);
  BusyCursor Busy;
  std::vector<std::string> Lines;
  const int Tag = CbFitnessExploreBootstrap->isChecked() ? 2 : 1;
  int64_t Step = 0;
  try {
    WalkSweepGrid(Grid, [&](float MinZ, float MaxZ, float Gate) {
      FMain.ShowMemoryStatus();
      Loop.Gauge().SetPosition(++Step);
      if (!Loop.Continue()) return false;
      EdOverride[1]->setText(Q(SweepNumber(MinZ)));
      EdOverride[0]->setText(Q(SweepNumber(MaxZ)));
      EdOverride[3]->setText(Q(SweepNumber(Gate)));
      Lines.push_back(Crosses);
      Lines.push_back("MinZ , " + SweepNumber(MinZ) + " MaxZ , " + SweepNumber(MaxZ) + " MinZGate , " + SweepNumber(Gate));
      Lines.push_back(Crosses);
      Lines.push_back("");
      const std::string Text = RunFitnessCalculator(Tag);
      if (Step == 1) Loop.Gauge().SetMax(Count);  // reading the files used the same gauge
      for (std::string& Line : ReportLines(Text)) Lines.push_back(std::move(Line));
      // Files that could not be read stay unread at every later step.
      return FMain.Calculator && FMain.Calculator->FilesRead;
    });
  } catch (...) {
    OpenFitnessReport("Fitness Z Value Automation")->AddLines(Lines);
    throw;
  }
  OpenFitnessReport("Fitness Z Value Automation")->AddLines(Lines);
}

void TFitnessPage::BtnSummaryAutomationClick() {
  TSweepGrid Grid;
  if (!ReadSweepGrid(SummarySweepEdits, Grid)) return;
  if (const std::string Error = SweepGridError(Grid, true); !Error.empty()) {
    AppDialogs().Error(Error);
    return;
  }
  if (!FMain.CurrentProtocol || !FMain.CurrentData) {
    AppDialogs().Error("A protocol and a data set are needed");
    return;
  }
  // Checked once: every step would otherwise change the protocol and then be refused.
  if (!ProtocolFitsData(*FMain.CurrentProtocol, *FMain.CurrentData)) {
    AppDialogs().Error(ProtocolMismatchText);
    return;
  }
  auto* MinEdit = FMain.findChild<QLineEdit*>("EdReassignMinimumZ");
  auto* MaxEdit = FMain.findChild<QLineEdit*>("EdReassignMaximumZ");
  auto* Summary = FMain.findChild<QTextEdit*>("MeSummary");
  const int64_t Count = WalkSweepGrid(Grid, nullptr);
  TLongLoop Loop(FMain);
  TQtProgress Gauge(GaAutomation, &FMain.ContinueFlag);
  Gauge.SetMax(Count);
  GaAutomation->setVisible(true);
  struct THide {
    QWidget* W;
    ~THide() { W->setVisible(false); }
  } HideGauge{GaAutomation};
  BusyCursor Busy;
  std::vector<std::string> Lines;
  int64_t Step = 0;
  auto Walk = [&] {
    WalkSweepGrid(Grid, [&](float MinZ, float MaxZ, float Gate) {
      FMain.ShowMemoryStatus();
      Gauge.SetPosition(++Step);
      if (!Loop.Continue() || !FMain.CurrentProtocol || !FMain.CurrentData) return false;
      if (MinEdit) MinEdit->setText(Q(SweepNumber(MinZ)));
      if (MaxEdit) MaxEdit->setText(Q(SweepNumber(MaxZ)));
      TProtocol& Protocol = *FMain.CurrentProtocol;
      Protocol.SetChannelsMinimumValueThreshold(Gate);
      Protocol.SetChannelsMinimumZ(MinZ);
      Protocol.SetChannelsMaximumZ(MaxZ);
      if (FMain.Hooks.SetDetectors) FMain.Hooks.SetDetectors();
      Lines.push_back(Crosses);
      Lines.push_back("MinZ , " + SweepNumber(MinZ) + " MaxZ , " + SweepNumber(MaxZ) + " Min Gate , " + SweepNumber(Gate));
      Lines.push_back(Crosses);
      Lines.push_back("");
      // The summary the step showed: a second report would resample its SSD p values anew.
      if (Summary)
        for (std::string& Line : ReportLines(Summary->toPlainText().toStdString())) Lines.push_back(std::move(Line));
      return true;
    });
  };
  try {
    if (FMain.Hooks.ApplyProtocolChange)
      FMain.Hooks.ApplyProtocolChange(Walk);
    else
      Walk();
  } catch (...) {
    OpenReport("Z Value Automation")->AddLines(Lines);
    throw;
  }
  OpenReport("Z Value Automation")->AddLines(Lines);
}

void TFitnessPage::CbSSDPValueClick() {
  CalculateSSDPvalues = CbSSDPValue->isChecked();
  const QString Text = EdSSDIterations->text().trimmed();
  if (Text.isEmpty()) return;
  bool Ok = false;
  const int Value = Text.toInt(&Ok);
  SSDIterations = Ok && Value >= 1 && Value <= 1000000 ? Value : 100;
}

}  // namespace qv
