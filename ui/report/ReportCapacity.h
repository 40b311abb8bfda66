#pragma once
// How much text one report window holds. Qt lays a text out whole when the window is resized
// while scrolled to its end, or when a format is set on all of it; beyond these sizes that takes
// longer than the window may stay unanswered. A tab costs Qt some twenty characters' worth, and
// with tab stops of its own set on the paragraphs a line's tabs cost the square of their count;
// an unbroken line costs the square of its length when wrapped. Plain C++, so the export
// commands can measure a table before they build anything for the window.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct TTextSize {
  int64_t Lines = 0;   // -1 when not known
  int64_t Bytes = -1;  // UTF-8 bytes of the lines, ends not counted; -1 when not known
  int64_t LongestLine = 0;
  int64_t MostTabs = 0;     // in one line
  int64_t Tabs = 0;         // in all lines
  int64_t TabSquares = 0;   // the sum over lines of their tabs squared
  int64_t WideBytes = 0;    // the sum over lines of their bytes squared, in units of WideLineBytes

  void Add(std::string_view Line);
  void Add(int64_t LineBytes, int64_t LineTabs);
  // Takes back a line added last; the longest line and most tabs stay as they were.
  void Remove(std::string_view Line);
  // Another text's lines, as if added one by one.
  void Add(const TTextSize& Other);
};

struct TReportCapacity {
  static constexpr int64_t MaxLines = 10000;
  static constexpr int64_t MaxBytes = 1000000;
  // Layout cost in units of one character: about 0.1 microseconds each, so half a second of
  // layout on a loaded machine (measured in Release, offscreen, window 900 pixels wide).
  static constexpr int64_t MaxLayoutCost = 5000000;
  static constexpr int64_t TabCost = 20;
  static constexpr int64_t WideLineBytes = 4096;
};

// With TabStops, the paragraphs carry tab stops of their own (set on the window's ruler).
int64_t LayoutCost(const TTextSize& Size, bool TabStops);

TTextSize SizeOfLines(const std::vector<std::string>& Lines);
// Lines as SplitLines finds them (CR LF, CR or LF ends one).
TTextSize SizeOfText(std::string_view Text);
bool FitsReportWindow(const TTextSize& Size, bool TabStops = false);
// "4000001 lines (312.4 MB)", with its tabs or longest line when only its layout does not fit;
// what is not known is left out.
std::string DescribeTextSize(const TTextSize& Size, bool TabStops = false);
// The first limit Size goes beyond, as "10000 lines", "1.0 MB" or "as many tabs and long lines
// as it lays out in half a second"; empty when it fits.
std::string ReportWindowLimit(const TTextSize& Size, bool TabStops = false);

}  // namespace qv
