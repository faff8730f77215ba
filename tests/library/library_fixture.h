// The code library window on a real data file in a temporary directory, with a stand-in for the
// main window that records what the library asks of it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "datafile/store.h"
#include "gui/gui_text.h"
#include "library/code_library_window.h"

namespace kavro::test {

// A QApplication for the test's lifetime, unless one exists; offscreen unless a platform is set.
class QtApp {
 public:
  QtApp() {
    if (QApplication::instance() != nullptr) return;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }

 private:
  int argc_ = 1;
  char name_[16] = "library_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

class FakeHost : public LibraryHost {
 public:
  SetLearnModeResult SetLearnMode() override {
    ++learn_requests;
    return static_cast<SetLearnModeResult>(learn_result);
  }
  void CancelLearn() override { ++learn_cancels; }
  SendIrDataResult SendIrData(std::string_view data_text) override {
    sent.emplace_back(data_text);
    if (on_send) on_send();
    return static_cast<SendIrDataResult>(send_result);
  }
  std::string DataFileName() const override { return path; }
  void ShowMainWindow() override { ++main_shown; }
  void EnableMainWindow() override { ++main_enabled; }

  std::string path;
  int learn_result = 0;
  int send_result = 0;
  int learn_requests = 0;
  int learn_cancels = 0;
  std::vector<std::string> sent;
  std::function<void()> on_send;
  int main_shown = 0;
  int main_enabled = 0;
};

// A data text of 58 hex digits: LongTime `first`, ShortTime 1, leader 4 / 2, two bits 1 and 0.
inline std::string DataText(const std::string& first = "03") {
  return first + "010000040402" + std::string(24, '0') + "80" + std::string(18, '0');
}

class LibraryTest : public ::testing::Test {
 protected:
  LibraryTest() {
    char pattern[] = "/tmp/kavro-library-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) dir_ = pattern;
    host.path = dir_ + "/Kavro.dat";
  }
  ~LibraryTest() override {
    window.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // Writes the data file: [Data] with `records` ("0300=..."), after `before` lines.
  void WriteFile(const std::vector<std::string>& records, const std::string& before = "") {
    std::ofstream out(host.path, std::ios::binary);
    out << "[COMMON]\r\nCOM=1\r\n" << before << "[Data]\r\n";
    for (const std::string& r : records) out << r << "\r\n";
    out << "[EXT]\r\nmsg11=TV\r\n";
  }
  std::string FileText() const {
    std::ifstream in(host.path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The lines of section Data as the store reads them ("0300 data comment").
  std::vector<std::string> DataLines() const {
    std::vector<std::string> lines;
    std::string line = "start";
    while (ReadSectionLine(host.path, "Data", line) == 0) {
      lines.push_back(line);
      line = "next";
    }
    line = "end";
    ReadSectionLine(host.path, "Data", line);
    return lines;
  }

  // Shows the window as the main window does (FormShow runs).
  TForm3& Open() {
    if (!window) {
      window = std::make_unique<TForm3>(*window_host);
      window->prompt = [this](QWidget*, const QString& text, const QString& caption) {
        prompts.push_back((caption + "|" + text).toStdString());
        return answer;
      };
    }
    window->show();
    return *window;
  }

  template <typename T>
  T* Find(const char* name) const {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QLineEdit* SeqNum() const { return Find<QLineEdit>("SeqNum"); }
  QLineEdit* IrData() const { return Find<QLineEdit>("IrData"); }
  QLineEdit* IrComm() const { return Find<QLineEdit>("IrComm"); }
  QListWidget* List() const { return Find<QListWidget>("IrDataList"); }
  std::string UpdateCaption() const { return Find<QPushButton>("IrUpdate")->text().toStdString(); }
  std::string Message() const { return ToSjis(Find<QLabel>("Message")->text()); }
  // Selects the entry at `row` as a click would.
  void Select(int row) const { List()->setCurrentRow(row); }
  // The entries' numbers in list order.
  std::vector<std::string> Numbers() const {
    std::vector<std::string> numbers;
    for (const std::string& e : window->Entries()) numbers.push_back(e.substr(0, e.find(' ')));
    return numbers;
  }

  QtApp app;
  FakeHost host;
  // What the window is given as its main window; `host` unless a test links a real one.
  LibraryHost* window_host = &host;
  std::unique_ptr<TForm3> window;
  bool answer = true;
  std::vector<std::string> prompts;

 private:
  std::string dir_;
};

}  // namespace kavro::test
