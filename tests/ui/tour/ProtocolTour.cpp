// Tour pictures of the protocol page: a three-channel protocol with gates, a genotype and a
// spill-over filter, each protocol sheet in turn; the tour's own protocol is put back after.
#include <QTabWidget>
#include <QTableWidget>
#include <functional>

#include "shell/MainWindow.h"
#include "pages/ProtocolPage.h"
#include "protocol/Protocol.h"

void ProtocolTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture) {
  auto* Page = Main.findChild<qv::TProtocolPage*>("ProtocolPage");
  if (!Page) return;
  std::unique_ptr<qv::TProtocol> Kept = std::move(Main.CurrentProtocol);
  auto P = std::make_unique<qv::TProtocol>();
  for (int n = 1; n <= 3; ++n) qv::TProtocolPage::ShowProtocolGrids(*P, n, 3);
  for (int n = 1; n <= 2; ++n) qv::TProtocolPage::CreateDefaultGates(*P, n);
  P->AddGenotype("Green", 0, 0);
  P->GetGenotype(P->AddGenotype("Green and Red", 0, 0))->AddComponent(1);
  qv::TChannelFilterInfo Filter;
  Filter.Name = "Ch_1-->Ch_2";
  Filter.SourceChannel = 0;
  Filter.SpilloverChannel = 1;
  Filter.MaxSpillover = 0.0598f;
  Filter.MeanSpillover = 0.05f;
  Filter.MinSpillover = 0.0402f;
  P->Filters->Add(Filter);
  P->Notes = "Three channels, two gates: the tour's protocol.";
  Main.SetCurrentProtocol(std::move(P));
  Main.PgMain->setCurrentWidget(Main.Page("TsProtocol"));
  QTabWidget* Protocol = Main.Pages("PgProtocol");
  QTabWidget* Channel = Main.Pages("PgChannel");
  Protocol->setCurrentWidget(Main.Page("TsChannel"));
  for (int i = 0; i < Channel->count(); ++i) {
    Channel->setCurrentIndex(i);
    Capture(&Main, "Protocol-" + Channel->widget(i)->objectName());
  }
  Page->SgChannels->setCurrentCell(2, 0);
  Channel->setCurrentWidget(Main.Page("TsChannelData"));
  Capture(&Main, "Protocol-Channel2");
  for (const char* Sheet : {"TsGlobalGates", "TsGenotypes", "TsProtocolNotes", "TsSpillovers"}) {
    Protocol->setCurrentWidget(Main.Page(Sheet));
    Capture(&Main, QString("Protocol-") + Sheet);
  }
  Protocol->setCurrentWidget(Main.Page("TsChannel"));
  Main.SetCurrentProtocol(std::move(Kept));
}
