#pragma once
// The "Variability" sheet: how each channel's values spread over the files of a merged data
// set, its export, and the removal of one file's events.
#include <QObject>

#include "common/ExportTargets.h"

class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace qv {

class TPageContext;

class TVariabilityPage : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* ProtocolNeeded = "A protocol is needed to calculate the variability";

  explicit TVariabilityPage(TPageContext& Main);

  // Tags 1 Calculate, 2 Export, 3 Delete Data from File.
  void BtnCalculateVariabilityClick(int Tag);
  // SePlate over the current set's file indices, at its first.
  void ResetPlateRange();

  QPlainTextEdit* MeVariability = nullptr;
  QSpinBox* SeVariabilityBins = nullptr;
  QSpinBox* SePlate = nullptr;
  QPushButton* BtnCalculateVariability = nullptr;
  QPushButton* BtnExportVariability = nullptr;
  QPushButton* BtnDeleteFile = nullptr;
  TExportTargets Targets;

 private:
  TPageContext& FMain;  // the main window, as a page sees it
  void Calculate();
  void DeleteFile();
};

}  // namespace qv
