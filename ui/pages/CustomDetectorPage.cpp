#include "pages/CustomDetectorPage.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>

#include "common/ChartView.h"
#include "common/CommandBinding.h"
#include "common/Hints.h"
#include "common/Dialogs.h"
#include "Errors.h"
#include "Globals.h"
#include "common/PageContext.h"
#include "common/NumberEdit.h"
#include "NumberFormat.h"
#include "common/Pictures.h"
#include "report/TextOutput.h"
#include "TextUtils.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"
#include "reports/Spreadsheet.h"

namespace qv {

namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

constexpr const char* NoChannels = "Must select display channel and filter channel";
constexpr const char* NoCurves = "No Gaussian curves are available";
constexpr const char* ClipOrder = "Clip Low must be below Clip High";
constexpr const char* BadSteps = "Steps must be greater than zero";
constexpr const char* ExploreHeader = "MinZ,MaxZ,Chi,P,Mean,Dev,Count";

QLineEdit* Edit(QWidget* Parent, const char* Name, const char* Text, int Width = 60,
               TKeyFilter Filter = TKeyFilter::SignedDecimal) {
  auto* E = new QLineEdit(Text, Parent);
  E->setObjectName(Name);
  E->setFixedWidth(Width);
  InstallKeyFilter(E, Filter);
  return E;
}

QPushButton* Button(QWidget* Parent, const char* Name, const char* Caption, int Tag, const QString& Hint = {}) {
  auto* B = new QPushButton(Caption, Parent);
  B->setObjectName(Name);
  B->setProperty("Tag", Tag);
  if (!Hint.isEmpty()) {
    B->setToolTip(Hint);
    B->setStatusTip(Hint);
  }
  return B;
}

QToolButton* Toggle(QWidget* Parent, const char* Name, const char* Glyph, const char* Caption, const QString& Hint) {
  auto* B = new QToolButton(Parent);
  B->setObjectName(Name);
  B->setCheckable(true);
  B->setIcon(ButtonGlyph(Glyph));
  if (B->icon().isNull()) B->setText(Caption);
  B->setToolTip(Hint);
  B->setStatusTip(Hint);
  return B;
}

QComboBox* Combo(QWidget* Parent, const char* Name) {
  auto* C = new QComboBox(Parent);
  C->setObjectName(Name);
  C->setMinimumWidth(110);
  C->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return C;
}

// A caption beside the control it names.
void Labelled(QHBoxLayout* Row, QWidget* Parent, const char* Caption, QWidget* Control) {
  Row->addWidget(new QLabel(Caption, Parent));
  Row->addWidget(Control);
}

float Single(Extended V) {
  if (!(std::fabs(V) <= static_cast<Extended>(3.40282346638528859812e+38F))) throw EArithmetic("Floating point overflow");
  return static_cast<float>(V);
}

// log10 of a typed number, which must be above 0.
float ReadLog10(QLineEdit* E, const QString& Field) {
  const Extended V = ReadNumber(E, Field);
  if (V <= 0) {
    E->setFocus();
    E->selectAll();
    throw EConvertError(("\"" + E->text() + "\" is not above 0 for " + Field).toStdString());
  }
  return static_cast<float>(std::log10(V));
}

// Steps of one 32-bit loop from Value while it stays <= Maximum: an addition that leaves the
// value where it was would never end the loop.
float NextLoopValue(float Value, float Step) {
  const float Next = Value + Step;
  if (!(Next > Value)) throw EConvertError(BadSteps);
  return Next;
}

// A series the fitter gave no result for (no bin in its window, no positive height) has no
// curve to show or save, whatever the detector keeps for it.
bool Fitted(const TDetector& D, int32_t Series) {
  if (Series < 0 || Series >= D.SeriesCount || static_cast<size_t>(Series) >= D.Curves.size()) return false;
  TGaussianFit Fit;
  D.GetFitResult(Series, Fit);
  return !D.Curves[static_cast<size_t>(Series)].empty() && D.GetChi(Series) >= 0 && D.GetChiP(Series) >= 0 &&
         std::isfinite(Fit.Scale) && Fit.Scale > 0;
}

// The newest series, when the last fit made it.
bool NewestFitted(const TDetector& D) { return D.LastFitted == D.SeriesCount - 1 && Fitted(D, D.LastFitted); }

// The chart without the curve and guides of a series that was not fitted: every series is drawn
// (bars first, then its curve and guides), so the lines after bar s belong to series s.
void DropUnfittedCurves(ChartData& Chart, const TDetector& D) {
  int32_t Series = -1;
  std::vector<ChartSeries> Kept;
  for (ChartSeries& S : Chart.Series) {
    if (S.Kind == ChartSeries::TKind::Bar) ++Series;
    if (S.Kind == ChartSeries::TKind::Line && !Fitted(D, Series)) continue;
    Kept.push_back(std::move(S));
  }
  Chart.Series = std::move(Kept);
}

float HighStart(float Low, float MinHigh, float StepHigh) {
  const float Raised = Low + StepHigh;
  return Raised > MinHigh ? Raised : MinHigh;
}

}  // namespace

std::string FormatFitP(float ChiP) { return FormatFloatByMagnitude("0.00e-", "0.00", 0.01, ChiP); }

TCustomDetectorPage::TCustomDetectorPage(TPageContext& Main) : QObject(Main.Window()), FMain(Main) {
  setObjectName("CustomDetectorPage");
  Build();
  FMain.OnDataFreeing(this, [this] { DataChanged(); });
  FMain.OnDataReplaced(this, [this] { DataChanged(); });
  // A rebuild of the detectors (reprocessing) makes a new custom detector too.
  FMain.Hooks.DataShownListeners.push_back([this](bool) { DataChanged(); });
}

void TCustomDetectorPage::Build() {
  QWidget* Sheet = FMain.Page("TsCustomDetector");
  auto* Outer = qobject_cast<QVBoxLayout*>(Sheet->layout());
  if (!Outer) {
    Outer = new QVBoxLayout(Sheet);
    Outer->setContentsMargins(2, 2, 2, 2);
  }

  PnCustomSettings = new QWidget(Sheet);
  PnCustomSettings->setObjectName("PnCustomSettings");
  auto* Settings = new QVBoxLayout(PnCustomSettings);
  Settings->setContentsMargins(0, 0, 0, 0);
  QWidget* P = PnCustomSettings;

  auto* Row1 = new QHBoxLayout;
  Settings->addLayout(Row1);
  CmBxCustomDetector = Combo(P, "CmBxCustomDetector");
  SetHint(CmBxCustomDetector, "Channel to plot");
  CmBxCustomFilter = Combo(P, "CmBxCustomFilter");
  SetHint(CmBxCustomFilter, "Channel whose values select the events");
  EdCustomFilterMin = Edit(P, "EdCustomFilterMin", "10");
  EdCustomFilterMax = Edit(P, "EdCustomFilterMax", "10000");
  EdCustomOtherMax = Edit(P, "EdCustomOtherMax", "20");
  Labelled(Row1, P, "Plot", CmBxCustomDetector);
  Labelled(Row1, P, "When", CmBxCustomFilter);
  Labelled(Row1, P, "is >", EdCustomFilterMin);
  Labelled(Row1, P, "and <", EdCustomFilterMax);
  Labelled(Row1, P, "Other Channels <", EdCustomOtherMax);
  BtnSpillover = Toggle(P, "BtnSpillover", "BMSPILLOVER", "Spillover", "Filter by Spillover Filters");
  BtnRefine = Toggle(P, "BtnRefine", "BMREFINE", "Refine", "Refine curve fit (slower, but better fit)");
  Row1->addSpacing(8);
  Row1->addWidget(BtnSpillover);
  Row1->addWidget(BtnRefine);
  Row1->addStretch(1);

  auto* Row2 = new QHBoxLayout;
  Settings->addLayout(Row2);
  EdCustomDetectorMean = Edit(P, "EdCustomDetectorMean", "1.0");
  BtnCustomMean = Toggle(P, "BtnCustomMean", "BMCALCTOGGLE", "10^x", "Toggle log / native value");
  EdCustomDeviation = Edit(P, "EdCustomDeviation", "1.0");
  EdCustomClipHigh = Edit(P, "EdCustomClipHigh", "1.0");
  EdCustomClipLow = Edit(P, "EdCustomClipLow", "1.0");
  Labelled(Row2, P, "df Mean", EdCustomDetectorMean);
  Row2->addWidget(BtnCustomMean);
  Labelled(Row2, P, "df Devn", EdCustomDeviation);
  Labelled(Row2, P, "Clip High", EdCustomClipHigh);
  Labelled(Row2, P, "Clip  Low", EdCustomClipLow);
  Row2->addStretch(1);
  auto* Row3 = new QHBoxLayout;
  Settings->addLayout(Row3);
  BtnClearCustomDetector = Button(P, "BtnClearCustomDetector", "Clear", 1, "Clear the custom detector");
  BtnAddCustomDetector = Button(P, "BtnAddCustomDetector", "Add", 2, "Plot and fit the chosen events");
  BtnSavePeak = Button(P, "BtnSavePeak", "Save", 3, "Save the fit as a peak of the plotted channel");
  BtnExportGaussians = Button(P, "BtnExportGaussians", "Export...", 4, "Report the Gaussian curve fits");
  BtnExplore = Button(P, "BtnExplore", "Explore...", 21, "Show the fit exploration tool bar");
  for (QPushButton* B : {BtnClearCustomDetector, BtnAddCustomDetector, BtnSavePeak, BtnExportGaussians, BtnExplore}) {
    Row3->addWidget(B);
    BindCommand(B, B->property("Tag").toInt(), [this](int Tag) { BtnClearCustomDetectorClick(Tag); });
  }
  Row3->addSpacing(12);
  LbCustomChi = new QLabel("Chi : 0.0", P);
  LbCustomChi->setObjectName("LbCustomChi");
  LbCustomChi->setMinimumWidth(90);
  LbCustomChiP = new QLabel("P : 0.000", P);
  LbCustomChiP->setObjectName("LbCustomChiP");
  LbCustomChiP->setMinimumWidth(80);
  Row3->addWidget(LbCustomChi);
  Row3->addWidget(LbCustomChiP);
  Row3->addStretch(1);
  Outer->addWidget(PnCustomSettings);

  BindCommand(CmBxCustomDetector, &QComboBox::activated, [this] { BtnClearCustomDetectorClick(5); });
  BindCommand(BtnCustomMean, [this] {
    // The protocol page keeps edit and toggle in step when the text does not convert.
    if (FMain.Hooks.BtnCustomMeanClick) FMain.Hooks.BtnCustomMeanClick(1);
  });

  PnExploreFit = new QWidget(Sheet);
  PnExploreFit->setObjectName("PnExploreFit");
  auto* Explore = new QHBoxLayout(PnExploreFit);
  Explore->setContentsMargins(0, 0, 0, 0);
  QWidget* X = PnExploreFit;
  EdMinLow = Edit(X, "EdMinLow", "-4.0", 50);
  EdMaxLow = Edit(X, "EdMaxLow", "-0.5", 50);
  EdStepLow = Edit(X, "EdStepLow", "0.5", 50, TKeyFilter::UnsignedDecimal);
  EdMinHigh = Edit(X, "EdMinHigh", "0.5", 50);
  EdmaxHigh = Edit(X, "EdmaxHigh", "4.0", 50);
  EdStepHigh = Edit(X, "EdStepHigh", "0.5", 50, TKeyFilter::UnsignedDecimal);
  // Two rows of ranges, then the command with its gauge and Cancel.
  auto* Ranges = new QVBoxLayout;
  Explore->addLayout(Ranges);
  auto* LowRow = new QHBoxLayout;
  auto* HighRow = new QHBoxLayout;
  Ranges->addLayout(LowRow);
  Ranges->addLayout(HighRow);
  auto* LowCaption = new QLabel("Clip Low from", X);
  auto* HighCaption = new QLabel("Clip High from", X);
  LowCaption->setMinimumWidth(HighCaption->sizeHint().width());
  LowRow->addWidget(LowCaption);
  LowRow->addWidget(EdMinLow);
  Labelled(LowRow, X, "to", EdMaxLow);
  Labelled(LowRow, X, "step", EdStepLow);
  HighRow->addWidget(HighCaption);
  HighRow->addWidget(EdMinHigh);
  Labelled(HighRow, X, "to", EdmaxHigh);
  Labelled(HighRow, X, "step", EdStepHigh);
  Explore->addSpacing(12);
  auto* Run = new QVBoxLayout;
  Explore->addLayout(Run);
  BtnExploreFitnessCurves = Button(X, "BtnExploreFitnessCurves", "Explore Curve Fits && Export", 0,
                                   "Fit every clip window of the ranges and export the fits");
  BindCommand(BtnExploreFitnessCurves, [this] { BtnExploreFitnessCurvesClick(); });
  Run->addWidget(BtnExploreFitnessCurves);
  auto* Progress = new QHBoxLayout;
  Run->addLayout(Progress);
  GaExplore = new QProgressBar(X);
  GaExplore->setObjectName("GaExplore");
  GaExplore->setTextVisible(false);
  GaExplore->setFixedWidth(120);
  GaExplore->setVisible(false);
  Progress->addWidget(GaExplore);
  // A cancel, not a command: it is the one control that acts while the sweep runs.
  BtnExploreCancel = Button(X, "BtnExploreCancel", "Cancel", 0, "Stop the fit exploration");
  BtnExploreCancel->setVisible(false);
  BindCancel(BtnExploreCancel, [this] { FMain.BtnCancelClick(); });
  Progress->addWidget(BtnExploreCancel);
  Progress->addStretch(1);
  Explore->addStretch(1);
  PnExploreFit->setVisible(false);
  Outer->addWidget(PnExploreFit);

  CrtCustomDetector = new TChartView(Sheet);
  CrtCustomDetector->setObjectName("CrtCustomDetector");
  CrtCustomDetector->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(CrtCustomDetector, &QWidget::customContextMenuRequested, this, [this](const QPoint& Pos) {
    if (QMenu* Menu = FMain.PopupMenu("PMHistogram")) Menu->popup(CrtCustomDetector->mapToGlobal(Pos));
  });
  Outer->addWidget(CrtCustomDetector, 1);
}

// A new set or a freed one: the chart holds the old set's picture only.
void TCustomDetectorPage::DataChanged() { ClearChart(); }

// The chart and the figures of its last fit go together.
void TCustomDetectorPage::ClearChart() {
  CrtCustomDetector->Clear();
  LbCustomChi->setText("Chi : 0.0");
  LbCustomChiP->setText("P : 0.000");
}

bool TCustomDetectorPage::DataMatchesProtocol() const {
  if (!FMain.CurrentProtocol || !FMain.CurrentData) return false;
  return !FMain.Hooks.ProtocolMatchesData || FMain.Hooks.ProtocolMatchesData();
}

void TCustomDetectorPage::ReadCustomDetectorSettings(TCustomDetectorOptions& Out) const {
  const float FilterMinimum = ReadLog10(EdCustomFilterMin, "Filter Minimum (is >)");
  const float FilterMaximum = ReadLog10(EdCustomFilterMax, "Filter Maximum (and <)");
  const float OtherMaximum = Single(ReadNumber(EdCustomOtherMax, "Other Channels <"));
  // A mean shown as native value is read back as its log, the unit of the fit.
  const float Mean = BtnCustomMean->isChecked() ? ReadLog10(EdCustomDetectorMean, "df Mean")
                                                : Single(ReadNumber(EdCustomDetectorMean, "df Mean"));
  const float Deviation = Single(ReadNumber(EdCustomDeviation, "df Devn"));
  const float ClipHigh = Single(ReadNumber(EdCustomClipHigh, "Clip High"));
  const float ClipLow = Single(ReadNumber(EdCustomClipLow, "Clip Low"));
  Out.PlotChannel = CmBxCustomDetector->currentIndex();
  Out.FilterChannel = CmBxCustomFilter->currentIndex();
  Out.FilterMinimum = FilterMinimum;
  Out.FilterMaximum = FilterMaximum;
  Out.OtherMaximum = OtherMaximum;
  Out.Mean = Mean;
  Out.Deviation = Deviation;
  Out.ClipHigh = ClipHigh;
  Out.ClipLow = ClipLow;
  Out.UseRatioFilters = BtnSpillover->isChecked();
  Out.Refine = BtnRefine->isChecked();
}

void TCustomDetectorPage::ShowMean(float LogMean) {
  if (BtnCustomMean->isChecked())
    EdCustomDetectorMean->setText(Q(FormatFloat("####0.0", std::pow(10.0L, static_cast<Extended>(LogMean)))));
  else
    EdCustomDetectorMean->setText(Q(FormatFloat("#0.0000", LogMean)));
}

void TCustomDetectorPage::ShowFitLabels(float Chi, float ChiP) {
  LbCustomChi->setText(Q("Chi : " + FormatFloat("####0.0", Chi)));
  LbCustomChiP->setText(Q("P : " + FormatFitP(ChiP)));
}

void TCustomDetectorPage::CheckClipWindow(const TCustomDetectorOptions& O) const {
  if (O.ClipLow < O.ClipHigh) return;
  EdCustomClipLow->setFocus();
  EdCustomClipLow->selectAll();
  throw EConvertError(ClipOrder);
}

void TCustomDetectorPage::BtnClearCustomDetectorClick(int Tag) {
  TFCSData* Data = FMain.CurrentData.get();
  TDetector* Custom = Data ? Data->CustomDetector.get() : nullptr;
  switch (Tag) {
    case 1:
      if (Custom) Custom->Clear();
      ClearChart();
      break;
    case 2: {
      if (!DataMatchesProtocol()) break;
      ReadCustomDetectorSettings(Options);
      if (Options.PlotChannel == -1 || Options.FilterChannel == -1) {
        AppDialogs().Info(NoChannels);
        break;
      }
      CheckClipWindow(Options);
      // The engine's failures end the command silently.
      try {
        Data->FitCustomDetector(*FMain.CurrentProtocol, Options);
        if (!Custom) break;
        THistogramView View;
        View.ShowAll = true;
        ChartData Chart;
        Custom->DrawChart(Chart, View);
        DropUnfittedCurves(Chart, *Custom);
        // Each Add may plot another channel into the same chart.
        Chart.XTitle = "Compensated intensity";
        Chart.YTitle = "Events";
        CrtCustomDetector->SetData(std::move(Chart));
        if (NewestFitted(*Custom)) {
          TGaussianFit Fit;
          Custom->GetFitResult(Custom->LastFitted, Fit);
          ShowMean(static_cast<float>(Fit.Mean));
          EdCustomDeviation->setText(Q(FormatFloat("#0.0000", static_cast<float>(Fit.Deviation))));
          ShowFitLabels(Custom->GetChi(Custom->LastFitted), Custom->GetChiP(Custom->LastFitted));
        } else {
          LbCustomChi->setText(NotFitted);
          LbCustomChiP->setText("P : -");
        }
      } catch (const std::exception&) {
      }
      break;
    }
    case 3: {
      TProtocol* Protocol = FMain.CurrentProtocol.get();
      if (!Protocol) break;
      if (!Custom || !NewestFitted(*Custom)) {
        AppDialogs().Error(NoCurves);
        break;
      }
      ReadCustomDetectorSettings(Options);
      if (Options.PlotChannel == -1) {
        AppDialogs().Info(NoChannels);
        break;
      }
      CheckClipWindow(Options);
      TChannel* Channel = Protocol->GetChannel(Options.PlotChannel);
      if (!Channel) throw RangeCheckError();
      TGaussianFit Fit;
      const int32_t Last = Custom->LastFitted;
      Custom->GetFitResult(Last, Fit);
      const TCustomDetectorOptions O = Options;
      const float Chi = Custom->GetChi(Last);
      const float ChiP = Custom->GetChiP(Last);
      auto AddPeak = [&] {
        Channel->AddPeak(false, O.FilterChannel, Single(Fit.Mean), Single(Fit.Deviation), Single(Fit.Scale),
                         O.FilterMinimum, Chi, ChiP, O.ClipHigh, O.ClipLow);
      };
      // Through the protocol page, so its editors show the new peak and store nothing over it.
      if (FMain.Hooks.ApplyProtocolChange)
        FMain.Hooks.ApplyProtocolChange(AddPeak);
      else
        AddPeak();
      break;
    }
    case 4:
      if (!Custom) break;
      try {
        const std::string Report = Custom->GaussianReport();
        auto* Window = new TFmTextOutput(nullptr, "Gaussian Curve Fits", true);
        FMain.AddCloseQuery(Window);
        Window->AddLines(SplitLines(Report));
      } catch (const std::exception&) {
      }
      break;
    case 5: {
      const TProtocol* Protocol = FMain.CurrentProtocol.get();
      const TChannel* Channel = Protocol ? Protocol->GetChannel(CmBxCustomDetector->currentIndex()) : nullptr;
      if (!Channel || Channel->Peaks.empty()) break;
      ShowMean(Channel->Peaks[0].Mean);
      EdCustomDeviation->setText(Q(FormatFloat("#0.0000", Channel->Peaks[0].Dev)));
      break;
    }
    case 21: {
      const bool Show = PnExploreFit->isHidden();
      PnExploreFit->setVisible(Show);
      BtnExplore->setText(Show ? "Hide..." : "Explore...");
      const QString Hint = Show ? "Hide the fit exploration tool bar" : "Show the fit exploration tool bar";
      BtnExplore->setToolTip(Hint);
      BtnExplore->setStatusTip(Hint);
      break;
    }
    default: break;
  }
  FMain.ShowMemoryStatus();
}

int64_t TCustomDetectorPage::CountExploreSteps(float MinLow, float MaxLow, float StepLow, float MinHigh,
                                               float MaxHigh, float StepHigh) {
  if (!(StepLow > 0) || !(StepHigh > 0)) throw EConvertError(BadSteps);
  int64_t Steps = 0;
  for (float Low = MinLow; Low <= MaxLow; Low = NextLoopValue(Low, StepLow))
    for (float High = HighStart(Low, MinHigh, StepHigh); High <= MaxHigh; High = NextLoopValue(High, StepHigh))
      ++Steps;
  return Steps;
}

void TCustomDetectorPage::SetSweepRunning(bool Running) {
  PnCustomSettings->setEnabled(!Running);
  for (QWidget* W : {static_cast<QWidget*>(EdMinLow), static_cast<QWidget*>(EdMaxLow), static_cast<QWidget*>(EdStepLow),
                     static_cast<QWidget*>(EdMinHigh), static_cast<QWidget*>(EdmaxHigh),
                     static_cast<QWidget*>(EdStepHigh), static_cast<QWidget*>(BtnExploreFitnessCurves)})
    W->setEnabled(!Running);
  GaExplore->setVisible(Running);
  BtnExploreCancel->setVisible(Running);
  BtnExploreCancel->setEnabled(Running);
}

void TCustomDetectorPage::HandOver(std::vector<std::string> Lines) {
  if (ExcelAvailable) {
    ExportToExcel(Lines);
  } else if (FMain.Hooks.ExportText) {
    TExportRequest Request;
    Request.Caption = "Fit Exploration";
    Request.Filter = "CSVs (*.csv)|*.CSV|All Files (*.*)|*.*";
    Request.Extension = "CSV";
    FMain.Hooks.ExportText(std::move(Lines), Request);
  }
}

void TCustomDetectorPage::BtnExploreFitnessCurvesClick() {
  const float MinLow = Single(ReadNumber(EdMinLow, "Clip Low from"));
  const float MaxLow = Single(ReadNumber(EdMaxLow, "Clip Low to"));
  const float StepLow = Single(ReadNumber(EdStepLow, "Clip Low step"));
  const float MinHigh = Single(ReadNumber(EdMinHigh, "Clip High from"));
  const float MaxHigh = Single(ReadNumber(EdmaxHigh, "Clip High to"));
  const float StepHigh = Single(ReadNumber(EdStepHigh, "Clip High step"));
  const int64_t Steps = CountExploreSteps(MinLow, MaxLow, StepLow, MinHigh, MaxHigh, StepHigh);
  if (Steps <= 0) return;
  TFCSData* Data = FMain.CurrentData.get();
  if (!DataMatchesProtocol()) return;
  // The other settings are named now, not halfway through the sweep.
  ReadCustomDetectorSettings(Options);
  const TProtocol& Protocol = *FMain.CurrentProtocol;

  BtnClearCustomDetectorClick(1);
  std::vector<std::string> Lines{ExploreHeader};
  // The gauge counts in int; a longer sweep advances it in proportion.
  const int GaugeMax = static_cast<int>(std::min<int64_t>(Steps, INT_MAX));
  GaExplore->setRange(0, GaugeMax);
  GaExplore->setValue(0);
  int64_t Done = 0;
  {
    BusyCursor Hourglass;
    FMain.ContinueFlag = true;
    SetSweepRunning(true);
    struct TEnd {
      TCustomDetectorPage* Page;
      ~TEnd() {
        Page->FMain.ContinueFlag = false;
        Page->SetSweepRunning(false);
      }
    } End{this};
    try {
      for (float Low = MinLow; Low <= MaxLow && FMain.ContinueFlag; Low = NextLoopValue(Low, StepLow))
        for (float High = HighStart(Low, MinHigh, StepHigh); High <= MaxHigh && FMain.ContinueFlag;
             High = NextLoopValue(High, StepHigh)) {
          QApplication::processEvents();
          if (!FMain.ContinueFlag) break;  // Cancel: not one more fit
          EdCustomClipLow->setText(Q(FormatFloat("#0.00000", Low)));
          EdCustomClipHigh->setText(Q(FormatFloat("#0.00000", High)));
          ReadCustomDetectorSettings(Options);
          if (Options.PlotChannel != -1 && Options.FilterChannel != -1) {
            // One series at a time: the lines need only the newest, and a sweep of many
            // windows would otherwise hold every window's values.
            if (Data->CustomDetector) Data->CustomDetector->Clear();
            Data->FitCustomDetector(Protocol, Options);
            const TDetector* Custom = Data->CustomDetector.get();
            if (Custom && Custom->SeriesCount > 0) {
              const int32_t S = Custom->SeriesCount - 1;
              TGaussianFit Fit;
              Custom->GetFitResult(S, Fit);
              Lines.push_back(FormatFloat("###0.00000", Low) + "," + FormatFloat("###0.00000", High) + "," +
                              FormatFloat("####0.0", Custom->GetChi(S)) + "," + FormatFitP(Custom->GetChiP(S)) + "," +
                              FormatFloat("####0.0", std::pow(10.0L, static_cast<Extended>(Fit.Mean))) + "," +
                              FormatFloat("#0.0000", Fit.Deviation) + "," +
                              std::to_string(Custom->SeriesValues[static_cast<size_t>(S)].size()));
            }
          }
          ++Done;
          GaExplore->setValue(Steps <= INT_MAX ? static_cast<int>(Done)
                                                 : static_cast<int>(static_cast<long double>(Done) * GaugeMax / Steps));
        }
    } catch (const std::exception&) {
      // A failed fit ends the sweep; what was gathered is still handed over.
    }
  }
  if (!PnExploreFit->isHidden()) BtnClearCustomDetectorClick(21);
  LastExploreLines = Lines;
  struct TClear {
    TCustomDetectorPage* Page;
    ~TClear() { Page->BtnClearCustomDetectorClick(1); }
  } Clear{this};
  HandOver(std::move(Lines));
}

}  // namespace qv
