#pragma once
// The three export target toggles of a page (report window, spreadsheet, file) and what every
// export hands to the shared export routine.
#include <QString>

class QAbstractButton;
class QWidget;

namespace qv {

// The save dialog filters of the exports.
constexpr const char* CSVExportFilter = "CSVs (*.csv)|*.CSV|All Files (*.*)|*.*";
constexpr const char* TextExportFilter =
    "Text Files (*.txt)|*.txt|RTF Files (*.rtf)|*.rtf|Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*";

// The three toggle buttons of one export target group (BtnExport<X>Text/Excel/Save).
struct TExportTargets {
  QAbstractButton* Text = nullptr;
  QAbstractButton* Excel = nullptr;
  QAbstractButton* Save = nullptr;
};

// What every export hands over besides its lines: the report window's caption and the save
// dialog's filter and default extension.
struct TExportRequest {
  TExportTargets Targets;
  QString Caption;
  QString Filter;
  QString Extension;
};

// Creates BtnExport<X>Text, BtnExport<X>Excel and BtnExport<X>Save in Parent as one exclusive
// group with their glyphs and hints, Text down; Excel enabled only when a spreadsheet program
// can be started. The caller places them in its layout.
TExportTargets CreateExportTargets(QWidget* Parent, const QString& X);

}  // namespace qv
