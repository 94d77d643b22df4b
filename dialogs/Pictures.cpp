#include "dialogs/Pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace vp::gui {
namespace {

const QColor kPeel(255, 214, 41);
const QColor kPeelShade(230, 170, 20);
const QColor kTip(110, 70, 20);
const QColor kOutline(120, 80, 10);
const QColor kInk(60, 40, 20);
const QColor kCheek(255, 140, 120);

enum class Face { Smile, Sleepy, Grin, None };

// One banana in a 100 × 100 box, drawn on whatever transform the caller set.
void drawBanana(QPainter& p, Face face) {
  QPainterPath body;
  body.moveTo(12, 30);
  body.cubicTo(6, 86, 70, 102, 93, 52);
  body.cubicTo(66, 70, 34, 62, 30, 26);
  body.closeSubpath();

  QLinearGradient fill(30, 40, 70, 90);
  fill.setColorAt(0, kPeel);
  fill.setColorAt(1, kPeelShade);
  p.setPen(QPen(kOutline, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(fill);
  p.drawPath(body);

  // The stem and the dark tip.
  p.setPen(Qt::NoPen);
  p.setBrush(kTip);
  p.drawRoundedRect(QRectF(14, 12, 12, 18), 3, 3);
  p.drawEllipse(QPointF(92, 53), 4.5, 4.5);

  // The face sits on the middle of the body.
  p.translate(-3, 5);
  p.setPen(QPen(kInk, 3.5, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  switch (face) {
    case Face::Smile:
      p.drawPoint(QPointF(40, 62));
      p.drawPoint(QPointF(54, 66));
      p.drawArc(QRectF(40, 62, 14, 12), 200 * 16, 140 * 16);
      break;
    case Face::Grin:
      p.drawPoint(QPointF(40, 60));
      p.drawPoint(QPointF(54, 64));
      p.setBrush(QColor(200, 60, 60));
      p.setPen(QPen(kInk, 2));
      p.drawChord(QRectF(38, 62, 18, 16), 200 * 16, 160 * 16);
      break;
    case Face::Sleepy:
      p.drawLine(QPointF(36, 62), QPointF(43, 63));
      p.drawLine(QPointF(51, 66), QPointF(58, 67));
      p.drawEllipse(QPointF(47, 73), 1.5, 1.5);
      break;
    case Face::None:
      break;
  }
  if (face != Face::None) {
    p.setPen(Qt::NoPen);
    p.setBrush(kCheek);
    p.drawEllipse(QPointF(33, 68), 3, 2);
    p.drawEllipse(QPointF(61, 73), 3, 2);
  }
  p.translate(3, -5);
}

void drawArm(QPainter& p, QPointF from, QPointF to) {
  p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(from, to);
  p.setBrush(Qt::white);
  p.setPen(QPen(kInk, 1.5));
  p.drawEllipse(to, 4.5, 4.5);
}

void drawFolder(QPainter& p) {
  p.setPen(QPen(QColor(150, 100, 20), 2.5));
  p.setBrush(QColor(250, 200, 110));
  p.drawRoundedRect(QRectF(6, 50, 34, 10), 3, 3);
  p.setBrush(QColor(255, 220, 140));
  p.drawRoundedRect(QRectF(6, 56, 88, 38), 4, 4);
}

void drawRuler(QPainter& p) {
  p.save();
  p.translate(50, 84);
  p.rotate(-12);
  p.setPen(QPen(QColor(40, 90, 150), 2));
  p.setBrush(QColor(170, 215, 250));
  p.drawRect(QRectF(-44, -8, 88, 16));
  for (int i = 0; i <= 10; ++i) {
    const qreal x = -40 + i * 8;
    p.drawLine(QPointF(x, -8), QPointF(x, i % 5 == 0 ? 2 : -2));
  }
  p.restore();
}

void drawDisk(QPainter& p) {
  p.setPen(QPen(QColor(30, 50, 110), 2.5));
  p.setBrush(QColor(70, 110, 200));
  p.drawRoundedRect(QRectF(20, 50, 60, 46), 4, 4);
  p.setBrush(QColor(220, 225, 235));
  p.drawRect(QRectF(32, 50, 34, 16));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(28, 74, 44, 20));
}

void drawMotionLines(QPainter& p) {
  p.setPen(QPen(QColor(120, 160, 255), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(2, 50), QPointF(14, 50));
  p.drawLine(QPointF(0, 62), QPointF(10, 62));
  p.drawLine(QPointF(4, 74), QPointF(14, 74));
}

void drawZzz(QPainter& p) {
  p.setPen(QPen(QColor(90, 110, 200), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  const auto zed = [&](qreal x, qreal y, qreal s) {
    QPainterPath z;
    z.moveTo(x, y);
    z.lineTo(x + s, y);
    z.lineTo(x, y + s);
    z.lineTo(x + s, y + s);
    p.drawPath(z);
  };
  zed(66, 8, 14);
  zed(84, 28, 9);
}

void drawSparkles(QPainter& p) {
  p.setPen(QPen(QColor(255, 120, 40), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(80, 6), QPointF(80, 20));
  p.drawLine(QPointF(90, 12), QPointF(98, 4));
  p.drawLine(QPointF(92, 24), QPointF(99, 24));
}

// Draws `picture` into a 100 × 100 box.
void drawScene(QPainter& p, Picture picture) {
  switch (picture) {
    case Picture::OpenBanana:
      p.save();
      p.translate(14, 0);
      p.scale(0.85, 0.85);
      drawBanana(p, Face::Smile);
      p.restore();
      drawFolder(p);
      break;
    case Picture::RulerBanana:
      p.save();
      p.translate(4, -4);
      p.scale(0.9, 0.9);
      drawBanana(p, Face::Smile);
      p.restore();
      drawRuler(p);
      break;
    case Picture::SaveBanana:
      drawDisk(p);
      p.save();
      p.translate(12, -2);
      p.scale(0.75, 0.75);
      drawBanana(p, Face::Grin);
      p.restore();
      break;
    case Picture::BananaBunch:
      // Three bananas fanned out from one stem.
      for (int i = 2; i >= 0; --i) {
        p.save();
        p.translate(26, 16);
        p.rotate(-34 + 30 * i);
        p.scale(0.72, 0.72);
        p.translate(-20, -20);
        drawBanana(p, i == 1 ? Face::Smile : Face::None);
        p.restore();
      }
      break;
    case Picture::GoGoBanana:
      drawMotionLines(p);
      p.save();
      p.translate(6, 0);
      drawBanana(p, Face::Grin);
      p.restore();
      drawArm(p, QPointF(70, 58), QPointF(88, 40));
      break;
    case Picture::SleepyBanana:
      p.save();
      p.translate(0, 6);
      drawBanana(p, Face::Sleepy);
      p.restore();
      drawZzz(p);
      break;
    case Picture::HelloBanana:
      drawBanana(p, Face::Smile);
      drawArm(p, QPointF(72, 62), QPointF(84, 26));
      break;
    case Picture::HiBanana:
      p.save();
      p.translate(0, -4);
      drawBanana(p, Face::Grin);
      drawArm(p, QPointF(28, 50), QPointF(10, 30));
      drawArm(p, QPointF(72, 62), QPointF(88, 40));
      p.restore();
      drawSparkles(p);
      break;
  }
}

}  // namespace

QPixmap drawPicture(Picture picture, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 100.0, size / 100.0);
  drawScene(p, picture);
  return pixmap;
}

QIcon windowIcon() {
  QIcon icon;
  for (int size : {16, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 100.0, size / 100.0);
    p.translate(2, 2);
    drawBanana(p, size >= 32 ? Face::Smile : Face::None);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace vp::gui
