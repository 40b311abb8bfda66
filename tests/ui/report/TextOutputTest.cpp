// Report window: tab-stop ruler, saving and opening, printing, spreadsheet hand-over, closing.
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>
#include <QPointer>
#include <QStatusTipEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QtTest>
#include <fstream>
#include <memory>
#include <sstream>

#include "AllocationCap.h"
#include "UiTestMain.h"
#include "Files.h"
#include "Globals.h"
#include "ScriptedTextOutputDialogs.h"
#include "TestFolders.h"
#include "TextUtils.h"
#include "report/ReportCapacity.h"
#include "report/RtfReader.h"
#include "report/TextOutput.h"
#include "report/TextOutputTour.h"
#include "reports/Spreadsheet.h"

using namespace qv;

namespace {

std::string ReadBytes(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

void WriteBytes(const std::string& FileName, const std::string& Bytes) {
  std::ofstream(FileName, std::ios::binary) << Bytes;
}

}  // namespace

class TextOutputTest : public QObject {
  Q_OBJECT
  std::unique_ptr<test::ScopedProgramHome> Home;
  test::ScriptedTextOutputDialogs Dialogs;
  QString Dir;

  // A window the test owns until it closes it itself.
  TFmTextOutput* NewWindow(bool Plain, const std::vector<std::string>& Lines = {}) {
    auto* W = new TFmTextOutput(nullptr, QStringLiteral("Report"), Plain);
    W->AddLines(Lines);
    return W;
  }
  void ClickRuler(TFmTextOutput* W, int Points) {
    W->PnTabsMouseDown(Qt::LeftButton, W->MeText->PointsToPixels(Points));
  }
  void AddStop(TFmTextOutput* W, int Points) {
    ClickRuler(W, Points);
    W->PnTabsDblClick();
  }
  static QString PanelColour(TFmTextOutput* W) {
    return W->PnFileName->palette().color(QPalette::Window).name();
  }

 private slots:
  void initTestCase() {
    Home = std::make_unique<test::ScopedProgramHome>();
    SetProgramFolders();
    CreateFolder(ProgramDir);
    Dir = QString::fromStdString(ProgramDir);
    SetTextOutputDialogs(&Dialogs);
  }
  void cleanupTestCase() {
    SetTextOutputDialogs(nullptr);
    Home.reset();
  }
  void init() { Dialogs = test::ScriptedTextOutputDialogs(); }

  void startsUnsavedAtRowZero() {
    ExcelAvailable = false;
    std::unique_ptr<TFmTextOutput> W(new TFmTextOutput(nullptr, QString(), true));
    QCOMPARE(W->windowTitle(), QStringLiteral("Text Editor"));
    QCOMPARE(W->PnRow->text(), QStringLiteral(" Row 0"));
    QCOMPARE(W->PnColumn->text(), QStringLiteral(" Column 0"));
    QCOMPARE(W->LbFileName->text(), QStringLiteral(" Unsaved "));
    QCOMPARE(PanelColour(W.get()), QStringLiteral("#ff8080"));
    QVERIFY(!W->BtnExcel->isEnabled());
    QVERIFY(W->MnSavePlain->isChecked());
    QVERIFY(W->isVisible());

    W->AddLines({"Strain\tMean", "A\t12.5"});
    QTextCursor C = W->MeText->textCursor();
    C.setPosition(W->MeText->document()->findBlockByNumber(1).position() + 2);
    W->MeText->setTextCursor(C);
    QCOMPARE(W->PnRow->text(), QStringLiteral(" Row 1"));
    QCOMPARE(W->PnColumn->text(), QStringLiteral(" Column 2"));
    // A selection made upwards counts from its start.
    C.setPosition(1, QTextCursor::KeepAnchor);
    W->MeText->setTextCursor(C);
    QCOMPARE(W->PnRow->text(), QStringLiteral(" Row 0"));
    QCOMPARE(W->PnColumn->text(), QStringLiteral(" Column 1"));

    QStatusTipEvent Tip(QStringLiteral("Send to Excel"));
    QApplication::sendEvent(W.get(), &Tip);
    QCOMPARE(W->PnHint->text(), QStringLiteral(" Send to Excel"));

    ExcelAvailable = true;
    std::unique_ptr<TFmTextOutput> Rich(new TFmTextOutput(nullptr, QStringLiteral("Fits"), false));
    QCOMPARE(Rich->windowTitle(), QStringLiteral("Fits"));
    QVERIFY(Rich->BtnExcel->isEnabled());
    QVERIFY(!Rich->MnSavePlain->isChecked());
    ExcelAvailable = false;
  }

  void tabStopsAreAddedInOrderDraggedAndDeleted() {
    std::unique_ptr<TFmTextOutput> W(NewWindow(true, {"a\tb\tc"}));
    AddStop(W.get(), 100);
    AddStop(W.get(), 50);
    AddStop(W.get(), 75);
    QCOMPARE(W->MeText->TabStops(), (std::vector<int>{50, 75, 100}));
    QCOMPARE(W->TabMarkers().size(), size_t(3));
    QCOMPARE(W->TabMarkers()[1]->x(), W->MeText->PointsToPixels(75));
    QCOMPARE(W->TabMarkers()[1]->width(), 5);
    QCOMPARE(W->TabMarkers()[1]->height(), W->PnTabs->height());

    // A drag moves one stop and does not sort.
    W->PnTabsDragOver(0, W->MeText->PointsToPixels(120));
    QCOMPARE(W->MeText->TabStops(), (std::vector<int>{120, 75, 100}));
    W->RebuildTabMarkers();
    W->PnTabsDragOver(7, 10);
    QCOMPARE(Dialogs.Errors, QStringList{QStringLiteral("Problem moving tab")});

    // The marker nearest the remembered point is the one asked about.
    W->PnTabsMouseDown(Qt::LeftButton, W->MeText->PointsToPixels(100) + 2);
    Dialogs.YesNoAnswers = {true};
    W->MnDeleteTabClick();
    QCOMPARE(Dialogs.Questions.last(), QStringLiteral("Delete the second Tab?"));
    QCOMPARE(W->MeText->TabStops(), (std::vector<int>{120, 75}));

    // The first stop is the "zeroth"; No keeps it.
    ClickRuler(W.get(), 118);
    Dialogs.YesNoAnswers = {false};
    W->MnDeleteTabClick();
    QCOMPARE(Dialogs.Questions.last(), QStringLiteral("Delete the zeroth Tab?"));
    QCOMPARE(W->MeText->TabStops(), (std::vector<int>{120, 75}));
    Dialogs.YesNoAnswers = {true};
    W->MnDeleteTabClick();
    QCOMPARE(W->MeText->TabStops(), (std::vector<int>{75}));
    QCOMPARE(W->TabMarkers().size(), size_t(1));
  }

  void deleteQuestionsNameTheOrdinalOrAdjacent() {
    QCOMPARE(TFmTextOutput::DeleteTabQuestion(0), QStringLiteral("Delete the zeroth Tab?"));
    QCOMPARE(TFmTextOutput::DeleteTabQuestion(11), QStringLiteral("Delete the eleveth Tab?"));
    QCOMPARE(TFmTextOutput::DeleteTabQuestion(19), QStringLiteral("Delete the nineteenth Tab?"));
    QCOMPARE(TFmTextOutput::DeleteTabQuestion(20), QStringLiteral("Delete the adjacent Tab?"));

    std::unique_ptr<TFmTextOutput> W(NewWindow(true, {"x"}));
    // Halfway between two markers the later one is taken.
    int Second = 90;
    while ((W->MeText->PointsToPixels(Second) - W->MeText->PointsToPixels(60)) % 2 != 0) ++Second;
    W->SetTabStops({60, Second});
    W->PnTabsMouseDown(Qt::LeftButton, (W->MeText->PointsToPixels(60) + W->MeText->PointsToPixels(Second)) / 2);
    W->MnDeleteTabClick();
    QCOMPARE(Dialogs.Questions.last(), QStringLiteral("Delete the first Tab?"));

    std::vector<int> Stops;
    for (int I = 0; I < 21; ++I) Stops.push_back(20 + 20 * I);
    W->SetTabStops(Stops);
    QCOMPARE(W->TabMarkers().size(), size_t(21));
    ClickRuler(W.get(), 420);
    Dialogs.YesNoAnswers = {true};
    W->MnDeleteTabClick();
    QCOMPARE(Dialogs.Questions.last(), QStringLiteral("Delete the adjacent Tab?"));
    QCOMPARE(W->MeText->TabStops().size(), size_t(20));
    QCOMPARE(W->MeText->TabStops().back(), 400);
  }

  // A file past a cap of the RTF reader is refused naming the file and the cap, and one that
  // needs more memory than there is says so; either way the text shown stays. The ruler adds no
  // tab stop past the cap, so a saved paragraph always reads back.
  void openingRefusedKeepsTheText() {
    std::unique_ptr<TFmTextOutput> W(NewWindow(false, {"kept"}));
    std::string Many = "{\\rtf1\\pard";
    for (size_t I = 0; I <= MaxRtfTabStops; ++I) Many += "\\tx" + std::to_string(20 * (I + 1));
    WriteBytes(ProgramDir + "many.rtf", Many + " x}");
    WriteBytes(ProgramDir + "big.txt", std::string(4 << 20, 'x'));
    const QString Refusals[] = {
        QStringLiteral("Error reading RTF file \"") + Dir +
            QStringLiteral("many.rtf\": a paragraph sets more than 256 tab stops, the most a paragraph may hold."),
        QStringLiteral("Not enough memory to finish this command.")};
    for (const QString& Refusal : Refusals) {
      Dialogs.FileNames = {Refusal.startsWith("Error") ? Dir + "many.rtf" : Dir + "big.txt"};
      {
        test::TAllocationCap Cap(Refusal.startsWith("Error") ? size_t(64) << 20 : size_t(1) << 20,
                                 test::TAllocationCap::TRefusals::Once);
        W->BtnFileOperationsClick(1);
      }
      QCOMPARE(Dialogs.Errors.last(), Refusal);
      QCOMPARE(W->MeText->Lines(), std::vector<std::string>{"kept"});
      QCOMPARE(W->windowTitle(), QStringLiteral("Report"));
    }

    std::vector<int> Stops;
    for (size_t I = 0; I < MaxRtfTabStops; ++I) Stops.push_back(static_cast<int>(2 * I));
    W->SetTabStops(Stops);
    AddStop(W.get(), 600);
    QCOMPARE(Dialogs.Errors.last(), QStringLiteral("Problem creating tab"));
    QCOMPARE(W->MeText->TabStops().size(), MaxRtfTabStops);
  }

  void savingNamesTheFileAndTurnsThePanelGreen() {
    std::unique_ptr<TFmTextOutput> W(NewWindow(true, {"Strain\tMean", "A\t12.5"}));
    Dialogs.FileNames = {Dir + "report"};
    W->BtnFileOperationsClick(2);
    QCOMPARE(Dialogs.Titles.last(), QStringLiteral("Save file as ..."));
    QVERIFY(Dialogs.Filters.last().startsWith(QStringLiteral("Text Files (*.txt)")));
    QCOMPARE(ReadBytes(ProgramDir + "report.txt"), std::string("Strain\tMean\r\nA\t12.5\r\n"));
    QCOMPARE(W->LbFileName->text(), QStringLiteral(" report.txt "));
    QVERIFY(W->FileNameSaved());
    QCOMPARE(PanelColour(W.get()), QStringLiteral("#80ff80"));

    W->MeText->insertPlainText(QStringLiteral("x"));
    QVERIFY(!W->FileNameSaved());
    QCOMPARE(PanelColour(W.get()), QStringLiteral("#ff8080"));

    Dialogs.FileNames = {Dir + "report.csv"};
    W->BtnFileOperationsClick(2);
    QVERIFY(FileExists(ProgramDir + "report.csv"));
    QCOMPARE(W->LbFileName->text(), QStringLiteral(" report.csv "));

    // Rich mode offers RTF and adds its extension.
    W->MnSavePlainClick();
    QVERIFY(!W->MnSavePlain->isChecked());
    Dialogs.FileNames = {Dir + "styled"};
    W->BtnFileOperationsClick(2);
    QCOMPARE(Dialogs.Filters.last(), QStringLiteral("RTF Files (*.rtf);;All Files (*.*)"));
    QVERIFY(ReadBytes(ProgramDir + "styled.rtf").rfind("{\\rtf1", 0) == 0);

    // Cancelling the dialog changes nothing.
    W->MeText->insertPlainText(QStringLiteral("y"));
    W->BtnFileOperationsClick(2);
    QVERIFY(!W->FileNameSaved());
    QVERIFY(Dialogs.Errors.isEmpty());
  }

  void failedSaveKeepsRedPanelAndOldFile() {
    std::unique_ptr<TFmTextOutput> W(NewWindow(true, {"new text"}));
    // The target is a folder: the temporary file cannot be renamed over it.
    QVERIFY(QDir().mkpath(Dir + "busy.txt/inner"));
    Dialogs.FileNames = {Dir + "busy.txt"};
    W->BtnFileOperationsClick(2);
    QCOMPARE(Dialogs.Errors.size(), 1);
    QVERIFY(!W->FileNameSaved());
    QCOMPARE(W->LbFileName->text(), QStringLiteral(" Unsaved "));
    QVERIFY(DirectoryExists(ProgramDir + "busy.txt/inner"));

    // A save into a missing folder fails too, and an earlier file of that name is untouched.
    WriteBytes(ProgramDir + "old.txt", "old");
    Dialogs.FileNames = {Dir + "old.txt"};
    W->BtnFileOperationsClick(2);
    QVERIFY(W->FileNameSaved());
    W->MeText->insertPlainText(QStringLiteral("more "));
    Dialogs.FileNames = {Dir + "no-such-folder/old.txt"};
    W->BtnFileOperationsClick(2);
    QCOMPARE(Dialogs.Errors.size(), 2);
    QVERIFY(!W->FileNameSaved());
    QCOMPARE(W->LbFileName->text(), QStringLiteral(" old.txt "));
    QCOMPARE(ReadBytes(ProgramDir + "old.txt"), std::string("new text\r\n"));
  }

  void rtfRoundTripKeepsStylesAlignmentSizeAndTabs() {
    std::unique_ptr<TFmTextOutput> W(NewWindow(false, {"Title", "Name\tValue\tP", "plain {braces} \\ caf\xC3\xA9"}));
    TSRichEdit* E = W->MeText;
    QTextCursor C(E->document()->findBlockByNumber(0));
    E->setTextCursor(C);
    W->BtnJustifyClick(2);
    C.select(QTextCursor::BlockUnderCursor);
    E->setTextCursor(C);
    W->BtnBold->setChecked(true);
    W->BtnTextOperationsClick(1);
    W->CmBxSize->setEditText(QStringLiteral("18"));
    C = QTextCursor(E->document()->findBlockByNumber(1));
    E->setTextCursor(C);
    AddStop(W.get(), 72);
    AddStop(W.get(), 144);
    W->BtnJustifyClick(3);
    C.movePosition(QTextCursor::NextWord, QTextCursor::KeepAnchor);
    E->setTextCursor(C);
    W->BtnItalic->setChecked(true);
    W->BtnTextOperationsClick(2);
    W->BtnUnderline->setChecked(true);
    W->BtnTextOperationsClick(3);
    W->BtnStrikeOut->setChecked(true);
    W->BtnTextOperationsClick(4);
    const TRtfDocument Before = E->ToRtfDocument();
    QCOMPARE(Before.Paragraphs.size(), size_t(3));
    QCOMPARE(Before.Paragraphs[0].Alignment, TRtfAlignment::Center);
    QCOMPARE(Before.Paragraphs[0].Runs.front().HalfPoints, 36);
    QVERIFY(Before.Paragraphs[0].Runs.front().Bold);
    QCOMPARE(Before.Paragraphs[1].TabStops, (std::vector<int>{72, 144}));
    QVERIFY(Before.Paragraphs[1].Runs.front().Italic && Before.Paragraphs[1].Runs.front().StrikeOut);

    Dialogs.FileNames = {Dir + "styled"};
    W->BtnFileOperationsClick(2);
    QVERIFY(W->FileNameSaved());

    std::unique_ptr<TFmTextOutput> R(NewWindow(false));
    Dialogs.FileNames = {Dir + "styled.rtf"};
    R->BtnFileOperationsClick(1);
    QCOMPARE(Dialogs.Titles.last(), QStringLiteral("Open file plain or RTF file ..."));
    QCOMPARE(R->windowTitle(), QStringLiteral("styled.rtf"));
    QVERIFY(R->MeText->ToRtfDocument() == Before);
    QTextCursor RC(R->MeText->document()->findBlockByNumber(1));
    R->MeText->setTextCursor(RC);
    QCOMPARE(R->TabMarkers().size(), size_t(2));
    QVERIFY(R->BtnRightJustify->isChecked() && R->MnRightjustify->isChecked());
    QVERIFY(R->BtnItalic->isChecked());

    // In plain mode the same file opens as its RTF source; RTF beyond ours opens as text too.
    std::unique_ptr<TFmTextOutput> P(NewWindow(true));
    Dialogs.FileNames = {Dir + "styled.rtf"};
    P->BtnFileOperationsClick(1);
    QVERIFY(P->MeText->Lines().front().rfind("{\\rtf1", 0) == 0);
    WriteBytes(ProgramDir + "table.rtf", "{\\rtf1\\ansi{\\trowd\\cellx1000 A\\cell\\row}}");
    Dialogs.FileNames = {Dir + "table.rtf"};
    R->BtnFileOperationsClick(1);
    QCOMPARE(R->MeText->Lines(), (std::vector<std::string>{"{\\rtf1\\ansi{\\trowd\\cellx1000 A\\cell\\row}}"}));
  }

  void failedOpenLeavesTextAndCaption() {
    std::unique_ptr<TFmTextOutput> W(NewWindow(true, {"keep me"}));
    Dialogs.FileNames = {Dir + "missing.txt"};
    W->BtnFileOperationsClick(1);
    QCOMPARE(Dialogs.Errors.size(), 1);
    QCOMPARE(W->MeText->Lines(), std::vector<std::string>{"keep me"});
    QCOMPARE(W->windowTitle(), QStringLiteral("Report"));

    WriteBytes(ProgramDir + "lines.csv", "a,b\r\nc,d\r\n");
    Dialogs.FileNames = {Dir + "lines.csv"};
    W->BtnFileOperationsClick(1);
    QCOMPARE(W->MeText->Lines(), (std::vector<std::string>{"a,b", "c,d"}));
    QCOMPARE(W->windowTitle(), QStringLiteral("lines.csv"));
    QVERIFY(!W->MeText->isReadOnly());
  }

  // Beyond what it can lay out at once the window shows what fits and says how much it leaves
  // out; a file or a paste too large is refused and the text stays as it was.
  void holdsNoMoreThanItCanLayOut() {
    const auto NotShown = [](int64_t Count, const std::string& Limit = "10000 lines") {
      return "[" + std::to_string(Count) + " more lines are not shown: a report window holds at most " + Limit + ".]";
    };
    std::vector<std::string> Table(TReportCapacity::MaxLines + 500, "1\t2.5000\t3");
    std::unique_ptr<TFmTextOutput> W(NewWindow(true, Table));
    auto Lines = W->MeText->Lines();
    QCOMPARE(static_cast<int64_t>(Lines.size()), TReportCapacity::MaxLines);
    QCOMPARE(Lines.back(), NotShown(501));
    QCOMPARE(Lines[Lines.size() - 2], Table[0]);
    QCOMPARE(W->LinesNotShown(), 501);
    W->AddLine("late");
    W->AddLines({"later", "last"});
    QCOMPARE(W->MeText->Lines().back(), NotShown(504));
    QCOMPARE(static_cast<int64_t>(W->MeText->document()->blockCount()), TReportCapacity::MaxLines);
    QVERIFY(!W->MeText->document()->isModified());

    // Save, through the button as text and the menu as RTF, writes every line given, the note
    // giving way to the lines it counts.
    std::vector<std::string> Given = Table;
    Given.insert(Given.end(), {"late", "later", "last"});
    Dialogs.FileNames = {Dir + "cut.txt"};
    QTest::mouseClick(W->BtnSave, Qt::LeftButton);
    QCOMPARE(SplitLines(ReadBytes(ProgramDir + "cut.txt")), Given);
    W->MnSavePlainClick();
    Dialogs.FileNames = {Dir + "cut.rtf"};
    W->MnSave->trigger();
    std::string Refusal;
    const auto Rtf = ReadRtf(ReadBytes(ProgramDir + "cut.rtf"), Refusal);
    QVERIFY2(Rtf, Refusal.c_str());
    std::vector<std::string> Paragraphs;
    for (const TRtfParagraph& P : Rtf->Paragraphs) Paragraphs.push_back(P.Runs.empty() ? "" : P.Runs[0].Text);
    QCOMPARE(Paragraphs, Given);
    QCOMPARE(W->MeText->Lines().back(), NotShown(504));
    // A last line written over the note stays, before the lines not shown.
    W->MeText->SetLastLine("mine");
    W->MnSavePlainClick();
    Dialogs.FileNames = {Dir + "cut.txt"};
    QTest::mouseClick(W->BtnSave, Qt::LeftButton);
    const auto Saved = SplitLines(ReadBytes(ProgramDir + "cut.txt"));
    QCOMPARE(Saved.size(), Given.size() + 1);
    QCOMPARE(Saved[Given.size() - 504], std::string("mine"));

    // Tabs cost their count, or its square once the paragraphs carry tab stops; an unbroken line
    // its length squared. A table of a 384-well plate shows whole; with tab stops it is cut.
    std::string Wide = "Parameter";
    for (int i = 0; i < 400; ++i) Wide += "\t" + std::to_string(i % 1000);
    const std::vector<std::string> Plate(400, Wide);
    std::unique_ptr<TFmTextOutput> Whole(NewWindow(true, Plate));
    QCOMPARE(Whole->MeText->Lines(), Plate);
    QCOMPARE(Whole->LinesNotShown(), 0);
    const std::string Layout = "as many tabs and long lines as it lays out in half a second";
    std::unique_ptr<TFmTextOutput> Stopped(new TFmTextOutput(nullptr, QStringLiteral("Report"), true));
    Stopped->SetTabStops({36, 72});
    Stopped->AddLines(Plate);
    QVERIFY(Stopped->LinesNotShown() > 300);
    QCOMPARE(Stopped->MeText->Lines().back(), NotShown(Stopped->LinesNotShown(), Layout));
    std::unique_ptr<TFmTextOutput> Short(NewWindow(true, {"a", "b", std::string(200000, 'x'), "c"}));
    QCOMPARE(Short->MeText->Lines(), (std::vector<std::string>{"a", "b", NotShown(2, Layout)}));

    // Files: too many lines once read; too many bytes before reading.
    std::unique_ptr<TFmTextOutput> Open(NewWindow(true, {"keep me"}));
    std::string Many;
    for (int64_t i = 0; i <= TReportCapacity::MaxLines; ++i) Many += "row\r\n";
    WriteBytes(ProgramDir + "many.txt", Many);
    WriteBytes(ProgramDir + "huge.txt", std::string(8 * TReportCapacity::MaxBytes + 1, 'x'));
    Dialogs.FileNames = {Dir + "many.txt", Dir + "huge.txt"};
    QTest::mouseClick(Open->BtnOpen, Qt::LeftButton);
    QTest::mouseClick(Open->BtnOpen, Qt::LeftButton);
    QCOMPARE(Dialogs.Errors,
             (QStringList{"many.txt is too large for the report window: 10001 lines (0.0 MB); it holds at most 10000 "
                          "lines.",
                          "huge.txt is too large for the report window: 8.0 MB; it holds at most 1.0 MB."}));
    QCOMPARE(Open->MeText->Lines(), std::vector<std::string>{"keep me"});
    QCOMPARE(Open->windowTitle(), QStringLiteral("Report"));

    // A paste: the clipboard's text is not taken.
    Dialogs.Errors.clear();
    QApplication::clipboard()->setText(QString::fromStdString(Many));
    QTest::mouseClick(Open->BtnPaste, Qt::LeftButton);
    QCOMPARE(Dialogs.Errors.size(), 1);
    QVERIFY2(Dialogs.Errors[0].startsWith("The text to paste has 10001 lines (0.0 MB)"), qPrintable(Dialogs.Errors[0]));
    QCOMPARE(Open->MeText->Lines(), std::vector<std::string>{"keep me"});
    QApplication::clipboard()->setText("row\nrow");
    QTest::mouseClick(Open->BtnPaste, Qt::LeftButton);
    QCOMPARE(Open->MeText->Lines().size(), size_t(2));
  }

  void printingToPdfGivesPages() {
    std::vector<std::string> Lines;
    for (int I = 0; I < 150; ++I) Lines.push_back("line " + std::to_string(I) + "\tvalue");
    std::unique_ptr<TFmTextOutput> W(NewWindow(true, Lines));
    Dialogs.PdfFile = Dir + "report.pdf";
    W->BtnFileOperationsClick(3);
    QVERIFY(!W->Printing());
    const std::string Pdf = ReadBytes(ProgramDir + "report.pdf");
    QVERIFY(Pdf.rfind("%PDF", 0) == 0);
    size_t Pages = 0;
    for (size_t At = Pdf.find("/Type /Page"); At != std::string::npos; At = Pdf.find("/Type /Page", At + 1))
      if (Pdf.compare(At, 12, "/Type /Pages") != 0) ++Pages;
    QVERIFY2(Pages >= 2, qPrintable(QString::number(Pages)));

    Dialogs.PdfFile.clear();
    W->BtnFileOperationsClick(3);  // cancelled: nothing printed, nothing reported
    QVERIFY(Dialogs.Errors.isEmpty());

    Dialogs.PdfFile = Dir + "no-such-folder/report.pdf";
    W->BtnFileOperationsClick(3);
    QCOMPARE(Dialogs.Errors, QStringList{QStringLiteral("Printing failed")});
    QVERIFY(!W->Printing());
  }

  void spreadsheetReceivesTheLines() {
    const QString Bin = Dir + "bin";
    QVERIFY(QDir().mkpath(Bin));
    const QString Out = Dir + "received.txt";
    const QString Stub = Bin + "/soffice";
    WriteBytes(Stub.toStdString(),
               "#!/bin/sh\nfor a in \"$@\"; do echo \"arg:$a\"; done > '" + Out.toStdString() +
                   ".tmp'\ncat \"$2\" >> '" + Out.toStdString() + ".tmp'\nmv '" + Out.toStdString() +
                   ".tmp' '" + Out.toStdString() + "'\n");
    QFile::setPermissions(Stub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray OldPath = qgetenv("PATH");
    qputenv("PATH", Bin.toUtf8() + ":" + OldPath);
    QVERIFY(IsExcelAvailable());

    std::unique_ptr<TFmTextOutput> Empty(NewWindow(true));
    Empty->BtnFileOperationsClick(6);
    QTest::qWait(300);
    QVERIFY(!QFile::exists(Out));

    std::unique_ptr<TFmTextOutput> W(NewWindow(true, {"\"Strain\",\"Count\",", "\"A\",\"12\","}));
    W->BtnFileOperationsClick(6);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Out), 5000);

    // Without the program the file is written and the failure named.
    qputenv("PATH", (Dir + "empty-bin").toUtf8());
    W->BtnFileOperationsClick(6);
    qputenv("PATH", OldPath);
    QCOMPARE(Dialogs.Errors.size(), 1);
    QVERIFY(Dialogs.Errors[0].startsWith(QStringLiteral("Error loading data into Excel: ") + Dir + "FCS_Temp"));
    QVERIFY(Dialogs.Errors[0].endsWith(QStringLiteral(".csv")));
    Dialogs.Errors.clear();
    const std::string Got = ReadBytes(Out.toStdString());
    QVERIFY2(Got.rfind("arg:--infilter=", 0) == 0, Got.c_str());
    QVERIFY2(Got.find("\narg:" + ProgramDir + "FCS_Temp") != std::string::npos, Got.c_str());
    QVERIFY(Got.find(".csv\n\"Strain\",\"Count\",\r\n\"A\",\"12\",\r\n") != std::string::npos);
    QVERIFY(Dialogs.Errors.isEmpty());
  }

  void closingAsksOnlyAboutUserChanges() {
    QPointer<TFmTextOutput> Untouched = NewWindow(true, {"report"});
    Untouched->close();
    QVERIFY(Dialogs.Questions.isEmpty());
    QTRY_VERIFY(Untouched.isNull());

    QPointer<TFmTextOutput> W = NewWindow(true, {"report"});
    W->MeText->insertPlainText(QStringLiteral("edit "));
    Dialogs.YesNoCancelAnswers = {TextOutputDialogs::TAnswer::Cancel};
    W->close();
    QCOMPARE(Dialogs.Questions.last(), QStringLiteral("Save changes to Report?"));
    QVERIFY(W->isVisible());

    // Yes, but the save dialog is cancelled: the window stays.
    Dialogs.YesNoCancelAnswers = {TextOutputDialogs::TAnswer::Yes};
    W->close();
    QVERIFY(W->isVisible());

    Dialogs.YesNoCancelAnswers = {TextOutputDialogs::TAnswer::Yes};
    Dialogs.FileNames = {Dir + "closing"};
    W->close();
    QCOMPARE(ReadBytes(ProgramDir + "closing.txt"), std::string("edit report\r\n"));
    QTRY_VERIFY(W.isNull());

    QPointer<TFmTextOutput> N = NewWindow(true);
    N->MeText->insertPlainText(QStringLiteral("typed"));
    Dialogs.YesNoCancelAnswers = {TextOutputDialogs::TAnswer::No};
    N->ResetCloseAction();
    QCOMPARE(N->CloseAction(), TFmTextOutput::TCloseAction::Free);
    N->BtnFileOperationsClick(4);
    QTRY_VERIFY(N.isNull());
  }

  void styleSizeAndBarControls() {
    std::unique_ptr<TFmTextOutput> W(NewWindow(true, {"alpha beta"}));
    TSRichEdit* E = W->MeText;
    E->selectAll();
    W->CmBxSize->setEditText(QStringLiteral("14"));
    QCOMPARE(E->currentCharFormat().fontPointSize(), 14.0);
    W->CmBxSize->setEditText(QStringLiteral("0"));
    W->CmBxSize->setEditText(QStringLiteral("1639"));
    W->CmBxSize->setEditText(QString());
    QCOMPARE(E->currentCharFormat().fontPointSize(), 14.0);
    int Pos = 0;
    QString Letters = QStringLiteral("1a");
    QCOMPARE(W->CmBxSize->lineEdit()->validator()->validate(Letters, Pos), QValidator::Invalid);

    // A click toggles the button before the command: bold on, then off again.
    QTest::mouseClick(W->BtnBold, Qt::LeftButton);
    QVERIFY(E->currentCharFormat().font().bold());
    QVERIFY(W->MnBold->isChecked());
    QTest::mouseClick(W->BtnBold, Qt::LeftButton);
    QVERIFY(!E->currentCharFormat().font().bold());

    W->MnToolbarClick(1);
    QVERIFY(!W->PnButtons->isVisible() && !W->MnToolbar->isChecked());
    W->MnToolbarClick(2);
    QVERIFY(!W->PnStatus->isVisible() && !W->MnStatusbar->isChecked());
    W->MnToolbarClick(1);
    QVERIFY(W->PnButtons->isVisible());

    W->CBWordWrapClick();
    QCOMPARE(E->lineWrapMode(), QTextEdit::NoWrap);
    QCOMPARE(E->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    W->CBWordWrapClick();
    QCOMPARE(E->lineWrapMode(), QTextEdit::WidgetWidth);

    W->BtnEditClick(5);
    W->BtnEditClick(6);
    QVERIFY(E->document()->isEmpty());
    W->BtnEditClick(1);
    QCOMPARE(E->Lines(), std::vector<std::string>{"alpha beta"});
  }

  void tourWritesAScreenshot() {
    // QUORVENAL_SHOTS keeps the picture for a person to look at.
    const QString Shots = qEnvironmentVariable("QUORVENAL_SHOTS");
    const QString Png = TourTextOutput(Shots.isEmpty() ? Dir : Shots);
    QVERIFY(QFile::exists(Png));
    QVERIFY(QImage(Png).width() >= 500);
  }
};

static qv::test::RegisterUiTest<TextOutputTest> RegisterTextOutputTest;
#include "TextOutputTest.moc"
