#pragma once
// The "Class Explorer" sheet: the events of one genotype class as a grid of their channel values,
// and the histogram of one channel over the events of one class, drawn into the data set's class
// detector.
#include <QObject>

#include "common/ExportTargets.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QTableView;
class QVBoxLayout;

namespace qv {

class TPageContext;
class TChartView;
class TClassMeansModel;

class TClassExplorerPage : public QObject {
  Q_OBJECT
 public:
  explicit TClassExplorerPage(TPageContext& Main);

  // Tag 0 fills the grid with the class chosen in the combo, 1 plots the channel chosen over the
  // class chosen in the radio groups, 2 clears the plot, 3 exports the grid.
  void CmBxClassExplorerGenotypeChange(int Tag);
  int GenotypeChoice() const;
  int ChannelChoice() const;
  const TClassMeansModel& GenotypeData() const { return *FGenotypeData; }

  QComboBox* CmBxClassExplorerGenotype = nullptr;
  QTableView* SgGenotypeData = nullptr;
  QGroupBox* RgGenotypes = nullptr;
  QGroupBox* RgChannels = nullptr;
  QButtonGroup* GenotypeItems = nullptr;
  QButtonGroup* ChannelItems = nullptr;
  QPushButton* BtnClearGenotypeDetector = nullptr;
  QCheckBox* CBAutoClearGenotypeDetector = nullptr;
  QPushButton* BtnExportGenotypeEvents = nullptr;
  TChartView* CrtGenotype = nullptr;
  TExportTargets ClassTargets;

 private:
  void Build();
  void FillLists(bool HasData);
  void ClearViews();
  void ClearClassDetector();
  void ShowClass();

  TPageContext& FMain;  // the main window, as a page sees it
  TClassMeansModel* FGenotypeData = nullptr;
  QVBoxLayout* FGenotypeLayout = nullptr;
  QVBoxLayout* FChannelLayout = nullptr;
  QVBoxLayout* FListColumn = nullptr;  // the two radio lists above Clear
};

}  // namespace qv
