#include "report/ReportCapacity.h"

#include <algorithm>

#include "NumberFormat.h"
#include "TextUtils.h"

namespace qv {

namespace {

std::string Megabytes(int64_t Bytes) { return FormatFloat("0.0", static_cast<Extended>(Bytes) / 1e6L) + " MB"; }

bool FitsLines(const TTextSize& Size) {
  return Size.Lines <= TReportCapacity::MaxLines && Size.Bytes <= TReportCapacity::MaxBytes;
}

}  // namespace

void TTextSize::Add(std::string_view Line) {
  Add(static_cast<int64_t>(Line.size()), static_cast<int64_t>(std::count(Line.begin(), Line.end(), '\t')));
}

void TTextSize::Add(int64_t LineBytes, int64_t LineTabs) {
  Lines = std::max<int64_t>(Lines, 0) + 1;
  Bytes = std::max<int64_t>(Bytes, 0) + LineBytes;
  LongestLine = std::max(LongestLine, LineBytes);
  MostTabs = std::max(MostTabs, LineTabs);
  Tabs += LineTabs;
  TabSquares += LineTabs * LineTabs;
  WideBytes += LineBytes * LineBytes / TReportCapacity::WideLineBytes;
}

void TTextSize::Remove(std::string_view Line) {
  const auto LineBytes = static_cast<int64_t>(Line.size());
  const auto LineTabs = static_cast<int64_t>(std::count(Line.begin(), Line.end(), '\t'));
  Lines -= 1;
  Bytes -= LineBytes;
  Tabs -= LineTabs;
  TabSquares -= LineTabs * LineTabs;
  WideBytes -= LineBytes * LineBytes / TReportCapacity::WideLineBytes;
}

void TTextSize::Add(const TTextSize& Other) {
  Lines = std::max<int64_t>(Lines, 0) + std::max<int64_t>(Other.Lines, 0);
  Bytes = std::max<int64_t>(Bytes, 0) + std::max<int64_t>(Other.Bytes, 0);
  LongestLine = std::max(LongestLine, Other.LongestLine);
  MostTabs = std::max(MostTabs, Other.MostTabs);
  Tabs += Other.Tabs;
  TabSquares += Other.TabSquares;
  WideBytes += Other.WideBytes;
}

int64_t LayoutCost(const TTextSize& Size, bool TabStops) {
  return std::max<int64_t>(Size.Bytes, 0) + TReportCapacity::TabCost * Size.Tabs + Size.WideBytes +
         (TabStops ? Size.TabSquares : 0);
}

TTextSize SizeOfLines(const std::vector<std::string>& Lines) {
  TTextSize Size;
  Size.Bytes = 0;
  for (const std::string& Line : Lines) Size.Add(Line);
  return Size;
}

TTextSize SizeOfText(std::string_view Text) {
  TTextSize Size;
  Size.Bytes = 0;
  ForEachLine(Text, [&Size](std::string_view Line) { Size.Add(Line); });
  return Size;
}

bool FitsReportWindow(const TTextSize& Size, bool TabStops) {
  return FitsLines(Size) && LayoutCost(Size, TabStops) <= TReportCapacity::MaxLayoutCost;
}

std::string DescribeTextSize(const TTextSize& Size, bool TabStops) {
  std::string Text;
  if (Size.Lines >= 0) Text = std::to_string(Size.Lines) + (Size.Lines == 1 ? " line" : " lines");
  if (Size.Bytes >= 0) Text += Text.empty() ? Megabytes(Size.Bytes) : " (" + Megabytes(Size.Bytes) + ")";
  if (FitsLines(Size) && LayoutCost(Size, TabStops) > TReportCapacity::MaxLayoutCost) {
    // Whichever costs the most: its tabs or its long lines.
    const int64_t TabsCost = TReportCapacity::TabCost * Size.Tabs + (TabStops ? Size.TabSquares : 0);
    if (TabsCost >= Size.WideBytes)
      Text += " with " + std::to_string(Size.Tabs) + " tabs (up to " + std::to_string(Size.MostTabs) + " in a line)";
    else
      Text += " with a line of " + std::to_string(Size.LongestLine) + " characters";
  }
  return Text;
}

std::string ReportWindowLimit(const TTextSize& Size, bool TabStops) {
  if (Size.Lines > TReportCapacity::MaxLines) return std::to_string(TReportCapacity::MaxLines) + " lines";
  if (Size.Bytes > TReportCapacity::MaxBytes) return Megabytes(TReportCapacity::MaxBytes);
  if (LayoutCost(Size, TabStops) > TReportCapacity::MaxLayoutCost)
    return "as many tabs and long lines as it lays out in half a second";
  return {};
}

}  // namespace qv
