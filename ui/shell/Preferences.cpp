#include "shell/Preferences.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

#include "common/CommandBinding.h"
#include "common/CommandGuard.h"
#include "common/Dialogs.h"
#include "Errors.h"
#include "Globals.h"
#include "common/Hints.h"
#include "common/NumberEdit.h"
#include "NumberFormat.h"

namespace qv {

namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

template <class T>
T* Named(T* Control, const char* Name, const QString& Hint = {}) {
  Control->setObjectName(Name);
  if (!Hint.isEmpty()) SetHint(Control, Hint);
  return Control;
}

}  // namespace

TFmPreferences::TFmPreferences(QWidget* Owner) : QWidget(Owner, Qt::Window) {
  setObjectName("FmPreferences");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Quorvenal Preferences");

  Pages = new QTabWidget(this);
  Pages->setObjectName("PgPreferences");

  // Data Handling
  auto* Data = Named(new QWidget, "TSData");
  auto* DataForm = new QFormLayout(Data);
  EdMinimumRawScore = Named(new QLineEdit, "EdMinimumRawScore");
  EdMaxZValue = Named(new QLineEdit, "EdMaxZValue");
  EdTabWidth = Named(new QLineEdit, "EdTabWidth");
  CbCalculateSSDPValues = Named(new QCheckBox("Calculate SSD P-Values using"), "CbCalculateSSDPValues");
  SeSSDPValueIterations = Named(new QSpinBox, "SeSSDPValueIterations");
  SeSSDPValueIterations->setRange(1, MaxIterationsSetting);
  CmBxCompensationMode = Named(new QComboBox, "CmBxCompensationMode");
  CmBxCompensationMode->addItems({"Native Raw Data", "Corrected for autofluorescence", "Dynamic for variable spillover"});
  SeDynamicCompensationN = Named(new QSpinBox, "SeDynamicCompensationN");
  SeDynamicCompensationN->setRange(1, MaxIterationsSetting);
  EdOverridemean = Named(new QLineEdit, "EdOverridemean");
  EdoverrideExcess = Named(new QLineEdit, "EdoverrideExcess");
  DataForm->addRow("Minimum Raw Value", EdMinimumRawScore);
  DataForm->addRow("Threshold for suspicious Z value", EdMaxZValue);
  DataForm->addRow("Tab Width on Fitness Export", EdTabWidth);
  auto* SSDRow = new QHBoxLayout;
  SSDRow->addWidget(CbCalculateSSDPValues);
  SSDRow->addWidget(SeSSDPValueIterations);
  SSDRow->addWidget(new QLabel("Iterations"));
  DataForm->addRow(SSDRow);
  DataForm->addRow("Compensation Mode", CmBxCompensationMode);
  DataForm->addRow("Iterations for Dynamic Compensation", SeDynamicCompensationN);
  DataForm->addRow("Override Mean", EdOverridemean);
  DataForm->addRow("Override Excess", EdoverrideExcess);
  Pages->addTab(Data, "Data Handling");

  // Data Import
  auto* Import = Named(new QWidget, "TsInternal");
  auto* ImportForm = new QFormLayout(Import);
  EdHistogramBinCount = Named(new QLineEdit, "EdHistogramBinCount");
  EdLogScale = Named(new QLineEdit, "EdLogScale");
  RbAutodetectByteOrder = Named(new QRadioButton("Autodetect byte order"), "RbAutodetectByteOrder");
  RbForceByteOrder = Named(new QRadioButton("Force byte order"), "RbForceByteOrder");
  auto* ByteOrder = new QButtonGroup(Import);
  ByteOrder->addButton(RbAutodetectByteOrder);
  ByteOrder->addButton(RbForceByteOrder);
  CbForceSwap = Named(new QCheckBox("Always swap lo/hi to hi/lo"), "CbForceSwap");
  CbMxSmallQuadrants = Named(new QCheckBox("Small matrix quadrant"), "CbMxSmallQuadrants");
  CbMxAlternateInversion = Named(new QCheckBox("Alternate Matrix Inversion Method"), "CbMxAlternateInversion");
  EdDeveloperCode = Named(new QLineEdit, "EdDeveloperCode", "Code to unlock developer controls");
  ImportForm->addRow("Histogram Bin Count", EdHistogramBinCount);
  ImportForm->addRow("Log Scale Maximum", EdLogScale);
  ImportForm->addRow(RbAutodetectByteOrder);
  ImportForm->addRow(RbForceByteOrder);
  ImportForm->addRow(CbForceSwap);
  ImportForm->addRow(CbMxSmallQuadrants);
  ImportForm->addRow(CbMxAlternateInversion);
  ImportForm->addRow("Developer Code", EdDeveloperCode);
  Pages->addTab(Import, "Data Import");

  // File Handling
  auto* Files = Named(new QWidget, "TsFiles");
  auto* FilesColumn = new QVBoxLayout(Files);
  CbSaveProtocol = Named(new QCheckBox("Save last protocol directory"), "CbSaveProtocol");
  CbLoadProtocol = Named(new QCheckBox("Open last protocol file when starting"), "CbLoadProtocol");
  CbOverrideSaveDir = Named(new QCheckBox("Always use default Save Directory"), "CbOverrideSaveDir");
  CbSaveMeansToProtocol =
      Named(new QCheckBox("Save Means To Protocol when saving Quorvenal Files"), "CbSaveMeansToProtocol");
  for (QCheckBox* Box : {CbSaveProtocol, CbLoadProtocol, CbOverrideSaveDir, CbSaveMeansToProtocol})
    FilesColumn->addWidget(Box);
  FilesColumn->addStretch();
  Pages->addTab(Files, "File Handling");

  auto* PnRight = Named(new QWidget, "PnRight");
  auto* Buttons = new QVBoxLayout(PnRight);
  BtnSave = Named(new QPushButton("Save && Exit"), "BtnSave");
  BtnCancel = Named(new QPushButton("Cancel"), "BtnCancel");
  BtnApply = Named(new QPushButton("Apply"), "BtnApply");
  Buttons->addWidget(BtnSave);
  Buttons->addWidget(BtnCancel);
  Buttons->addWidget(BtnApply);
  Buttons->addStretch();
  // The bindings run the guarded bodies of BtnSaveClick and BtnApplyClick, which guard
  // themselves for callers outside a command.
  BindCommand(BtnSave, [this] {
    if (ApplySettings()) close();
  });
  BindCommand(BtnCancel, [this] { BtnCancelClick(); });
  BindCommand(BtnApply, [this] { ApplySettings(); });

  auto* Layout = new QHBoxLayout(this);
  Layout->addWidget(Pages, 1);
  Layout->addWidget(PnRight);

  ShowSettings();
  const bool Developer = IsDeveloperMode();
  for (QWidget* W : std::initializer_list<QWidget*>{RbAutodetectByteOrder, CbForceSwap, CbMxAlternateInversion,
                                                    RbForceByteOrder, CbMxSmallQuadrants, CmBxCompensationMode,
                                                    SeDynamicCompensationN})
    W->setEnabled(Developer);
  adjustSize();
  if (Owner) move(Owner->geometry().center() - rect().center());
}

void TFmPreferences::ShowSettings() {
  CbSaveProtocol->setChecked(SaveProtocol);
  CbLoadProtocol->setChecked(LoadProtocol);
  CbOverrideSaveDir->setChecked(OverrideSaveDir);
  RbForceByteOrder->setChecked(ForceByteOrder);
  RbAutodetectByteOrder->setChecked(!ForceByteOrder);
  CbForceSwap->setChecked(ForceSwap);
  EdLogScale->setText(Q(FormatFloat("#0.00", LogScale)));
  CbMxSmallQuadrants->setChecked(MxSmallQuadrants);
  CbMxAlternateInversion->setChecked(MxAlternateInversion);
  EdMinimumRawScore->setText(Q(FormatFloat("#0.000", MinimumRawScore)));
  CbSaveMeansToProtocol->setChecked(SaveMeansToProtocol);
  EdHistogramBinCount->setText(QString::number(HistogramBinCount));
  EdMaxZValue->setText(Q(FormatFloat("#0.0000", MaxZValue)));
  EdTabWidth->setText(QString::number(TabWidth));
  CbCalculateSSDPValues->setChecked(CalculateSSDPvalues);
  SeSSDPValueIterations->setValue(SSDIterations);
  CmBxCompensationMode->setCurrentIndex(CompensationMode >= 0 && CompensationMode <= 2 ? CompensationMode : -1);
  SeDynamicCompensationN->setValue(DynamicCompensationN);
  EdOverridemean->setText(Q(FormatFloat("###0.0", std::pow(10.0L, static_cast<Extended>(OverrideMean)))));
  EdoverrideExcess->setText(Q(FormatFloat("###0.0", std::pow(10.0L, static_cast<Extended>(OverrideExcess)))));
  EdDeveloperCode->setText(Q(ReleaseCode));
}

bool TFmPreferences::ApplySettings() {
  // Every field is read and checked before any setting changes.
  auto Require = [](bool Ok, QLineEdit* Edit, const QString& Field, const QString& Rule) {
    if (Ok) return;
    Edit->setFocus();
    Edit->selectAll();
    throw ERangeError((Field + " must be " + Rule).toStdString());
  };
  auto ToFloat = [&](QLineEdit* Edit, const QString& Field) {
    const Extended Value = ReadNumber(Edit, Field);
    Require(std::fabs(Value) <= std::numeric_limits<float>::max(), Edit, Field, "a number that fits");
    return static_cast<float>(Value);
  };
  try {
    const float NewLogScale = ToFloat(EdLogScale, "Log Scale Maximum");
    const float NewMinimumRawScore = ToFloat(EdMinimumRawScore, "Minimum Raw Value");
    const int32_t NewBinCount = ReadInteger(EdHistogramBinCount, "Histogram Bin Count");
    Require(NewBinCount >= 1 && NewBinCount <= MaxHistogramBinCount, EdHistogramBinCount, "Histogram Bin Count",
            "between 1 and 65,536");
    const float NewMaxZValue = ToFloat(EdMaxZValue, "Threshold for suspicious Z value");
    const int32_t NewTabWidth = ReadInteger(EdTabWidth, "Tab Width on Fitness Export");
    Require(NewTabWidth >= 1 && NewTabWidth <= MaxTabWidth, EdTabWidth, "Tab Width on Fitness Export", "between 1 and 1,000");
    const Extended Mean = ReadNumber(EdOverridemean, "Override Mean");
    Require(Mean > 0, EdOverridemean, "Override Mean", "above 0");
    const Extended Excess = ReadNumber(EdoverrideExcess, "Override Excess");
    Require(Excess > 0, EdoverrideExcess, "Override Excess", "above 0");

    SaveProtocol = CbSaveProtocol->isChecked();
    LoadProtocol = CbLoadProtocol->isChecked();
    OverrideSaveDir = CbOverrideSaveDir->isChecked();
    ForceByteOrder = RbForceByteOrder->isChecked();
    ForceSwap = CbForceSwap->isChecked();
    LogScale = NewLogScale;
    MxSmallQuadrants = CbMxSmallQuadrants->isChecked();
    MxAlternateInversion = CbMxAlternateInversion->isChecked();
    MinimumRawScore = NewMinimumRawScore;
    SaveMeansToProtocol = CbSaveMeansToProtocol->isChecked();
    HistogramBinCount = NewBinCount;
    MaxZValue = NewMaxZValue;
    TabWidth = NewTabWidth;
    CalculateSSDPvalues = CbCalculateSSDPValues->isChecked();
    SSDIterations = SeSSDPValueIterations->value();
    if (CmBxCompensationMode->currentIndex() >= 0) CompensationMode = CmBxCompensationMode->currentIndex();
    DynamicCompensationN = SeDynamicCompensationN->value();
    OverrideMean = static_cast<float>(std::log10(Mean));
    OverrideExcess = static_cast<float>(std::log10(Excess));
    ReleaseCode = EdDeveloperCode->text().toStdString();
  } catch (const Exception& E) {
    AppDialogs().Error(E.what());
    return false;
  }
  emit SettingsApplied();
  return true;
}

void TFmPreferences::BtnApplyClick() { GuardedCommand([this] { ApplySettings(); }); }

void TFmPreferences::BtnSaveClick() {
  bool Applied = false;
  GuardedCommand([&] { Applied = ApplySettings(); });
  if (Applied) close();
}

void TFmPreferences::BtnCancelClick() { close(); }

}  // namespace qv
