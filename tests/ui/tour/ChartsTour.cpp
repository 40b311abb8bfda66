// Tour pictures of the chart sheets: a scatter of a million events, one of less than a decade per
// axis, and a distribution with its fit and limit guides, drawn from chart data made here (no data
// set is loaded).
#include <QPushButton>
#include <QTabWidget>
#include <cmath>
#include <functional>
#include <random>

#include "common/ChartView.h"
#include "pages/ChartsPage.h"
#include "shell/MainWindow.h"

void ChartsTour(qv::TFmMain& Main, const std::function<void(QWidget*, const QString&)>& Capture) {
  auto* Page = Main.findChild<qv::TChartsPage*>();
  if (!Page) return;
  QTabWidget* Explore = Main.Pages("PgExplore");
  const int GraphsTab = Explore->indexOf(Main.Page("TSGraphs"));
  const int DistTab = Explore->indexOf(Main.Page("TsDistributions"));
  const bool WasVisible = Explore->isTabVisible(GraphsTab);
  Explore->setTabVisible(GraphsTab, true);
  Explore->setTabVisible(DistTab, true);
  Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));

  std::mt19937 Random(7);
  std::normal_distribution<double> Noise(0, 0.12);
  qv::ChartData Scatter;
  Scatter.XTitle = "GFP_Comp";
  Scatter.YTitle = "RFP_Comp";
  Scatter.XLog = Scatter.YLog = true;
  Scatter.ShowLegend = false;
  qv::ChartSeries Points;
  Points.Kind = qv::ChartSeries::TKind::Point;
  Points.Color = 0xFF0000;
  Points.Width = 2;
  Points.Points.reserve(1000000);
  for (int i = 0; i < 1000000; ++i) {
    const bool Green = i % 3 != 0;
    Points.Points.emplace_back(std::pow(10.0, (Green ? 3.0 : 1.4) + Noise(Random)),
                               std::pow(10.0, (Green ? 1.5 : 2.9) + Noise(Random)));
  }
  Scatter.Series.push_back(std::move(Points));
  Page->CrtFCS->SetData(std::move(Scatter));
  Explore->setCurrentIndex(GraphsTab);
  Capture(&Main, "Graphs-Scatter");

  // Less than a decade on either axis: the axes still carry their numbers.
  qv::ChartData Narrow;
  Narrow.XTitle = "GFP_Comp";
  Narrow.YTitle = "RFP_Comp";
  Narrow.XLog = Narrow.YLog = true;
  Narrow.ShowLegend = false;
  qv::ChartSeries Close;
  Close.Kind = qv::ChartSeries::TKind::Point;
  Close.Color = 0xFF0000;
  Close.Width = 2;
  for (int i = 0; i < 20000; ++i)
    Close.Points.emplace_back(std::pow(10.0, 2.6 + 0.6 * Noise(Random)), std::pow(10.0, 1.9 + 0.5 * Noise(Random)));
  Narrow.Series.push_back(std::move(Close));
  Page->CrtFCS->SetData(std::move(Narrow));
  Capture(&Main, "Graphs-ScatterUnderADecade");

  qv::ChartData Dist;
  Dist.Title = "GFP_Comp";
  Dist.XTitle = "Log10 intensity";
  Dist.YTitle = "Events";
  qv::ChartSeries Bars;
  Bars.Kind = qv::ChartSeries::TKind::Bar;
  Bars.Name = "Global Z";
  Bars.Color = 0x808080;
  qv::ChartSeries Fit;
  Fit.Kind = qv::ChartSeries::TKind::Line;
  Fit.Name = "Fit";
  Fit.Color = 0x0000FF;
  Fit.Width = 2;
  // Every bin carries its caption, as the detectors give them; the chart shows those that fit.
  for (int b = 1; b < 256; ++b) {
    const double Z = (b - 128) / 32.0;
    const double H = 1000 * std::exp(-Z * Z / 2);
    const double Value = std::pow(10.0, b / 64.0);
    Bars.Points.emplace_back(b, std::round(H * (1 + 0.1 * Noise(Random))));
    Bars.Labels.push_back(QString::number(Value, 'f', Value > 10 ? 0 : 1).toStdString());
    Fit.Points.emplace_back(b, H);
  }
  Dist.Series.push_back(std::move(Bars));
  Dist.Series.push_back(std::move(Fit));
  for (double Guide : {64.0, 192.0}) {
    qv::ChartSeries Line;
    Line.Kind = qv::ChartSeries::TKind::Line;
    Line.Name = "Limit";
    Line.Color = 0x00A000;
    Line.Points = {{Guide, 0}, {Guide, 1100}};
    Dist.Series.push_back(std::move(Line));
  }
  Page->CrtDistribution->SetData(std::move(Dist));
  Explore->setCurrentIndex(DistTab);
  Capture(&Main, "Distributions");
  Page->BtnShowDerive->setEnabled(true);
  Page->BtnShowDeriveClick();
  Capture(&Main, "Distributions-Derive");
  Page->BtnShowDeriveClick();
  Page->BtnShowDerive->setEnabled(false);

  Page->CrtFCS->Clear();
  Page->CrtDistribution->Clear();
  Explore->setTabVisible(GraphsTab, WasVisible);
  Explore->setTabVisible(DistTab, WasVisible);
}
