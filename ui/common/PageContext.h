#pragma once
// What a page of the main window may use of the main window and of the other pages, and the only
// way it reaches them: the shell hands every page this context at creation. It holds the shared
// state (protocol, data set, continue flag, metrics, the engine objects), the frame (sheets,
// popup menus, menu items, page requests), the status row, the notifications, and the operations
// one page offers the others (Hooks). A page includes no header of the shell or of another page.
//
// Rules for a page: it asks ShowPage to bring a sheet forward and never switches tabs itself;
// it binds the controls whose handlers it owns through BindCommand (common/CommandBinding.h),
// finding by object name (findChild) those another page laid out; a command run from code (a hook
// called by a sweep or another command) never asks for a page.
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/EngineObjects.h"
#include "common/ExportTargets.h"
#include "common/QtHost.h"

class QAbstractItemModel;
class QLineEdit;
class QMenu;
class QObject;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace qv {

class StringTable;
class TFmTextOutput;
class TFCSData;
class TParameterSet;
class TProtocol;
struct TCullSettings;

// The message of a protocol whose gates or channels differ from those of the data set.
constexpr const char* ProtocolMismatchText = "The protocol does not match the data set (gates or channels differ)";
// Whether the data set's events are laid out by Protocol's gates and channels (a set without
// events by its channel names), as every command that reads events by protocol positions needs.
bool ProtocolFitsData(const TProtocol& Protocol, const TFCSData& Data);

// Operations one page offers the others. The page that owns an operation installs it when it is
// built; a caller finds it empty only while that page does not exist.
struct TPageHooks {
  // ---- Reading pages ----
  std::function<void(bool HasData)> ShowDataLoaded;
  std::function<void()> RefreshFileLists;
  // Merges the named files of Directory into a new current data set; false when none resulted.
  std::function<bool(const std::string& Directory, const std::vector<std::string>& Names)> MergeFCSFiles;
  // False (with the bad edit named) when a cull edit does not convert.
  std::function<bool(TCullSettings& Cull)> ReadCullSettings;
  // Shows Cull in the cull edits of the Load page.
  std::function<void(const TCullSettings& Cull)> ShowCullSettings;
  // "Set Detectors" on the current data set and protocol: detectors, classification, summary.
  // Run from code, so it leaves every page where it is.
  std::function<void()> SetDetectors;
  // Whether protocol and data set are present and of one shape; names the mismatch when not.
  std::function<bool()> ProtocolMatchesData;
  // Reads one FCS file into the Header and Data pages and a new data set.
  std::function<void(const std::string& FileName)> ReadFCSFile;
  // The files selected on the Load page (in list order) and the folder they are in.
  std::function<std::vector<std::string>()> SelectedFiles;
  std::function<std::string()> LoadFolder;
  // The Load page's file group while the queue runs (taller, with the queue's gauge) and after.
  std::function<void(bool Running)> ShowQueueRunning;
  // Pages that show something of the data set (distribution list, axis menus, class explorer
  // lists) add a listener; ShowDataLoaded calls each after its own steps.
  std::vector<std::function<void(bool HasData)>> DataShownListeners;
  // The FCS file the Header and Data pages show ("Read Single FCS File"), whether or not a data
  // set was made of it (none without a protocol): no name after a merge or a data-file load.
  struct TFileOnPages {
    std::string Name;
    int64_t Events = 0;                        // the events the file holds
    const TParameterSet* Parameters = nullptr;  // the reading page's copy of the file's parameters
  };
  std::function<TFileOnPages()> FileOnPages;

  // ---- Protocol creator ----
  // The parameters of the file just read, for the creator's grid.
  std::function<void(const TParameterSet& Parameters, const std::string& FileName)> ShowFileParameters;

  // ---- Fitness page ----
  // Re-reads its list of data files (RefreshFileLists calls it too).
  std::function<void()> RefreshProcessFiles;

  // ---- Export commands ----
  std::function<void(std::vector<std::string> Lines, const TExportRequest& Request)> ExportText;
  std::function<void(const std::string& Text, const TExportRequest& Request)> ExportTextReport;
  std::function<void(const StringTable& Grid, const TExportRequest& Request)> ExportGrid;
  // A grid shown through a model (fixed rows included), without a string per cell.
  std::function<void(const QAbstractItemModel& Grid, const TExportRequest& Request)> ExportModel;
  // The header, raw-data and processed-data export buttons of the reading pages, by Tag.
  std::function<void(int Tag)> ExportProcessedData;

  // ---- Protocol page ----
  // Stores the editors, runs Change on the protocol, shows it again without storing and marks
  // the protocol changed.
  std::function<void(const std::function<void()>& Change)> ApplyProtocolChange;
  // Stores the protocol editors the user changed (before the unsaved-protocol question); throws
  // when a field does not convert.
  std::function<void()> StoreProtocolEditors;
  // The log/native toggles by Tag (1 the custom detector's mean): shows the edit's value as
  // 10^x or log10(x), the toggle springing back when the text does not convert.
  std::function<void(int Tag)> BtnCustomMeanClick;
  // Shows protocol channel Channel (from 1) in the channel editor.
  std::function<void(int Channel)> ShowChannelInEditor;
  // The row of the channel list (from 1; -1 none).
  std::function<int()> ChannelListRow;

  // ---- Charts page ----
  // Closes the derive panel under the distribution chart when it is open.
  std::function<void()> CloseDerivePanel;
};

class TPageContext : public TEngineObjects {
 public:
  virtual ~TPageContext() = default;

  // ---- Shared state (the pages read and change it) ----
  std::unique_ptr<TProtocol> CurrentProtocol;
  std::unique_ptr<TFCSData> CurrentData;
  // Queue, Variability, Calculator and SimpleFitness come from TEngineObjects.
  bool ContinueFlag = false;
  int32_t XMetric = -1;
  int32_t YMetric = -1;
  int32_t FitnessSlot = 0;
  std::array<QLineEdit*, 4> FitnessSlotEdits{};  // EdExpected1, EdObserved1, EdExpected2, EdObserved2
  int32_t DistributionChannel = -1;
  TPageHooks Hooks;
  // The status row's gauge, the panel that holds it and Cancel (see TLongLoop).
  QProgressBar* GaProgress = nullptr;
  QWidget* PnProgress = nullptr;
  QPushButton* BtnCancel = nullptr;

  // ---- Frame ----
  // The main window: the owner of report windows and the root of every named control.
  virtual QWidget* Window() const = 0;
  // A control of the main window by its object name (null when there is none), as
  // QObject::findChild on the main window.
  template <class T>
  T findChild(const QString& Name) const {
    return Window()->findChild<T>(Name);
  }
  // The page or sub-page by its name ("TsLoad", "TsChannelData", ...), to build in.
  virtual QWidget* Page(const QString& Name) const = 0;
  // The tab widget of a page's sheets ("PgMain", "PgExplore", ...), for its page's layout only.
  virtual QTabWidget* Pages(const QString& Name) const = 0;
  virtual QMenu* PopupMenu(const QString& Name) const = 0;  // "PMXAxis", "PMYAxis", "PMHistogram"
  // Binds a main menu item to its command, run inside the command guard with the item's Tag.
  virtual void BindCommand(const QString& ItemName, std::function<void(int Tag)> Command) = 0;
  // Registers a report window a command opened with the main window's close query, so closing
  // the main window asks about its unsaved edits first.
  virtual void AddCloseQuery(TFmTextOutput* Report) = 0;
  // Asks the shell to bring page Name forward among the sheets of its tab widget; only the
  // handler of the user's own click asks.
  virtual void ShowPage(const QString& Name) = 0;
  // Whether page Name is the one its tab widget shows.
  virtual bool PageShown(const QString& Name) const = 0;
  // Shows or hides the tab of page Name.
  virtual void SetPageVisible(const QString& Name, bool Visible) = 0;

  // ---- Status row and commands ----
  // Refreshes both memory panels (reading /proc at most 10 times a second), then pumps events once.
  virtual void ShowMemoryStatus() = 0;
  // The event count panel.
  virtual void ShowPoints(int64_t Count) = 0;
  // Redraws the mode panel for the current CompensationMode.
  virtual void ShowCompensationMode() = 0;
  // The protocol name panel.
  virtual void ShowProtocolName(const QString& Caption) = 0;
  virtual void SetFileControlsBusy(bool Busy) = 0;
  // Cancel of a long loop (the status row's and the fit exploration's): clears ContinueFlag and
  // refreshes the memory panels.
  virtual void BtnCancelClick() = 0;
  // Enables the menu items from the busy state and whether a protocol and data set are held.
  virtual void UpdateCommandStates() = 0;
  virtual void UpdateProtocolDependentControls(bool ShowFilePages, bool ShowDataPages) = 0;
  virtual void FillChannelCombos(const TProtocol& Protocol) = 0;

  // ---- Protocol ----
  // Replaces the protocol; ProtocolReplaced goes out. Callers that replace or clear a protocol
  // ask QuerySaveProtocol first.
  virtual void SetCurrentProtocol(std::unique_ptr<TProtocol> Protocol) = 0;
  // Asks "Save changes to protocol <name>?" when the protocol differs from its file; false
  // when the user cancels (or a save is cancelled), so the caller stops.
  virtual bool QuerySaveProtocol() = 0;
  // Whether CurrentProtocol was read from or written to a protocol file of its own: an absolute
  // name (one read from a data file has only the stream's name).
  virtual bool ProtocolHasOwnFile() const = 0;
  // Saves the protocol to its file, or through the save dialog when it has none (or SaveAs);
  // false when the dialog was cancelled.
  virtual bool SaveCurrentProtocol(bool SaveAs) = 0;
  // Fills the protocol-file combo with the *.protocol files of ProgramDir.
  virtual void ListProtocolFiles() = 0;

  // ---- Notifications ----
  // Handler runs, with Receiver as its context, when a different protocol (or none) is current.
  virtual void OnProtocolReplaced(QObject* Receiver, std::function<void()> Handler) = 0;
  // ... when the data set is about to be freed: drop every pointer into it.
  virtual void OnDataFreeing(QObject* Receiver, std::function<void()> Handler) = 0;
  // ... when a different data set (or none) is current, or the current one was changed in place.
  virtual void OnDataReplaced(QObject* Receiver, std::function<void()> Handler) = 0;
  // Sent by the page that frees, replaces or changes the data set in place.
  virtual void AnnounceDataFreeing() = 0;
  virtual void AnnounceDataReplaced() = 0;
};

// Shows the gauge and Cancel (or Alternative, e.g. BtnExploreCancel) and sets ContinueFlag while
// a cancellable loop runs; hides them and restores the gauge on every exit path.
class TLongLoop {
 public:
  explicit TLongLoop(TPageContext& Context, QWidget* CancelButton = nullptr);
  ~TLongLoop();
  TLongLoop(const TLongLoop&) = delete;
  TLongLoop& operator=(const TLongLoop&) = delete;
  Progress& Gauge() { return FProgress; }
  bool Continue() const { return FContext.ContinueFlag; }

 private:
  TPageContext& FContext;
  QWidget* FCancel;
  TQtProgress FProgress;
};

}  // namespace qv
