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

constexpr int kDigit = 25;  // digit keys are square
constexpr int kWide = 41;   // right column and extension keys
constexpr int kTall = 25;

constexpr PadKey kKeys[] = {
    {"Button1", "1", 8, 8, kDigit, kTall, 1, true, false, PadKey::kBlack},
    {"Button2", "2", 40, 8, kDigit, kTall, 2, true, false, PadKey::kBlack},
    {"Button3", "3", 72, 8, kDigit, kTall, 3, true, false, PadKey::kBlack},
    {"SpeedButton4", "PWR", 104, 8, kWide, kTall, 15, false, true, PadKey::kTeal},
    {"Button4", "4", 8, 40, kDigit, kTall, 4, true, false, PadKey::kBlack},
    {"Button5", "5", 40, 40, kDigit, kTall, 5, true, false, PadKey::kBlack},
    {"Button6", "6", 72, 40, kDigit, kTall, 6, true, false, PadKey::kBlack},
    {"Button21", "CH+", 104, 40, kWide, kTall, 13, true, false, PadKey::kBlack},
    {"Button7", "7", 8, 72, kDigit, kTall, 7, true, false, PadKey::kBlack},
    {"Button8", "8", 40, 72, kDigit, kTall, 8, true, false, PadKey::kBlack},
    {"Button9", "9", 72, 72, kDigit, kTall, 9, true, false, PadKey::kBlack},
    {"Button22", "CH-", 104, 72, kWide, kTall, 14, true, false, PadKey::kBlack},
    {"Button10", "10", 8, 104, kDigit, kTall, 10, true, false, PadKey::kBlack},
    {"Button11", "11", 40, 104, kDigit, kTall, 11, true, false, PadKey::kBlack},
    {"Button12", "12", 72, 104, kDigit, kTall, 12, true, false, PadKey::kBlack},
    {"SpeedButton6", "Mute", 104, 104, kWide, kTall, 16, false, true, PadKey::kRed},
    {"Button23", "VOL+", 104, 136, kWide, kTall, 17, false, false, PadKey::kBlack},
    {"Button14", "<<", 8, 168, kDigit, kTall, 19, false, false, PadKey::kBlack},
    {"Button15", ">", 40, 168, kDigit, kTall, 20, false, false, PadKey::kBlack},
    {"Button16", ">>", 72, 168, kDigit, kTall, 21, false, false, PadKey::kBlack},
    {"Button24", "VOL-", 104, 168, kWide, kTall, 18, false, false, PadKey::kBlack},
    {"SpeedButton1", "●", 8, 200, kDigit, kTall, 22, false, true, PadKey::kRed},
    {"SpeedButton2", "■", 40, 200, kDigit, kTall, 23, false, true, PadKey::kBlue},
    {"SpeedButton3", "||", 72, 200, kDigit, kTall, 24, false, true, PadKey::kRed},
    {"SpeedButton5", "PWR", 104, 200, kWide, kTall, 25, false, true, PadKey::kTeal},
    {"Button26", "EXT1", 8, 232, kWide, kTall, 26, false, false, PadKey::kBlack},
    {"Button27", "EXT2", 56, 232, kWide, kTall, 27, false, false, PadKey::kBlack},
    {"Button28", "EXT3", 104, 232, kWide, kTall, 28, false, false, PadKey::kBlack},
    {"Button29", "EXT4", 8, 264, kWide, kTall, 29, false, false, PadKey::kBlack},
    {"Button30", "EXT5", 56, 264, kWide, kTall, 30, false, false, PadKey::kBlack},
    {"Button31", "EXT6", 104, 264, kWide, kTall, 31, false, false, PadKey::kBlack},
};
static_assert(std::size(kKeys) == std::tuple_size_v<decltype(PadPage::keys)>);

constexpr int kFirstExtIndex = 26;

QColor ColorOf(PadKey::Color color) {
  switch (color) {
    case PadKey::kTeal: return kTeal;
    case PadKey::kRed: return kRed;
    case PadKey::kBlue: return kBlue;
    case PadKey::kBlack: break;
  }
  return Qt::black;
}

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

std::span<const PadKey> PadKeys() { return kKeys; }

PadPage BuildPadPage(QWidget* parent) {
  PadPage pad;
  pad.page = new QWidget(parent);
  for (std::size_t i = 0; i < std::size(kKeys); ++i) {
    const PadKey& key = kKeys[i];
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
    SetFontColor(button, ColorOf(key.color));
    pad.keys[i] = button;
    if (key.index >= kFirstExtIndex)
      pad.ext[key.index - kFirstExtIndex] = static_cast<ExtKey*>(button);
  }

  pad.tv_vtr = GraphicButton(pad.page, "SpeedButton7", "TV");
  pad.tv_vtr->setGeometry(8, 136, 57, 25);
  SetFontColor(pad.tv_vtr, kTeal);

  pad.message = NewTextLabel(QStringLiteral("MessageArea"), pad.page);
  pad.message->setObjectName(QStringLiteral("Message"));
  pad.message->setGeometry(8, 296, 145, 14);
  return pad;
}

}  // namespace kavro
