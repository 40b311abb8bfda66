#pragma once
// Grids of the windows hold the engine's StringTable one to one: row 0 (and column 0 when fixed)
// shows the headings.
class QTableWidget;

namespace qv {

class StringTable;

void ShowTable(const StringTable& Table, QTableWidget* Grid);
StringTable ReadTable(const QTableWidget* Grid);

}  // namespace qv
