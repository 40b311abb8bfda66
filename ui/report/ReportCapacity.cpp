#include "report/ReportCapacity.h"

#include <algorithm>

#include "NumberFormat.h"
#include "TextUtils.h"

namespace qv {

namespace {

std::string Megabytes(int64_t Bytes) { return FormatFloat("0.0", static_cast<Extended>(Bytes) / 1e6L) + " MB"; }

}  // namespace

void TTextSize::Add(std::string_view Line) {
  Lines = std::max<int64_t>(Lines, 0) + 1;
  Bytes = std::max<int64_t>(Bytes, 0) + static_cast<int64_t>(Line.size());
  LongestLine = std::max(LongestLine, static_cast<int64_t>(Line.size()));
  MostTabs = std::max(MostTabs, static_cast<int64_t>(std::count(Line.begin(), Line.end(), '\t')));
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

bool FitsReportWindow(const TTextSize& Size) {
  return Size.Lines <= TReportCapacity::MaxLines && Size.Bytes <= TReportCapacity::MaxBytes &&
         Size.LongestLine <= TReportCapacity::MaxLineBytes && Size.MostTabs <= TReportCapacity::MaxLineTabs;
}

std::string DescribeTextSize(const TTextSize& Size) {
  std::string Text;
  if (Size.Lines >= 0) Text = std::to_string(Size.Lines) + (Size.Lines == 1 ? " line" : " lines");
  if (Size.Bytes >= 0) Text += Text.empty() ? Megabytes(Size.Bytes) : " (" + Megabytes(Size.Bytes) + ")";
  if (Size.Lines <= TReportCapacity::MaxLines && Size.Bytes <= TReportCapacity::MaxBytes) {
    if (Size.LongestLine > TReportCapacity::MaxLineBytes)
      Text += " with a line of " + std::to_string(Size.LongestLine) + " characters";
    else if (Size.MostTabs > TReportCapacity::MaxLineTabs)
      Text += " with a line of " + std::to_string(Size.MostTabs) + " tabs";
  }
  return Text;
}

std::string ReportWindowLimit(const TTextSize& Size) {
  if (Size.Lines > TReportCapacity::MaxLines) return std::to_string(TReportCapacity::MaxLines) + " lines";
  if (Size.Bytes > TReportCapacity::MaxBytes) return Megabytes(TReportCapacity::MaxBytes);
  if (Size.LongestLine > TReportCapacity::MaxLineBytes)
    return "lines of " + std::to_string(TReportCapacity::MaxLineBytes) + " characters";
  if (Size.MostTabs > TReportCapacity::MaxLineTabs) return "lines of " + std::to_string(TReportCapacity::MaxLineTabs) + " tabs";
  return {};
}

}  // namespace qv
