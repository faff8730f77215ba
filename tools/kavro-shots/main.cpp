// kavro-shots --data FILE [--out DIR]
// Starts the program's windows on FILE, clicks the tabs "IR1", "IR2" and "I/O" in turn and saves
// each as DIR/tab-ir1.png, tab-ir2.png, tab-io.png (DIR defaults to the current folder),
// printing each path. Without a display, run it with QT_QPA_PLATFORM=offscreen. Nothing is
// asked: a save question is answered Cancel and errors are printed, not shown.
#include <QDir>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <cstdio>
#include <string>
#include <vector>

#include "datafile/data_file_name.h"
#include "library/error_display.h"
#include "library/gui_text.h"
#include "mainwin/kavro_application.h"
#include "mainwin/main_window.h"
#include "mainwin/program_icon.h"
#include "mainwin/program_windows.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: kavro-shots --data FILE [--out DIR]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string data;
  QString out = QStringLiteral(".");
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--data" && i + 1 < argc) {
      data = argv[++i];
    } else if (arg == "--out" && i + 1 < argc) {
      out = QString::fromLocal8Bit(argv[++i]);
    } else {
      return Usage();
    }
  }
  if (data.empty()) return Usage();

  kavro::KavroApplication app(argc, argv);
  QApplication::setWindowIcon(kavro::ProgramIcon());
  QApplication::setFont(kavro::DesignFont());
  QApplication::setQuitOnLastWindowClosed(false);
  kavro::SetErrorDisplay([](const QString& text) {
    std::fprintf(stderr, "kavro-shots: %s\n", text.toLocal8Bit().constData());
  });
  if (!QDir().mkpath(out)) {
    std::fprintf(stderr, "kavro-shots: cannot create %s\n", out.toLocal8Bit().constData());
    return 1;
  }

  int failures = 0;
  {
    kavro::ProgramWindows windows({data}, kavro::ExecutablePath());
    kavro::TForm1& form = windows.Form1();
    form.prompt = [](QWidget*, const QString&, const QString&) { return false; };
    windows.Show();
    if (!QTest::qWaitForWindowExposed(&form)) std::fprintf(stderr, "kavro-shots: window not exposed\n");

    auto* note = form.findChild<QTabWidget*>(QStringLiteral("Note1"));
    const char* const names[] = {"tab-ir1.png", "tab-ir2.png", "tab-io.png"};
    for (int tab = 0; tab < 3; ++tab) {
      QTabBar* bar = note->tabBar();
      QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
      QTest::qWait(50);
      const QString path = QDir(out).absoluteFilePath(QString::fromLatin1(names[tab]));
      if (form.grab().save(path, "PNG")) {
        std::printf("%s\n", path.toLocal8Bit().constData());
      } else {
        std::fprintf(stderr, "kavro-shots: cannot write %s\n", path.toLocal8Bit().constData());
        ++failures;
      }
    }
    form.close();
  }
  return failures == 0 ? 0 : 1;
}
