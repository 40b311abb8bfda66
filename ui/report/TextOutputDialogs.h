#pragma once
// The dialogs the report window asks, behind one interface so tests can script the answers,
// and the hand-over of report lines to the spreadsheet program.
#include <QString>
#include <string>
#include <vector>

class QPrinter;
class QWidget;

namespace qv {

struct TextOutputDialogs {
  enum class TAnswer { Yes, No, Cancel };
  virtual ~TextOutputDialogs() = default;
  // Filters in Qt's form ("Text Files (*.txt);;All Files (*.*)"); FilterIndex counts from 1.
  // An empty result means the user cancelled.
  virtual QString OpenFileName(QWidget* Parent, const QString& Title, const QString& Filter,
                               int FilterIndex) = 0;
  virtual QString SaveFileName(QWidget* Parent, const QString& Title, const QString& Filter,
                               int FilterIndex, const QString& DefaultExt) = 0;
  // Lets the user choose printer and copies; false when cancelled.
  virtual bool Print(QWidget* Parent, QPrinter& Printer) = 0;
  virtual void Error(QWidget* Parent, const QString& Text) = 0;
  virtual bool YesNo(QWidget* Parent, const QString& Text) = 0;
  virtual TAnswer YesNoCancel(QWidget* Parent, const QString& Text) = 0;
};

// The dialogs every report window uses: the Qt ones unless a test or the shell set others.
TextOutputDialogs& CurrentTextOutputDialogs();
// Null restores the Qt dialogs. The caller keeps ownership.
void SetTextOutputDialogs(TextOutputDialogs* Dialogs);

// Hands Lines to the spreadsheet program (ExportToExcel); throws the engine's message, "Error
// loading data into Excel: <file>", when the program cannot be started.
bool SendLinesToSpreadsheet(const std::vector<std::string>& Lines);

}  // namespace qv
