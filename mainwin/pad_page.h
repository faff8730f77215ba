// The "IR1" tab: the remote pad. Its keys, where they sit and which key index each stands for.
#pragma once

#include <QPushButton>

#include <array>
#include <span>

class QAbstractButton;
class QLabel;
class QToolButton;
class QWidget;

namespace kavro {

// One key of the pad. `index` is its key index in TV mode; a `shifted` key (digits and channel)
// adds the TV/VTR offset.
struct PadKey {
  const char* name;
  const char* caption;
  int x, y, width, height;
  int index;
  bool shifted;
  bool graphic;  // a graphic button: takes no focus
  enum Color { kBlack, kTeal, kRed, kBlue } color;
};

// Every key that sends a code (all but the TV/VTR key), in the order they are laid out.
std::span<const PadKey> PadKeys();

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
  std::array<QAbstractButton*, 31> keys{};
  std::array<ExtKey*, kExtKeyCount> ext{};
  QToolButton* tv_vtr = nullptr;  // SpeedButton7
  QLabel* message = nullptr;      // Message, the tab's status line
};

PadPage BuildPadPage(QWidget* parent);

}  // namespace kavro
