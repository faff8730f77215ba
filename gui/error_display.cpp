#include "gui/error_display.h"

#include <QApplication>
#include <QMessageBox>

namespace kavro {

namespace {

void StandardErrorBox(const QString& text) {
  QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Kavro"), text);
}

ErrorDisplay& Installed() {
  static ErrorDisplay display = StandardErrorBox;
  return display;
}

}  // namespace

ErrorDisplay SetErrorDisplay(ErrorDisplay display) {
  ErrorDisplay previous = std::move(Installed());
  Installed() = display ? std::move(display) : ErrorDisplay(StandardErrorBox);
  return previous;
}

void ShowErrorText(const QString& text) {
  // Copied first: a display may replace itself while it shows.
  ErrorDisplay display = Installed();
  display(text);
}

void ShowException(const std::exception& error) { ShowErrorText(QString::fromUtf8(error.what())); }

void ShowCurrentException() {
  try {
    throw;
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowErrorText(QStringLiteral("Unknown error"));
  }
}

}  // namespace kavro
