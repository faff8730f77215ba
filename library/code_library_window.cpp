#include "library/code_library_window.h"

namespace kavro {

TForm3::TForm3(LibraryHost& host, QWidget* parent) : QMainWindow(parent), host_(host) {
  setWindowTitle(QStringLiteral("Kavro"));
}

void TForm3::LearnData(std::string_view) {}

}  // namespace kavro
