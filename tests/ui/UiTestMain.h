#pragma once
// Registry of the QtTest classes run by ui_tests (one process, one QApplication).
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace qv::test {

std::vector<std::function<std::unique_ptr<QObject>()>>& UiTestClasses();

template <class T>
struct RegisterUiTest {
  RegisterUiTest() { UiTestClasses().push_back([] { return std::make_unique<T>(); }); }
};

}  // namespace qv::test
