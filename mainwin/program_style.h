// The program's widget style: the platform's own, but for the icon of the menu bar's overflow
// button, which is drawn here. Qt takes that icon from an image file when it makes a menu bar,
// and reading an image file starts every image format plugin of the system first: some
// milliseconds of the program's start, for a button shown only when a menu bar is too narrow
// for its menus, which ours never are.
//
// It also draws the tab page's frame in bands. Qt's raster painter hands a shape of more than
// about 96 scan lines to a pool of threads, which it starts on that first use: at start, over
// a millisecond for a frame that draws in a tenth of one. In bands of fewer lines the frame is
// the same pixels and no thread is started.
#pragma once

#include <QProxyStyle>

namespace kavro {

class ProgramStyle : public QProxyStyle {
 public:
  ProgramStyle() = default;

  QIcon standardIcon(StandardPixmap standard_icon, const QStyleOption* option = nullptr,
                     const QWidget* widget = nullptr) const override;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace kavro
