#include "common/DeveloperMode.h"

#include <QWidget>

namespace qv {

namespace {

const char* const DeveloperControls[] = {"BtnBaselineCompensation", "BtnDeriveBaselines", "RbRawGaussian",
                                         "SgCompensations2", "RbFullFitness"};

}  // namespace

void ApplyDeveloperMode(QWidget* Root, bool Developer) {
  for (const char* Name : DeveloperControls)
    if (auto* Control = Root->findChild<QWidget*>(Name)) {
      Control->setVisible(true);
      Control->setEnabled(Developer);
    }
}

}  // namespace qv
