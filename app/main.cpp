// The program kavro: its three windows and the event loop. The data file is the one argument,
// or the file beside the program named like it with ".dat".
#include <string>
#include <vector>

#include "datafile/data_file_name.h"
#include "gui/error_display.h"
#include "gui/gui_text.h"
#include "mainwin/kavro_application.h"
#include "mainwin/program_icon.h"
#include "mainwin/program_start.h"
#include "mainwin/program_style.h"
#include "mainwin/program_windows.h"

int main(int argc, char** argv) {
  kavro::ProgramStart start;
  kavro::KavroApplication app(argc, argv);
  try {
    QApplication::setApplicationName(QStringLiteral("Kavro"));
    QApplication::setStyle(new kavro::ProgramStyle);
    QApplication::setWindowIcon(kavro::ProgramIcon());
    start.WaitForFonts();
    QApplication::setFont(kavro::DesignFont());
    // The main window decides when the run ends, not the last window to close.
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<std::string> args(argv + 1, argv + argc);
    kavro::ProgramWindows windows(std::move(args), kavro::ExecutablePath());
    windows.Show();
    QApplication::exec();
  } catch (...) {
    kavro::ShowCurrentException();
  }
  return 0;
}
