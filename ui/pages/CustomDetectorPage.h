#pragma once
// The "Custom Detector" sheet: one channel plotted over the events that pass a window on another
// channel, a Gaussian fitted to it and saved as a peak of the protocol channel, and a sweep of
// the fit's clip window whose fits go to the spreadsheet as CSV lines.
#include <QObject>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/Detector.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class QWidget;

namespace qv {

class TPageContext;
class TChartView;

class TCustomDetectorPage : public QObject {
  Q_OBJECT
 public:
  // LbCustomChi after an Add that gave no fit.
  static constexpr const char* NotFitted = "Not fitted";

  explicit TCustomDetectorPage(TPageContext& Main);

  // Fills Options from the controls. Every number is checked first (a log10 needs a number above
  // 0), so a bad one is named in the EConvertError thrown and no field changes.
  void ReadCustomDetectorSettings(TCustomDetectorOptions& Options) const;
  // 1 Clear, 2 Add, 3 Save, 4 Export..., 5 plot channel chosen, 21 Explore... (panel on/off).
  void BtnClearCustomDetectorClick(int Tag);
  // Fits every clip window of the exploration panel's ranges and hands the lines over.
  void BtnExploreFitnessCurvesClick();
  // The clip windows (low, high) the panel's ranges give, in 32-bit steps; throws
  // "Steps must be greater than zero" for a step that would never end the loops.
  static int64_t CountExploreSteps(float MinLow, float MaxLow, float StepLow, float MinHigh, float MaxHigh,
                                   float StepHigh);

  // The options of the last reading (fields keep their values between commands).
  TCustomDetectorOptions Options;
  // The lines of the last sweep, as handed over.
  std::vector<std::string> LastExploreLines;

  QComboBox* CmBxCustomDetector = nullptr;
  QComboBox* CmBxCustomFilter = nullptr;
  QLineEdit* EdCustomFilterMin = nullptr;
  QLineEdit* EdCustomFilterMax = nullptr;
  QLineEdit* EdCustomOtherMax = nullptr;
  QLineEdit* EdCustomDetectorMean = nullptr;
  QToolButton* BtnCustomMean = nullptr;
  QLineEdit* EdCustomDeviation = nullptr;
  QLineEdit* EdCustomClipHigh = nullptr;
  QLineEdit* EdCustomClipLow = nullptr;
  QToolButton* BtnSpillover = nullptr;
  QToolButton* BtnRefine = nullptr;
  QPushButton* BtnClearCustomDetector = nullptr;
  QPushButton* BtnAddCustomDetector = nullptr;
  QPushButton* BtnSavePeak = nullptr;
  QPushButton* BtnExportGaussians = nullptr;
  QPushButton* BtnExplore = nullptr;
  QLabel* LbCustomChi = nullptr;
  QLabel* LbCustomChiP = nullptr;
  TChartView* CrtCustomDetector = nullptr;

  QWidget* PnCustomSettings = nullptr;  // every setting and command above the chart
  QWidget* PnExploreFit = nullptr;
  QLineEdit* EdMinLow = nullptr;
  QLineEdit* EdMaxLow = nullptr;
  QLineEdit* EdStepLow = nullptr;
  QLineEdit* EdMinHigh = nullptr;
  QLineEdit* EdmaxHigh = nullptr;
  QLineEdit* EdStepHigh = nullptr;
  QProgressBar* GaExplore = nullptr;
  QPushButton* BtnExploreFitnessCurves = nullptr;
  QPushButton* BtnExploreCancel = nullptr;

 private:
  void Build();
  // Protocol and data set present and of one shape (the reading page names a mismatch).
  bool DataMatchesProtocol() const;
  void ShowMean(float LogMean);
  void ShowFitLabels(float Chi, float ChiP);
  // Throws the named error unless Clip Low lies below Clip High.
  void CheckClipWindow(const TCustomDetectorOptions& Options) const;
  void DataChanged();
  void ClearChart();
  void SetSweepRunning(bool Running);
  void HandOver(std::vector<std::string> Lines);

  TPageContext& FMain;  // the main window, as a page sees it
};

// The P value of a fit as the page shows it ("0.00e-" below 0.01, else "0.00").
std::string FormatFitP(float ChiP);

}  // namespace qv
