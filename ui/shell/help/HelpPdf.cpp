#include "HelpPdf.h"

#include <cstdio>
#include <sstream>

namespace qv::help {

namespace {

constexpr double PageWidth = 595;   // A4 in points
constexpr double PageHeight = 842;
constexpr double Margin = 60;
constexpr double BodySize = 10.5;
constexpr double HeadingSize = 16;
constexpr double TitleSize = 24;

// Advance widths of Helvetica for ASCII 32..126 in 1/1000 em.
constexpr int HelveticaWidths[95] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278, 556, 556, 556,
    556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, 1015, 667, 667, 722, 722, 667,
    611, 778, 722, 278, 500, 667, 556, 833, 722, 778, 667, 778, 722, 667, 611, 722, 667, 944, 667,
    667, 611, 278, 278, 278, 469, 556, 333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500,
    222, 833, 556, 556, 556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584};

double TextWidth(const std::string& Text, double Size, bool Bold) {
  double Sum = 0;
  for (unsigned char c : Text) Sum += (c >= 32 && c < 127) ? HelveticaWidths[c - 32] : 556;
  return Sum * Size / 1000.0 * (Bold ? 1.08 : 1.0);
}

std::string Escape(const std::string& Text) {
  std::string Out;
  for (unsigned char c : Text) {
    if (c == '(' || c == ')' || c == '\\') Out += '\\';
    Out += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
  }
  return Out;
}

std::vector<std::string> Wrap(const std::string& Text, double Size, double Width) {
  std::vector<std::string> Lines;
  std::istringstream Words(Text);
  std::string Word, Line;
  while (Words >> Word) {
    const std::string Try = Line.empty() ? Word : Line + " " + Word;
    if (!Line.empty() && TextWidth(Try, Size, false) > Width) {
      Lines.push_back(Line);
      Line = Word;
    } else {
      Line = Try;
    }
  }
  if (!Line.empty()) Lines.push_back(Line);
  return Lines;
}

std::string Number(double Value) {
  char Buffer[32];
  std::snprintf(Buffer, sizeof Buffer, "%.2f", Value);
  return Buffer;
}

struct TPage {
  std::string Content;
};
struct TMark {
  std::string Title;
  size_t Page;
  double Top;
};

class TLayout {
 public:
  std::vector<TPage> Pages;
  std::vector<TMark> Marks;

  TLayout() { NewPage(); }

  void Text(const std::string& Line, double X, double Size, bool Bold) {
    Pages.back().Content += "BT /" + std::string(Bold ? "F2" : "F1") + " " + Number(Size) + " Tf " +
                            Number(X) + " " + Number(FY) + " Td (" + Escape(Line) + ") Tj ET\n";
  }
  void Advance(double Height) {
    FY -= Height;
    if (FY < Margin) NewPage();
  }
  void NeedRoom(double Height) {
    if (FY - Height < Margin) NewPage();
  }
  void Rule() {
    Pages.back().Content += "0.2 0.3 0.6 RG 0.8 w " + Number(Margin) + " " + Number(FY) + " m " +
                            Number(PageWidth - Margin) + " " + Number(FY) + " l S\n";
  }
  double Y() const { return FY; }

 private:
  void NewPage() {
    Pages.push_back({});
    FY = PageHeight - Margin;
  }
  double FY = 0;
};

}  // namespace

std::string BuildHelpPdf(const std::vector<THelpSection>& Sections, const std::string& DocumentTitle) {
  TLayout L;
  const double Width = PageWidth - 2 * Margin;
  L.Advance(TitleSize);
  L.Text(DocumentTitle, Margin, TitleSize, true);
  L.Advance(10);
  L.Rule();
  L.Advance(18);
  for (const THelpSection& S : Sections) {
    L.NeedRoom(HeadingSize + 3 * BodySize * 1.4);
    L.Advance(HeadingSize * 0.6);
    L.Marks.push_back({S.Title, L.Pages.size() - 1, L.Y() + HeadingSize});
    L.Advance(HeadingSize * 0.6);
    L.Text(S.Title, Margin, HeadingSize, true);
    L.Advance(HeadingSize * 0.9);
    for (const std::string& P : S.Paragraphs) {
      const bool Bullet = P.rfind("- ", 0) == 0;
      const double Indent = Bullet ? 14 : 0;
      const std::vector<std::string> Lines = Wrap(Bullet ? P.substr(2) : P, BodySize, Width - Indent);
      for (size_t i = 0; i < Lines.size(); ++i) {
        L.Advance(BodySize * 1.4);
        if (Bullet && i == 0) L.Text("-", Margin + 3, BodySize, false);
        L.Text(Lines[i], Margin + Indent, BodySize, false);
      }
      L.Advance(BodySize * 0.6);
    }
    L.Advance(BodySize);
  }

  // Objects: 1 catalog, 2 page tree, 3 outline root, 4 and 5 fonts, then each page and its
  // content stream, then the bookmarks.
  const size_t PageCount = L.Pages.size();
  const size_t FirstPage = 6;
  const size_t FirstMark = FirstPage + 2 * PageCount;
  const size_t MarkCount = L.Marks.size();
  auto PageObj = [&](size_t i) { return FirstPage + 2 * i; };
  std::vector<std::string> Objects(FirstMark + MarkCount);
  Objects[1] = "<< /Type /Catalog /Pages 2 0 R /Outlines 3 0 R /PageMode /UseOutlines >>";
  std::string Kids;
  for (size_t i = 0; i < PageCount; ++i) Kids += std::to_string(PageObj(i)) + " 0 R ";
  Objects[2] = "<< /Type /Pages /Count " + std::to_string(PageCount) + " /Kids [" + Kids + "] >>";
  Objects[3] = MarkCount == 0 ? "<< /Type /Outlines /Count 0 >>"
                              : "<< /Type /Outlines /First " + std::to_string(FirstMark) + " 0 R /Last " +
                                    std::to_string(FirstMark + MarkCount - 1) + " 0 R /Count " +
                                    std::to_string(MarkCount) + " >>";
  Objects[4] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
  Objects[5] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>";
  for (size_t i = 0; i < PageCount; ++i) {
    const std::string Footer = "BT /F1 9 Tf " + Number(PageWidth / 2 - 10) + " 30 Td (" +
                               std::to_string(i + 1) + ") Tj ET\n";
    const std::string Stream = L.Pages[i].Content + Footer;
    Objects[PageObj(i)] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + Number(PageWidth) + " " +
                          Number(PageHeight) + "] /Resources << /Font << /F1 4 0 R /F2 5 0 R >> >> /Contents " +
                          std::to_string(PageObj(i) + 1) + " 0 R >>";
    Objects[PageObj(i) + 1] =
        "<< /Length " + std::to_string(Stream.size()) + " >>\nstream\n" + Stream + "endstream";
  }
  for (size_t m = 0; m < MarkCount; ++m) {
    std::string Item = "<< /Title (" + Escape(L.Marks[m].Title) + ") /Parent 3 0 R";
    if (m > 0) Item += " /Prev " + std::to_string(FirstMark + m - 1) + " 0 R";
    if (m + 1 < MarkCount) Item += " /Next " + std::to_string(FirstMark + m + 1) + " 0 R";
    Item += " /Dest [" + std::to_string(PageObj(L.Marks[m].Page)) + " 0 R /XYZ 0 " + Number(L.Marks[m].Top) +
            " 0] >>";
    Objects[FirstMark + m] = Item;
  }

  std::string Pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<size_t> Offsets(Objects.size(), 0);
  for (size_t i = 1; i < Objects.size(); ++i) {
    Offsets[i] = Pdf.size();
    Pdf += std::to_string(i) + " 0 obj\n" + Objects[i] + "\nendobj\n";
  }
  const size_t XRef = Pdf.size();
  Pdf += "xref\n0 " + std::to_string(Objects.size()) + "\n0000000000 65535 f \n";
  for (size_t i = 1; i < Objects.size(); ++i) {
    char Line[24];
    std::snprintf(Line, sizeof Line, "%010zu 00000 n \n", Offsets[i]);
    Pdf += Line;
  }
  Pdf += "trailer\n<< /Size " + std::to_string(Objects.size()) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(XRef) + "\n%%EOF\n";
  return Pdf;
}

}  // namespace qv::help
