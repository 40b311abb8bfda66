#include "common/ChartView.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsPixmapItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QSet>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "common/Colours.h"

namespace qv {

namespace {

bool Usable(double V, bool Log) { return std::isfinite(V) && (!Log || V > 0); }

// Half the narrowest spacing of a bar series' positions: its bars touch but never overlap.
double BarHalfWidth(const ChartSeries& S) {
  double Gap = std::numeric_limits<double>::infinity();
  for (size_t i = 1; i < S.Points.size(); ++i) {
    const double D = std::fabs(S.Points[i].first - S.Points[i - 1].first);
    if (D > 0) Gap = std::min(Gap, D);
  }
  return std::isfinite(Gap) ? Gap / 2 : 0.5;
}

bool DrawnAsImage(const ChartSeries& S) {
  return S.Kind == ChartSeries::TKind::Point && S.Points.size() > TChartView::ImagePointLimit;
}

// A log axis is drawn as a linear axis over log10 of its values.
double AxisValue(double V, bool Log) { return Log ? std::log10(V) : V; }

QCategoryAxis* NewCaptionAxis() {
  auto* A = new QCategoryAxis();
  A->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  return A;
}

// The room a log axis gives its captions: its length in pixels, the extent of a caption along
// it and the gap kept between two.
struct TCaptionRoom {
  double Length = 0;
  double Gap = 0;
  std::function<double(const QString&)> Extent;
};

// Round values to caption a log axis from Lo to Hi (0 < Lo < Hi), at their log10 positions: of
// the candidates (the 1..9, 1-2-5 and power-of-ten steps of each decade, every k-th power of ten,
// evenly spaced round values for a short span) the one with the most captions that stand clear
// of each other and of the axis ends. A span of less than a decade still gets its numbers.
std::vector<std::pair<QString, double>> LogCaptions(double Lo, double Hi, const TCaptionRoom& Room) {
  const double LogLo = std::log10(Lo), LogHi = std::log10(Hi);
  if (!(LogHi > LogLo) || !(Room.Length > 0)) return {};
  const double PerDecade = Room.Length / (LogHi - LogLo);
  // The axis shortens every caption to "..." once its extent exceeds the share of the length
  // each caption gets, and hides one that overlaps its neighbour or the axis end.
  const auto Fit = [&](const std::vector<double>& Values) {
    std::vector<std::pair<QString, double>> Kept;
    double Widest = 0;
    for (double V : Values) {
      const QString Caption = QString::number(V, 'g', 6);
      const double Extent = Room.Extent(Caption);
      const double Pos = (std::log10(V) - LogLo) * PerDecade;
      if (Pos < Extent / 2 || Pos > Room.Length - Extent / 2) continue;
      Widest = std::max(Widest, Extent);
      Kept.emplace_back(Caption, std::log10(V));
    }
    const double Span = Widest + Room.Gap;
    bool Clear = Kept.size() >= 2 && static_cast<double>(Kept.size() + 1) * Span <= Room.Length;
    // Two values alike to six digits would show one caption twice.
    for (size_t i = 1; Clear && i < Kept.size(); ++i)
      Clear = (Kept[i].second - Kept[i - 1].second) * PerDecade >= Span && Kept[i].first != Kept[i - 1].first;
    if (!Clear) Kept.clear();
    return Kept;
  };
  std::vector<std::vector<double>> Candidates;
  const int K0 = static_cast<int>(std::floor(LogLo)), K1 = static_cast<int>(std::ceil(LogHi));
  const auto Decades = [&](std::initializer_list<int> Mantissas, int Every) {
    std::vector<double> Values;
    for (int k = K0; k <= K1; ++k) {
      if (((k % Every) + Every) % Every != 0) continue;
      for (int m : Mantissas)
        if (const double V = m * std::pow(10.0, k); V >= Lo && V <= Hi) Values.push_back(V);
    }
    Candidates.push_back(std::move(Values));
  };
  Decades({1, 2, 3, 4, 5, 6, 7, 8, 9}, 1);
  Decades({1, 2, 5}, 1);
  for (int Every : {1, 2, 3, 5, 10, 20, 50, 100}) Decades({1}, Every);
  const double Span = Hi - Lo;
  const int E = static_cast<int>(std::floor(std::log10(Span)));
  for (int e = E - 2; e <= E; ++e)
    for (int m : {1, 2, 5}) {
      const double Step = m * std::pow(10.0, e);
      const double First = std::ceil(Lo / Step), Last = std::floor(Hi / Step);
      if (!(Last - First >= 1) || Last - First > 100) continue;
      std::vector<double> Values;
      for (double n = First; n <= Last; ++n) Values.push_back(n * m * std::pow(10.0, e));
      Candidates.push_back(std::move(Values));
    }
  std::vector<std::pair<QString, double>> Best;
  for (const std::vector<double>& Values : Candidates)
    if (auto Kept = Fit(Values); Kept.size() > Best.size()) Best = std::move(Kept);
  return Best;
}

// A value's pixel along one axis of the image: its place between the axis ends (of log10 values
// on a log axis), with the ends worked out once for the million points that follow.
class TPixelMap {
 public:
  TPixelMap(double Lo, double Hi, bool Log, double Origin, double Length) : FLog(Log), FOrigin(Origin) {
    FStart = Log ? std::log10(Lo) : Lo;
    FScale = Length / ((Log ? std::log10(Hi) : Hi) - FStart);
  }
  double operator()(double V) const { return FOrigin + ((FLog ? std::log10(V) : V) - FStart) * FScale; }

 private:
  bool FLog;
  double FOrigin, FStart = 0, FScale = 1;
};

}  // namespace

TChartView::TChartView(QWidget* Parent) : QChartView(new QChart(), Parent) {
  setRenderHint(QPainter::Antialiasing, false);
  Rebuild();
}

void TChartView::SetData(const ChartData& Data) {
  FData = Data;
  Rebuild();
}

void TChartView::SetData(ChartData&& Data) {
  FData = std::move(Data);
  Rebuild();
}

void TChartView::Clear() {
  FData = ChartData();
  Rebuild();
}

void TChartView::ComputeRanges() {
  double X0 = std::numeric_limits<double>::infinity(), X1 = -X0, Y0 = X0, Y1 = -X0;
  bool Bars = false;
  for (const ChartSeries& S : FData.Series) {
    Bars = Bars || S.Kind == ChartSeries::TKind::Bar;
    const double Half = S.Kind == ChartSeries::TKind::Bar ? BarHalfWidth(S) : 0;
    for (const auto& [X, Y] : S.Points) {
      if (!Usable(X, FData.XLog) || !Usable(Y, FData.YLog)) continue;
      X0 = std::min(X0, FData.XLog ? X : X - Half);
      X1 = std::max(X1, FData.XLog ? X : X + Half);
      Y0 = std::min(Y0, Y);
      Y1 = std::max(Y1, Y);
    }
    if (S.Kind == ChartSeries::TKind::Bar && !FData.YLog && !S.Points.empty()) Y0 = std::min(Y0, 0.0);
  }
  auto Fix = [](double& Lo, double& Hi, bool Log) {
    if (!std::isfinite(Lo) || !std::isfinite(Hi)) {
      Lo = Log ? 1 : 0;
      Hi = Log ? 10 : 1;
    } else if (Lo == Hi) {
      if (Log) {
        Lo /= 10;
        Hi *= 10;
      } else {
        Lo -= 1;
        Hi += 1;
      }
    }
  };
  Fix(X0, X1, FData.XLog);
  // Bars of nothing but zeros (a class without events) stand on the axis, not in mid-air.
  if (Bars && !FData.YLog && Y0 == 0 && Y1 == 0) Y1 = 1;
  Fix(Y0, Y1, FData.YLog);
  FXMin = X0;
  FXMax = X1;
  FYMin = Y0;
  FYMax = Y1;
}

void TChartView::Rebuild() {
  // A fresh chart each time: axes removed from a hidden chart can leave their items drawn.
  QChart* Old = chart();
  auto* C = new QChart();
  C->legend()->setAlignment(Qt::AlignBottom);
  // Short charts (the distribution under an open derive panel) need every pixel for the plot
  // and its axis captions, so the frame around the chart is kept thin.
  C->layout()->setContentsMargins(0, 0, 0, 0);
  C->setMargins(QMargins(6, 4, 6, 4));
  C->setBackgroundRoundness(0);
  setChart(C);
  delete Old;
  FImageItem = new QGraphicsPixmapItem(C);
  // Between the plot background and the grid, so axes and grid stay visible over the points.
  FImageItem->setZValue(0.5);
  FImageItem->setVisible(false);
  connect(C, &QChart::plotAreaChanged, this, [this] {
    ApplyBinLabels();
    ApplyLogLabels();
    ApplyValueTicks();
    RedrawImage();
  });
  FBinLabels.clear();
  FImage = QImage();
  FLabelledWidth = -1;
  FLogLabelled = {-1, -1};
  ComputeRanges();
  C->setTitle(QString::fromStdString(FData.Title));
  C->legend()->setVisible(FData.ShowLegend && !FData.Series.empty());

  // Bin captions go on the x axis at their own positions; a log axis cannot carry them.
  const ChartSeries* Labelled = nullptr;
  for (const ChartSeries& S : FData.Series)
    if (!FData.XLog && !S.Labels.empty() && S.Labels.size() == S.Points.size()) {
      Labelled = &S;
      break;
    }
  if (FData.XLog) {
    FXAxis = NewCaptionAxis();
  } else if (Labelled) {
    auto* A = new QCategoryAxis();
    A->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    A->setStartValue(FXMin);
    QSet<QString> Seen;
    double Last = -std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < Labelled->Points.size(); ++i) {
      const QString Caption = QString::fromStdString(Labelled->Labels[i]);
      const double X = Labelled->Points[i].first;
      if (Caption.isEmpty() || Seen.contains(Caption) || X <= Last) continue;
      Seen.insert(Caption);
      Last = X;
      FBinLabels.emplace_back(Caption, X);
    }
    FXAxis = A;
  } else {
    FXAxis = new QValueAxis();
  }
  if (FData.YLog) {
    FYAxis = NewCaptionAxis();
  } else {
    FYAxis = new QValueAxis();
  }
  FXAxis->setTitleText(QString::fromStdString(FData.XTitle));
  FYAxis->setTitleText(QString::fromStdString(FData.YTitle));
  FXAxis->setRange(AxisValue(FXMin, FData.XLog), AxisValue(FXMax, FData.XLog));
  FYAxis->setRange(AxisValue(FYMin, FData.YLog), AxisValue(FYMax, FData.YLog));
  if (FData.XLog) static_cast<QCategoryAxis*>(FXAxis)->setStartValue(std::log10(FXMin));
  if (FData.YLog) static_cast<QCategoryAxis*>(FYAxis)->setStartValue(std::log10(FYMin));
  C->addAxis(FXAxis, Qt::AlignBottom);
  C->addAxis(FYAxis, Qt::AlignLeft);
  ApplyBinLabels();
  ApplyLogLabels();
  ApplyValueTicks();

  const bool XLog = FData.XLog, YLog = FData.YLog;
  const auto At = [XLog, YLog](double X, double Y) { return QPointF(AxisValue(X, XLog), AxisValue(Y, YLog)); };
  for (const ChartSeries& S : FData.Series) {
    const QColor Colour = FromPlatformColour(S.Color);
    const QString Name = QString::fromStdString(S.Name);
    QAbstractSeries* Added = nullptr;
    if (S.Kind == ChartSeries::TKind::Point) {
      auto* P = new QScatterSeries();
      P->setMarkerSize(std::max(S.Width, 1) + 1);
      P->setColor(Colour);
      P->setBorderColor(Colour);
      P->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
      // A large series keeps an empty item for its legend entry; its points go into the image.
      if (!DrawnAsImage(S)) {
        QList<QPointF> List;
        List.reserve(static_cast<qsizetype>(S.Points.size()));
        for (const auto& [X, Y] : S.Points)
          if (Usable(X, XLog) && Usable(Y, YLog)) List.append(At(X, Y));
        P->replace(List);
      }
      Added = P;
    } else if (S.Kind == ChartSeries::TKind::Line) {
      auto* L = new QLineSeries();
      QPen Pen(Colour);
      Pen.setWidth(std::max(S.Width, 1));
      L->setPen(Pen);
      QList<QPointF> List;
      for (const auto& [X, Y] : S.Points)
        if (Usable(X, XLog) && Usable(Y, YLog)) List.append(At(X, Y));
      L->replace(List);
      Added = L;
    } else {
      // Bars sit at their bin positions on the value axis, shared with any lines drawn over them.
      auto* Upper = new QLineSeries();
      const double Half = BarHalfWidth(S);
      const double Base = YLog ? FYMin : 0.0;
      QList<QPointF> List;
      for (const auto& [X, Y] : S.Points) {
        if (!Usable(X, XLog) || !Usable(Y, YLog)) continue;
        const double L = XLog ? X : X - Half, R = XLog ? X : X + Half;
        List << At(L, Base) << At(L, Y) << At(R, Y) << At(R, Base);
      }
      Upper->replace(List);
      // Filled down to the bars' base, not to the bottom of the plot.
      auto* Lower = new QLineSeries();
      if (!List.isEmpty()) Lower->replace({List.first(), List.last()});
      auto* Area = new QAreaSeries(Upper, Lower);
      Area->setColor(Colour);
      Area->setBorderColor(Colour.darker(130));
      Added = Area;
    }
    Added->setName(Name);
    C->addSeries(Added);
    // The area keeps its outlines; it is the chart's now, so they go with it.
    if (auto* Area = qobject_cast<QAreaSeries*>(Added)) {
      Area->upperSeries()->setParent(Area);
      Area->lowerSeries()->setParent(Area);
    }
    Added->attachAxis(FXAxis);
    Added->attachAxis(FYAxis);
    // Guide lines carry no name; an empty legend swatch would only puzzle.
    if (Name.isEmpty())
      for (QLegendMarker* Marker : C->legend()->markers(Added)) Marker->setVisible(false);
  }
  RedrawImage();
}

QRectF TChartView::PlotRect() const {
  const QRectF Area = chart()->plotArea();
  return mapFromScene(chart()->mapToScene(Area)).boundingRect();
}

bool TChartView::ValueAt(const QPoint& Pos, double& X, double& Y) const {
  const QRectF Plot = PlotRect();
  if (Plot.isEmpty() || !Plot.contains(Pos)) return false;
  const double TX = (Pos.x() - Plot.left()) / Plot.width();
  const double TY = (Plot.bottom() - Pos.y()) / Plot.height();
  X = FData.XLog ? std::pow(10.0, std::log10(FXMin) + TX * (std::log10(FXMax) - std::log10(FXMin)))
                 : FXMin + TX * (FXMax - FXMin);
  Y = FData.YLog ? std::pow(10.0, std::log10(FYMin) + TY * (std::log10(FYMax) - std::log10(FYMin)))
                 : FYMin + TY * (FYMax - FYMin);
  return true;
}

void TChartView::RedrawImage() {
  const QRectF Area = chart()->plotArea();
  // The plot area is announced again after captions change; the points stay where they were.
  if (!FImage.isNull() && Area == FImageArea) return;
  FImageArea = Area;
  FImage = QImage();
  const int W = static_cast<int>(std::floor(Area.width())), H = static_cast<int>(std::floor(Area.height()));
  bool Any = false;
  for (const ChartSeries& S : FData.Series) Any = Any || DrawnAsImage(S);
  if (!Any || W <= 0 || H <= 0) {
    FImageItem->setVisible(false);
    return;
  }
  FImage = QImage(W, H, QImage::Format_ARGB32_Premultiplied);
  FImage.fill(Qt::transparent);
  const bool XLog = FData.XLog, YLog = FData.YLog;
  const TPixelMap MapX(FXMin, FXMax, XLog, 0, W), MapY(FYMin, FYMax, YLog, H, -H);
  auto* Bits = reinterpret_cast<QRgb*>(FImage.bits());
  const qsizetype Stride = FImage.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
  for (const ChartSeries& S : FData.Series) {
    if (!DrawnAsImage(S)) continue;
    const QRgb Pixel = FromPlatformColour(S.Color).rgba();
    const int Size = std::max(S.Width, 1);
    const int Lead = Size / 2;
    // Plain pixel writes: a million points through QPainter would miss the half-second budget.
    for (const auto& [X, Y] : S.Points) {
      if (!Usable(X, XLog) || !Usable(Y, YLog)) continue;
      const int PX = static_cast<int>(std::clamp(MapX(X), -1.0, W + 1.0)) - Lead;
      const int PY = static_cast<int>(std::clamp(MapY(Y), -1.0, H + 1.0)) - Lead;
      for (int dy = 0; dy < Size; ++dy) {
        const int Row = PY + dy;
        if (Row < 0 || Row >= H) continue;
        QRgb* Line = Bits + Row * Stride;
        for (int dx = 0; dx < Size; ++dx) {
          const int Col = PX + dx;
          if (Col >= 0 && Col < W) Line[Col] = Pixel;
        }
      }
    }
  }
  FImageItem->setPixmap(QPixmap::fromImage(FImage));
  FImageItem->setPos(Area.topLeft());
  FImageItem->setVisible(true);
}

void TChartView::ApplyBinLabels() {
  auto* A = qobject_cast<QCategoryAxis*>(FXAxis);
  if (!A || FBinLabels.empty()) return;
  // Before the first layout the plot width is not known yet: the widget's stands in for it.
  double Width = chart()->plotArea().width();
  if (Width <= 1) Width = std::max(width() - 100, 100);
  // Captions change the axis height, not the plot width; a change under a pixel keeps them.
  if (std::fabs(Width - FLabelledWidth) < 1) return;
  FLabelledWidth = Width;
  const QFontMetricsF Metrics(A->labelsFont());
  double Widest = 0;
  for (const auto& [Caption, X] : FBinLabels) Widest = std::max(Widest, Metrics.horizontalAdvance(Caption));
  // The axis shortens every caption to "..." once its width exceeds the axis width shared out
  // among all captions (less their padding), and hides one that overlaps its neighbour. So
  // every k-th caption is shown, k the least that passes both; the first stands clear of the
  // axis start.
  const double PerUnit = Width / (FXMax - FXMin);
  const double Span = Widest + LabelGap;
  const auto Fits = [&](size_t Step, std::vector<size_t>& Kept) {
    Kept.clear();
    double Last = -std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < FBinLabels.size(); ++i) {
      const double Pos = (FBinLabels[i].second - FXMin) * PerUnit;
      if (Kept.empty() ? Pos < Widest / 2 : i - Kept.back() < Step) continue;
      if (Pos > Width - Widest / 2) break;
      if (Pos - Last < Span) return false;
      Kept.push_back(i);
      Last = Pos;
    }
    return static_cast<double>(Kept.size() + 1) * Span <= Width;
  };
  std::vector<size_t> Kept;
  size_t Step = 1;
  while (Step < FBinLabels.size() && !Fits(Step, Kept)) ++Step;
  if (Step >= FBinLabels.size()) Fits(Step, Kept);
  for (const QString& Caption : A->categoriesLabels()) A->remove(Caption);
  for (size_t i : Kept) A->append(FBinLabels[i].first, FBinLabels[i].second);
}

void TChartView::ApplyLogLabels() {
  const QRectF Plot = chart()->plotArea();
  for (int Horizontal = 1; Horizontal >= 0; --Horizontal) {
    auto* A = qobject_cast<QCategoryAxis*>(Horizontal ? FXAxis : FYAxis);
    if (!A || !(Horizontal ? FData.XLog : FData.YLog)) continue;
    // Before the first layout the widget's size stands in for the plot's.
    double Length = Horizontal ? Plot.width() : Plot.height();
    if (Length <= 1) Length = std::max((Horizontal ? width() : height()) - 100, 100);
    double& Labelled = FLogLabelled[static_cast<size_t>(Horizontal)];
    if (std::fabs(Length - Labelled) < 1) continue;
    Labelled = Length;
    const QFontMetricsF Metrics(A->labelsFont());
    TCaptionRoom Room;
    Room.Length = Length;
    Room.Gap = Horizontal ? LabelGap : LabelGap / 2;
    if (Horizontal)
      Room.Extent = [&Metrics](const QString& Caption) { return Metrics.horizontalAdvance(Caption); };
    else
      Room.Extent = [&Metrics](const QString&) { return Metrics.height(); };
    const double Lo = Horizontal ? FXMin : FYMin, Hi = Horizontal ? FXMax : FYMax;
    for (const QString& Caption : A->categoriesLabels()) A->remove(Caption);
    for (const auto& [Caption, At] : LogCaptions(Lo, Hi, Room)) A->append(Caption, At);
  }
}

void TChartView::ApplyValueTicks() {
  // Only the upright axis runs short: the window's least width leaves room for every caption.
  auto* A = qobject_cast<QValueAxis*>(FYAxis);
  const double Length = chart()->plotArea().height();
  if (!A || Length <= 1) return;
  const double Step = QFontMetricsF(A->labelsFont()).height() + LabelGap / 2;
  A->setTickCount(std::clamp(static_cast<int>(Length / Step), 2, DefaultTicks));
}

void TChartView::mouseReleaseEvent(QMouseEvent* Event) {
  QChartView::mouseReleaseEvent(Event);
  emit MouseReleased(Event);
}

}  // namespace qv
