// Tour pictures of the class explorer: the tour file's events split into two genotype classes by
// their brighter channel, one class's GFP histogram plotted and its events listed; then a third
// class that holds no events.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <functional>
#include <iostream>

#include "../ScriptedDialogs.h"
#include "pages/ClassExplorerPage.h"
#include "shell/MainWindow.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/Protocol.h"

void ClassExplorerTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture) {
  auto* Page = Main.findChild<qv::TClassExplorerPage*>("ClassExplorerPage");
  if (!Page || !Main.CurrentProtocol) {
    std::cerr << "Class explorer tour: no page or no protocol\n";
    return;
  }
  // A message box would stop the tour: any message is written out instead.
  qv::test::ScriptedDialogs Messages;
  const std::string ProtocolFile = Main.CurrentProtocol->FileName;
  auto Protocol = qv::TProtocol::OpenFile(ProtocolFile);
  if (!Protocol) return;
  for (int32_t i = 0; i < Protocol->ChannelCount(); ++i) {
    for (int32_t j = 0; j < Protocol->ChannelCount(); ++j)
      Protocol->GetChannel(i)->SetCompPair(j, {i == j ? 100.0f : 0.0f, 0.0f}, true);
    Protocol->GetChannel(i)->SetPeak(false, -1, 2.5f, 0.3f, 10);
  }
  Protocol->AddGenotype("Green strain", 0, 0);
  Protocol->AddGenotype("Red strain", 1, 0);
  Protocol->AddGenotype("Yellow strain", 0, 0);
  try {
    qv::TFCSFile File(qv::ProgramDir + "Data/tour.fcs");
    auto Data = qv::TFCSData::Create(File, 0, false, nullptr, Protocol.get());
    Data->Compensate(*Protocol, nullptr, 0);
    Data->SetDetectors(*Protocol, nullptr, false);
    for (size_t i = 0; i < Data->Events.size(); ++i) {
      const auto Values = Data->Events[i].LogCompValues();
      Data->Events[i].Classes()[2] = Values.size() > 1 && Values[0] > Values[1] ? 1 : 2;
    }
    Main.SetCurrentProtocol(std::move(Protocol));
    Main.SetCurrentData(std::move(Data));
  } catch (const std::exception& E) {
    std::cerr << "Class explorer tour: " << E.what() << '\n';
    return;
  }
  // The lists of the set's sheets; the tour's genotypes have no peaks to report on, so the
  // summary is not made.
  for (const auto& Listener : Main.Hooks.DataShownListeners)
    if (Listener) Listener(true);
  Main.UpdateProtocolDependentControls(true, true);
  Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
  Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsClassification"));
  Main.Pages("PgClassification")->setCurrentWidget(Main.Page("TsClassExplorer"));
  Page->CmBxClassExplorerGenotype->setCurrentIndex(0);
  emit Page->CmBxClassExplorerGenotype->activated(0);
  Page->GenotypeItems->button(0)->click();
  Page->ChannelItems->button(0)->click();
  QEventLoop Loop;
  QTimer::singleShot(100, &Loop, &QEventLoop::quit);
  Loop.exec();
  Capture(&Main, "TsClassExplorer-Class");
  Page->GenotypeItems->button(2)->click();
  Page->CmBxClassExplorerGenotype->setCurrentIndex(2);
  emit Page->CmBxClassExplorerGenotype->activated(2);
  QTimer::singleShot(100, &Loop, &QEventLoop::quit);
  Loop.exec();
  Capture(&Main, "TsClassExplorer-EmptyClass");

  // The tour goes on with the protocol as saved, so closing asks nothing.
  Main.SetCurrentData(nullptr);
  for (const auto& Listener : Main.Hooks.DataShownListeners)
    if (Listener) Listener(false);
  Main.SetCurrentProtocol(qv::TProtocol::OpenFile(ProtocolFile));
  for (const std::string& Text : Messages.Errors) std::cerr << "Class explorer tour: " << Text << '\n';
}
