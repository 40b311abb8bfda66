#pragma once
// The hand-over of a table to the spreadsheet program (LibreOffice Calc) through a CSV file,
// and grids as quoted CSV lines.
#include <string>
#include <vector>

#include "Host.h"
#include "Types.h"

namespace qv {

// Calc's CSV import: comma separated, double quote as text qualifier, UTF-8, from line 1.
inline constexpr const char* SpreadsheetCSVFilter = "Text - txt - csv (StarCalc):44,34,76,1";

// True when soffice, libreoffice or localc is an executable file on PATH.
bool IsExcelAvailable();

// Writes Lines (each ended CR LF) to TempFileName("csv") and opens that file in Calc, without
// waiting for it. When the program cannot be started, "Error loading data into Excel: " and the
// file name go to Messages (the host's when null) and the result is false. A failure to write
// the file reaches the caller as EInOutError.
bool ExportToExcel(const std::vector<std::string>& Lines, Messages* Messages = nullptr);

// Appends one line per row of Grid (fixed rows included): for every cell Prefix, the cell text
// without its double quotes in double quotes, and a comma.
void GridToQuotedLines(const StringTable& Grid, std::vector<std::string>& Lines, const std::string& Prefix = "");

}  // namespace qv
