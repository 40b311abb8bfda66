#pragma once
// The main window: the shared state of every page, the page frame, the main menu, the status
// row with its memory and mode panels, and start-up and close. The pages' commands bind to the
// menu through BindCommand and listen to the notifications below.
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/EngineObjects.h"
#include "common/MemoryStatus.h"
#include "common/PageHooks.h"
#include "common/QtHost.h"

class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QToolButton;
class QWidget;

namespace qv {

class TProtocol;
class TFCSData;

class TFmMain : public QMainWindow, public TEngineObjects {
  Q_OBJECT
 public:
  static constexpr int RefreshIntervalMs = 100;  // /proc is read at most 10 times a second

  // Builds the window and runs the creation steps.
  TFmMain();
  ~TFmMain() override;

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

  // ---- Shared operations ----
  // Refreshes both memory panels (reading /proc at most 10 times a second), then pumps events once.
  void ShowMemoryStatus();
  // Reads the figures now and redraws both panels.
  void ShowMemoryFigures(const TMemoryFigures& Figures);
  // Answers the "memory changed" notification, queued and coalesced: one redraw per burst.
  void WMMemoryRefresh();
  void ShowHint(const QString& Hint);
  void NextCompensationMode();
  // Redraws the mode panel for the current CompensationMode.
  void ShowCompensationMode();
  void PnDynamicCompensationClick();
  void PnPhysicalMemoryClick();
  void BtnCancelClick();
  void MasterLauncher(int Tag);
  void BtnHelpClick();
  void SetFileControlsBusy(bool Busy);
  void UpdateProtocolDependentControls(bool ShowFilePages, bool ShowDataPages);
  void FillChannelCombos(const TProtocol& Protocol);
  // The event count panel.
  void ShowPoints(int64_t Count);

  // Replace the protocol or the data set; the notifications go out in order. Callers that
  // replace or clear a protocol ask QuerySaveProtocol first.
  void SetCurrentProtocol(std::unique_ptr<TProtocol> Protocol);
  void SetCurrentData(std::unique_ptr<TFCSData> Data);
  // Whether CurrentProtocol differs from its file (a protocol never saved always does).
  bool ProtocolModified() const;
  // The protocol now matches its file (after it was read or written).
  void MarkProtocolSaved();
  // Asks "Save changes to protocol <name>?" when the protocol differs from its file; false
  // when the user cancels (or a save is cancelled), so the caller stops.
  bool QuerySaveProtocol();
  // Saves the protocol to its file, or through the save dialog when it has none (or SaveAs);
  // false when the dialog was cancelled.
  bool SaveCurrentProtocol(bool SaveAs);
  // Fills the protocol-file combo with the *.protocol files of ProgramDir.
  void ListProtocolFiles();
  // The help file: in ProgramDir, else beside the executable (ProgramDir's name when neither).
  static std::string HelpFileName();

  // ---- Frame for the pages ----
  // Operations that one page offers the others (installed by the page that owns each).
  TPageHooks Hooks;
  // The page or sub-page by its name ("TsLoad", "TsChannelData", ...).
  QWidget* Page(const QString& Name) const;
  QTabWidget* Pages(const QString& Name) const;  // "PgMain", "PgExplore", ...
  QAction* MenuItem(const QString& Name) const;
  QMenu* PopupMenu(const QString& Name) const;  // "PMXAxis", "PMYAxis", "PMHistogram"
  // Binds a menu item to its command, run inside the command guard with the item's Tag. Items
  // without a command stay disabled; a second binding replaces the command (and counts).
  void BindCommand(const QString& ItemName, std::function<void(int Tag)> Command);
  // A question asked before the window closes; false stops the close.
  void AddCloseQuery(std::function<bool()> Query);
  // Enables the menu items from the busy state and whether a protocol and data set are held.
  void UpdateCommandStates();

  // Shows the gauge and Cancel (or Alternative, e.g. BtnExploreCancel) and sets ContinueFlag
  // while a cancellable loop runs; hides them and restores the gauge on every exit path.
  class TLongLoop {
   public:
    explicit TLongLoop(TFmMain& Main, QWidget* CancelButton = nullptr);
    ~TLongLoop();
    Progress& Gauge() { return FProgress; }
    bool Continue() const { return FMain.ContinueFlag; }

   private:
    TFmMain& FMain;
    QWidget* FCancel;
    TQtProgress FProgress;
  };

  // Status row.
  QWidget* PnStatus = nullptr;
  QLabel* PnPoints = nullptr;
  QLabel* PnPhysicalMemory = nullptr;
  QLabel* PnVirtualMemory = nullptr;
  QLabel* PnDynamicCompensation = nullptr;
  QLabel* PnHint = nullptr;
  QLabel* PnProtocolName = nullptr;
  QWidget* PnProgress = nullptr;
  QPushButton* BtnCancel = nullptr;
  QProgressBar* GaProgress = nullptr;
  QWidget* PnButtons = nullptr;
  QToolButton* BtnHelp = nullptr;
  QTabWidget* PgMain = nullptr;

 signals:
  // A different protocol (or none) is current; the protocol page refreshes its editors.
  void ProtocolReplaced();
  // The data set is about to be freed: drop every pointer into it.
  void DataFreeing();
  // A different data set (or none) is current.
  void DataReplaced();

 protected:
  void closeEvent(QCloseEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  bool event(QEvent* Event) override;

 private:
  void BuildPages();
  void BuildMenu();
  void BuildStatusRow();
  void FormCreate();
  // Close steps; false when the user stopped the close.
  bool FormClose();
  void OnBusyChanged(bool Busy);
  void ApplyFileControls();
  void QueueRefresh();
  std::vector<uint8_t> ProtocolBytes() const;
  template <class T>
  T* Find(const char* Name) const {
    return findChild<T*>(QString::fromLatin1(Name));
  }

  struct TCommandItem {
    QAction* Action = nullptr;
    int Tag = 0;
    bool NeedsProtocol = false;
    bool NeedsData = false;
    std::function<void(int)> Command;
  };
  std::map<QString, TCommandItem> FItems;
  std::map<QString, QMenu*> FPopups;
  std::vector<std::function<bool()>> FCloseQueries;
  std::vector<uint8_t> FSavedProtocol;  // the protocol as last read or written
  std::string FStartError;              // settings that could not be read, shown once the window is up
  bool FSettingsRead = false;
  bool FFileControlsBusy = false;
  bool FCloseRequested = false;
  bool FClosed = false;
  bool FShown = false;
  bool FRefreshPending = false;
  qint64 FLastMemoryRead = -RefreshIntervalMs;
  TMemoryFigures FMemory;
};

// The caption of a mode panel and its colour ($00BBGGRR) and hint.
struct TModePanel {
  const char* Caption;
  uint32_t Colour;
  std::string Hint;
};
TModePanel CompensationModePanel(int32_t Mode);

// Enables every BtnExport<X>Excel under Root exactly when Available.
void ApplySpreadsheetAvailability(QWidget* Root, bool Available);
// Enables the developer-only controls under Root exactly when Developer.
void ApplyDeveloperMode(QWidget* Root, bool Developer);

}  // namespace qv
