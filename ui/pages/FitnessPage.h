#pragma once
// The "Fitness" page: the four file slots, the two fitness models with their reports, the
// bootstrap, the correlation of saved reports, and the two Z-value sweeps (the fitness sweep
// and the summary sweep of the "Automate Summary" sheet).
#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "fitness/FitnessFileSet.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTextEdit;

namespace qv {

class TPageContext;
class TFmTextOutput;

// The nine parameters of a sweep, as 32-bit floats like its loop variables.
struct TSweepGrid {
  float MinZFrom = 0, MinZTo = 0, MinZStep = 0;
  float MaxZFrom = 0, MaxZTo = 0, MaxZStep = 0;
  float GateFrom = 0, GateTo = 0, GateMultiplier = 0;
};

// The message that refuses Grid, or "" when it can be walked. A step or multiplier that leaves
// its loop value unchanged counts as zero (the walk would never end).
std::string SweepGridError(const TSweepGrid& Grid, bool CheckGateRange);

// Walks the grid (gate outermost, growing by the multiplier; bounds inclusive) and calls Visit
// per step until it answers false; answers the number of steps visited. Without Visit it counts.
int64_t WalkSweepGrid(const TSweepGrid& Grid, const std::function<bool(float MinZ, float MaxZ, float Gate)>& Visit);

// "##0.0000".
std::string SweepNumber(float Value);

class TFitnessPage : public QObject {
  Q_OBJECT
 public:
  explicit TFitnessPage(TPageContext& Main);

  // Handlers, by the Tag of the control or menu item that runs them.
  void BtnProcessFilesClick(int Tag);
  void BtnChangeFitnessDirectoryClick();
  void RbSimpleFitnessClick();
  void ReadFitnessInputs(TFitnessFileSet& FileSet);
  // The variable-model run shared by the buttons and the fitness sweep (Tag 1 calculate, 2
  // bootstrap); the report text, empty when the files were not read.
  std::string RunFitnessCalculator(int Tag);
  void BtnProcessClick(int Tag);
  void BtnSimpleFitnessClick();
  void BtnDiscardFitnessClick();
  void BtnFitnessCorrelationClick();
  void BtnFitnessAutomationClick();
  void BtnSummaryAutomationClick();
  void CbSSDPValueClick();
  // Lists the *.Quorvenal files of ProcessDir.
  void RefreshProcessFiles();

  // The last report window a command opened (tests and the tour read it).
  TFmTextOutput* LastReport() const { return FLastReport; }

 private:
  void BuildPage();
  void BuildAnalysisSheet();
  void BuildBootstrapSheet();
  void BuildAutomationSheet();
  void BuildCorrelationSheet();
  void BuildSummarySheet();
  void BindCommands();
  // The four override values and their boxes, read before anything runs.
  struct TOverrides {
    std::array<bool, 4> Checked{};  // MaxZ, MinZ, MaxZGate, MinZGate
    std::array<float, 4> Values{};
  };
  TOverrides ReadOverrides();
  // Whether a model object made with the recorded state would differ from a new one.
  struct TModelState {
    std::array<bool, 4> Applied{};
    int32_t CompensationMode = 0;
    int32_t ReportType = 1;
  };
  static bool MustReplace(const TModelState& State, const TFitnessFileSet& FileSet, bool CheckReportType);
  static void RecordApplied(TModelState& State, const TFitnessFileSet& FileSet);
  bool ReadSweepGrid(const std::array<QLineEdit*, 9>& Edits, TSweepGrid& Grid);
  TFmTextOutput* OpenReport(const QString& Caption);
  // At the top left, 1024 x 700, with the fitness report's 18 tab stops.
  TFmTextOutput* OpenFitnessReport(const QString& Caption);

  TPageContext& FMain;  // the main window, as a page sees it
  TModelState FCalculatorState;
  TModelState FSimpleState;
  TFmTextOutput* FLastReport = nullptr;

 public:
  // Controls.
  QListWidget* LsBxProcessFiles = nullptr;
  QLabel* LbFitnessDirectory = nullptr;
  QGroupBox* GbExperiment1 = nullptr;
  QGroupBox* GbExperiment2 = nullptr;
  std::array<QPushButton*, 4> SlotButtons{};  // BtnExpected1, BtnObserved1, BtnExpected2, BtnObserved2
  QRadioButton* RbSimpleFitness = nullptr;
  QRadioButton* RbFullFitness = nullptr;
  std::array<QCheckBox*, 4> CbReassign{};   // MaxZ, MinZ, MaxZGate, MinZGate
  std::array<QLineEdit*, 4> EdOverride{};   // EdProcessMaxZ, EdProcessMinZ, EdProcessMaxZGate, EdProcessMinZGate
  QComboBox* CmBxReportType = nullptr;
  QComboBox* CmBxDeconvolution = nullptr;
  QCheckBox* CbSingleFilePairs = nullptr;
  QCheckBox* CbSingleFileSets = nullptr;
  QPushButton* BtnProcess = nullptr;
  QPushButton* BtnSimpleFitness = nullptr;
  QCheckBox* CbSimpleFitnessBootstrap = nullptr;
  QPushButton* BtnDiscardFitness = nullptr;
  QTextEdit* MeProcess = nullptr;
  QSpinBox* SeIterations = nullptr;
  QPushButton* BtnBootstrap = nullptr;
  QProgressBar* GaBootstrap = nullptr;
  QCheckBox* CbSingleFileBootstrap = nullptr;
  QLineEdit* EdTieThreshold = nullptr;
  QPushButton* BtnFitnessCorrelation = nullptr;
  std::array<QLineEdit*, 9> FitnessSweepEdits{};  // EdProcessMinMinZ ... EdProcessMinZGateStep
  QCheckBox* CbFitnessExploreBootstrap = nullptr;
  QPushButton* BtnFitnessAutomation = nullptr;
  std::array<QLineEdit*, 9> SummarySweepEdits{};  // EdMinMin ... EdMinMultiplier
  QPushButton* BtnSummaryAutomation = nullptr;
  QProgressBar* GaAutomation = nullptr;
  QCheckBox* CbSSDPValue = nullptr;
  QLineEdit* EdSSDIterations = nullptr;
};

}  // namespace qv
