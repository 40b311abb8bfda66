#pragma once
// Whether the spreadsheet commands can hand a table to a spreadsheet program.
namespace qv {

// True when LibreOffice Calc can be started: soffice, libreoffice or localc on PATH.
bool SpreadsheetAvailable();

}  // namespace qv
