// Tour pictures of the custom detector sheet: a fit of one channel of a real instrument file over
// the events that pass a window on another channel, then the exploration tool bar.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <cmath>
#include <functional>
#include <iostream>

#include "pages/CustomDetectorPage.h"
#include "shell/MainWindow.h"
#include "NumberFormat.h"
#include "pages/ReadingPage.h"
#include "TestFolders.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/Protocol.h"

void CustomDetectorTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture) {
  auto* Page = Main.findChild<qv::TCustomDetectorPage*>("CustomDetectorPage");
  auto* Reading = Main.findChild<qv::TReadingPage*>("ReadingPage");
  if (!Page || !Reading) return;
  if (qv::test::SamplesDir().empty()) {
    std::cerr << "Custom detector tour skipped: ../shared/fcs-samples is missing\n";
    return;
  }
  // The tour's own protocol for the file; the program's protocol comes back afterwards.
  auto Protocol = std::make_unique<qv::TProtocol>();
  for (const char* Gate : {"FSC-H", "SSC-H"}) {
    qv::TGateInfo Info;
    Info.Name = Gate;
    Info.FCSLabel = Gate;
    Info.Scale = 1;
    Protocol->AddGate(std::make_unique<qv::TGlobalGate>(Info, Protocol.get()));
  }
  const char* Names[3] = {"GFP", "RFP", "YFP"};
  const char* Labels[3] = {"FL1-H", "FL2-H", "FL3-H"};
  for (int i = 0; i < 3; ++i) {
    qv::TChannelInfo Info;
    Info.ChannelName = Names[i];
    Info.ChannelTag = std::string(1, Names[i][0]);
    Info.FCSLabel = Labels[i];
    Info.DisplayMinimum = 0;
    Info.DisplayMaximum = 4;
    Info.Minimum_Value_ZScore = 1;
    Info.MaximumValue_ZScore = 10000;
    Info.Minimum_Z = -3;
    Info.Maximum_Z = 3;
    Protocol->AddChannel(std::make_unique<qv::TChannel>(Info, Protocol.get()));
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      qv::TCompensationPair Pair;
      Pair.Mean = i == j ? 100.0f : 0.0f;
      Protocol->GetChannel(i)->SetCompPair(j, Pair, true);
    }
  std::unique_ptr<qv::TProtocol> Program = std::move(Main.CurrentProtocol);
  Reading->ReplaceData(nullptr);
  Main.SetCurrentProtocol(std::move(Protocol));
  try {
    qv::TFCSFile File(qv::test::SampleFile("facscan-fcs2-int16-be.fcs"));
    Reading->ReplaceData(qv::TFCSData::Create(File, 0, false, nullptr, Main.CurrentProtocol.get()));
  } catch (const std::exception& E) {
    std::cerr << "Custom detector tour: " << E.what() << '\n';
  }
  if (Main.CurrentData && Main.CurrentData->GetPeakDetector(0)) {
    Main.UpdateProtocolDependentControls(true, true);
    Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
    Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsCustomDetector"));
    Page->CmBxCustomDetector->setCurrentIndex(0);
    Page->CmBxCustomFilter->setCurrentIndex(1);
    Page->EdCustomFilterMin->setText("1");
    Page->EdCustomFilterMax->setText("10000");
    Page->EdCustomClipHigh->setText("2");
    Page->EdCustomClipLow->setText("-2");
    // A first plot finds the fullest bin; the fit shown starts there.
    Page->BtnAddCustomDetector->click();
    const qv::TDetector* Custom = Main.CurrentData->CustomDetector.get();
    if (Custom && Custom->SeriesCount > 0) {
      const auto& Counts = Custom->Counts.back();
      size_t Fullest = 1;
      for (size_t b = 1; b + 1 < Counts.size(); ++b)
        if (Counts[b] > Counts[Fullest]) Fullest = b;
      Page->EdCustomDetectorMean->setText(QString::fromStdString(qv::FormatFloat("#0.0000", Custom->BinCentres[Fullest])));
    }
    Page->BtnClearCustomDetector->click();
    Page->EdCustomDeviation->setText("0.05");
    Page->BtnAddCustomDetector->click();
    Capture(&Main, "CustomDetector-Fit");
    Page->BtnExplore->click();
    Capture(&Main, "CustomDetector-Explore");
    Page->BtnExplore->click();
    Page->BtnClearCustomDetector->click();
  }
  Reading->ReplaceData(nullptr);
  Main.SetCurrentProtocol(std::move(Program));
  Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsLoad"));
}
