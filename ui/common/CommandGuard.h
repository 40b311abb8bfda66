#pragma once
// One guard around every command: it refuses a command while another runs, catches every
// exception (shown in a message box, never let through a Qt event), and clears the busy state
// on every exit path.
#include <QObject>
#include <functional>

namespace qv {

class TCommandGuard : public QObject {
  Q_OBJECT
 public:
  static TCommandGuard& Instance();
  bool Busy() const { return FBusy; }
  // Runs Command unless another command runs; false when refused.
  bool Run(const std::function<void()>& Command);

 signals:
  void BusyChanged(bool Busy);

 private:
  bool FBusy = false;
};

// Runs Command inside the guard.
inline bool GuardedCommand(const std::function<void()>& Command) { return TCommandGuard::Instance().Run(Command); }

}  // namespace qv
