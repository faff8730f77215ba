#include "mainwin/kavro_application.h"

#include "gui/error_display.h"

namespace kavro {

KavroApplication::KavroApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool KavroApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowCurrentException();
    return false;
  }
}

}  // namespace kavro
