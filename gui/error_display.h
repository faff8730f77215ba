// The one place where a failure that escaped an event handler is shown: a standard error box,
// after which the program goes on. Qt does not carry exceptions through its signal and event
// machinery, so every handler we connect to a widget is wrapped by Guarded(), which catches at
// our own boundary and hands the failure here. Tests replace the display to record instead.
#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <utility>

namespace kavro {

using ErrorDisplay = std::function<void(const QString& text)>;

// Installs `display` for the whole program and returns the one it replaces. An empty function
// restores the standard error box.
ErrorDisplay SetErrorDisplay(ErrorDisplay display);

// Shows `text` through the installed display.
void ShowErrorText(const QString& text);
// Shows an exception's message; what() is taken as UTF-8.
void ShowException(const std::exception& error);
// Shows whatever the current exception is; call only inside a catch block.
void ShowCurrentException();

// `handler` (no arguments) wrapped so that an exception it throws is shown and goes no further.
// Connect the result to a signal in place of the handler; extra signal arguments are dropped.
template <typename Handler>
auto Guarded(Handler handler) {
  return [handler = std::move(handler)]() mutable {
    try {
      handler();
    } catch (...) {
      ShowCurrentException();
    }
  };
}

}  // namespace kavro
