#include "mainwin/program_style.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyleOption>

#include <algorithm>

namespace kavro {

namespace {

// A "»" in the text colour, as the overflow button shows.
QIcon OverflowIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(QPen(QGuiApplication::palette().color(QPalette::ButtonText), 1.5));
  painter.setRenderHint(QPainter::Antialiasing);
  for (const int x : {4, 8}) {
    painter.drawLine(QPointF(x, 4.5), QPointF(x + 3.5, 8));
    painter.drawLine(QPointF(x + 3.5, 8), QPointF(x, 11.5));
  }
  painter.end();
  return QIcon(pixmap);
}

}  // namespace

QIcon ProgramStyle::standardIcon(StandardPixmap standard_icon, const QStyleOption* option,
                                 const QWidget* widget) const {
  if (standard_icon == SP_ToolBarHorizontalExtensionButton) return OverflowIcon();
  return QProxyStyle::standardIcon(standard_icon, option, widget);
}

void ProgramStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
  // Two sides of a band's height each must stay under the threads' threshold, in device pixels.
  const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1;
  const int band = std::max(1, static_cast<int>(40 / std::max<qreal>(ratio, 1)));
  if (element != PE_FrameTabWidget || option->rect.height() <= band) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  const QRect rect = option->rect;
  for (int y = rect.top(); y <= rect.bottom(); y += band) {
    painter->save();
    painter->setClipRect(QRect(rect.left(), y, rect.width(), band), Qt::IntersectClip);
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    painter->restore();
  }
}

}  // namespace kavro
