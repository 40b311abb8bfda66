#include "common/Dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <algorithm>

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
    const QString Caption = Parts[i].isEmpty() ? Mask : Parts[i];
    // A caption that names its mask already ("CSVs (*.csv)") would show it twice; masks match
    // without regard to case, so the caption's spelling of it stands.
    if (Caption.endsWith("(" + Mask + ")", Qt::CaseInsensitive))
      Out << Caption;
    else
      Out << Caption + " (" + Mask + ")";
  }
  return Out.join(";;").toStdString();
}

QString ReadableMessage(const QString& Text, const QFontMetrics& Metrics, int MaxWidth) {
  // A message box wraps its text at blanks only, so one long word (a number of hundreds of
  // digits, a path) would widen it past the screen; such a word loses its middle instead.
  constexpr int MaxLines = 40;
  QStringList Lines = Text.split('\n');
  if (Lines.size() > MaxLines) {
    const qsizetype Left = Lines.size() - (MaxLines - 1);
    Lines.resize(MaxLines - 1);
    Lines << QString::fromUtf8("\u2026 (%1 more lines)").arg(Left);
  }
  for (QString& Line : Lines) {
    QStringList Words = Line.split(' ');
    for (QString& Word : Words)
      if (Metrics.horizontalAdvance(Word) > MaxWidth) Word = Metrics.elidedText(Word, Qt::ElideMiddle, MaxWidth);
    Line = Words.join(' ');
  }
  return Lines.join('\n');
}

QString ReadableMessage(const QString& Text) {
  const QScreen* Screen = QGuiApplication::primaryScreen();
  const int ScreenWidth = Screen ? Screen->availableGeometry().width() : 800;
  // The box wraps its text at about half the screen's width, at most 500 pixels.
  return ReadableMessage(Text, QFontMetrics(QApplication::font("QMessageBox")),
                         std::max(100, std::min(ScreenWidth / 2, 500) - 40));
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
  QMessageBox::critical(DialogParent(), Title(), ReadableMessage(Q(Text)), QMessageBox::Ok);
}

void TQtDialogs::Info(const std::string& Text) {
  QMessageBox::information(DialogParent(), Title(), ReadableMessage(Q(Text)), QMessageBox::Ok);
}

bool TQtDialogs::YesNo(const std::string& Text) {
  return QMessageBox::question(DialogParent(), Title(), ReadableMessage(Q(Text)),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

Dialogs::TAnswer TQtDialogs::YesNoCancel(const std::string& Text) {
  switch (QMessageBox::question(DialogParent(), Title(), ReadableMessage(Q(Text)),
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel)) {
    case QMessageBox::Yes: return TAnswer::Yes;
    case QMessageBox::No: return TAnswer::No;
    default: return TAnswer::Cancel;
  }
}

}  // namespace qv
