#pragma once
// How much text one report window holds. Qt lays a text out whole when the window is resized
// while scrolled to its end, or when a format is set on all of it; beyond these sizes that takes
// longer than the window may stay unanswered. Each line costs more than its characters, and a
// tab far more: a line's cost grows with the square of its tabs. Plain C++, so the export
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
  int64_t MostTabs = 0;  // in one line

  void Add(std::string_view Line);
};

struct TReportCapacity {
  static constexpr int64_t MaxLines = 10000;
  static constexpr int64_t MaxBytes = 1000000;
  static constexpr int64_t MaxLineBytes = 1000;
  static constexpr int64_t MaxLineTabs = 100;
};

TTextSize SizeOfLines(const std::vector<std::string>& Lines);
// Lines as SplitLines finds them (CR LF, CR or LF ends one).
TTextSize SizeOfText(std::string_view Text);
bool FitsReportWindow(const TTextSize& Size);
// "4000001 lines (312.4 MB)", with its longest line or most tabs when only that does not fit;
// what is not known is left out.
std::string DescribeTextSize(const TTextSize& Size);
// The first limit Size goes beyond, as "10000 lines", "1.0 MB", "lines of 1000 characters" or
// "lines of 100 tabs"; empty when it fits.
std::string ReportWindowLimit(const TTextSize& Size);

}  // namespace qv
