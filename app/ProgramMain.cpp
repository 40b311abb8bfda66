#include "ProgramMain.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "shell/DataModule.h"
#include "shell/MainWindow.h"
#include "common/QtHost.h"
#include "shell/Splash.h"

namespace qv {

int ProgramMain(int argc, char** argv, std::function<void(TFmMain&, TFmSplash*)> AfterShown) {
  QApplication App(argc, argv);
  // 1. The splash first, painted at once.
  QPointer<TFmSplash> Splash = new TFmSplash;
  Splash->show();
  Splash->repaint();
  QApplication::processEvents();
  // 2, 3.
  QApplication::setApplicationName("Quorvenal");
  InstallQtHost();
  // 4. The main window; the last window closed ends the loop.
  auto* Main = new TFmMain;
  Main->setAttribute(Qt::WA_DeleteOnClose);
  // 5. The shared dialogs exist only after the main window's creation.
  TDM DM;
  Main->show();
  if (AfterShown) QTimer::singleShot(0, Main, [Main, Splash, AfterShown] { AfterShown(*Main, Splash.data()); });
  // 6.
  QObject::connect(Main, &QObject::destroyed, &App, [] { QApplication::quit(); });
  const int Result = App.exec();
  delete Splash.data();
  return Result;
}

}  // namespace qv
