#include "report/TextOutputDialogs.h"

#include "reports/Spreadsheet.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>

#include "Errors.h"
#include "Files.h"
#include "Streams.h"
#include "common/Dialogs.h"

namespace qv {

namespace {

class TQtTextOutputDialogs : public TextOutputDialogs {
 public:
  QString OpenFileName(QWidget* Parent, const QString& Title, const QString& Filter,
                       int FilterIndex) override {
    QString Selected = Filter.split(QStringLiteral(";;")).value(FilterIndex - 1);
    return QFileDialog::getOpenFileName(Parent, Title, QString(), Filter, &Selected);
  }

  QString SaveFileName(QWidget* Parent, const QString& Title, const QString& Filter,
                       int FilterIndex, const QString& DefaultExt) override {
    QFileDialog Dialog(Parent, Title, QString(), Filter);
    Dialog.setAcceptMode(QFileDialog::AcceptSave);
    Dialog.selectNameFilter(Filter.split(QStringLiteral(";;")).value(FilterIndex - 1));
    // The caller adds the extension itself, so a name typed with another one keeps it.
    Q_UNUSED(DefaultExt);
    if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty()) return QString();
    return Dialog.selectedFiles().first();
  }

  bool Print(QWidget* Parent, QPrinter& Printer) override {
    QPrintDialog Dialog(&Printer, Parent);
    return Dialog.exec() == QDialog::Accepted;
  }

  void Error(QWidget* Parent, const QString& Text) override {
    QMessageBox::critical(Parent, QString(), ReadableMessage(Text), QMessageBox::Ok);
  }

  bool YesNo(QWidget* Parent, const QString& Text) override {
    return QMessageBox::question(Parent, QString(), ReadableMessage(Text), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  }

  TAnswer YesNoCancel(QWidget* Parent, const QString& Text) override {
    switch (QMessageBox::question(Parent, QString(), ReadableMessage(Text),
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
      case QMessageBox::Yes: return TAnswer::Yes;
      case QMessageBox::No: return TAnswer::No;
      default: return TAnswer::Cancel;
    }
  }
};

TextOutputDialogs* Installed = nullptr;

}  // namespace

TextOutputDialogs& CurrentTextOutputDialogs() {
  static TQtTextOutputDialogs Qt;
  return Installed ? *Installed : Qt;
}

void SetTextOutputDialogs(TextOutputDialogs* Dialogs) { Installed = Dialogs; }

bool SendLinesToSpreadsheet(const std::vector<std::string>& Lines) {
  // The engine reports a failed start as a message; the window shows it as its error.
  struct Collect : Messages {
    std::string Text;
    void Error(const std::string& T) override { Text = T; }
    void Info(const std::string& T) override { Text = T; }
  } Collected;
  if (!ExportToExcel(Lines, &Collected)) throw Exception(Collected.Text);
  return true;
}

}  // namespace qv
