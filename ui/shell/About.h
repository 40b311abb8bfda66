#pragma once
// The about window: name, version and date over the program's picture; frees itself on close.
#include <QWidget>

class QLabel;

namespace qv {

class TFmAbout : public QWidget {
  Q_OBJECT
 public:
  // Centred on Owner and shown at once.
  explicit TFmAbout(QWidget* Owner);

  QLabel* Image1;
  QLabel* Label1;
  QLabel* LbVersion;
  QLabel* LbDate;
  QLabel* LbCredits1;
  QLabel* LbCredits2;
};

}  // namespace qv
