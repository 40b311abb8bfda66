#include "report/TextOutputTour.h"

#include <QApplication>
#include <QDir>
#include <QTextBlock>
#include <QTextCursor>

#include "report/TextOutput.h"

namespace qv {

TFmTextOutput* TourTextOutputWindow() {
  auto* W = new TFmTextOutput(nullptr, QStringLiteral("Class Summary"), true);
  W->SetTabStops({110, 170, 230, 290});
  W->AddLines({"Class Summary: run1.fcs", "",
               "Class\tEvents\tPercent\tMean FL1\tMean FL2",
               "GFP\t41237\t41.2370\t1893.5521\t102.3384",
               "YFP\t38802\t38.8020\t211.0764\t2210.8410",
               "Unlabelled\t17954\t17.9540\t96.1123\t88.4391",
               "Ambiguous\t2007\t2.0070\t812.4471\t790.0025",
               "", "Total\t100000\t100.0000"});
  QTextCursor C(W->MeText->document()->findBlockByNumber(3));
  C.movePosition(QTextCursor::NextWord);
  W->MeText->setTextCursor(C);
  W->MeText->setFocus();
  QApplication::processEvents();
  return W;
}

QString TourTextOutput(const QString& Folder) {
  TFmTextOutput* W = TourTextOutputWindow();
  const QString Name = QDir(Folder).filePath(QStringLiteral("report-window.png"));
  W->grab().save(Name);
  W->close();
  return Name;
}

}  // namespace qv
