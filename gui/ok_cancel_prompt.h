// OK/Cancel confirmation prompts. Windows hold one as a replaceable function so that tests can
// answer a prompt without a modal wait.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace kavro {

// Asks `text` in a box captioned `caption` with the buttons OK and Cancel; true for OK.
using OkCancelPrompt =
    std::function<bool(QWidget* parent, const QString& text, const QString& caption)>;

// The real prompt: a modal message box.
bool AskOkCancel(QWidget* parent, const QString& text, const QString& caption);

}  // namespace kavro
