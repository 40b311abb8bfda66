// The export routine's three targets, the raw grid's lines, and the header, data and parameter
// exports that follow the file the current set was read from.
#include <QAbstractTableModel>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "common/CommandGuard.h"
#include "DataSetHelpers.h"
#include "EventLoopLatency.h"
#include "pages/ExportCommands.h"
#include "common/ExportTargets.h"
#include "Files.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "ScriptedDialogs.h"
#include "ScopedValue.h"
#include "TextUtils.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "pages/VariabilityPage.h"
#include "report/ReportCapacity.h"
#include "reports/Spreadsheet.h"

using namespace qv;
using namespace qv::test;

namespace {

TExportCommands& ExportsOf(TFmMain& Main) { return *Main.findChild<TExportCommands*>("ExportCommands"); }

// The reading pages' controls, as that page would make them.
// The reading page's own controls of these names step aside, so the export commands find the
// test's stand-ins and the test controls exactly what they hold.
void Retire(TFmMain& Main, const QString& Name) {
  for (QObject* O : Main.findChildren<QObject*>(Name)) O->setObjectName(Name + "_retired");
}

struct TReadingStandIns {
  explicit TReadingStandIns(TFmMain& Main) {
    for (const char* Name : {"MeHeader", "SgData", "SgProcessed", "CbExportMinimalSignal", "CbExportFilteredout",
                             "BtnExportHeader", "BtnExportRawData", "BtnExportParameters", "BtnExportProcessedData"})
      Retire(Main, Name);
    for (const char* X : {"Header", "Data", "Parameters", "Processed"})
      for (const char* T : {"Text", "Excel", "Save"}) Retire(Main, QString("BtnExport%1%2").arg(X, T));
    for (const char* X : {"Header", "Data", "Parameters", "Processed"}) CreateExportTargets(Main.Page("TsHeader"), X);
    Header = new QPlainTextEdit(Main.Page("TsHeader"));
    Header->setObjectName("MeHeader");
    for (const char* Name : {"BtnExportHeader", "BtnExportRawData", "BtnExportParameters", "BtnExportProcessedData"}) {
      auto* B = new QPushButton("Export", Main.Page("TsHeader"));
      B->setObjectName(Name);
      Buttons.push_back(B);
    }
    ExportsOf(Main).BindButtons();
  }
  QPlainTextEdit* Header;
  std::vector<QPushButton*> Buttons;  // header, raw data, parameters, processed
};

void Choose(TFmMain& Main, const QString& X, const char* Target) {
  Main.findChild<QAbstractButton*>("BtnExport" + X + Target)->click();
}

// Rows of "r<row>c<col>" cells under two fixed rows, computed on demand as a big grid would.
class TRawModel : public QAbstractTableModel {
 public:
  TRawModel(int Rows, int Cols) : FRows(Rows), FCols(Cols) {}
  int rowCount(const QModelIndex& = {}) const override { return FRows; }
  int columnCount(const QModelIndex& = {}) const override { return FCols; }
  QVariant data(const QModelIndex& I, int Role) const override {
    if (Role != Qt::DisplayRole) return {};
    if (I.row() == 0) return I.column() == 0 ? QString("Parameter") : QString::number(I.column());
    return QString("r%1c%2").arg(I.row()).arg(I.column());
  }

 private:
  int FRows, FCols;
};

// Lines of the file counted in blocks, so a file of hundreds of megabytes is not held whole.
int64_t CountLines(const std::string& FileName, std::string& First) {
  std::ifstream In(FileName, std::ios::binary);
  std::getline(In, First);
  int64_t Lines = In ? 1 : 0;
  std::vector<char> Block(1 << 20);
  while (In.read(Block.data(), static_cast<std::streamsize>(Block.size())) || In.gcount() > 0)
    Lines += std::count(Block.data(), Block.data() + In.gcount(), '\n');
  return Lines;
}

}  // namespace

class ExportCommandsTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { CloseReportWindows(); }

  void ThreeTargetsLeaveThePageAsItIs() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TempFolder Folder;
    TFmMain Main;
    auto P = OneChannelProtocol();
    auto Data = MergedSet(Folder, *P, {{20, 200}, {300}});
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(Data));
    auto* Page = Main.findChild<TVariabilityPage*>("VariabilityPage");
    const QString Memo = "A\tB\tC\n1\t2\t3";
    Page->MeVariability->setPlainText(Memo);

    // Report window: caption, lines, and ten tab stops 70 apart.
    QVERIFY(Page->Targets.Text->isChecked());
    QTest::mouseClick(Page->BtnExportVariability, Qt::LeftButton);
    auto Windows = ReportWindows();
    QCOMPARE(Windows.size(), size_t(1));
    QCOMPARE(Windows[0]->windowTitle(), QString("Variability Analysis : Merged Files"));
    QCOMPARE(Windows[0]->MeText->toPlainText(), Memo);
    QCOMPARE(Windows[0]->MeText->TabStops(), (std::vector<int>{70, 140, 210, 280, 350, 420, 490, 560, 630, 700}));
    CloseReportWindows();

    // Spreadsheet: a stand-in program on PATH; the hand-over file has commas, the memo its TABs.
    TempFolder Bin;
    WriteText(Bin / "soffice", "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(Bin / "soffice", std::filesystem::perms::owner_all);
    const QByteArray OldPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(Bin.Path()) + ":" + OldPath);
    ScopedValue<bool> Excel(ExcelAvailable, true);
    Page->Targets.Excel->setEnabled(true);
    Page->Targets.Excel->click();
    QTest::mouseClick(Page->BtnExportVariability, Qt::LeftButton);
    qputenv("PATH", OldPath);
    const auto Sent = FindFiles(ProgramDir, "FCS_Temp*.csv");
    QCOMPARE(Sent.size(), size_t(1));
    QCOMPARE(ReadText(ProgramDir + Sent[0]), std::string("A,B,C\r\n1,2,3\r\n"));
    QCOMPARE(Page->MeVariability->toPlainText(), Memo);
    QVERIFY(Dialogs.Errors.empty());

    // Spreadsheet button without a spreadsheet program: the save dialog. The extension is added
    // only to a name without one; a cancelled dialog saves nothing.
    ExcelAvailable = false;
    Dialogs.FileAnswers = {Folder / "report", Folder / "report.tsv", ""};
    for (int i = 0; i < 3; ++i) QTest::mouseClick(Page->BtnExportVariability, Qt::LeftButton);
    QCOMPARE(ReadText(Folder / "report.txt"), std::string("A\tB\tC\r\n1\t2\t3\r\n"));
    QVERIFY(FileExists(Folder / "report.tsv"));
    QVERIFY(ReportWindows().empty());

    // A file that cannot be written is named, and the old one stays.
    Page->Targets.Save->click();
    Dialogs.FileAnswers = {Folder / "missing/folder/report.txt"};
    QTest::mouseClick(Page->BtnExportVariability, Qt::LeftButton);
    QCOMPARE(Dialogs.Errors.size(), size_t(1));
    QVERIFY(QString::fromStdString(Dialogs.Errors[0]).contains("report.txt"));
    QVERIFY(!QApplication::overrideCursor());
  }

  // Two files of two million events read together, exported to the report window: the table
  // is offered to a file instead, and the main window answers while it is written.
  void FourMillionEventsForTheReportWindowGoToAFileWhileTheWindowAnswers() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TempFolder Folder;
    TFmMain Main;
    Main.show();
    auto P = OneChannelProtocol();
    // A file of two million events read twice over, as two files read together: one CSV row each.
    const auto File = SingleFileSet(Folder, *P, std::vector<double>(2000000, 20));
    auto Data = TFCSData::CreateMerged(*File, {});
    QVERIFY(Data->Merge(*File, 1, {}));
    Data->SourceName = "two files";
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(Data));
    // As a read shows it: its pages and the commands that need a set.
    Main.UpdateProtocolDependentControls(true, true);
    Main.Hooks.ShowDataLoaded(true);
    QVERIFY(Main.findChild<QAbstractButton*>("BtnExportProcessedText")->isChecked());
    const std::string Question = "\"Quorvenal Data two files\" has 4000001 lines; a report window holds at most "
                                 "10000 lines. Save it to a file instead?";

    // No: nothing is formatted, shown or saved.
    Dialogs.Answers = {ScriptedDialogs::TAnswer::No};
    Dialogs.FileAnswers = {Folder / "unasked"};
    Main.MenuItem("MnExport")->trigger();
    QCOMPARE(Dialogs.Questions, std::vector<std::string>{Question});
    QCOMPARE(Dialogs.FileAnswers.size(), size_t(1));
    QVERIFY(ReportWindows().empty());

    // Yes, from the page's button: the file, every event in it. The window answers throughout: the
    // loop runs between the blocks of the file (a write in one piece ticks once); how long it waits
    // is the export benchmark's to measure.
    Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
    Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsProcessed"));
    auto* Export = Main.findChild<QPushButton*>("BtnExportProcessedData");
    QVERIFY(Export->isVisible() && Export->isEnabled());
    Dialogs.Answers = {ScriptedDialogs::TAnswer::Yes};
    Dialogs.FileAnswers = {Folder / "events"};
    {
      TEventLoopLatency Latency;
      QTest::mouseClick(Export, Qt::LeftButton);
      qInfo("longest wait of the event loop: %lld ms in %d ticks", Latency.Longest(), Latency.Ticks());
      QVERIFY(Latency.Ticks() >= 50);
    }
    QCOMPARE(Dialogs.Questions.size(), size_t(2));
    QVERIFY(ReportWindows().empty());
    std::string Header;
    QCOMPARE(CountLines(Folder / "events.CSV", Header), int64_t(4000001));
    QVERIFY(Header.rfind("Idx,", 0) == 0);
    QVERIFY2(Dialogs.Errors.empty(), Dialogs.Errors.empty() ? "" : Dialogs.Errors[0].c_str());
    QVERIFY(!Main.PnProgress->isVisible());
  }

  // Each front end measures what it would show: too large, the file is offered; No shows and
  // saves nothing (and does not claim an export), Yes saves every line.
  void EveryExportTooLargeForTheReportWindowOffersAFile() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TempFolder Folder;
    TFmMain Main;
    TReadingStandIns Reading(Main);
    auto P = OneChannelProtocol();
    auto Single = SingleFileSet(Folder, *P, {20});
    Main.SetCurrentProtocol(std::move(P));
    const std::string Name = Single->SourceName;
    // The file holds more events than its grid shows.
    TPageHooks::TFileOnPages OnPages{Name, 250000, Single->Parameters.get()};
    Main.Hooks.FileOnPages = [&OnPages] { return OnPages; };
    Main.SetCurrentData(std::move(Single));
    auto* Page = Main.findChild<TVariabilityPage*>("VariabilityPage");
    TRawModel Model(TReportCapacity::MaxLines + 1, 2);
    auto* View = new QTableView(Main.Page("TsData"));
    View->setObjectName("SgData");
    View->setModel(&Model);

    QStringList Memo;
    for (int i = 0; i <= TReportCapacity::MaxLines; ++i) Memo << QString("%1\tx").arg(i, 9, 10, QChar('0'));
    struct TCase {
      const char* What;
      std::function<void()> Fill;
      QAbstractButton* Export;
      std::string Caption, Size, Limit;
    };
    const std::string Layout = "as many tabs and long lines as it lays out in half a second";
    const auto Header = [&](const QString& Line) { return [&Reading, Line] { Reading.Header->setPlainText("$TOT\t1\n" + Line); }; };
    const std::vector<TCase> Cases = {
        {"lines of a memo", [&] { Page->MeVariability->setPlainText(Memo.join('\n')); }, Page->BtnExportVariability,
         "Variability Analysis : " + Name, "10001 lines (0.1 MB)", "10000 lines"},
        {"rows of a grid", [] {}, Reading.Buttons[1], "FCS Data " + Name, "10001 lines", "10000 lines"},
        {"a text with a long line", Header(QString(200000, 'x')), Reading.Buttons[0], "FCS File Header " + Name,
         "2 lines (0.2 MB) with a line of 200000 characters", Layout},
        {"a text with a line of many tabs", Header(QString(3000, '\t')), Reading.Buttons[0], "FCS File Header " + Name,
         "2 lines (0.0 MB) with 3001 tabs (up to 3000 in a line)", Layout},
    };
    for (const TCase& Case : Cases) {
      Case.Fill();
      Dialogs.Questions.clear();
      Dialogs.Infos.clear();
      Dialogs.Answers = {ScriptedDialogs::TAnswer::No, ScriptedDialogs::TAnswer::Yes};
      Dialogs.FileAnswers = {Folder / "table.txt"};
      QTest::mouseClick(Case.Export, Qt::LeftButton);
      QVERIFY2(ReportWindows().empty(), Case.What);
      QVERIFY2(!FileExists(Folder / "table.txt"), Case.What);
      QVERIFY2(Dialogs.Infos.empty(), Case.What);
      QTest::mouseClick(Case.Export, Qt::LeftButton);
      QVERIFY2(ReportWindows().empty(), Case.What);
      const std::string Question = "\"" + Case.Caption + "\" has " + Case.Size +
                                   "; a report window holds at most " + Case.Limit + ". Save it to a file instead?";
      QCOMPARE(Dialogs.Questions, (std::vector<std::string>{Question, Question}));
      const auto Saved = SplitLines(ReadText(Folder / "table.txt"));
      QVERIFY2(Saved.size() == (Case.Export == Reading.Buttons[0] ? 2u : TReportCapacity::MaxLines + 1u), Case.What);
      if (Case.Export == Reading.Buttons[1])
        QCOMPARE(Dialogs.Infos, std::vector<std::string>{"Exported the first 9999 of 250000 events"});
      DeleteFileIfExists(Folder / "table.txt");
    }
    View->setModel(nullptr);
    QVERIFY(Dialogs.Errors.empty());

    // At the window's size the table still opens there.
    Memo.removeLast();
    Page->MeVariability->setPlainText(Memo.join('\n'));
    QTest::mouseClick(Page->BtnExportVariability, Qt::LeftButton);
    QCOMPARE(ReportWindows().size(), size_t(1));
    QCOMPARE(ReportWindows()[0]->MeText->document()->blockCount(), TReportCapacity::MaxLines);
  }

  void RawGridLinesMatchTheQuotedGridLines() {
    QTableWidget Grid(3, 3);
    StringTable Table;
    Table.SetSize(3, 3);
    const char* Cells[3][3] = {{"Parameter", "1", "2"}, {"Name", "FSC \"H\"", "FL1,H"}, {"", "12.5", ""}};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        Grid.setItem(r, c, new QTableWidgetItem(QString::fromUtf8(Cells[r][c])));
        Table.SetCell(c, r, Cells[r][c]);
      }
    std::vector<std::string> FromModel, FromTable;
    ModelToQuotedLines(*Grid.model(), FromModel);
    GridToQuotedLines(Table, FromTable);
    QCOMPARE(FromModel, FromTable);
    QCOMPARE(FromModel[1], std::string("\"Name\",\"FSC H\",\"FL1,H\","));
  }

  void FileExportsFollowTheFileOfTheSet() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TempFolder Folder;
    TFmMain Main;
    TReadingStandIns Reading(Main);
    auto* Raw = new QTableWidget(3, 2, Main.Page("TsData"));
    Raw->setObjectName("SgData");
    Raw->setItem(0, 0, new QTableWidgetItem("Parameter"));
    Raw->setItem(1, 0, new QTableWidgetItem("Name"));
    Raw->setItem(1, 1, new QTableWidgetItem("FL1-H"));
    Raw->setItem(2, 1, new QTableWidgetItem("20"));
    for (const char* X : {"Header", "Data", "Parameters"}) Choose(Main, X, "Save");
    auto P = OneChannelProtocol();
    auto Single = SingleFileSet(Folder, *P, {20});
    Main.SetCurrentProtocol(std::move(P));
    // The reading page's answer: the pages show the file the set was read from.
    TPageHooks::TFileOnPages OnPages{Single->SourceName, 1, Single->Parameters.get()};
    Main.Hooks.FileOnPages = [&OnPages] { return OnPages; };
    Main.SetCurrentData(std::move(Single));
    Reading.Header->setPlainText("$TOT\t1\n$PAR\t1");
    for (QPushButton* B : Reading.Buttons) QVERIFY(B->isEnabled());

    Dialogs.FileAnswers = {Folder / "header", Folder / "raw", Folder / "parameters"};
    for (int i = 0; i < 3; ++i) Reading.Buttons[i]->click();
    QCOMPARE(ReadText(Folder / "header.TXT"), std::string("$TOT\t1\r\n$PAR\t1\r\n"));
    QCOMPARE(ReadText(Folder / "raw.CSV"), std::string("\"Parameter\",\"\",\r\n\"Name\",\"FL1-H\",\r\n\"\",\"20\",\r\n"));
    QCOMPARE(SplitLines(ReadText(Folder / "parameters.CSV")),
             SplitLines(Main.CurrentData->Parameters->CSVReport()));
    QVERIFY(Dialogs.Infos.empty());
    // Show Data fills the processed grid: index, then raw and compensated value per channel.
    auto* Processed = new QTableWidget(Main.Page("TsProcessed"));
    Processed->setObjectName("SgProcessed");
    GuardedCommand([&] { ExportsOf(Main).BtnExportProcessedDataClick(2); });
    QCOMPARE(Processed->columnCount(), 3);
    QCOMPARE(Processed->item(0, 0)->text(), QString("Index"));
    QVERIFY(Processed->item(0, 2)->text().endsWith("_Comp"));

    // After a merge the pages hold no file of their own: the three exports stand still.
    auto Merged = TFCSData::CreateMerged(*Main.CurrentData, {});
    OnPages = {};
    Main.SetCurrentData(std::move(Merged));
    for (int i = 0; i < 3; ++i) QVERIFY(!Reading.Buttons[i]->isEnabled());
    QVERIFY(Reading.Buttons[3]->isEnabled());
    Dialogs.FileAnswers = {Folder / "late"};
    for (int Tag : {3, 5, 7}) GuardedCommand([&] { ExportsOf(Main).BtnExportProcessedDataClick(Tag); });
    QCOMPARE(Dialogs.FileAnswers.size(), size_t(1));

    // Likewise after a data-file load, whose set has no parameters.
    auto Reloaded = OneChannelProtocol();
    auto Again = SingleFileSet(Folder, *Reloaded, {20, 30});
    QVERIFY(Again->SaveToFile(Folder / "set.dat", *Reloaded));
    auto Loaded = TFCSData::CreateFromDataFile(Folder / "set.dat", {}, Reloaded);
    QVERIFY(!Loaded->Parameters);
    Main.SetCurrentData(std::move(Loaded));
    for (int i = 0; i < 3; ++i) QVERIFY(!Reading.Buttons[i]->isEnabled());
    for (int Tag : {3, 5, 7}) GuardedCommand([&] { ExportsOf(Main).BtnExportProcessedDataClick(Tag); });
    QCOMPARE(Dialogs.FileAnswers.size(), size_t(1));
    QVERIFY(Dialogs.Errors.empty());
  }

  void ProcessedEventsAndTheTruncatedRawGrid() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TempFolder Folder;
    TFmMain Main;
    TReadingStandIns Reading(Main);
    auto* Minimal = new QCheckBox(Main.Page("TsProcessed"));
    Minimal->setObjectName("CbExportMinimalSignal");
    auto P = OneChannelProtocol();
    FcsFileSpec Spec;
    Spec.Parameters = {LinearParameter("FL1-H", 262144)};
    Spec.EventCount = 250000;
    Spec.Value = [](int64_t Event, int32_t) { return double(20 + Event % 5000); };
    WriteFcs(Folder / "big.fcs", Spec);
    TFCSFile File(Folder / "big.fcs");
    Main.SetCurrentProtocol(std::move(P));
    Main.Hooks.FileOnPages = [&File] { return TPageHooks::TFileOnPages{File.FileName, 250000, &File.Parameters}; };
    Main.SetCurrentData(TFCSData::Create(File, 0, false, nullptr, Main.CurrentProtocol.get()));
    QCOMPARE(Main.CurrentData->EventCount(0), 250000);

    TRawModel Model(100002, 2);
    auto* View = new QTableView(Main.Page("TsData"));
    View->setObjectName("SgData");
    View->setModel(&Model);
    Choose(Main, "Data", "Save");
    Dialogs.FileAnswers = {Folder / "raw.csv"};
    GuardedCommand([&] { ExportsOf(Main).BtnExportProcessedDataClick(3); });
    QCOMPARE(Dialogs.Infos, (std::vector<std::string>{"Exported the first 100000 of 250000 events"}));
    const auto Lines = SplitLines(ReadText(Folder / "raw.csv"));
    QCOMPARE(Lines.size(), size_t(100002));
    QCOMPARE(Lines.back(), std::string("\"r100001c0\",\"r100001c1\","));
    View->setModel(nullptr);

    // The processed events: the engine's CSV, through the menu item as through the button.
    Choose(Main, "Processed", "Save");
    Dialogs.FileAnswers = {Folder / "events"};
    Main.MenuItem("MnExport")->trigger();
    std::string Expected;
    Main.CurrentData->ExportEventsCSV(*Main.CurrentProtocol, false, false, Expected);
    QCOMPARE(SplitLines(ReadText(Folder / "events.CSV")), SplitLines(Expected));
    QVERIFY(Dialogs.Errors.empty());
  }
};

static qv::test::RegisterUiTest<ExportCommandsTest> Register;

#include "ExportCommandsTest.moc"
