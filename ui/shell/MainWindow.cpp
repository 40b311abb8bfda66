#include "shell/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>

#include "shell/About.h"
#include "common/Colours.h"
#include "common/CommandBinding.h"
#include "common/CommandGuard.h"
#include "common/Dialogs.h"
#include "Errors.h"
#include "pages/ExportCommands.h"
#include "Files.h"
#include "pages/ChartsPage.h"
#include "pages/CompensationCommands.h"
#include "pages/CustomDetectorPage.h"
#include "pages/ClassExplorerPage.h"
#include "pages/FitnessPage.h"
#include "Globals.h"
#include "shell/HelpFile.h"
#include "common/Hints.h"
#include "NumberFormat.h"
#include "common/Pictures.h"
#include "shell/Preferences.h"
#include "pages/ProtocolCreator.h"
#include "pages/ProtocolPage.h"
#include "pages/QueuePage.h"
#include "pages/ReadingPage.h"
#include "common/Spreadsheet.h"
#include "Streams.h"
#include "pages/VariabilityPage.h"
#include "report/TextOutput.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

// The ten export groups in the order their glyphs are loaded.
const char* const ExportGroups[] = {"Header", "Parameters", "Data",        "Processed", "Class",
                                    "Output", "Variability", "Dist",       "Matrix",    "Protocol"};

struct TPageDef {
  const char* Parent;  // tab widget
  const char* Name;
  const char* Caption;
  const char* SubPages;  // name of the tab widget the page holds, or null
};

const TPageDef PageTable[] = {
    {"PgMain", "TsProtocol", "Protocol", "PgProtocol"},
    {"PgProtocol", "TsChannel", "Channels", "PgChannel"},
    {"PgChannel", "TsChannelData", "Channel Data", nullptr},
    {"PgChannel", "TsCompensation", "Compensation ", nullptr},
    {"PgChannel", "TsReassignChannelData", "Reassign Channel Data", nullptr},
    {"PgChannel", "TsChannelNotes", "Channel Notes", nullptr},
    {"PgProtocol", "TsGlobalGates", "Global Gates", nullptr},
    {"PgProtocol", "TsGenotypes", "Genotypes", nullptr},
    {"PgProtocol", "TsMatrix", "Matrix", nullptr},
    {"PgProtocol", "TsProtocolNotes", "Protocol Notes", nullptr},
    {"PgProtocol", "TsSpillovers", "Spillover Filters", nullptr},
    {"PgMain", "TsExplore", "FCS File Viewer", "PgExplore"},
    {"PgExplore", "TsLoad", "Load", nullptr},
    {"PgExplore", "TsHeader", "Header", nullptr},
    {"PgExplore", "TsData", "Data", nullptr},
    {"PgExplore", "TsProcessed", "Processed", nullptr},
    {"PgExplore", "TsDistributions", "Distributions", nullptr},
    {"PgExplore", "TsCustomDetector", "Custom Detector", nullptr},
    {"PgExplore", "TsVariability", "Variability", nullptr},
    {"PgExplore", "TSGraphs", "Graphs", nullptr},
    {"PgExplore", "TsClassification", "Classification", "PgClassification"},
    {"PgClassification", "TSSummary", "Summary", nullptr},
    // The class explorer plots the class histograms itself; a sheet of its own would stay empty.
    {"PgClassification", "TsClassExplorer", "Class Explorer", nullptr},
    {"PgClassification", "TsAutomateSummary", "Automate Summary", nullptr},
    {"PgMain", "TsProcess", "Fitness", "PgFitnessControls"},
    {"PgFitnessControls", "TsFitnessAnalysis", "Fitness Analysis", nullptr},
    {"PgFitnessControls", "TsBootstrap", "Bootstrap", nullptr},
    {"PgFitnessControls", "TsAutomatedFitness", "Automated Fitness", nullptr},
    {"PgFitnessControls", "TsFitnessCorrelation", "Fitness Correlation", nullptr},
};

enum TNeeds { None = 0, Protocol = 1, Data = 2 };

struct TMenuDef {
  const char* Menu;  // caption of the top-level menu, "Matrix" for the protocol's submenu
  const char* Name;
  const char* Caption;
  int Tag;
  const char* ShortCut;
  const char* Hint;
  int Needs;
  bool SeparatorAfter;
};

const TMenuDef MenuTable[] = {
    {"&File   ", "MnLoadQuorvenal", "Load &Quorvenal File", 6, "Ctrl+F", "Load file specified by file selection pane", None, false},
    {"&File   ", "MnAppendQuorvenal", "&Append", 8, "", "Append these files to the file already open, ignoring the protocol", Data, false},
    {"&File   ", "MnCompensate", "&Compensate", 4, "", "Compensate data and process", Data, false},
    {"&File   ", "MnReprocess", "&Process", 3, "Ctrl+P", "Reset detectors, fit curves and call classess", Data, false},
    {"&File   ", "MnSaveQuorvenal", "&Save As...", 3, "Ctrl+S", "Save data as a Quorvenal file", Data, true},
    {"&File   ", "MnExport", "&Export Processed Data", 1, "", "Export Current FCS data as a CSV file", Data, false},
    {"&File   ", "MnExportChannelSummaries", "E&xport Channel Summaries", 7, "", "Export fluorescent peak data to Excel", None, false},
    {"&File   ", "MnPreferences", "Prefere&nces", 2, "Ctrl+Alt+P", "Set program preferences", None, true},
    {"&File   ", "MnQuit", "&Quit", 1, "Ctrl+Q", "Exit Quorvenal program", None, false},
    {"&Protocol   ", "MnNewProtocol", "&New ", 1, "Ctrl+N", "Create a new protocol", None, false},
    {"&Protocol   ", "MnImportProtocol", "&Open", 2, "Ctrl+O", "Open a protocol from a file", None, false},
    {"&Protocol   ", "MnSaveProtocol", "&Save As...", 4, "", "Save current protocol to a file", Protocol, false},
    {"&Protocol   ", "MnClearProtocol", "&Clear", 49, "", "Clear current protocol", Protocol, true},
    {"&Protocol   ", "MnExportProtocol", "&Export", 8, "", "Export Protocol for inspection", Protocol, false},
    {"Matrix", "MnShowmatrix", "Show", 1, "", "Show the inverted matrix on screen", Protocol, false},
    {"Matrix", "MnImportMatrix", "Import", 3, "", "Import compensation matrix (channels in columns)", Protocol, false},
    {"Matrix", "MnExportMatrix", "Export", 2, "", "Export the inverted matrix", Protocol, false},
    {"&Protocol   ", "MnUpdateChannel", "Update C&hannel", 2, "", "Update current Channel with on-screen data", Protocol, false},
    {"&Protocol   ", "MnUpdateGate", "Update &Gate", 0, "", "", Protocol, false},
    {"&Protocol   ", "MnUpdateGenotype", "Update Ge&notype", 0, "", "", Protocol, false},
    {"&Protocol   ", "MnUpdateProtocol", "Update &Protocol", 3, "Ctrl+U", "Update current protocol using on-screen data", Protocol, false},
    {"F&CS   ", "MnReadSingleFCS", "Read &Single", 0, "Ctrl+R", "Read a single FSC file", None, false},
    {"F&CS   ", "MnReadMultipoleFCS", "Read &Multiple", 0, "Ctrl+M", "Merge data from multiple FCS files", None, true},
    {"F&CS   ", "MnAddToQueue", "&Add to Queue", 1, "Ctrl+Alt+A", "Add the selected files to the queue", None, false},
    {"F&CS   ", "MnDeleteQueueEntry", "&Delete Queue Entry", 4, "Ctrl+Alt+D", "Delete the selected entries from the queue", None, false},
    {"F&CS   ", "MnClearQueue", "&Clear Queue", 3, "Ctrl+Alt+C", "Clear the queue", None, false},
    {"F&CS   ", "MnExecuteQueue", "&Execute Queue", 2, "Ctrl+Alt+E", "Analyse every file set of the queue", None, false},
    {"Fit&ness   ", "BtnCalculate", "&Calculate", 1, "", "Calculate fitness values using the 4 files", None, false},
    {"Fit&ness   ", "MnBootstrap", "&Bootstrap", 2, "", "Bootstrap fitness values", None, true},
    {"Fit&ness   ", "MnExplore", "&Explore", 1, "", "Calculate fitness for the array of Z value cutoffs shown", None, false},
    {"Fit&ness   ", "MnDiscard", "&Discard", 9, "", "Discard the Fitness Calculator, freeing the memory", None, false},
    {"Fit&ness   ", "MnProcessDirectory", "C&hange Directory", 0, "", "Change the directory listing files to process", None, false},
    {"&Help   ", "MnAbout", "&About...", 3, "", "About Quorvenal", None, true},
    {"&Help   ", "MnHelpHelp", "&Help", 0, "F1", "Show the Help file", None, false},
};

// The file commands' buttons and menu items that SetFileControlsBusy switches.
const std::pair<const char*, const char*> FileControls[] = {
    {"BtnReadFCSFile", "MnReadSingleFCS"},        {"BtnReadMultipleFCSFiles", "MnReadMultipoleFCS"},
    {"BtnAddToFCSQueue", "MnAddToQueue"},         {"BtnDeleteFromQueue", "MnDeleteQueueEntry"},
    {"BtnClearFCSQueue", "MnClearQueue"},         {"BtnLoadQuorvenal", "MnLoadQuorvenal"},
    {"BtnAppendQuorvenalFile", "MnAppendQuorvenal"}, {"BtnChannelSummaries", "MnExportChannelSummaries"},
};

void SetPanelColour(QLabel* Panel, uint32_t Colour) {
  QPalette P = Panel->palette();
  P.setColor(QPalette::Window, FromPlatformColour(Colour));
  P.setColor(QPalette::WindowText, Qt::black);
  Panel->setPalette(P);
}

// A panel that shows as much of its caption as fits, ending it with an ellipsis: a long caption
// never widens the status row.
class TElidedPanel : public QLabel {
 public:
  using QLabel::QLabel;
  QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
  QSize sizeHint() const override { return minimumSizeHint(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter Painter(this);
    drawFrame(&Painter);
    const QRect Room = contentsRect();
    Painter.drawText(Room, static_cast<int>(alignment()), fontMetrics().elidedText(text(), Qt::ElideRight, Room.width()));
  }
};

// Width 0: the panel takes the rest of the row. Otherwise the panel keeps one width: Width, or
// wider when the user's font needs it for the widest caption the panel shows (Widest). Panels
// without a widest caption elide theirs.
QLabel* NewPanel(QWidget* Parent, const char* Name, int Width, const QString& Caption, const QString& Hint,
                 const QStringList& Widest = {}) {
  const bool Elided = Width == 0 || Widest.isEmpty();
  QLabel* Panel = Elided ? new TElidedPanel(Caption, Parent) : new QLabel(Caption, Parent);
  Panel->setObjectName(Name);
  Panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel->setAutoFillBackground(true);
  if (Width > 0) {
    int Needed = 0;
    for (const QString& Text : Widest) Needed = std::max(Needed, Panel->fontMetrics().horizontalAdvance(Text));
    Panel->setFixedWidth(std::max(Width, Needed + 2 * Panel->frameWidth() + 4));
  } else {
    Panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  SetHint(Panel, Hint);
  return Panel;
}

}  // namespace

TModePanel CompensationModePanel(int32_t Mode) {
  switch (Mode) {
    case 1: return {"Corrected", 0xFFFF00, "Static Compensation with Baseline correction"};
    case 2:
      return {"Dyanmic", 0x0000FF,
              "Dyanmic Compensation using " + std::to_string(DynamicCompensationN) + " Monte Carlo iterations"};
    default: return {"Native", 0x00FF00, "Static Compensation of Raw Values"};
  }
}

void ApplySpreadsheetAvailability(QWidget* Root, bool Available) {
  for (const char* X : ExportGroups)
    if (auto* Button = Root->findChild<QWidget*>(QString("BtnExport%1Excel").arg(X))) Button->setEnabled(Available);
}

// ---------------------------------------------------------------------------------------------
// Creation and close

TFmMain::TFmMain() {
  setObjectName("FmMain");
  setWindowTitle("Quorvenal - Vantorel");
  BuildPages();
  BuildStatusRow();
  BuildMenu();
  auto* Central = new QWidget(this);
  auto* Layout = new QVBoxLayout(Central);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  Layout->addWidget(PgMain, 1);
  Layout->addWidget(PnStatus);
  setCentralWidget(Central);
  // The smallest width (762) exceeds the 754-pixel client width, so the window opens at the
  // smallest width; the 535-pixel client height lies below the menu bar.
  setMinimumSize(762, 248);
  resize(754 + 8, 535 + menuBar()->sizeHint().height());
  if (QScreen* Screen = QGuiApplication::primaryScreen())
    move(Screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

  connect(&TCommandGuard::Instance(), &TCommandGuard::BusyChanged, this, &TFmMain::OnBusyChanged);
  connect(this, &TFmMain::ProtocolReplaced, this, &TFmMain::UpdateCommandStates);
  connect(this, &TFmMain::DataReplaced, this, &TFmMain::UpdateCommandStates);
  connect(this, &TFmMain::ProtocolReplaced, this, [this] {
    TProtocolNotesView View;
    if (CurrentProtocol) CurrentProtocol->ShowNotes(View);
    PnProtocolName->setText(CurrentProtocol ? Q(View.NamePanel) : QString(" <no protocol>"));
    ShowProtocolFileChoice();
  });
  BindCommand("MnPreferences", [this](int Tag) { MasterLauncher(Tag); });
  BindCommand("MnQuit", [this](int Tag) { MasterLauncher(Tag); });
  BindCommand("MnAbout", [this](int Tag) { MasterLauncher(Tag); });
  BindCommand("MnHelpHelp", [this](int) { BtnHelpClick(); });
  auto* Protocol = new TProtocolPage(*this);
  auto* Exports = new TExportCommands(*this);
  new TVariabilityPage(*this);
  new TCustomDetectorPage(*this);
  FormCreate();
  new TFitnessPage(*this);
  auto* Charts = new TChartsPage(*this);
  // Its derive panel opens under the distribution chart, its reset beside the raw compensations.
  new TCompensationCommands(*this, Charts->PnDerive, Protocol->BtnCreateFilter->parentWidget());
  new TClassExplorerPage(*this);
  Exports->BindButtons();
  Exports->UpdateFileExportButtons();
  LetPagesScroll();
}

TFmMain::~TFmMain() {
  SetRefreshHandler(nullptr);
  if (!FClosed) {
    if (CurrentData) emit DataFreeing();
    CurrentData.reset();
    CurrentProtocol.reset();
    FreeEngineObjects(*this);
  }
}

void TFmMain::FormCreate() {
  // 1. Button glyphs, by resource name; buttons that are not there keep no image.
  auto Glyph = [this](const char* Button, const char* Resource) {
    if (auto* B = findChild<QAbstractButton*>(Button)) B->setIcon(ButtonGlyph(Resource));
  };
  for (const char* B : {"BtnExpected1", "BtnExpected2", "BtnObserved1", "BtnObserved2"}) Glyph(B, "BMRIGHT");
  for (const char* B : {"BtnCalculateChannelMean", "BtnCalculateGateMean"}) Glyph(B, "BMCALC");
  for (const char* B : {"BtnCustomMean", "BtnChannelDisplayMinimum", "BtnChannelDisplayMaximum",
                        "BtnGateDisplayMinimum", "BtnGateDisplayMaximum"})
    Glyph(B, "BMCALCTOGGLE");
  BtnHelp->setIcon(ButtonGlyph("BMHELP"));
  Glyph("BtnSpillover", "BMSPILLOVER");
  Glyph("BtnRefine", "BMREFINE");
  for (const char* X : ExportGroups) {
    Glyph(qPrintable(QString("BtnExport%1Text").arg(X)), "BMDOCUMENT");
    Glyph(qPrintable(QString("BtnExport%1Excel").arg(X)), "BMEXCEL");
    Glyph(qPrintable(QString("BtnExport%1Save").arg(X)), "BMDISK");
  }

  // 2. Settings. A file that cannot be read is reported once the window is up; the values
  // loaded so far stand.
  try {
    LoadSettings();
    FSettingsRead = true;
  } catch (const std::exception& E) {
    FStartError = E.what();
  }

  // 3. Leftover temporary files.
  try {
    DeleteTempFiles();
  } catch (const std::exception&) {
    // a file that cannot be deleted now is tried again at the next start
  }

  new TReadingPage(*this);
  new TQueuePage(*this);
  new TProtocolCreator(*this);

  // 4. Spreadsheet program.
  ExcelAvailable = SpreadsheetAvailable();
  ApplySpreadsheetAvailability(this, ExcelAvailable);

  // 5. Hints: Qt sends every control's status tip to this window (see event()).

  // 6. Folders.
  if (auto* Label = Find<QLabel>("LbFitnessDirectory")) Label->setText(Q(ProcessDir));

  // 7. Fixed cells of the data grid.
  if (auto* Grid = Find<QTableWidget>("SgData"); Grid && Grid->columnCount() > 0 && Grid->rowCount() > 1) {
    Grid->setItem(0, 0, new QTableWidgetItem("Parameter"));
    Grid->setItem(1, 0, new QTableWidgetItem("Name"));
  }

  // 8. The last protocol. Only an absolute name is a file of its own; a relative one would
  // depend on the folder the program was started from.
  if (!std::filesystem::path(ProtocolFile).is_absolute()) ProtocolFile.clear();
  if (LoadProtocol && !ProtocolFile.empty() && FileExists(ProtocolFile)) {
    if (auto Restored = TProtocol::OpenFile(ProtocolFile)) SetCurrentProtocol(std::move(Restored));
  }

  // 9. Protocol creator grid.
  if (auto* Grid = Find<QTableWidget>("SgMakeProtocol")) {
    Grid->setColumnCount(3);
    Grid->setHorizontalHeaderLabels({"Long Name", "Short Name", "Gate/Channel"});
  }

  // 10. Active pages.
  Pages("PgProtocol")->setCurrentWidget(Page("TsChannel"));
  Pages("PgChannel")->setCurrentWidget(Page("TsChannelData"));
  Pages("PgExplore")->setCurrentWidget(Page("TsLoad"));
  PgMain->setCurrentWidget(Page("TsExplore"));
  Pages("PgClassification")->setCurrentWidget(Page("TSSummary"));

  // 11.
  XMetric = -1;
  YMetric = -1;
  CreateQueue(*this);

  // 12. File-type radios, applied as a click.
  const char* const Radios[] = {"RbFCSFiles", "RbQuorvenalFiles", "RbAllFiles"};
  if (ShowFileType >= 1 && ShowFileType <= 3)
    if (auto* Radio = Find<QRadioButton>(Radios[ShowFileType - 1])) Radio->click();

  // 13. Fitness slots.
  FitnessSlot = 0;
  const char* const Slots[] = {"EdExpected1", "EdObserved1", "EdExpected2", "EdObserved2"};
  for (size_t i = 0; i < FitnessSlotEdits.size(); ++i) FitnessSlotEdits[i] = Find<QLineEdit>(Slots[i]);
  FreeCalculator(*this);

  // 14.
  if (auto* Box = Find<QCheckBox>("CbSSDPValue")) Box->setChecked(CalculateSSDPvalues);
  if (auto* Edit = Find<QLineEdit>("EdSSDIterations")) Edit->setText(QString::number(SSDIterations));

  // 15.
  CreateVariability(*this);

  // 16. Layout.
  if (auto* Panel = Find<QWidget>("PnDistributionControl")) Panel->setFixedHeight(69);
  DistributionChannel = -1;
  if (auto* Box = Find<QWidget>("GbFCSFiles")) Box->setFixedHeight(219);
  for (const char* Combo : {"CmBxReportType", "CmBxDeconvolution"})
    if (auto* Box = Find<QComboBox>(Combo); Box && Box->count() > 1) Box->setCurrentIndex(1);

  // 17. Every run starts in mode 0 (step 21), whatever the file held.
  CompensationMode = -1;

  // 18.
  ListProtocolFiles();

  // 19. Summary tab stops at 50, 100, ..., 600.
  if (auto* Memo = Find<QTextEdit>("MeSummary")) {
    QTextOption Option = Memo->document()->defaultTextOption();
    QList<QTextOption::Tab> Tabs;
    for (int i = 1; i <= 12; ++i) Tabs << QTextOption::Tab(50.0 * i, QTextOption::LeftTab);
    Option.setTabs(Tabs);
    Memo->document()->setDefaultTextOption(Option);
  }

  // 20.
  UpdateProtocolDependentControls(false, false);
  // 21.
  NextCompensationMode();
  // 22.
  SetRefreshHandler([this] { QueueRefresh(); });
  ShowMemoryStatus();
  // 23. Constant-fluorophore fitness mode.
  if (auto* Radio = Find<QRadioButton>("RbSimpleFitness")) Radio->click();
  // 24. Developer-only controls.
  ApplyDeveloperMode(this, IsDeveloperMode());

  UpdateCommandStates();
}

void TFmMain::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (FShown) return;
  FShown = true;
  if (!FStartError.empty())
    QTimer::singleShot(0, this, [this] {
      const std::string Text = std::exchange(FStartError, std::string());
      AppDialogs().Error(Text);
    });
}

void TFmMain::closeEvent(QCloseEvent* Event) {
  if (FClosed) {
    Event->accept();
    return;
  }
  // A command is running: stop its loop and close when it has returned.
  if (TCommandGuard::Instance().Busy()) {
    ContinueFlag = false;
    FCloseRequested = true;
    Event->ignore();
    return;
  }
  if (!FormClose()) {
    Event->ignore();
    return;
  }
  Event->accept();
}

bool TFmMain::FormClose() {
  FCloseRequested = false;
  // Edits answered No are dropped only once nothing stops the close: a later Cancel keeps them.
  std::vector<QPointer<TFmTextOutput>> Discarded;
  for (const QPointer<TFmTextOutput>& Report : FReports) {
    if (!Report) continue;
    switch (Report->QuerySaveChanges()) {
      case TFmTextOutput::TChangesAnswer::Cancel: return false;
      case TFmTextOutput::TChangesAnswer::Discard: Discarded.push_back(Report); break;
      case TFmTextOutput::TChangesAnswer::Kept: break;
    }
  }
  for (const auto& Query : FCloseQueries)
    if (!Query()) return false;
  if (!QuerySaveProtocol()) return false;
  // The windows without an owner close after this one and must not ask again.
  for (const QPointer<TFmTextOutput>& Report : Discarded)
    if (Report) Report->DiscardChanges();
  FClosed = true;

  // 1. Keep the protocol file for the next start.
  if (CurrentProtocol) {
    if (ProtocolHasOwnFile() && FileExists(CurrentProtocol->FileName)) ProtocolFile = CurrentProtocol->FileName;
    CurrentProtocol.reset();
  }
  // 2. The only time the settings file is written.
  try {
    if (!SaveSettings()) AppDialogs().Error("Settings not saved: FCS.INI could not be read at start");
  } catch (const std::exception& E) {
    AppDialogs().Error(E.what());
  }
  // 3.
  FreeEngineObjects(*this);
  if (CurrentData) emit DataFreeing();
  CurrentData.reset();
  // The refresh handler must not outlive the window.
  SetRefreshHandler(nullptr);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Frame

void TFmMain::BuildPages() {
  PgMain = new QTabWidget(this);
  PgMain->setObjectName("PgMain");
  std::map<QString, QTabWidget*> Tabs{{"PgMain", PgMain}};
  for (const TPageDef& Def : PageTable) {
    QTabWidget* Parent = Tabs.at(Def.Parent);
    auto* Sheet = new QWidget(Parent);
    Sheet->setObjectName(Def.Name);
    Parent->addTab(Sheet, Def.Caption);
    if (Def.SubPages) {
      auto* Layout = new QVBoxLayout(Sheet);
      Layout->setContentsMargins(2, 2, 2, 2);
      auto* Sub = new QTabWidget(Sheet);
      Sub->setObjectName(Def.SubPages);
      Layout->addWidget(Sub);
      Tabs[Def.SubPages] = Sub;
    }
  }
}

void TFmMain::LetPagesScroll() {
  for (const TPageDef& Def : PageTable) {
    QWidget* Sheet = Page(Def.Name);
    QLayout* Content = Sheet ? Sheet->layout() : nullptr;
    // A sheet that holds only its tab widget leaves the scrolling to the pages in it.
    if (!Content || (Def.SubPages && Content->count() == 1 && Content->itemAt(0)->widget() == Pages(Def.SubPages)))
      continue;
    // The body takes the sheet's layout and the widgets in it; the sheet keeps its name and
    // its place among the tabs.
    auto* Body = new QWidget;
    Body->setObjectName(QString(Def.Name) + "Body");
    Body->setLayout(Content);
    // Only downwards: the window is never narrower than its first width.
    Body->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* Scroll = new QScrollArea(Sheet);
    Scroll->setObjectName(QString(Def.Name) + "Scroll");
    Scroll->setFrameShape(QFrame::NoFrame);
    Scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Scroll->setWidgetResizable(true);
    Scroll->setWidget(Body);
    Scroll->viewport()->setAutoFillBackground(false);
    Body->setAutoFillBackground(false);
    auto* Layout = new QVBoxLayout(Sheet);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->addWidget(Scroll);
  }
}

void TFmMain::BuildStatusRow() {
  PnStatus = new QWidget(this);
  PnStatus->setObjectName("PnStatus");
  PnStatus->setFixedHeight(20);
  auto* Row = new QHBoxLayout(PnStatus);
  Row->setContentsMargins(0, 0, 0, 0);
  Row->setSpacing(1);
  // Room for a set of 9,999,999 events and for 999,999 MB.
  PnPoints = NewPanel(PnStatus, "PnPoints", 84, " 000000 Points", "Number of points in the FCS file",
                      {" 000000 Points", "9999999 Points"});
  PnPhysicalMemory =
      NewPanel(PnStatus, "PnPhysicalMemory", 52, " 0000 MB", "Available Physical Memory", {" 999999 MB"});
  PnVirtualMemory = NewPanel(PnStatus, "PnVirtualMemory", 52, " 0000 MB", "Available Virtual Memory", {" 999999 MB"});
  SetPanelColour(PnPhysicalMemory, 0x00FF00);
  SetPanelColour(PnVirtualMemory, 0x00FF00);
  PnDynamicCompensation =
      NewPanel(PnStatus, "PnDynamicCompensation", 54, "", "", {"Native", "Corrected", "Dyanmic"});
  PnDynamicCompensation->setAlignment(Qt::AlignCenter);
  PnHint = NewPanel(PnStatus, "PnHint", 0, " Hints shown here", "Hints shown here");
  // A protocol's name may be of any length: elided.
  PnProtocolName = NewPanel(PnStatus, "PnProtocolName", 185, " <no protocol>", "Name of the currently active protocol");
  BindMouseRelease(PnDynamicCompensation, [this] { PnDynamicCompensationClick(); });
  for (QLabel* Panel : {PnPhysicalMemory, PnVirtualMemory}) BindMouseRelease(Panel, [this] { PnPhysicalMemoryClick(); });

  PnProgress = new QWidget(PnStatus);
  PnProgress->setObjectName("PnProgress");
  PnProgress->setFixedWidth(169);
  auto* ProgressRow = new QHBoxLayout(PnProgress);
  ProgressRow->setContentsMargins(0, 0, 0, 0);
  BtnCancel = new QPushButton("Cancel", PnProgress);
  BtnCancel->setObjectName("BtnCancel");
  SetHint(BtnCancel, "Cancel current operation");
  BtnCancel->hide();
  BindCancel(BtnCancel, [this] { BtnCancelClick(); });
  GaProgress = new QProgressBar(PnProgress);
  GaProgress->setObjectName("GaProgress");
  GaProgress->setFixedWidth(100);
  GaProgress->setTextVisible(false);
  SetHint(GaProgress, "Progress");
  GaProgress->setStyleSheet("QProgressBar::chunk { background: blue; }");
  ProgressRow->addWidget(BtnCancel);
  ProgressRow->addWidget(GaProgress);
  PnProgress->hide();

  PnButtons = new QWidget(PnStatus);
  PnButtons->setObjectName("PnButtons");
  PnButtons->setFixedWidth(20);
  BtnHelp = new QToolButton(PnButtons);
  BtnHelp->setObjectName("BtnHelp");
  BtnHelp->setAutoRaise(true);
  BtnHelp->setGeometry(0, 0, 20, 20);
  SetHint(BtnHelp, "Show the Help file");
  qv::BindCommand(BtnHelp, [this] { BtnHelpClick(); });

  Row->addWidget(PnPoints);
  Row->addWidget(PnPhysicalMemory);
  Row->addWidget(PnVirtualMemory);
  Row->addWidget(PnDynamicCompensation);
  Row->addWidget(PnHint, 1);
  Row->addWidget(PnProtocolName);
  Row->addWidget(PnProgress);
  Row->addWidget(PnButtons);
}

void TFmMain::BuildMenu() {
  std::map<QString, QMenu*> Menus;
  QMenu* Matrix = nullptr;
  for (const TMenuDef& Def : MenuTable) {
    QMenu* Menu = nullptr;
    if (QString(Def.Menu) == "Matrix") {
      if (!Matrix) {
        Matrix = Menus.at("&Protocol   ")->addMenu("&Matrix");
        Matrix->setObjectName("MnMatrix");
      }
      Menu = Matrix;
    } else {
      auto It = Menus.find(Def.Menu);
      if (It == Menus.end()) {
        It = Menus.emplace(Def.Menu, menuBar()->addMenu(Def.Menu)).first;
        It->second->setObjectName(QString("Menu%1").arg(Menus.size()));
      }
      Menu = It->second;
      // The Matrix submenu is followed by a separator.
      if (Matrix && Menu == Menus.at("&Protocol   ") && QString(Def.Name) == "MnUpdateChannel")
        Menu->addSeparator();
    }
    QAction* Item = Menu->addAction(Def.Caption);
    Item->setObjectName(Def.Name);
    if (*Def.ShortCut) Item->setShortcut(QKeySequence(Def.ShortCut));
    Item->setStatusTip(Def.Hint);
    Item->setToolTip(Def.Hint);
    Item->setData(Def.Tag);
    if (Def.SeparatorAfter) Menu->addSeparator();
    TCommandItem& Entry = FItems[Def.Name];
    Entry.Action = Item;
    Entry.Tag = Def.Tag;
    Entry.NeedsProtocol = Def.Needs & Protocol;
    Entry.NeedsData = Def.Needs & Data;
  }
  for (const char* Name : {"PMXAxis", "PMYAxis", "PMHistogram"}) {
    auto* Popup = new QMenu(this);
    Popup->setObjectName(Name);
    Popup->setEnabled(false);
    FPopups[Name] = Popup;
  }
  QAction* ExportHistogram = FPopups["PMHistogram"]->addAction("Export");
  ExportHistogram->setObjectName("MnExportHistogram");
}

QWidget* TFmMain::Window() const { return const_cast<TFmMain*>(this); }
QWidget* TFmMain::Page(const QString& Name) const { return findChild<QWidget*>(Name); }
QTabWidget* TFmMain::Pages(const QString& Name) const { return findChild<QTabWidget*>(Name); }
QAction* TFmMain::MenuItem(const QString& Name) const {
  auto It = FItems.find(Name);
  return It == FItems.end() ? nullptr : It->second.Action;
}
QMenu* TFmMain::PopupMenu(const QString& Name) const {
  auto It = FPopups.find(Name);
  return It == FPopups.end() ? nullptr : It->second;
}

void TFmMain::BindCommand(const QString& ItemName, std::function<void(int Tag)> Command) {
  TCommandItem& Item = FItems.at(ItemName);
  if (Item.Command) {
    // Replaced: the item runs the new command, and counts as bound twice.
    RecordBinding(Item.Action, QString::fromLatin1(QMetaMethod::fromSignal(&QAction::triggered).methodSignature()));
  } else {
    qv::BindCommand(Item.Action, Item.Tag, [this, &Item](int Tag) {
      // Checked again at entry: the state may have changed since the menu was drawn.
      if ((Item.NeedsProtocol && !CurrentProtocol) || (Item.NeedsData && !CurrentData)) return;
      Item.Command(Tag);
    });
  }
  Item.Command = std::move(Command);
  UpdateCommandStates();
}

void TFmMain::ShowPage(const QString& Name) {
  for (const TPageDef& Def : PageTable)
    if (Name == Def.Name) Pages(Def.Parent)->setCurrentWidget(Page(Name));
}

bool TFmMain::PageShown(const QString& Name) const {
  for (const TPageDef& Def : PageTable)
    if (Name == Def.Name) return Pages(Def.Parent)->currentWidget() == Page(Name);
  return false;
}

void TFmMain::SetPageVisible(const QString& Name, bool Visible) {
  for (const TPageDef& Def : PageTable)
    if (Name == Def.Name) {
      QTabWidget* Tabs = Pages(Def.Parent);
      Tabs->setTabVisible(Tabs->indexOf(Page(Name)), Visible);
    }
}

void TFmMain::OnProtocolReplaced(QObject* Receiver, std::function<void()> Handler) {
  connect(this, &TFmMain::ProtocolReplaced, Receiver, std::move(Handler));
}

void TFmMain::OnDataFreeing(QObject* Receiver, std::function<void()> Handler) {
  connect(this, &TFmMain::DataFreeing, Receiver, std::move(Handler));
}

void TFmMain::OnDataReplaced(QObject* Receiver, std::function<void()> Handler) {
  connect(this, &TFmMain::DataReplaced, Receiver, std::move(Handler));
}

void TFmMain::AnnounceDataFreeing() { emit DataFreeing(); }
void TFmMain::AnnounceDataReplaced() { emit DataReplaced(); }

void TFmMain::AddCloseQuery(std::function<bool()> Query) { FCloseQueries.push_back(std::move(Query)); }

void TFmMain::AddCloseQuery(TFmTextOutput* Report) {
  std::erase_if(FReports, [](const QPointer<TFmTextOutput>& W) { return W.isNull(); });
  FReports.emplace_back(Report);
}

void TFmMain::UpdateCommandStates() {
  const bool Busy = TCommandGuard::Instance().Busy();
  for (auto& [Name, Item] : FItems) {
    bool On = Item.Command && !Busy && (!Item.NeedsProtocol || CurrentProtocol) && (!Item.NeedsData || CurrentData);
    Item.Action->setEnabled(On);
  }
  ApplyFileControls();
  if (auto* Matrix = findChild<QMenu*>("MnMatrix")) Matrix->setEnabled(!Busy && CurrentProtocol);
}

void TFmMain::OnBusyChanged(bool Busy) {
  UpdateCommandStates();
  if (!Busy && FCloseRequested) QTimer::singleShot(0, this, &QWidget::close);
}

// ---------------------------------------------------------------------------------------------
// Status row

void TFmMain::QueueRefresh() {
  if (FRefreshPending) return;
  FRefreshPending = true;
  // Posted, so a burst of notifications gives one redraw when the loop next runs.
  QMetaObject::invokeMethod(this, &TFmMain::WMMemoryRefresh, Qt::QueuedConnection);
}

void TFmMain::WMMemoryRefresh() {
  FRefreshPending = false;
  // Runs from the event loop already, so it redraws without pumping again.
  ShowMemoryFigures(ReadMemoryFigures());
}

void TFmMain::ShowMemoryFigures(const TMemoryFigures& Figures) {
  FMemory = Figures;
  FLastMemoryRead = QDateTime::currentMSecsSinceEpoch();
  PnPhysicalMemory->setText(Q(MemoryCaption(Figures.Physical)));
  SetPanelColour(PnPhysicalMemory, PhysicalMemoryColour(MemoryMB(Figures.Physical)));
  PnVirtualMemory->setText(Q(MemoryCaption(Figures.Virtual)));
  SetPanelColour(PnVirtualMemory, VirtualMemoryColour(MemoryMB(Figures.Virtual)));
}

void TFmMain::ShowMemoryStatus() {
  if (QDateTime::currentMSecsSinceEpoch() - FLastMemoryRead >= RefreshIntervalMs) ShowMemoryFigures(ReadMemoryFigures());
  QCoreApplication::processEvents();
}

void TFmMain::ShowHint(const QString& Hint) { PnHint->setText(" " + Hint); }

void TFmMain::ShowProtocolName(const QString& Caption) { PnProtocolName->setText(Caption); }

bool TFmMain::event(QEvent* Event) {
  if (Event->type() == QEvent::StatusTip) {
    ShowHint(static_cast<QStatusTipEvent*>(Event)->tip());
    return true;
  }
  return QMainWindow::event(Event);
}

void TFmMain::NextCompensationMode() {
  CompensationMode = CompensationMode + 1;
  if (CompensationMode > 2) CompensationMode = 0;
  ShowCompensationMode();
}

void TFmMain::ShowCompensationMode() {
  const TModePanel Panel = CompensationModePanel(CompensationMode);
  PnDynamicCompensation->setText(Panel.Caption);
  SetPanelColour(PnDynamicCompensation, Panel.Colour);
  SetHint(PnDynamicCompensation, Q(Panel.Hint));
}

void TFmMain::PnDynamicCompensationClick() {
  if (IsDeveloperMode())
    NextCompensationMode();
  else
    AppDialogs().Error("Whoa Nellie; that's a \"Developer Only\" function you're clicking");
}

void TFmMain::PnPhysicalMemoryClick() {
  FLastMemoryRead = -RefreshIntervalMs;
  ShowMemoryStatus();
}

void TFmMain::BtnCancelClick() {
  ContinueFlag = false;
  // A click of the user's: the panels show the figures of now, however recently they were read.
  FLastMemoryRead = -RefreshIntervalMs;
  ShowMemoryStatus();
}

void TFmMain::ShowPoints(int64_t Count) {
  PnPoints->setText(QString::number(Count) + " Points");
}

void TFmMain::SetFileControlsBusy(bool Busy) {
  FFileControlsBusy = Busy;
  ApplyFileControls();
}

void TFmMain::ApplyFileControls() {
  // Off while a file command said so and while any command runs.
  const bool Off = FFileControlsBusy || TCommandGuard::Instance().Busy();
  auto Bound = [this](const char* Item) { return static_cast<bool>(FItems.at(Item).Command); };
  // Appending needs a set to append to; channel summaries read the own data files listed.
  auto Possible = [this](const std::string& Button) {
    if (Button == "BtnAppendQuorvenalFile") return CurrentData != nullptr;
    if (Button == "BtnChannelSummaries") {
      auto* Own = Find<QRadioButton>("RbQuorvenalFiles");
      return Own && Own->isChecked();
    }
    return true;
  };
  for (const auto& [Button, Item] : FileControls) {
    const bool On = !Off && Possible(Button);
    if (auto* B = Find<QWidget>(Button)) B->setEnabled(On);
    MenuItem(Item)->setEnabled(On && Bound(Item));
  }
  bool QueueHasEntries = false;
  if (auto* Queue = Find<QWidget>("LsBxQueue")) QueueHasEntries = Queue->property("count").toInt() > 0;
  const bool Execute = !Off && QueueHasEntries;
  if (auto* B = Find<QWidget>("BtnExecuteFCSQueue")) B->setEnabled(Execute);
  MenuItem("MnExecuteQueue")->setEnabled(Execute && Bound("MnExecuteQueue"));
}

void TFmMain::UpdateProtocolDependentControls(bool ShowFilePages, bool ShowDataPages) {
  QTabWidget* Explore = Pages("PgExplore");
  for (const char* Name : {"TsHeader", "TsData"}) Explore->setTabVisible(Explore->indexOf(Page(Name)), ShowFilePages);
  for (const char* Name : {"TsCustomDetector", "TsProcessed", "TsDistributions", "TSGraphs", "TsClassification",
                           "TsVariability"})
    Explore->setTabVisible(Explore->indexOf(Page(Name)), ShowDataPages);
  if (CurrentProtocol) FillChannelCombos(*CurrentProtocol);
}

void TFmMain::FillChannelCombos(const TProtocol& Protocol) {
  for (const char* Name : {"CmBxCustomDetector", "CmBxCustomFilter"}) {
    auto* Combo = Find<QComboBox>(Name);
    if (!Combo) continue;
    Combo->clear();
    for (int32_t i = 0; i < Protocol.ChannelCount(); ++i) {
      std::string ChannelName;
      Protocol.GetChannelName(i, ChannelName);
      Combo->addItem(Q(ChannelName));
    }
    Combo->setCurrentIndex(-1);
    if (Combo->isEditable()) Combo->setEditText("");
  }
}

// ---------------------------------------------------------------------------------------------
// Launcher and help

void TFmMain::MasterLauncher(int Tag) {
  switch (Tag) {
    case 1: QTimer::singleShot(0, this, &QWidget::close); break;
    case 2: {
      auto* Preferences = new TFmPreferences(this);
      connect(Preferences, &TFmPreferences::SettingsApplied, this, &TFmMain::ShowCompensationMode);
      Preferences->show();
      break;
    }
    case 3: new TFmAbout(this); break;
    default: break;
  }
}

std::string TFmMain::HelpFileName() {
  const std::string InProgramDir = ProgramDir + "Quorvenal.PDF";
  if (FileExists(InProgramDir)) return InProgramDir;
  const std::string Beside = (QCoreApplication::applicationDirPath() + "/Quorvenal.PDF").toStdString();
  if (FileExists(Beside)) return Beside;
  return InProgramDir;
}

void TFmMain::BtnHelpClick() { new TFmHelp(this, HelpFileName()); }

// ---------------------------------------------------------------------------------------------
// Protocol and data set

std::vector<uint8_t> TFmMain::ProtocolBytes() const {
  TMemoryStream Stream;
  CurrentProtocol->WriteToStream(Stream, false);
  return Stream.Bytes();
}

void TFmMain::SetCurrentProtocol(std::unique_ptr<TProtocol> Protocol) {
  CurrentProtocol = std::move(Protocol);
  if (CurrentProtocol && !CurrentProtocol->FileName.empty())
    MarkProtocolSaved();
  else
    FSavedProtocol.clear();
  emit ProtocolReplaced();
}

void TFmMain::SetCurrentData(std::unique_ptr<TFCSData> Data) {
  if (CurrentData) emit DataFreeing();
  CurrentData = std::move(Data);
  emit DataReplaced();
}

bool TFmMain::ProtocolModified() const {
  if (!CurrentProtocol) return false;
  if (CurrentProtocol->FileName.empty() || FSavedProtocol.empty()) return true;
  return ProtocolBytes() != FSavedProtocol;
}

bool TFmMain::ProtocolHasOwnFile() const {
  return CurrentProtocol && std::filesystem::path(CurrentProtocol->FileName).is_absolute();
}

void TFmMain::MarkProtocolSaved() { FSavedProtocol = CurrentProtocol ? ProtocolBytes() : std::vector<uint8_t>(); }

bool TFmMain::QuerySaveProtocol() {
  // Edits on screen are part of the protocol the user is asked about.
  if (Hooks.StoreProtocolEditors) {
    try {
      Hooks.StoreProtocolEditors();
    } catch (const std::exception& E) {
      AppDialogs().Error(E.what());
      return false;
    }
  }
  if (!ProtocolModified()) return true;
  std::string Name = ExtractFileName(CurrentProtocol->FileName);
  if (Name.empty()) Name = "(not saved)";
  switch (AppDialogs().YesNoCancel("Save changes to protocol " + Name + "?")) {
    case Dialogs::TAnswer::Yes:
      try {
        return SaveCurrentProtocol(false);
      } catch (const std::exception& E) {
        AppDialogs().Error(E.what());
        return false;
      }
    case Dialogs::TAnswer::No: return true;
    case Dialogs::TAnswer::Cancel: return false;
  }
  return false;
}

bool TFmMain::SaveCurrentProtocol(bool SaveAs) {
  if (!CurrentProtocol) return false;
  std::string Target = CurrentProtocol->FileName;
  if (SaveAs || !ProtocolHasOwnFile()) {
    TFileDialogOptions Options;
    Options.Filter = "|*.protocol";
    Options.DefaultExt = "protocol";
    Options.Folder = ProgramDir;
    Target = AppDialogs().SaveFile(Options);
    if (Target.empty()) return false;
    // A bare name belongs in the folder the dialog showed, not in the working folder.
    if (!std::filesystem::path(Target).is_absolute()) Target = (std::filesystem::path(ProgramDir) / Target).string();
  }
  CurrentProtocol->SaveToFile(Target);
  CurrentProtocol->FileName = Target;
  ProtocolFile = Target;
  MarkProtocolSaved();
  ListProtocolFiles();
  TProtocolNotesView View;
  CurrentProtocol->ShowNotes(View);
  PnProtocolName->setText(Q(View.NamePanel));
  return true;
}

void TFmMain::ListProtocolFiles() {
  auto* Combo = Find<QComboBox>("CmBxProtocols");
  if (!Combo) return;
  Combo->clear();
  for (const std::string& Name : FindFiles(ProgramDir, "*.protocol")) Combo->addItem(Q(Name));
  ShowProtocolFileChoice();
}

void TFmMain::ShowProtocolFileChoice() {
  auto* Combo = Find<QComboBox>("CmBxProtocols");
  if (!Combo) return;
  // A protocol without a file of its own in ProgramDir (none, a new one, one of a data file, one
  // opened elsewhere) is not any entry of the list: the combo shows nothing.
  int Index = -1;
  if (ProtocolHasOwnFile()) {
    const QFileInfo File(Q(CurrentProtocol->FileName));
    if (File.absoluteDir() == QDir(Q(ProgramDir))) Index = Combo->findText(File.fileName());
  }
  Combo->setCurrentIndex(Index);
}

}  // namespace qv
