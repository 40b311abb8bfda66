// The Graphs and Distributions sheets: axis menus and their bands, the scatter's metrics, the
// distribution list and the derive button.
#include <QAbstractAxis>
#include <QAction>
#include <QButtonGroup>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "common/ChartView.h"
#include "pages/ChartsPage.h"
#include "DataSetFixtures.h"
#include "shell/MainWindow.h"
#include "ScriptedDialogs.h"
#include "TextUtils.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "analysis/Detector.h"
#include "dataset/FCSData.h"

using namespace qv;
using namespace qv::test;

namespace {

// A protocol of one gate and two channels with a matching analysed set, shown on the window as
// the reading page would (its listeners called after the set is current).
struct TLoadedSet {
  explicit TLoadedSet(TFmMain& Main) {
    auto P = MakeProtocol({{"FSC", "FSC-H"}}, {{"GFP", "FL1"}, {"RFP", "FL2"}});
    std::vector<std::vector<double>> Rows;
    for (int i = 0; i < 400; ++i) Rows.push_back({100.0 + i, 50.0 + i % 97, 20.0 + (i * 7) % 300});
    File = WriteAndRead(Folder, "set.fcs", {"FSC-H", "FL1", "FL2"}, Rows);
    auto D = TFCSData::Create(*File, 0, true, nullptr, P.get());
    D->Compensate(*P, nullptr, 0);
    D->SetDetectors(*P, nullptr, false);
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(D));
    for (auto& Listener : Main.Hooks.DataShownListeners) Listener(true);
  }
  TempFolder Folder;
  std::unique_ptr<TFCSFile> File;
};

// The window with a loaded set, shown at 900 x 600 on its Graphs sheet.
struct TGraphsSheet {
  ScopedProgramHome Home;
  ScriptedDialogs Dialogs;
  TFmMain Main;
  TLoadedSet Set{Main};
  TChartsPage* Page = Main.findChild<TChartsPage*>();

  // False when the window was not shown on the screen.
  bool Show() {
    Main.resize(900, 600);
    Main.show();
    if (!QTest::qWaitForWindowExposed(&Main)) return false;
    Main.PgMain->setCurrentWidget(Main.Page("TsExplore"));
    QTabWidget* Explore = Main.Pages("PgExplore");
    Explore->setTabVisible(Explore->indexOf(Main.Page("TSGraphs")), true);
    Explore->setCurrentWidget(Main.Page("TSGraphs"));
    Pump();
    return true;
  }
};

// The texts the chart draws now: captions and titles of its axes.
QStringList DrawnTexts(TChartView& Chart) {
  QStringList Texts;
  for (QGraphicsItem* Item : Chart.scene()->items())
    if (auto* Text = dynamic_cast<QGraphicsTextItem*>(Item); Text && Text->isVisible()) Texts << Text->toPlainText();
  return Texts;
}

// The numbers drawn under the plot (Bottom) or left of it.
int DrawnNumbers(TChartView& Chart, bool Bottom) {
  const QRectF Plot = Chart.chart()->mapRectToScene(Chart.chart()->plotArea());
  int Count = 0;
  for (QGraphicsItem* Item : Chart.scene()->items()) {
    auto* Text = dynamic_cast<QGraphicsTextItem*>(Item);
    bool Number = false;
    if (!Text || !Text->isVisible() || (Text->toPlainText().toDouble(&Number), !Number)) continue;
    const QRectF At = Text->sceneBoundingRect();
    Count += Bottom ? At.top() >= Plot.bottom() - 1 : At.right() <= Plot.left() + 1;
  }
  return Count;
}

// Right click at (FX, FY) of the chart's size, then the menu item Index by the keyboard.
void PickAxisMetric(TChartsPage& Page, QMenu* Menu, double FX, double FY, int Index) {
  TChartView* Chart = Page.CrtFCS;
  const QPoint At(static_cast<int>(FX * Chart->width()), static_cast<int>(FY * Chart->height()));
  QTest::mouseClick(Chart->viewport(), Qt::RightButton, {}, Chart->viewport()->mapFrom(Chart, At));
  QVERIFY(Menu->isVisible());
  for (int i = 0; i <= Index; ++i) QTest::keyClick(Menu, Qt::Key_Down);
  QTest::keyClick(Menu, Qt::Key_Return);
  QVERIFY(!Menu->isVisible());
}

void Choose(TChartsPage& Page, int Index) {
  auto Items = Page.RgDistributions->findChildren<QRadioButton*>();
  for (QRadioButton* R : Items)
    if (Page.DistributionItems->id(R) == Index) R->click();
}

}  // namespace

class ChartsPageTest : public QObject {
  Q_OBJECT
 private slots:
  void AxisMenusBandsAndScatter() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.show();
    auto* Page = Main.findChild<TChartsPage*>();
    QVERIFY(Page);
    TLoadedSet Set(Main);
    const int Count = Main.CurrentData->DetectorCount();
    QMenu* X = Main.PopupMenu("PMXAxis");
    QMenu* Y = Main.PopupMenu("PMYAxis");
    QCOMPARE(X->actions().size(), Count);
    QCOMPARE(Y->actions().size(), Count);
    QCOMPARE(X->actions()[1]->property("Tag").toInt(), 2);
    QCOMPARE(Y->actions()[1]->property("Tag").toInt(), -2);
    QCOMPARE(Y->actions()[0]->statusTip(), QString("Set Y-Axis metric"));

    // Bands along the left and bottom axes; the corner between them opens nothing.
    Page->CrtFCS->resize(400, 300);
    QCOMPARE(Page->AxisMenuAt(20, 150), Y);
    QCOMPARE(Page->AxisMenuAt(200, 285), X);
    QCOMPARE(Page->AxisMenuAt(20, 285), nullptr);
    QCOMPARE(Page->AxisMenuAt(200, 150), nullptr);
    Page->CrtFCSMouseUp(Qt::LeftButton, 20, 150);
    QVERIFY(!Y->isVisible());
    Page->CrtFCSMouseUp(Qt::RightButton, 20, 150);
    QVERIFY(Y->isVisible());
    Y->close();

    // X alone draws nothing; Y then draws with both.
    X->actions()[Count - 1]->trigger();
    QCOMPARE(Main.XMetric, Count);
    QVERIFY(Page->CrtFCS->IsEmpty());
    Y->actions()[Count - 2]->trigger();
    QCOMPARE(Main.YMetric, Count - 1);
    QVERIFY(!Page->CrtFCS->IsEmpty());
    QCOMPARE(Page->CrtFCS->Data().Series[0].Width, 2);
    Page->SePointSize->setValue(5);
    QCOMPARE(Page->CrtFCS->Data().Series[0].Width, 5);
    QCOMPARE(Main.XMetric, Count);

    // At most one toggle down.
    Page->BtnGraphAll->click();
    QVERIFY(Page->BtnGraphAll->isChecked());
    QVERIFY(!Page->BtnGraphGlobalZ->isChecked());
    Page->BtnGraphThreshold->click();
    QVERIFY(!Page->BtnGraphAll->isChecked());
    Page->BtnGraphThreshold->click();
    QVERIFY(!Page->BtnGraphThreshold->isChecked());

    // A new detector set drops the metrics and the chart; freeing the set does too.
    for (auto& Listener : Main.Hooks.DataShownListeners) Listener(true);
    QCOMPARE(Main.XMetric, -1);
    QCOMPARE(Main.YMetric, -1);
    QVERIFY(Page->CrtFCS->IsEmpty());
    Y->actions()[0]->trigger();
    X->actions()[0]->trigger();
    QVERIFY(!Page->CrtFCS->IsEmpty());
    Main.SetCurrentData(nullptr);
    QVERIFY(Page->CrtFCS->IsEmpty());
    QCOMPARE(X->actions().size(), 0);
  }

  void ScatterOfLessThanADecadeShowsItsNumbersAndEveryChartItsTitles() {
    TGraphsSheet Sheet;
    QVERIFY(Sheet.Show());
    TFmMain& Main = Sheet.Main;
    TChartsPage* Page = Sheet.Page;

    // GFP (raw 50 .. 146) against RFP (20 .. 319), both as log10 values on log axes: well under
    // a decade each.
    const int Gates = Main.CurrentData->GateDetectorCount;
    PickAxisMetric(*Page, Main.PopupMenu("PMYAxis"), 0.05, 0.5, Gates + 1);
    PickAxisMetric(*Page, Main.PopupMenu("PMXAxis"), 0.5, 0.95, Gates);
    QCOMPARE(Main.XMetric, Gates + 1);
    QCOMPARE(Main.YMetric, Gates + 2);
    const ChartData& Scatter = Page->CrtFCS->Data();
    QVERIFY(Scatter.XLog && Scatter.YLog);
    QVERIFY(Page->CrtFCS->XMax() / Page->CrtFCS->XMin() < 10);
    QVERIFY(Page->CrtFCS->YMax() / Page->CrtFCS->YMin() < 10);
    Pump();
    const QStringList Drawn = DrawnTexts(*Page->CrtFCS);
    for (QAbstractAxis* Axis : {Page->CrtFCS->XAxis(), Page->CrtFCS->YAxis()}) {
      QVERIFY(!Axis->titleText().isEmpty());
      QVERIFY(Drawn.contains(Axis->titleText()));
    }
    QVERIFY2(DrawnNumbers(*Page->CrtFCS, true) >= 2, qPrintable(Drawn.join(" | ")));
    QVERIFY2(DrawnNumbers(*Page->CrtFCS, false) >= 2, qPrintable(Drawn.join(" | ")));
    QCOMPARE(Page->CrtFCS->XAxis()->titleText(), QString::fromStdString(Main.CurrentData->GetDetector(Gates)->GetSeriesName(0)));

    // A distribution names its metric and counts.
    Main.Pages("PgExplore")->setCurrentWidget(Main.Page("TsDistributions"));
    Pump();
    QAbstractButton* Item = Page->DistributionItems->button(Gates);
    QTest::mouseClick(Item, Qt::LeftButton);
    QCOMPARE(Page->DistributionIndex(), Gates);
    QCOMPARE(Page->CrtDistribution->XAxis()->titleText(), Item->text());
    QCOMPARE(Page->CrtDistribution->YAxis()->titleText(), QString("Events"));
  }

  // The axis menu's choice closes the menu and paints the window over where it was before the
  // scatter is made (the gauge shows when that work starts).
  void AxisMenuIsClosedAndPaintedOverBeforeTheScatterIsDrawn() {
    TGraphsSheet Sheet;
    QVERIFY(Sheet.Show());
    TFmMain& Main = Sheet.Main;
    TChartsPage* Page = Sheet.Page;
    const int Gates = Main.CurrentData->GateDetectorCount;
    PickAxisMetric(*Page, Main.PopupMenu("PMXAxis"), 0.5, 0.95, Gates);
    QVERIFY(Page->CrtFCS->IsEmpty());

    struct TWatch : QObject {
      QMenu* Menu = nullptr;
      QWidget *Window = nullptr, *Gauge = nullptr;
      int PaintsSinceClosed = -1;  // -1 while the menu is open
      int Starts = 0;
      bool MenuShownAtStart = true;
      int PaintsAtStart = -1;
      bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Watched == Menu && Event->type() == QEvent::Hide) PaintsSinceClosed = 0;
        if (Watched == Window && Event->type() == QEvent::Paint && PaintsSinceClosed >= 0) ++PaintsSinceClosed;
        if (Watched == Gauge && Event->type() == QEvent::Show) {
          ++Starts;
          MenuShownAtStart = Menu->isVisible();
          PaintsAtStart = PaintsSinceClosed;
        }
        return false;
      }
    } Watch;
    Watch.Menu = Main.PopupMenu("PMYAxis");
    Watch.Window = &Main;
    Watch.Gauge = Main.PnProgress;
    for (QWidget* W : {static_cast<QWidget*>(Watch.Menu), Watch.Window, Watch.Gauge}) W->installEventFilter(&Watch);
    PickAxisMetric(*Page, Watch.Menu, 0.05, 0.5, Gates + 1);
    QCOMPARE(Watch.Starts, 1);
    QVERIFY(!Watch.MenuShownAtStart);
    QVERIFY2(Watch.PaintsAtStart > 0, "the window was not painted over the closed menu before the scatter was made");
    QVERIFY(!Page->CrtFCS->IsEmpty());
    QVERIFY(!Main.PnProgress->isVisible());
  }

  void DistributionsAndDerive() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    Main.show();
    auto* Page = Main.findChild<TChartsPage*>();
    TLoadedSet Set(Main);
    const int Gates = Main.CurrentData->GateDetectorCount;
    QCOMPARE(Page->DistributionItems->buttons().size(), Main.CurrentData->DetectorCount());
    QVERIFY(!Page->BtnShowDerive->isEnabled());

    // A channel distribution can derive; without a fitted series its text still comes.
    Choose(*Page, Gates);
    QCOMPARE(Main.DistributionChannel, 0);
    QVERIFY(Page->BtnShowDerive->isEnabled());
    QVERIFY(!Page->CrtDistribution->IsEmpty());
    QVERIFY(!Page->ShowDistribution().empty());
    Page->BtnShowDerive->click();
    QCOMPARE(Page->BtnShowDerive->text(), QString("Hide"));
    QCOMPARE(Page->PnDistributionControl->height(), 202);

    // A gate cannot: the button goes off and the open panel closes.
    Choose(*Page, 0);
    QCOMPARE(Main.DistributionChannel, -1);
    QVERIFY(!Page->BtnShowDerive->isEnabled());
    QCOMPARE(Page->BtnShowDerive->text(), QString("Derive..."));
    QCOMPARE(Page->PnDistributionControl->height(), 69);

    // A new set clears the distribution and the channel.
    Choose(*Page, Gates + 1);
    QCOMPARE(Main.DistributionChannel, 1);
    for (auto& Listener : Main.Hooks.DataShownListeners) Listener(true);
    QCOMPARE(Main.DistributionChannel, -1);
    QVERIFY(Page->CrtDistribution->IsEmpty());
    QCOMPARE(Page->DistributionIndex(), -1);
  }
  void GuidesScaleByTheLastFit() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    auto* Page = Main.findChild<TChartsPage*>();
    TLoadedSet Set(Main);
    const int Gates = Main.CurrentData->GateDetectorCount;
    TChannel* Channel = Main.CurrentProtocol->GetChannel(0);
    Channel->Minimum_Z = -3;
    Channel->Maximum_Z = 2.5f;
    TPeak Peak;
    Peak.ClipLow = -1.5f;
    Peak.ClipHigh = 1;
    Channel->Peaks = {Peak};

    // No fitted series: every guide at 0, whatever the limits.
    Choose(*Page, Gates);
    for (float Guide : Page->DistributionView.Guides) QCOMPARE(Guide, 0.0f);
    QVERIFY(Page->DistributionView.Show[2]);
    QVERIFY(!Page->DistributionView.Show[3]);

    // A fitted series: mean + deviation x limit, clip low, clip high, minimum Z, maximum Z.
    TDetector* Detector = Main.CurrentData->GetDetector(Gates);
    Detector->Fits[0].Mean = 2;
    Detector->Fits[0].Deviation = 0.5;
    Detector->LastFitted = 0;
    Page->ShowDistribution();
    const float Expected[4] = {1.25f, 2.5f, 0.5f, 3.25f};
    for (int i = 0; i < 4; ++i) QCOMPARE(Page->DistributionView.Guides[i], Expected[i]);
  }

  void DistributionAndHistogramExports() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    auto* Page = Main.findChild<TChartsPage*>();
    TLoadedSet Set(Main);
    const int Count = Main.CurrentData->DetectorCount();
    QVERIFY(Count >= 3);
    Page->DistTargets.Save->click();

    // Every distribution side by side, the last item's columns first, bins numbered from 1.
    Dialogs.FileAnswers = {Set.Folder / "all"};
    Page->BtnExportDistributions->click();
    const auto Lines = SplitLines(ReadText(Set.Folder / "all.CSV"));
    QVERIFY(Lines.size() > 4);
    QVERIFY(Lines[0].rfind(",", 0) == 0);
    QVERIFY(Lines[1].rfind("Bin,Value,", 0) == 0);
    QVERIFY(Lines[2].rfind("1,", 0) == 0);
    QVERIFY(Lines[3].rfind("2,", 0) == 0);
    QCOMPARE(Page->DistributionIndex(), 0);
    const std::string Last = Main.CurrentData->GetDetector(Count - 1)->GetSeriesName(0);
    const std::string First = Main.CurrentData->GetDetector(0)->GetSeriesName(0);
    QVERIFY(Lines[0].rfind("," + Last + ",", 0) == 0);
    QVERIFY(Lines[0].find("," + First + ",") > Lines[0].find(Last));

    // One histogram: the chosen item's bins, or the custom detector's while its sheet shows.
    Choose(*Page, 1);
    Dialogs.FileAnswers = {Set.Folder / "one", Set.Folder / "custom"};
    QMenu* Popup = Main.PopupMenu("PMHistogram");
    QVERIFY(Popup->isEnabled());
    Popup->actions()[0]->trigger();
    QCOMPARE(SplitLines(ReadText(Set.Folder / "one.CSV")), Main.CurrentData->GetDetector(1)->HistogramCSV());
    QTabWidget* Explore = Main.Pages("PgExplore");
    Explore->setTabVisible(Explore->indexOf(Main.Page("TsCustomDetector")), true);
    Explore->setCurrentWidget(Main.Page("TsCustomDetector"));
    Popup->actions()[0]->trigger();
    QCOMPARE(SplitLines(ReadText(Set.Folder / "custom.CSV")), Main.CurrentData->CustomDetector->HistogramCSV());
    QVERIFY(Dialogs.Errors.empty());

    // Without a set neither export asks for a file.
    Main.SetCurrentData(nullptr);
    Dialogs.FileAnswers = {Set.Folder / "none"};
    Page->BtnExportDistributions->click();
    Page->MnExportHistogramClick();
    QCOMPARE(Dialogs.FileAnswers.size(), size_t(1));
  }

  void TablesOfDifferentLengthsArePadded() {
    const std::vector<std::string> Long = {"a,", "V,", "1,", "2,"};
    const std::vector<std::string> Short = {"b,c,", "W,X,", "3,4,"};
    QCOMPARE(JoinDistributionTables({Long, Short}),
             (std::vector<std::string>{",a,b,c,", "Bin,V,W,X,", "1,1,3,4,", "2,2,,,"}));
    QCOMPARE(JoinDistributionTables({Short, Long}),
             (std::vector<std::string>{",b,c,a,", "Bin,W,X,V,", "1,3,4,1,", "2,,,2,"}));
    // A distribution that drew nothing adds no cells.
    QCOMPARE(JoinDistributionTables({{}, Short}), (std::vector<std::string>{",b,c,", "Bin,W,X,", "1,3,4,"}));
    QVERIFY(JoinDistributionTables({}).empty());
  }
};

static RegisterUiTest<ChartsPageTest> Register;

#include "ChartsPageTest.moc"
