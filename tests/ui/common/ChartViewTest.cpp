// The chart widget: series kinds, axes, colours, and the image path of large scatters.
#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLegend>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <QtTest>

#include "common/ChartView.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"

using namespace qv;
using namespace qv::test;

namespace {

ChartSeries Series(ChartSeries::TKind Kind, uint32_t Colour, std::vector<std::pair<double, double>> Points) {
  ChartSeries S;
  S.Kind = Kind;
  S.Color = Colour;
  S.Points = std::move(Points);
  return S;
}

}  // namespace

class ChartViewTest : public QObject {
  Q_OBJECT
 private slots:
  void KindsColoursAndLabelledBars() {
    TChartView View;
    View.resize(600, 400);
    View.show();
    ChartData D;
    D.Title = "Distribution";
    D.XTitle = "Bin";
    D.YTitle = "Count";
    auto Bars = Series(ChartSeries::TKind::Bar, 0x0000FF, {{1, 5}, {2, 7}, {3, 2}});
    Bars.Name = "Events";
    Bars.Labels = {"a", "b", "c"};
    D.Series.push_back(Bars);
    auto Line = Series(ChartSeries::TKind::Line, 0xFF0000, {{1, 4}, {3, 3}});
    Line.Name = "Fit";
    Line.Width = 3;
    D.Series.push_back(Line);
    D.Series.push_back(Series(ChartSeries::TKind::Point, 0x00FF00, {{2, 1}}));
    View.SetData(D);
    Pump();
    const auto All = View.chart()->series();
    QCOMPARE(All.size(), 3);
    auto* Area = qobject_cast<QAreaSeries*>(All[0]);
    QVERIFY(Area);
    QCOMPARE(Area->color(), QColor(255, 0, 0));  // $000000FF is red
    QCOMPARE(Area->name(), QString("Events"));
    // Each bar touches its neighbours: edges at half the bin spacing, base at zero.
    QCOMPARE(Area->upperSeries()->at(0), QPointF(0.5, 0));
    QCOMPARE(Area->upperSeries()->at(2), QPointF(1.5, 5));
    auto* L = qobject_cast<QLineSeries*>(All[1]);
    QVERIFY(L);
    QCOMPARE(L->pen().color(), QColor(0, 0, 255));
    QCOMPARE(L->pen().width(), 3);
    auto* P = qobject_cast<QScatterSeries*>(All[2]);
    QVERIFY(P);
    QCOMPARE(P->count(), 1);
    QCOMPARE(P->color(), QColor(0, 255, 0));
    QCOMPARE(View.chart()->title(), QString("Distribution"));
    auto* X = qobject_cast<QCategoryAxis*>(View.XAxis());
    QVERIFY(X);
    QCOMPARE(X->categoriesLabels(), QStringList({"a", "b", "c"}));
    QCOMPARE(X->titleText(), QString("Bin"));
    QCOMPARE(View.YAxis()->titleText(), QString("Count"));
    QCOMPARE(View.YMin(), 0.0);
    QCOMPARE(View.YMax(), 7.0);
    QVERIFY(View.chart()->legend()->isVisible());
    QVERIFY(View.PointImage().isNull());

    D.ShowLegend = false;
    View.SetData(D);
    QVERIFY(!View.chart()->legend()->isVisible());
  }

  void LogAxesDropValuesTheyCannotShow() {
    TChartView View;
    View.resize(600, 400);
    View.show();
    ChartData D;
    D.XLog = true;
    D.YLog = true;
    D.Series.push_back(Series(ChartSeries::TKind::Line, 0, {{0, 5}, {10, 100}, {1000, -1}, {100, 1000}}));
    View.SetData(D);
    Pump();
    QVERIFY(qobject_cast<QCategoryAxis*>(View.XAxis()));
    QVERIFY(qobject_cast<QCategoryAxis*>(View.YAxis()));
    QCOMPARE(View.chart()->axes().size(), 2);  // the previous axes are gone
    auto* Line = qobject_cast<QLineSeries*>(View.chart()->series()[0]);
    QCOMPARE(Line->count(), 2);
    QCOMPARE(Line->at(1), QPointF(2, 3));  // drawn at log10 of the values
    QCOMPARE(View.XMin(), 10.0);
    QCOMPARE(View.XMax(), 100.0);
    // Value lookup follows the log scale: the plot's middle is the geometric mean.
    const QRectF Plot = View.PlotRect();
    double X = 0, Y = 0;
    QVERIFY(View.ValueAt(Plot.center().toPoint(), X, Y));
    QVERIFY(std::fabs(X - std::sqrt(1000.0)) < 2.0);
    QVERIFY(!View.ValueAt(QPoint(1, 1), X, Y));

    // An empty chart still has usable axes and no legend.
    View.Clear();
    QVERIFY(View.IsEmpty());
    QVERIFY(View.chart()->series().isEmpty());
    QVERIFY(!View.chart()->legend()->isVisible());
  }

  void LogAxesCaptionEverySpan() {
    TChartView View;
    View.resize(600, 400);
    View.show();
    QVERIFY(QTest::qWaitForWindowExposed(&View));
    // Less than a decade (a scatter of log values), a few decades, one value's neighbourhood.
    for (const auto& [Lo, Hi] : {std::pair{150.0, 900.0}, std::pair{1.7, 2.2}, std::pair{10.0, 100000.0},
                                 std::pair{0.01, 4.0}, std::pair{150.0, 151.0}}) {
      ChartData D;
      D.XLog = D.YLog = true;
      D.XTitle = "GFP_Comp";
      D.YTitle = "RFP_Comp";
      D.Series.push_back(Series(ChartSeries::TKind::Point, 0, {{Lo, Lo}, {Hi, Hi}, {std::sqrt(Lo * Hi), Hi}}));
      View.SetData(D);
      Pump();
      // The numbers the axes show: every caption drawn whole, a round value inside the span at
      // its place on the log scale.
      QStringList Drawn;
      for (QGraphicsItem* Item : View.scene()->items())
        if (auto* Text = dynamic_cast<QGraphicsTextItem*>(Item); Text && Text->isVisible())
          Drawn << Text->toPlainText();
      for (QAbstractAxis* Axis : {View.XAxis(), View.YAxis()}) {
        auto* A = qobject_cast<QCategoryAxis*>(Axis);
        QVERIFY(A);
        const QStringList Captions = A->categoriesLabels();
        QVERIFY2(Captions.size() >= 2, qPrintable(QString("%1..%2").arg(Lo).arg(Hi)));
        for (const QString& Caption : Captions) {
          bool Number = false;
          const double V = Caption.toDouble(&Number);
          QVERIFY(Number && V >= Lo && V <= Hi);
          QVERIFY(std::fabs(A->endValue(Caption) - std::log10(V)) < 1e-9);
          QVERIFY2(Drawn.contains(Caption), qPrintable(Caption));
        }
      }
      QVERIFY(Drawn.contains("GFP_Comp") && Drawn.contains("RFP_Comp"));
    }
  }

  void MillionPointsGoIntoOneImageRedrawnOnResize() {
    TChartView View;
    View.resize(500, 400);
    View.show();
    QVERIFY(QTest::qWaitForWindowExposed(&View));
    ChartData D;
    auto P = Series(ChartSeries::TKind::Point, 0x0000FF, {});
    P.Name = "Events";
    P.Points.reserve(1000000);
    for (int i = 0; i < 1000000; ++i) P.Points.emplace_back(1 + i % 1000, 1 + i / 1000);
    D.Series.push_back(std::move(P));
    View.SetData(std::move(D));
    Pump();
    const auto All = View.chart()->series();
    QCOMPARE(All.size(), 1);
    QCOMPARE(qobject_cast<QScatterSeries*>(All[0])->count(), 0);  // legend entry only
    const QImage First = View.PointImage();
    QVERIFY(!First.isNull());
    QCOMPARE(First.size(), View.chart()->plotArea().size().toSize());
    QCOMPARE(QColor(First.pixel(First.width() / 2, First.height() / 2)), QColor(255, 0, 0));

    View.resize(800, 600);
    Pump();
    QVERIFY(View.PointImage().width() > First.width());
    QCOMPARE(View.PointImage().size(), View.chart()->plotArea().size().toSize());

    // A smaller set goes back to ordinary items and drops the image.
    ChartData Small;
    Small.Series.push_back(Series(ChartSeries::TKind::Point, 0, {{1, 1}, {2, 2}}));
    View.SetData(Small);
    QVERIFY(View.PointImage().isNull());
    QCOMPARE(qobject_cast<QScatterSeries*>(View.chart()->series()[0])->count(), 2);
  }

  void BinCaptionsThinOutToFitTheWidth() {
    TChartView View;
    View.resize(500, 350);
    View.show();
    QVERIFY(QTest::qWaitForWindowExposed(&View));
    ChartData D;
    auto Bars = Series(ChartSeries::TKind::Bar, 0x808080, {});
    for (int b = 1; b < 256; ++b) {
      Bars.Points.emplace_back(b, b % 40);
      Bars.Labels.push_back(std::to_string(1000 + b));
    }
    D.Series.push_back(Bars);
    View.SetData(D);
    Pump();
    auto Check = [&View] {
      auto* X = qobject_cast<QCategoryAxis*>(View.XAxis());
      const QStringList Shown = X->categoriesLabels();
      // The axis gives each caption its share of the width: all must fit it, evenly spaced.
      const double Caption = QFontMetricsF(X->labelsFont()).horizontalAdvance("1255") + 8;
      if (Shown.size() < 3 || (Shown.size() + 1) * Caption > View.chart()->plotArea().width()) return qsizetype(0);
      const double Step = X->endValue(Shown[1]) - X->endValue(Shown[0]);
      for (qsizetype i = 1; i < Shown.size(); ++i)
        if (X->endValue(Shown[i]) - X->endValue(Shown[i - 1]) != Step) return qsizetype(0);
      return Shown.size();
    };
    const qsizetype Narrow = Check();
    QVERIFY(Narrow >= 3);
    QVERIFY(Narrow < 40);
    View.resize(1000, 350);
    Pump();
    QVERIFY(Check() > Narrow);
  }

  // A chart squeezed short (the graphs sheet at the window's least size) still shows numbers up
  // its value axis, fewer of them, none shortened to "...".
  void ShortChartKeepsNumbersOnItsValueAxis() {
    TChartView View;
    View.show();
    QVERIFY(QTest::qWaitForWindowExposed(&View));
    ChartData D;
    D.Series.push_back(Series(ChartSeries::TKind::Line, 0, {{0, 0}, {10, 250}}));
    View.SetData(D);
    for (const int Height : {400, 95}) {
      View.resize(600, Height);
      Pump();
      const QRectF Plot = View.chart()->mapRectToScene(View.chart()->plotArea());
      QStringList Left;
      for (QGraphicsItem* Item : View.scene()->items())
        if (auto* Text = dynamic_cast<QGraphicsTextItem*>(Item);
            Text && Text->isVisible() && !Text->toPlainText().isEmpty() &&
            Text->sceneBoundingRect().right() <= Plot.left() + 1)
          Left << Text->toPlainText();
      QVERIFY2(Left.size() >= 2, qPrintable(Left.join(" | ")));
      for (const QString& Caption : Left) {
        bool Number = false;
        Caption.toDouble(&Number);
        QVERIFY2(Number, qPrintable(QString("%1 high: %2").arg(Height).arg(Left.join(" | "))));
      }
    }
  }
};

static RegisterUiTest<ChartViewTest> Register;

#include "ChartViewTest.moc"
