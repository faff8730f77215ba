// The few font colours of the main window's keys, and how a key gets one.
#pragma once

#include <QAbstractButton>
#include <QColor>

namespace kavro {

inline const QColor kTeal(0x00, 0x80, 0x80);
inline const QColor kRed(0xFF, 0x00, 0x00);
inline const QColor kBlue(0x00, 0x00, 0xFF);
inline const QColor kGreen(0x00, 0x80, 0x00);

// The caption colour through the palette, so the style still draws the key as usual.
inline void SetFontColor(QAbstractButton* button, const QColor& color) {
  QPalette palette = button->palette();
  palette.setColor(QPalette::ButtonText, color);
  button->setPalette(palette);
}

}  // namespace kavro
