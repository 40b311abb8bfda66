#include "shell/Splash.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "NumberFormat.h"
#include "common/Pictures.h"
#include "shell/Version.h"

namespace qv {

QString VersionCaption() { return QString::fromStdString("Version " + FormatFloat("0.00", ProgramVersion)); }

TFmSplash::TFmSplash() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("FmSplash");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(511, 358);
  if (QScreen* Screen = QGuiApplication::primaryScreen())
    move(Screen->availableGeometry().center() - rect().center());

  ImQuorvenal = new QLabel(this);
  ImQuorvenal->setObjectName("ImQuorvenal");
  ImQuorvenal->setGeometry(rect());
  // The navy frame (Shape1) is painted into the picture, which covers the whole window.
  QPixmap Picture = QuorvenalPicture(size());
  {
    QPainter P(&Picture);
    P.setPen(QPen(QColor(0, 0, 128), 3));
    P.drawRect(QRectF(1.5, 1.5, width() - 3, height() - 3));
  }
  ImQuorvenal->setPixmap(Picture);

  auto MakeLabel = [this](const char* Name, int Top, int Pixels, bool Bold) {
    auto* L = new QLabel(this);
    L->setObjectName(Name);
    QFont F = L->font();
    F.setPixelSize(Pixels);
    F.setBold(Bold);
    L->setFont(F);
    L->setStyleSheet("color: white; background: transparent;");
    L->move(16, Top);
    return L;
  };
  LbQuorvenal = MakeLabel("LbQuorvenal", 12, 16, true);
  LbQuorvenal->setText("Quorvenal");
  LbVersion = MakeLabel("LbVersion", 36, 12, false);
  LbVersion->setText(VersionCaption());
  LbDate = MakeLabel("LbDate", 54, 12, false);
  LbDate->setText(ProgramDate);
  for (QLabel* L : {LbQuorvenal, LbVersion, LbDate}) L->adjustSize();

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setSingleShot(true);
  connect(Timer1, &QTimer::timeout, this, &QWidget::close);
}

void TFmSplash::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  if (FActivated) return;
  FActivated = true;
  Timer1->start(LifeMs);
}

}  // namespace qv
