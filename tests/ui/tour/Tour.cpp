// The screenshot tour: starts the real program through its program block with a generated FCS
// file and a saved protocol, visits every page and window, and writes numbered PNGs. Fails when
// a picture cannot be written or shows one colour only.
//   quorvenal_tour <output folder>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iostream>

#include "shell/About.h"
#include "FcsWriter.h"
#include "FitnessTour.h"
#include "Globals.h"
#include "shell/HelpFile.h"
#include "shell/MainWindow.h"
#include "shell/Preferences.h"
#include "ProgramMain.h"
#include "shell/Splash.h"
#include "report/TextOutput.h"
#include "report/TextOutputTour.h"
#include "VariabilityTour.h"
#include "protocol/Protocol.h"

void ReadingTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture);

namespace {

QString OutDir;
int Shot = 0;
int Failures = 0;

void Wait(int Ms) {
  QEventLoop Loop;
  QTimer::singleShot(Ms, &Loop, &QEventLoop::quit);
  Loop.exec();
}

bool Blank(const QImage& Image) {
  if (Image.isNull() || Image.width() == 0 || Image.height() == 0) return true;
  const QImage I = Image.convertToFormat(QImage::Format_RGB32);
  const QRgb First = I.pixel(0, 0);
  for (int y = 0; y < I.height(); ++y)
    for (int x = 0; x < I.width(); ++x)
      if (I.pixel(x, y) != First) return false;
  return true;
}

void Capture(QWidget* Window, const QString& Name) {
  Window->raise();
  Wait(150);
  const QImage Image = Window->grab().toImage();
  const QString Base = QString("%1-%2.png").arg(++Shot, 2, 10, QChar('0')).arg(Name);
  const QString File = OutDir + "/" + Base;
  // The manifest lists every picture the tour meant to write; the test script checks them.
  QFile Manifest(OutDir + "/manifest.txt");
  if (Manifest.open(QIODevice::Append | QIODevice::Text)) Manifest.write((Base + "\n").toUtf8());
  if (Blank(Image)) {
    std::cerr << "Blank picture: " << File.toStdString() << '\n';
    ++Failures;
  }
  if (!Image.save(File)) {
    std::cerr << "Cannot write " << File.toStdString() << '\n';
    ++Failures;
  }
}

// The tab widget of a sheet's own pages, null for a page; it may sit inside the sheet's
// scroll area.
QTabWidget* SubPages(QWidget* Sheet) {
  QTabWidget* Nearest = nullptr;
  int Least = 0;
  for (QTabWidget* Tabs : Sheet->findChildren<QTabWidget*>()) {
    int Depth = 0;
    for (QWidget* W = Tabs; W && W != Sheet; W = W->parentWidget()) ++Depth;
    if (!Nearest || Depth < Least) {
      Nearest = Tabs;
      Least = Depth;
    }
  }
  return Nearest;
}

// Every sheet of Tabs and of the tab widgets inside it, depth first.
void VisitTabs(qv::TFmMain& Main, QTabWidget* Tabs, const QString& Prefix = QString()) {
  for (int i = 0; i < Tabs->count(); ++i) {
    Tabs->setCurrentIndex(i);
    QWidget* Sheet = Tabs->widget(i);
    if (QTabWidget* Inner = SubPages(Sheet)) {
      VisitTabs(Main, Inner, Prefix);
    } else {
      Capture(&Main, Prefix + Sheet->objectName());
    }
  }
}

}  // namespace

void ProtocolTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture);
void ChartsTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture);
void CompensationTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture);
void CustomDetectorTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture);
void ClassExplorerTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture);
void QueueTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture);
void RefusalsTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture);

namespace {

void Tour(qv::TFmMain& Main, qv::TFmSplash* Splash) {
  if (Splash) Capture(Splash, "Splash");
  Wait(300);
  Capture(&Main, "MainWindow");
  ReadingTour(Main, Capture);
  // No data set is loaded in the tour, so the data pages are shown by hand to be seen.
  Main.UpdateProtocolDependentControls(true, true);
  VisitTabs(Main, Main.PgMain);
  ProtocolTour(Main, Capture);

  // Each menu of the menu bar, opened under its title.
  for (QAction* Title : Main.menuBar()->actions()) {
    QMenu* Menu = Title->menu();
    if (!Menu) continue;
    Menu->popup(Main.mapToGlobal(Main.menuBar()->actionGeometry(Title).bottomLeft()));
    Wait(100);
    Capture(Menu, "Menu-" + Title->text().remove('&').trimmed());
    Menu->hide();
  }

  Main.MasterLauncher(2);
  Wait(100);
  if (auto* Preferences = Main.findChild<qv::TFmPreferences*>()) {
    for (int i = 0; i < Preferences->Pages->count(); ++i) {
      Preferences->Pages->setCurrentIndex(i);
      Capture(Preferences, "Preferences-" + Preferences->Pages->widget(i)->objectName());
    }
    Preferences->close();
  } else {
    std::cerr << "No preferences window\n";
    ++Failures;
  }

  Main.MasterLauncher(3);
  Wait(100);
  if (auto* About = Main.findChild<qv::TFmAbout*>()) {
    Capture(About, "About");
    About->close();
  } else {
    std::cerr << "No about window\n";
    ++Failures;
  }

  VariabilityTour(Main, qv::ProgramDir + "Data/tour.fcs", Capture);

  Main.BtnHelpClick();
  if (auto* Help = Main.findChild<qv::TFmHelp*>()) {
    Wait(1500);  // the PDF view renders its pages on a worker thread
    Capture(Help, "Help");
    Help->close();
  } else {
    std::cerr << "No help window\n";
    ++Failures;
  }
  FitnessTour(Main, Capture);
  ChartsTour(Main, Capture);
  CompensationTour(Main, Capture);
  CustomDetectorTour(Main, Capture);
  ClassExplorerTour(Main, Capture);
  RefusalsTour(Main, Capture);
  QueueTour(Main, Capture);
  // Every page again at the smallest size the window allows, with a hint longer than the row.
  const QSize Default = Main.size();
  Main.resize(Main.minimumSize());
  Main.UpdateProtocolDependentControls(true, true);
  Main.ShowHint("Append these files to the file already open, ignoring the protocol; a hint longer than the row");
  VisitTabs(Main, Main.PgMain, "Minimum-");
  Main.resize(Default);
  if (qv::TFmTextOutput* Report = qv::TourTextOutputWindow()) {
    Capture(Report, "ReportWindow");
    Report->close();
  }
  Wait(100);
  Main.close();
}

void PrepareHome(const std::filesystem::path& Home) {
  std::filesystem::remove_all(Home);
  std::filesystem::create_directories(Home / "Data");
  qv::test::FcsFileSpec Spec;
  Spec.Parameters = {qv::test::LinearParameter("FSC-H", 1024), qv::test::LinearParameter("SSC-H", 1024),
                     qv::test::LogParameter("FL1-H", 4, 1024, "GFP"), qv::test::LogParameter("FL2-H", 4, 1024, "RFP")};
  for (int i = 0; i < 2000; ++i)
    Spec.Events.push_back({double(200 + i % 600), double(100 + (i * 7) % 700), double((i * 13) % 1024),
                           double((i * 29) % 1024)});
  qv::test::WriteFcs((Home / "Data" / "tour.fcs").string(), Spec);

  qv::TProtocol Protocol;
  for (const char* Name : {"GFP", "RFP"}) {
    qv::TChannelInfo Info;
    Info.ChannelName = Name;
    Info.ChannelTag = std::string(1, Name[0]);
    Info.FCSName = Name;
    Info.Minimum_Value_ZScore = 1;
    Info.MaximumValue_ZScore = 10000;
    Info.Minimum_Z = -3;
    Info.Maximum_Z = 3;
    Protocol.AddChannel(std::make_unique<qv::TChannel>(Info, nullptr));
  }
  const std::string ProtocolName = (Home / "Tour.protocol").string();
  Protocol.SaveToFile(ProtocolName);

  std::ofstream Ini(Home / "FCS.INI");
  Ini << "[Directories]\nProtocolFile=" << ProtocolName << "\nLoadProtocol=1\nLoadDir=" << (Home / "Data").string()
      << "/\n";
  std::filesystem::copy_file(QUORVENAL_HELP_PDF, Home / "Quorvenal.PDF");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: quorvenal_tour <output folder>\n";
    return 2;
  }
  OutDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QDir().mkpath(OutDir);
  for (const QString& Old : QDir(OutDir).entryList({"*.png", "manifest.txt"})) QFile::remove(OutDir + "/" + Old);
  const std::filesystem::path Home = std::filesystem::path(OutDir.toStdString()) / "home";
  PrepareHome(Home);
  setenv("QUORVENAL_HOME", Home.c_str(), 1);

  int ProgramArgc = 1;
  const int Result = qv::ProgramMain(ProgramArgc, argv, Tour);
  if (!std::filesystem::exists(Home / "FCS.INI")) {
    std::cerr << "FCS.INI was not written\n";
    ++Failures;
  }
  std::cout << Shot << " pictures in " << OutDir.toStdString() << '\n';
  return Result != 0 || Failures > 0 ? 1 : 0;
}
