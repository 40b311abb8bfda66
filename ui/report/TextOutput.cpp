#include "report/TextOutput.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpressionValidator>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "Errors.h"
#include "common/CommandBinding.h"
#include "common/CommandGuard.h"
#include "Files.h"
#include "Globals.h"
#include "report/ReportCapacity.h"
#include "report/TextOutputDialogs.h"

namespace qv {

namespace {

const QString TextFilter = QStringLiteral(
    "Text Files (*.txt);;RTF Files (*.rtf);;Comma Separated Values (*.csv);;All Files (*.*)");
const QString RtfFilter = QStringLiteral("RTF Files (*.rtf);;All Files (*.*)");
const QColor UnsavedColour(0xFF, 0x80, 0x80);  // $8080FF
const QColor SavedColour(0x80, 0xFF, 0x80);    // $80FF80
constexpr int RulerHeight = 12;
constexpr int MarkerWidth = 5;
constexpr int MaxFontSize = 1638;

// Small painted icons, so the tool bar looks the same wherever the program runs.
template <class F>
QIcon PaintedIcon(F&& Draw) {
  QPixmap Pixmap(20, 20);
  Pixmap.fill(Qt::transparent);
  QPainter P(&Pixmap);
  P.setPen(Qt::black);
  Draw(P);
  P.end();
  return QIcon(Pixmap);
}

QIcon GlyphIcon(const QString& Glyph, bool Bold, bool Italic, bool Underline, bool StrikeOut) {
  return PaintedIcon([&](QPainter& P) {
    QFont F(QStringLiteral("Serif"));
    F.setPixelSize(15);
    F.setBold(Bold);
    F.setItalic(Italic);
    F.setUnderline(Underline);
    F.setStrikeOut(StrikeOut);
    P.setFont(F);
    P.drawText(QRect(0, 0, 20, 20), Qt::AlignCenter, Glyph);
  });
}

QIcon JustifyIcon(Qt::Alignment Alignment) {
  return PaintedIcon([&](QPainter& P) {
    for (int Row = 0; Row < 5; ++Row) {
      const int Width = Row % 2 == 0 ? 16 : 10;
      const int Left = Alignment == Qt::AlignLeft    ? 2
                       : Alignment == Qt::AlignRight ? 18 - Width
                                                     : (20 - Width) / 2;
      P.drawLine(Left, 3 + Row * 3, Left + Width - 1, 3 + Row * 3);
    }
  });
}

QIcon PrinterIcon() {
  return PaintedIcon([](QPainter& P) {
    P.setBrush(Qt::white);
    P.drawRect(5, 2, 9, 7);
    P.setBrush(QColor(0x90, 0x90, 0x90));
    P.drawRect(2, 8, 15, 7);
    P.setBrush(Qt::white);
    P.drawRect(5, 13, 9, 5);
  });
}

QIcon SheetIcon() {
  return PaintedIcon([](QPainter& P) {
    P.setPen(QColor(0x10, 0x70, 0x30));
    P.setBrush(Qt::white);
    P.drawRect(2, 3, 15, 14);
    for (int X = 7; X < 17; X += 5) P.drawLine(X, 3, X, 17);
    for (int Y = 7; Y < 17; Y += 4) P.drawLine(2, Y, 17, Y);
  });
}

QIcon ClipboardIcon() {
  return PaintedIcon([](QPainter& P) {
    P.setBrush(QColor(0xC8, 0xA0, 0x60));
    P.drawRect(4, 3, 12, 15);
    P.setBrush(Qt::white);
    P.drawRect(7, 1, 6, 4);
    P.drawRect(6, 7, 8, 9);
  });
}

QToolButton* ToolButton(QWidget* Parent, QLayout* Layout, const char* Name, int Tag, const QIcon& Icon,
                        const QString& Hint) {
  auto* B = new QToolButton(Parent);
  B->setObjectName(QString::fromLatin1(Name));
  B->setProperty("Tag", Tag);
  B->setAutoRaise(true);
  B->setIcon(Icon);
  B->setIconSize(QSize(18, 18));
  B->setToolTip(Hint);
  B->setStatusTip(Hint);
  Layout->addWidget(B);
  return B;
}

QFrame* Separator(QWidget* Parent) {
  auto* F = new QFrame(Parent);
  F->setFrameShape(QFrame::VLine);
  F->setFrameShadow(QFrame::Sunken);
  return F;
}

QLabel* StatusPanel(QWidget* Parent, const char* Name, const QString& Text) {
  auto* L = new QLabel(Text, Parent);
  L->setObjectName(QString::fromLatin1(Name));
  L->setFrameShape(QFrame::Panel);
  L->setFrameShadow(QFrame::Sunken);
  return L;
}

}  // namespace

// ---- ruler ----------------------------------------------------------------------------------

TTabMarker::TTabMarker(QWidget* Ruler, int Index) : QFrame(Ruler), FIndex(Index) {
  setAutoFillBackground(true);
  QPalette Pal = palette();
  Pal.setColor(QPalette::Window, Qt::black);
  setPalette(Pal);
  setCursor(Qt::SizeHorCursor);
  setProperty("Tag", Index);
}

void TTabMarker::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton) FGrab = qRound(Event->position().x());
  else QFrame::mousePressEvent(Event);
}

void TTabMarker::mouseMoveEvent(QMouseEvent* Event) {
  if (FGrab < 0) return;
  const int X = mapToParent(Event->position().toPoint()).x() - FGrab;
  if (X >= 0 && X < parentWidget()->width()) emit Dragged(FIndex, X);
}

void TTabMarker::mouseReleaseEvent(QMouseEvent* Event) {
  if (FGrab >= 0 && Event->button() == Qt::LeftButton) {
    FGrab = -1;
    emit DragFinished();
  }
}

TTabRuler::TTabRuler(QWidget* Parent) : QFrame(Parent) {
  setFixedHeight(RulerHeight);
  setFrameShape(QFrame::NoFrame);
  setAutoFillBackground(true);
  QPalette Pal = palette();
  Pal.setColor(QPalette::Window, QColor(0xF4, 0xF4, 0xEC));
  setPalette(Pal);
}

void TTabRuler::mousePressEvent(QMouseEvent* Event) {
  emit MouseDown(Event->button(), qRound(Event->position().x()));
}

void TTabRuler::mouseDoubleClickEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton) emit DoubleClicked();
}

// ---- window ---------------------------------------------------------------------------------

TFmTextOutput::TFmTextOutput(QWidget* Owner, const QString& Caption, bool PlainText)
    : QMainWindow(Owner, Qt::Window) {
  setObjectName(QStringLiteral("FmTextOutput"));
  setWindowTitle(QStringLiteral("Text Editor"));

  auto* Central = new QWidget(this);
  auto* Column = new QVBoxLayout(Central);
  Column->setContentsMargins(0, 0, 0, 0);
  Column->setSpacing(0);
  setCentralWidget(Central);

  MeText = new TSRichEdit(Central);
  MeText->setObjectName(QStringLiteral("MeText"));
  MeText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MeText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  MeText->setLineWrapMode(QTextEdit::WidgetWidth);
  MeText->setFrameShape(QFrame::NoFrame);

  CreateToolBar();
  PnTabs = new TTabRuler(Central);
  PnTabs->setObjectName(QStringLiteral("PnTabs"));
  const QString RulerHint = QStringLiteral("Double-click to set tab; right click to delete");
  PnTabs->setToolTip(RulerHint);
  PnTabs->setStatusTip(RulerHint);
  PMnTabs = new QMenu(this);
  PMnTabs->setObjectName(QStringLiteral("PMnTabs"));
  MnAddTab = PMnTabs->addAction(QStringLiteral("&Add Tab"));
  MnAddTab->setObjectName(QStringLiteral("MnAddTab"));
  MnDeleteTab = PMnTabs->addAction(QStringLiteral("&Delete Tab"));
  MnDeleteTab->setObjectName(QStringLiteral("MnDeleteTab"));
  CreateStatusBar();
  CreateMenu();

  Column->addWidget(PnButtons);
  Column->addWidget(PnTabs);
  Column->addWidget(MeText, 1);
  Column->addWidget(PnStatus);

  connect(PnTabs, &TTabRuler::MouseDown, this, &TFmTextOutput::PnTabsMouseDown);
  BindCommand(PnTabs, &TTabRuler::DoubleClicked, [this] { PnTabsDblClick(); });
  BindCommand(MnAddTab, [this] { PnTabsDblClick(); });
  BindCommand(MnDeleteTab, [this] { MnDeleteTabClick(); });
  connect(MeText, &QTextEdit::textChanged, this, &TFmTextOutput::MeTextChange);
  connect(MeText, &QTextEdit::cursorPositionChanged, this, &TFmTextOutput::MeTextSelectionChange);
  connect(MeText, &QTextEdit::selectionChanged, this, &TFmTextOutput::MeTextSelectionChange);
  connect(MeText, &TSRichEdit::OnVScroll, this, &TFmTextOutput::MeTextVScroll);
  connect(MeText, &TSRichEdit::OnHScroll, this, &TFmTextOutput::MeTextVScroll);
  connect(MeText, &TSRichEdit::InsertRefused, this,
          [this](const QString& Reason) { CurrentTextOutputDialogs().Error(this, Reason); });

  BtnExcel->setEnabled(ExcelAvailable);
  QStringList Families = QFontDatabase::families();
  CmBxFont->addItems(Families);
  FPrintCopies = 1;
  MeText->SetPlainText(PlainText);
  MnSavePlain->setChecked(PlainText);
  if (!Caption.isEmpty()) setWindowTitle(Caption);
  FPrinting = false;
  FCloseAction = TCloseAction::Free;

  resize(554, 441 + menuBar()->sizeHint().height());
  move(0, 0);
  SetFileNamePanel(false);
  UpdateStyleButtons();
  ShowCaretPosition();
  show();
}

void TFmTextOutput::CreateToolBar() {
  PnButtons = new QWidget(centralWidget());
  PnButtons->setObjectName(QStringLiteral("PnButtons"));
  const QString BarHint = QStringLiteral("Text Editor Toolbar");
  PnButtons->setToolTip(BarHint);
  PnButtons->setStatusTip(BarHint);
  // The bar may be cut at the right rather than widen the window beyond its size.
  PnButtons->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  auto* Row = new QHBoxLayout(PnButtons);
  Row->setContentsMargins(2, 2, 2, 2);
  Row->setSpacing(1);
  QStyle* S = style();
  BtnOpen = ToolButton(PnButtons, Row, "BtnOpen", 1, S->standardIcon(QStyle::SP_DialogOpenButton), QStringLiteral("Open a file"));
  BtnSave = ToolButton(PnButtons, Row, "BtnSave", 2, S->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Save the text"));
  BtnPrint = ToolButton(PnButtons, Row, "BtnPrint", 3, PrinterIcon(), QStringLiteral("Print the text"));
  BtnExcel = ToolButton(PnButtons, Row, "BtnExcel", 6, SheetIcon(), QStringLiteral("Send to Excel"));
  for (QToolButton* B : {BtnOpen, BtnSave, BtnPrint, BtnExcel})
    BindCommand(B, B->property("Tag").toInt(), [this](int Tag) { BtnFileOperationsClick(Tag); });
  Row->addWidget(Separator(PnButtons));
  BtnBold = ToolButton(PnButtons, Row, "BtnBold", 1, GlyphIcon(QStringLiteral("B"), true, false, false, false), QStringLiteral("Bold"));
  BtnItalic = ToolButton(PnButtons, Row, "BtnItalic", 2, GlyphIcon(QStringLiteral("I"), false, true, false, false), QStringLiteral("Italic"));
  BtnUnderline = ToolButton(PnButtons, Row, "BtnUnderline", 3, GlyphIcon(QStringLiteral("U"), false, false, true, false), QStringLiteral("Underline"));
  BtnStrikeOut = ToolButton(PnButtons, Row, "BtnStrikeOut", 4, GlyphIcon(QStringLiteral("S"), false, false, false, true), QStringLiteral("Strike-through"));
  for (QToolButton* B : {BtnBold, BtnItalic, BtnUnderline, BtnStrikeOut}) {
    B->setCheckable(true);
    // The button's own click has already toggled its state when this runs.
    BindCommand(B, B->property("Tag").toInt(), [this](int Tag) { BtnTextOperationsClick(Tag); });
  }
  Row->addWidget(Separator(PnButtons));
  BtnLeftJustify = ToolButton(PnButtons, Row, "BtnLeftJustify", 1, JustifyIcon(Qt::AlignLeft), QStringLiteral("Left justify"));
  BtnCenterJustify = ToolButton(PnButtons, Row, "BtnCenterJustify", 2, JustifyIcon(Qt::AlignHCenter), QStringLiteral("Center justify"));
  BtnRightJustify = ToolButton(PnButtons, Row, "BtnRightJustify", 3, JustifyIcon(Qt::AlignRight), QStringLiteral("Right justify"));
  auto* Justify = new QButtonGroup(this);
  for (QToolButton* B : {BtnLeftJustify, BtnCenterJustify, BtnRightJustify}) {
    B->setCheckable(true);
    Justify->addButton(B);
    BindCommand(B, B->property("Tag").toInt(), [this](int Tag) { BtnJustifyClick(Tag); });
  }
  Row->addWidget(Separator(PnButtons));
  BtnUndo = ToolButton(PnButtons, Row, "BtnUndo", 1, GlyphIcon(QStringLiteral("\u21B6"), false, false, false, false), QStringLiteral("Undo"));
  BtnCut = ToolButton(PnButtons, Row, "BtnCut", 2, GlyphIcon(QStringLiteral("\u2702"), false, false, false, false), QStringLiteral("Cut"));
  BtnCopy = ToolButton(PnButtons, Row, "BtnCopy", 3, GlyphIcon(QStringLiteral("\u2750"), false, false, false, false), QStringLiteral("Copy"));
  BtnPaste = ToolButton(PnButtons, Row, "BtnPaste", 4, ClipboardIcon(), QStringLiteral("Paste"));
  for (QToolButton* B : {BtnUndo, BtnCut, BtnCopy, BtnPaste})
    BindCommand(B, B->property("Tag").toInt(), [this](int Tag) { BtnEditClick(Tag); });
  Row->addWidget(Separator(PnButtons));
  CmBxSize = new QComboBox(PnButtons);
  CmBxSize->setObjectName(QStringLiteral("CmBxSize"));
  CmBxSize->setEditable(true);
  CmBxSize->addItems({"6", "8", "9", "10", "12", "14", "16", "18", "24", "32"});
  CmBxSize->setEditText(QStringLiteral("12"));
  // Only digits (Backspace stays a key of the edit).
  CmBxSize->lineEdit()->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), CmBxSize));
  CmBxSize->setFixedWidth(56);
  CmBxSize->setToolTip(QStringLiteral("Font size"));
  CmBxSize->setStatusTip(QStringLiteral("Font size"));
  Row->addWidget(CmBxSize);
  CmBxFont = new QComboBox(PnButtons);
  CmBxFont->setObjectName(QStringLiteral("CmBxFont"));
  CmBxFont->setEditable(false);
  CmBxFont->setMinimumWidth(90);
  CmBxFont->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  CmBxFont->setToolTip(QStringLiteral("Font"));
  CmBxFont->setStatusTip(QStringLiteral("Font"));
  Row->addWidget(CmBxFont, 1);
  connect(CmBxSize, &QComboBox::currentTextChanged, this, &TFmTextOutput::CmBxSizeChange);
  connect(CmBxFont, &QComboBox::currentTextChanged, this, &TFmTextOutput::CmBxFontChange);
}

void TFmTextOutput::CreateMenu() {
  QMenuBar* Bar = menuBar();
  Bar->setObjectName(QStringLiteral("MnOutputForm"));
  const auto Item = [this](QMenu* Menu, const char* Name, const QString& Caption, int Tag,
                           const QKeySequence& Key = QKeySequence()) {
    QAction* A = Menu->addAction(Caption);
    A->setObjectName(QString::fromLatin1(Name));
    if (Tag > 0) A->setProperty("Tag", Tag);
    if (!Key.isEmpty()) A->setShortcut(Key);
    return A;
  };
  QMenu* Document = Bar->addMenu(QStringLiteral("&Document"));
  MnOpen = Item(Document, "MnOpen", QStringLiteral("&Open..."), 1, QKeySequence(Qt::CTRL | Qt::Key_O));
  MnSave = Item(Document, "MnSave", QStringLiteral("&Save..."), 2, QKeySequence(Qt::CTRL | Qt::Key_S));
  MnSavePlain = Item(Document, "MnSavePlain", QStringLiteral("Sa&ve as Plain"), 0);
  MnSavePlain->setCheckable(true);
  MnSavePlain->setChecked(true);
  MnPrint = Item(Document, "MnPrint", QStringLiteral("&Print"), 3, QKeySequence(Qt::CTRL | Qt::Key_P));
  MnQuit = Item(Document, "MnQuit", QStringLiteral("&Quit"), 4, QKeySequence(Qt::CTRL | Qt::Key_Q));
  for (QAction* A : {MnOpen, MnSave, MnPrint, MnQuit})
    BindCommand(A, A->property("Tag").toInt(), [this](int Tag) { BtnFileOperationsClick(Tag); });
  BindCommand(MnSavePlain, [this] { MnSavePlainClick(); });

  QMenu* Edit = Bar->addMenu(QStringLiteral("&Edit"));
  MnUndo = Item(Edit, "MnUndo", QStringLiteral("&Undo..."), 1, QKeySequence(Qt::CTRL | Qt::Key_Z));
  MnCut = Item(Edit, "MnCut", QStringLiteral("Cu&t"), 2);
  MnCopy = Item(Edit, "MnCopy", QStringLiteral("&Copy"), 3);
  MnPaste = Item(Edit, "MnPaste", QStringLiteral("&Paste"), 4);
  MnClear = Item(Edit, "MnClear", QStringLiteral("Clea&r"), 6, QKeySequence(Qt::Key_Delete));
  MnSelectAll = Item(Edit, "MnSelectAll", QStringLiteral("Select &All"), 5, QKeySequence(Qt::CTRL | Qt::Key_A));
  for (QAction* A : {MnUndo, MnCut, MnCopy, MnPaste, MnClear, MnSelectAll})
    BindCommand(A, A->property("Tag").toInt(), [this](int Tag) { BtnEditClick(Tag); });
  Edit->addSeparator();
  MnToolbar = Item(Edit, "MnToolbar", QStringLiteral("&Toolbar"), 1);
  MnStatusbar = Item(Edit, "MnStatusbar", QStringLiteral("Status &Bar"), 2);
  for (QAction* A : {MnToolbar, MnStatusbar}) {
    A->setCheckable(true);
    A->setChecked(true);
    // The item's check flips in MnToolbarClick, so the automatic flip is undone first.
    BindCommand(A, A->property("Tag").toInt(), [this, A](int Tag) {
      A->setChecked(!A->isChecked());
      MnToolbarClick(Tag);
    });
  }

  QMenu* Text = Bar->addMenu(QStringLiteral("Te&xt"));
  MnBold = Item(Text, "MnBold", QStringLiteral("&Bold"), 1, QKeySequence(Qt::CTRL | Qt::Key_B));
  MnItalic = Item(Text, "MnItalic", QStringLiteral("&Italic"), 2, QKeySequence(Qt::CTRL | Qt::Key_I));
  MnUnderline = Item(Text, "MnUnderline", QStringLiteral("&Underline"), 3, QKeySequence(Qt::CTRL | Qt::Key_U));
  MnStrikethrough = Item(Text, "MnStrikethrough", QStringLiteral("Stri&ke-through"), 4, QKeySequence(Qt::CTRL | Qt::Key_K));
  for (QAction* A : {MnBold, MnItalic, MnUnderline, MnStrikethrough}) {
    A->setCheckable(true);
    BindCommand(A, A->property("Tag").toInt(), [this](int Tag) { BtnTextOperationsClick(Tag); });
  }
  Text->addSeparator();
  MnLeftJustify = Item(Text, "MnLeftJustify", QStringLiteral("&Left Justify"), 1);
  MnCenterjustify = Item(Text, "MnCenterjustify", QStringLiteral("&Center Justify"), 2);
  MnRightjustify = Item(Text, "MnRightjustify", QStringLiteral("&Right Justify"), 3);
  for (QAction* A : {MnLeftJustify, MnCenterjustify, MnRightjustify}) {
    A->setCheckable(true);
    BindCommand(A, A->property("Tag").toInt(), [this](int Tag) { BtnJustifyClick(Tag); });
  }
  Text->addSeparator();
  MnWordWrap = Item(Text, "MnWordWrap", QStringLiteral("&Word wrap"), 0, QKeySequence(Qt::CTRL | Qt::Key_W));
  MnWordWrap->setCheckable(true);
  MnWordWrap->setChecked(true);
  BindCommand(MnWordWrap, [this] {
    MnWordWrap->setChecked(!MnWordWrap->isChecked());
    CBWordWrapClick();
  });

  // Shortcuts the editor would otherwise keep for itself.
  QList<QKeySequence> Reserved;
  for (QAction* A : {MnOpen, MnSave, MnPrint, MnQuit, MnBold, MnItalic, MnUnderline, MnStrikethrough, MnWordWrap})
    Reserved.append(A->shortcut());
  MeText->SetReservedShortcuts(Reserved);
}

void TFmTextOutput::CreateStatusBar() {
  PnStatus = new QWidget(centralWidget());
  PnStatus->setObjectName(QStringLiteral("PnStatus"));
  auto* Row = new QHBoxLayout(PnStatus);
  Row->setContentsMargins(1, 1, 1, 1);
  Row->setSpacing(2);
  PnRow = StatusPanel(PnStatus, "PnRow", QStringLiteral(" Row 0"));
  PnColumn = StatusPanel(PnStatus, "PnColumn", QStringLiteral(" Column 0"));
  PnHint = StatusPanel(PnStatus, "PnHint", QStringLiteral(" Hints Displayed Here"));
  PnRow->setMinimumWidth(80);
  PnColumn->setMinimumWidth(80);
  PnFileName = new QFrame(PnStatus);
  PnFileName->setObjectName(QStringLiteral("PnFileName"));
  PnFileName->setFrameShape(QFrame::Panel);
  PnFileName->setFrameShadow(QFrame::Sunken);
  PnFileName->setAutoFillBackground(true);
  auto* Inner = new QHBoxLayout(PnFileName);
  Inner->setContentsMargins(2, 0, 2, 0);
  LbFileName = new QLabel(QStringLiteral(" Unsaved "), PnFileName);
  LbFileName->setObjectName(QStringLiteral("LbFileName"));
  LbFileName->setProperty("Tag", 2);
  const QString Hint = QStringLiteral("File name; green when saved, red when modified");
  LbFileName->setToolTip(Hint);
  LbFileName->setStatusTip(Hint);
  BindMouseDoubleClick(LbFileName, [this] { BtnFileOperationsClick(LbFileName->property("Tag").toInt()); });
  Inner->addWidget(LbFileName);
  Row->addWidget(PnRow);
  Row->addWidget(PnColumn);
  Row->addWidget(PnHint, 1);
  Row->addWidget(PnFileName);
}

namespace {

std::string NotShownLine(int64_t Count, const std::string& Limit) {
  return "[" + std::to_string(Count) + (Count == 1 ? " more line is" : " more lines are") +
         " not shown: a report window holds at most " + Limit + ".]";
}

}  // namespace

void TFmTextOutput::AddLines(const std::vector<std::string>& Lines) {
  if (Lines.empty()) return;
  if (!FHidden.empty()) {
    FHidden.insert(FHidden.end(), Lines.begin(), Lines.end());
    MeText->SetLastLine(NotShownLine(LinesNotShown(), FLimitReached));
  } else {
    const bool TabStops = MeText->HasTabStops();
    TTextSize Size = MeText->TextSize();
    size_t Fit = 0;
    for (TTextSize Next = Size; Fit < Lines.size(); ++Fit) {
      Next.Add(Lines[Fit]);
      if (!FitsReportWindow(Next, TabStops)) {
        FLimitReached = ReportWindowLimit(Next, TabStops);
        break;
      }
      Size = Next;
    }
    if (Fit == Lines.size()) {
      MeText->AddLines(Lines);
    } else {
      // The note needs a line of its own: shown lines give way to it from the end.
      const std::string LongestNote = NotShownLine(static_cast<int64_t>(Lines.size()), FLimitReached);
      const auto WithNote = [&] {
        TTextSize S = Size;
        S.Add(LongestNote);
        return S;
      };
      while (Fit > 0 && !FitsReportWindow(WithNote(), TabStops)) Size.Remove(Lines[--Fit]);
      FHidden.assign(Lines.begin() + static_cast<std::ptrdiff_t>(Fit), Lines.end());
      std::vector<std::string> Shown(Lines.begin(), Lines.begin() + static_cast<std::ptrdiff_t>(Fit));
      Shown.push_back(NotShownLine(LinesNotShown(), FLimitReached));
      MeText->AddLines(Shown);
    }
  }
  MeText->document()->setModified(false);
}

void TFmTextOutput::SetTabStops(const std::vector<int>& Points) {
  const bool Modified = MeText->document()->isModified();
  MeText->SetAllTabStops(Points);
  MeText->document()->setModified(Modified);
  RebuildTabMarkers();
}

std::vector<TTabMarker*> TFmTextOutput::TabMarkers() const { return FMarkers; }

template <class F>
void TFmTextOutput::Guarded(F&& Command) {
  try {
    Command();
  } catch (const std::exception&) {
    if (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    CurrentTextOutputDialogs().Error(this, QString::fromStdString(CurrentFailureText()));
  }
}

void TFmTextOutput::SetFileNamePanel(bool Saved) {
  FSaved = Saved;
  QPalette Pal = PnFileName->palette();
  Pal.setColor(QPalette::Window, Saved ? SavedColour : UnsavedColour);
  PnFileName->setPalette(Pal);
}

// ---- file commands --------------------------------------------------------------------------

void TFmTextOutput::SaveText() {
  const bool Plain = MeText->PlainText();
  const QString Ext = Plain ? QStringLiteral("txt") : QStringLiteral("rtf");
  const QString Name = CurrentTextOutputDialogs().SaveFileName(
      this, QStringLiteral("Save file as ..."), Plain ? TextFilter : RtfFilter, 1, Ext);
  if (Name.isEmpty()) return;
  const std::string FileName = EnsureExtension(Name.toStdString(), Ext.toStdString());
  std::vector<std::string> InsteadOfLast;
  if (!FHidden.empty()) {
    // The note gives way to the lines it counts; a last line the user wrote in its place stays.
    const std::vector<std::string> Shown = MeText->Lines();
    if (!Shown.empty() && Shown.back() != NotShownLine(LinesNotShown(), FLimitReached))
      InsteadOfLast.push_back(Shown.back());
    InsteadOfLast.insert(InsteadOfLast.end(), FHidden.begin(), FHidden.end());
  }
  MeText->SaveToFile(FileName, InsteadOfLast);
  LbFileName->setText(QStringLiteral(" ") + QString::fromStdString(ExtractFileName(FileName)) + QStringLiteral(" "));
  MeText->document()->setModified(false);
  SetFileNamePanel(true);
}

void TFmTextOutput::BtnFileOperationsClick(int Tag) {
  Guarded([&] {
    switch (Tag) {
      case 1: {
        const QString Name = CurrentTextOutputDialogs().OpenFileName(
            this, QStringLiteral("Open file plain or RTF file ..."), TextFilter, 1);
        if (Name.isEmpty()) break;
        MeText->LoadFromFile(Name.toStdString());
        // The lines a report did not show belong to it, not to the file read in its place.
        FHidden.clear();
        MeText->document()->setModified(false);
        setWindowTitle(QString::fromStdString(ExtractFileName(Name.toStdString())));
        break;
      }
      case 2:
        SaveText();
        break;
      case 3: {
        QPrinter Printer;
        Printer.setCopyCount(FPrintCopies);
        Printer.setDocName(QString());
        if (!CurrentTextOutputDialogs().Print(this, Printer)) break;
        FPrinting = true;
        try {
          MeText->print(&Printer);
        } catch (...) {
          FPrinting = false;
          throw;
        }
        FPrinting = false;
        // Qt reports a printer it could not open only through its state.
        if (Printer.printerState() == QPrinter::Error) throw Exception("Printing failed");
        break;
      }
      case 4:
        close();
        break;
      case 6: {
        const std::vector<std::string> Lines = MeText->Lines();
        if (!Lines.empty()) SendLinesToSpreadsheet(Lines);
        break;
      }
      default:
        break;
    }
  });
  MeText->setReadOnly(false);
}

// ---- edit, style, justify, font -------------------------------------------------------------

void TFmTextOutput::BtnEditClick(int Tag) {
  Guarded([&] {
    switch (Tag) {
      case 1: MeText->undo(); break;
      case 2: MeText->cut(); break;
      case 3: MeText->copy(); break;
      case 4: MeText->paste(); break;
      case 5: MeText->selectAll(); break;
      case 6: {
        // The Del key lands here too, so without a selection it deletes the next character.
        QTextCursor C = MeText->textCursor();
        if (C.hasSelection()) C.removeSelectedText();
        else C.deleteChar();
        MeText->setTextCursor(C);
        break;
      }
      default: break;
    }
  });
}

void TFmTextOutput::BtnTextOperationsClick(int Tag) {
  Guarded([&] {
    QTextCharFormat F;
    switch (Tag) {
      case 1: F.setFontWeight(BtnBold->isChecked() ? QFont::Bold : QFont::Normal); break;
      case 2: F.setFontItalic(BtnItalic->isChecked()); break;
      case 3: F.setFontUnderline(BtnUnderline->isChecked()); break;
      case 4: F.setFontStrikeOut(BtnStrikeOut->isChecked()); break;
      default: return;
    }
    MeText->mergeCurrentCharFormat(F);
  });
  UpdateStyleButtons();
}

void TFmTextOutput::BtnJustifyClick(int Tag) {
  switch (Tag) {
    case 1: MeText->setAlignment(Qt::AlignLeft); break;
    case 2: MeText->setAlignment(Qt::AlignHCenter); break;
    case 3: MeText->setAlignment(Qt::AlignRight); break;
    default: return;
  }
  UpdateStyleButtons();
}

void TFmTextOutput::CmBxFontChange() {
  if (FUpdating || CmBxFont->currentText().isEmpty()) return;
  QTextCharFormat F;
  F.setFontFamilies({CmBxFont->currentText()});
  MeText->mergeCurrentCharFormat(F);
}

void TFmTextOutput::CmBxSizeChange() {
  if (FUpdating) return;
  bool Ok = false;
  const int Size = CmBxSize->currentText().toInt(&Ok);
  if (!Ok || Size < 1 || Size > MaxFontSize) return;
  QTextCharFormat F;
  F.setFontPointSize(Size);
  MeText->mergeCurrentCharFormat(F);
}

void TFmTextOutput::CBWordWrapClick() {
  MnWordWrap->setChecked(!MnWordWrap->isChecked());
  const bool Wrap = MnWordWrap->isChecked();
  MeText->setLineWrapMode(Wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
  MeText->setHorizontalScrollBarPolicy(Wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
}

void TFmTextOutput::MnSavePlainClick() {
  MeText->SetPlainText(!MeText->PlainText());
  MnSavePlain->setChecked(MeText->PlainText());
}

void TFmTextOutput::MnToolbarClick(int Tag) {
  if (Tag == 1) {
    MnToolbar->setChecked(!MnToolbar->isChecked());
    PnButtons->setVisible(MnToolbar->isChecked());
  } else if (Tag == 2) {
    MnStatusbar->setChecked(!MnStatusbar->isChecked());
    PnStatus->setVisible(MnStatusbar->isChecked());
  }
}

// ---- text notifications ---------------------------------------------------------------------

void TFmTextOutput::MeTextChange() { SetFileNamePanel(false); }

void TFmTextOutput::MeTextSelectionChange() {
  if (!FDragging) RebuildTabMarkers();
  UpdateStyleButtons();
  ShowCaretPosition();
}

void TFmTextOutput::MeTextVScroll() { MeText->viewport()->update(); }

void TFmTextOutput::UpdateStyleButtons() {
  FUpdating = true;
  const Qt::Alignment A = MeText->alignment() & Qt::AlignHorizontal_Mask;
  const bool Center = (A & Qt::AlignHCenter) != 0, Right = (A & Qt::AlignRight) != 0;
  BtnLeftJustify->setChecked(!Center && !Right);
  BtnCenterJustify->setChecked(Center);
  BtnRightJustify->setChecked(Right);
  MnLeftJustify->setChecked(!Center && !Right);
  MnCenterjustify->setChecked(Center);
  MnRightjustify->setChecked(Right);
  const QFont F = MeText->currentCharFormat().font().resolve(MeText->document()->defaultFont());
  BtnBold->setChecked(F.bold());
  BtnItalic->setChecked(F.italic());
  BtnUnderline->setChecked(F.underline());
  BtnStrikeOut->setChecked(F.strikeOut());
  MnBold->setChecked(F.bold());
  MnItalic->setChecked(F.italic());
  MnUnderline->setChecked(F.underline());
  MnStrikethrough->setChecked(F.strikeOut());
  if (F.pointSizeF() > 0) CmBxSize->setEditText(QString::number(qRound(F.pointSizeF())));
  const int FontIndex = CmBxFont->findText(F.family());
  if (FontIndex >= 0) CmBxFont->setCurrentIndex(FontIndex);
  MnWordWrap->setChecked(MeText->lineWrapMode() != QTextEdit::NoWrap);
  MnSavePlain->setChecked(MeText->PlainText());
  FUpdating = false;
}

void TFmTextOutput::ShowCaretPosition() {
  PnRow->setText(QStringLiteral(" Row ") + QString::number(MeText->GetRow()));
  PnColumn->setText(QStringLiteral(" Column ") + QString::number(MeText->GetColumn()));
}

void TFmTextOutput::ShowHint(const QString& Hint) { PnHint->setText(QStringLiteral(" ") + Hint); }

// ---- tab-stop ruler -------------------------------------------------------------------------

QString TFmTextOutput::DeleteTabQuestion(int Index) {
  static const char* const Ordinals[20] = {
      "zeroth", "first", "second", "third", "fourth", "fifth", "sixth",
      "seventh", "eighth", "nineth", "tenth", "eleveth", "twelfth", "thirteeth",
      "fourteeth", "fifteenth", "sixteeth", "seventeenth", "eighteenth", "nineteenth"};
  if (Index >= 0 && Index < 20)
    return QStringLiteral("Delete the ") + QString::fromLatin1(Ordinals[Index]) + QStringLiteral(" Tab?");
  return QStringLiteral("Delete the adjacent Tab?");
}

void TFmTextOutput::PnTabsMouseDown(Qt::MouseButton Button, int X) {
  FRulerX = X;
  if (Button == Qt::RightButton) PMnTabs->popup(PnTabs->mapToGlobal(QPoint(X, PnTabs->height())));
}

void TFmTextOutput::PnTabsDblClick() {
  try {
    const int Point = MeText->PixelsToPoints(FRulerX);
    std::vector<int> Stops = MeText->TabStops();
    // One more would make a paragraph that a saved file cannot give back.
    if (Stops.size() >= MaxRtfTabStops)
      throw ERangeError("A paragraph holds at most " + std::to_string(MaxRtfTabStops) + " tab stops");
    Stops.push_back(0);
    size_t J = Stops.size() - 1;
    while (J > 0 && Stops[J - 1] > Point) {
      Stops[J] = Stops[J - 1];
      --J;
    }
    Stops[J] = Point;
    MeText->SetTabStops(Stops);
    RebuildTabMarkers();
  } catch (const std::exception&) {
    CurrentTextOutputDialogs().Error(this, QStringLiteral("Problem creating tab"));
  }
}

void TFmTextOutput::PnTabsDragOver(int Index, int X) {
  try {
    std::vector<int> Stops = MeText->TabStops();
    if (Index < 0 || static_cast<size_t>(Index) >= Stops.size()) throw std::out_of_range("tab");
    FDragging = true;
    Stops[static_cast<size_t>(Index)] = MeText->PixelsToPoints(X);
    MeText->SetTabStops(Stops);
    for (TTabMarker* M : FMarkers)
      if (M->Index() == Index) M->move(X, 0);
    FDragging = false;
  } catch (const std::exception&) {
    FDragging = false;
    CurrentTextOutputDialogs().Error(this, QStringLiteral("Problem moving tab"));
  }
}

void TFmTextOutput::MnDeleteTabClick() {
  if (FMarkers.empty()) return;
  const TTabMarker* Nearest = nullptr;
  int Best = 0;
  for (const TTabMarker* M : FMarkers) {
    const int Distance = std::abs(M->x() - FRulerX);
    if (!Nearest || Distance <= Best) {
      Nearest = M;
      Best = Distance;
    }
  }
  const int Index = Nearest->Index();
  if (!CurrentTextOutputDialogs().YesNo(this, DeleteTabQuestion(Index))) return;
  try {
    std::vector<int> Stops = MeText->TabStops();
    if (static_cast<size_t>(Index) >= Stops.size()) throw std::out_of_range("tab");
    Stops.erase(Stops.begin() + Index);
    MeText->SetTabStops(Stops);
    RebuildTabMarkers();
  } catch (const std::exception&) {
    CurrentTextOutputDialogs().Error(this, QStringLiteral("Problem with Tab deletion"));
  }
}

void TFmTextOutput::RebuildTabMarkers() {
  for (TTabMarker* M : FMarkers) {
    M->hide();
    M->deleteLater();
  }
  FMarkers.clear();
  const std::vector<int> Stops = MeText->TabStops();
  for (size_t I = 0; I < Stops.size(); ++I) DrawTabMarker(static_cast<int>(I));
}

void TFmTextOutput::DrawTabMarker(int Index) {
  const std::vector<int> Stops = MeText->TabStops();
  if (Index < 0 || static_cast<size_t>(Index) >= Stops.size()) {
    CurrentTextOutputDialogs().Error(this, QStringLiteral("Problem drawing shape"));
    return;
  }
  auto* M = new TTabMarker(PnTabs, Index);
  M->setGeometry(MeText->PointsToPixels(Stops[static_cast<size_t>(Index)]), 0, MarkerWidth, PnTabs->height());
  connect(M, &TTabMarker::Dragged, this, &TFmTextOutput::PnTabsDragOver);
  M->show();
  FMarkers.push_back(M);
}

// ---- window events --------------------------------------------------------------------------

bool TFmTextOutput::event(QEvent* Event) {
  if (Event->type() == QEvent::StatusTip) {
    ShowHint(static_cast<QStatusTipEvent*>(Event)->tip());
    return true;
  }
  return QMainWindow::event(Event);
}

void TFmTextOutput::resizeEvent(QResizeEvent* Event) {
  QMainWindow::resizeEvent(Event);
  MeText->viewport()->update();
}

TFmTextOutput::TChangesAnswer TFmTextOutput::QuerySaveChanges() {
  if (!MeText->document()->isModified()) return TChangesAnswer::Kept;
  switch (CurrentTextOutputDialogs().YesNoCancel(
      this, QStringLiteral("Save changes to ") + windowTitle() + QStringLiteral("?"))) {
    case TextOutputDialogs::TAnswer::Yes:
      BtnFileOperationsClick(2);
      // Not saved: the dialog was cancelled or the save failed.
      return MeText->document()->isModified() ? TChangesAnswer::Cancel : TChangesAnswer::Kept;
    case TextOutputDialogs::TAnswer::No: return TChangesAnswer::Discard;
    case TextOutputDialogs::TAnswer::Cancel: break;
  }
  return TChangesAnswer::Cancel;
}

void TFmTextOutput::DiscardChanges() { MeText->document()->setModified(false); }

void TFmTextOutput::closeEvent(QCloseEvent* Event) {
  if (FPrinting) {
    Event->ignore();
    showMinimized();
    return;
  }
  if (QuerySaveChanges() == TChangesAnswer::Cancel) {
    Event->ignore();
    return;
  }
  switch (FCloseAction) {
    case TCloseAction::None:
      Event->ignore();
      return;
    case TCloseAction::Minimize:
      Event->ignore();
      showMinimized();
      return;
    case TCloseAction::Hide:
      setAttribute(Qt::WA_DeleteOnClose, false);
      break;
    case TCloseAction::Free:
      setAttribute(Qt::WA_DeleteOnClose, true);
      break;
  }
  Event->accept();
}

}  // namespace qv
