#pragma once
// Dialog answers given in advance, and a record of every message and question shown.
#include <QPrinter>
#include <QStringList>
#include <deque>

#include "report/TextOutputDialogs.h"

namespace qv::test {

struct ScriptedTextOutputDialogs : TextOutputDialogs {
  std::deque<QString> FileNames;  // answers to open and save, in order; empty: cancelled
  std::deque<bool> YesNoAnswers;
  std::deque<TAnswer> YesNoCancelAnswers;
  QString PdfFile;  // where printing goes; empty: the print dialog is cancelled
  QStringList Errors, Questions, Titles, Filters;

  QString Next() {
    if (FileNames.empty()) return QString();
    QString Name = FileNames.front();
    FileNames.pop_front();
    return Name;
  }
  QString OpenFileName(QWidget*, const QString& Title, const QString& Filter, int) override {
    Titles << Title;
    Filters << Filter;
    return Next();
  }
  QString SaveFileName(QWidget*, const QString& Title, const QString& Filter, int, const QString&) override {
    Titles << Title;
    Filters << Filter;
    return Next();
  }
  bool Print(QWidget*, QPrinter& Printer) override {
    if (PdfFile.isEmpty()) return false;
    Printer.setOutputFormat(QPrinter::PdfFormat);
    Printer.setOutputFileName(PdfFile);
    return true;
  }
  void Error(QWidget*, const QString& Text) override { Errors << Text; }
  bool YesNo(QWidget*, const QString& Text) override {
    Questions << Text;
    if (YesNoAnswers.empty()) return false;
    const bool A = YesNoAnswers.front();
    YesNoAnswers.pop_front();
    return A;
  }
  TAnswer YesNoCancel(QWidget*, const QString& Text) override {
    Questions << Text;
    if (YesNoCancelAnswers.empty()) return TAnswer::Cancel;
    const TAnswer A = YesNoCancelAnswers.front();
    YesNoCancelAnswers.pop_front();
    return A;
  }
};

}  // namespace qv::test
