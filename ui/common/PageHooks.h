#pragma once
// Operations one page of the main window offers the others. The page that owns an operation
// installs it when it is built; a caller finds it empty only while that page does not exist.
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAbstractButton;
class QAbstractItemModel;
class QLineEdit;
class QTableWidget;

namespace qv {

struct TCullSettings;
class StringTable;

// The three toggle buttons of one export target group (BtnExport<X>Text/Excel/Save).
struct TExportTargets {
  QAbstractButton* Text = nullptr;
  QAbstractButton* Excel = nullptr;
  QAbstractButton* Save = nullptr;
};

// What every export hands over besides its lines: the report window's caption and the save
// dialog's filter and default extension.
struct TExportRequest {
  TExportTargets Targets;
  QString Caption;
  QString Filter;
  QString Extension;
};

struct TPageHooks {
  // Reading page.
  std::function<void(bool HasData)> ShowDataLoaded;
  std::function<void()> RefreshFileLists;
  // Fitness page: re-reads its list of data files (RefreshFileLists calls it too).
  std::function<void()> RefreshProcessFiles;
  // Merges the named files of Directory into a new current data set; false when none resulted.
  std::function<bool(const std::string& Directory, const std::vector<std::string>& Names)> MergeFCSFiles;
  // False (with the bad edit named) when a cull edit does not convert.
  std::function<bool(TCullSettings& Cull)> ReadCullSettings;
  // "Set Detectors" on the current data set and protocol: detectors, classification, summary.
  std::function<void()> SetDetectors;
  // Pages that show something of the data set (distribution list, axis menus, class explorer
  // lists) add a listener; ShowDataLoaded calls each after its own steps.
  std::vector<std::function<void(bool HasData)>> DataShownListeners;
  // Set by the reading page: the header, data and parameter pages show the file CurrentData was
  // read from ("Read Single FCS File"); false after a merge or a data-file load.
  bool FilePagesHoldCurrentData = false;

  // Export commands.
  std::function<void(std::vector<std::string> Lines, const TExportRequest& Request)> ExportText;
  std::function<void(const std::string& Text, const TExportRequest& Request)> ExportTextReport;
  std::function<void(const StringTable& Grid, const TExportRequest& Request)> ExportGrid;
  // A grid shown through a model (fixed rows included), without a string per cell.
  std::function<void(const QAbstractItemModel& Grid, const TExportRequest& Request)> ExportModel;
  // The header, raw-data and processed-data export buttons of the reading pages, by Tag.
  std::function<void(int Tag)> ExportProcessedData;

  // Protocol page: stores the editors, runs Change on the protocol, shows it again without
  // storing and marks the protocol changed.
  std::function<void(const std::function<void()>& Change)> ApplyProtocolChange;
  // Stores the protocol editors the user changed (before the unsaved-protocol question); throws
  // when a field does not convert.
  std::function<void()> StoreProtocolEditors;
  // Shows Edit's value as 10^x (Down) or log10(x) (up).
  std::function<void(bool Down, QLineEdit* Edit)> ToggleLogNative;
};

}  // namespace qv
