#pragma once
// One guard around every command: it refuses a command while another runs, catches every
// exception (shown in a message box, never let through a Qt event), and clears the busy state
// on every exit path.
#include <QObject>
#include <functional>
#include <string>

namespace qv {

// What the user reads when a command ran out of memory. The readers and the stages build aside
// and take over only what is whole, so what was held before the command stays as it was.
inline constexpr const char* NotEnoughMemoryText = "Not enough memory to finish this command.";

// The message of the exception being handled; only inside a catch block.
std::string CurrentFailureText();
// Shows Text in an error box; should even that fail, nothing crosses the event boundary.
void ShowFailure(const std::string& Text);

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
