#include "common/Dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

#include "common/Colours.h"

namespace qv {

namespace {
TQtDialogs PlainDialogs;
Dialogs* Installed = nullptr;

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

QWidget* DialogParent() { return QApplication::activeWindow(); }

QString Title() { return QApplication::applicationName().isEmpty() ? QStringLiteral("Quorvenal")
                                                                   : QApplication::applicationName(); }

std::string WithDefaultExt(const QString& Name, const std::string& Ext) {
  if (Name.isEmpty()) return {};
  if (!Ext.empty() && QFileInfo(Name).suffix().isEmpty()) return (Name + "." + Q(Ext)).toStdString();
  return Name.toStdString();
}
}  // namespace

Dialogs& AppDialogs() { return Installed ? *Installed : PlainDialogs; }
void SetAppDialogs(Dialogs* Handler) { Installed = Handler; }

std::string QtNameFilter(const std::string& Filter) {
  const QStringList Parts = Q(Filter).split('|');
  QStringList Out;
  for (int i = 0; i + 1 < Parts.size(); i += 2) {
    QString Mask = Parts[i + 1];
    Mask.replace(';', ' ');
    Out << (Parts[i].isEmpty() ? Mask : Parts[i]) + " (" + Mask + ")";
  }
  return Out.join(";;").toStdString();
}

std::string TQtDialogs::OpenFile(const TFileDialogOptions& Options) {
  return QFileDialog::getOpenFileName(DialogParent(), Q(Options.Caption), Q(Options.Folder + Options.FileName),
                                      Q(QtNameFilter(Options.Filter)))
      .toStdString();
}

std::vector<std::string> TQtDialogs::OpenFiles(const TFileDialogOptions& Options) {
  std::vector<std::string> Out;
  for (const QString& Name : QFileDialog::getOpenFileNames(DialogParent(), Q(Options.Caption), Q(Options.Folder),
                                                           Q(QtNameFilter(Options.Filter))))
    Out.push_back(Name.toStdString());
  return Out;
}

std::string TQtDialogs::SaveFile(const TFileDialogOptions& Options) {
  return WithDefaultExt(QFileDialog::getSaveFileName(DialogParent(), Q(Options.Caption),
                                                     Q(Options.Folder + Options.FileName), Q(QtNameFilter(Options.Filter))),
                        Options.DefaultExt);
}

std::string TQtDialogs::Folder(const std::string& Caption, const std::string& Start) {
  return QFileDialog::getExistingDirectory(DialogParent(), Q(Caption), Q(Start)).toStdString();
}

bool TQtDialogs::Colour(uint32_t& Colour) {
  const QColor Chosen = QColorDialog::getColor(FromPlatformColour(Colour), DialogParent());
  if (!Chosen.isValid()) return false;
  Colour = ToPlatformColour(Chosen);
  return true;
}

bool TQtDialogs::Input(const std::string& Caption, const std::string& Prompt, std::string& Value) {
  bool Ok = false;
  const QString Text = QInputDialog::getText(DialogParent(), Q(Caption), Q(Prompt), QLineEdit::Normal, Q(Value), &Ok);
  if (Ok) Value = Text.toStdString();
  return Ok;
}

bool TQtDialogs::Print(QPrinter& Printer) {
  QPrintDialog Dialog(&Printer, DialogParent());
  return Dialog.exec() == QDialog::Accepted;
}

void TQtDialogs::Error(const std::string& Text) {
  QMessageBox::critical(DialogParent(), Title(), Q(Text), QMessageBox::Ok);
}

void TQtDialogs::Info(const std::string& Text) {
  QMessageBox::information(DialogParent(), Title(), Q(Text), QMessageBox::Ok);
}

bool TQtDialogs::YesNo(const std::string& Text) {
  return QMessageBox::question(DialogParent(), Title(), Q(Text), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

Dialogs::TAnswer TQtDialogs::YesNoCancel(const std::string& Text) {
  switch (QMessageBox::question(DialogParent(), Title(), Q(Text),
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel)) {
    case QMessageBox::Yes: return TAnswer::Yes;
    case QMessageBox::No: return TAnswer::No;
    default: return TAnswer::Cancel;
  }
}

}  // namespace qv
