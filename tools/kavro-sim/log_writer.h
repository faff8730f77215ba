#pragma once
// The simulator's log: one line per frame, line, answer or connection event, with the time of
// day to the millisecond, so it lines up with the program's own messages.

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace kavro::sim {

// "HH:MM:SS.mmm kind detail" (local time, no line break).
std::string formatLogLine(std::chrono::system_clock::time_point when, std::string_view kind,
                          std::string_view detail);

class LogWriter {
 public:
  // `file` is not owned; every line is flushed at once so a reader sees it while we run.
  explicit LogWriter(std::FILE* file) : file_(file) {}
  void write(std::string_view kind, std::string_view detail);

 private:
  std::FILE* file_;
};

}  // namespace kavro::sim
