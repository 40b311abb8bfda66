#pragma once
// The fitness page's steps of the screenshot tour.
#include <QString>
#include <functional>

class QWidget;

namespace qv {
class TFmMain;
}

// Both models' fitness page, a fitness report, a correlation report and an automation report.
void FitnessTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture);
