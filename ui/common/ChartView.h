#pragma once
// The one chart widget: shows any engine ChartData on Qt Charts. The widget keeps its own copy
// of the data, so a freed data set never leaves it pointing into released memory.
#include <QChartView>
#include <QImage>
#include <QString>
#include <array>
#include <utility>
#include <vector>

#include "Host.h"

class QGraphicsPixmapItem;
class QAbstractAxis;

namespace qv {

class TChartView : public QChartView {
  Q_OBJECT
 public:
  // A point series above this many points is drawn into one image instead of an item per point:
  // 20,000 items take half a second to make and paint, the image a few milliseconds.
  static constexpr size_t ImagePointLimit = 1000;

  explicit TChartView(QWidget* Parent = nullptr);

  void SetData(const ChartData& Data);
  void SetData(ChartData&& Data);
  void Clear();
  const ChartData& Data() const { return FData; }
  bool IsEmpty() const { return FData.Series.empty(); }

  // The plot rectangle in widget coordinates (where the data is drawn).
  QRectF PlotRect() const;
  // Data values under a widget position, or false outside the plot rectangle.
  bool ValueAt(const QPoint& Pos, double& X, double& Y) const;
  double XMin() const { return FXMin; }
  double XMax() const { return FXMax; }
  double YMin() const { return FYMin; }
  double YMax() const { return FYMax; }
  // The image of the large point series; null when none is drawn that way.
  const QImage& PointImage() const { return FImage; }
  QAbstractAxis* XAxis() const { return FXAxis; }
  QAbstractAxis* YAxis() const { return FYAxis; }
  // Space kept between two bin captions on the x axis, in pixels.
  static constexpr double LabelGap = 12;

 signals:
  void MouseReleased(QMouseEvent* Event);

 protected:
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  void Rebuild();
  void ComputeRanges();
  void RedrawImage();
  // Puts on the bin axis only as many captions as fit side by side at the plot's width.
  void ApplyBinLabels();
  // Captions a log axis at round values, as many as its length holds.
  void ApplyLogLabels();
  // Gives the upright value axis no more of its captions than its length holds, so a short chart
  // shows numbers rather than every caption shortened to "...".
  void ApplyValueTicks();
  static constexpr int DefaultTicks = 5;

  ChartData FData;
  double FXMin = 0, FXMax = 1, FYMin = 0, FYMax = 1;
  QAbstractAxis* FXAxis = nullptr;
  QAbstractAxis* FYAxis = nullptr;
  QGraphicsPixmapItem* FImageItem = nullptr;
  QImage FImage;
  QRectF FImageArea;  // the plot area FImage was drawn for
  std::vector<std::pair<QString, double>> FBinLabels;  // every caption the data offers
  double FLabelledWidth = -1;                          // plot width the shown captions fit
  std::array<double, 2> FLogLabelled{-1, -1};          // log axis lengths (y, x) the captions fit
};

}  // namespace qv
