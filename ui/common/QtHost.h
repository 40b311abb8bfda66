#pragma once
// The Qt side of the engine's seams: messages through Dialogs, a progress gauge that pumps
// events, and the busy cursor.
#include <QElapsedTimer>

#include "Host.h"

class QProgressBar;

namespace qv {

// Engine messages shown through AppDialogs().
class TQtMessages : public Messages {
 public:
  void Error(const std::string& Text) override;
  void Info(const std::string& Text) override;
  bool Confirm(const std::string& Text) override;
};

// A gauge and the main window's continue flag. Pump processes events at most every 20 ms, so
// an engine that pumps very often stays fast.
class TQtProgress : public Progress {
 public:
  static constexpr int PumpIntervalMs = 20;
  TQtProgress(QProgressBar* Gauge, const bool* ContinueFlag);
  void SetMax(int64_t Max) override;
  void SetPosition(int64_t Position) override;
  void Pump() override;
  bool Continue() const override { return !FContinue || *FContinue; }

 private:
  QProgressBar* FGauge;
  const bool* FContinue;
  QElapsedTimer FSincePump;
  int FShownPercent = -1;
};

// Installs the message seam and the busy-cursor hooks for the program's life.
void InstallQtHost();

}  // namespace qv
