// The analysis report of a data set, its event and class-means grids, and the scatter charts of
// its detectors' value series.
#include <algorithm>
#include <ctime>

#include "ClassPatterns.h"
#include "Errors.h"
#include "Files.h"
#include "NumberFormat.h"
#include "TextUtils.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

constexpr char TAB = '\t';
constexpr const char* CRLF = "\r\n";

std::string Stars() { return std::string(83, '*'); }

std::string ShortDate() {
  const std::time_t Now = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Now, &Local);
  char Buffer[64];
  const size_t Length = std::strftime(Buffer, sizeof Buffer, "%x", &Local);
  return std::string(Buffer, Length);
}

void Append(TStringArray& Lines, const TStringArray& More) { Lines.insert(Lines.end(), More.begin(), More.end()); }

}  // namespace

void TFCSData::AnalysisReport(const TProtocol& Protocol, std::string& Text, Progress* Gauge) {
  TStringArray Lines;
  Lines.push_back("Analysis of " + ExtractFileName(SourceName) + " on " + ShortDate());
  if (SourceName == MergedName) {
    Append(Lines, SplitLines(FileNames));
    Lines.emplace_back();
  }
  Lines.push_back("Processed using protocol " + ExtractFileName(ProtocolName));
  Lines.emplace_back();

  const TStringArray NamesA = SplitLines(YNPatternList(Protocol.ChannelCount(), YNAll));
  const TStringArray NamesB = SplitLines(Protocol.Genotypes->ClassCodeTable());
  std::string Labels;
  Protocol.ChannelHeader(TAB, Labels);
  TStringArray ChannelTable = SplitLines(Labels);
  Protocol.ClassListText(NamesA, TAB, Labels);
  TStringArray S = SplitLines(Labels);
  Protocol.ClassListText(NamesB, TAB, Labels);
  TStringArray R = SplitLines(Labels);
  TStringArray X = R;
  for (TStringArray* Table : {&ChannelTable, &S, &R, &X}) (*Table)[0] += std::string("Count") + TAB;
  ChiReport(Protocol, ChannelTable, TAB, Gauge);
  ProportionReport(NamesA, S, TAB, 0, false, Gauge);
  ProportionReport(NamesB, R, TAB, 2, true, Gauge);
  ProportionReport(NamesB, X, TAB, 1, true, Gauge);

  const auto Section = [&](const std::string& Title) {
    Lines.push_back(Stars());
    Lines.push_back(Title);
    Lines.push_back(Stars());
    Lines.emplace_back();
  };
  Section("Simple Threshold Scoring");
  Append(Lines, ChannelTable);
  Lines.emplace_back();
  Append(Lines, S);
  Lines.emplace_back();
  Section("Relaxed Z-Scoring ");
  Append(Lines, X);
  Lines.emplace_back();
  Section("Rigorous Z-Scoring");
  Append(Lines, R);
  Lines.emplace_back();
  Section("Channel Means Report");
  std::string Means;
  ChannelMeansReport(Protocol, NamesB, 2, Means);
  Lines.push_back(Means);

  Text.clear();
  for (const std::string& Line : Lines) Text += Line + CRLF;
}

void TFCSData::FillEventGrid(const TProtocol& Protocol, StringTable& Grid, Progress* Gauge,
                             bool IncludeFiltered) const {
  if (Events.empty()) return;
  const int32_t NG = Events.GateCount(), NC = Events.ChannelCount();
  const int32_t Count = static_cast<int32_t>(Events.size());
  if (Gauge) {
    Gauge->SetMax(Count);
    Gauge->SetPosition(0);
  }
  Grid.SetSize(1 + NG + 2 * NC, Count + 1);
  Grid.SetCell(0, 0, "Index");
  for (int32_t g = 0; g < NG; ++g) {
    const TGlobalGate* Gate = Protocol.GetGate(g);
    Grid.SetCell(g + 1, 0, Gate ? Gate->Name : std::string());
  }
  for (int32_t c = 0; c < NC; ++c) {
    const std::string Name = static_cast<size_t>(c) < ChannelNames.size() ? ChannelNames[c] : std::string();
    Grid.SetCell(NG + 1 + c, 0, Name + "_Raw");
    Grid.SetCell(NG + 1 + NC + c, 0, Name + "_Comp");
  }
  int32_t Row = 0;
  for (int32_t i = 0; i < Count; ++i) {
    if (Gauge && i % 100 == 0) {
      Gauge->SetPosition(i);
      Gauge->Pump();
    }
    const TFCSLine E = Events[static_cast<size_t>(i)];
    if (E.Filtered() && !IncludeFiltered) continue;
    E.FillGridRow(Grid, ++Row);
  }
  Grid.SetRowCount(Row + 1);
}

void TFCSData::FillMeansGrid(StringTable& Grid, int32_t ClassNumber) const {
  std::vector<size_t> Members;
  for (size_t i = Events.size(); i-- > 0;)
    if (Events[i].Classes()[2] == ClassNumber) Members.push_back(i);
  if (Members.empty()) {
    Grid.SetSize(1, 1);
    Grid.SetCell(0, 0, "No Data");
    return;
  }
  const int32_t NC = Events.ChannelCount();
  Grid.SetSize(2 * NC, static_cast<int32_t>(Members.size()) + 1);
  for (int32_t c = 0; c < NC; ++c) {
    const std::string Name = static_cast<size_t>(c) < ChannelNames.size() ? ChannelNames[c] : std::string();
    Grid.SetCell(c, 0, Name + "_Raw");
    Grid.SetCell(NC + c, 0, Name + "_Comp");
  }
  for (size_t r = 0; r < Members.size(); ++r) {
    const TFCSLine E = Events[Members[r]];
    const auto Raw = E.RawValues();
    const auto Comp = E.CompValues();
    const int32_t Row = static_cast<int32_t>(r) + 1;
    for (int32_t c = 0; c < NC; ++c) {
      Grid.SetCell(c, Row, FormatFloat("##0.0", Raw[c]));
      Grid.SetCell(NC + c, Row, Comp.empty() ? std::string() : FormatFloat("##0.0", Comp[c]));
    }
  }
}

void TFCSData::DrawScatter(ChartData& Chart, int32_t XDetector, Progress* Gauge, int32_t Series, int32_t PointSize,
                           int32_t YDetector) const {
  const TDetector* X = GetDetector(XDetector);
  const TDetector* Y = GetDetector(YDetector);
  if (Series < 0 || Series >= X->SeriesCount || Series >= Y->SeriesCount) throw RangeCheckError();
  TScatterAxis XAxis{&X->SeriesValues[Series], X->GetSeriesName(0), X->Log};
  TScatterAxis YAxis{&Y->SeriesValues[Series], Y->GetSeriesName(0), Y->Log};
  FillScatter(Chart, XAxis, YAxis, PointSize, Gauge);
}

void TFCSData::FillScatter(ChartData& Chart, const TScatterAxis& X, const TScatterAxis& Y, int32_t PointSize,
                           Progress* Gauge) const {
  PumpMessages(Gauge);
  Chart.Series.clear();
  ChartSeries Points;
  Points.Kind = ChartSeries::TKind::Point;
  Points.Color = 0xFF0000;
  Points.Width = PointSize;
  const size_t N = (X.Values && Y.Values) ? std::min(X.Values->size(), Y.Values->size()) : 0;
  Points.Points.reserve(N);
  const int64_t Highest = std::max<int64_t>(static_cast<int64_t>(Events.size()) - 1, 0);
  for (size_t j = N; j-- > 0;) {
    if (Gauge && j % 200 == 0) {
      Gauge->SetPosition(std::max<int64_t>(Highest - static_cast<int64_t>(j), 0));
      Gauge->Pump();
    }
    const float XV = (*X.Values)[j], YV = (*Y.Values)[j];
    if (static_cast<Extended>(XV) > 0.001L && static_cast<Extended>(YV) > 0.001L) Points.Points.emplace_back(XV, YV);
  }
  Chart.Series.push_back(std::move(Points));
  Chart.XTitle = X.Title;
  Chart.XLog = X.Log;
  Chart.YTitle = Y.Title;
  Chart.YLog = Y.Log;
}

}  // namespace qv
