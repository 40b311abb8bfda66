#include "common/Pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <cmath>

namespace qv {

QPixmap QuorvenalPicture(QSize Size) {
  QPixmap Picture(Size);
  QPainter P(&Picture);
  P.setRenderHint(QPainter::Antialiasing);
  QLinearGradient Sky(0, 0, 0, Size.height());
  Sky.setColorAt(0, QColor(18, 28, 68));
  Sky.setColorAt(1, QColor(48, 78, 128));
  P.fillRect(Picture.rect(), Sky);

  // A fixed scatter of events, the same on every run.
  QRandomGenerator Dots(1613);
  P.setPen(Qt::NoPen);
  for (int i = 0; i < 900; ++i) {
    const double X = Dots.bounded(Size.width());
    const double Y = Size.height() * (0.35 + 0.6 * std::pow(Dots.generateDouble(), 0.6));
    P.setBrush(QColor(180, 200, 255, 60));
    P.drawEllipse(QPointF(X, Y), 1.3, 1.3);
  }

  const QColor Colours[3] = {QColor(80, 220, 120), QColor(240, 90, 80), QColor(90, 160, 255)};
  const double Means[3] = {0.28, 0.52, 0.74};
  const double Widths[3] = {0.06, 0.08, 0.05};
  const double Heights[3] = {0.55, 0.42, 0.62};
  const double Base = Size.height() * 0.92;
  for (int k = 0; k < 3; ++k) {
    QPainterPath Peak;
    Peak.moveTo(0, Base);
    for (int x = 0; x <= Size.width(); x += 2) {
      const double u = (double(x) / Size.width() - Means[k]) / Widths[k];
      Peak.lineTo(x, Base - Size.height() * Heights[k] * std::exp(-0.5 * u * u));
    }
    Peak.lineTo(Size.width(), Base);
    QColor Fill = Colours[k];
    Fill.setAlpha(110);
    P.setBrush(Fill);
    P.setPen(QPen(Colours[k], 2));
    P.drawPath(Peak);
  }
  P.setPen(QPen(QColor(220, 230, 255), 1.5));
  P.drawLine(QPointF(0, Base), QPointF(Size.width(), Base));
  return Picture;
}

QIcon ButtonGlyph(const QString& Name) {
  static const QStringList Known = {"BMRIGHT", "BMCALC",   "BMCALCTOGGLE", "BMHELP", "BMSPILLOVER",
                                    "BMREFINE", "BMDOCUMENT", "BMEXCEL",   "BMDISK"};
  if (!Known.contains(Name)) return {};
  QPixmap Glyph(16, 16);
  Glyph.fill(Qt::transparent);
  QPainter P(&Glyph);
  P.setRenderHint(QPainter::Antialiasing);
  const QPen Ink(QColor(20, 40, 110), 1.6);
  P.setPen(Ink);
  if (Name == "BMRIGHT") {
    P.setBrush(QColor(40, 120, 220));
    P.drawPolygon(QPolygonF({QPointF(3, 3), QPointF(13, 8), QPointF(3, 13)}));
  } else if (Name == "BMCALC" || Name == "BMCALCTOGGLE") {
    P.setBrush(Name == "BMCALC" ? QColor(230, 230, 240) : QColor(250, 220, 120));
    P.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 2, 2);
    P.drawLine(QPointF(4.5, 5), QPointF(11.5, 5));
    for (int r = 0; r < 2; ++r)
      for (int c = 0; c < 3; ++c) P.drawPoint(QPointF(5 + c * 3, 8.5 + r * 3));
  } else if (Name == "BMHELP") {
    P.setBrush(QColor(60, 130, 230));
    P.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    P.setPen(Qt::white);
    QFont F = P.font();
    F.setBold(true);
    F.setPixelSize(11);
    P.setFont(F);
    P.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, "?");
  } else if (Name == "BMSPILLOVER") {
    P.setBrush(QColor(80, 200, 120, 160));
    P.drawEllipse(QRectF(1.5, 4, 8, 8));
    P.setBrush(QColor(230, 90, 80, 160));
    P.drawEllipse(QRectF(6.5, 4, 8, 8));
  } else if (Name == "BMREFINE") {
    QPainterPath Peak;
    Peak.moveTo(1, 14);
    for (int x = 1; x <= 15; ++x) Peak.lineTo(x, 14 - 11 * std::exp(-0.5 * std::pow((x - 8) / 2.2, 2)));
    P.drawPath(Peak);
  } else if (Name == "BMDOCUMENT") {
    P.setBrush(Qt::white);
    P.drawRect(QRectF(3.5, 1.5, 9, 13));
    for (int y = 5; y <= 11; y += 3) P.drawLine(QPointF(5.5, y), QPointF(10.5, y));
  } else if (Name == "BMEXCEL") {
    P.setBrush(QColor(40, 150, 80));
    P.drawRect(QRectF(1.5, 1.5, 13, 13));
    P.setPen(QPen(Qt::white, 1));
    for (int i = 5; i < 14; i += 4) {
      P.drawLine(QPointF(i, 2), QPointF(i, 14));
      P.drawLine(QPointF(2, i), QPointF(14, i));
    }
  } else if (Name == "BMDISK") {
    P.setBrush(QColor(60, 90, 160));
    P.drawRect(QRectF(1.5, 1.5, 13, 13));
    P.setBrush(Qt::white);
    P.drawRect(QRectF(4.5, 2, 7, 5));
  }
  return QIcon(Glyph);
}

}  // namespace qv
