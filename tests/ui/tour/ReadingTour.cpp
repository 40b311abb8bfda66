// Tour steps of the reading pages: the generated file read under the tour's protocol, then the
// Load, Header, Data, Processed and Summary pages.
#include <QPushButton>
#include <QTabWidget>
#include <functional>

#include "Globals.h"
#include "shell/MainWindow.h"
#include "pages/ReadingPage.h"
#include "protocol/Protocol.h"

void ReadingTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture) {
  auto* Page = Main.findChild<qv::TReadingPage*>("ReadingPage");
  if (!Page) return;
  // The tour's protocol carries no spill-over yet: each channel gets 100 % of its own.
  if (qv::TProtocol* Protocol = Main.CurrentProtocol.get()) {
    for (int32_t i = 0; i < Protocol->ChannelCount(); ++i)
      for (int32_t j = 0; j < Protocol->ChannelCount(); ++j) {
        qv::TCompensationPair Pair;
        Pair.Mean = i == j ? 100.0f : 0.0f;
        Protocol->GetChannel(i)->SetCompPair(j, Pair, true);
      }
    Main.MarkProtocolSaved();
  }
  Page->ShowFolder(qv::LoadDir);
  Page->SelectFiles({"tour.fcs"});
  Page->BtnReadClick();
  Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
  QTabWidget* Explore = Main.Pages("PgExplore");
  for (const char* Name : {"TsLoad", "TsHeader", "TsData", "TsProcessed"}) {
    Explore->setCurrentWidget(Main.Page(Name));
    Capture(&Main, QString("Reading-") + Name);
  }
  // The protocol creator beside the header, shown by its button and hidden again.
  if (auto* Creator = Main.findChild<QPushButton*>("BtnShowProtocolCreationGrid")) {
    Explore->setCurrentWidget(Main.Page("TsHeader"));
    Creator->click();
    Capture(&Main, "Reading-TsHeader-Creator");
    Creator->click();
  }
  Explore->setCurrentWidget(Main.Page("TsClassification"));
  Main.Pages("PgClassification")->setCurrentWidget(Main.Page("TSSummary"));
  Capture(&Main, "Reading-TSSummary");
  Explore->setCurrentWidget(Main.Page("TsLoad"));
}
