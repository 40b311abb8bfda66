#pragma once
// The main window: the page frame, the main menu, the status row with its memory and mode
// panels, and start-up and close. It is the pages' TPageContext: it holds the state they share
// and answers what they ask of the frame; their commands bind to the menu through BindCommand
// and they listen to the notifications below.
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/DeveloperMode.h"
#include "common/MemoryStatus.h"
#include "common/PageContext.h"
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
class TFmTextOutput;

class TFmMain : public QMainWindow, public TPageContext {
  Q_OBJECT
 public:
  static constexpr int RefreshIntervalMs = 100;  // /proc is read at most 10 times a second

  // Builds the window and runs the creation steps.
  TFmMain();
  ~TFmMain() override;

  // The shared state (CurrentProtocol, CurrentData, ContinueFlag, the metrics, Hooks, the engine
  // objects) comes from TPageContext.

  // ---- Shared operations ----
  void ShowMemoryStatus() override;
  // Reads the figures now and redraws both panels.
  void ShowMemoryFigures(const TMemoryFigures& Figures);
  // Answers the "memory changed" notification, queued and coalesced: one redraw per burst.
  void WMMemoryRefresh();
  void ShowHint(const QString& Hint);
  void NextCompensationMode();
  void ShowCompensationMode() override;
  void ShowProtocolName(const QString& Caption) override;
  void PnDynamicCompensationClick();
  void PnPhysicalMemoryClick();
  void BtnCancelClick() override;
  void MasterLauncher(int Tag);
  void BtnHelpClick();
  void SetFileControlsBusy(bool Busy) override;
  void UpdateProtocolDependentControls(bool ShowFilePages, bool ShowDataPages) override;
  void FillChannelCombos(const TProtocol& Protocol) override;
  void ShowPoints(int64_t Count) override;

  // Replace the protocol or the data set; the notifications go out in order. Callers that
  // replace or clear a protocol ask QuerySaveProtocol first.
  void SetCurrentProtocol(std::unique_ptr<TProtocol> Protocol) override;
  void SetCurrentData(std::unique_ptr<TFCSData> Data);
  // Whether CurrentProtocol differs from its file (a protocol never saved always does).
  bool ProtocolModified() const;
  // Whether CurrentProtocol was read from or written to a protocol file: an absolute name. A
  // protocol never saved has none, one read from a data file only the stream's name.
  bool ProtocolHasOwnFile() const override;
  // The protocol now matches its file (after it was read or written).
  void MarkProtocolSaved();
  bool QuerySaveProtocol() override;
  bool SaveCurrentProtocol(bool SaveAs) override;
  void ListProtocolFiles() override;
  // The protocol-file combo on the current protocol's file, or on no entry.
  void ShowProtocolFileChoice();
  // The help file: in ProgramDir, else beside the executable (ProgramDir's name when neither).
  static std::string HelpFileName();

  // ---- Frame for the pages ----
  // The window's own findChild, which the pages' context answers with too.
  using QMainWindow::findChild;
  QWidget* Window() const override;
  QWidget* Page(const QString& Name) const override;
  QTabWidget* Pages(const QString& Name) const override;
  QAction* MenuItem(const QString& Name) const;
  QMenu* PopupMenu(const QString& Name) const override;
  // Items without a command stay disabled; a second binding replaces the command (and counts).
  void BindCommand(const QString& ItemName, std::function<void(int Tag)> Command) override;
  void ShowPage(const QString& Name) override;
  bool PageShown(const QString& Name) const override;
  void SetPageVisible(const QString& Name, bool Visible) override;
  void OnProtocolReplaced(QObject* Receiver, std::function<void()> Handler) override;
  void OnDataFreeing(QObject* Receiver, std::function<void()> Handler) override;
  void OnDataReplaced(QObject* Receiver, std::function<void()> Handler) override;
  void AnnounceDataFreeing() override;
  void AnnounceDataReplaced() override;
  // A question asked before the window closes; false stops the close.
  void AddCloseQuery(std::function<bool()> Query);
  void AddCloseQuery(TFmTextOutput* Report) override;
  void UpdateCommandStates() override;

  using TLongLoop = qv::TLongLoop;

  // Status row.
  QWidget* PnStatus = nullptr;
  QLabel* PnPoints = nullptr;
  QLabel* PnPhysicalMemory = nullptr;
  QLabel* PnVirtualMemory = nullptr;
  QLabel* PnDynamicCompensation = nullptr;
  QLabel* PnHint = nullptr;
  QLabel* PnProtocolName = nullptr;
  // PnProgress, BtnCancel and GaProgress come from TPageContext.
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
  // Below its layout's least height a page scrolls instead of squeezing its controls together.
  void LetPagesScroll();
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
  std::vector<QPointer<TFmTextOutput>> FReports;  // windows closed meanwhile are null
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

}  // namespace qv
