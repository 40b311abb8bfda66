#pragma once
// The program block. AfterShown, when given, runs once the main window is up (the screenshot
// tour drives the program through it).
#include <functional>

namespace qv {
class TFmMain;
class TFmSplash;
int ProgramMain(int argc, char** argv, std::function<void(TFmMain&, TFmSplash*)> AfterShown = {});
}  // namespace qv
