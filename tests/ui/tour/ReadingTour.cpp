// Tour steps of the reading pages: the generated file read under the tour's protocol, then the
// Load, Header, Data, Processed and Summary pages.
#include <QTabWidget>
#include <functional>

#include "Globals.h"
#include "Main.h"
#include "ReadingPage.h"

void ReadingTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture) {
  auto* Page = Main.findChild<qv::TReadingPage*>("ReadingPage");
  if (!Page) return;
  Page->ShowFolder(qv::LoadDir);
  Page->SelectFiles({"tour.fcs"});
  Page->BtnReadClick();
  Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
  QTabWidget* Explore = Main.Pages("PgExplore");
  for (const char* Name : {"TsLoad", "TsHeader", "TsData", "TsProcessed"}) {
    Explore->setCurrentWidget(Main.Page(Name));
    Capture(&Main, QString("Reading-") + Name);
  }
  Explore->setCurrentWidget(Main.Page("TsClassification"));
  Main.Pages("PgClassification")->setCurrentWidget(Main.Page("TSSummary"));
  Capture(&Main, "Reading-TSSummary");
  Explore->setCurrentWidget(Main.Page("TsLoad"));
}
