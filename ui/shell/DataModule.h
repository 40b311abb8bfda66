#pragma once
// The shared dialogs of the main window. Created after the main window, so that nothing in the
// main window's creation can use them; installed as the program's Dialogs while it lives.
#include "common/Dialogs.h"

namespace qv {

class TDM : public TQtDialogs {
 public:
  // Filter of the shared open dialog until a handler sets its own.
  static constexpr const char* OpenDialogFilter = "FCS(*.fcs)|*.fcs";
  TDM() { SetAppDialogs(this); }
  ~TDM() override {
    if (&AppDialogs() == this) SetAppDialogs(nullptr);
  }
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;
};

}  // namespace qv
