#pragma once
// The rich text of the report window as plain data, and its RTF form. No Qt here, so the
// writer and the reader are tested on their own.
#include <string>
#include <vector>

namespace qv {

enum class TRtfAlignment { Left, Center, Right };

struct TRtfRun {
  std::string Text;  // UTF-8, without line breaks; a tab stands for itself
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  std::string FontName;  // empty: the document's default font
  int HalfPoints = 0;    // font size in half points; 0: the default size
  bool operator==(const TRtfRun&) const = default;
};

struct TRtfParagraph {
  TRtfAlignment Alignment = TRtfAlignment::Left;
  std::vector<int> TabStops;  // points, in the order the paragraph holds them
  std::vector<TRtfRun> Runs;
  bool operator==(const TRtfParagraph&) const = default;
};

struct TRtfDocument {
  std::vector<TRtfParagraph> Paragraphs;
  bool operator==(const TRtfDocument&) const = default;
};

// The document as RTF 1 (ANSI, characters beyond ASCII as \u with a '?' fallback), lines
// ending CR LF. Paragraphs are separated by \par; the last one has none.
std::string WriteRtf(const TRtfDocument& Document);

}  // namespace qv
