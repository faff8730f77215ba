#include "mainwin/program_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace kavro {

QPixmap ProgramIconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  // The remote: a dark rounded body, tilted towards the top right.
  p.translate(16, 16);
  p.rotate(35);
  p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
  p.setBrush(QColor(0x40, 0x48, 0x58));
  p.drawRoundedRect(QRectF(-5, -8, 10, 22), 2.5, 2.5);
  // Keys and the red emitter.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xE0, 0xE0, 0xE0));
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 2; ++col) p.drawRect(QRectF(-3 + col * 4, -1 + row * 4, 2, 2));
  p.setBrush(QColor(0xE0, 0x20, 0x20));
  p.drawEllipse(QPointF(0, -5), 1.6, 1.6);
  // The beam: three arcs in front of the emitter.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0xE0, 0x20, 0x20), 1.4, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 3; ++i) {
    const double r = 4 + i * 3;
    p.drawArc(QRectF(-r, -8 - r, 2 * r, 2 * r), 50 * 16, 80 * 16);
  }
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addPixmap(ProgramIconPixmap(size));
  return icon;
}

}  // namespace kavro
