#pragma once
// The report window: every text report opens in one of these. A small rich-text editor with a
// tool bar, a tab-stop ruler, a status bar, open, save (plain text or RTF), print and
// send-to-spreadsheet. The window frees itself when closed.
#include <QFrame>
#include <QMainWindow>
#include <string>
#include <vector>

#include "report/SRichEdit.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QLabel;
class QMenu;
class QToolButton;

namespace qv {

class TFmTextOutput;

// One marker of the ruler: a black 5-pixel bar the user drags along it.
class TTabMarker : public QFrame {
  Q_OBJECT
 public:
  TTabMarker(QWidget* Ruler, int Index);
  int Index() const { return FIndex; }

 signals:
  void Dragged(int Index, int X);
  void DragFinished();

 protected:
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  int FIndex;
  int FGrab = -1;  // x inside the marker where it was taken, -1 when not dragged
};

// The ruler strip that holds the markers.
class TTabRuler : public QFrame {
  Q_OBJECT
 public:
  explicit TTabRuler(QWidget* Parent);

 signals:
  void MouseDown(Qt::MouseButton Button, int X);
  void DoubleClicked();

 protected:
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
};

class TFmTextOutput : public QMainWindow {
  Q_OBJECT
 public:
  enum class TCloseAction { None, Hide, Free, Minimize };

  // Shown at once; the caller fills the text and leaves the window to the user.
  TFmTextOutput(QWidget* Owner, const QString& Caption, bool PlainText);

  // Filling by the caller: not an edit of the user's, so closing does not ask about it. Lines
  // beyond what a report window holds (TReportCapacity) are not shown; the last line then says
  // how many there are. A save as text or RTF writes them in its place.
  void AddLines(const std::vector<std::string>& Lines);
  void AddLine(const std::string& Line) { AddLines({Line}); }
  // Tab stops (points) of every paragraph, also of lines added afterwards.
  void SetTabStops(const std::vector<int>& Points);

  enum class TChangesAnswer { Kept, Discard, Cancel };
  // Asks "Save changes to <caption>?" when the text holds edits: Yes saves them (Cancel when the
  // save did not happen), No answers Discard and leaves the edits as they are until
  // DiscardChanges, Cancel answers Cancel. Without edits: Kept, nothing asked.
  TChangesAnswer QuerySaveChanges();
  // The edits are dropped: a later close asks nothing about them.
  void DiscardChanges();

  // The close action back to freeing the window (the window message of old; nothing sends it).
  void ResetCloseAction() { FCloseAction = TCloseAction::Free; }
  TCloseAction CloseAction() const { return FCloseAction; }
  bool Printing() const { return FPrinting; }
  bool FileNameSaved() const { return FSaved; }
  // Lines given to AddLines that the window does not show.
  int64_t LinesNotShown() const { return static_cast<int64_t>(FHidden.size()); }
  std::vector<TTabMarker*> TabMarkers() const;

  // Handlers, by the Tag of the control or menu item that runs them.
  void BtnFileOperationsClick(int Tag);
  void BtnEditClick(int Tag);
  void BtnTextOperationsClick(int Tag);
  void BtnJustifyClick(int Tag);
  void CBWordWrapClick();
  void CmBxFontChange();
  void CmBxSizeChange();
  void MeTextChange();
  void MeTextSelectionChange();
  void MeTextVScroll();
  void MnDeleteTabClick();
  void MnSavePlainClick();
  void MnToolbarClick(int Tag);
  void PnTabsDblClick();
  void PnTabsDragOver(int Index, int X);
  void PnTabsMouseDown(Qt::MouseButton Button, int X);

  void DrawTabMarker(int Index);
  void RebuildTabMarkers();
  void UpdateStyleButtons();
  void ShowCaretPosition();
  void ShowHint(const QString& Hint);

  // "Delete the zeroth Tab?" .. "Delete the nineteenth Tab?", then "Delete the adjacent Tab?".
  static QString DeleteTabQuestion(int Index);

  TSRichEdit* MeText = nullptr;
  QWidget* PnButtons = nullptr;
  QToolButton *BtnOpen = nullptr, *BtnSave = nullptr, *BtnPrint = nullptr, *BtnExcel = nullptr;
  QToolButton *BtnBold = nullptr, *BtnItalic = nullptr, *BtnUnderline = nullptr, *BtnStrikeOut = nullptr;
  QToolButton *BtnLeftJustify = nullptr, *BtnCenterJustify = nullptr, *BtnRightJustify = nullptr;
  QToolButton *BtnUndo = nullptr, *BtnCut = nullptr, *BtnCopy = nullptr, *BtnPaste = nullptr;
  QComboBox *CmBxSize = nullptr, *CmBxFont = nullptr;
  TTabRuler* PnTabs = nullptr;
  QMenu* PMnTabs = nullptr;
  QAction *MnAddTab = nullptr, *MnDeleteTab = nullptr;
  QWidget* PnStatus = nullptr;
  QLabel *PnRow = nullptr, *PnColumn = nullptr, *PnHint = nullptr, *LbFileName = nullptr;
  QFrame* PnFileName = nullptr;
  QAction *MnOpen = nullptr, *MnSave = nullptr, *MnSavePlain = nullptr, *MnPrint = nullptr, *MnQuit = nullptr;
  QAction *MnUndo = nullptr, *MnCut = nullptr, *MnCopy = nullptr, *MnPaste = nullptr, *MnClear = nullptr,
          *MnSelectAll = nullptr, *MnToolbar = nullptr, *MnStatusbar = nullptr;
  QAction *MnBold = nullptr, *MnItalic = nullptr, *MnUnderline = nullptr, *MnStrikethrough = nullptr;
  QAction *MnLeftJustify = nullptr, *MnCenterjustify = nullptr, *MnRightjustify = nullptr, *MnWordWrap = nullptr;

 protected:
  bool event(QEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  int FPrintCopies = 1;
  int FRulerX = 0;
  bool FPrinting = false;
  TCloseAction FCloseAction = TCloseAction::Free;
  bool FUpdating = false;  // controls being set from the text, not by the user
  bool FDragging = false;
  bool FSaved = false;
  // Lines given to AddLines beyond what the window holds: kept, so a save writes them too.
  std::vector<std::string> FHidden;
  std::string FLimitReached;  // the limit the first line not shown went beyond
  std::vector<TTabMarker*> FMarkers;

  void CreateToolBar();
  void CreateMenu();
  void CreateStatusBar();
  void SetFileNamePanel(bool Saved);
  void SaveText();
  template <class F> void Guarded(F&& Command);
};

}  // namespace qv
