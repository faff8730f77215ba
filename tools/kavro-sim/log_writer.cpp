#include "tools/kavro-sim/log_writer.h"

#include <ctime>

namespace kavro::sim {

std::string formatLogLine(std::chrono::system_clock::time_point when, std::string_view kind,
                          std::string_view detail) {
  using namespace std::chrono;
  const std::time_t seconds = system_clock::to_time_t(when);
  const auto millis = duration_cast<milliseconds>(when.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(millis));
  std::string line = stamp;
  line += ' ';
  line += kind;
  if (!detail.empty()) {
    line += ' ';
    line += detail;
  }
  return line;
}

void LogWriter::write(std::string_view kind, std::string_view detail) {
  const std::string line = formatLogLine(std::chrono::system_clock::now(), kind, detail);
  std::fprintf(file_, "%s\n", line.c_str());
  std::fflush(file_);
}

}  // namespace kavro::sim
