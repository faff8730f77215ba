// The main window as a test drives it: off-screen, on a data file in a temporary folder, with
// the link's clock ticked by hand, prompts answered and failures recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gui/error_display.h"
#include "link/controller_link.h"
#include "link/tick_source.h"
#include "mainwin/kavro_application.h"
#include "mainwin/main_window.h"
#include "serial/port_table.h"
#include "tests/link/sim_process.h"

namespace kavro::test {

// One application object for the whole test program, the program's own (so exceptions from
// event handlers meet its last line of defence). Never destroyed: taking Qt apart during the
// exit handlers crashes on the pointing device that the test clicks create.
inline QApplication& App() {
  static int argc = 1;
  static char name[] = "mainwin_tests";
  static char* argv[] = {name, nullptr};
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static KavroApplication* app = new KavroApplication(argc, argv);
  return *app;
}

class HandTicks : public TickSource {
 public:
  void Start() override { enabled = true; }
  void Stop() override { enabled = false; }
  bool Enabled() const override { return enabled; }
  void SetTickHandler(TickHandler h) override { handler = std::move(h); }
  void Tick(int n = 1) {
    for (int i = 0; i < n && handler; ++i) handler();
  }
  bool enabled = false;
  TickHandler handler;
};

// UTF-8 source text to the Shift-JIS bytes the data file holds, and back.
inline std::string Sjis(const char* utf8) {
  QStringEncoder encoder("Shift_JIS");
  const QByteArray bytes = encoder.encode(QString::fromUtf8(utf8));
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
inline QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    App();
    dir_ = std::filesystem::temp_directory_path() /
           ("kavro-mainwin-" + std::to_string(::getpid()) + "-" + std::to_string(++counter_));
    std::filesystem::create_directories(dir_);
    data_file = (dir_ / "kavro.dat").string();
    previous_display_ = SetErrorDisplay([this](const QString& text) { errors.push_back(text); });
  }
  ~MainWindowTest() override {
    form.reset();
    SetErrorDisplay(previous_display_);
    PortTable::Clear();
    std::filesystem::remove_all(dir_);
  }

  // The data file's content, given as UTF-8 lines (converted to Shift-JIS, CR LF breaks).
  void WriteDataFile(const std::vector<std::string>& lines) {
    std::ofstream out(data_file, std::ios::binary);
    for (const std::string& line : lines) out << Sjis(line.c_str()) << "\r\n";
  }
  std::string FileBytes() const {
    std::ifstream in(data_file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  // The file's content as UTF-8 text with LF breaks, for readable comparisons.
  std::string FileText() const {
    QStringDecoder decoder("Shift_JIS");
    QString text = decoder.decode(QByteArray::fromStdString(FileBytes()));
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).toStdString();
  }

  // Makes the main window on the data file and shows it (which loads everything).
  TForm1& Start() {
    form = std::make_unique<TForm1>(MainWindowSetup{{data_file}, "/nonexistent/kavro", &ticks});
    form->prompt = [this](QWidget*, const QString& text, const QString& caption) {
      prompts.push_back(caption + ": " + text);
      return prompt_answer;
    };
    form->show();
    return *form;
  }
  // Ends the run as closing the window does: FormDestroy runs.
  void Stop() { form.reset(); }

  template <typename T = QWidget>
  T* Find(const char* name) const {
    T* widget = form->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  void Click(const char* name) {
    auto* button = Find<QAbstractButton>(name);
    if (button != nullptr) QTest::mouseClick(button, Qt::LeftButton);
  }
  void Trigger(const char* name) {
    if (auto* action = Find<QAction>(name)) action->trigger();
  }
  // A click on the notebook's tab, as the user changes pages.
  void ShowTab(int index) {
    QTabBar* bar = Find<QTabWidget>("Note1")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
  }
  QString Text(const char* name) const {
    if (auto* label = form->findChild<QLabel*>(QString::fromLatin1(name))) return label->text();
    if (auto* button = form->findChild<QAbstractButton*>(QString::fromLatin1(name)))
      return button->text();
    ADD_FAILURE() << "no label or button " << name;
    return {};
  }
  // A simulated controller on a pseudo-terminal; the data file names it as COM1.
  std::unique_ptr<SimProcess> StartPtySim(std::vector<std::string> options) {
    options.insert(options.begin(), "--pty");
    auto sim = std::make_unique<SimProcess>(std::move(options));
    EXPECT_FALSE(sim->FirstLine().empty());
    return sim;
  }

  // Runs the event loop until the link has ended its exchange.
  bool WaitIdle() {
    return QTest::qWaitFor([this] { return form->Link().State() == kIdle && !ticks.enabled; },
                           5000);
  }

  std::string data_file;
  std::unique_ptr<TForm1> form;
  HandTicks ticks;
  std::vector<QString> prompts;
  bool prompt_answer = true;
  std::vector<QString> errors;

 private:
  static inline int counter_ = 0;
  std::filesystem::path dir_;
  ErrorDisplay previous_display_;
};

}  // namespace kavro::test
