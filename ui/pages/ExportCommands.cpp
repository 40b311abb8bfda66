#include "pages/ExportCommands.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTableWidget>
#include <QTextEdit>
#include <chrono>
#include <future>

#include "common/CommandBinding.h"
#include "common/Dialogs.h"
#include "Files.h"
#include "Globals.h"
#include "Host.h"
#include "common/PageContext.h"
#include "common/QtHost.h"
#include "Streams.h"
#include "report/ReportCapacity.h"
#include "report/TextOutput.h"
#include "TextUtils.h"
#include "dataset/FCSData.h"
#include "fcs/ParameterSet.h"
#include "protocol/Protocol.h"
#include "reports/Spreadsheet.h"

namespace qv {

namespace {

// Rows of SgData above its events: parameter numbers and names.
constexpr int RawGridFixedRows = 2;
// Bytes gathered before a write.
constexpr size_t LineBlockSize = 1u << 20;

struct TButtonTag {
  const char* Name;
  int Tag;
};
// Show Data (Tag 2) is the reading page's own command: it redraws that page's view.
const TButtonTag ExportButtons[] = {{"BtnExportProcessedData", 1}, {"BtnExportRawData", 3}, {"BtnExportHeader", 5},
                                    {"BtnExportParameters", 7}};
const char* const FileExportButtons[] = {"BtnExportRawData", "BtnExportHeader", "BtnExportParameters"};

bool Down(const QAbstractButton* Button) { return Button && Button->isChecked(); }

// Restores the cursor it found on every exit path.
class THourglass {
 public:
  THourglass() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
  }
  ~THourglass() { QApplication::restoreOverrideCursor(); }
  THourglass(const THourglass&) = delete;
  THourglass& operator=(const THourglass&) = delete;
};

bool IsChecked(const QWidget* Root, const char* Name) {
  const auto* Box = Root->findChild<QCheckBox*>(Name);
  return Box && Box->isChecked();
}

// Where the lines go: a target button is down only if it is there.
bool ToReportWindow(const TExportRequest& Request) { return Down(Request.Targets.Text); }
bool ToSpreadsheet(const TExportRequest& Request) {
  return !ToReportWindow(Request) && Down(Request.Targets.Excel) && ExcelAvailable;
}

// The status row's gauge, without Cancel (an export runs to its end), while a large export is
// formatted or written; events are handled between its steps.
class TExportGauge {
 public:
  explicit TExportGauge(TPageContext& Main) : FMain(Main), FProgress(Main.GaProgress, nullptr) {
    FMain.GaProgress->setValue(0);
    FMain.PnProgress->show();
  }
  ~TExportGauge() {
    FMain.PnProgress->hide();
    FMain.GaProgress->setValue(0);
  }
  TExportGauge(const TExportGauge&) = delete;
  TExportGauge& operator=(const TExportGauge&) = delete;
  Progress* Gauge() { return &FProgress; }

 private:
  TPageContext& FMain;
  TQtProgress FProgress;
};

// The disk may take seconds to take a file of hundreds of megabytes: the flush runs on its own
// thread while the window answers.
void FlushWhileAnswering(const std::function<void()>& Flush) {
  auto Done = std::async(std::launch::async, Flush);
  while (Done.wait_for(std::chrono::milliseconds(TQtProgress::PumpIntervalMs)) != std::future_status::ready)
    QCoreApplication::processEvents();
  Done.get();
}

}  // namespace

TLineWriter::TLineWriter(TStream& Stream, Progress* Gauge) : FStream(Stream), FGauge(Gauge) {
  FBlock.reserve(LineBlockSize + 4096);
}

void TLineWriter::Line(std::string_view Text) {
  FBlock.append(Text);
  FBlock += "\r\n";
  if (FBlock.size() >= LineBlockSize) Flush();
}

void TLineWriter::Text(std::string_view Bytes) {
  FBlock.append(Bytes);
  if (FBlock.size() >= LineBlockSize) Flush();
}

void TLineWriter::Flush() {
  if (!FBlock.empty()) FStream.Write(FBlock.data(), FBlock.size());
  FBlock.clear();
  PumpMessages(FGauge);
}

TExportTargets FindExportTargets(const QWidget* Root, const QString& X) {
  TExportTargets T;
  T.Text = Root->findChild<QAbstractButton*>("BtnExport" + X + "Text");
  T.Excel = Root->findChild<QAbstractButton*>("BtnExport" + X + "Excel");
  T.Save = Root->findChild<QAbstractButton*>("BtnExport" + X + "Save");
  return T;
}

void ModelToQuotedLines(const QAbstractItemModel& Model, std::vector<std::string>& Lines, Progress* Gauge) {
  const int Rows = Model.rowCount(), Cols = Model.columnCount();
  Lines.reserve(Lines.size() + static_cast<size_t>(Rows));
  if (Gauge) Gauge->SetMax(Rows);
  std::string Line;
  for (int Row = 0; Row < Rows; ++Row) {
    if (Gauge && Row % 1024 == 0) {
      Gauge->SetPosition(Row);
      Gauge->Pump();
    }
    Line.clear();
    for (int Col = 0; Col < Cols; ++Col) {
      const QByteArray Cell = Model.data(Model.index(Row, Col), Qt::DisplayRole).toString().toUtf8();
      Line += '"';
      for (const char C : Cell)
        if (C != '"') Line += C;
      Line += "\",";
    }
    Lines.push_back(Line);
  }
}

TExportCommands::TExportCommands(TPageContext& Main) : QObject(Main.Window()), FMain(Main) {
  setObjectName("ExportCommands");
  FMain.Hooks.ExportText = [this](std::vector<std::string> Lines, const TExportRequest& R) {
    ExportText(std::move(Lines), R);
  };
  FMain.Hooks.ExportTextReport = [this](const std::string& Text, const TExportRequest& R) { ExportTextReport(Text, R); };
  FMain.Hooks.ExportGrid = [this](const StringTable& Grid, const TExportRequest& R) { ExportGrid(Grid, R); };
  FMain.Hooks.ExportModel = [this](const QAbstractItemModel& Grid, const TExportRequest& R) { ExportModel(Grid, R); };
  FMain.Hooks.ExportProcessedData = [this](int Tag) { BtnExportProcessedDataClick(Tag); };
  FMain.Hooks.DataShownListeners.push_back([this](bool) { UpdateFileExportButtons(); });
  FMain.BindCommand("MnExport", [this](int Tag) { BtnExportProcessedDataClick(Tag); });
  FMain.OnDataReplaced(this, [this] { UpdateFileExportButtons(); });
  // The reading pages are built after this one; the main window binds their buttons then.
  BindButtons();
}

void TExportCommands::BindButtons() {
  for (const auto& [Name, Tag] : ExportButtons) {
    auto* Button = FMain.findChild<QAbstractButton*>(Name);
    if (!Button || IsBound(Button)) continue;
    BindCommand(Button, Tag, [this](int T) { BtnExportProcessedDataClick(T); });
  }
}

TPageHooks::TFileOnPages TExportCommands::FileOnPages() const {
  return FMain.Hooks.FileOnPages ? FMain.Hooks.FileOnPages() : TPageHooks::TFileOnPages();
}

void TExportCommands::UpdateFileExportButtons() {
  const bool Enabled = !FileOnPages().Name.empty();
  for (const char* Name : FileExportButtons)
    if (auto* Button = FMain.findChild<QWidget*>(Name)) Button->setEnabled(Enabled);
}

// ---------------------------------------------------------------------------------------------
// The shared routine

TExportRequest TExportCommands::ToFile(const TExportRequest& Request) {
  TExportRequest File = Request;
  File.Targets.Text = nullptr;
  File.Targets.Excel = nullptr;
  return File;
}

bool TExportCommands::OfferFile(const TTextSize& Size, const TExportRequest& Request) {
  return AppDialogs().YesNo("\"" + Request.Caption.toStdString() + "\" has " + DescribeTextSize(Size, true) +
                            "; a report window holds at most " + ReportWindowLimit(Size, true) +
                            ". Save it to a file instead?");
}

bool TExportCommands::ExportText(std::vector<std::string> Lines, const TExportRequest& Request) {
  THourglass Hourglass;
  if (ToReportWindow(Request)) {
    // The window below sets tab stops of its own.
    if (const TTextSize Size = SizeOfLines(Lines); !FitsReportWindow(Size, true))
      return OfferFile(Size, Request) && SaveLines(Lines, ToFile(Request));
    auto* Window = new TFmTextOutput(nullptr, Request.Caption, true);
    FMain.AddCloseQuery(Window);
    std::vector<int> Stops;
    for (int i = 1; i <= 10; ++i) Stops.push_back(70 * i);
    Window->SetTabStops(Stops);
    Window->AddLines(Lines);
  } else if (ToSpreadsheet(Request)) {
    // Lines is this routine's own copy, so the page's text keeps its TABs.
    for (std::string& Line : Lines) Line = ReplaceChar(Line, '\t', ',');
    ExportToExcel(Lines);
  } else {
    return SaveLines(Lines, Request);
  }
  return true;
}

bool TExportCommands::SaveLines(const std::vector<std::string>& Lines, const TExportRequest& Request) {
  return SaveThroughDialog(Request, [&Lines](TLineWriter& Writer, Progress& Gauge) {
    Gauge.SetMax(static_cast<int64_t>(Lines.size()));
    for (size_t i = 0; i < Lines.size(); ++i) {
      if (i % 1024 == 0) Gauge.SetPosition(static_cast<int64_t>(i));
      Writer.Line(Lines[i]);
    }
  });
}

bool TExportCommands::SaveThroughDialog(const TExportRequest& Request,
                                        const std::function<void(TLineWriter& Writer, Progress& Gauge)>& Write) {
  TFileDialogOptions Spec;
  Spec.Caption = "Save as...";
  Spec.Filter = Request.Filter.toStdString();
  Spec.DefaultExt = Request.Extension.toStdString();
  std::string FileName = AppDialogs().SaveFile(Spec);
  if (FileName.empty()) return false;
  if (!Spec.DefaultExt.empty()) FileName = EnsureExtension(FileName, Spec.DefaultExt);
  try {
    TExportGauge Gauge(FMain);
    WriteFileSafely(FileName, [&](TStream& Stream) {
      TLineWriter Writer(Stream, Gauge.Gauge());
      Write(Writer, *Gauge.Gauge());
      Writer.Flush();
    }, FlushWhileAnswering);
  } catch (const std::exception& E) {
    AppDialogs().Error("Could not save " + FileName + ": " + E.what());
    return false;
  }
  return true;
}

void TExportCommands::ExportTextReport(const std::string& Text, const TExportRequest& Request) {
  if (ToSpreadsheet(Request)) {
    ExportText(SplitLines(Text), Request);
    return;
  }
  TExportRequest Target = Request;
  if (ToReportWindow(Request)) {
    const TTextSize Size = SizeOfText(Text);
    if (FitsReportWindow(Size, true)) {
      ExportText(SplitLines(Text), Request);
      return;
    }
    if (!OfferFile(Size, Request)) return;
    Target = ToFile(Request);
  }
  // Large texts go to the file as they are, without a string per line.
  THourglass Hourglass;
  SaveThroughDialog(Target, [&Text](TLineWriter& Writer, Progress& Gauge) {
    Gauge.SetMax(static_cast<int64_t>(Text.size()));
    int64_t Lines = 0, Written = 0;
    ForEachLine(Text, [&](std::string_view Line) {
      Written += static_cast<int64_t>(Line.size()) + 1;
      if (++Lines % 1024 == 0) Gauge.SetPosition(Written);
      Writer.Line(Line);
    });
  });
}

void TExportCommands::ExportGrid(const StringTable& Grid, const TExportRequest& Request) {
  std::vector<std::string> Lines;
  GridToQuotedLines(Grid, Lines);
  ExportText(std::move(Lines), Request);
}

bool TExportCommands::ExportModel(const QAbstractItemModel& Model, const TExportRequest& Request) {
  TExportRequest Target = Request;
  // Rows beyond what a report window holds are not formatted only to be refused.
  if (ToReportWindow(Request) && Model.rowCount() > TReportCapacity::MaxLines) {
    if (!OfferFile({Model.rowCount(), -1, 0}, Request)) return false;
    Target = ToFile(Request);
  }
  std::vector<std::string> Lines;
  {
    THourglass Hourglass;
    TExportGauge Gauge(FMain);
    ModelToQuotedLines(Model, Lines, Gauge.Gauge());
  }
  return ExportText(std::move(Lines), Target);
}

// ---------------------------------------------------------------------------------------------
// The reading pages' exports

QString TExportCommands::DataName() const {
  std::string Name;
  if (FMain.CurrentData) FMain.CurrentData->GetName(Name);
  return QString::fromStdString(Name);
}

TExportRequest TExportCommands::Request(const char* X, const QString& Caption, const char* Filter,
                                        const char* Extension) const {
  return {FindExportTargets(FMain.Window(), X), Caption, Filter, Extension};
}

void TExportCommands::BtnExportProcessedDataClick(int Tag) {
  TFCSData* Data = FMain.CurrentData.get();
  const TProtocol* Protocol = FMain.CurrentProtocol.get();
  // The header, raw-data and parameter pages show a file read alone, with or without a set.
  const TPageHooks::TFileOnPages File = FileOnPages();
  const QString FileName = QString::fromStdString(File.Name);
  switch (Tag) {
    case 1:
      if (Data && Protocol) {
        const bool Filtered = IsChecked(FMain.Window(), "CbExportMinimalSignal");
        const bool GatedOut = IsChecked(FMain.Window(), "CbExportFilteredout");
        TExportRequest Target = Request("Processed", "Quorvenal Data " + DataName(), CSVFilter, "CSV");
        if (ToReportWindow(Target)) {
          int64_t Lines = 0;
          {
            THourglass Hourglass;
            TExportGauge Gauge(FMain);
            Lines = Data->ExportedEventCount(Filtered, GatedOut, Gauge.Gauge()) + 1;
          }
          // Millions of events are not formatted only to be refused by the report window.
          if (Lines > TReportCapacity::MaxLines) {
            if (!OfferFile({Lines, -1, 0}, Target)) break;
            Target = ToFile(Target);
          }
        }
        if (ToReportWindow(Target) || ToSpreadsheet(Target)) {
          std::string Text;
          {
            THourglass Hourglass;
            TExportGauge Gauge(FMain);
            Data->ExportEventsCSV(*Protocol, Filtered, GatedOut, Text, Gauge.Gauge());
          }
          ExportTextReport(Text, Target);
          break;
        }
        // The file takes the rows as they are made: no text of them all is held.
        THourglass Hourglass;
        SaveThroughDialog(Target, [&](TLineWriter& Writer, Progress& Gauge) {
          bool Any = false;
          Data->ExportEventsCSV(*Protocol, Filtered, GatedOut, [&](std::string_view Block) {
            Writer.Text(Block);
            Any = true;
          }, &Gauge);
          if (Any) Writer.Text("\r\n");
        });
      }
      break;
    case 2:
      if (Data && Protocol)
        if (auto* Grid = FMain.findChild<QTableWidget*>("SgProcessed")) {
          StringTable Table;
          TQtProgress Gauge(FMain.GaProgress, nullptr);
          Data->FillEventGrid(*Protocol, Table, &Gauge, IsChecked(FMain.Window(), "CbExportMinimalSignal"));
          Grid->clear();
          Grid->setColumnCount(Table.ColCount());
          Grid->setRowCount(Table.RowCount());
          for (int32_t Row = 0; Row < Table.RowCount(); ++Row)
            for (int32_t Col = 0; Col < Table.ColCount(); ++Col)
              Grid->setItem(Row, Col, new QTableWidgetItem(QString::fromStdString(Table.Cell(Col, Row))));
        }
      break;
    case 3:
      if (!File.Name.empty())
        if (auto* Grid = FMain.findChild<QAbstractItemView*>("SgData"); Grid && Grid->model()) {
          if (!ExportModel(*Grid->model(), Request("Data", "FCS Data " + FileName, CSVFilter, "CSV"))) break;
          const int64_t Shown = std::max(0, Grid->model()->rowCount() - RawGridFixedRows);
          const int64_t Total = File.Events;
          if (Total > Shown)
            AppDialogs().Info("Exported the first " + std::to_string(Shown) + " of " + std::to_string(Total) +
                              " events");
        }
      break;
    case 5:
      if (!File.Name.empty()) {
        QString Text;
        if (auto* Memo = FMain.findChild<QPlainTextEdit*>("MeHeader"))
          Text = Memo->toPlainText();
        else if (auto* Rich = FMain.findChild<QTextEdit*>("MeHeader"))
          Text = Rich->toPlainText();
        else
          break;
        ExportTextReport(Text.toStdString(),
                         Request("Header", "FCS File Header " + FileName, TextFilter, "TXT"));
      }
      break;
    case 7:
      if (!File.Name.empty() && File.Parameters)
        ExportTextReport(File.Parameters->CSVReport(),
                         Request("Parameters", "FCS Parameters " + FileName, CSVFilter, "CSV"));
      break;
    default: break;
  }
  FMain.ShowMemoryStatus();
}

}  // namespace qv
