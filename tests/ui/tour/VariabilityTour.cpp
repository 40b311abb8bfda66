#include "VariabilityTour.h"

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <iostream>

#include "shell/MainWindow.h"
#include "report/TextOutput.h"
#include "pages/VariabilityPage.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/Protocol.h"

namespace {

void Settle(int Ms) {
  QEventLoop Loop;
  QTimer::singleShot(Ms, &Loop, &QEventLoop::quit);
  Loop.exec();
}

}  // namespace

void VariabilityTour(qv::TFmMain& Main, const std::string& FcsFile,
                     const std::function<void(QWidget*, const QString&)>& Capture) {
  auto* Page = Main.findChild<qv::TVariabilityPage*>("VariabilityPage");
  if (!Page || !Main.CurrentProtocol) {
    std::cerr << "Variability tour: no page or no protocol\n";
    return;
  }
  // The tour's protocol has no spill-over yet: a copy in which each channel sees only its own
  // fluorophore compensates the events; the page's own protocol stays as saved.
  auto Copy = qv::TProtocol::OpenFile(Main.CurrentProtocol->FileName);
  if (!Copy) {
    std::cerr << "Variability tour: the protocol cannot be read again\n";
    return;
  }
  qv::TProtocol& Protocol = *Copy;
  for (int32_t i = 0; i < Protocol.ChannelCount(); ++i)
    for (int32_t j = 0; j < Protocol.ChannelCount(); ++j)
      Protocol.GetChannel(i)->SetCompPair(j, {i == j ? 100.0f : 0.0f, 0.0f}, true);
  try {
    qv::TFCSFile File(FcsFile);
    auto First = qv::TFCSData::Create(File, 0, false, nullptr, &Protocol);
    auto Second = qv::TFCSData::Create(File, 0, false, nullptr, &Protocol);
    auto Merged = qv::TFCSData::CreateMerged(*First, {});
    Merged->Merge(*Second, 1, {});
    Merged->Compensate(Protocol, nullptr, 0);
    Main.SetCurrentData(std::move(Merged));
    Main.ShowPoints(Main.CurrentData->EventCount(0));
  } catch (const std::exception& E) {
    std::cerr << "Variability tour: " << E.what() << '\n';
    return;
  }
  Main.UpdateProtocolDependentControls(true, true);
  Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
  Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsVariability"));
  Page->SeVariabilityBins->setValue(4);
  Page->BtnCalculateVariability->click();
  Settle(100);
  Capture(&Main, "TsVariability-Report");

  Page->Targets.Text->click();
  Page->BtnExportVariability->click();
  Settle(100);
  for (QWidget* W : QApplication::topLevelWidgets())
    if (auto* Report = qobject_cast<qv::TFmTextOutput*>(W); Report && Report->isVisible()) {
      Report->resize(900, 600);
      Capture(Report, "Variability-ReportWindow");
      Report->close();
    }
  Main.SetCurrentData(nullptr);
}
