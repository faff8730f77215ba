// What the benchmarks of the data file measure against: medians of repeated runs, and plain
// stream reads and copies of the same file.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// Keeps the work of the baselines from being optimised away.
inline std::size_t g_sink = 0;

// Median time in ms of `runs` runs of `run`, each after an untimed `before` (may be empty).
inline double MedianMs(int runs, const std::function<void()>& before,
                       const std::function<void()>& run) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    if (before) before();
    const auto start = std::chrono::steady_clock::now();
    run();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

inline void PlainRead(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) g_sink += line.size();
}

enum class Flush { kNone, kFile, kFileRenameFolder };

// A line-by-line stream copy; with kFileRenameFolder it goes the same durable way as the
// store: a flushed file beside the target, renamed over it, then the folder flushed.
inline void PlainCopy(const std::string& from, const std::string& to, Flush flush) {
  const std::string written = flush == Flush::kFileRenameFolder ? to + ".new" : to;
  {
    std::ifstream in(from);
    std::ofstream out(written, std::ios::trunc);
    std::string line;
    while (std::getline(in, line)) out << line << '\n';
  }
  if (flush == Flush::kNone) return;
  int fd = open(written.c_str(), O_WRONLY);
  fsync(fd);
  close(fd);
  if (flush == Flush::kFile) return;
  rename(written.c_str(), to.c_str());
  fd = open(std::filesystem::path(to).parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  fsync(fd);
  close(fd);
}

}  // namespace bench
