// The custom detector sheet: reading its settings, fitting, saving the fit as a peak, and the
// sweep of clip windows with its order, Cancel and hand-over.
#include <QAbstractAxis>
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <filesystem>
#include <functional>
#include <random>

#include "common/ChartView.h"
#include "common/CommandGuard.h"
#include "pages/CustomDetectorPage.h"
#include "DataSetFixtures.h"
#include "DataSetHelpers.h"
#include "Files.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "NumberFormat.h"
#include "pages/ProtocolPage.h"
#include "ScopedValue.h"
#include "ScriptedDialogs.h"
#include "TextUtils.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "dataset/FCSData.h"

using namespace qv;
using namespace qv::test;

namespace {

// Two populations: green (GFP 10^2.5, RFP 10^1) and red (GFP 10^1, RFP 10^3), 2000 each, shown on
// the window as the reading page would.
struct TLoadedSet {
  explicit TLoadedSet(TFmMain& Main) {
    auto P = MakeProtocol({{"FSC", "FSC-H"}}, {{"GFP", "FL1"}, {"RFP", "FL2"}});
    for (int32_t c = 0; c < 2; ++c) {
      TChannel& C = *P->GetChannel(c);
      C.DisplayMaximum = 5;
      C.AddPeak(false, -1, 2.4f, 0.15f, 1, 0, 0, 0, 2, -2);
    }
    std::mt19937 Random(11);
    std::normal_distribution<double> Noise(0, 0.1);
    std::vector<std::vector<double>> Rows;
    for (int i = 0; i < 2000; ++i) {
      Rows.push_back({500, std::pow(10.0, 2.5 + Noise(Random)), std::pow(10.0, 1.0 + Noise(Random))});
      Rows.push_back({500, std::pow(10.0, 1.0 + Noise(Random)), std::pow(10.0, 3.0 + Noise(Random))});
    }
    File = WriteAndRead(Folder, "set.fcs", {"FSC-H", "FL1", "FL2"}, Rows);
    auto D = TFCSData::Create(*File, 0, true, nullptr, P.get());
    D->Compensate(*P, nullptr, 0);
    D->SetDetectors(*P, nullptr, false);
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(D));
    for (auto& Listener : Main.Hooks.DataShownListeners) Listener(true);
  }
  TempFolder Folder;
  std::unique_ptr<TFCSFile> File;
};

TCustomDetectorPage& PageOf(TFmMain& Main) { return *Main.findChild<TCustomDetectorPage*>("CustomDetectorPage"); }

// Plot GFP over the events whose RFP lies in 1 .. 50 (the green population), from its peak.
void ChooseGreen(TCustomDetectorPage& Page) {
  Page.CmBxCustomDetector->setCurrentIndex(0);
  Page.CmBxCustomFilter->setCurrentIndex(1);
  Page.EdCustomFilterMin->setText("1");
  Page.EdCustomFilterMax->setText("50");
  Page.EdCustomDetectorMean->setText("2.5");
  Page.EdCustomDeviation->setText("0.1");
  Page.EdCustomClipHigh->setText("2");
  Page.EdCustomClipLow->setText("-2");
}

// What the user types into an edit, replacing its text (through the edit's key filter).
void Type(QLineEdit* Edit, const QString& Text) {
  Edit->selectAll();
  QTest::keyClicks(Edit, Text);
}

void Click(QAbstractButton* Button) { QTest::mouseClick(Button, Qt::LeftButton); }

void Command(TCustomDetectorPage& Page, int Tag) {
  GuardedCommand([&] { Page.BtnClearCustomDetectorClick(Tag); });
}

void SetRanges(TCustomDetectorPage& Page, const char* MinLow, const char* MaxLow, const char* StepLow,
               const char* MinHigh, const char* MaxHigh, const char* StepHigh) {
  Page.EdMinLow->setText(MinLow);
  Page.EdMaxLow->setText(MaxLow);
  Page.EdStepLow->setText(StepLow);
  Page.EdMinHigh->setText(MinHigh);
  Page.EdmaxHigh->setText(MaxHigh);
  Page.EdStepHigh->setText(StepHigh);
}

// A stand-in spreadsheet program on PATH for the life of the object.
struct TStubSpreadsheet {
  TStubSpreadsheet() : Excel(ExcelAvailable, true), OldPath(qgetenv("PATH")) {
    WriteText(Bin / "soffice", "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(Bin / "soffice", std::filesystem::perms::owner_all);
    qputenv("PATH", QByteArray::fromStdString(Bin.Path()) + ":" + OldPath);
  }
  ~TStubSpreadsheet() { qputenv("PATH", OldPath); }
  // The lines of every hand-over file so far, oldest first.
  std::vector<std::vector<std::string>> Sent() const {
    std::vector<std::vector<std::string>> Result;
    for (const std::string& Name : FindFiles(ProgramDir, "FCS_Temp*.csv"))
      Result.push_back(SplitLines(ReadText(ProgramDir + Name)));
    return Result;
  }
  TempFolder Bin;
  ScopedValue<bool> Excel;
  QByteArray OldPath;
};

// A loaded set with the green channel chosen and the spreadsheet stand-in: what a sweep needs.
struct TSweepBench {
  ScopedProgramHome Home;
  ScriptedDialogs Dialogs;
  TFmMain Main;
  TCustomDetectorPage& Page = PageOf(Main);
  TLoadedSet Set{Main};
  TStubSpreadsheet Spreadsheet;
  TSweepBench() { ChooseGreen(Page); }
};

std::vector<std::string> Fields(const std::string& Line) {
  std::vector<std::string> Result(1);
  for (char C : Line) {
    if (C == ',')
      Result.emplace_back();
    else
      Result.back() += C;
  }
  return Result;
}

// The clip window (low, high) of every line after the header.
std::vector<std::string> Windows(const std::vector<std::string>& Lines) {
  std::vector<std::string> Result;
  for (size_t i = 1; i < Lines.size(); ++i) {
    const std::vector<std::string> F = Fields(Lines[i]);
    Result.push_back(F.at(0) + "," + F.at(1));
  }
  return Result;
}

}  // namespace

class CustomDetectorPageTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { CloseReportWindows(); }

  void ControlsDefaultsAndSettings() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    TCustomDetectorPage& Page = PageOf(Main);
    QCOMPARE(Page.EdCustomFilterMin->text(), QString("10"));
    QCOMPARE(Page.EdCustomFilterMax->text(), QString("10000"));
    QCOMPARE(Page.LbCustomChi->text(), QString("Chi : 0.0"));
    QCOMPARE(Page.LbCustomChiP->text(), QString("P : 0.000"));
    QVERIFY(Page.PnExploreFit->isHidden());
    QCOMPARE(TCustomDetectorPage::CountExploreSteps(-4.0f, -0.5f, 0.5f, 0.5f, 4.0f, 0.5f), int64_t(64));

    TLoadedSet Set(Main);
    // The shell fills both channel combos with nothing chosen.
    QCOMPARE(Page.CmBxCustomDetector->count(), 2);
    QCOMPARE(Page.CmBxCustomFilter->itemText(1), QString("RFP"));
    QCOMPARE(Page.CmBxCustomDetector->currentIndex(), -1);

    TCustomDetectorOptions O;
    Page.ReadCustomDetectorSettings(O);
    QCOMPARE(O.PlotChannel, -1);
    QCOMPARE(O.FilterMinimum, 1.0f);
    QCOMPARE(O.FilterMaximum, 4.0f);
    QCOMPARE(O.OtherMaximum, 20.0f);

    // A native mean is read as its log; a bad field is named and nothing changes.
    Page.BtnCustomMean->setChecked(true);
    Page.EdCustomDetectorMean->setText("1000");
    Page.ReadCustomDetectorSettings(O);
    QCOMPARE(O.Mean, 3.0f);
    for (const auto& [Edit, Text, Field] : {std::tuple{Page.EdCustomFilterMin, "0", "Filter Minimum"},
                                            std::tuple{Page.EdCustomDetectorMean, "-5", "df Mean"},
                                            std::tuple{Page.EdCustomClipLow, "1,5", "Clip Low"}}) {
      const QString Old = Edit->text();
      Edit->setText(Text);
      Dialogs.Errors.clear();
      Command(Page, 2);
      QCOMPARE(Dialogs.Errors.size(), size_t(1));
      QVERIFY2(QString::fromStdString(Dialogs.Errors[0]).contains(Field), Dialogs.Errors[0].c_str());
      Edit->setText(Old);
    }
    QCOMPARE(Page.Options.Mean, 0.0f);
    QVERIFY(Page.CrtCustomDetector->IsEmpty());

    // Tag 5 shows the channel's first peak, natively while the toggle is down.
    Page.CmBxCustomDetector->setCurrentIndex(0);
    Command(Page, 5);
    QCOMPARE(Page.EdCustomDetectorMean->text(), QString("251.2"));
    QCOMPARE(Page.EdCustomDeviation->text(), QString("0.1500"));
    // The toggle converts the edit through the protocol page.
    Page.BtnCustomMean->click();
    QVERIFY(!Page.BtnCustomMean->isChecked());
    QCOMPARE(Page.EdCustomDetectorMean->text(), QString("2.4000"));

    // The explore panel.
    Command(Page, 21);
    QVERIFY(!Page.PnExploreFit->isHidden());
    QCOMPARE(Page.BtnExplore->text(), QString("Hide..."));
    QCOMPARE(Page.BtnExplore->toolTip(), QString("Hide the fit exploration tool bar"));
    Command(Page, 21);
    QVERIFY(Page.PnExploreFit->isHidden());
    QCOMPARE(Page.BtnExplore->text(), QString("Explore..."));
  }

  void AddSaveExportAndClear() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    TCustomDetectorPage& Page = PageOf(Main);
    TLoadedSet Set(Main);

    Command(Page, 2);
    QCOMPARE(Dialogs.Infos, std::vector<std::string>{"Must select display channel and filter channel"});
    // Save before any fit.
    Command(Page, 3);
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{"No Gaussian curves are available"});
    Dialogs.Errors.clear();

    ChooseGreen(Page);
    Command(Page, 2);
    QVERIFY(Dialogs.Errors.empty());
    const TDetector* Custom = Main.CurrentData->CustomDetector.get();
    QCOMPARE(Custom->SeriesCount, 1);
    QCOMPARE(Custom->LastFitted, 0);
    TGaussianFit Fit;
    Custom->GetFitResult(0, Fit);
    QVERIFY(std::fabs(Fit.Mean - 2.5) < 0.05);
    QVERIFY(!Page.CrtCustomDetector->IsEmpty());
    QCOMPARE(Page.EdCustomDetectorMean->text(), QString::fromStdString(FormatFloat("#0.0000", static_cast<float>(Fit.Mean))));
    QCOMPARE(Page.EdCustomDeviation->text(),
             QString::fromStdString(FormatFloat("#0.0000", static_cast<float>(Fit.Deviation))));
    QCOMPARE(Page.LbCustomChi->text(), QString::fromStdString("Chi : " + FormatFloat("####0.0", Custom->GetChi(0))));
    QCOMPARE(Page.LbCustomChiP->text(), QString::fromStdString("P : " + FormatFitP(Custom->GetChiP(0))));
    QCOMPARE(FormatFitP(0.5f), std::string("0.50"));
    QCOMPARE(FormatFitP(0.005f), std::string("5.00e-3"));

    // Save: a new last peak of GFP, kept when the protocol page moves to another channel with
    // its editors changed.
    auto* Protocol = Main.findChild<TProtocolPage*>();
    Protocol->SgChannels->setCurrentCell(1, 0);
    Protocol->EdMinGate->setText("55");
    Page.EdCustomClipHigh->setText("1.5");
    const int32_t Peaks = Main.CurrentProtocol->GetChannel(0)->PeakCount();
    Command(Page, 3);
    QVERIFY(Dialogs.Errors.empty());
    Protocol->SgChannels->setCurrentCell(2, 0);
    Protocol->SgChannels->setCurrentCell(1, 0);
    const TChannel& Green = *Main.CurrentProtocol->GetChannel(0);
    QCOMPARE(Green.PeakCount(), Peaks + 1);
    const TPeak& Saved = Green.Peaks.back();
    QCOMPARE(Saved.Mean, static_cast<float>(Fit.Mean));
    QCOMPARE(Saved.Dev, static_cast<float>(Fit.Deviation));
    QCOMPARE(Saved.H, static_cast<float>(Fit.Scale));
    QCOMPARE(Saved.Filter, 1);
    QCOMPARE(Saved.Value, 0.0f);  // log10 of the filter minimum 1
    QCOMPARE(Saved.ClipHigh, 1.5f);
    QCOMPARE(Saved.ClipLow, -2.0f);
    QVERIFY(!Saved.Raw);
    QVERIFY(Main.ProtocolModified());

    // Without a plot channel there is no channel to save to.
    Page.CmBxCustomDetector->setCurrentIndex(-1);
    Command(Page, 3);
    QCOMPARE(Dialogs.Infos.back(), std::string("Must select display channel and filter channel"));
    QCOMPARE(Green.PeakCount(), Peaks + 1);
    Page.CmBxCustomDetector->setCurrentIndex(0);

    // Export: the report window of the fits.
    Command(Page, 4);
    auto Reports = ReportWindows();
    QCOMPARE(Reports.size(), size_t(1));
    QCOMPARE(Reports[0]->windowTitle(), QString("Gaussian Curve Fits"));
    QVERIFY(!Reports[0]->MeText->toPlainText().isEmpty());

    // Clear empties detector and chart; a freed set leaves no picture either.
    Command(Page, 1);
    QCOMPARE(Main.CurrentData->CustomDetector->SeriesCount, 0);
    QVERIFY(Page.CrtCustomDetector->IsEmpty());
    Command(Page, 2);
    QVERIFY(!Page.CrtCustomDetector->IsEmpty());
    Main.SetCurrentData(nullptr);
    QVERIFY(Page.CrtCustomDetector->IsEmpty());
    QCOMPARE(Page.LbCustomChi->text(), QString("Chi : 0.0"));
  }

  void ClipWindowAndFitsWithoutResult() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.show();
    TCustomDetectorPage& Page = PageOf(Main);
    TLoadedSet Set(Main);
    Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
    Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsCustomDetector"));
    ChooseGreen(Page);
    const TDetector& Custom = *Main.CurrentData->CustomDetector;
    const int32_t Peaks = Main.CurrentProtocol->GetChannel(0)->PeakCount();

    // Clip Low not below Clip High (the form's 1.0 and 1.0): named before anything is fitted.
    for (const char* Low : {"1.0", "1.5"}) {
      Type(Page.EdCustomClipHigh, "1.0");
      Type(Page.EdCustomClipLow, Low);
      Dialogs.Errors.clear();
      Click(Page.BtnAddCustomDetector);
      QCOMPARE(Dialogs.Errors, std::vector<std::string>{"Clip Low must be below Clip High"});
      QCOMPARE(Custom.SeriesCount, 0);
      QVERIFY(Page.CrtCustomDetector->IsEmpty());
      QCOMPARE(Page.LbCustomChi->text(), QString("Chi : 0.0"));
    }

    // A window over empty bins gives no height: shown as not fitted, no curve drawn, the start
    // values kept, and nothing to save.
    Type(Page.EdCustomClipLow, "-2");
    Type(Page.EdCustomClipHigh, "2");
    Type(Page.EdCustomDetectorMean, "4.5");
    Type(Page.EdCustomDeviation, "0.01");
    Dialogs.Errors.clear();
    Click(Page.BtnAddCustomDetector);
    QVERIFY(Dialogs.Errors.empty());
    QCOMPARE(Custom.SeriesCount, 1);
    QCOMPARE(Page.LbCustomChi->text(), QString("Not fitted"));
    QCOMPARE(Page.LbCustomChiP->text(), QString("P : -"));
    QCOMPARE(Page.EdCustomDetectorMean->text(), QString("4.5"));
    QCOMPARE(Page.EdCustomDeviation->text(), QString("0.01"));
    const ChartData& Drawn = Page.CrtCustomDetector->Data();
    QVERIFY(!Drawn.Series.empty());
    for (const ChartSeries& S : Drawn.Series) QCOMPARE(S.Kind, ChartSeries::TKind::Bar);
    QVERIFY(Page.CrtCustomDetector->YMin() >= 0);
    Click(Page.BtnSavePeak);
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{"No Gaussian curves are available"});
    QCOMPARE(Main.CurrentProtocol->GetChannel(0)->PeakCount(), Peaks);

    // Whatever the detector holds for such a fit (a negative height, P of -1, or chi -1 with no
    // curve), it is not shown or saved as a fit.
    Type(Page.EdCustomDetectorMean, "2.5");
    Type(Page.EdCustomDeviation, "0.1");
    Click(Page.BtnAddCustomDetector);
    QCOMPARE(Page.LbCustomChi->text().left(6), QString("Chi : "));
    TDetector& Held = *Main.CurrentData->CustomDetector;
    const int32_t Last = Held.SeriesCount - 1;
    QCOMPARE(Held.LastFitted, Last);
    const TGaussianFit Good = Held.Fits[static_cast<size_t>(Last)];
    const std::vector<std::function<void()>> Spoils = {
        [&] { Held.Fits[static_cast<size_t>(Last)].Scale = -2.36e9; },
        [&] { Held.ChiP[static_cast<size_t>(Last)] = -1; },
        [&] {
          Held.Chi[static_cast<size_t>(Last)] = -1;
          Held.Curves[static_cast<size_t>(Last)].clear();
        }};
    for (const auto& Spoil : Spoils) {
      Spoil();
      Dialogs.Errors.clear();
      Click(Page.BtnSavePeak);
      QCOMPARE(Dialogs.Errors, std::vector<std::string>{"No Gaussian curves are available"});
      Held.Fits[static_cast<size_t>(Last)] = Good;
    }
    QCOMPARE(Main.CurrentProtocol->GetChannel(0)->PeakCount(), Peaks);

    // A good fit saves; a clip window turned round since is refused by name.
    Click(Page.BtnClearCustomDetector);
    Click(Page.BtnAddCustomDetector);
    QCOMPARE(Page.CrtCustomDetector->XAxis()->titleText(), QString("Compensated intensity"));
    QCOMPARE(Page.CrtCustomDetector->YAxis()->titleText(), QString("Events"));
    Type(Page.EdCustomClipLow, "3");
    Dialogs.Errors.clear();
    Click(Page.BtnSavePeak);
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{"Clip Low must be below Clip High"});
    QCOMPARE(Main.CurrentProtocol->GetChannel(0)->PeakCount(), Peaks);
    Type(Page.EdCustomClipLow, "-2");
    Click(Page.BtnSavePeak);
    QVERIFY(Dialogs.Errors.size() == 1);
    QCOMPARE(Main.CurrentProtocol->GetChannel(0)->PeakCount(), Peaks + 1);
    QVERIFY(Main.CurrentProtocol->GetChannel(0)->Peaks.back().H > 0);
  }

  void SweepOrderCountAndHandOver() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TempFolder Folder;
    TFmMain Main;
    TCustomDetectorPage& Page = PageOf(Main);
    TLoadedSet Set(Main);
    ChooseGreen(Page);
    TStubSpreadsheet Spreadsheet;

    Command(Page, 21);
    SetRanges(Page, "-1.0", "-0.5", "0.5", "0.5", "1.0", "0.5");
    Page.BtnExploreFitnessCurves->click();
    QVERIFY(Dialogs.Errors.empty());
    auto Sent = Spreadsheet.Sent();
    QCOMPARE(Sent.size(), size_t(1));
    QCOMPARE(Sent[0][0], std::string("MinZ,MaxZ,Chi,P,Mean,Dev,Count"));
    QCOMPARE(Windows(Sent[0]), (std::vector<std::string>{"-1.00000,0.50000", "-1.00000,1.00000", "-0.50000,0.50000",
                                                          "-0.50000,1.00000"}));
    // Count: the values of the fitted series, the green events in the filter window.
    Main.CurrentData->FitCustomDetector(*Main.CurrentProtocol, Page.Options);
    const auto Values = Main.CurrentData->CustomDetector->SeriesValues[0].size();
    QVERIFY(Values > 1900 && Values <= 2000);
    for (size_t i = 1; i < Sent[0].size(); ++i) QCOMPARE(Fields(Sent[0][i]).at(6), std::to_string(Values));
    Main.CurrentData->CustomDetector->Clear();
    // The last window is left in the edits; panel, gauge and Cancel are gone, the detector empty.
    QCOMPARE(Page.EdCustomClipLow->text(), QString("-0.50000"));
    QCOMPARE(Page.EdCustomClipHigh->text(), QString("1.00000"));
    QVERIFY(Page.PnExploreFit->isHidden());
    QVERIFY(Page.BtnExploreCancel->isHidden());
    QVERIFY(Page.GaExplore->isHidden());
    QCOMPARE(Main.CurrentData->CustomDetector->SeriesCount, 0);
    QVERIFY(!Main.ContinueFlag);
    QVERIFY(!QApplication::overrideCursor());

    // A low value above the high minimum starts high one step above it.
    SetRanges(Page, "0.2", "0.2", "0.5", "0.5", "1.0", "0.5");
    Page.BtnExploreFitnessCurves->click();
    Sent = Spreadsheet.Sent();
    QCOMPARE(Sent.size(), size_t(2));
    const auto Second = Windows(Sent[0].size() == 2 ? Sent[0] : Sent[1]);
    QCOMPARE(Second, std::vector<std::string>{"0.20000,0.70000"});

    // Without a spreadsheet the lines go to the save dialog.
    ExcelAvailable = false;
    SetRanges(Page, "-1.0", "-1.0", "0.5", "0.5", "0.5", "0.5");
    Dialogs.FileAnswers = {Folder / "fits"};
    Page.BtnExploreFitnessCurves->click();
    const auto Saved = SplitLines(ReadText(Folder / "fits.CSV"));
    QCOMPARE(Saved.size(), size_t(2));
    QCOMPARE(Windows(Saved), std::vector<std::string>{"-1.00000,0.50000"});
  }

  // The sweep's Cancel is the status row's: it stops the sweep and refreshes the memory panels.
  // The cleared chart takes the figures of its last fit with it.
  void SweepCancelRefreshesAndClearLeavesNoFigures() {
    TSweepBench Bench;
    auto& [Home, Dialogs, Main, Page, Set, Spreadsheet] = Bench;
    Click(Page.BtnAddCustomDetector);
    QVERIFY(Page.LbCustomChi->text() != QString("Chi : 0.0"));
    QVERIFY(!Page.CrtCustomDetector->IsEmpty());

    bool Refreshed = false, Stopped = false;
    connect(Page.GaExplore, &QProgressBar::valueChanged, this, [&](int Value) {
      if (Value != 1) return;
      Main.PnPhysicalMemory->setText("stale");
      Page.BtnExploreCancel->click();
      Stopped = !Main.ContinueFlag;
      Refreshed = Main.PnPhysicalMemory->text() != QString("stale");
    });
    Click(Page.BtnExplore);
    Click(Page.BtnExploreFitnessCurves);
    disconnect(Page.GaExplore, nullptr, this, nullptr);
    QVERIFY(Stopped);
    QVERIFY(Refreshed);
    QCOMPARE(Spreadsheet.Sent().size(), size_t(1));
    QVERIFY(Page.CrtCustomDetector->IsEmpty());
    QCOMPARE(Page.LbCustomChi->text(), QString("Chi : 0.0"));
    QCOMPARE(Page.LbCustomChiP->text(), QString("P : 0.000"));

    // Clear by hand likewise.
    Click(Page.BtnAddCustomDetector);
    QVERIFY(Page.LbCustomChi->text() != QString("Chi : 0.0"));
    Click(Page.BtnClearCustomDetector);
    QVERIFY(Page.CrtCustomDetector->IsEmpty());
    QCOMPARE(Page.LbCustomChi->text(), QString("Chi : 0.0"));
    QCOMPARE(Page.LbCustomChiP->text(), QString("P : 0.000"));
    QVERIFY(Dialogs.Errors.empty());
  }

  void SweepCancelAndRefusals() {
    TSweepBench Bench;
    auto& [Home, Dialogs, Main, Page, Set, Spreadsheet] = Bench;

    // Cancel after two fits: no further fit, the two lines still go out. Meanwhile the other
    // commands are refused and the settings locked.
    bool SettingsLocked = false, CancelShown = false;
    connect(Page.GaExplore, &QProgressBar::valueChanged, this, [&](int Value) {
      if (Value != 2) return;
      SettingsLocked = !Page.PnCustomSettings->isEnabled() && !Page.EdStepLow->isEnabled();
      CancelShown = !Page.BtnExploreCancel->isHidden() && Page.BtnExploreCancel->isEnabled();
      Page.BtnAddCustomDetector->click();
      QVERIFY(!GuardedCommand([&] { Page.BtnClearCustomDetectorClick(4); }));
      Page.BtnExploreCancel->click();
    });
    Page.BtnExploreFitnessCurves->click();
    QVERIFY(SettingsLocked);
    QVERIFY(CancelShown);
    QVERIFY(ReportWindows().empty());
    auto Sent = Spreadsheet.Sent();
    QCOMPARE(Sent.size(), size_t(1));
    QCOMPARE(Windows(Sent[0]), (std::vector<std::string>{"-4.00000,0.50000", "-4.00000,1.00000"}));
    QVERIFY(Page.PnCustomSettings->isEnabled());
    QCOMPARE(Main.CurrentData->CustomDetector->SeriesCount, 0);
    disconnect(Page.GaExplore, nullptr, this, nullptr);

    // Steps that would never end the loops, and a bad number, are refused before anything runs.
    for (const auto& [Ranges, Message] :
         {std::pair{std::vector<const char*>{"-1", "-0.5", "0", "0.5", "1", "0.5"}, "Steps must be greater than zero"},
          std::pair{std::vector<const char*>{"-1", "-0.5", "0.5", "0.5", "1", "-0.5"}, "Steps must be greater than zero"},
          std::pair{std::vector<const char*>{"100000000", "100000001", "1", "0.5", "1e9", "0.5"},
                    "Steps must be greater than zero"},
          std::pair{std::vector<const char*>{"-1", "x", "0.5", "0.5", "1", "0.5"}, "Clip Low to"}}) {
      SetRanges(Page, Ranges[0], Ranges[1], Ranges[2], Ranges[3], Ranges[4], Ranges[5]);
      Dialogs.Errors.clear();
      Page.BtnExploreFitnessCurves->click();
      QCOMPARE(Dialogs.Errors.size(), size_t(1));
      QVERIFY2(QString::fromStdString(Dialogs.Errors[0]).contains(Message), Dialogs.Errors[0].c_str());
    }
    QCOMPARE(Spreadsheet.Sent().size(), size_t(1));
    QCOMPARE(Page.EdCustomClipLow->text(), QString("-4.00000"));
  }
};

static RegisterUiTest<CustomDetectorPageTest> Register;

#include "CustomDetectorPageTest.moc"
