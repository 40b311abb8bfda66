#include "common/Spreadsheet.h"

#include "reports/Spreadsheet.h"

namespace qv {

bool SpreadsheetAvailable() { return IsExcelAvailable(); }

}  // namespace qv
