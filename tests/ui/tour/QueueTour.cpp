// Tour steps of the queue: three named sets of the Load page's files queued under a saved
// protocol, then the run and its results window.
#include <QEventLoop>
#include <QListWidget>
#include <QTabWidget>
#include <QTimer>
#include <deque>
#include <functional>
#include <iostream>

#include "common/CommandGuard.h"
#include "common/Dialogs.h"
#include "FcsWriter.h"
#include "Files.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "pages/QueuePage.h"
#include "pages/ReadingPage.h"
#include "report/TextOutput.h"
#include "batch/Queue.h"
#include "protocol/Protocol.h"

namespace {

// Names for the queue's input box; any question or message goes to the console, not a box.
class TQueueTourDialogs : public qv::TQtDialogs {
 public:
  std::deque<std::string> Names;
  bool Input(const std::string&, const std::string&, std::string& Value) override {
    if (Names.empty()) return false;
    Value = Names.front();
    Names.pop_front();
    return true;
  }
  void Error(const std::string& Text) override { std::cerr << "Queue tour: " << Text << '\n'; }
  void Info(const std::string& Text) override { std::cerr << "Queue tour: " << Text << '\n'; }
  TAnswer YesNoCancel(const std::string&) override { return TAnswer::No; }
};

// A plate like the tour's own file, its values shifted so each set reads differently.
void WritePlate(const std::string& FileName, int Shift) {
  qv::test::FcsFileSpec Spec;
  Spec.Parameters = {qv::test::LinearParameter("FSC-H", 1024), qv::test::LinearParameter("SSC-H", 1024),
                     qv::test::LogParameter("FL1-H", 4, 1024, "GFP"), qv::test::LogParameter("FL2-H", 4, 1024, "RFP")};
  for (int i = 0; i < 1500; ++i)
    Spec.Events.push_back({double(200 + i % 600), double(100 + (i * 7) % 700), double((i * 13 + Shift) % 1024),
                           double((i * 29 + 3 * Shift) % 1024)});
  qv::test::WriteFcs(FileName, Spec);
}

void Settle(int Ms) {
  QEventLoop Loop;
  QTimer::singleShot(Ms, &Loop, &QEventLoop::quit);
  Loop.exec();
}

}  // namespace

void QueueTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture) {
  auto* Page = Main.findChild<qv::TReadingPage*>("ReadingPage");
  auto* Queue = Main.findChild<qv::TQueuePage*>("QueuePage");
  if (!Page || !Queue || !Main.CurrentProtocol) {
    std::cerr << "Queue tour: no page or no protocol\n";
    return;
  }
  TQueueTourDialogs Dialogs;
  struct TRestore {
    qv::Dialogs* Old = &qv::AppDialogs();
    ~TRestore() { qv::SetAppDialogs(Old); }
  } Restore;
  qv::SetAppDialogs(&Dialogs);

  // An entry keeps only the protocol's file name: the file must hold the protocol with the
  // spill-over the tour gave it, so the sets compensate.
  // Earlier steps of the tour have changed the protocol's spill-over: each channel gets 100 % of
  // its own again, so its matrix can be inverted.
  qv::TProtocol& Protocol = *Main.CurrentProtocol;
  for (int32_t i = 0; i < Protocol.ChannelCount(); ++i)
    for (int32_t j = 0; j < Protocol.ChannelCount(); ++j)
      Protocol.GetChannel(i)->SetCompPair(j, {i == j ? 100.0f : 0.0f, 0.0f}, true);
  const std::string ProtocolName = qv::ProgramDir + "Queue.protocol";
  Main.CurrentProtocol->SaveToFile(ProtocolName);
  Main.CurrentProtocol->FileName = ProtocolName;
  Main.MarkProtocolSaved();
  WritePlate(qv::LoadDir + "plate-b1.fcs", 101);
  WritePlate(qv::LoadDir + "plate-b2.fcs", 202);
  WritePlate(qv::LoadDir + "plate-c.fcs", 303);
  Page->ShowFolder(qv::LoadDir);
  Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
  Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsLoad"));
  const std::pair<std::vector<std::string>, std::string> Entries[] = {
      {{"tour.fcs"}, "Plate A"}, {{"plate-b1.fcs", "plate-b2.fcs"}, "Plate B"}, {{"plate-c.fcs"}, "Plate C"}};
  for (const auto& [Files, Name] : Entries) {
    Page->SelectFiles(Files);
    Dialogs.Names = {Name};
    qv::GuardedCommand([&] { Queue->BtnAddToQueueClick(1); });
  }
  if (!Main.Queue || Main.Queue->Count() != 3) {
    std::cerr << "Queue tour: the entries were not queued\n";
    return;
  }
  Capture(&Main, "Queue");

  const auto Before = Main.findChildren<qv::TFmTextOutput*>().size();
  qv::GuardedCommand([&] { Queue->BtnAddToQueueClick(2); });
  Settle(100);
  const auto Windows = Main.findChildren<qv::TFmTextOutput*>();
  if (Windows.size() == Before) {
    std::cerr << "Queue tour: no results window\n";
    return;
  }
  qv::TFmTextOutput* Results = Windows.back();
  Results->resize(900, 600);
  Capture(Results, "Queue-ResultsWindow");
  Results->close();
  qv::GuardedCommand([&] { Queue->BtnAddToQueueClick(3); });
}
