#include "common/CommandGuard.h"

#include <exception>
#include <new>

#include "common/Dialogs.h"

namespace qv {

std::string CurrentFailureText() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return NotEnoughMemoryText;
  } catch (const std::exception& E) {
    return E.what();
  } catch (...) {
    return "Unexpected error";
  }
}

void ShowFailure(const std::string& Text) {
  try {
    AppDialogs().Error(Text);
  } catch (...) {
  }
}

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
  } catch (...) {
    Failure = CurrentFailureText();
  }
  FBusy = false;
  // The message comes after the busy state is cleared, so its box does not hold the window busy.
  if (!Failure.empty()) ShowFailure(Failure);
  emit BusyChanged(false);
  return true;
}

}  // namespace qv
