// kavro-shots --data FILE [--out DIR] [--io-sample]
// Starts the program's windows on FILE, clicks the tabs "IR1", "IR2" and "I/O" in turn and saves
// each as DIR/tab-ir1.png, tab-ir2.png, tab-io.png (DIR defaults to the current folder),
// printing each path. With --io-sample the I/O tab first writes output port 03 with FF, reads
// input port 12 and sends "ABC" CR LF, so its log shows a short session (this wants a
// controller on a serial link, such as kavro-sim --pty named in the file's section Serial).
// Without a display, run it with QT_QPA_PLATFORM=offscreen. Nothing is asked: a save question
// is answered Cancel and errors are printed, not shown.
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <cstdio>
#include <string>
#include <vector>

#include "datafile/data_file_name.h"
#include "gui/error_display.h"
#include "gui/gui_text.h"
#include "link/controller_link.h"
#include "mainwin/kavro_application.h"
#include "mainwin/main_window.h"
#include "mainwin/program_icon.h"
#include "mainwin/program_windows.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: kavro-shots --data FILE [--out DIR] [--io-sample]\n");
  return 2;
}

// Types into the I/O tab's fields and presses its buttons as a user would, waiting for each
// exchange to end.
void RunIoSample(kavro::TForm1& form) {
  auto field = [&](const char* name, const char* text) {
    form.findChild<QLineEdit*>(QString::fromLatin1(name))->setText(QString::fromLatin1(text));
  };
  auto press = [&](const char* name) {
    QTest::mouseClick(form.findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return !form.Link().Busy(); }, 2000))
      std::fprintf(stderr, "kavro-shots: no answer to %s\n", name);
  };
  field("OutAdr", "03");
  field("OutData", "FF");
  press("OutPort");
  field("InAdr", "12");
  press("InPort");
  field("SendBuff", "\"ABC\"0d0a");
  press("SendData");
}

}  // namespace

int main(int argc, char** argv) {
  std::string data;
  QString out = QStringLiteral(".");
  bool io_sample = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--data" && i + 1 < argc) {
      data = argv[++i];
    } else if (arg == "--io-sample") {
      io_sample = true;
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
    if (!QTest::qWaitForWindowExposed(&form))
      std::fprintf(stderr, "kavro-shots: window not exposed\n");

    auto* note = form.findChild<QTabWidget*>(QStringLiteral("Note1"));
    const char* const names[] = {"tab-ir1.png", "tab-ir2.png", "tab-io.png"};
    for (int tab = 0; tab < 3; ++tab) {
      QTabBar* bar = note->tabBar();
      QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
      if (tab == 2 && io_sample) RunIoSample(form);
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
