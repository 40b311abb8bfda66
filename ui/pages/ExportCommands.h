#pragma once
// The shared export routine (report window, spreadsheet or file) with its front ends for a
// text, a string table and a grid model, and the export buttons of the header, raw-data,
// parameter and processed-data pages.
#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ExportTargets.h"
#include "common/PageContext.h"

class QAbstractItemModel;
class QWidget;

namespace qv {

class Progress;
class StringTable;
class TStream;
struct TTextSize;

// Lines, each ended CR LF, gathered into large blocks before they reach Stream; the gauge, if
// any, is pumped after each block.
class TLineWriter {
 public:
  explicit TLineWriter(TStream& Stream, Progress* Gauge = nullptr);
  void Line(std::string_view Text);
  // Bytes as they are, line ends included.
  void Text(std::string_view Bytes);
  void Flush();

 private:
  TStream& FStream;
  Progress* FGauge;
  std::string FBlock;
};

// The target group BtnExport<X>Text/Excel/Save found under Root (null members when absent).
TExportTargets FindExportTargets(const QWidget* Root, const QString& X);
// One quoted CSV line per row of Model (its fixed cells included), as GridToQuotedLines writes
// them for the same cells.
void ModelToQuotedLines(const QAbstractItemModel& Model, std::vector<std::string>& Lines,
                        Progress* Gauge = nullptr);

class TExportCommands : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* CSVFilter = CSVExportFilter;
  static constexpr const char* TextFilter = TextExportFilter;

  // Installs the export hooks and binds MnExport and the pages' export buttons.
  explicit TExportCommands(TPageContext& Main);

  // Lines go to a new report window when the text button is down, else to the spreadsheet
  // (TABs become commas) when that button is down and a spreadsheet program exists, else to
  // the file chosen in the save dialog. The lines shown on a page are never changed. A table
  // larger than a report window holds is offered to a file instead, and nothing is shown.
  // Answers whether the lines went anywhere (not when the offer or the save was declined or the
  // save failed).
  bool ExportText(std::vector<std::string> Lines, const TExportRequest& Request);
  void ExportTextReport(const std::string& Text, const TExportRequest& Request);
  void ExportGrid(const StringTable& Grid, const TExportRequest& Request);
  bool ExportModel(const QAbstractItemModel& Model, const TExportRequest& Request);

  // Tags 1 export processed data, 2 show it, 3 export the raw grid, 5 the header, 7 the
  // parameters.
  void BtnExportProcessedDataClick(int Tag);
  // Binds the export buttons that exist under the main window and are not bound yet; the main
  // window runs it again once every page is built.
  void BindButtons();
  // The file the header, data and parameter pages hold (no name when they hold none).
  TPageHooks::TFileOnPages FileOnPages() const;
  // Enables the header, raw-data and parameter export buttons while those pages hold a file.
  void UpdateFileExportButtons();

 private:
  TPageContext& FMain;  // the main window, as a page sees it
  QString DataName() const;
  TExportRequest Request(const char* X, const QString& Caption, const char* Filter, const char* Extension) const;
  bool SaveLines(const std::vector<std::string>& Lines, const TExportRequest& Request);
  // Asks for the file, then has Write write it through a temporary file while the status row's
  // gauge shows (Write moves it); a failure is named. Answers whether the file was written.
  bool SaveThroughDialog(const TExportRequest& Request,
                         const std::function<void(TLineWriter& Writer, Progress& Gauge)>& Write);
  // "<caption> has <size>; a report window holds at most <limit>. Save it to a file instead?"
  static bool OfferFile(const TTextSize& Size, const TExportRequest& Request);
  // The same request with the save target.
  static TExportRequest ToFile(const TExportRequest& Request);
};

}  // namespace qv
