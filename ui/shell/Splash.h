#pragma once
// The splash window: shown before everything else, frees itself 2 s after it is first shown.
#include <QWidget>

class QLabel;
class QTimer;

namespace qv {

class TFmSplash : public QWidget {
  Q_OBJECT
 public:
  static constexpr int LifeMs = 2000;
  TFmSplash();

  QLabel* ImQuorvenal;
  QLabel* LbQuorvenal;
  QLabel* LbVersion;
  QLabel* LbDate;
  QTimer* Timer1;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  bool FActivated = false;
};

// "Version " + the version formatted "0.00".
QString VersionCaption();

}  // namespace qv
