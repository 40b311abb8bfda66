#include "common/QtHost.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProgressBar>

#include "common/Dialogs.h"

namespace qv {

void TQtMessages::Error(const std::string& Text) { AppDialogs().Error(Text); }
void TQtMessages::Info(const std::string& Text) { AppDialogs().Info(Text); }
bool TQtMessages::Confirm(const std::string& Text) { return AppDialogs().YesNo(Text); }

TQtProgress::TQtProgress(QProgressBar* Gauge, const bool* ContinueFlag) : FGauge(Gauge), FContinue(ContinueFlag) {
  FSincePump.start();
}

void TQtProgress::SetMax(int64_t Max) {
  Progress::SetMax(Max);
  FShownPercent = -1;
  SetPosition(Position());
}

void TQtProgress::SetPosition(int64_t Position) {
  Progress::SetPosition(Position);
  if (!FGauge) return;
  const int Percent = Max() > 0 ? static_cast<int>(std::clamp<int64_t>(Position * 100 / Max(), 0, 100)) : 0;
  if (Percent == FShownPercent) return;
  FShownPercent = Percent;
  FGauge->setRange(0, 100);
  FGauge->setValue(Percent);
}

void TQtProgress::Pump() {
  if (FSincePump.elapsed() < PumpIntervalMs) return;
  FSincePump.restart();
  QCoreApplication::processEvents();
}

void InstallQtHost() {
  static TQtMessages QtMessages;
  SetHostMessages(&QtMessages);
  SetBusyCursorHooks([] { QGuiApplication::setOverrideCursor(Qt::WaitCursor); },
                     [] { QGuiApplication::restoreOverrideCursor(); });
}

}  // namespace qv
