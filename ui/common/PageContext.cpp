#include "common/PageContext.h"

#include <QProgressBar>
#include <QPushButton>

namespace qv {

TLongLoop::TLongLoop(TPageContext& Context, QWidget* CancelButton)
    : FContext(Context),
      FCancel(CancelButton ? CancelButton : Context.BtnCancel),
      FProgress(Context.GaProgress, &Context.ContinueFlag) {
  FContext.ContinueFlag = true;
  FContext.GaProgress->setValue(0);
  FContext.PnProgress->show();
  FCancel->show();
  FCancel->setEnabled(true);
}

TLongLoop::~TLongLoop() {
  FCancel->hide();
  FContext.PnProgress->hide();
  FContext.GaProgress->setValue(0);
  FContext.ContinueFlag = false;
}

}  // namespace qv
