// The "IR1" tab: the remote pad. Its keys, where they sit and which key index each stands for.
#pragma once

#include <QColor>
#include <QPushButton>

#include <array>

#include "datafile/pad_keys.h"

class QAbstractButton;
class QLabel;
class QToolButton;
class QWidget;

namespace kavro {

// Extension keys Button26..Button31, whose captions come from the data file.
inline constexpr int kExtKeyCount = 6;

// An extension key. Its caption is the user's own and may be wider than the key: it is drawn cut
// at its end with an ellipsis (text() stays whole; the window shows it whole as the tool tip)
// rather than clipped on both sides.
class ExtKey : public QPushButton {
 public:
  using QPushButton::QPushButton;
  // The caption as drawn.
  QString ShownCaption() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

struct PadPage {
  QWidget* page = nullptr;
  // One per PadKeys() entry, same order.
  std::array<QAbstractButton*, kPadKeyCount> keys{};
  std::array<ExtKey*, kExtKeyCount> ext{};
  QToolButton* tv_vtr = nullptr;  // SpeedButton7
  QLabel* message = nullptr;      // Message, the tab's status line
};

PadPage BuildPadPage(QWidget* parent);

// The caption colour a pad key is drawn in.
QColor PadKeyColor(PadKey::Color color);

}  // namespace kavro
