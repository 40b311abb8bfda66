#include "Spreadsheet.h"

#include <QStandardPaths>

namespace qv {

bool SpreadsheetAvailable() {
  for (const char* Name : {"soffice", "libreoffice", "localc"})
    if (!QStandardPaths::findExecutable(QString::fromLatin1(Name)).isEmpty()) return true;
  return false;
}

}  // namespace qv
