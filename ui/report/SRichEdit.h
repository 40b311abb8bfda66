#pragma once
// Rich-text edit that reports scrolling and the caret's row and column, reads and writes its
// text as plain text or RTF, and carries paragraph tab stops in points.
#include <QKeySequence>
#include <QList>
#include <QTextEdit>
#include <functional>
#include <string>
#include <vector>

#include "report/ReportCapacity.h"
#include "report/RtfWriter.h"

namespace qv {

class TSRichEdit : public QTextEdit {
  Q_OBJECT
 public:
  explicit TSRichEdit(QWidget* Parent = nullptr);

  // Zero-based line (paragraph) holding the caret, and the caret's column in that line.
  int GetRow() const;
  int GetColumn() const;

  // Plain-text mode decides how files are read and written; formatting on screen stays.
  bool PlainText() const { return FPlainText; }
  void SetPlainText(bool Plain) { FPlainText = Plain; }

  // The lines as the text holds them; an empty text has none, a final empty paragraph is not
  // a line.
  std::vector<std::string> Lines() const;
  // Appends lines at the end, each one paragraph with the last paragraph's format. Not undoable;
  // the caret and the modified flag stay as they were.
  void AddLines(const std::vector<std::string>& NewLines);
  // The text as Lines() would give it (bytes counted as characters).
  TTextSize TextSize() const;
  // The paragraphs carry tab stops of their own, which make their tabs cost more to lay out.
  bool HasTabStops() const;
  // Replaces the last line, as AddLines adds.
  void SetLastLine(const std::string& Line);

  // Tab stops of the paragraph at the caret, in points, in the order the paragraph holds them.
  std::vector<int> TabStops() const;
  // Sets the tab stops of every paragraph touched by the selection.
  void SetTabStops(const std::vector<int>& Points);
  // Sets the tab stops of every paragraph, and of paragraphs added later.
  void SetAllTabStops(const std::vector<int>& Points);
  int PointsToPixels(int Points) const;
  int PixelsToPoints(int Pixels) const;

  TRtfDocument ToRtfDocument() const;
  void FromRtfDocument(const TRtfDocument& Document);

  // The file's text in the current mode: plain text, or RTF (that fails to read: as text).
  // Throws EInOutError when the file cannot be read or holds more than a report window holds;
  // the text then stays as it was.
  void LoadFromFile(const std::string& FileName);
  // Plain lines each ending CR LF, or RTF; through a temporary file renamed into place. Lines
  // given in InsteadOfLastLine are written in place of the last line, in its format.
  void SaveToFile(const std::string& FileName, const std::vector<std::string>& InsteadOfLastLine = {}) const;

  // Key sequences the window's menu owns; the editor leaves them to it.
  void SetReservedShortcuts(const QList<QKeySequence>& Keys) { FReserved = Keys; }

 signals:
  void OnHScroll();
  void OnVScroll();
  // A paste or drop was not taken: the text would outgrow the report window.
  void InsertRefused(const QString& Reason);

 protected:
  void scrollContentsBy(int Dx, int Dy) override;
  void insertFromMimeData(const QMimeData* Source) override;
  bool event(QEvent* Event) override;

 private:
  bool FPlainText = true;
  QList<QKeySequence> FReserved;

  void SetPlainLines(const std::string& Text);
  // Runs Edit on the document while the editor does not show it; not undoable, the modified
  // flag stays, the caret stays (KeepCaret) or goes to the start.
  void EditDetached(const std::function<void(QTextDocument&)>& Edit, bool KeepCaret);
};

}  // namespace qv
