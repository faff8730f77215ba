// How a send key shows what it holds: the tool tip names its code ("0117 P1 TV VOL UP — NEC1
// 4.251 2"), a key without a code is drawn dimmed, and a mark shows the key a page learn waits
// for or the key that was just learned.
#pragma once

#include <QColor>
#include <QString>

class QAbstractButton;

namespace kavro {

class CodeTable;

enum class KeyMark { kNone, kCurrent, kLearned };

// One line for code `code`: "%04d", the comment, and " — " with the brief decode when the
// protocol is known; "%04d (no code)" when nothing is stored.
QString KeyCodeLine(const CodeTable& codes, int code);

// Caption colour `caption`, dimmed when `has_code` is false; background after `mark`. The key
// stays enabled either way, so learning into it works.
void ShowKeyLook(QAbstractButton* button, const QColor& caption, bool has_code, KeyMark mark);

KeyMark MarkOf(const QAbstractButton* button);
bool ShownDimmed(const QAbstractButton* button);

}  // namespace kavro
