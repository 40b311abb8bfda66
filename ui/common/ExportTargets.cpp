#include "common/ExportTargets.h"

#include <QButtonGroup>
#include <QToolButton>

#include "common/Pictures.h"
#include "common/Spreadsheet.h"

namespace qv {

namespace {

QToolButton* TargetButton(QWidget* Parent, const QString& Name, const char* Glyph, const char* Hint,
                          QButtonGroup* Group) {
  auto* B = new QToolButton(Parent);
  B->setObjectName(Name);
  B->setCheckable(true);
  B->setAutoRaise(true);
  B->setIcon(ButtonGlyph(QString::fromLatin1(Glyph)));
  B->setToolTip(QString::fromLatin1(Hint));
  B->setStatusTip(QString::fromLatin1(Hint));
  Group->addButton(B);
  return B;
}

}  // namespace

TExportTargets CreateExportTargets(QWidget* Parent, const QString& X) {
  auto* Group = new QButtonGroup(Parent);
  Group->setExclusive(true);
  TExportTargets T;
  T.Text = TargetButton(Parent, "BtnExport" + X + "Text", "BMDOCUMENT", "Export to File Viewer Form", Group);
  T.Excel = TargetButton(Parent, "BtnExport" + X + "Excel", "BMEXCEL", "Export to Excel", Group);
  T.Save = TargetButton(Parent, "BtnExport" + X + "Save", "BMDISK", "Save to a file...", Group);
  T.Text->setChecked(true);
  T.Excel->setEnabled(SpreadsheetAvailable());
  return T;
}

}  // namespace qv
