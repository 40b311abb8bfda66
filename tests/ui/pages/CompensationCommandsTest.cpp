// Spill-over derived from a standard on the distribution sheet, the matrix sheet (show, export,
// import from the clipboard, double-click) and the reset of the channel editor's values.
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include "pages/ChartsPage.h"
#include "pages/CompensationCommands.h"
#include "DataSetFixtures.h"
#include "shell/MainWindow.h"
#include "pages/ProtocolPage.h"
#include "ScriptedDialogs.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "dataset/FCSData.h"

using namespace qv;
using namespace qv::test;

namespace {

using TAnswer = Dialogs::TAnswer;

// Three channels A, B, C without gates. Events 0..199 are a standard of A spilling 10 % into B
// and 5 % into C; events 200..299 one of B (A 2 %, C 0).
struct TStandards {
  explicit TStandards(TFmMain& Main) {
    auto P = MakeProtocol({}, {{"A", "FL1"}, {"B", "FL2"}, {"C", "FL3"}});
    std::vector<std::vector<double>> Rows;
    for (int i = 0; i < 200; ++i) {
      const double A = 100 + 4 * i;
      Rows.push_back({A, 0.10 * A, 0.05 * A});
    }
    for (int i = 0; i < 100; ++i) {
      const double B = 300 + 5 * i;
      Rows.push_back({0.02 * B, B, 0.0});
    }
    File = WriteAndRead(Folder, "standards.fcs", {"FL1", "FL2", "FL3"}, Rows);
    auto D = TFCSData::Create(*File, 0, true, nullptr, P.get());
    D->Compensate(*P, nullptr, 0);
    D->SetDetectors(*P, nullptr, false);
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(D));
    for (auto& Listener : Main.Hooks.DataShownListeners) Listener(true);
    Main.MarkProtocolSaved();
  }
  TempFolder Folder;
  std::unique_ptr<TFCSFile> File;
};

// Shows channel Index's distribution as the user would, by its item in the list.
void ChooseChannel(TFmMain& Main, TChartsPage& Page, int Index) {
  const int Id = Main.CurrentData->GateDetectorCount + Index;
  for (QAbstractButton* B : Page.DistributionItems->buttons())
    if (Page.DistributionItems->id(B) == Id) B->click();
}

TCompensationPair Pair(const TFmMain& Main, int Channel, int Source, bool IsComp) {
  TCompensationPair P;
  Main.CurrentProtocol->GetChannel(Channel)->GetCompPair(Source, IsComp, P);
  return P;
}

double Cell(const QTableWidget* Grid, int Row, int Col) {
  const QTableWidgetItem* Item = Grid->item(Row, Col);
  return Item ? Item->text().toDouble() : -1;
}

struct TWindow {
  TWindow() {
    Main.show();
    Charts = Main.findChild<TChartsPage*>();
    Commands = Main.findChild<TCompensationCommands*>();
    Protocol = Main.findChild<TProtocolPage*>("ProtocolPage");
  }
  ScopedProgramHome Home;
  ScriptedDialogs Dialogs;
  TFmMain Main;
  TChartsPage* Charts = nullptr;
  TCompensationCommands* Commands = nullptr;
  TProtocolPage* Protocol = nullptr;
};

}  // namespace

class CompensationCommandsTest : public QObject {
  Q_OBJECT
 private slots:
  void DerivePanelOpensAndCloses() {
    TWindow W;
    QVERIFY(W.Charts && W.Commands && W.Protocol);
    TStandards Set(W.Main);
    ChooseChannel(W.Main, *W.Charts, 0);
    QCOMPARE(W.Main.DistributionChannel, 0);
    QWidget* Panel = W.Charts->PnDistributionControl;
    QVERIFY(!W.Commands->EdMinRaw->isVisibleTo(Panel));
    W.Charts->BtnShowDerive->click();
    QCOMPARE(Panel->height(), 202);
    QVERIFY(W.Commands->EdMinRaw->isVisibleTo(Panel));
    QVERIFY(W.Commands->BtnAutocompensate->isVisibleTo(Panel));
    QCOMPARE(W.Commands->EdMinRaw->text(), QString("25"));
    QCOMPARE(W.Commands->EdMaxRaw->text(), QString("1000"));
    W.Charts->BtnShowDerive->click();
    QCOMPARE(Panel->height(), 69);
    QVERIFY(!W.Commands->EdMinRaw->isVisibleTo(Panel));

    // Each button asks its own question; No derives nothing and leaves the panel open.
    W.Charts->BtnShowDerive->click();
    for (int Tag = 1; Tag <= 4; ++Tag) {
      W.Dialogs.Answers.push_back(TAnswer::No);
      W.Commands->BtnDeriveCompensationClick(Tag);
      QCOMPARE(W.Dialogs.Questions.back(), std::string(TCompensationCommands::DeriveQuestion(Tag)));
    }
    QCOMPARE(W.Charts->BtnShowDerive->text(), QString("Hide"));
    QVERIFY(!W.Main.ProtocolModified());
    // A Yes closes it.
    W.Dialogs.Answers.push_back(TAnswer::Yes);
    W.Commands->BtnDeriveCompensationClick(3);
    QCOMPARE(W.Charts->BtnShowDerive->text(), QString("Derive..."));
    QCOMPARE(W.Charts->PnDistributionControl->height(), 69);
  }

  void RawSpilloverOfTheChannelShown() {
    TWindow W;
    TStandards Set(W.Main);
    ChooseChannel(W.Main, *W.Charts, 0);
    // The editor shows channel 1 with a change the user has not stored yet.
    W.Protocol->SgChannels->setCurrentCell(1, 0);
    QCOMPARE(W.Protocol->ChannelShown(), 1);
    W.Protocol->MeChannelNotes->setPlainText("typed before deriving");
    W.Commands->CbEstimateGaussian->setChecked(true);
    const int Peaks = W.Main.CurrentProtocol->GetChannel(0)->PeakCount();

    W.Dialogs.Answers.push_back(TAnswer::Yes);
    W.Commands->BtnDeriveCompensationClick(1);
    QVERIFY(W.Dialogs.Errors.empty());
    QCOMPARE(Pair(W.Main, 0, 0, true).Mean, 100.0f);
    QVERIFY(std::abs(Pair(W.Main, 1, 0, true).Mean - 10.0f) < 0.01f);
    QVERIFY(std::abs(Pair(W.Main, 2, 0, true).Mean - 5.0f) < 0.01f);
    QVERIFY(Pair(W.Main, 1, 0, true).Deviation < 0.01f);
    // Only the raw array; the other sources keep their values.
    QCOMPARE(Pair(W.Main, 1, 0, false).Mean, 0.0f);
    QCOMPARE(Pair(W.Main, 1, 1, true).Mean, 100.0f);
    // The standard's own curve is appended.
    const TChannel* A = W.Main.CurrentProtocol->GetChannel(0);
    QCOMPARE(A->PeakCount(), Peaks + 1);
    QCOMPARE(A->Peaks.back().H, 10.0f);
    QVERIFY(A->Peaks.back().Mean > 2.0f && A->Peaks.back().Mean < 3.0f);
    QVERIFY(A->Peaks.back().Dev > 0);
    QVERIFY(W.Main.ProtocolModified());

    // The editor shows the derived values, kept the typed notes, and storing it keeps both.
    QCOMPARE(W.Protocol->ChannelShown(), 1);
    QVERIFY(std::abs(Cell(W.Protocol->SgCompensations1, 1, 1) - 100) < 0.01);
    QCOMPARE(W.Main.CurrentProtocol->GetChannel(0)->Notes, std::string("typed before deriving"));
    W.Protocol->SgChannels->setCurrentCell(2, 0);
    QCOMPARE(W.Protocol->ChannelShown(), 2);
    QVERIFY(std::abs(Cell(W.Protocol->SgCompensations1, 1, 1) - 10) < 0.01);
    W.Protocol->BtnUpdateChannel->click();
    QVERIFY(std::abs(Pair(W.Main, 1, 0, true).Mean - 10.0f) < 0.01f);
  }

  void BaselinesAndBaselineCorrectedSpillover() {
    TWindow W;
    TStandards Set(W.Main);
    ChooseChannel(W.Main, *W.Charts, 0);
    // Baselines read neither raw bound.
    W.Commands->EdMinRaw->setText("x");
    W.Commands->EdMaxRaw->setText("x");
    W.Dialogs.Answers.push_back(TAnswer::Yes);
    W.Commands->BtnDeriveCompensationClick(3);
    QVERIFY(W.Dialogs.Errors.empty());
    TSglArray Baselines;
    W.Main.CurrentProtocol->GetBaselines(Baselines);
    QCOMPARE(Baselines.size(), size_t(3));
    QVERIFY(Baselines[0] > 0 && Baselines[1] > 0 && Baselines[2] > 0);

    // The corrected estimate goes to the second array only (B of the A standard stays below
    // B's baseline, C does not).
    W.Commands->EdMinRaw->setText("25");
    W.Commands->EdMaxRaw->setText("1000");
    const TCompensationPair RawBefore = Pair(W.Main, 1, 0, true);
    W.Dialogs.Answers.push_back(TAnswer::Yes);
    W.Commands->BtnDeriveCompensationClick(2);
    QVERIFY(W.Dialogs.Errors.empty());
    QCOMPARE(Pair(W.Main, 0, 0, false).Mean, 100.0f);
    QVERIFY(Pair(W.Main, 2, 0, false).Mean > 0);
    QCOMPARE(Pair(W.Main, 1, 0, true).Mean, RawBefore.Mean);
  }

  void BadRawWindowsDeriveNothing() {
    TWindow W;
    TStandards Set(W.Main);
    ChooseChannel(W.Main, *W.Charts, 0);
    const auto Unchanged = [&W] {
      return !W.Main.ProtocolModified() && Pair(W.Main, 1, 0, true).Mean == 0.0f;
    };
    W.Charts->BtnShowDerive->click();
    W.Commands->EdMinRaw->setText("x");
    W.Dialogs.Answers.push_back(TAnswer::Yes);
    W.Commands->BtnDeriveCompensationClick(1);
    QCOMPARE(W.Dialogs.Errors, std::vector<std::string>{"Value must be a number"});
    QVERIFY(Unchanged());
    QCOMPARE(W.Charts->BtnShowDerive->text(), QString("Derive..."));

    // A minimum not below the maximum.
    W.Commands->EdMinRaw->setText("500");
    W.Commands->EdMaxRaw->setText("500");
    W.Dialogs.Answers.push_back(TAnswer::Yes);
    W.Commands->BtnDeriveCompensationClick(4);
    QCOMPARE(W.Dialogs.Errors.size(), size_t(2));
    QVERIFY(Unchanged());

    // A window no event of A reaches, for one channel and for all.
    W.Commands->EdMinRaw->setText("5000");
    W.Commands->EdMaxRaw->setText("6000");
    for (int Tag : {1, 2, 4}) {
      W.Dialogs.Answers.push_back(TAnswer::Yes);
      W.Commands->BtnDeriveCompensationClick(Tag);
      QVERIFY(W.Dialogs.Errors.back().find("nothing was derived") != std::string::npos);
      QVERIFY(Unchanged());
    }
    QCOMPARE(W.Dialogs.Errors.size(), size_t(5));

    // Without a channel distribution nothing is asked.
    W.Main.DistributionChannel = -1;
    const size_t Asked = W.Dialogs.Questions.size();
    W.Commands->BtnDeriveCompensationClick(1);
    QCOMPARE(W.Dialogs.Questions.size(), Asked);
  }

  void AutocompensateWholeMatrix() {
    TWindow W;
    TStandards Set(W.Main);
    ChooseChannel(W.Main, *W.Charts, 1);
    W.Commands->CbEstimateGaussian->setChecked(true);
    W.Dialogs.Answers.push_back(TAnswer::Yes);
    W.Commands->BtnDeriveCompensationClick(4);
    QVERIFY(W.Dialogs.Errors.empty());
    QVERIFY(std::abs(Pair(W.Main, 1, 0, true).Mean - 10.0f) < 0.01f);
    QVERIFY(std::abs(Pair(W.Main, 0, 1, true).Mean - 2.0f) < 0.01f);
    QCOMPARE(Pair(W.Main, 2, 2, true).Mean, 100.0f);
    // A and B stood for events and get a curve; C, the strongest of none, does not.
    QCOMPARE(W.Main.CurrentProtocol->GetChannel(0)->PeakCount(), 1);
    QCOMPARE(W.Main.CurrentProtocol->GetChannel(1)->PeakCount(), 1);
    QCOMPARE(W.Main.CurrentProtocol->GetChannel(2)->PeakCount(), 0);
  }

  void ResetGivesEachChannelItsOwnColumn() {
    TWindow W;
    W.Main.SetCurrentProtocol(
        MakeProtocol({}, {{"A", "FL1"}, {"B", "FL2"}, {"C", "FL3"}}, {{90, 5, 1}, {8, 95, 2}, {3, 4, 97}}));
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) W.Main.CurrentProtocol->GetChannel(i)->SetCompPair(j, {7.0f, 1.5f}, false);
    W.Protocol->SgChannels->setCurrentCell(2, 0);
    QCOMPARE(W.Protocol->ChannelShown(), 2);
    QVERIFY(W.Commands->CbResetAllChannels->isChecked());

    W.Dialogs.Answers.push_back(TAnswer::No);
    W.Commands->BtnResetCompensationsClick();
    QCOMPARE(W.Dialogs.Questions.back(), std::string("Reset compensation values to zero spillover?"));
    QCOMPARE(Pair(W.Main, 0, 0, true).Mean, 90.0f);

    W.Dialogs.Answers.push_back(TAnswer::Yes);
    W.Commands->BtnResetCompensationsClick();
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (bool IsComp : {true, false}) {
          const TCompensationPair P = Pair(W.Main, i, j, IsComp);
          QCOMPARE(P.Mean, i == j ? 100.0f : 0.0f);
          QCOMPARE(P.Deviation, 0.0f);
        }
    // The editor shows channel 2 as it now is.
    QCOMPARE(W.Protocol->ChannelShown(), 2);
    QCOMPARE(Cell(W.Protocol->SgCompensations1, 1, 2), 100.0);
    QCOMPARE(Cell(W.Protocol->SgCompensations1, 1, 1), 0.0);
    QCOMPARE(Cell(W.Protocol->SgCompensations2, 1, 2), 100.0);

    // Only the selected row.
    W.Main.CurrentProtocol->GetChannel(0)->SetCompPair(1, {12.0f, 1.0f}, true);
    W.Main.CurrentProtocol->GetChannel(2)->SetCompPair(1, {12.0f, 1.0f}, true);
    W.Protocol->SgChannels->setCurrentCell(3, 0);
    W.Commands->CbResetAllChannels->setChecked(false);
    W.Dialogs.Answers.push_back(TAnswer::Yes);
    W.Commands->BtnResetCompensationsClick();
    QCOMPARE(Pair(W.Main, 2, 1, true).Mean, 0.0f);
    QCOMPARE(Pair(W.Main, 2, 2, true).Mean, 100.0f);
    QCOMPARE(Pair(W.Main, 0, 1, true).Mean, 12.0f);
  }

  void MatrixImportFromClipboard() {
    TWindow W;
    W.Main.SetCurrentProtocol(MakeProtocol({}, {{"A", "FL1"}, {"B", "FL2"}, {"C", "FL3"}, {"D", "FL4"}}));
    W.Main.MarkProtocolSaved();
    QClipboard* Clipboard = QGuiApplication::clipboard();
    Clipboard->setText("100\t0\t0\n0\t100\t0\n0\t0\t100\n");
    W.Main.MenuItem("MnImportMatrix")->trigger();
    QCOMPARE(W.Dialogs.Errors, std::vector<std::string>{"Invalid input matrix"});
    QCOMPARE(Pair(W.Main, 0, 0, true).Mean, 100.0f);
    QVERIFY(!W.Main.ProtocolModified());
    QCOMPARE(W.Main.Pages("PgProtocol")->currentWidget(), W.Main.Page("TsMatrix"));

    // A value above 100 is refused too.
    Clipboard->setText("100 0 0 0\n0 100 0 0\n0 0 100 0\n0 0 0 101\n");
    W.Commands->BtnShowMatrixClick(3);
    QCOMPARE(W.Dialogs.Errors.size(), size_t(2));
    // So is a text of more lines than a protocol can have channels, before it is sized.
    Clipboard->setText(QString(40000, '\n'));
    W.Commands->BtnShowMatrixClick(3);
    QCOMPARE(W.Dialogs.Errors, (std::vector<std::string>(3, "Invalid input matrix")));
    QVERIFY(!W.Main.ProtocolModified());

    // Lines are columns: line r, field k is channel k's spill-over from channel r.
    Clipboard->setText("90\t8\t0\t0\r\n10\t92\t0\t0\r\n0\t0\t100\t3\r\n0\t0\t0\t97\r\n");
    W.Commands->BtnImportMatrix->click();
    QCOMPARE(W.Dialogs.Errors.size(), size_t(3));
    QCOMPARE(Pair(W.Main, 0, 0, true).Mean, 90.0f);
    QCOMPARE(Pair(W.Main, 0, 1, true).Mean, 10.0f);
    QCOMPARE(Pair(W.Main, 1, 0, true).Mean, 8.0f);
    QCOMPARE(Pair(W.Main, 3, 2, true).Mean, 3.0f);
    QVERIFY(W.Main.ProtocolModified());
  }

  void MatrixShowExportAndSelect() {
    TWindow W;
    W.Main.SetCurrentProtocol(MakeProtocol({}, {{"A", "FL1"}, {"B", "FL2"}, {"C", "FL3"}}, {{100, 10, 0}, {0, 100, 0}, {0, 0, 100}}));
    W.Main.PgMain->setCurrentWidget(W.Main.Page("TsExplore"));
    W.Main.MenuItem("MnShowmatrix")->trigger();
    QCOMPARE(W.Main.PgMain->currentWidget(), W.Main.Page("TsProtocol"));
    QCOMPARE(W.Main.Pages("PgProtocol")->currentWidget(), W.Main.Page("TsMatrix"));
    QTableWidget* Grid = W.Commands->SgMatrix;
    QCOMPARE(Grid->rowCount(), 4);
    QCOMPARE(Grid->item(1, 0)->text(), QString("A"));
    QCOMPARE(Grid->item(3, 0)->text(), QString("C"));
    // The inverse of [[1, 0.1, 0], [0, 1, 0], [0, 0, 1]].
    QVERIFY(std::abs(Cell(Grid, 1, 1) - 1) < 1e-4);
    QVERIFY(std::abs(Cell(Grid, 1, 2) + 0.1) < 1e-4);
    QVERIFY(std::abs(Cell(Grid, 3, 3) - 1) < 1e-4);
    QVERIFY(W.Dialogs.Errors.empty());

    // Exported as CSV through the save dialog.
    TempFolder Folder;
    W.Commands->MatrixTargets.Save->setChecked(true);
    W.Dialogs.FileAnswers.push_back(Folder / "matrix.csv");
    W.Main.MenuItem("MnExportMatrix")->trigger();
    const std::string Text = ReadText(Folder / "matrix.csv");
    QVERIFY2(Text.find("\"A\"") != std::string::npos || Text.find("A,") != std::string::npos, Text.c_str());
    QVERIFY(Text.find("-0.1000") != std::string::npos);

    // A double-click shows the row's channel in the editor.
    W.Commands->SgMatrixDblClick(3, 2);
    QCOMPARE(W.Main.Pages("PgProtocol")->currentWidget(), W.Main.Page("TsChannel"));
    QCOMPARE(W.Protocol->ChannelShown(), 3);
    QCOMPARE(W.Protocol->SgChannels->currentRow(), 3);

    // A matrix that cannot be inverted leaves the values empty and says so.
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) W.Main.CurrentProtocol->GetChannel(i)->SetCompPair(j, {50.0f, 0.0f}, true);
    W.Commands->BtnShowMatrix->click();
    QCOMPARE(W.Dialogs.Errors, std::vector<std::string>{"The spill-over matrix cannot be inverted"});
    QCOMPARE(Grid->item(1, 0)->text(), QString("A"));
    QCOMPARE(Grid->item(1, 1)->text(), QString());

    // Another protocol clears the sheet; without one the commands only switch sheets.
    W.Main.SetCurrentProtocol(nullptr);
    QCOMPARE(Grid->rowCount(), 0);
    W.Main.Pages("PgProtocol")->setCurrentIndex(0);
    W.Commands->BtnShowMatrixClick(1);
    QCOMPARE(W.Main.Pages("PgProtocol")->currentWidget(), W.Main.Page("TsMatrix"));
    QCOMPARE(Grid->rowCount(), 0);
  }
};

static RegisterUiTest<CompensationCommandsTest> Register;

#include "CompensationCommandsTest.moc"
