#include "FitnessTour.h"

#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>
#include <fstream>

#include "common/Dialogs.h"
#include "FitnessFixtures.h"
#include "pages/FitnessPage.h"
#include "Files.h"
#include "Globals.h"
#include "shell/MainWindow.h"
#include "report/TextOutput.h"
#include "fitness/FitnessCalculator.h"

namespace {

// The correlation asks for its file; the tour answers with the saved reports.
class TTourDialogs : public qv::TQtDialogs {
 public:
  std::string File;
  std::string OpenFile(const qv::TFileDialogOptions&) override { return File; }
  std::string Folder(const std::string&, const std::string&) override { return qv::ProgramDir; }
};

void ShowReport(qv::TFitnessPage& Page, const std::function<void(QWidget*, const QString&)>& Capture,
                const QString& Name) {
  if (qv::TFmTextOutput* Report = Page.LastReport()) {
    Capture(Report, Name);
    Report->close();
  }
}

}  // namespace

void FitnessTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture) {
  auto* Page = Main.findChild<qv::TFitnessPage*>();
  if (!Page) return;
  TTourDialogs Dialogs;
  struct TRestore {
    qv::Dialogs* Old = &qv::AppDialogs();
    ~TRestore() { qv::SetAppDialogs(Old); }
  } Restore;
  qv::SetAppDialogs(&Dialogs);
  Page->BtnChangeFitnessDirectoryClick();  // the tour's program folder
  const std::string Folder = qv::IncludeTrailingPathDelimiter(qv::ProcessDir);
  auto P1 = qv::test::AssayProtocol({"A", "B"}, {"GFP", "YFP"});
  auto P2 = qv::test::AssayProtocol({"B", "A"}, {"GFP", "YFP"});
  qv::test::SaveAssayFile(Folder + "e1.Quorvenal", *P1, {{10, 100, 100}}, true);
  qv::test::SaveAssayFile(Folder + "o1.Quorvenal", *P1, {{1, 100, 20}, {2, 50, 30}}, true);
  qv::test::SaveAssayFile(Folder + "e2.Quorvenal", *P2, {{0, 100, 100}}, true);
  qv::test::SaveAssayFile(Folder + "o2.Quorvenal", *P2, {{7, 60, 140}}, true);
  Page->BtnProcessFilesClick(10);
  for (const char* Name : {"e1.Quorvenal", "o1.Quorvenal", "e2.Quorvenal", "o2.Quorvenal"}) {
    const auto Items = Page->LsBxProcessFiles->findItems(Name, Qt::MatchExactly);
    if (Items.isEmpty()) return;
    Page->LsBxProcessFiles->setCurrentItem(Items.first());
    Page->BtnProcessFilesClick(0);
  }
  Main.PgMain->setCurrentWidget(Main.Page("TsProcess"));
  QTabWidget* Sub = Main.Pages("PgFitnessControls");
  Sub->setCurrentWidget(Main.Page("TsFitnessAnalysis"));
  Capture(&Main, "Fitness-Constant");
  Page->BtnSimpleFitnessClick();
  ShowReport(*Page, Capture, "Fitness-ConstantReport");

  Page->RbFullFitness->setChecked(true);
  Capture(&Main, "Fitness-Variable");
  Page->BtnProcessClick(1);
  ShowReport(*Page, Capture, "Fitness-Report");
  Sub->setCurrentWidget(Main.Page("TsAutomatedFitness"));
  Capture(&Main, "Fitness-Automation");

  const char* const Grid[] = {"-1.0", "-0.5", "0.5", "0.5", "1.0", "0.5", "5.0", "6.0", "1.2"};
  for (size_t i = 0; i < 9; ++i) Page->FitnessSweepEdits[i]->setText(Grid[i]);
  Page->BtnFitnessAutomationClick();
  ShowReport(*Page, Capture, "Fitness-AutomationReport");

  std::string Report;
  Main.Calculator->ReportAll(false, false, Report);
  std::ofstream(Folder + "fitness-sets.txt", std::ios::binary) << Report << Report;
  Dialogs.File = Folder + "fitness-sets.txt";
  Page->BtnFitnessCorrelationClick();
  ShowReport(*Page, Capture, "Fitness-CorrelationReport");
  Page->RbSimpleFitness->setChecked(true);
}
