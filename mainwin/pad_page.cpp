#include "mainwin/pad_page.h"

#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QToolButton>

#include <cstring>

#include "gui/gui_text.h"
#include "mainwin/widget_colors.h"

namespace kavro {

namespace {

// A graphic button keeps the focus where it was when clicked, but Tab reaches it and Space
// presses it like any other key, so the whole pad works without a mouse.
QToolButton* GraphicButton(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(QString::fromUtf8(caption));
  button->setFocusPolicy(Qt::TabFocus);
  return button;
}

}  // namespace

QColor PadKeyColor(PadKey::Color color) {
  switch (color) {
    case PadKey::kTeal: return kTeal;
    case PadKey::kRed: return kRed;
    case PadKey::kBlue: return kBlue;
    case PadKey::kBlack: break;
  }
  return Qt::black;
}

QString ExtKey::ShownCaption() const {
  QStyleOptionButton option;
  initStyleOption(&option);
  const QRect room = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
  return fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
}

void ExtKey::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  option.text = ShownCaption();
  painter.drawControl(QStyle::CE_PushButton, option);
}

PadPage BuildPadPage(QWidget* parent) {
  PadPage pad;
  pad.page = new QWidget(parent);
  const std::span<const PadKey> keys = PadKeys();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const PadKey& key = keys[i];
    QAbstractButton* button;
    if (key.graphic) {
      button = GraphicButton(pad.page, key.name, key.caption);
    } else if (key.index >= kFirstExtIndex) {
      button = new ExtKey(QString::fromUtf8(key.caption), pad.page);
      button->setObjectName(QString::fromLatin1(key.name));
    } else {
      button = new QPushButton(QString::fromUtf8(key.caption), pad.page);
      button->setObjectName(QString::fromLatin1(key.name));
    }
    button->setGeometry(key.x, key.y, key.width, key.height);
    SetFontColor(button, PadKeyColor(key.color));
    pad.keys[i] = button;
    if (key.index >= kFirstExtIndex)
      pad.ext[key.index - kFirstExtIndex] = static_cast<ExtKey*>(button);
  }

  const PadKey& mode = kTvVtrKey;
  pad.tv_vtr = GraphicButton(pad.page, mode.name, mode.caption);
  pad.tv_vtr->setGeometry(mode.x, mode.y, mode.width, mode.height);
  SetFontColor(pad.tv_vtr, PadKeyColor(mode.color));

  pad.message = NewTextLabel(QStringLiteral("MessageArea"), pad.page);
  pad.message->setObjectName(QStringLiteral("Message"));
  pad.message->setGeometry(8, 296, 145, 14);
  return pad;
}

}  // namespace kavro
