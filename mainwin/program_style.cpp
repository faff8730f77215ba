#include "mainwin/program_style.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>

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

}  // namespace kavro
