#pragma once
// The "Graphs" sheet (scatter of two detectors picked from menus on the chart's axes) and the
// "Distributions" sheet (histogram and Gaussian fit of one detector with its limit guides).
#include <QObject>
#include <string>

class QAbstractButton;
class QButtonGroup;
class QGroupBox;
class QMenu;
class QMouseEvent;
class QPushButton;
class QSpinBox;
class QToolButton;
class QVBoxLayout;
class QWidget;

namespace qv {

class TFmMain;
class TChartView;

class TChartsPage : public QObject {
  Q_OBJECT
 public:
  explicit TChartsPage(TFmMain& Main);

  // Tag > 0 picks the X detector, Tag < 0 the Y detector (1-based), 0 only redraws.
  void AxisMetricMenuClick(int Tag);
  void BtnGraphAllClick();
  // The axis menu a right click at (X, Y) of the chart opens, or null.
  QMenu* AxisMenuAt(int X, int Y) const;
  void CrtFCSMouseUp(Qt::MouseButton Button, int X, int Y);
  // Draws the chosen distribution; answers its CSV text ("" when nothing is drawn).
  std::string ShowDistribution();
  void RgDistributionsClick() { ShowDistribution(); }
  // Opens or closes the derive panel under the distribution controls.
  void BtnShowDeriveClick();
  int DistributionIndex() const;

  TChartView* CrtFCS = nullptr;
  QToolButton* BtnGraphAll = nullptr;
  QToolButton* BtnGraphThreshold = nullptr;
  QToolButton* BtnGraphGlobalZ = nullptr;
  QSpinBox* SePointSize = nullptr;

  TChartView* CrtDistribution = nullptr;
  QGroupBox* RgDistributions = nullptr;
  QButtonGroup* DistributionItems = nullptr;
  QToolButton* BtnAllPoints = nullptr;
  QToolButton* BtnFiltered = nullptr;
  QToolButton* BtnZFiltered = nullptr;
  QPushButton* BtnShowDerive = nullptr;
  QWidget* PnDistributionControl = nullptr;
  QWidget* PnDerive = nullptr;  // the derive controls, shown while the panel is open

 private:
  void BuildGraphs();
  void BuildDistributions();
  void FillDataLists(bool HasData);
  void ClearCharts();
  void GraphToggleClicked(QToolButton* Button);

  TFmMain& FMain;
  QVBoxLayout* FItemsLayout = nullptr;
};

}  // namespace qv
