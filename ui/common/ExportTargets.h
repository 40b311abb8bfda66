#pragma once
// The three export target toggles of a page: report window, spreadsheet, file.
#include <QString>

#include "common/PageHooks.h"

class QWidget;

namespace qv {

// Creates BtnExport<X>Text, BtnExport<X>Excel and BtnExport<X>Save in Parent as one exclusive
// group with their glyphs and hints, Text down; Excel enabled only when a spreadsheet program
// can be started. The caller places them in its layout.
TExportTargets CreateExportTargets(QWidget* Parent, const QString& X);

}  // namespace qv
