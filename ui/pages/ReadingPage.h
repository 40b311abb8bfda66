#pragma once
// The "Load" page and the pages that show what it read: the header text, the raw events, the
// processed events and the analysis summary. Every replacement of the current data set goes
// through ReplaceData, so the views and the data commands always follow the set that exists.
#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "common/PageContext.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;
class QTableWidget;
class QTextEdit;
class QWidget;

namespace qv {

class TFCSData;
class TFCSFile;
class TParameterSet;
class TRawDataModel;
class TProcessedModel;
struct TCullSettings;

class TReadingPage : public QObject {
  Q_OBJECT
 public:
  static constexpr int GroupHeight = 219;
  static constexpr int MergeHeight = 237;
  static constexpr int QueueHeight = 255;
  static constexpr const char* Mismatch = ProtocolMismatchText;

  explicit TReadingPage(TPageContext& Main);
  ~TReadingPage() override;

  // ---- Browsing ----
  // The folder the file list shows, with its trailing '/'.
  const std::string& Folder() const { return FFolder; }
  void ShowFolder(const std::string& Folder);
  void LsBxDirectoryChange();
  void LsBxLoadFilesDblClick();
  void RbFCSFilesClick(int Tag);
  void RefreshFileLists();
  // Selects exactly the named entries of the file list.
  void SelectFiles(const std::vector<std::string>& Names);
  std::vector<std::string> SelectedFiles() const;  // in list order

  // ---- Commands ----
  void BtnReadClick();
  // Reads one FCS file into the Header and Data pages and a new data set.
  void ReadFile(const std::string& Name);
  void BtnMergeFCSFilesClick();
  bool MergeFCSFiles(const std::string& Directory, const std::vector<std::string>& Names);
  bool ReadCullSettings(TCullSettings& Cull);
  void BtnLoadQuorvenalClick(int Tag);
  void AfterDataLoaded(const std::string& FileName);
  void BtnSaveFCSDataClick();
  // Tags 3 Set Detectors, 4 Compensate, 5 Classify; the summary sheet shows what they made.
  void BtnReProcessClick(int Tag);
  // The same work for a caller in code, which stays on its page; true when it classified.
  bool ReProcess(int Tag);
  void ShowDataLoaded(bool HasData);
  // Frees the current set and makes Data current (null for none): DataFreeing, free, set,
  // ShowDataLoaded, DataReplaced. A set without events is not kept.
  void ReplaceData(std::unique_ptr<TFCSData> Data);
  // Frees the current set ahead of a ReplaceData that is sure to drop it (DataFreeing, free);
  // that ReplaceData brings the pages up to date.
  void ReleaseData();
  // Whether protocol and data set are present and of one shape; names the mismatch when not.
  bool ProtocolMatchesData();

  // The name of the FCS file whose header and raw events the Header and Data pages show; empty
  // after a merge or a data-file load.
  const std::string& FileOnPages() const { return FFileOnPages; }
  int64_t RawRowCount() const;
  int64_t ProcessedRowCount() const;
  QString RawCell(int Row, int Col) const;
  QString ProcessedCell(int Row, int Col) const;

  // Controls.
  QComboBox* CmBxLoadDrive = nullptr;
  QListWidget* LsBxLoadDirectory = nullptr;
  QListWidget* LsBxLoadFiles = nullptr;
  QRadioButton* RbFCSFiles = nullptr;
  QRadioButton* RbQuorvenalFiles = nullptr;
  QRadioButton* RbAllFiles = nullptr;
  QWidget* GbFCSFiles = nullptr;
  QPushButton* BtnReadFCSFile = nullptr;
  QPushButton* BtnReadMultipleFCSFiles = nullptr;
  QProgressBar* GaMerge = nullptr;
  QCheckBox* CbCullAPC = nullptr;
  QLineEdit* EdCullHigh = nullptr;
  QLineEdit* EdCullLow = nullptr;
  QWidget* GbQuorvenalFiles = nullptr;
  QPushButton* BtnLoadQuorvenal = nullptr;
  QPushButton* BtnChannelSummaries = nullptr;
  QRadioButton* RbFullSummary = nullptr;
  QRadioButton* RbBriefSummary = nullptr;
  QPushButton* BtnAppendQuorvenalFile = nullptr;
  QPushButton* BtnCompensate = nullptr;
  QPushButton* BtnReProcess = nullptr;
  QCheckBox* CbFitCurves = nullptr;
  QPushButton* BtnClassify = nullptr;
  QLabel* PnFileName = nullptr;
  QTextEdit* MeHeader = nullptr;
  QTableView* SgData = nullptr;
  QTableView* SgProcessed = nullptr;
  QCheckBox* CbExportMinimalSignal = nullptr;
  QCheckBox* CbExportFilteredout = nullptr;
  QTextEdit* MeSummary = nullptr;
  QPushButton* BtnExportProcessedData = nullptr;
  QPushButton* BtnShowData = nullptr;
  QPushButton* BtnExportRawData = nullptr;
  QPushButton* BtnExportHeader = nullptr;
  QPushButton* BtnExportParameters = nullptr;
  QPushButton* BtnExportSummary = nullptr;

 private:
  void BuildLoadPage();
  void BuildHeaderPage();
  void BuildDataPage();
  void BuildProcessedPage();
  void BuildSummaryPage();
  void InstallHooks();
  QPushButton* NewButton(QWidget* Parent, const char* Name, const QString& Caption, int Tag, const QString& Hint);
  // Runs Command in the command guard with the file commands busy.
  void FileCommand(const std::function<void()>& Command);
  void ShowProcessed();
  void ShowSummary();
  void ClearFilePages();
  // Names why a merge cannot start (no protocol, a cull edit that is not a number).
  bool MergeRefused();
  // The file pages, the file name and the data pages show that no set is held.
  void ShowNoDataSet();
  std::string SelectedFile() const;  // the current entry, with its folder; empty for none

  TPageContext& M;  // the main window, as a page sees it
  std::string FFolder;
  std::string FFileOnPages;
  int64_t FFileEvents = 0;  // the event count of that file
  std::unique_ptr<TParameterSet> FFileParameters;  // and its parameters
  bool FAnyFile = false;    // a command has replaced the data set since start
  TRawDataModel* FRaw = nullptr;
  TProcessedModel* FProcessed = nullptr;
};

}  // namespace qv
