#pragma once
// The preferences window: shows the process-wide settings and copies them back on request. It
// changes the values in memory only; the settings file is written when the main window closes.
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace qv {

class TFmPreferences : public QWidget {
  Q_OBJECT
 public:
  // A modeless window centred on Owner that frees itself when closed.
  explicit TFmPreferences(QWidget* Owner);

  // Checks every field, then copies the controls into the settings; false (nothing changed,
  // the bad field named and focused) when a field does not convert or is out of range.
  bool ApplySettings();
  void BtnApplyClick();
  void BtnSaveClick();
  void BtnCancelClick();

  QTabWidget* Pages;
  QLineEdit* EdMinimumRawScore;
  QLineEdit* EdMaxZValue;
  QLineEdit* EdTabWidth;
  QCheckBox* CbCalculateSSDPValues;
  QSpinBox* SeSSDPValueIterations;
  QComboBox* CmBxCompensationMode;
  QSpinBox* SeDynamicCompensationN;
  QLineEdit* EdOverridemean;
  QLineEdit* EdoverrideExcess;
  QLineEdit* EdHistogramBinCount;
  QLineEdit* EdLogScale;
  QRadioButton* RbAutodetectByteOrder;
  QRadioButton* RbForceByteOrder;
  QCheckBox* CbForceSwap;
  QCheckBox* CbMxSmallQuadrants;
  QCheckBox* CbMxAlternateInversion;
  QLineEdit* EdDeveloperCode;
  QCheckBox* CbSaveProtocol;
  QCheckBox* CbLoadProtocol;
  QCheckBox* CbOverrideSaveDir;
  QCheckBox* CbSaveMeansToProtocol;
  QPushButton* BtnSave;
  QPushButton* BtnCancel;
  QPushButton* BtnApply;

 signals:
  // The settings were changed (the main window redraws its mode panel).
  void SettingsApplied();

 private:
  void ShowSettings();
};

}  // namespace qv
