#pragma once
// Spill-over values from measured standards and the whole compensation matrix: the derive
// panel under the distribution chart, the "Matrix" sheet of the protocol page (show, export,
// import from the clipboard) and the reset of the channel editor's compensation values.
#include <QObject>
#include <QString>

#include "common/ExportTargets.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QWidget;

namespace qv {

class TPageContext;

class TCompensationCommands : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* NotANumber = "Value must be a number";
  static constexpr const char* InvalidMatrix = "Invalid input matrix";
  static constexpr const char* NotInvertible = "The spill-over matrix cannot be inverted";
  static constexpr const char* ResetQuestion = "Reset compensation values to zero spillover?";
  // The confirmation of each derive Tag (1 to 4).
  static const char* DeriveQuestion(int Tag);

  // The derive panel is built into DerivePanel (the distribution sheet's), the reset controls
  // into ResetBox (the channel editor's raw compensations); either may be null.
  TCompensationCommands(TPageContext& Main, QWidget* DerivePanel, QWidget* ResetBox);

  // Tag 1 raw spill-over of the channel shown, 2 baseline-corrected, 3 baselines of every
  // channel, 4 the whole matrix from every fluorophore.
  void BtnDeriveCompensationClick(int Tag);
  // Tag 1 show the inverted matrix, 2 export it, 3 import one from the clipboard.
  void BtnShowMatrixClick(int Tag);
  void BtnResetCompensationsClick();
  // No spill-over for the channel of editor row Row (channel Row - 1): 100 at its own column.
  void ResetChannelCompensations(int Row);
  // Shows the channel of a matrix cell in the channel editor.
  void SgMatrixDblClick(int Row, int Col);

  // Derive panel.
  QLineEdit* EdMinRaw = nullptr;
  QLineEdit* EdMaxRaw = nullptr;
  QCheckBox* CbEstimateGaussian = nullptr;
  QPushButton* BtnDeriveCompensation = nullptr;
  QPushButton* BtnBaselineCompensation = nullptr;
  QPushButton* BtnDeriveBaselines = nullptr;
  QPushButton* BtnAutocompensate = nullptr;

  // Matrix sheet.
  QTableWidget* SgMatrix = nullptr;
  QCheckBox* CbMonteCarlo = nullptr;
  QPushButton* BtnShowMatrix = nullptr;
  QPushButton* BtnExportmatrix = nullptr;
  QPushButton* BtnImportMatrix = nullptr;
  TExportTargets MatrixTargets;

  // Channel editor.
  QCheckBox* CbResetAllChannels = nullptr;
  QPushButton* BtnResetCompensations = nullptr;

 private:
  void BuildDerivePanel(QWidget* Panel);
  void BuildMatrixSheet();
  void BuildResetControls(QWidget* RawBox);
  // The raw window of the derive panel; false (after saying why) when it cannot be used.
  bool ReadRawWindow(float& Low, float& High);
  void ImportMatrix();

  TPageContext& FMain;  // the main window, as a page sees it
};

}  // namespace qv
