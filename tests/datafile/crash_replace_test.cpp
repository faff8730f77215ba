// A process killed at any moment of a change leaves the old or the new data file, never a mix
// and never none.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "datafile/store.h"
#include "tests/datafile/store_test_support.h"

namespace kavro {
namespace {

// A data file of 10,000 records, about 900 kB: large enough for a kill to land mid-write.
std::string LargeDataFile() {
  std::string content = "\r\n[COMMON]\r\nCOM=1\r\nPAGE=1\r\n\r\n[Data]\r\n";
  char line[128];
  for (int code = 0; code < 10000; ++code) {
    std::snprintf(line, sizeof line, "%04d=%058d \x8a\x77\x8f\x4b\x83\x52\x81\x5b\x83\x68%d\r\n",
                  code, code, code);
    content += line;
  }
  return content;
}

using Change = int (*)(const std::string& path);

int ChangeOneKey(const std::string& path) {
  return WriteKeyValue(path, "Data", "5000",
                       "8A1F0000000000000000000000000000000000000000000000000000FF new");
}

int RewriteTheSection(const std::string& path) {
  if (WriteSectionLine(path, "Data", "start") != 0) return -1;
  for (int code = 250; code < 2250; ++code) {
    WriteSectionLine(path, "Data", std::to_string(code) + "=00FF renumbered");
  }
  return WriteSectionLine(path, "Data", "end");
}

TEST(CrashDuringReplace, LeavesEitherTheOldOrTheNewFile) {
  test::ScratchDir dir;
  const std::string file = dir.Path("Kavro.dat");
  const std::string old_content = LargeDataFile();
  const Change changes[] = {ChangeOneKey, RewriteTheSection};
  std::string new_content[2];
  std::chrono::nanoseconds duration{0};
  for (int i = 0; i < 2; ++i) {
    test::WriteBytes(file, old_content);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(changes[i](file), 0);
    duration = std::max(duration, std::chrono::steady_clock::now() - start);
    new_content[i] = test::ReadBytes(file);
    ASSERT_NE(new_content[i], old_content);
  }

  std::mt19937 random(1);
  std::uniform_int_distribution<long> delay_us(
      0, std::chrono::duration_cast<std::chrono::microseconds>(duration).count() * 3 / 2 + 100);
  int kept_old = 0;
  int got_new = 0;
  for (int round = 0; round < 40; ++round) {
    const int which = round % 2;
    test::WriteBytes(file, old_content);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(changes[which](file) == 0 ? 0 : 1);
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    const std::string now = test::ReadBytes(file);
    const bool is_old = now == old_content;
    const bool is_new = now == new_content[which];
    ASSERT_TRUE(is_old || is_new) << "round " << round << ": " << now.size() << " bytes";
    kept_old += is_old;
    got_new += is_new;
    // A temporary file of a killed change may stay behind; it must never be the data file.
    for (const std::string& name : dir.Entries()) {
      if (name != "Kavro.dat") std::remove(dir.Path(name).c_str());
    }
  }
  std::printf("killed changes: %d kept the old file, %d gave the new one\n", kept_old, got_new);
}

}  // namespace
}  // namespace kavro
