// The protocol page: protocol commands, the channel, gate and filter editors and the genotypes.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>
#include <cmath>

#include "common/Colours.h"
#include "common/CommandGuard.h"
#include "Files.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "pages/ProtocolPage.h"
#include "pages/ReadingPage.h"
#include "DataSetHelpers.h"
#include "ScriptedDialogs.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "Streams.h"

using namespace qv;
using namespace qv::test;
using TAnswer = Dialogs::TAnswer;

namespace {

// Scripted input boxes on top of the scripted questions and file dialogs.
class InputDialogs : public ScriptedDialogs {
 public:
  std::deque<std::string> Inputs;
  bool Input(const std::string&, const std::string&, std::string& Value) override {
    if (Inputs.empty()) return false;
    Value = Inputs.front();
    Inputs.pop_front();
    return true;
  }
};

TProtocolPage& PageOf(TFmMain& Main) { return *Main.findChild<TProtocolPage*>("ProtocolPage"); }

// A new protocol of Channels x Gates through the New command; the old one is discarded.
void NewProtocol(TFmMain& Main, InputDialogs& Dialogs, int Channels, int Gates) {
  Dialogs.Inputs = {std::to_string(Channels), std::to_string(Gates)};
  Dialogs.Answers = {TAnswer::No};
  GuardedCommand([&] { PageOf(Main).BtnProtocolClick(1); });
  Dialogs.Answers.clear();
}

void Select(QTableWidget* Grid, int Row) { Grid->setCurrentCell(Row, 0); }

bool Near(double A, double B) { return std::fabs(A - B) < 1e-5; }

void Click(QAbstractButton* Button) { QTest::mouseClick(Button, Qt::LeftButton); }

QPushButton* ButtonOf(TFmMain& Main, const char* Name) { return Main.findChild<QPushButton*>(Name); }

// The main window on screen with Sheet of the protocol page in front.
void ShowSheet(TFmMain& Main, const char* Sheet) {
  Main.PgMain->setCurrentWidget(Main.Page("TsProtocol"));
  for (QWidget* W = Main.Page(Sheet); W && W != Main.PgMain; W = W->parentWidget())
    if (auto* Tabs = qobject_cast<QTabWidget*>(W->parentWidget() ? W->parentWidget()->parentWidget() : nullptr))
      Tabs->setCurrentWidget(W);
  if (!Main.isVisible()) {
    Main.show();
    QApplication::setActiveWindow(&Main);
    QVERIFY(QTest::qWaitForWindowActive(&Main));
  }
  Pump();
}

// Sheet in front, then a new protocol of Channels x Gates through the Protocol menu.
void NewOnSheet(TFmMain& Main, InputDialogs& Dialogs, const char* Sheet, int Channels, int Gates) {
  ShowSheet(Main, Sheet);
  Dialogs.Inputs = {std::to_string(Channels), std::to_string(Gates)};
  Main.MenuItem("MnNewProtocol")->trigger();
}

void ClickCell(QTableWidget* Grid, int Row, int Col = 0) {
  Grid->scrollToItem(Grid->item(Row, Col));
  QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, Grid->visualItemRect(Grid->item(Row, Col)).center());
}

// Replaces the edit's text by typing Keys through its key filter.
void Type(QLineEdit* Edit, const QString& Keys) {
  Edit->clear();
  QTest::keyClicks(Edit, Keys);
}

// Types Keys into cell (Row, Col) of Grid through its cell editor and commits them.
void TypeIntoCell(QTableWidget* Grid, int Row, int Col, const QString& Keys) {
  Grid->setCurrentCell(Row, Col);
  Grid->editItem(Grid->item(Row, Col));
  auto* Cell = qobject_cast<QLineEdit*>(Grid->indexWidget(Grid->model()->index(Row, Col)));
  QVERIFY(Cell);
  Cell->clear();
  QTest::keyClicks(Cell, Keys);
  QTest::keyClick(Cell, Qt::Key_Return);
  Pump();
}

QColor BaseOf(const QLineEdit* Edit) { return Edit->palette().color(QPalette::Base); }
const QColor SkyBlue = FromPlatformColour(0xF0CAA6);

// The protocol as a data file holds it: read back from a stream, so it has no file of its own.
std::unique_ptr<TProtocol> ProtocolFromDataFile(const std::string& Folder) {
  auto Saved = TProtocol::OpenFile(SaveTwoChannelProtocol(Folder, "source.protocol"));
  TMemoryStream Stream;
  Saved->WriteToStream(Stream, false);
  Stream.Seek(0);
  auto P = TProtocol::CreateFromStream(Stream);
  DeleteFileIfExists(Folder + "source.protocol");
  return P;
}

// Runs in a fresh working folder, so that a file written under a bare name shows up there.
class ScopedWorkingFolder {
 public:
  ScopedWorkingFolder() : FOld(QDir::currentPath()) { QDir::setCurrent(QString::fromStdString(FFolder.Path())); }
  ~ScopedWorkingFolder() { QDir::setCurrent(FOld); }
  std::string operator/(const std::string& Name) const { return FFolder / Name; }
  bool Empty() const { return QDir(QString::fromStdString(FFolder.Path())).isEmpty(); }

 private:
  TempFolder FFolder;
  QString FOld;
};

}  // namespace

class ProtocolPageTest : public QObject {
  Q_OBJECT
 private slots:
  void NewBuildsDefaultsAndRefusesBadCounts() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewProtocol(Main, Dialogs, 3, 2);
    TProtocol* P = Main.CurrentProtocol.get();
    QVERIFY(P);
    QCOMPARE(P->ChannelCount(), 3);
    QCOMPARE(P->GateCount(), 2);
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(P->GetChannel(i)->ChannelName, "Ch_" + std::to_string(i + 1));
      QCOMPARE(P->GetChannel(i)->ChannelTag, std::to_string(i + 1));
      for (int j = 0; j < 3; ++j) {
        TCompensationPair Comp, Base;
        P->GetChannel(i)->GetCompPair(j, true, Comp);
        P->GetChannel(i)->GetCompPair(j, false, Base);
        QCOMPARE(Comp.Mean, i == j ? 100.0f : 0.0f);
        QCOMPARE(Base.Mean, i == j ? 100.0f : 0.0f);
        QCOMPARE(Comp.Deviation, 0.0f);
      }
    }
    QCOMPARE(P->GetGate(0)->Name, std::string("Gate_1"));
    QCOMPARE(P->GetGate(1)->Name, std::string("Gate_2"));
    QCOMPARE(Page.SgCompensations1->columnCount(), 4);
    QCOMPARE(Page.SgCompensations2->columnCount(), 4);
    QCOMPARE(Page.ChannelShown(), 1);
    QCOMPARE(Page.EdChannelName->text(), QString("Ch_1"));
    QCOMPARE(Page.GateShown(), 1);

    // Counts that are not whole numbers in range, or a cancelled box, keep the protocol.
    for (const char* Bad : {"abc", "0", "16"}) {
      Dialogs.Errors.clear();
      Dialogs.Inputs = {Bad, "2"};
      GuardedCommand([&] { Page.BtnProtocolClick(1); });
      QCOMPARE(Main.CurrentProtocol.get(), P);
      QCOMPARE(Dialogs.Errors.size(), size_t(1));
      QVERIFY(Dialogs.Errors[0].find("Number of Channels") != std::string::npos);
    }
    Dialogs.Inputs = {"3", "100"};
    GuardedCommand([&] { Page.BtnProtocolClick(1); });
    QCOMPARE(Main.CurrentProtocol.get(), P);
    Dialogs.Inputs.clear();
    GuardedCommand([&] { Page.BtnProtocolClick(1); });
    QCOMPARE(Main.CurrentProtocol.get(), P);
    QVERIFY(Dialogs.Questions.empty());  // nothing was replaced, so nothing was asked
  }

  void SaveRunsSaveAsWithoutAProtocolFile() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewProtocol(Main, Dialogs, 2, 1);
    const std::string First = Home.Path() + "First.protocol";
    Dialogs.FileAnswers = {First};
    GuardedCommand([&] { Page.BtnProtocolClick(23); });
    QVERIFY(FileExists(First));
    QCOMPARE(Main.CurrentProtocol->FileName, First);
    QVERIFY(!Main.ProtocolModified());
    QCOMPARE(Page.CmBxProtocols->findText("First.protocol") >= 0, true);

    // Save As always asks.
    const std::string Second = Home.Path() + "Second.protocol";
    Dialogs.FileAnswers = {Second};
    GuardedCommand([&] { Page.BtnProtocolClick(4); });
    QVERIFY(FileExists(Second));
    QCOMPARE(Main.CurrentProtocol->FileName, Second);
    // A cancelled dialog changes neither the name nor the file.
    Dialogs.FileAnswers.clear();
    GuardedCommand([&] { Page.BtnProtocolClick(4); });
    QCOMPARE(Main.CurrentProtocol->FileName, Second);
  }

  void ListReadsProgramDirAndKeepsProtocolOnBadFile() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    SaveTwoChannelProtocol(Home.Path(), "Two.protocol", "from the list");
    WriteText(Home.Path() + "Broken.protocol", "not a protocol");
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    QCOMPARE(Page.CmBxProtocols->count(), 2);
    QVERIFY(!Main.CurrentProtocol);  // filling the list opens nothing
    Main.ListProtocolFiles();
    QVERIFY(!Main.CurrentProtocol);

    Page.CmBxProtocols->setCurrentIndex(Page.CmBxProtocols->findText("Two.protocol"));
    GuardedCommand([&] { Page.BtnProtocolClick(5); });
    QVERIFY(Main.CurrentProtocol);
    QCOMPARE(Main.CurrentProtocol->ChannelCount(), 2);
    QCOMPARE(Page.MeNotes->toPlainText(), QString("from the list"));
    QCOMPARE(Main.PnProtocolName->text(), QString(" Two.protocol"));
    TProtocol* Kept = Main.CurrentProtocol.get();

    Page.CmBxProtocols->setCurrentIndex(Page.CmBxProtocols->findText("Broken.protocol"));
    GuardedCommand([&] { Page.BtnProtocolClick(5); });
    QCOMPARE(Main.CurrentProtocol.get(), Kept);

    // An entry whose file vanished is named.
    Page.CmBxProtocols->setCurrentIndex(Page.CmBxProtocols->findText("Two.protocol"));
    DeleteFileIfExists(Home.Path() + "Two.protocol");
    Dialogs.Errors.clear();
    GuardedCommand([&] { Page.BtnProtocolClick(5); });
    QCOMPARE(Main.CurrentProtocol.get(), Kept);
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Dialogs.Errors[0].find("Two.protocol") != std::string::npos);
  }

  void SaveAndCloseKeepUnstoredEdits() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    const std::string File = SaveTwoChannelProtocol(Home.Path(), "Edit.protocol");
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    Main.SetCurrentProtocol(TProtocol::OpenFile(File));
    QVERIFY(!Main.ProtocolModified());
    Page.EdChannelName->setText("Green");
    Page.MeNotes->setPlainText("edited notes");
    GuardedCommand([&] { Page.BtnProtocolClick(23); });
    auto Saved = TProtocol::OpenFile(File);
    QCOMPARE(Saved->GetChannel(0)->ChannelName, std::string("Green"));
    QCOMPARE(Saved->Notes, std::string("edited notes"));

    // The unsaved question sees the edit on screen.
    Page.EdMinGate->setText("42");
    Dialogs.Answers = {TAnswer::Yes};
    QVERIFY(Main.close());
    QCOMPARE(Dialogs.Questions.size(), size_t(1));
    QCOMPARE(TProtocol::OpenFile(File)->GetChannel(0)->Minimum_Value_Threshold, 42.0f);
  }

  void SelectStoresEditsAndBadFieldsStoreNothing() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewProtocol(Main, Dialogs, 3, 2);
    TProtocol* P = Main.CurrentProtocol.get();

    // Browsing never changes a stored value.
    const std::string Before = [&] {
      TMemoryStream S;
      P->WriteToStream(S, false);
      return std::string(S.Bytes().begin(), S.Bytes().end());
    }();
    for (int Row : {2, 3, 1}) Select(Page.SgChannels, Row);
    for (int Row : {2, 1}) Select(Page.SgGlobalGates, Row);
    TMemoryStream After;
    P->WriteToStream(After, false);
    QCOMPARE(std::string(After.Bytes().begin(), After.Bytes().end()), Before);

    Page.EdMinGate->setText("55");
    Page.EdChannelName->setText("First");
    Select(Page.SgChannels, 2);
    QCOMPARE(P->GetChannel(0)->Minimum_Value_Threshold, 55.0f);
    QCOMPARE(P->GetChannel(0)->ChannelName, std::string("First"));
    QCOMPARE(Page.ChannelShown(), 2);
    QCOMPARE(Page.EdChannelName->text(), QString("Ch_2"));

    Page.EdMinGate->setText("1..5");
    Dialogs.Errors.clear();
    Select(Page.SgChannels, 3);
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Dialogs.Errors[0].find("Threshold Scoring Minimum") != std::string::npos);
    QCOMPARE(Page.ChannelShown(), 2);
    QCOMPARE(Page.SgChannels->currentRow(), 2);
    QCOMPARE(P->GetChannel(1)->Minimum_Value_Threshold, 10.0f);

    // Gates: the edit goes into the gate shown before.
    Page.EdGateName->setText("Scatter");
    Select(Page.SgGlobalGates, 2);
    QCOMPARE(P->GetGate(0)->Name, std::string("Scatter"));
    QCOMPARE(Page.GateShown(), 2);
  }

  // A typed number beyond the float range used to be stored as an infinity and reach the file.
  void NumbersBeyondAFloatAreRefusedByName() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewProtocol(Main, Dialogs, 2, 2);
    TProtocol* P = Main.CurrentProtocol.get();
    const QString Huge = "4" + QString(40, '0');

    Select(Page.SgGlobalGates, 1);
    const float ClipBefore = P->GetGate(0)->ClipHigh;
    Type(Page.EdGateClipHigh, Huge);
    Dialogs.Errors.clear();
    Select(Page.SgGlobalGates, 2);
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Dialogs.Errors[0].find("Clip High") != std::string::npos);
    QCOMPARE(Page.GateShown(), 1);
    QCOMPARE(P->GetGate(0)->ClipHigh, ClipBefore);

    Select(Page.SgChannels, 1);
    Type(Page.EdMaxGate, Huge);
    Dialogs.Errors.clear();
    Select(Page.SgChannels, 2);
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Dialogs.Errors[0].find("Threshold Scoring Maximum") != std::string::npos);
    QVERIFY(std::isfinite(P->GetChannel(0)->Maximum_Value_Threshold));
  }

  void FiltersFromCellsAndBounds() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewProtocol(Main, Dialogs, 2, 1);
    TProtocol* P = Main.CurrentProtocol.get();
    P->GetChannel(1)->SetCompPair(0, TCompensationPair{5.0f, 0.0f}, true);
    Select(Page.SgChannels, 2);
    Page.SgCompensations1->setCurrentCell(1, 1);
    GuardedCommand([&] { Page.BtnFilterClick(6); });
    QCOMPARE(P->Filters->Count(), 1);
    const TChannelFilter& F = P->Filters->Filters()[0];
    QCOMPARE(F.Name, std::string("Ch_1-->Ch_2"));
    QVERIFY(Near(F.MaxSpillover, 0.0598));
    QVERIFY(Near(F.MeanSpillover, 0.05));
    QVERIFY(Near(F.MinSpillover, 0.0402));
    QCOMPARE(Page.EdMaxSpillover->text(), QString("0.0598"));
    QCOMPARE(Page.EdMinSpillover->text(), QString("0.0402"));

    Page.EdFilterName->setText("Loose");
    Page.EdMinSpillover->setText("x");
    GuardedCommand([&] { Page.BtnFilterClick(3); });
    QCOMPARE(P->Filters->Count(), 2);
    QCOMPARE(P->Filters->Filters()[1].MinSpillover, 0.0f);
    QCOMPARE(Page.SgValidation->rowCount(), 2);
    Page.SgValidation->setCurrentCell(0, 0);
    QCOMPARE(Page.EdFilterName->text(), QString("Ch_1-->Ch_2"));
    Dialogs.Answers = {TAnswer::Yes};
    GuardedCommand([&] { Page.BtnFilterClick(4); });
    QCOMPARE(P->Filters->Count(), 1);
    QCOMPARE(Page.EdFilterName->text(), QString("Loose"));
  }

  void TogglesCalculatorsAndOutsideChanges() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewProtocol(Main, Dialogs, 2, 1);
    TProtocol* P = Main.CurrentProtocol.get();
    QVERIFY(Page.BtnChannelDisplayMinimum->isChecked());  // log scale shows native values
    Page.BtnChannelDisplayMinimum->click();               // up: log10
    Page.EdDisplayMinimum->setText("2");
    Page.BtnChannelDisplayMinimum->click();  // down: native
    QCOMPARE(Page.EdDisplayMinimum->text(), QString("100.0"));
    Page.BtnChannelDisplayMinimum->click();
    QCOMPARE(Page.EdDisplayMinimum->text(), QString("2.0000"));
    QVERIFY(!Page.BtnChannelDisplayMinimum->isChecked());
    Page.BtnChannelDisplayMinimum->click();
    Page.EdDisplayMinimum->setText("0");
    Page.BtnChannelDisplayMinimum->click();  // log10(0): springs back, text stays
    QVERIFY(Page.BtnChannelDisplayMinimum->isChecked());
    QCOMPARE(Page.EdDisplayMinimum->text(), QString("0"));
    // ... and the editor refuses to store it.
    Dialogs.Errors.clear();
    GuardedCommand([&] { Page.BtnChannelClick(2); });
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    Page.EdDisplayMinimum->setText("10");

    Page.EdCalculateGateMean->setText("100");
    GuardedCommand([&] { Page.BtnCalculateChannelMeanClick(1); });
    QCOMPARE(Page.EdGateMean->text(), QString("2.0000"));
    Page.EdCalculateGateMean->setText("-1");
    GuardedCommand([&] { Page.BtnCalculateChannelMeanClick(1); });
    QCOMPARE(Page.EdGateMean->text(), QString("2.0000"));

    // Reassign and lock reach the channel on screen, with its other edits kept.
    Page.EdChannelName->setText("Shown");
    Page.EdMinZ->setText("-0.5");
    Page.EdReassignMinimumZ->setText("-1.0");
    Dialogs.Answers = {TAnswer::Yes};
    GuardedCommand([&] { Page.BtnAssignDefaultValuesClick(2); });
    QCOMPARE(Dialogs.Questions.back(), std::string("Assign Minimum Z values for all channels to -1.0?"));
    QCOMPARE(P->GetChannel(0)->Minimum_Z, -1.0f);
    QCOMPARE(P->GetChannel(1)->Minimum_Z, -1.0f);
    QCOMPARE(P->GetChannel(0)->ChannelName, std::string("Shown"));
    QCOMPARE(Page.EdMinZ->text(), QString("-1.000"));
    GuardedCommand([&] { Page.BtnProtocolClick(9); });
    QVERIFY(P->GetChannel(0)->ForceMean && P->GetChannel(1)->ForceMean);
    QVERIFY(Page.CbForceMean->isChecked());

    // Without a fitted curve no peak is added.
    const int Peaks = P->GetChannel(0)->PeakCount();
    Dialogs.Errors.clear();
    GuardedCommand([&] { Page.BtnChannelClick(7); });
    QCOMPARE(P->GetChannel(0)->PeakCount(), Peaks);
    QCOMPARE(Dialogs.Errors, std::vector<std::string>{"No Gaussian curves are available"});
  }

  void GenotypesImportUpdateAndSelect() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewProtocol(Main, Dialogs, 3, 1);
    TProtocol* P = Main.CurrentProtocol.get();
    const std::string Good = Home.Path() + "good.txt";
    WriteText(Good, "A,0\n\nAB,0,1\n");
    Dialogs.FileAnswers = {Good};
    GuardedCommand([&] { Page.BtnGenotypeClick(9); });
    QCOMPARE(P->GenotypeCount(), 2);
    QCOMPARE(P->GetGenotype(0)->Name, std::string("A"));
    QCOMPARE(P->GetGenotype(0)->Count(), 1);
    QCOMPARE(P->GetGenotype(1)->Count(), 2);
    QCOMPARE(P->GetGenotype(1)->Components[1].ChannelIndex, 1);
    QCOMPARE(Page.GenotypeShown(), 1);
    QCOMPARE(Page.EdGenotypeName->text(), QString("A"));

    const std::string Bad = Home.Path() + "bad.txt";
    WriteText(Bad, "D,2\nC,7\n");
    Dialogs.FileAnswers = {Bad};
    Dialogs.Errors.clear();
    GuardedCommand([&] { Page.BtnGenotypeClick(9); });
    QCOMPARE(P->GenotypeCount(), 2);
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Dialogs.Errors[0].find("Line 2") != std::string::npos);

    // Select keeps the edits of the genotype shown before; Update writes into the one shown.
    Page.EdGenotypeName->setText("Renamed");
    Select(Page.SgGenotypes, 2);
    QCOMPARE(P->GetGenotype(0)->Name, std::string("Renamed"));
    QCOMPARE(Page.GenotypeShown(), 2);
    Page.EdGenotypeName->setText("Double");
    GuardedCommand([&] { Page.BtnGenotypeClick(1); });
    QCOMPARE(P->GetGenotype(1)->Name, std::string("Double"));
    QCOMPARE(P->GetGenotype(0)->Name, std::string("Renamed"));

    Dialogs.Inputs = {"Third"};
    GuardedCommand([&] { Page.BtnGenotypeClick(2); });
    QCOMPARE(P->GenotypeCount(), 3);
    QCOMPARE(Page.GenotypeShown(), 3);
    GuardedCommand([&] { Page.BtnGenotypeClick(21); });
    QCOMPARE(P->GetGenotype(1)->Name, std::string("Third"));
    QCOMPARE(Page.GenotypeShown(), 2);
    GuardedCommand([&] { Page.BtnGenotypeClick(6); });
    QCOMPARE(P->GenotypeCount(), 2);
    QCOMPARE(P->GetGenotype(1)->Name, std::string("Double"));
  }

  void PeaksAndGenotypesDeleteOnlyWhatIsThere() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewProtocol(Main, Dialogs, 2, 1);
    TProtocol* P = Main.CurrentProtocol.get();
    // The last peak stays.
    Page.SgGaussian->setCurrentCell(1, 1);
    Dialogs.Answers = {TAnswer::Yes};
    GuardedCommand([&] { Page.BtnChannelClick(8); });
    QCOMPARE(P->GetChannel(0)->PeakCount(), 1);
    Main.Hooks.ApplyProtocolChange([&] { P->GetChannel(0)->AddPeak(false, 0, 2.5f, 0.2f, 0, 0, 0, 0, 2, -2); });
    QCOMPARE(Page.SgGaussian->rowCount(), 3);
    // The calculator writes the log10 mean into the selected peak; an update stores it.
    Page.SgGaussian->setCurrentCell(2, 1);
    Page.EdCalculateChannelMean->setText("1000");
    GuardedCommand([&] { Page.BtnCalculateChannelMeanClick(2); });
    QCOMPARE(Page.SgGaussian->item(2, 1)->text(), QString("3.0000"));
    Page.SgGaussian->setCurrentCell(1, 1);
    Dialogs.Answers = {TAnswer::Yes};
    GuardedCommand([&] { Page.BtnChannelClick(8); });
    QCOMPARE(Dialogs.Questions.back(), std::string("Delete this Gaussian curve?"));
    QCOMPARE(P->GetChannel(0)->PeakCount(), 1);
    QCOMPARE(P->GetChannel(0)->Peaks[0].Mean, 3.0f);

    // Genotype commands without genotypes change nothing; Add needs a name.
    for (int Tag : {1, 4, 5, 6, 21, 22}) GuardedCommand([&] { Page.BtnGenotypeClick(Tag); });
    QCOMPARE(P->GenotypeCount(), 0);
    Dialogs.Inputs = {"  "};
    GuardedCommand([&] { Page.BtnGenotypeClick(2); });
    QCOMPARE(P->GenotypeCount(), 0);
    Dialogs.Inputs = {"Only"};
    GuardedCommand([&] { Page.BtnGenotypeClick(2); });
    GuardedCommand([&] { Page.BtnGenotypeClick(6); });
    QCOMPARE(P->GenotypeCount(), 0);
    QCOMPARE(Page.GenotypeShown(), 0);
  }

  void ReplacementZeroesCurrentItems() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    const std::string File = SaveTwoChannelProtocol(Home.Path(), "Other.protocol");
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewProtocol(Main, Dialogs, 3, 1);
    Select(Page.SgChannels, 3);
    Page.EdChannelName->setText("unsaved");
    // The replacement was asked about; the edit must not reach the new protocol.
    Dialogs.Answers = {TAnswer::No};
    Dialogs.FileAnswers = {File};
    GuardedCommand([&] { Page.BtnProtocolClick(2); });
    QCOMPARE(Main.CurrentProtocol->ChannelCount(), 2);
    QCOMPARE(Main.CurrentProtocol->GetChannel(1)->ChannelName, std::string("RFP"));
    QCOMPARE(Page.ChannelShown(), 1);
    QCOMPARE(Page.EdChannelName->text(), QString("GFP"));
    Dialogs.Answers = {TAnswer::No};
    GuardedCommand([&] { Page.BtnProtocolClick(49); });
    QVERIFY(!Main.CurrentProtocol);
    QCOMPARE(Main.PnProtocolName->text(), QString(" <no protocol>"));
    QVERIFY(!Page.BtnSaveProtocol->isEnabled());
    QCOMPARE(Page.ChannelShown(), 0);
  }

  void ProtocolsWithoutAFileOfTheirOwnAreSavedThroughTheDialog() {
    ScopedProgramHome Home;
    ScopedWorkingFolder Work;
    InputDialogs Dialogs;
    {
      TFmMain Main;
      TProtocolPage& Page = PageOf(Main);
      ShowSheet(Main, "TsChannelData");
      const std::string Before = ProtocolFile;

      // New over an edited protocol from a data file: Yes asks where to save it.
      Main.SetCurrentProtocol(ProtocolFromDataFile(Home.Path()));
      QCOMPARE(Main.CurrentProtocol->FileName, std::string("FileStream"));
      Type(Page.EdChannelName, "Edited");
      Dialogs.Inputs = {"2", "1"};
      Dialogs.Answers = {TAnswer::Yes};
      Dialogs.FileAnswers = {Home.Path() + "Kept.protocol"};
      Main.MenuItem("MnNewProtocol")->trigger();
      QCOMPARE(Dialogs.Questions.back(), std::string("Save changes to protocol FileStream?"));
      QVERIFY(Dialogs.FileAnswers.empty());
      QCOMPARE(TProtocol::OpenFile(Home.Path() + "Kept.protocol")->GetChannel(0)->ChannelName, std::string("Edited"));
      QCOMPARE(ProtocolFile, Home.Path() + "Kept.protocol");
      QCOMPARE(Main.CurrentProtocol->ChannelCount(), 2);
      QVERIFY(Main.CurrentProtocol->FileName.empty());

      // Save asks too; a cancelled dialog writes and remembers nothing.
      Main.SetCurrentProtocol(ProtocolFromDataFile(Home.Path()));
      ProtocolFile = Before;
      Click(Page.BtnSaveProtocol);
      QCOMPARE(Main.CurrentProtocol->FileName, std::string("FileStream"));
      QCOMPARE(ProtocolFile, Before);
      // A bare name lands in the program folder the dialog showed.
      Dialogs.FileAnswers = {"Bare.protocol"};
      Click(Page.BtnSaveProtocol);
      QCOMPARE(Main.CurrentProtocol->FileName, ProgramDir + "Bare.protocol");
      QVERIFY(FileExists(ProgramDir + "Bare.protocol"));
      QCOMPARE(ProtocolFile, ProgramDir + "Bare.protocol");
      QCOMPARE(Main.PnProtocolName->text(), QString(" Bare.protocol"));

      // Clear: Yes and a cancelled dialog keep the protocol.
      Main.SetCurrentProtocol(ProtocolFromDataFile(Home.Path()));
      Type(Page.EdChannelName, "Again");
      Dialogs.Answers = {TAnswer::Yes};
      Main.MenuItem("MnClearProtocol")->trigger();
      QVERIFY(Main.CurrentProtocol);
      QVERIFY(Work.Empty());

      // Closing remembers no protocol that has no file of its own, even when a file of that
      // name lies in the working folder.
      SaveTwoChannelProtocol(Work / "", "FileStream");
      ProtocolFile = Before;
      Dialogs.Answers = {TAnswer::No};
      QVERIFY(Main.close());
      QCOMPARE(ProtocolFile, Before);
    }
    // A relative name in the settings is not opened at the next start, nor kept.
    WriteText(Home.Path() + "FCS.INI", "[Directories]\nProtocolFile=FileStream\nLoadProtocol=1\n");
    TFmMain Main;
    QVERIFY(!Main.CurrentProtocol);
    QVERIFY(ProtocolFile.empty());
  }

  void DisplayTogglesRefuseOverflowAndColourTheirEdits() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    ShowSheet(Main, "TsChannelData");
    Dialogs.Inputs = {"2", "1"};
    Main.MenuItem("MnNewProtocol")->trigger();
    // Log scale: toggles down, edits sky blue.
    QVERIFY(Page.BtnChannelDisplayMinimum->isChecked());
    QCOMPARE(BaseOf(Page.EdDisplayMinimum), SkyBlue);
    QCOMPARE(BaseOf(Page.EdDisplayMaximum), SkyBlue);
    Click(Page.BtnChannelDisplayMinimum);
    QVERIFY(BaseOf(Page.EdDisplayMinimum) != SkyBlue);
    // 10^4933 does not fit a number: refused, naming the field, toggle and text as they were.
    Type(Page.EdDisplayMinimum, "4933");
    Click(Page.BtnChannelDisplayMinimum);
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Dialogs.Errors[0].find("Display Minimum") != std::string::npos);
    QVERIFY(!Page.BtnChannelDisplayMinimum->isChecked());
    QCOMPARE(Page.EdDisplayMinimum->text(), QString("4933"));
    Type(Page.EdDisplayMinimum, "3");
    Click(Page.BtnChannelDisplayMinimum);
    QCOMPARE(Page.EdDisplayMinimum->text(), QString("1000.0"));
    QCOMPARE(BaseOf(Page.EdDisplayMinimum), SkyBlue);

    // Channel 2 on the linear scale shows white edits; channel 1 shows blue ones again.
    ClickCell(Page.SgChannels, 2);
    QCOMPARE(Page.ChannelShown(), 2);
    Page.CmBxChannelScale->setFocus();
    QTest::keyClick(Page.CmBxChannelScale, Qt::Key_Down);
    QCOMPARE(Page.CmBxChannelScale->currentText(), QString("Linear"));
    Click(Page.BtnUpdateChannel);
    QVERIFY(!Page.BtnChannelDisplayMaximum->isChecked());
    QVERIFY(BaseOf(Page.EdDisplayMaximum) != SkyBlue);
    Click(Page.BtnChannelDisplayMaximum);  // down by hand: blue
    QCOMPARE(BaseOf(Page.EdDisplayMaximum), SkyBlue);
    ClickCell(Page.SgChannels, 1);
    QCOMPARE(BaseOf(Page.EdDisplayMinimum), SkyBlue);
    QCOMPARE(BaseOf(Page.EdDisplayMaximum), SkyBlue);
    ClickCell(Page.SgChannels, 2);  // shown again on the linear scale: white
    QVERIFY(BaseOf(Page.EdDisplayMinimum) != SkyBlue);
    QVERIFY(BaseOf(Page.EdDisplayMaximum) != SkyBlue);
    ClickCell(Page.SgChannels, 1);
    QCOMPARE(BaseOf(Page.EdDisplayMaximum), SkyBlue);

    // The gate toggles refuse the same way. A default gate's maximum of 1,000,000 on the log
    // scale has no native value, so it shows as the log value with its toggle up.
    ShowSheet(Main, "TsGlobalGates");
    QCOMPARE(BaseOf(Page.EdGateDisplayMinimum), SkyBlue);
    QVERIFY(!Page.BtnGateDisplayMaximum->isChecked());
    QVERIFY(BaseOf(Page.EdGateDisplayMaximum) != SkyBlue);
    Type(Page.EdGateDisplayMaximum, "5000");
    Dialogs.Errors.clear();
    Click(Page.BtnGateDisplayMaximum);
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Dialogs.Errors[0].find("Gate Display Maximum") != std::string::npos);
    QVERIFY(!Page.BtnGateDisplayMaximum->isChecked());
    QVERIFY(Main.isVisible());
  }

  void FiltersKeepTheirChannelsAndShowTheirNames() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    ShowSheet(Main, "TsSpillovers");
    Dialogs.Inputs = {"2", "1"};
    Main.MenuItem("MnNewProtocol")->trigger();
    TProtocol* P = Main.CurrentProtocol.get();
    // Without channels chosen no filter is stored.
    Type(Page.EdFilterName, "None");
    Click(ButtonOf(Main, "BtnAddValidation"));
    QCOMPARE(P->Filters->Count(), 0);
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Dialogs.Errors[0].find("Source Channel") != std::string::npos);

    Page.CmBxSourceChannel->setFocus();
    QTest::keyClick(Page.CmBxSourceChannel, Qt::Key_Down);
    Page.CmBxSpilloverChannel->setFocus();
    QTest::keyClick(Page.CmBxSpilloverChannel, Qt::Key_Down);
    QTest::keyClick(Page.CmBxSpilloverChannel, Qt::Key_Down);
    Type(Page.EdFilterName, "GreenToRed");
    Click(ButtonOf(Main, "BtnAddValidation"));
    QCOMPARE(P->Filters->Count(), 1);
    QCOMPARE(P->Filters->Filters()[0].SourceChannel, 0);
    QCOMPARE(P->Filters->Filters()[0].SpilloverChannel, 1);

    // Update Channel (button and menu) refills the combos; the filter keeps its channels.
    ShowSheet(Main, "TsChannelData");
    Click(Page.BtnUpdateChannel);
    Main.MenuItem("MnUpdateChannel")->trigger();
    ShowSheet(Main, "TsSpillovers");
    QCOMPARE(Page.CmBxSourceChannel->currentIndex(), 0);
    QCOMPARE(Page.CmBxSpilloverChannel->currentIndex(), 1);
    Type(Page.EdFilterName, "Renamed");
    Click(ButtonOf(Main, "BtnUpdateSpillover"));
    QCOMPARE(P->Filters->Filters()[0].SourceChannel, 0);
    QCOMPARE(P->Filters->Filters()[0].SpilloverChannel, 1);
    QCOMPARE(P->Filters->Filters()[0].Name, std::string("Renamed"));
    QCOMPARE(Page.SgValidation->item(0, 0)->text(), QString("Renamed"));
  }

  void TagAndNumberEditsTakeTheirKeys() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    ShowSheet(Main, "TsChannelData");
    Dialogs.Inputs = {"2", "1"};
    Main.MenuItem("MnNewProtocol")->trigger();
    // The tag keeps one upper-case character.
    Type(Page.EdChannelTag, "ab");
    QCOMPARE(Page.EdChannelTag->text(), QString("B"));
    Click(Page.BtnUpdateChannel);
    QCOMPARE(Main.CurrentProtocol->GetChannel(0)->ChannelTag, std::string("B"));
    // Entering the tag, the label or the autofluorescence fills an empty tag from the name.
    Type(Page.EdChannelName, "mCherry");
    Page.EdChannelTag->clear();
    QTest::mouseClick(Page.EdChannelFCSLabel, Qt::LeftButton);
    QCOMPARE(Page.EdChannelTag->text(), QString("m"));
    Page.EdChannelTag->clear();
    QTest::mouseClick(Page.EdChannelTag, Qt::LeftButton);
    QCOMPARE(Page.EdChannelTag->text(), QString("m"));
    Type(Page.EdChannelTag, "x");
    ShowSheet(Main, "TsChannelNotes");
    QTest::mouseClick(Page.EdBaseline, Qt::LeftButton);
    QCOMPARE(Page.EdChannelTag->text(), QString("X"));  // a tag is kept
    Page.EdChannelTag->clear();
    QTest::mouseClick(Page.EdGenotype, Qt::LeftButton);
    QTest::mouseClick(Page.EdBaseline, Qt::LeftButton);
    QCOMPARE(Page.EdChannelTag->text(), QString("m"));

    // Unsigned edits drop "-", signed ones keep it; the Z order takes a decimal point.
    for (const char* Name : {"EdReassignMaximumZ", "EdGateMean", "EdGateDeviation", "EdGateMinZ", "EdGateMaxZ",
                             "EdLikelihoodThreshold", "EdStepLow", "EdStepHigh", "EdStepMin", "EdStepMax",
                             "EdMinMultiplier", "EdProcessMinZGateStep", "EdProcessStepMaxZ", "EdProcessStepMinZ",
                             "EdGateZOrder", "EdDisplayMinimum", "EdMinGate"}) {
      auto* E = Main.findChild<QLineEdit*>(Name);
      QVERIFY2(E, Name);
      Type(E, "-1.5x");
      QVERIFY2(E->text() == "1.5", Name);
    }
    for (const char* Name : {"EdMinZ", "EdReassignMinimumZ", "EdGateClipLow", "EdGateClipHigh", "EdMinMin",
                             "EdProcessMinMinZ", "EdMinLow"}) {
      auto* E = Main.findChild<QLineEdit*>(Name);
      QVERIFY2(E, Name);
      Type(E, "-1.5x");
      QVERIFY2(E->text() == "-1.5", Name);
    }
    // Spill-over percentages take no sign; a peak's clip low does.
    ShowSheet(Main, "TsCompensation");
    TypeIntoCell(Page.SgCompensations1, 1, 1, "-5");
    QCOMPARE(Page.SgCompensations1->item(1, 1)->text(), QString("5"));
    TypeIntoCell(Page.SgGaussian, 1, 5, "-2.5");
    QCOMPARE(Page.SgGaussian->item(1, 5)->text(), QString("-2.5"));
  }

  void GenotypeEditorNamesBadFieldsAndChannels() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    ShowSheet(Main, "TsGenotypes");
    Dialogs.Inputs = {"2", "1"};
    Main.MenuItem("MnNewProtocol")->trigger();
    TProtocol* P = Main.CurrentProtocol.get();
    Dialogs.Inputs = {"Green"};
    Click(ButtonOf(Main, "BtnAddGenotype"));
    QCOMPARE(P->GenotypeCount(), 1);
    const float Threshold = P->LikelihoodThreshold;
    Type(Page.EdLikelihoodThreshold, "1..5");
    Click(Page.BtnUpdateGenotype);
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Dialogs.Errors[0].find("Likelihood Threshold") != std::string::npos);
    QCOMPARE(P->LikelihoodThreshold, Threshold);
    Type(Page.EdLikelihoodThreshold, "0.5");

    // A component on channel 7 of a two-channel protocol is refused, like an imported one.
    TypeIntoCell(Page.SgFluorPeaks, 1, 1, "7");
    Dialogs.Errors.clear();
    Click(ButtonOf(Main, "BtnUpdateGenotypePeaks"));
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(Dialogs.Errors[0].find("channel 7 is not a channel of the protocol (0 to 1)") != std::string::npos);
    QCOMPARE(P->GetGenotype(0)->Components[0].ChannelIndex, 0);
    TypeIntoCell(Page.SgFluorPeaks, 1, 1, "1");
    Click(Page.BtnUpdateGenotype);
    QCOMPARE(P->GetGenotype(0)->Components[0].ChannelIndex, 1);
    QCOMPARE(P->LikelihoodThreshold, 0.5f);
  }

  // A log/native toggle writes only a value its field can read back (a double): beyond that it
  // refuses by name and springs back, so every command can still read the edit.
  void DisplayToggleWritesOnlyWhatItsFieldReads_data() {
    QTest::addColumn<QString>("Log");
    QTest::addColumn<bool>("Written");
    QTest::newRow("1e308") << "308" << true;
    QTest::newRow("1e309") << "309" << false;
    QTest::newRow("1e310") << "310" << false;
    QTest::newRow("1e4933") << "4933" << false;
  }
  void DisplayToggleWritesOnlyWhatItsFieldReads() {
    QFETCH(QString, Log);
    QFETCH(bool, Written);
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewOnSheet(Main, Dialogs, "TsChannelData", 1, 1);
    Click(Page.BtnChannelDisplayMaximum);  // up: the log value
    QCOMPARE(Page.EdDisplayMaximum->text(), QString("4.0000"));
    Type(Page.EdDisplayMaximum, Log);
    Click(Page.BtnChannelDisplayMaximum);  // down
    if (Written) {
      QVERIFY(Dialogs.Errors.empty());
      QVERIFY(Page.BtnChannelDisplayMaximum->isChecked());
      bool Number = false;
      const double Native = Page.EdDisplayMaximum->text().toDouble(&Number);
      QVERIFY(Number && std::isfinite(Native));
      QVERIFY(Near(std::log10(Native), Log.toDouble()));
    } else {
      QCOMPARE(Dialogs.Errors.size(), size_t(1));
      QVERIFY(Dialogs.Errors[0].find("too large") != std::string::npos);
      QVERIFY(Dialogs.Errors[0].find("Display Maximum") != std::string::npos);
      QVERIFY(!Page.BtnChannelDisplayMaximum->isChecked());
      QCOMPARE(Page.EdDisplayMaximum->text(), Log);
    }
    // Either way the channel takes the edit, and New and Clear go on as usual.
    Click(Page.BtnUpdateChannel);
    QCOMPARE(Dialogs.Errors.size(), size_t(Written ? 0 : 1));
    QCOMPARE(Main.CurrentProtocol->GetChannel(0)->DisplayMaximum, Log.toFloat());
    Dialogs.Answers = {TAnswer::No};
    Main.MenuItem("MnClearProtocol")->trigger();
    QVERIFY(!Main.CurrentProtocol);
    QCOMPARE(Dialogs.Errors.size(), size_t(Written ? 0 : 1));
  }

  // A message too long for the screen (a number of hundreds of digits typed into a field) keeps
  // its box on the screen and says what it is about.
  void LongMessagesKeepTheirBoxOnTheScreen() {
    // Questions and inputs scripted; messages in the plain Qt box.
    class PlainMessages : public InputDialogs {
     public:
      void Error(const std::string& Text) override { TQtDialogs().Error(Text); }
    };
    ScopedProgramHome Home;
    PlainMessages Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewOnSheet(Main, Dialogs, "TsChannelData", 1, 1);
    Click(Page.BtnChannelDisplayMaximum);
    Type(Page.EdDisplayMaximum, "1" + QString(310, '0') + ".0");
    int Width = 0;
    QString Text;
    QVERIFY(OnModal<QMessageBox>([&] { Click(Page.BtnUpdateChannel); }, [&](QMessageBox* Box) {
      Width = Box->frameGeometry().width();
      Text = Box->text();
      Box->accept();
    }));
    QVERIFY2(Width > 0 && Width <= Main.screen()->availableGeometry().width(), qPrintable(QString::number(Width)));
    QVERIFY(Text.contains("Display Maximum"));
    QVERIFY(Text.contains(QChar(0x2026)));
  }

  // The protocol list shows the current protocol's file, or nothing: not at start without one,
  // after New and Clear, nor for a protocol of a data file or of another folder.
  void ProtocolListShowsTheCurrentProtocolOrNothing() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    SaveTwoChannelProtocol(Home.Path(), "a.protocol");
    SaveTwoChannelProtocol(Home.Path(), "b.protocol");
    TempFolder Elsewhere;
    const std::string Other = SaveTwoChannelProtocol(Elsewhere.Path(), "c.protocol");
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    ShowSheet(Main, "TsChannelData");
    QComboBox* List = Page.CmBxProtocols;
    auto Shown = [List] { return List->currentIndex() < 0 ? QString() : List->currentText(); };
    QCOMPARE(List->count(), 2);
    QVERIFY(!Main.CurrentProtocol);
    QCOMPARE(Shown(), QString());
    // Chosen with the keys: the list names what is open.
    List->setFocus();
    QTest::keyClick(List, Qt::Key_Down);
    QCOMPARE(Main.CurrentProtocol->FileName, Home.Path() + "a.protocol");
    QCOMPARE(Shown(), QString("a.protocol"));
    QTest::keyClick(List, Qt::Key_Down);
    QCOMPARE(Main.CurrentProtocol->FileName, Home.Path() + "b.protocol");
    QCOMPARE(Shown(), QString("b.protocol"));
    // Another choice while the protocol holds edits, the question cancelled: it stays, named.
    Main.CurrentProtocol->Notes = "edited";
    Dialogs.Answers = {TAnswer::Cancel};
    QTest::keyClick(List, Qt::Key_Up);
    QCOMPARE(Dialogs.Questions.size(), size_t(1));
    QCOMPARE(Main.CurrentProtocol->FileName, Home.Path() + "b.protocol");
    QCOMPARE(Shown(), QString("b.protocol"));
    Main.CurrentProtocol->Notes.clear();
    // New: nothing; saved into the program folder: its file.
    Dialogs.Inputs = {"2", "1"};
    Main.MenuItem("MnNewProtocol")->trigger();
    QVERIFY(Main.CurrentProtocol && Main.CurrentProtocol->FileName.empty());
    QCOMPARE(Shown(), QString());
    Dialogs.FileAnswers = {Home.Path() + "new.protocol"};
    Main.MenuItem("MnSaveProtocol")->trigger();
    QCOMPARE(List->count(), 3);
    QCOMPARE(Shown(), QString("new.protocol"));
    // Clear: nothing.
    Main.MenuItem("MnClearProtocol")->trigger();
    QVERIFY(!Main.CurrentProtocol);
    QCOMPARE(Shown(), QString());
    // Opened from another folder: not an entry of the list.
    Dialogs.FileAnswers = {Other};
    Main.MenuItem("MnImportProtocol")->trigger();
    QCOMPARE(Main.CurrentProtocol->FileName, Other);
    QCOMPARE(Shown(), QString());
    // A data file's protocol has no file of its own.
    QTest::keyClick(List, Qt::Key_Down);
    QCOMPARE(Shown(), QString("a.protocol"));
    auto P = OneChannelProtocol();
    TempFolder Files;
    auto Set = SingleFileSet(Files, *P, {20, 30, 40});
    QVERIFY(Set->SaveToFile(Home.Path() + "set.Quorvenal", *P));
    auto* Reading = Main.findChild<TReadingPage*>("ReadingPage");
    SaveDir = Home.Path();
    Reading->RbQuorvenalFiles->click();
    Reading->SelectFiles({"set.Quorvenal"});
    Main.MenuItem("MnLoadQuorvenal")->trigger();
    QVERIFY(Main.CurrentData);
    QCOMPARE(Main.CurrentProtocol->ChannelCount(), 1);
    QCOMPARE(Shown(), QString());
    QVERIFY(Dialogs.Errors.empty());
  }

  // "Assign Gaussian Values from Data" stores the set's fits into the protocol: it is on exactly
  // while both are there, whichever of them comes or goes.
  void AssignValuesFromDataNeedsProtocolAndData() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    auto P = OneChannelProtocol();
    P->SaveToFile(Home.Path() + "one.protocol");
    TempFolder Files;
    WriteAndRead(Files, "a.fcs", {"FL1-H"}, {{20}, {200}, {2000}, {300}});
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    ShowSheet(Main, "TsReassignChannelData");
    QPushButton* Assign = Page.BtnAssignDefaultValues;
    QVERIFY(!Assign->isEnabled());
    Dialogs.FileAnswers = {Home.Path() + "one.protocol"};
    Main.MenuItem("MnImportProtocol")->trigger();
    QVERIFY(Main.CurrentProtocol);
    QVERIFY(!Assign->isEnabled());  // a protocol alone
    auto* Reading = Main.findChild<TReadingPage*>("ReadingPage");
    Reading->ShowFolder(Files.Path());
    Reading->SelectFiles({"a.fcs"});
    Main.MenuItem("MnReadSingleFCS")->trigger();
    QVERIFY(Main.CurrentData);
    QVERIFY(Assign->isEnabled());
    Click(Assign);
    QCOMPARE(Dialogs.Questions, std::vector<std::string>{"Assign all default values from current data file?"});
    Dialogs.Answers = {TAnswer::No};
    Main.MenuItem("MnClearProtocol")->trigger();
    QVERIFY(!Main.CurrentProtocol && Main.CurrentData);
    QVERIFY(!Assign->isEnabled());  // a data set alone
    Dialogs.FileAnswers = {Home.Path() + "one.protocol"};
    Main.MenuItem("MnImportProtocol")->trigger();
    QVERIFY(Assign->isEnabled());
    QVERIFY(Dialogs.Errors.empty());
  }

  // A cleared genotype editor names no peak, and a new protocol shows it so.
  void ClearedGenotypeEditorNamesNoPeak() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    TProtocolPage& Page = PageOf(Main);
    NewOnSheet(Main, Dialogs, "TsGenotypes", 2, 1);
    auto RowOne = [&] {
      QStringList Cells;
      for (int c = 0; Page.SgFluorPeaks->rowCount() > 1 && c < Page.SgFluorPeaks->columnCount(); ++c)
        Cells << (Page.SgFluorPeaks->item(1, c) ? Page.SgFluorPeaks->item(1, c)->text() : QString());
      return Cells.join("");
    };
    Dialogs.Inputs = {"Green"};
    Click(ButtonOf(Main, "BtnAddGenotype"));
    QVERIFY(RowOne().startsWith("Fluor_1"));
    Dialogs.Answers = {TAnswer::No};
    Main.MenuItem("MnClearProtocol")->trigger();
    QCOMPARE(RowOne(), QString());
    NewOnSheet(Main, Dialogs, "TsGenotypes", 2, 1);
    QCOMPARE(Main.CurrentProtocol->GenotypeCount(), 0);
    QCOMPARE(RowOne(), QString());
  }

  // A hint shows on the hint panel as well as in its tool tip: the genotype list's when the
  // mouse comes over it, and every control's that has one.
  void HintsReachTheHintPanel() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    ShowSheet(Main, "TsGenotypes");
    TProtocolPage& Page = PageOf(Main);
    QTest::mouseMove(Page.SgGenotypes->viewport(), QPoint(20, 20));
    Pump();
    QCOMPARE(Main.PnHint->text(), QString(" Available Genotypes"));
    QStringList TipOnly;
    for (const QWidget* W : Main.findChildren<QWidget*>())
      if (!W->toolTip().isEmpty() && W->statusTip() != W->toolTip()) TipOnly << W->objectName() + ": " + W->toolTip();
    QVERIFY2(TipOnly.isEmpty(), qPrintable(TipOnly.join("\n")));
  }

  void EditorCommandsNeedAProtocol() {
    ScopedProgramHome Home;
    InputDialogs Dialogs;
    TFmMain Main;
    ShowSheet(Main, "TsChannelData");
    QCOMPARE(Main.findChild<QMenu*>("MnMatrix")->title(), QString("&Matrix"));
    const char* const Names[] = {
        "BtnLockGaussians", "BtnUnlockGaussians", "BtnAddGaussian", "BtnDeleteGaussian", "BtnReassignMinimumZ",
        "BtnReassignMaximumZ", "BtnReassignMinimumZGate", "BtnReassignMaximumZGate", "BtnReassignMinimumGate",
        "BtnReassignMaximumGate", "BtnCreateFilter", "BtnSetColor", "BtnSetGateColor", "BtnUpdateSpillover",
        "BtnAddValidation", "BtnDeleteValidation", "BtnAddGenotype", "BtnDeleteGenotype", "BtnImportGenotypes",
        "BtnGenotypeUp", "BtnAddPeak", "BtnMapPeaks", "BtnUpdateGenotypePeaks"};
    for (const char* Name : Names) {
      QVERIFY2(ButtonOf(Main, Name), Name);
      QVERIFY2(!ButtonOf(Main, Name)->isEnabled(), Name);
    }
    // A click on a disabled command opens no dialog.
    Dialogs.Inputs = {"Green"};
    Click(ButtonOf(Main, "BtnAddGenotype"));
    QCOMPARE(Dialogs.Inputs.size(), size_t(1));
    Dialogs.Inputs = {"2", "1"};
    Main.MenuItem("MnNewProtocol")->trigger();
    for (const char* Name : Names) QVERIFY2(ButtonOf(Main, Name)->isEnabled(), Name);
    Dialogs.Answers = {TAnswer::No};
    Main.MenuItem("MnClearProtocol")->trigger();
    QVERIFY(!Main.CurrentProtocol);
    for (const char* Name : Names) QVERIFY2(!ButtonOf(Main, Name)->isEnabled(), Name);
  }
};

static qv::test::RegisterUiTest<ProtocolPageTest> Register;

#include "ProtocolPageTest.moc"
