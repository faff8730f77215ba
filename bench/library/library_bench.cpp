// Times the code library window on a data file of 10,000 records: showing it (every record
// loaded into the list) and hiding it with a save (the whole section rewritten), against plain
// stream reads and copies of the same file in the same run; and the signal view's redraw of a
// three-frame code. Usage: library_bench [folder...]; by default /tmp and /dev/shm.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QListWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/library/sample_codes.h"
#include "bench/plain_file_baseline.h"
#include "library/code_library_window.h"
#include "library/draw_surface.h"
#include "library/signal_view.h"

namespace {

using bench::Flush;
using bench::g_sink;
using bench::kThreeFrames;
using bench::MedianMs;
using bench::PlainCopy;
using bench::PlainRead;

constexpr int kRecords = 10000;
constexpr int kWindowRuns = 11;
constexpr int kDrawRuns = 1001;

std::string MakeDataFile() {
  std::string content = "\r\n[COMMON]\r\nCOM=1\r\nPAGE=1\r\nListFontSize=9\r\n\r\n[Data]\r\n";
  char line[160];
  for (int i = 0; i < kRecords; ++i) {
    // Codes of the main window first, then the library's; a Shift-JIS comment ("テレビ電源").
    const int code = i < 250 ? i : 250 + 10 * (i - 250);
    std::snprintf(line, sizeof line,
                  "%04d=8A1F0740%02X8000000000000000000000000000000000000000000000%04X "
                  "\x83\x65\x83\x8c\x83\x72\x93\x64\x8c\xb9%d\r\n",
                  code, i % 256, i, i);
    content += line;
  }
  return content + "\r\n[EXT]\r\nmsg11=TV\r\n";
}

class BenchHost : public kavro::LibraryHost {
 public:
  explicit BenchHost(std::string path) : path_(std::move(path)) {}
  kavro::SetLearnModeResult SetLearnMode() override { return kavro::kLearnStarted; }
  void CancelLearn() override {}
  kavro::SendIrDataResult SendIrData(std::string_view) override { return kavro::kSendStarted; }
  std::string DataFileName() const override { return path_; }
  void ShowMainWindow() override {}
  void EnableMainWindow() override {}

 private:
  std::string path_;
};

// A surface that draws nowhere: the walk alone.
class NullSurface : public kavro::DrawSurface {
 public:
  int ClientWidth() const override { return 548; }
  int ClientHeight() const override { return 67; }
  void FillRect(int, int, int, int, kavro::Rgb) override {}
  void MoveTo(int, int) override {}
  void LineTo(int x, int y) override { g_sink += static_cast<size_t>(x + y); }
};

void Bench(const std::string& folder) {
  std::string templ = folder + "/kavro-library-bench-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) {
    std::printf("%s: cannot make a folder there\n", folder.c_str());
    return;
  }
  const std::string file = templ + "/Kavro.dat";
  const std::string copy = templ + "/copy.dat";
  const std::string content = MakeDataFile();
  auto restore = [&] { std::ofstream(file, std::ios::binary | std::ios::trunc) << content; };
  restore();

  const double read = MedianMs(kWindowRuns, nullptr, [&] { PlainRead(file); });
  const double plain_copy =
      MedianMs(kWindowRuns, nullptr, [&] { PlainCopy(file, copy, Flush::kNone); });
  const double durable_copy =
      MedianMs(kWindowRuns, nullptr, [&] { PlainCopy(file, copy, Flush::kFileRenameFolder); });

  BenchHost host(file);
  kavro::TForm3 window(host);
  window.prompt = [](QWidget*, const QString&, const QString&) { return true; };
  // Each showing starts hidden and from the same file; each hiding follows one learned code.
  auto hidden_and_restored = [&] {
    window.hide();
    restore();
  };
  const double show = MedianMs(kWindowRuns, hidden_and_restored, [&] { window.show(); });
  const double show_paint = MedianMs(kWindowRuns, hidden_and_restored, [&] {
    window.show();
    QApplication::processEvents();
  });
  window.hide();
  const double save = MedianMs(
      kWindowRuns,
      [&] {
        restore();
        window.show();
        QApplication::processEvents();
        window.LearnData(kThreeFrames);
      },
      [&] { window.hide(); });
  const size_t entries = window.Entries().size();

  std::printf("%s: %d records, %zu bytes, median of %d runs\n", folder.c_str(), kRecords,
              content.size(), kWindowRuns);
  std::printf("  plain read (ifstream, getline)         %8.3f ms\n", read);
  std::printf("  plain copy (ifstream to ofstream)      %8.3f ms\n", plain_copy);
  std::printf("  plain copy, fsync, rename, fsync dir   %8.3f ms\n", durable_copy);
  std::printf("  show (FormShow, %zu entries)          %8.3f ms  %6.2fx plain read\n", entries - 1,
              show, show / read);
  std::printf("  show and first paint                   %8.3f ms  %6.2fx plain read\n", show_paint,
              show_paint / read);
  std::printf(
      "  hide with save (FormHide)              %8.3f ms  %6.2fx plain copy  %5.2fx durable copy\n",
      save, save / plain_copy, save / durable_copy);
  std::filesystem::remove_all(templ);
}

void BenchDraw() {
  // Through the window: the list click's path, painting onto the image.
  std::string templ = "/tmp/kavro-library-bench-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) return;
  const std::string file = templ + "/Kavro.dat";
  std::ofstream(file, std::ios::binary) << "[Data]\r\n0300=" << kThreeFrames << " aircon\r\n";
  BenchHost host(file);
  kavro::TForm3 window(host);
  window.show();
  window.findChild<QListWidget*>(QStringLiteral("IrDataList"))->setCurrentRow(0);
  const double draw = MedianMs(kDrawRuns, nullptr, [&] { g_sink += window.DispLogic() + 1; });

  NullSurface nowhere;
  kavro::SignalView view(nowhere);
  view.SetCurrent(window.View().Current());
  const double walk =
      MedianMs(kDrawRuns, nullptr, [&] { g_sink += view.DispLogic(kavro::Trace::kUpper, 0) + 1; });
  std::printf("signal view, three-frame code (80 bits), median of %d runs\n", kDrawRuns);
  std::printf("  DispLogic onto the window's image      %8.4f ms\n", draw);
  std::printf("  the two walks alone (no drawing)       %8.4f ms\n", walk);
  window.hide();
  std::filesystem::remove_all(templ);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  std::vector<std::string> folders(argv + 1, argv + argc);
  if (folders.empty()) {
    folders.push_back("/tmp");
    if (std::filesystem::is_directory("/dev/shm")) folders.push_back("/dev/shm");
  }
  for (const auto& folder : folders) Bench(folder);
  BenchDraw();
  return g_sink == 0;
}
