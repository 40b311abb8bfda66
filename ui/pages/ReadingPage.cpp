#include "pages/ReadingPage.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStorageInfo>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <optional>

#include "common/CommandBinding.h"
#include "common/DataGridModels.h"
#include "common/Dialogs.h"
#include "Errors.h"
#include "common/ExportTargets.h"
#include "Files.h"
#include "Globals.h"
#include "common/PageContext.h"
#include "common/NumberEdit.h"
#include "common/QtHost.h"
#include "Streams.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "fcs/ParameterSet.h"
#include "protocol/Protocol.h"
#include "reports/Spreadsheet.h"

namespace qv {

namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

// Ends a merge whose engine already told the user why; the command guard shows nothing more.
class EQuietAbort : public Exception {
 public:
  EQuietAbort() : Exception("") {}
};

// The text of a CR LF report for a memo.
QString MemoText(const std::string& Text) {
  QString T = Q(Text);
  T.replace("\r\n", "\n");
  return T;
}

// Hourglass for the life of the object.
struct TWaitCursor {
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
};

// The gauge of the status row shown without Cancel for a command that runs to its end.
struct TGaugeShown {
  explicit TGaugeShown(TPageContext& Main) : M(Main), Gauge(Main.GaProgress, nullptr) {
    M.GaProgress->setValue(0);
    M.PnProgress->show();
  }
  ~TGaugeShown() {
    if (M.BtnCancel->isHidden()) M.PnProgress->hide();
  }
  TPageContext& M;
  TQtProgress Gauge;
};

// The events the set holds, whole or compact (the counts are made only by the analysis).
int64_t EventsOf(const TFCSData* Data) {
  return Data ? static_cast<int64_t>(std::max(Data->Events.size(), Data->ShortLines.size())) : 0;
}

// Whether the last data set built under Protocol found every gate and channel in its file.
bool ParametersMatched(TProtocol& Protocol) {
  for (int32_t g = 0; g < Protocol.GateCount(); ++g)
    if (Protocol.GetGate(g)->ParameterIndex < 0) return false;
  for (int32_t c = 0; c < Protocol.ChannelCount(); ++c)
    if (Protocol.GetChannel(c)->ParameterIndex < 0) return false;
  return true;
}

// The file name without its folder, its extension (the part from the last '.') replaced.
std::string WithExtension(const std::string& Path, const std::string& Ext) {
  const std::string Name = ExtractFileName(Path);
  return Name.substr(0, Name.size() - ExtractFileExt(Name).size()) + Ext;
}

}  // namespace

// File commands busy for one command's life, restored on every exit path.
class TFileBusy {
 public:
  explicit TFileBusy(TPageContext& Main) : M(Main) { M.SetFileControlsBusy(true); }
  ~TFileBusy() { M.SetFileControlsBusy(false); }

 private:
  TPageContext& M;
};

TReadingPage::TReadingPage(TPageContext& Main) : QObject(Main.Window()), M(Main) {
  setObjectName("ReadingPage");
  FRaw = new TRawDataModel(this);
  FProcessed = new TProcessedModel(this);
  BuildLoadPage();
  BuildHeaderPage();
  BuildDataPage();
  BuildProcessedPage();
  BuildSummaryPage();
  InstallHooks();
  M.OnDataFreeing(this, [this] { FProcessed->Clear(); });
  ShowFolder(DirectoryExists(LoadDir) ? LoadDir : ProgramDir);
  ShowDataLoaded(false);
}

TReadingPage::~TReadingPage() = default;

QPushButton* TReadingPage::NewButton(QWidget* Parent, const char* Name, const QString& Caption, int Tag,
                                     const QString& Hint) {
  auto* B = new QPushButton(Caption, Parent);
  B->setObjectName(Name);
  B->setProperty("Tag", Tag);
  if (!Hint.isEmpty()) {
    B->setToolTip(Hint);
    B->setStatusTip(Hint);
  }
  return B;
}

// ---------------------------------------------------------------------------------------------
// Building the pages

void TReadingPage::BuildLoadPage() {
  QWidget* Sheet = M.Page("TsLoad");
  auto* Layout = new QHBoxLayout(Sheet);
  Layout->setContentsMargins(4, 4, 4, 4);

  auto* Files = new QGroupBox(" Load Files(s) ", Sheet);
  Files->setObjectName("GbLoadFiles");
  auto* FilesLayout = new QVBoxLayout(Files);
  CmBxLoadDrive = new QComboBox(Files);
  CmBxLoadDrive->setObjectName("CmBxLoadDrive");
  CmBxLoadDrive->setStatusTip("Select a drive to explore");
  CmBxLoadDrive->setToolTip("Select a drive to explore");
  // The places stand for drives: home, the root, every mounted volume and the program's folders.
  auto AddPlace = [this](const QString& Caption, const std::string& Path) {
    if (Path.empty() || CmBxLoadDrive->findData(Q(Path)) >= 0) return;
    CmBxLoadDrive->addItem(Caption, Q(Path));
  };
  AddPlace("Home", IncludeTrailingPathDelimiter(QDir::homePath().toStdString()));
  AddPlace("/", "/");
  for (const QStorageInfo& Volume : QStorageInfo::mountedVolumes())
    if (Volume.isValid() && Volume.isReady() && Volume.rootPath() != "/")
      AddPlace(Volume.rootPath(), IncludeTrailingPathDelimiter(Volume.rootPath().toStdString()));
  AddPlace("ProgramDir", ProgramDir);
  AddPlace("Data", DataDir);
  CmBxLoadDrive->setPlaceholderText("Select a drive to explore");
  CmBxLoadDrive->setCurrentIndex(-1);
  BindCommand(CmBxLoadDrive, &QComboBox::activated, [this] { LsBxDirectoryChange(); });

  LsBxLoadDirectory = new QListWidget(Files);
  LsBxLoadDirectory->setObjectName("LsBxLoadDirectory");
  LsBxLoadDirectory->setStatusTip("Select a directory within the chosen drive");
  LsBxLoadDirectory->setToolTip("Select a directory within the chosen drive");
  BindCommand(LsBxLoadDirectory, &QListWidget::itemActivated, [this](QListWidgetItem* Item) {
    const QString Name = Item->text();
    std::string Next = Name == ".." ? std::filesystem::path(FFolder).parent_path().parent_path().string()
                                    : FFolder + Name.toStdString();
    ShowFolder(IncludeTrailingPathDelimiter(Next));
  });

  auto* Splitter3 = new QSplitter(Qt::Vertical, Files);
  Splitter3->setObjectName("Splitter3");
  LsBxLoadFiles = new QListWidget(Splitter3);
  LsBxLoadFiles->setObjectName("LsBxLoadFiles");
  LsBxLoadFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
  LsBxLoadFiles->setStatusTip("List of files; use buttons to load");
  LsBxLoadFiles->setToolTip("List of files; use buttons to load");
  BindCommand(LsBxLoadFiles, &QListWidget::itemDoubleClicked, [this] { LsBxLoadFilesDblClick(); });
  auto* Queue = new QListWidget(Splitter3);
  Queue->setObjectName("LsBxQueue");
  Queue->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Queue->setStatusTip("List of file sets in this queue");
  Queue->setToolTip("List of file sets in this queue");
  Queue->hide();

  auto* Radios = new QHBoxLayout;
  RbFCSFiles = new QRadioButton("FCS Files", Files);
  RbFCSFiles->setObjectName("RbFCSFiles");
  RbQuorvenalFiles = new QRadioButton("Quorvenal Files", Files);
  RbQuorvenalFiles->setObjectName("RbQuorvenalFiles");
  RbQuorvenalFiles->setStatusTip("Show Quorvenal Files, switching to the Data directory");
  RbQuorvenalFiles->setToolTip("Show Quorvenal Files, switching to the Data directory");
  RbAllFiles = new QRadioButton("All Files", Files);
  RbAllFiles->setObjectName("RbAllFiles");
  int Tag = 1;
  for (QRadioButton* Radio : {RbFCSFiles, RbQuorvenalFiles, RbAllFiles}) {
    BindCommand(Radio, Tag, [this](int T) { RbFCSFilesClick(T); });
    Radios->addWidget(Radio);
    ++Tag;
  }
  RbFCSFiles->setChecked(true);
  FilesLayout->addWidget(CmBxLoadDrive);
  // The folder shown, as the folder list's path line.
  auto* Path = new QLabel(Files);
  Path->setObjectName("LbLoadFolder");
  Path->setTextInteractionFlags(Qt::TextSelectableByMouse);
  FilesLayout->addWidget(Path);
  FilesLayout->addWidget(LsBxLoadDirectory, 1);
  FilesLayout->addWidget(Splitter3, 2);
  FilesLayout->addLayout(Radios);
  Layout->addWidget(Files, 1);

  auto* Right = new QVBoxLayout;
  auto* Fcs = new QGroupBox(" Read FCS Files ", Sheet);
  Fcs->setObjectName("GbFCSFiles");
  Fcs->setFixedHeight(GroupHeight);
  Fcs->setFixedWidth(330);
  GbFCSFiles = Fcs;
  auto* Grid = new QGridLayout(Fcs);
  Grid->setVerticalSpacing(3);
  BtnReadFCSFile = NewButton(Fcs, "BtnReadFCSFile", "Read Single FCS File", 0, "Read a single FSC file");
  BtnReadMultipleFCSFiles =
      NewButton(Fcs, "BtnReadMultipleFCSFiles", "Read Multiple FCS Files", 0, "Merge data from multiple FCS files");
  Grid->addWidget(BtnReadFCSFile, 0, 0);
  Grid->addWidget(BtnReadMultipleFCSFiles, 0, 1);
  Grid->addWidget(NewButton(Fcs, "BtnAddToFCSQueue", "Add to Queue", 1, "Add the selected files to the queue"), 1, 0);
  auto* Execute = NewButton(Fcs, "BtnExecuteFCSQueue", "Execute Queue", 2, "Analyse every file set of the queue");
  Execute->setEnabled(false);
  Grid->addWidget(Execute, 1, 1);
  Grid->addWidget(NewButton(Fcs, "BtnClearFCSQueue", "Clear Queue", 3, "Clear the queue"), 2, 0);
  Grid->addWidget(NewButton(Fcs, "BtnDeleteFromQueue", "Delete Queue Entry", 4,
                            "Delete the selected entries from the queue"),
                  2, 1);
  auto* LbQueue = new QLabel("0 sets in queue", Fcs);
  LbQueue->setObjectName("LbQueue");
  Grid->addWidget(LbQueue, 3, 0, 1, 2);
  CbCullAPC = new QCheckBox("Remove if culling gate:", Fcs);
  CbCullAPC->setObjectName("CbCullAPC");
  Grid->addWidget(CbCullAPC, 4, 0, 1, 2);
  auto* CullRow = new QHBoxLayout;
  auto* LbHigh = new QLabel(">", Fcs);
  EdCullHigh = new QLineEdit("500", Fcs);
  EdCullHigh->setObjectName("EdCullHigh");
  auto* LbLow = new QLabel("or <", Fcs);
  EdCullLow = new QLineEdit("10", Fcs);
  EdCullLow->setObjectName("EdCullLow");
  for (QLineEdit* Edit : {EdCullHigh, EdCullLow}) {
    Edit->setFixedWidth(70);
    InstallKeyFilter(Edit, TKeyFilter::Integer);
  }
  CullRow->addWidget(LbHigh);
  CullRow->addWidget(EdCullHigh);
  CullRow->addWidget(LbLow);
  CullRow->addWidget(EdCullLow);
  CullRow->addStretch(1);
  Grid->addLayout(CullRow, 5, 0, 1, 2);
  GaMerge = new QProgressBar(Fcs);
  GaMerge->setObjectName("GaMerge");
  GaMerge->setTextVisible(false);
  GaMerge->setFixedHeight(14);
  GaMerge->hide();
  Grid->addWidget(GaMerge, 6, 0, 1, 2);
  auto* GaQueue = new QProgressBar(Fcs);
  GaQueue->setObjectName("GaQueue");
  GaQueue->setTextVisible(false);
  GaQueue->setFixedHeight(14);
  GaQueue->hide();
  Grid->addWidget(GaQueue, 7, 0, 1, 2);
  Grid->setRowStretch(8, 1);
  Right->addWidget(Fcs);

  auto* Own = new QGroupBox(" Read Quorvenal Files ", Sheet);
  Own->setObjectName("GbQuorvenalFiles");
  Own->setFixedWidth(330);
  GbQuorvenalFiles = Own;
  auto* OwnGrid = new QGridLayout(Own);
  BtnLoadQuorvenal = NewButton(Own, "BtnLoadQuorvenal", "Load Quorvenal File", 6, "Load a previously saved analysis");
  BtnChannelSummaries =
      NewButton(Own, "BtnChannelSummaries", "Export Channel Summaries", 7, "Export fluorescent peak data to Excel");
  RbFullSummary = new QRadioButton("Full", Own);
  RbFullSummary->setObjectName("RbFullSummary");
  RbBriefSummary = new QRadioButton("Brief", Own);
  RbBriefSummary->setObjectName("RbBriefSummary");
  RbBriefSummary->setChecked(true);
  BtnAppendQuorvenalFile = NewButton(Own, "BtnAppendQuorvenalFile", "Append Quorvenal Files", 8,
                                     "Append these files to the file already open, ignoring the protocol");
  OwnGrid->addWidget(BtnLoadQuorvenal, 0, 0);
  OwnGrid->addWidget(BtnAppendQuorvenalFile, 0, 1);
  OwnGrid->addWidget(BtnChannelSummaries, 1, 0, 1, 2);
  auto* SummaryKind = new QHBoxLayout;
  SummaryKind->addWidget(RbFullSummary);
  SummaryKind->addWidget(RbBriefSummary);
  SummaryKind->addStretch(1);
  OwnGrid->addLayout(SummaryKind, 2, 0, 1, 2);
  Right->addWidget(Own);
  Right->addStretch(1);
  Layout->addLayout(Right);

  // The processing row stands above the explore pages.
  QWidget* Explore = M.Page("TsExplore");
  auto* Row = new QWidget(Explore);
  Row->setObjectName("PnExploreButtons");
  auto* RowLayout = new QHBoxLayout(Row);
  RowLayout->setContentsMargins(2, 2, 2, 0);
  BtnCompensate = NewButton(Row, "BtnCompensate", "Compensate", 4, "Compensate data and process");
  BtnReProcess = NewButton(Row, "BtnReProcess", "Set Detectors", 3, "Reset detectors, fit curves and call classess");
  CbFitCurves = new QCheckBox("Fit curves", Row);
  CbFitCurves->setObjectName("CbFitCurves");
  BtnClassify = NewButton(Row, "BtnClassify", "Classify", 5, "Classify events");
  PnFileName = new QLabel(" File Name : <none>", Row);
  PnFileName->setObjectName("PnFileName");
  PnFileName->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  RowLayout->addWidget(BtnCompensate);
  RowLayout->addWidget(BtnReProcess);
  RowLayout->addWidget(CbFitCurves);
  RowLayout->addWidget(BtnClassify);
  RowLayout->addWidget(PnFileName, 1);
  if (auto* ExploreLayout = qobject_cast<QVBoxLayout*>(Explore->layout())) ExploreLayout->insertWidget(0, Row);

  BindCommand(BtnReadFCSFile, [this] { BtnReadClick(); });
  BindCommand(BtnReadMultipleFCSFiles, [this] { BtnMergeFCSFilesClick(); });
  for (QPushButton* B : {BtnLoadQuorvenal, BtnChannelSummaries, BtnAppendQuorvenalFile})
    BindCommand(B, B->property("Tag").toInt(), [this](int T) { BtnLoadQuorvenalClick(T); });
  for (QPushButton* B : {BtnCompensate, BtnReProcess, BtnClassify})
    BindCommand(B, B->property("Tag").toInt(), [this](int T) { BtnReProcessClick(T); });
  M.BindCommand("MnReadSingleFCS", [this](int) { BtnReadClick(); });
  M.BindCommand("MnReadMultipoleFCS", [this](int) { BtnMergeFCSFilesClick(); });
  for (const char* Item : {"MnLoadQuorvenal", "MnAppendQuorvenal", "MnExportChannelSummaries"})
    M.BindCommand(Item, [this](int T) { BtnLoadQuorvenalClick(T); });
  for (const char* Item : {"MnCompensate", "MnReprocess"}) M.BindCommand(Item, [this](int T) { BtnReProcessClick(T); });
  M.BindCommand("MnSaveQuorvenal", [this](int) { BtnSaveFCSDataClick(); });
}

namespace {

// A page of one memo or grid with an export row below it.
QHBoxLayout* ExportRow(QWidget* Sheet, QVBoxLayout* Layout, const QString& X, TExportTargets& Targets) {
  auto* Row = new QHBoxLayout;
  Targets = CreateExportTargets(Sheet, X);
  for (QAbstractButton* B : {Targets.Text, Targets.Excel, Targets.Save})
    if (B) Row->addWidget(B);
  Layout->addLayout(Row);
  return Row;
}

}  // namespace

void TReadingPage::BuildHeaderPage() {
  QWidget* Sheet = M.Page("TsHeader");
  auto* Layout = new QVBoxLayout(Sheet);
  Layout->setContentsMargins(4, 4, 4, 4);
  auto* Body = new QHBoxLayout;
  MeHeader = new QTextEdit(Sheet);
  MeHeader->setObjectName("MeHeader");
  MeHeader->setReadOnly(true);
  MeHeader->setLineWrapMode(QTextEdit::NoWrap);
  MeHeader->setFont(QFont("Monospace", 9));
  Body->addWidget(MeHeader, 1);

  // The protocol creator: hidden until asked for.
  auto* Creator = new QWidget(Sheet);
  Creator->setObjectName("PnProtocolCreator");
  auto* CreatorLayout = new QVBoxLayout(Creator);
  CreatorLayout->setContentsMargins(0, 0, 0, 0);
  auto* Grid = new QTableWidget(0, 3, Creator);
  Grid->setObjectName("SgMakeProtocol");
  Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Grid->verticalHeader()->setDefaultSectionSize(20);
  // The roles and short names keep their width when a long parameter list brings the scroll
  // bar; the long names take what is left.
  Grid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  for (int Col : {1, 2}) Grid->horizontalHeader()->setSectionResizeMode(Col, QHeaderView::ResizeToContents);
  CreatorLayout->addWidget(Grid, 1);
  auto* Counts = new QHBoxLayout;
  auto* Gates = new QLabel("0 Gates", Creator);
  Gates->setObjectName("LbGateCount");
  auto* Channels = new QLabel("0 Channels", Creator);
  Channels->setObjectName("LbChannelCount");
  Counts->addWidget(Gates);
  Counts->addWidget(Channels);
  CreatorLayout->addLayout(Counts);
  auto* SaveAfter = new QCheckBox("Save after creation", Creator);
  SaveAfter->setObjectName("CbSaveProtocolAfterCreation");
  auto* ProcessAfter = new QCheckBox("Process FCS Data immediately", Creator);
  ProcessAfter->setObjectName("CbProcessAfterCreation");
  CreatorLayout->addWidget(SaveAfter);
  CreatorLayout->addWidget(ProcessAfter);
  auto* Create = NewButton(Creator, "BtnCreateProtocol", "Create Protocol", 9, "Create a protocol of the marked parameters");
  Create->setEnabled(false);
  CreatorLayout->addWidget(Create);
  Creator->setFixedWidth(320);
  Creator->hide();
  Body->addWidget(Creator);
  Layout->addLayout(Body, 1);

  TExportTargets HeaderTargets, ParameterTargets;
  QHBoxLayout* Row = ExportRow(Sheet, Layout, "Header", HeaderTargets);
  BtnExportHeader = NewButton(Sheet, "BtnExportHeader", "Export", 5, "");
  Row->addWidget(BtnExportHeader);
  Row->addSpacing(20);
  ParameterTargets = CreateExportTargets(Sheet, "Parameters");
  for (QAbstractButton* B : {ParameterTargets.Text, ParameterTargets.Excel, ParameterTargets.Save})
    if (B) Row->addWidget(B);
  BtnExportParameters = NewButton(Sheet, "BtnExportParameters", "Export Parameters", 7, "");
  Row->addWidget(BtnExportParameters);
  Row->addStretch(1);
  Row->addWidget(NewButton(Sheet, "BtnShowProtocolCreationGrid", "Show Protocol Creator...", 0,
                           "Show the grid that makes a protocol of this file's parameters"));
}

void TReadingPage::BuildDataPage() {
  QWidget* Sheet = M.Page("TsData");
  auto* Layout = new QVBoxLayout(Sheet);
  Layout->setContentsMargins(4, 4, 4, 4);
  SgData = new QTableView(Sheet);
  SgData->setObjectName("SgData");
  SgData->setModel(FRaw);
  SgData->horizontalHeader()->hide();
  SgData->verticalHeader()->hide();
  SgData->verticalHeader()->setDefaultSectionSize(20);
  SgData->horizontalHeader()->setDefaultSectionSize(70);
  FitColumnsOnReset(*SgData, 2);
  Layout->addWidget(SgData, 1);
  TExportTargets Targets;
  QHBoxLayout* Row = ExportRow(Sheet, Layout, "Data", Targets);
  BtnExportRawData = NewButton(Sheet, "BtnExportRawData", "Export", 3, "");
  Row->addWidget(BtnExportRawData);
  Row->addStretch(1);
}

void TReadingPage::BuildProcessedPage() {
  QWidget* Sheet = M.Page("TsProcessed");
  auto* Layout = new QVBoxLayout(Sheet);
  Layout->setContentsMargins(4, 4, 4, 4);
  SgProcessed = new QTableView(Sheet);
  SgProcessed->setObjectName("SgProcessed");
  SgProcessed->setModel(FProcessed);
  SgProcessed->horizontalHeader()->hide();
  SgProcessed->verticalHeader()->hide();
  SgProcessed->verticalHeader()->setDefaultSectionSize(20);
  SgProcessed->horizontalHeader()->setDefaultSectionSize(90);
  FitColumnsOnReset(*SgProcessed, 1);
  Layout->addWidget(SgProcessed, 1);
  TExportTargets Targets;
  QHBoxLayout* Row = ExportRow(Sheet, Layout, "Processed", Targets);
  BtnExportProcessedData = NewButton(Sheet, "BtnExportProcessedData", "Export", 1, "");
  BtnShowData = NewButton(Sheet, "BtnShowData", "Show Data", 2, "");
  CbExportMinimalSignal = new QCheckBox("Export Events with Minimal Signal", Sheet);
  CbExportMinimalSignal->setObjectName("CbExportMinimalSignal");
  CbExportFilteredout = new QCheckBox("Export Events that were Filtered Out", Sheet);
  CbExportFilteredout->setObjectName("CbExportFilteredout");
  Row->addWidget(BtnExportProcessedData);
  Row->addWidget(BtnShowData);
  Row->addWidget(CbExportMinimalSignal);
  Row->addWidget(CbExportFilteredout);
  Row->addStretch(1);

  // The export buttons and MnExport are bound by the export commands, which own their handler;
  // Show Data redraws this page's own view.
  BindCommand(BtnShowData, [this] {
    TWaitCursor Wait;
    ShowProcessed();
  });
}

void TReadingPage::BuildSummaryPage() {
  QWidget* Sheet = M.Page("TSSummary");
  auto* Layout = new QVBoxLayout(Sheet);
  Layout->setContentsMargins(4, 4, 4, 4);
  MeSummary = new QTextEdit(Sheet);
  MeSummary->setObjectName("MeSummary");
  MeSummary->setLineWrapMode(QTextEdit::NoWrap);
  MeSummary->setAcceptRichText(false);
  Layout->addWidget(MeSummary, 1);
  TExportTargets Targets;
  QHBoxLayout* Row = ExportRow(Sheet, Layout, "Output", Targets);
  BtnExportSummary = NewButton(Sheet, "BtnExportClassification", "Export", 7, "");
  Row->addWidget(BtnExportSummary);
  Row->addStretch(1);
  BindCommand(BtnExportSummary, [this, Targets] {
    if (!M.Hooks.ExportTextReport || !M.CurrentData) return;
    std::string Name;
    M.CurrentData->GetName(Name);
    TExportRequest Request{Targets, "Classification of Fluorescent Events : " + Q(Name),
                           "Text Files (*.txt)|*.txt|RTF Files (*.rtf)|*.rtf|Comma Separated Values (*.csv)|*.csv|"
                           "All Files (*.*)|*.*",
                           "txt"};
    std::string Text = MeSummary->toPlainText().toStdString();
    M.Hooks.ExportTextReport(Text, Request);
  });
}

void TReadingPage::InstallHooks() {
  M.Hooks.ShowDataLoaded = [this](bool HasData) { ShowDataLoaded(HasData); };
  M.Hooks.RefreshFileLists = [this] { RefreshFileLists(); };
  M.Hooks.MergeFCSFiles = [this](const std::string& Directory, const std::vector<std::string>& Names) {
    return MergeFCSFiles(Directory, Names);
  };
  M.Hooks.ReadCullSettings = [this](TCullSettings& Cull) { return ReadCullSettings(Cull); };
  M.Hooks.SetDetectors = [this] { ReProcess(3); };
  M.Hooks.ProtocolMatchesData = [this] { return ProtocolMatchesData(); };
  M.Hooks.ReadFCSFile = [this](const std::string& Name) { ReadFile(Name); };
  M.Hooks.SelectedFiles = [this] { return SelectedFiles(); };
  M.Hooks.LoadFolder = [this] { return Folder(); };
  M.Hooks.FileOnPages = [this] {
    TPageHooks::TFileOnPages File;
    if (FFileOnPages.empty()) return File;
    File.Name = FFileOnPages;
    File.Events = FFileEvents;
    File.Parameters = FFileParameters.get();
    return File;
  };
  M.Hooks.ShowCullSettings = [this](const TCullSettings& Cull) {
    CbCullAPC->setChecked(Cull.Cull);
    EdCullHigh->setText(QString::number(Cull.High));
    EdCullLow->setText(QString::number(Cull.Low));
  };
  M.Hooks.ShowQueueRunning = [this](bool Running) {
    GbFCSFiles->setFixedHeight(Running ? QueueHeight : GroupHeight);
    if (!Running) CbCullAPC->setChecked(false);
  };
}

// ---------------------------------------------------------------------------------------------
// Browsing

void TReadingPage::ShowFolder(const std::string& Folder) {
  FFolder = IncludeTrailingPathDelimiter(Folder.empty() ? std::string("/") : Folder);
  if (auto* Path = M.findChild<QLabel*>("LbLoadFolder"))
    Path->setText(Path->fontMetrics().elidedText(Q(FFolder), Qt::ElideMiddle, 360));
  LsBxLoadDirectory->clear();
  QDir Dir(Q(FFolder));
  if (!Dir.isRoot()) LsBxLoadDirectory->addItem("..");
  for (const QString& Name : Dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
    LsBxLoadDirectory->addItem(Name);
  LsBxLoadFiles->clear();
  const int32_t Type = ShowFileType >= 1 && ShowFileType <= 3 ? ShowFileType : 1;
  std::vector<std::string> Names;
  for (const std::string& Name : FindFiles(FFolder, FileTypeMasks[Type]))
    if (std::filesystem::is_regular_file(FFolder + Name)) Names.push_back(Name);
  std::sort(Names.begin(), Names.end());
  for (const std::string& Name : Names) LsBxLoadFiles->addItem(Q(Name));
  LsBxLoadFiles->setProperty("Folder", Q(FFolder));
  // The drive box names the place that holds the folder (the longest place path it starts with).
  int Place = -1;
  qsizetype Longest = 0;
  for (int i = 0; i < CmBxLoadDrive->count(); ++i) {
    const QString Path = CmBxLoadDrive->itemData(i).toString();
    if (Path.size() > Longest && Q(FFolder).startsWith(Path)) {
      Place = i;
      Longest = Path.size();
    }
  }
  CmBxLoadDrive->setCurrentIndex(Place);
}

void TReadingPage::LsBxDirectoryChange() {
  const QString Path = CmBxLoadDrive->currentData().toString();
  if (!Path.isEmpty()) ShowFolder(Path.toStdString());
}

void TReadingPage::LsBxLoadFilesDblClick() {
  QListWidgetItem* Item = LsBxLoadFiles->currentItem();
  if (!Item) return;
  QString Ext = Q(ExtractFileExt(Item->text().toStdString())).toUpper();
  if (Ext == ".FCS")
    BtnReadClick();
  else if (Ext == ".QUORVENAL")
    BtnLoadQuorvenalClick(6);
}

void TReadingPage::RbFCSFilesClick(int Tag) {
  ShowFileType = Tag;
  ShowFolder(Tag == 2 ? SaveDir : LoadDir);
  // Channel summaries are made of own data files only.
  M.UpdateCommandStates();
}

void TReadingPage::RefreshFileLists() {
  ShowFolder(FFolder);
  if (M.Hooks.RefreshProcessFiles) M.Hooks.RefreshProcessFiles();
}

void TReadingPage::SelectFiles(const std::vector<std::string>& Names) {
  LsBxLoadFiles->clearSelection();
  for (int i = 0; i < LsBxLoadFiles->count(); ++i) {
    QListWidgetItem* Item = LsBxLoadFiles->item(i);
    if (std::find(Names.begin(), Names.end(), Item->text().toStdString()) != Names.end()) {
      Item->setSelected(true);
      LsBxLoadFiles->setCurrentItem(Item, QItemSelectionModel::Select);
    }
  }
}

std::vector<std::string> TReadingPage::SelectedFiles() const {
  std::vector<std::string> Names;
  for (int i = 0; i < LsBxLoadFiles->count(); ++i)
    if (LsBxLoadFiles->item(i)->isSelected()) Names.push_back(LsBxLoadFiles->item(i)->text().toStdString());
  return Names;
}

std::string TReadingPage::SelectedFile() const {
  QListWidgetItem* Item = LsBxLoadFiles->currentItem();
  if (!Item || !Item->isSelected()) {
    const std::vector<std::string> Names = SelectedFiles();
    return Names.empty() ? std::string() : FFolder + Names.front();
  }
  return FFolder + Item->text().toStdString();
}

// ---------------------------------------------------------------------------------------------
// Reading FCS files

void TReadingPage::BtnReadClick() { ReadFile(SelectedFile()); }

void TReadingPage::ReadFile(const std::string& Name) {
  if (Name.empty()) {
    M.ShowMemoryStatus();
    return;
  }
  // A file that cannot be read throws here, before anything on screen changes.
  auto File = std::make_unique<TFCSFile>(Name);
  if (File->FileName.empty()) return;
  LoadDir = ExtractFilePath(Name);
  TFileBusy Busy(M);
  TWaitCursor Wait;
  std::optional<TGaugeShown> Gauge;
  try {
    BrowseDir = LoadDir;
    PnFileName->setText(" File : " + Q(ExtractFileName(Name)));
    MeHeader->setPlainText(MemoText(File->HeaderReport()));
    if (M.Hooks.ShowFileParameters) M.Hooks.ShowFileParameters(File->Parameters, Name);
    // The events the file holds: one without parameters holds none, whatever its $TOT says.
    const int64_t Held = static_cast<int64_t>(File->Events.size());
    M.ShowPoints(Held);
    FRaw->Fill(*File);
    MeHeader->append(MemoText(File->KeywordText));
    FFileParameters = std::make_unique<TParameterSet>(&File->Parameters);
    FFileOnPages = Name;
    FFileEvents = Held;
    Gauge.emplace(M);
    // The pages show the new file now, so the older set goes whether or not the read succeeds:
    // freed before the new one is built, it does not double the memory in use, and the new set
    // can reuse its memory instead of faulting in fresh pages.
    ReleaseData();
    auto Data = TFCSData::Create(*File, CompensationMode, false, &Gauge->Gauge, M.CurrentProtocol.get());
    File.reset();
    ReplaceData(std::move(Data));
    PnFileName->setText(Q(ExtractFileName(Name)));
    M.ShowMemoryStatus();
  } catch (...) {
    Gauge.reset();
    // The pages show the new file by now; an older set must not stand beside it.
    if (FFileOnPages == Name) ReplaceData(nullptr);
    M.UpdateProtocolDependentControls(true, static_cast<bool>(M.CurrentProtocol));
    throw;
  }
  Gauge.reset();
  M.UpdateProtocolDependentControls(true, static_cast<bool>(M.CurrentProtocol));
}

bool TReadingPage::ReadCullSettings(TCullSettings& Cull) {
  try {
    TCullSettings Read;
    Read.Cull = CbCullAPC->isChecked();
    Read.High = ReadInteger(EdCullHigh, "Cull high");
    Read.Low = ReadInteger(EdCullLow, "Cull low");
    Cull = Read;
    return true;
  } catch (const std::exception& E) {
    AppDialogs().Error(E.what());
    return false;
  }
}

void TReadingPage::BtnMergeFCSFilesClick() {
  std::vector<std::string> Names = SelectedFiles();
  if (Names.empty()) {
    M.ShowMemoryStatus();
    return;
  }
  // A merge that cannot start changes nothing, and nothing is asked first.
  if (MergeRefused()) {
    M.ShowMemoryStatus();
    return;
  }
  // Names[0] is the last selected entry in list order.
  std::reverse(Names.begin(), Names.end());
  const size_t Count = Names.size();
  // The label is made before the names are handed over, and shown only when a set results.
  const QString Label = Q(Names[0]) + " + " + QString::number(Count - 1) + " other" + (Count == 2 ? "" : "s");
  TFileBusy Busy(M);
  struct THeight {
    QWidget* Box;
    ~THeight() { Box->setFixedHeight(GroupHeight); }
  } Height{GbFCSFiles};
  GbFCSFiles->setFixedHeight(MergeHeight);
  if (CbCullAPC->isChecked())
    CbCullAPC->setChecked(AppDialogs().YesNo("Discard events with CullValues > " + EdCullHigh->text().toStdString() +
                                             " or < " + EdCullLow->text().toStdString() + "?"));
  const std::string Directory = FFolder;
  bool Merged = false;
  try {
    Merged = MergeFCSFiles(Directory, Names);
  } catch (...) {
    CbCullAPC->setChecked(false);
    throw;
  }
  CbCullAPC->setChecked(false);
  LoadDir = Directory;
  if (Merged) PnFileName->setText(Label);
  M.UpdateProtocolDependentControls(Merged, Merged);
  M.ShowMemoryStatus();
}

bool TReadingPage::MergeRefused() {
  if (!M.CurrentProtocol) {
    AppDialogs().Error("A protocol is needed to merge files");
    return true;
  }
  TCullSettings Cull;
  return !ReadCullSettings(Cull);
}

void TReadingPage::ShowNoDataSet() {
  ClearFilePages();
  PnFileName->setText(" File Name : <none>");
  ReplaceData(nullptr);
  M.UpdateProtocolDependentControls(false, false);
}

bool TReadingPage::MergeFCSFiles(const std::string& Directory, const std::vector<std::string>& Names) {
  // Everything is checked before the current set is freed.
  if (MergeRefused()) return false;
  TCullSettings Cull;
  ReadCullSettings(Cull);
  FFileOnPages.clear();
  ReplaceData(nullptr);
  TProtocol& Protocol = *M.CurrentProtocol;
  std::unique_ptr<TFCSData> Merged;
  try {
    // Inside the queue's run its own gauge and Cancel stay up.
    std::optional<TLongLoop> Loop;
    if (M.BtnCancel->isHidden()) Loop.emplace(M);
    TQtProgress Gauge(M.GaProgress, nullptr);
    struct TMergeGauge {
      QProgressBar* Bar;
      ~TMergeGauge() { Bar->hide(); }
    } Shown{GaMerge};
    GaMerge->show();
    const int Count = static_cast<int>(Names.size());
    GaMerge->setMaximum(std::max(1, Count));
    int32_t k = 0;
    for (int j = Count - 1; j >= 0; --j) {
      GaMerge->setValue(Count - j);
      M.ShowMemoryStatus();
      if (!M.ContinueFlag) continue;
      const std::string Name = (std::filesystem::path(Directory) / Names[static_cast<size_t>(j)]).string();
      TFCSFile File(Name);
      if (File.FileName.empty()) throw EInOutError("File not found: " + Name);
      auto Part = TFCSData::Create(File, CompensationMode, true, &Gauge, &Protocol);
      if (!ParametersMatched(Protocol))
        throw Exception(ExtractFileName(Name) + ": its parameters do not match the protocol's channels and gates");
      // The engine has said why a file gave no events; the merge ends without a half-built set.
      if (Part->Events.empty() && File.EventCount > 0) throw EQuietAbort();
      if (!Merged)
        Merged = TFCSData::CreateMerged(*Part, Cull);
      else if (!Merged->Merge(*Part, k, Cull))
        throw EQuietAbort();
      ++k;
    }
    if (Merged) {
      Merged->Compensate(Protocol, &Gauge, CompensationMode);
      Merged->SetDetectors(Protocol, &Gauge, CbFitCurves->isChecked());
    }
  } catch (...) {
    // The older set is gone: the pages say that no set is held.
    Merged.reset();
    ShowNoDataSet();
    throw;
  }
  ReplaceData(std::move(Merged));
  if (!M.CurrentData) ShowNoDataSet();
  return M.CurrentData != nullptr;
}

// ---------------------------------------------------------------------------------------------
// Own data files

void TReadingPage::BtnLoadQuorvenalClick(int Tag) {
  const std::vector<std::string> Selected = SelectedFiles();
  switch (Tag) {
    case 6: {
      const std::string Name = SelectedFile();
      if (Name.empty()) break;
      if (!M.QuerySaveProtocol()) break;
      TFileBusy Busy(M);
      TGaugeShown Gauge(M);
      FFileOnPages.clear();
      ReplaceData(nullptr);
      TDataLoadOptions Options;
      Options.Gauge = &Gauge.Gauge;
      Options.LoadEvents = true;
      Options.Compensate = true;
      Options.DetectorsAndClassify = true;
      Options.FitCurves = false;
      Options.BuildShortLines = false;
      Options.Mode = CompensationMode;
      std::unique_ptr<TProtocol> Protocol;
      auto Data = TFCSData::CreateFromDataFile(Name, Options, Protocol);
      if (Protocol) M.SetCurrentProtocol(std::move(Protocol));
      ReplaceData(std::move(Data));
      AfterDataLoaded(M.CurrentData ? Name : std::string());
      break;
    }
    case 7: {
      if (!RbQuorvenalFiles->isChecked()) break;
      // Each file's protocol replaces the current one.
      if (!Selected.empty() && !M.QuerySaveProtocol()) break;
      const bool Extended = RbFullSummary->isChecked();
      std::vector<std::string> Lines;
      std::vector<std::string> Failed;
      std::string Last;
      TFileBusy Busy(M);
      TGaugeShown Gauge(M);
      for (size_t i = Selected.size(); i-- > 0;) {
        FFileOnPages.clear();
        ReplaceData(nullptr);
        const std::string Name = FFolder + Selected[i];
        TDataLoadOptions Options;
        Options.Gauge = &Gauge.Gauge;
        Options.LoadEvents = false;
        Options.Compensate = false;
        Options.DetectorsAndClassify = false;
        Options.FitCurves = false;
        Options.BuildShortLines = true;
        Options.Mode = CompensationMode;
        std::unique_ptr<TProtocol> Protocol;
        auto Data = TFCSData::CreateFromDataFile(Name, Options, Protocol);
        if (!Protocol) {
          Failed.push_back(Selected[i]);
          continue;
        }
        std::string Row;
        if (Lines.empty()) {
          Protocol->ChannelSettingsRow(true, Extended, Row);
          Lines.push_back("File," + Row);
        }
        Protocol->ChannelSettingsRow(false, Extended, Row);
        Lines.push_back(FileBaseName(Name) + "," + Row);
        M.SetCurrentProtocol(std::move(Protocol));
        ReplaceData(std::move(Data));
        Last = Name;
        M.ShowMemoryStatus();
      }
      if (!Failed.empty()) {
        std::string Text = "Not loaded:";
        for (const std::string& F : Failed) Text += " " + F;
        AppDialogs().Error(Text);
      }
      if (Last.empty()) {
        if (Failed.empty()) AppDialogs().Info("No files selected");
        break;
      }
      AfterDataLoaded(Last);
      if (IsExcelAvailable()) {
        ExportToExcel(Lines);
      } else {
        TFileDialogOptions Spec;
        Spec.Filter = "CSVs (*.csv)|*.CSV|All Files (*.*)|*.*";
        Spec.DefaultExt = "CSV";
        Spec.Folder = SaveDir;
        const std::string Target = AppDialogs().SaveFile(Spec);
        if (!Target.empty())
          WriteFileSafely(EnsureExtension(Target, "CSV"), [&Lines](TStream& Stream) {
            for (const std::string& Line : Lines) {
              const std::string L = Line + "\r\n";
              Stream.Write(L.data(), L.size());
            }
          });
      }
      break;
    }
    case 8: {
      if (!M.CurrentData || !M.CurrentProtocol) break;
      if (!ProtocolMatchesData()) break;
      TFileBusy Busy(M);
      // The views index the events, which the append moves.
      M.AnnounceDataFreeing();
      try {
        for (size_t i = Selected.size(); i-- > 0;) M.CurrentData->AppendDataFile(FFolder + Selected[i]);
        BtnReProcessClick(4);
      } catch (...) {
        ShowDataLoaded(EventsOf(M.CurrentData.get()) > 0);
        M.AnnounceDataReplaced();
        throw;
      }
      ShowDataLoaded(EventsOf(M.CurrentData.get()) > 0);
      M.AnnounceDataReplaced();
      break;
    }
    default: break;
  }
  M.ShowMemoryStatus();
}

void TReadingPage::AfterDataLoaded(const std::string& FileName) {
  PnFileName->setText(FileName.empty() ? QString(" File Name : <none>") : " " + Q(ExtractFileName(FileName)));
  M.UpdateProtocolDependentControls(false, M.CurrentData != nullptr);
}

void TReadingPage::BtnSaveFCSDataClick() {
  if (!M.CurrentData) return;
  if (!ProtocolMatchesData()) return;
  TFileDialogOptions Spec;
  Spec.Filter = "Quorvenal Files|*.Quorvenal|All Files|*.*";
  Spec.DefaultExt = "Quorvenal";
  Spec.Folder = OverrideSaveDir ? DataDir : SaveDir;
  Spec.FileName = !M.CurrentData->DataFileName.empty()
                      ? ExtractFileName(M.CurrentData->DataFileName)
                      : WithExtension(M.CurrentData->SourceName, ".Quorvenal");
  const std::string Target = AppDialogs().SaveFile(Spec);
  if (!Target.empty()) {
    const std::string Name = EnsureExtension(Target, "Quorvenal");
    // A refused save has said why; SaveDir and the lists stay.
    bool Saved = false;
    {
      TGaugeShown Gauge(M);
      Saved = M.CurrentData->SaveToFile(Name, *M.CurrentProtocol, &Gauge.Gauge);
    }
    if (Saved) {
      SaveDir = ExtractFilePath(Name);
      RefreshFileLists();
    }
  }
  M.ShowMemoryStatus();
}

// ---------------------------------------------------------------------------------------------
// Processing and showing

bool TReadingPage::ProtocolMatchesData() {
  if (!M.CurrentProtocol || !M.CurrentData) return false;
  const bool Match = ProtocolFitsData(*M.CurrentProtocol, *M.CurrentData);
  if (!Match) AppDialogs().Error(Mismatch);
  return Match;
}

void TReadingPage::BtnReProcessClick(int Tag) {
  // The user's click shows the summary it made; a run from code leaves the pages as they are.
  if (ReProcess(Tag)) {
    M.ShowPage("TsClassification");
    M.ShowPage("TSSummary");
  }
}

bool TReadingPage::ReProcess(int Tag) {
  if (!M.CurrentProtocol || !M.CurrentData) return false;
  if (!ProtocolMatchesData()) return false;
  TProtocol& Protocol = *M.CurrentProtocol;
  TFCSData& Data = *M.CurrentData;
  if (Tag == 4 && CompensationMode == 2) {
    switch (AppDialogs().YesNoCancel("Retain Dynamic Compensation?")) {
      case Dialogs::TAnswer::Cancel: return false;
      case Dialogs::TAnswer::No:
        CompensationMode = 1;
        M.ShowCompensationMode();
        break;
      case Dialogs::TAnswer::Yes: break;
    }
  }
  TWaitCursor Wait;
  TGaugeShown Gauge(M);
  if (Tag == 4) Data.Compensate(Protocol, &Gauge.Gauge, CompensationMode);
  if (Tag == 4 || Tag == 3) Data.SetDetectors(Protocol, &Gauge.Gauge, CbFitCurves->isChecked());
  const bool Classified = Tag == 3 || Tag == 4 || Tag == 5;
  if (Classified) {
    Data.Classify(Protocol);
    ShowSummary();
    ShowProcessed();
  }
  M.ShowMemoryStatus();
  return Classified;
}

void TReadingPage::ShowSummary() {
  MeSummary->clear();
  if (!M.CurrentData || !M.CurrentProtocol) return;
  std::string Text;
  M.CurrentData->AnalysisReport(*M.CurrentProtocol, Text);
  MeSummary->setPlainText(MemoText(Text));
  QTextCursor Start = MeSummary->textCursor();
  Start.movePosition(QTextCursor::Start);
  MeSummary->setTextCursor(Start);
  MeSummary->ensureCursorVisible();
}

void TReadingPage::ShowProcessed() {
  if (M.CurrentData && M.CurrentProtocol && !M.CurrentData->Events.empty())
    FProcessed->Fill(*M.CurrentData, *M.CurrentProtocol, CbExportMinimalSignal->isChecked());
  else
    FProcessed->Clear();
}

void TReadingPage::ClearFilePages() {
  MeHeader->clear();
  FRaw->Clear();
  FFileOnPages.clear();
}

void TReadingPage::ShowDataLoaded(bool HasData) {
  // The header, raw and parameter exports follow the file on those pages, and "Assign Gaussian
  // Values from Data" the protocol as well: the pages that own them listen below.
  for (QWidget* W : std::initializer_list<QWidget*>{BtnExportProcessedData, BtnCompensate, BtnClassify, BtnReProcess,
                                                    BtnShowData})
    W->setEnabled(HasData);
  if (HasData) {
    M.ShowPoints(EventsOf(M.CurrentData.get()));
    ShowProcessed();
    try {
      ShowSummary();
    } catch (const std::exception& E) {
      MeSummary->clear();
      AppDialogs().Error(E.what());
    }
  } else {
    FProcessed->Clear();
    MeSummary->clear();
    // Before any file the panel keeps its start caption.
    if (!FFileOnPages.empty())
      M.ShowPoints(FFileEvents);
    else if (FAnyFile)
      M.ShowPoints(0);
  }
  for (const auto& Listener : M.Hooks.DataShownListeners)
    if (Listener) Listener(HasData);
  M.ShowMemoryStatus();
}

void TReadingPage::ReplaceData(std::unique_ptr<TFCSData> Data) {
  // A set without events is of no use to any command.
  if (EventsOf(Data.get()) == 0) Data.reset();
  FAnyFile = true;
  if (M.CurrentData) M.AnnounceDataFreeing();
  M.CurrentData.reset();
  M.CurrentData = std::move(Data);
  ShowDataLoaded(M.CurrentData != nullptr);
  M.AnnounceDataReplaced();
}

void TReadingPage::ReleaseData() {
  if (!M.CurrentData) return;
  M.AnnounceDataFreeing();  // the processed view lets go of it here
  M.CurrentData.reset();
}

int64_t TReadingPage::RawRowCount() const { return FRaw->rowCount(); }
int64_t TReadingPage::ProcessedRowCount() const { return FProcessed->rowCount(); }
QString TReadingPage::RawCell(int Row, int Col) const { return FRaw->Cell(Row, Col); }
QString TReadingPage::ProcessedCell(int Row, int Col) const { return FProcessed->Cell(Row, Col); }

}  // namespace qv
