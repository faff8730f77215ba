#include "mainwin/key_look.h"

#include <QAbstractButton>
#include <QPalette>

#include "codec/decode.h"
#include "datafile/signal_block.h"
#include "gui/gui_text.h"
#include "link/code_table.h"

namespace kavro {

namespace {

const char kMarkProperty[] = "kavroKeyMark";
const char kDimProperty[] = "kavroKeyDimmed";

const QColor kCurrentBackground(0xFF, 0xE8, 0x70);
const QColor kLearnedBackground(0x90, 0xE0, 0x90);

// Half way to the background: still the key's own hue, clearly fainter.
QColor Dimmed(const QColor& caption, const QColor& background) {
  return QColor((caption.red() + background.red()) / 2, (caption.green() + background.green()) / 2,
                (caption.blue() + background.blue()) / 2);
}

}  // namespace

QString KeyCodeLine(const CodeTable& codes, int code) {
  const QString number = QString::asprintf("%04d", code);
  const std::string& data = codes.Data(code);
  if (data.empty()) return number + QStringLiteral(" (no code)");
  return CodeLine(number, FromSjis(codes.Comment(code)),
                  codec::DecodeBrief(codec::Decode(SignalBlockFromText(data))));
}

void ShowKeyLook(QAbstractButton* button, const QColor& caption, bool has_code, KeyMark mark) {
  // Re-styling a key costs a polish and a repaint: keys whose look stays as it is are left alone
  // (a key never marked nor dimmed has the page's palette already).
  if (MarkOf(button) == mark && ShownDimmed(button) == !has_code) return;
  // The page's own palette is the reference, so that an unmarked key looks as it always did.
  const QPalette base = button->parentWidget() ? button->parentWidget()->palette() : QPalette();
  QPalette palette = button->palette();
  QColor background = base.color(QPalette::Button);
  if (mark == KeyMark::kCurrent) background = kCurrentBackground;
  if (mark == KeyMark::kLearned) background = kLearnedBackground;
  palette.setColor(QPalette::Button, background);
  palette.setColor(QPalette::ButtonText, has_code ? caption : Dimmed(caption, background));
  button->setPalette(palette);
  button->setProperty(kMarkProperty, static_cast<int>(mark));
  button->setProperty(kDimProperty, !has_code);
}

KeyMark MarkOf(const QAbstractButton* button) {
  return static_cast<KeyMark>(button->property(kMarkProperty).toInt());
}

bool ShownDimmed(const QAbstractButton* button) { return button->property(kDimProperty).toBool(); }

}  // namespace kavro
