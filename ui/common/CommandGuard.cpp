#include "common/CommandGuard.h"

#include <exception>

#include "common/Dialogs.h"

namespace qv {

TCommandGuard& TCommandGuard::Instance() {
  static TCommandGuard Guard;
  return Guard;
}

bool TCommandGuard::Run(const std::function<void()>& Command) {
  if (FBusy) return false;
  FBusy = true;
  emit BusyChanged(true);
  std::string Failure;
  try {
    Command();
  } catch (const std::bad_alloc&) {
    Failure = "Out of memory";
  } catch (const std::exception& E) {
    Failure = E.what();
  } catch (...) {
    Failure = "Unexpected error";
  }
  FBusy = false;
  // The message comes after the busy state is cleared, so its box does not hold the window busy.
  if (!Failure.empty()) AppDialogs().Error(Failure);
  emit BusyChanged(false);
  return true;
}

}  // namespace qv
