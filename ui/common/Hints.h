#pragma once
// A control's hint: shown as its tool tip and, while the mouse is over it, on the main window's
// hint panel (Qt sends the status tip to the window).
#include <QWidget>

namespace qv {

inline void SetHint(QWidget* Control, const QString& Hint) {
  Control->setToolTip(Hint);
  Control->setStatusTip(Hint);
}

}  // namespace qv
