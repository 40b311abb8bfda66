#include "UiTestMain.h"

#include <QApplication>
#include <QtTest>

#include "common/QtHost.h"

namespace qv::test {
std::vector<std::function<std::unique_ptr<QObject>()>>& UiTestClasses() {
  static std::vector<std::function<std::unique_ptr<QObject>()>> Classes;
  return Classes;
}
}  // namespace qv::test

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication App(argc, argv);
  qv::InstallQtHost();
  // QUORVENAL_UI_TEST=<class>[,<class>...] runs those test classes only.
  const QStringList Only = QString::fromLocal8Bit(qgetenv("QUORVENAL_UI_TEST")).split(',', Qt::SkipEmptyParts);
  int Failed = 0;
  for (const auto& Make : qv::test::UiTestClasses()) {
    std::unique_ptr<QObject> Test = Make();
    if (!Only.isEmpty() && !Only.contains(QString::fromLatin1(Test->metaObject()->className()))) continue;
    Failed += QTest::qExec(Test.get(), argc, argv);
  }
  return Failed == 0 ? 0 : 1;
}
