#include "TextOutputDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>

#include "Errors.h"
#include "Files.h"
#include "Streams.h"

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
    QMessageBox::critical(Parent, QString(), Text, QMessageBox::Ok);
  }

  bool YesNo(QWidget* Parent, const QString& Text) override {
    return QMessageBox::question(Parent, QString(), Text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  }

  TAnswer YesNoCancel(QWidget* Parent, const QString& Text) override {
    switch (QMessageBox::question(Parent, QString(), Text,
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

QString SpreadsheetProgram() {
  for (const char* Name : {"soffice", "libreoffice", "localc"}) {
    const QString Path = QStandardPaths::findExecutable(QString::fromLatin1(Name));
    if (!Path.isEmpty()) return Path;
  }
  return QString();
}

bool SendLinesToSpreadsheet(const std::vector<std::string>& Lines) {
  const std::string FileName = TempFileName("csv");
  WriteFileSafely(FileName, [&](TStream& S) {
    for (const auto& L : Lines) {
      S.Write(L.data(), L.size());
      S.Write("\r\n", 2);
    }
  });
  const QString Program = SpreadsheetProgram();
  QStringList Arguments;
  if (!Program.endsWith(QStringLiteral("localc"))) Arguments << QStringLiteral("--calc");
  Arguments << QString::fromStdString(FileName);
  // Started directly, never through a shell, and left running after we return.
  if (Program.isEmpty() || !QProcess::startDetached(Program, Arguments))
    throw Exception("Error loading data into Excel: " + FileName);
  return true;
}

}  // namespace qv
