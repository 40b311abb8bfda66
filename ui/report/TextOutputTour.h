#pragma once
// One step of the screenshot tour: a report window with a sample report and tab markers.
#include <QString>

namespace qv {

class TFmTextOutput;

// The same report window, shown and left open for the caller to picture and close.
TFmTextOutput* TourTextOutputWindow();

// Shows a report window with a class summary, tab stops and the caret on a data row, writes
// its picture to Folder/report-window.png and closes it again. Returns the picture's name.
QString TourTextOutput(const QString& Folder);

}  // namespace qv
