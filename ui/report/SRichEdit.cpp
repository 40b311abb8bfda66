#include "report/SRichEdit.h"

#include <QHash>
#include <QKeyEvent>
#include <QMimeData>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <algorithm>

#include "Errors.h"
#include "Files.h"
#include "report/RtfReader.h"
#include "Streams.h"

namespace qv {

namespace {

QString FromFileBytes(const std::string& Bytes) {
  QStringDecoder Utf8(QStringDecoder::Utf8);
  QString Text = Utf8(QByteArrayView(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
  if (Utf8.hasError()) Text = QString::fromLatin1(Bytes.data(), static_cast<qsizetype>(Bytes.size()));
  return Text;
}

// RTF spends several bytes of markup on a character; a file larger than this holds more text
// than a report window does, and is not read at all.
constexpr int64_t MaxFileBytes = 8 * TReportCapacity::MaxBytes;

std::string TooLarge(const std::string& FileName, const TTextSize& Size, bool TabStops = false) {
  return ExtractFileName(FileName) + " is too large for the report window: " + DescribeTextSize(Size, TabStops) +
         "; it holds at most " + ReportWindowLimit(Size, TabStops) + ".";
}

std::string ReadWholeFile(const std::string& FileName) {
  TFileStream Stream(FileName, TFileStream::TMode::OpenRead);
  if (Stream.Size() > MaxFileBytes) throw EInOutError(TooLarge(FileName, {-1, Stream.Size(), 0}));
  std::string Bytes(static_cast<size_t>(Stream.Size()), '\0');
  if (!Bytes.empty()) Stream.ReadBuffer(Bytes.data(), Bytes.size());
  return Bytes;
}

QTextBlockFormat TabFormat(const std::vector<int>& Points, double Dpi) {
  QList<QTextOption::Tab> Tabs;
  for (const int P : Points) Tabs.append(QTextOption::Tab(P * Dpi / 72.0, QTextOption::LeftTab));
  QTextBlockFormat F;
  F.setTabPositions(Tabs);
  return F;
}

}  // namespace

TSRichEdit::TSRichEdit(QWidget* Parent) : QTextEdit(Parent) {
  // The editor's first document would be freed when another is shown for a moment.
  setDocument(new QTextDocument(this));
  // Half an inch between default tab stops, as rich-text editors have it.
  setTabStopDistance(PointsToPixels(36));
  setTabChangesFocus(false);
}

int TSRichEdit::GetRow() const {
  return document()->findBlock(textCursor().selectionStart()).blockNumber();
}

int TSRichEdit::GetColumn() const {
  const QTextCursor C = textCursor();
  return C.selectionStart() - document()->findBlock(C.selectionStart()).position();
}

std::vector<std::string> TSRichEdit::Lines() const {
  std::vector<std::string> Result;
  const QTextDocument* Doc = document();
  if (Doc->isEmpty()) return Result;
  Result.reserve(static_cast<size_t>(Doc->blockCount()));
  for (QTextBlock B = Doc->begin(); B.isValid(); B = B.next()) Result.push_back(B.text().toStdString());
  if (Result.size() > 1 && Result.back().empty()) Result.pop_back();
  return Result;
}

void TSRichEdit::EditDetached(const std::function<void(QTextDocument&)>& Edit, bool KeepCaret) {
  QTextDocument* Doc = document();
  const QTextCursor Caret = textCursor();
  const int Anchor = Caret.anchor(), Position = Caret.position();
  const bool Undo = Doc->isUndoRedoEnabled(), Modified = Doc->isModified();
  // A document that no editor shows and nothing lays out changes ten times faster; the editor
  // makes a new layout when it shows the document again, and lays it out lazily.
  QTextDocument Placeholder;
  setDocument(&Placeholder);
  Doc->setDocumentLayout(nullptr);
  Doc->setUndoRedoEnabled(false);
  try {
    Edit(*Doc);
  } catch (...) {
    Doc->setUndoRedoEnabled(Undo);
    setDocument(Doc);
    throw;
  }
  Doc->setUndoRedoEnabled(Undo);
  Doc->setModified(Modified);
  setDocument(Doc);
  QTextCursor Back(Doc);
  if (KeepCaret) {
    const int End = Doc->characterCount() - 1;
    Back.setPosition(std::min(Anchor, End));
    Back.setPosition(std::min(Position, End), QTextCursor::KeepAnchor);
  }
  setTextCursor(Back);
}

void TSRichEdit::AddLines(const std::vector<std::string>& NewLines) {
  if (NewLines.empty()) return;
  QString Text;
  size_t Size = NewLines.size();
  for (const auto& L : NewLines) Size += L.size();
  Text.reserve(static_cast<qsizetype>(Size));
  bool NeedBreak = !document()->lastBlock().text().isEmpty();
  for (const auto& L : NewLines) {
    if (NeedBreak) Text += QChar('\n');
    Text += QString::fromStdString(L);
    NeedBreak = true;
  }
  EditDetached([&](QTextDocument& Doc) {
    QTextCursor C(&Doc);
    C.movePosition(QTextCursor::End);
    C.insertText(Text);
  }, true);
}

TTextSize TSRichEdit::TextSize() const {
  TTextSize Size;
  Size.Bytes = 0;
  const QTextDocument* Doc = document();
  if (Doc->isEmpty()) return Size;
  for (QTextBlock B = Doc->begin(); B.isValid(); B = B.next()) {
    // A final empty paragraph is no line, as in Lines().
    if (B == Doc->lastBlock() && B.length() == 1 && B != Doc->begin()) break;
    Size.Add(B.length() - 1, B.text().count(QChar('\t')));
  }
  return Size;
}

bool TSRichEdit::HasTabStops() const { return !document()->lastBlock().blockFormat().tabPositions().isEmpty(); }

void TSRichEdit::SetLastLine(const std::string& Line) {
  EditDetached([&](QTextDocument& Doc) {
    QTextCursor C(Doc.lastBlock());
    C.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    C.insertText(QString::fromStdString(Line));
  }, true);
}

int TSRichEdit::PointsToPixels(int Points) const { return qRound(Points * logicalDpiX() / 72.0); }
int TSRichEdit::PixelsToPoints(int Pixels) const { return qRound(Pixels * 72.0 / logicalDpiX()); }

std::vector<int> TSRichEdit::TabStops() const {
  std::vector<int> Result;
  for (const auto& Tab : textCursor().blockFormat().tabPositions())
    Result.push_back(qRound(Tab.position * 72.0 / logicalDpiX()));
  return Result;
}

void TSRichEdit::SetTabStops(const std::vector<int>& Points) {
  textCursor().mergeBlockFormat(TabFormat(Points, logicalDpiX()));
}

void TSRichEdit::SetAllTabStops(const std::vector<int>& Points) {
  const QTextBlockFormat Format = TabFormat(Points, logicalDpiX());
  EditDetached([&](QTextDocument& Doc) {
    QTextCursor C(&Doc);
    C.select(QTextCursor::Document);
    C.mergeBlockFormat(Format);
  }, true);
}

TRtfDocument TSRichEdit::ToRtfDocument() const {
  TRtfDocument Result;
  const QFont Default = document()->defaultFont();
  const double Dpi = logicalDpiX();
  // Blocks mostly share their tab stops and runs their fonts: each is held once.
  TRtfTabStops Stops;
  QHash<QString, TRtfFontName> Fonts;
  for (QTextBlock B = document()->begin(); B.isValid(); B = B.next()) {
    TRtfParagraph P;
    const QTextBlockFormat BF = B.blockFormat();
    const Qt::Alignment A = BF.alignment() & Qt::AlignHorizontal_Mask;
    P.Alignment = (A & Qt::AlignHCenter) ? TRtfAlignment::Center
                  : (A & Qt::AlignRight) ? TRtfAlignment::Right
                                         : TRtfAlignment::Left;
    std::vector<int> Points;
    for (const auto& Tab : BF.tabPositions()) Points.push_back(qRound(Tab.position * 72.0 / Dpi));
    if (!(Stops == Points)) Stops = TRtfTabStops(std::move(Points));
    P.TabStops = Stops;
    for (auto It = B.begin(); !It.atEnd(); ++It) {
      const QTextFragment Fr = It.fragment();
      if (!Fr.isValid()) continue;
      const QFont F = Fr.charFormat().font().resolve(Default);
      TRtfRun R;
      R.Text = Fr.text().replace(QChar::LineSeparator, QChar('\n')).toStdString();
      R.Bold = F.bold();
      R.Italic = F.italic();
      R.Underline = F.underline();
      R.StrikeOut = F.strikeOut();
      const QString Family = F.family();
      auto Font = Fonts.find(Family);
      if (Font == Fonts.end()) Font = Fonts.insert(Family, TRtfFontName(Family.toStdString()));
      R.FontName = *Font;
      R.HalfPoints = F.pointSizeF() > 0 ? qRound(F.pointSizeF() * 2) : 0;
      P.Runs.push_back(std::move(R));
    }
    Result.Paragraphs.push_back(std::move(P));
  }
  return Result;
}

void TSRichEdit::FromRtfDocument(const TRtfDocument& Document) {
  const double Dpi = logicalDpiX();
  EditDetached([&](QTextDocument& Doc) {
    Doc.clear();
    QTextCursor C(&Doc);
    // Inside one edit block the cursor does not lay its paragraph out again after every run,
    // which would cost a paragraph of many runs their square.
    C.beginEditBlock();
    bool First = true;
    // Paragraphs that share their tab stops share one format of them.
    TRtfTabStops Stops;
    QTextBlockFormat StopsFormat = TabFormat({}, Dpi);
    for (const TRtfParagraph& P : Document.Paragraphs) {
      if (!P.TabStops.SharedWith(Stops)) {
        Stops = P.TabStops;
        StopsFormat = TabFormat(*Stops, Dpi);
      }
      QTextBlockFormat BF = StopsFormat;
      BF.setAlignment(P.Alignment == TRtfAlignment::Center  ? Qt::AlignHCenter
                      : P.Alignment == TRtfAlignment::Right ? Qt::AlignRight
                                                            : Qt::AlignLeft);
      if (First) C.setBlockFormat(BF);
      else C.insertBlock(BF);
      First = false;
      for (const TRtfRun& R : P.Runs) {
        QTextCharFormat CF;
        CF.setFontWeight(R.Bold ? QFont::Bold : QFont::Normal);
        CF.setFontItalic(R.Italic);
        CF.setFontUnderline(R.Underline);
        CF.setFontStrikeOut(R.StrikeOut);
        if (!R.FontName.empty()) CF.setFontFamilies({QString::fromStdString(R.FontName)});
        if (R.HalfPoints > 0) CF.setFontPointSize(R.HalfPoints / 2.0);
        C.insertText(QString::fromStdString(R.Text), CF);
      }
    }
    C.endEditBlock();
  }, false);
}

void TSRichEdit::SetPlainLines(const std::string& Bytes) {
  QString Text = FromFileBytes(Bytes);
  Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar('\r'), QChar('\n'));
  if (Text.endsWith(QChar('\n'))) Text.chop(1);
  setPlainText(Text);
}

void TSRichEdit::LoadFromFile(const std::string& FileName) {
  const std::string Bytes = ReadWholeFile(FileName);
  if (!FPlainText && LooksLikeRtf(Bytes)) {
    std::string Refusal;
    if (const auto Doc = ReadRtf(Bytes, Refusal)) {
      TTextSize Size;
      Size.Bytes = 0;
      bool TabStops = false;
      for (const TRtfParagraph& P : Doc->Paragraphs) {
        std::string Line;
        for (const TRtfRun& R : P.Runs) Line += R.Text;
        Size.Add(Line);
        TabStops = TabStops || !P.TabStops.empty();
      }
      if (!FitsReportWindow(Size, TabStops)) throw EInOutError(TooLarge(FileName, Size, TabStops));
      FromRtfDocument(*Doc);
      return;
    }
    // Past a cap the file is refused as a whole; shown as text it would cost as much.
    if (!Refusal.empty()) throw EReadError(ReadRefusal("RTF file", FileName, Refusal + "."));
  }
  if (const TTextSize Size = SizeOfText(Bytes); !FitsReportWindow(Size, HasTabStops()))
    throw EInOutError(TooLarge(FileName, Size, HasTabStops()));
  SetPlainLines(Bytes);
}

void TSRichEdit::SaveToFile(const std::string& FileName, const std::vector<std::string>& InsteadOfLastLine) const {
  std::string Bytes;
  if (FPlainText) {
    std::vector<std::string> Shown = Lines();
    if (!InsteadOfLastLine.empty() && !Shown.empty()) Shown.pop_back();
    for (const auto& L : Shown) Bytes += L + "\r\n";
    for (const auto& L : InsteadOfLastLine) Bytes += L + "\r\n";
  } else {
    TRtfDocument Doc = ToRtfDocument();
    if (!InsteadOfLastLine.empty() && !Doc.Paragraphs.empty()) {
      // The lines take the last paragraph's format, as AddLines gives it.
      const TRtfParagraph Last = std::move(Doc.Paragraphs.back());
      Doc.Paragraphs.pop_back();
      TRtfRun Run = Last.Runs.empty() ? TRtfRun{} : Last.Runs.front();
      for (const auto& L : InsteadOfLastLine) {
        TRtfParagraph& P = Doc.Paragraphs.emplace_back(TRtfParagraph{Last.Alignment, Last.TabStops, {}});
        Run.Text = L;
        P.Runs.push_back(Run);
      }
    }
    Bytes = WriteRtf(Doc);
  }
  WriteFileSafely(FileName, [&](TStream& S) {
    if (!Bytes.empty()) S.Write(Bytes.data(), Bytes.size());
  });
}

void TSRichEdit::insertFromMimeData(const QMimeData* Source) {
  if (Source && Source->hasText()) {
    // What the paste adds, less the selection it replaces (counted generously as nothing).
    const TTextSize Pasted = SizeOfText(Source->text().toStdString());
    TTextSize After = TextSize();
    After.Add(Pasted);
    After.Lines -= std::min<int64_t>(Pasted.Lines, 1);
    const bool TabStops = HasTabStops();
    if (!FitsReportWindow(After, TabStops)) {
      emit InsertRefused(QString::fromStdString("The text to paste has " + DescribeTextSize(Pasted, TabStops) +
                                                "; with it the report would be larger than a report window holds (at "
                                                "most " + ReportWindowLimit(After, TabStops) + ")."));
      return;
    }
  }
  QTextEdit::insertFromMimeData(Source);
}

void TSRichEdit::scrollContentsBy(int Dx, int Dy) {
  QTextEdit::scrollContentsBy(Dx, Dy);
  if (Dx != 0) emit OnHScroll();
  if (Dy != 0) emit OnVScroll();
}

bool TSRichEdit::event(QEvent* Event) {
  if (Event->type() == QEvent::ShortcutOverride) {
    const auto* Key = static_cast<QKeyEvent*>(Event);
    if (FReserved.contains(QKeySequence(Key->keyCombination()))) {
      Event->ignore();
      return false;
    }
  }
  return QTextEdit::event(Event);
}

}  // namespace qv
