// Start-up time: from process start until the main window has been shown and has loaded its
// data file (FormShow), on a data file of 10,000 records, against a bare Qt program that shows
// an empty main window. Both are this program started again as a child, alternately, off-screen
// unless QT_QPA_PLATFORM says otherwise. The child reports the monotonic clock when its window
// is exposed; the parent took it just before starting the child. With --phases the program's
// child also reports the clock between its steps, and the medians of the steps are printed.
//
//   mainwin_startup_bench [--phases] [runs=21]
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "datafile/data_file_name.h"
#include "gui/gui_text.h"
#include "mainwin/kavro_application.h"
#include "mainwin/main_window.h"
#include "mainwin/program_icon.h"
#include "mainwin/program_start.h"
#include "mainwin/program_style.h"
#include "mainwin/program_windows.h"

extern char** environ;

namespace {

long long NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

void WaitExposed(QWidget& window) {
  while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed())
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

// --- children: print the clock once the window is up, then leave at once --------------------

int BareChild(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.resize(160, 366);
  window.show();
  WaitExposed(window);
  std::printf("%lld\n", NowNs());
  std::fflush(stdout);
  std::_Exit(0);
}

// The steps of the program's start-up that --phases times, in order.
constexpr const char* kPhases[] = {
    "process start until main()",
    "QApplication",
    "style, icon and font",
    "windows made",
    "show (FormShow)",
    "until exposed (first paint)",
};
constexpr int kPhaseCount = sizeof kPhases / sizeof kPhases[0];

int KavroChild(int argc, char** argv, const std::string& data_file, bool phases) {
  long long at[kPhaseCount];
  at[0] = NowNs();
  // The same steps as the program's main().
  kavro::ProgramStart start;
  kavro::KavroApplication app(argc, argv);
  at[1] = NowNs();
  QApplication::setApplicationName(QStringLiteral("Kavro"));
  QApplication::setStyle(new kavro::ProgramStyle);
  QApplication::setWindowIcon(kavro::ProgramIcon());
  start.WaitForFonts();
  QApplication::setFont(kavro::DesignFont());
  QApplication::setQuitOnLastWindowClosed(false);
  at[2] = NowNs();
  kavro::ProgramWindows windows({data_file}, kavro::ExecutablePath());
  at[3] = NowNs();
  windows.Show();  // FormShow has run when this returns
  at[4] = NowNs();
  WaitExposed(windows.Form1());
  at[5] = NowNs();
  // The time of exposure first: that is what every run reports.
  std::printf("%lld", at[5]);
  if (phases)
    for (long long t : at) std::printf(" %lld", t);
  std::printf("\n");
  std::fflush(stdout);
  std::_Exit(0);
}

// --- parent ----------------------------------------------------------------------------------

void WriteDataFile(const std::string& path, int records) {
  std::ofstream out(path, std::ios::binary);
  // Settings as the demo file has them, the records after them.
  out << "[COMMON]\r\nCOM=1\r\nPAGE=1\r\nPAGE2=0\r\nTV_VTR=0\r\n[Lan]\r\nHost=127.0.0.1\r\n"
         "Port=1024\r\n[EXT]\r\nmsg11=\x8f\xc6\x96\xbe\r\n[Data]\r\n";
  char line[128];
  for (int i = 0; i < records; ++i) {
    std::snprintf(line, sizeof line,
                  "%04d=301000014040A000000000000000000000000010EF%02X%02X000000000000 code %d\r\n",
                  i, i & 0xFF, 0xFF - (i & 0xFF), i);
    out << line;
  }
}

// Milliseconds from just before the child starts until the clock it reports; with `steps`, also
// the milliseconds of each of the child's phases.
double RunChild(const std::string& self, const std::vector<std::string>& args,
                std::vector<double>* steps = nullptr) {
  std::vector<char*> argv;
  std::vector<std::string> all{self};
  all.insert(all.end(), args.begin(), args.end());
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = 0;
  const long long start = NowNs();
  const int failed = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (failed != 0) {
    close(out[0]);
    return -1;
  }
  std::string text;
  char buffer[64];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<size_t>(n));
  close(out[0]);
  waitpid(pid, nullptr, 0);
  const long long shown = std::atoll(text.c_str());
  if (steps != nullptr) {
    // The exposure, then the clock at the start of each phase and at the end of the last.
    std::vector<long long> clock;
    char* p = text.data();
    for (char* end = p;; p = end) {
      const long long value = std::strtoll(p, &end, 10);
      if (end == p) break;
      clock.push_back(value);
    }
    steps->clear();
    if (clock.size() == kPhaseCount + 1) {
      steps->push_back((clock[1] - start) / 1e6);
      for (int i = 2; i <= kPhaseCount; ++i) steps->push_back((clock[i] - clock[i - 1]) / 1e6);
    }
  }
  return shown > 0 ? (shown - start) / 1e6 : -1;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--child") {
    if (std::string(argv[2]) == "bare") return BareChild(argc, argv);
    if (argc >= 4) return KavroChild(argc, argv, argv[3], std::string(argv[2]) == "phases");
    return 2;
  }
  int arg = 1;
  const bool phases = argc > arg && std::string(argv[arg]) == "--phases";
  if (phases) ++arg;
  const int runs = argc > arg ? std::max(1, std::atoi(argv[arg])) : 21;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string self = kavro::ExecutablePath();

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kavro-startup-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string data_file = (dir / "kavro.dat").string();
  WriteDataFile(data_file, 10000);

  std::vector<double> bare, kavro;
  std::vector<std::vector<double>> phase_times(kPhaseCount);
  const char* kavro_child = phases ? "phases" : "kavro";
  // One of each first, not counted: the first start pays for a cold disk cache.
  RunChild(self, {"--child", "bare"});
  RunChild(self, {"--child", kavro_child, data_file});
  for (int i = 0; i < runs; ++i) {
    bare.push_back(RunChild(self, {"--child", "bare"}));
    std::vector<double> steps;
    kavro.push_back(RunChild(self, {"--child", kavro_child, data_file}, &steps));
    for (std::size_t p = 0; p < steps.size(); ++p) phase_times[p].push_back(steps[p]);
  }
  std::filesystem::remove_all(dir);
  if (std::count(bare.begin(), bare.end(), -1.0) + std::count(kavro.begin(), kavro.end(), -1.0) >
      0) {
    std::fprintf(stderr, "a child failed\n");
    return 1;
  }
  const double b = Median(bare), k = Median(kavro);
  std::printf("start-up until the main window is shown, %d runs each, platform %s\n", runs,
              std::getenv("QT_QPA_PLATFORM"));
  std::printf("  bare Qt main window (baseline): median %7.1f ms  best %7.1f ms\n", b,
              *std::min_element(bare.begin(), bare.end()));
  std::printf("  kavro, 10,000 records:          median %7.1f ms  best %7.1f ms\n", k,
              *std::min_element(kavro.begin(), kavro.end()));
  std::printf("  ratio (medians): %.2f\n", k / b);
  if (phases && !phase_times[0].empty()) {
    std::printf("kavro's steps (medians):\n");
    for (int p = 0; p < kPhaseCount; ++p)
      std::printf("  %-32s %7.2f ms\n", kPhases[p], Median(phase_times[p]));
  }
  return 0;
}
