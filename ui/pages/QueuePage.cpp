#include "pages/QueuePage.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <algorithm>

#include "common/CommandBinding.h"
#include "common/Dialogs.h"
#include "Errors.h"
#include "Files.h"
#include "Globals.h"
#include "common/PageContext.h"
#include "report/TextOutput.h"
#include "batch/Queue.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

std::vector<std::string> SplitLines(const std::string& Text) {
  std::vector<std::string> Lines;
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t End = Text.find('\n', Start);
    if (End == std::string::npos) End = Text.size();
    std::string Line = Text.substr(Start, End - Start);
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    Lines.push_back(std::move(Line));
    Start = End + 1;
  }
  return Lines;
}

}  // namespace

TQueuePage::TQueuePage(TPageContext& Main) : QObject(Main.Window()), M(Main) {
  setObjectName("QueuePage");
  const std::pair<const char*, const char*> Controls[] = {{"BtnAddToFCSQueue", "MnAddToQueue"},
                                                          {"BtnExecuteFCSQueue", "MnExecuteQueue"},
                                                          {"BtnClearFCSQueue", "MnClearQueue"},
                                                          {"BtnDeleteFromQueue", "MnDeleteQueueEntry"}};
  for (const auto& [Button, Item] : Controls) {
    auto* B = M.findChild<QPushButton*>(Button);
    BindCommand(B, B->property("Tag").toInt(), [this](int T) { BtnAddToQueueClick(T); });
    M.BindCommand(Item, [this](int T) { BtnAddToQueueClick(T); });
  }
}

void TQueuePage::BtnAddToQueueClick(int Tag) {
  switch (Tag) {
    case 1: Add(); break;
    case 2: Execute(); break;
    case 3:
      if (M.Queue) M.Queue->Clear();
      FillList();
      M.findChild<QListWidget*>("LsBxQueue")->hide();
      break;
    case 4: DeleteSelected(); break;
    default: break;
  }
  const int32_t Count = M.Queue ? M.Queue->Count() : 0;
  M.findChild<QLabel*>("LbQueue")->setText(QString::number(Count) + " sets in queue");
  M.UpdateCommandStates();
  M.ShowMemoryStatus();
}

void TQueuePage::FillList() {
  auto* List = M.findChild<QListWidget*>("LsBxQueue");
  List->clear();
  if (!M.Queue) return;
  std::string Text;
  M.Queue->ListText(Text);
  for (const std::string& Line : SplitLines(Text)) List->addItem(Q(Line));
}

void TQueuePage::Add() {
  if (!M.Hooks.SelectedFiles || !M.Hooks.ReadCullSettings) return;
  const std::vector<std::string> Files = M.Hooks.SelectedFiles();
  if (Files.empty() || !M.Queue) return;
  if (!M.CurrentProtocol) {
    AppDialogs().Error(ProtocolNeeded);
    return;
  }
  // The entry keeps only the protocol's file name, so that file must hold what is on screen.
  if (!M.ProtocolHasOwnFile() || !FileExists(M.CurrentProtocol->FileName) ||
      Q(ExtractFileExt(M.CurrentProtocol->FileName)).toUpper() == ".QUORVENAL") {
    AppDialogs().Error(SaveProtocolFirst);
    return;
  }
  if (!M.QuerySaveProtocol()) return;
  std::string Name;
  if (!AppDialogs().Input("Queue name for " + std::to_string(Files.size()) + " Files",
                          "Enter name of merged file (no extension)", Name) ||
      Name.empty())
    return;
  const std::string Target = ExtractFileName(Name + ".Quorvenal");
  for (const std::string& Other : M.Queue->Names)
    if (ExtractFileName(Other + ".Quorvenal") == Target) {
      AppDialogs().Error("A queue entry already saves to " + Target);
      return;
    }
  TCullSettings Cull;
  if (!M.Hooks.ReadCullSettings(Cull)) return;
  M.Queue->Add(Files, M.Hooks.LoadFolder(), Name, Cull, M.CurrentProtocol->FileName);
  auto* List = M.findChild<QListWidget*>("LsBxQueue");
  List->show();
  FillList();
}

void TQueuePage::DeleteSelected() {
  auto* List = M.findChild<QListWidget*>("LsBxQueue");
  if (List->isHidden() || !M.Queue) return;
  const int Rows = List->count();
  // Entry indices, highest first, so each deletion leaves the others' indices as they were.
  std::vector<int32_t> Entries;
  for (int r = 0; r < Rows; ++r)
    if (List->item(r)->isSelected()) Entries.push_back(Rows - 1 - r);
  std::sort(Entries.rbegin(), Entries.rend());
  for (int32_t Entry : Entries) M.Queue->Delete(Entry);
  FillList();
}

void TQueuePage::Execute() {
  if (!M.Queue || M.Queue->Count() == 0) return;
  if (!M.Hooks.MergeFCSFiles || !M.Hooks.ShowCullSettings || !M.Hooks.ShowQueueRunning) return;
  if (!M.QuerySaveProtocol()) return;
  auto* Report = new TFmTextOutput(M.Window(), "Results of File Analyses", true);
  M.AddCloseQuery(Report);
  auto* GaQueue = M.findChild<QProgressBar*>("GaQueue");
  auto* FileName = M.findChild<QLabel*>("PnFileName");
  const int32_t Count = M.Queue->Count();
  bool ProtocolChanged = false;
  {
    TLongLoop Loop(M);
    struct TRestore {
      TPageContext& M;
      QProgressBar* Gauge;
      ~TRestore() {
        M.Hooks.ShowQueueRunning(false);
        Gauge->hide();
        M.SetFileControlsBusy(false);
      }
    } Restore{M, GaQueue};
    GaQueue->setMaximum(Count);
    GaQueue->setValue(0);
    GaQueue->show();
    M.Hooks.ShowQueueRunning(true);
    M.SetFileControlsBusy(true);
    for (int32_t k = Count - 1; k >= 0; --k) {
      GaQueue->setValue(Count - k);
      M.ShowMemoryStatus();
      if (!M.ContinueFlag) continue;
      std::string Name, Folder, ProtocolName;
      M.Queue->GetName(k, Name);
      M.Queue->GetDirectory(k, Folder);
      M.Queue->GetProtocolName(k, ProtocolName);
      const TStringArray Files = M.Queue->GetFiles(k);
      try {
        std::unique_ptr<TProtocol> Protocol = TProtocol::OpenFile(ProtocolName);
        if (!Protocol) throw EInOutError("Not a valid protocol file");
        M.CurrentProtocol = std::move(Protocol);
        ProtocolChanged = true;
        TCullSettings Cull;
        M.Queue->GetCullSettings(k, Cull);
        M.Hooks.ShowCullSettings(Cull);
        const bool Merged = M.Hooks.MergeFCSFiles(Folder, Files);
        // The file-name panel names the set on screen: this entry's, saved or not.
        if (FileName && M.CurrentData) FileName->setText(" " + Q(Name) + " (not saved)");
        if (!M.ContinueFlag) {
          const int32_t Read = M.CurrentData ? M.CurrentData->FileCount : 0;
          Report->AddLine("Cancelled: " + Name + " (" + std::to_string(Read) + " of " + std::to_string(Files.size()) +
                          " files read); not saved");
          continue;
        }
        if (!Merged || !M.CurrentData) throw Exception("no data set");
        M.CurrentData->Classify(*M.CurrentProtocol);
        std::string Summary;
        M.CurrentData->AnalysisReport(*M.CurrentProtocol, Summary);
        const std::string Target = IncludeTrailingPathDelimiter(SaveDir) + ExtractFileName(Name + ".Quorvenal");
        if (!M.CurrentData->SaveToFile(Target, *M.CurrentProtocol, &Loop.Gauge())) throw Exception("not saved");
        if (FileName) FileName->setText(" " + Q(ExtractFileName(Target)));
        std::vector<std::string> Lines{"Data for " + Name};
        for (std::string& Line : SplitLines(Summary)) Lines.push_back(std::move(Line));
        Lines.push_back("");
        Lines.push_back("");
        Report->AddLines(Lines);
      } catch (const std::exception&) {
        Report->AddLine("Error with queue entry" + Name);
      }
    }
  }
  if (M.Hooks.RefreshFileLists) M.Hooks.RefreshFileLists();
  if (ProtocolChanged) M.SetCurrentProtocol(std::move(M.CurrentProtocol));
  if (M.Hooks.ShowDataLoaded) M.Hooks.ShowDataLoaded(M.CurrentData != nullptr);
  M.UpdateProtocolDependentControls(true, true);
}

}  // namespace qv
