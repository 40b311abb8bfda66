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

#include "common/CommandBinding.h"
#include "common/Dialogs.h"
#include "Files.h"
#include "Globals.h"
#include "Host.h"
#include "common/PageContext.h"
#include "common/QtHost.h"
#include "Streams.h"
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

}  // namespace

TLineWriter::TLineWriter(TStream& Stream) : FStream(Stream) { FBlock.reserve(LineBlockSize + 4096); }

void TLineWriter::Line(std::string_view Text) {
  FBlock.append(Text);
  FBlock += "\r\n";
  if (FBlock.size() >= LineBlockSize) Flush();
}

void TLineWriter::Flush() {
  if (!FBlock.empty()) FStream.Write(FBlock.data(), FBlock.size());
  FBlock.clear();
}

TExportTargets FindExportTargets(const QWidget* Root, const QString& X) {
  TExportTargets T;
  T.Text = Root->findChild<QAbstractButton*>("BtnExport" + X + "Text");
  T.Excel = Root->findChild<QAbstractButton*>("BtnExport" + X + "Excel");
  T.Save = Root->findChild<QAbstractButton*>("BtnExport" + X + "Save");
  return T;
}

void ModelToQuotedLines(const QAbstractItemModel& Model, std::vector<std::string>& Lines) {
  const int Rows = Model.rowCount(), Cols = Model.columnCount();
  Lines.reserve(Lines.size() + static_cast<size_t>(Rows));
  std::string Line;
  for (int Row = 0; Row < Rows; ++Row) {
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

void TExportCommands::ExportText(std::vector<std::string> Lines, const TExportRequest& Request) {
  THourglass Hourglass;
  if (Down(Request.Targets.Text)) {
    auto* Window = new TFmTextOutput(nullptr, Request.Caption, true);
    FMain.AddCloseQuery(Window);
    std::vector<int> Stops;
    for (int i = 1; i <= 10; ++i) Stops.push_back(70 * i);
    Window->SetTabStops(Stops);
    Window->AddLines(Lines);
  } else if (Down(Request.Targets.Excel) && ExcelAvailable) {
    // Lines is this routine's own copy, so the page's text keeps its TABs.
    for (std::string& Line : Lines) Line = ReplaceChar(Line, '\t', ',');
    ExportToExcel(Lines);
  } else {
    SaveLines(Lines, Request);
  }
}

void TExportCommands::SaveLines(const std::vector<std::string>& Lines, const TExportRequest& Request) {
  SaveThroughDialog(Request, [&Lines](TLineWriter& Writer) {
    for (const std::string& Line : Lines) Writer.Line(Line);
  });
}

void TExportCommands::SaveThroughDialog(const TExportRequest& Request,
                                        const std::function<void(TLineWriter& Writer)>& WriteLines) {
  TFileDialogOptions Spec;
  Spec.Caption = "Save as...";
  Spec.Filter = Request.Filter.toStdString();
  Spec.DefaultExt = Request.Extension.toStdString();
  std::string FileName = AppDialogs().SaveFile(Spec);
  if (FileName.empty()) return;
  if (!Spec.DefaultExt.empty()) FileName = EnsureExtension(FileName, Spec.DefaultExt);
  try {
    WriteFileSafely(FileName, [&](TStream& Stream) {
      TLineWriter Writer(Stream);
      WriteLines(Writer);
      Writer.Flush();
    });
  } catch (const std::exception& E) {
    AppDialogs().Error("Could not save " + FileName + ": " + E.what());
  }
}

void TExportCommands::ExportTextReport(const std::string& Text, const TExportRequest& Request) {
  const bool ToFile = !Down(Request.Targets.Text) && !(Down(Request.Targets.Excel) && ExcelAvailable);
  if (!ToFile) {
    ExportText(SplitLines(Text), Request);
    return;
  }
  // Large event texts go to the file as they are, without a string per line.
  THourglass Hourglass;
  SaveThroughDialog(Request, [&Text](TLineWriter& Writer) {
    const std::string_view All(Text);
    size_t Start = 0;
    for (size_t i = 0; i < All.size(); ++i)
      if (All[i] == '\r' || All[i] == '\n') {
        Writer.Line(All.substr(Start, i - Start));
        if (All[i] == '\r' && i + 1 < All.size() && All[i + 1] == '\n') ++i;
        Start = i + 1;
      }
    if (Start < All.size()) Writer.Line(All.substr(Start));
  });
}

void TExportCommands::ExportGrid(const StringTable& Grid, const TExportRequest& Request) {
  std::vector<std::string> Lines;
  GridToQuotedLines(Grid, Lines);
  ExportText(std::move(Lines), Request);
}

void TExportCommands::ExportModel(const QAbstractItemModel& Model, const TExportRequest& Request) {
  std::vector<std::string> Lines;
  {
    THourglass Hourglass;
    ModelToQuotedLines(Model, Lines);
  }
  ExportText(std::move(Lines), Request);
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
        std::string Text;
        Data->ExportEventsCSV(*Protocol, IsChecked(FMain.Window(), "CbExportMinimalSignal"),
                              IsChecked(FMain.Window(), "CbExportFilteredout"), Text);
        ExportTextReport(Text, Request("Processed", "Quorvenal Data " + DataName(), CSVFilter, "CSV"));
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
          ExportModel(*Grid->model(), Request("Data", "FCS Data " + FileName, CSVFilter, "CSV"));
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
