// Tour pictures of the compensation commands: the derive panel open under a channel's
// distribution, and the matrix sheet after an autocompensation of an instrument file (the
// generated tour file when the instrument files are missing). The tour's protocol and data set
// are put back after.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <filesystem>
#include <functional>
#include <iostream>

#include "../ScriptedDialogs.h"
#include "pages/ChartsPage.h"
#include "pages/CompensationCommands.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "TestFolders.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/Protocol.h"

namespace {

std::unique_ptr<qv::TProtocol> FitcPeProtocol() {
  auto P = std::make_unique<qv::TProtocol>();
  P->FileName = "FITC-PE.protocol";
  for (const auto& [Name, Label] : {std::pair{"FITC", "FL1-H"}, std::pair{"PE", "FL2-H"}}) {
    qv::TChannelInfo Info;
    Info.ChannelName = Name;
    Info.ChannelTag = std::string(1, Name[0]);
    Info.FCSLabel = Label;
    Info.ExactFCSLabel = true;
    Info.Minimum_Value_ZScore = 1;
    Info.MaximumValue_ZScore = 10000;
    Info.Minimum_Value_Threshold = 10;
    Info.Maximum_Value_Threshold = 10000;
    Info.Minimum_Z = -2;
    Info.Maximum_Z = 2;
    P->AddChannel(std::make_unique<qv::TChannel>(Info, P.get()));
  }
  for (int32_t i = 0; i < 2; ++i)
    for (int32_t j = 0; j < 2; ++j) P->GetChannel(i)->SetCompPair(j, {i == j ? 100.0f : 0.0f, 0.0f}, true);
  return P;
}

}  // namespace

void CompensationTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture) {
  auto* Charts = Main.findChild<qv::TChartsPage*>();
  auto* Commands = Main.findChild<qv::TCompensationCommands*>();
  if (!Charts || !Commands) {
    std::cerr << "Compensation tour: no chart page or compensation commands\n";
    return;
  }
  const std::string Dir = qv::test::SamplesDir();
  std::string FcsName = Dir.empty() ? std::string() : qv::test::SampleFile("facscan-fcs2-int16-le.fcs");
  if (FcsName.empty() || !std::filesystem::exists(FcsName)) FcsName = qv::ProgramDir + "Data/tour.fcs";

  std::unique_ptr<qv::TProtocol> Kept = std::move(Main.CurrentProtocol);
  auto P = FitcPeProtocol();
  try {
    qv::TFCSFile File(FcsName);
    auto D = qv::TFCSData::Create(File, 0, true, nullptr, P.get());
    D->Compensate(*P, nullptr, 0);
    D->SetDetectors(*P, nullptr, true);
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(D));
  } catch (const std::exception& E) {
    std::cerr << "Compensation tour: " << E.what() << '\n';
    Main.SetCurrentProtocol(std::move(Kept));
    return;
  }
  for (auto& Listener : Main.Hooks.DataShownListeners) Listener(true);
  Main.ShowPoints(Main.CurrentData->EventCount(0));

  QTabWidget* Explore = Main.Pages("PgExplore");
  const int DistTab = Explore->indexOf(Main.Page("TsDistributions"));
  const bool WasVisible = Explore->isTabVisible(DistTab);
  Explore->setTabVisible(DistTab, true);
  Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
  Explore->setCurrentIndex(DistTab);
  const int Item = Main.CurrentData->GateDetectorCount;  // the first channel's distribution
  for (QAbstractButton* B : Charts->DistributionItems->buttons())
    if (Charts->DistributionItems->id(B) == Item) B->click();
  if (Charts->BtnShowDerive->isEnabled()) Charts->BtnShowDerive->click();
  Commands->EdMaxRaw->setText("10000");
  Capture(&Main, "Distributions-DerivePanel");

  {
    // The commands' questions are answered here; the program's own dialogs come back after.
    qv::Dialogs& Program = qv::AppDialogs();
    {
      qv::test::ScriptedDialogs Answers;
      Answers.Answers.push_back(qv::Dialogs::TAnswer::Yes);
      Commands->CbEstimateGaussian->setChecked(false);
      Commands->BtnDeriveCompensationClick(4);
      Commands->BtnShowMatrixClick(1);
      for (const std::string& E : Answers.Errors) std::cerr << "Compensation tour: " << E << '\n';
    }
    qv::SetAppDialogs(&Program);
  }
  Capture(&Main, "TsMatrix-Shown");

  Commands->EdMaxRaw->setText("1000");
  Main.SetCurrentData(nullptr);
  Main.SetCurrentProtocol(std::move(Kept));
  Explore->setTabVisible(DistTab, WasVisible);
  Main.Pages("PgProtocol")->setCurrentWidget(Main.Page("TsChannel"));
}
