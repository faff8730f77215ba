// The program's widget style: the platform's own, but for the icon of the menu bar's overflow
// button, which is drawn here. Qt takes that icon from an image file when it makes a menu bar,
// and reading an image file starts every image format plugin of the system first: some
// milliseconds of the program's start, for a button shown only when a menu bar is too narrow
// for its menus, which ours never are.
#pragma once

#include <QProxyStyle>

namespace kavro {

class ProgramStyle : public QProxyStyle {
 public:
  ProgramStyle() = default;

  QIcon standardIcon(StandardPixmap standard_icon, const QStyleOption* option = nullptr,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace kavro
