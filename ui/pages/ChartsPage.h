#pragma once
// The "Graphs" sheet (scatter of two detectors picked from menus on the chart's axes) and the
// "Distributions" sheet (histogram and Gaussian fit of one detector with its limit guides).
#include <QObject>
#include <string>
#include <vector>

#include "common/ExportTargets.h"
#include "analysis/Detector.h"

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

class TPageContext;
class TChartView;

// Joins the CSV tables of several distributions column-wise, each table's line k after line k of
// those before it; a table shorter than the others is padded with its own count of empty cells.
// Then the first line gets a leading empty cell, the second "Bin," and each further line its bin
// number from 1.
std::vector<std::string> JoinDistributionTables(const std::vector<std::vector<std::string>>& Tables);

class TChartsPage : public QObject {
  Q_OBJECT
 public:
  explicit TChartsPage(TPageContext& Main);

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
  // Every distribution of the list side by side, the last item's columns first; the list is
  // left on its first item.
  void BtnExportDistributionsClick();
  // The bins of the custom detector while its sheet shows, else of the chosen distribution.
  void MnExportHistogramClick();

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
  QPushButton* BtnExportDistributions = nullptr;
  TExportTargets DistTargets;
  // What the last distribution drawn was asked to show (its series and guide positions).
  THistogramView DistributionView;

 private:
  void BuildGraphs();
  void BuildDistributions();
  void FillDataLists(bool HasData);
  void ClearCharts();
  void GraphToggleClicked(QToolButton* Button);
  TExportRequest DistRequest() const;

  TPageContext& FMain;  // the main window, as a page sees it
  QVBoxLayout* FItemsLayout = nullptr;
};

}  // namespace qv
