#include "common/PageContext.h"

#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

#include <QProgressBar>
#include <QPushButton>

namespace qv {

bool ProtocolFitsData(const TProtocol& P, const TFCSData& D) {
  return D.Events.empty() ? static_cast<int32_t>(D.ChannelNames.size()) == P.ChannelCount()
                          : D.Events.GateCount() == P.GateCount() && D.Events.ChannelCount() == P.ChannelCount();
}

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
