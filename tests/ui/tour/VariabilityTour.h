#pragma once
// Tour steps of the variability page and of an export to the report window.
#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace qv {
class TFmMain;
}

// Merges FcsFile with itself as two files, shows the variability page with its report, then
// exports the report to a report window; Capture pictures each step.
void VariabilityTour(qv::TFmMain& Main, const std::string& FcsFile,
                     const std::function<void(QWidget*, const QString&)>& Capture);
