// The data file lock: writers in separate processes keep each other's changes, a holder keeps
// other processes and threads out, and one thread nests.
#include "datafile/file_lock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "datafile/store.h"
#include "tests/datafile/store_test_support.h"

namespace kavro {
namespace {

class FileLock : public ::testing::Test {
 protected:
  std::string Value(std::string_view key) {
    std::string value;
    ReadKeyValue(file_, "Data", key, value, "(missing)");
    return value;
  }

  test::ScratchDir dir_;
  std::string file_ = dir_.Path("Kavro.dat");
};

// Two processes change one section at once, one by WriteKeyValue and one by AddKeyValues: every
// key either of them added, and each one's counter, holds its last value.
TEST_F(FileLock, ConcurrentWritersLoseNothing) {
  constexpr int kRounds = 200;
  test::WriteBytes(file_, "[COMMON]\r\nCOM=1\r\n[Data]\r\n[EXT]\r\nmsg11=TV\r\n");
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = fork();
    ASSERT_GE(writers[w], 0);
    if (writers[w] > 0) continue;
    close(start[1]);
    char byte;
    if (read(start[0], &byte, 1) != 0) _exit(3);  // both begin when the parent lets go
    const std::string prefix(1, static_cast<char>('A' + w));
    int failed = 0;
    for (int round = 0; round < kRounds; ++round) {
      const std::string key = prefix + std::to_string(round);
      const std::string value = "v" + std::to_string(round);
      if (w == 0) {
        failed |= WriteKeyValue(file_, "Data", key, value);
      } else {
        const KeyValue added{key, value};
        failed |= AddKeyValues(file_, "Data", {&added, 1});
      }
      failed |= WriteKeyValue(file_, "Data", prefix + "count", std::to_string(round));
    }
    _exit(failed == 0 ? 0 : 1);
  }
  close(start[0]);
  close(start[1]);
  for (pid_t writer : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (const char* prefix : {"A", "B"}) {
    for (int round = 0; round < kRounds; ++round) {
      ASSERT_EQ(Value(prefix + std::to_string(round)), "v" + std::to_string(round)) << prefix;
    }
    EXPECT_EQ(Value(std::string(prefix) + "count"), std::to_string(kRounds - 1));
  }
  EXPECT_NE(test::ReadBytes(file_).find("[EXT]\r\nmsg11=TV\r\n"), std::string::npos);
}

// While this thread holds the lock, another process or thread waits in DataFileLock: what it
// writes to the pipe after taking the lock comes after what the holder writes before letting go.
TEST_F(FileLock, AHolderKeepsOtherProcessesAndThreadsOut) {
  using Join = std::function<void()>;
  const std::function<Join(const std::function<void()>&)> ways[] = {
      [](const std::function<void()>& waiter) -> Join {  // a process forked while it is held
        const pid_t child = fork();
        if (child == 0) {
          alarm(10);
          waiter();
          _exit(0);
        }
        return [child] { waitpid(child, nullptr, 0); };
      },
      [](const std::function<void()>& waiter) -> Join {
        auto thread = std::make_shared<std::thread>(waiter);
        return [thread] { thread->join(); };
      },
  };
  for (const auto& start_waiter : ways) {
    int order[2];
    ASSERT_EQ(pipe(order), 0);
    Join join;
    {
      const DataFileLock held(file_);
      ASSERT_FALSE(held.error());
      join = start_waiter([&] {
        const DataFileLock waiting(file_);
        if (write(order[1], "w", 1) != 1) std::abort();
      });
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ASSERT_EQ(write(order[1], "h", 1), 1);
    }
    join();
    close(order[1]);
    char got[3] = {};
    EXPECT_EQ(read(order[0], got, sizeof got), 2);
    EXPECT_STREQ(got, "hw");
    close(order[0]);
  }
}

// A change made while a section rewrite of the same file is open nests in the rewrite's lock,
// also under another spelling of the path; a hang ends the child and fails the test.
TEST_F(FileLock, OneThreadNests) {
  test::WriteBytes(file_, "[COMMON]\r\nCOM=1\r\n[Data]\r\n");
  const std::string other_spelling = dir_.path() + "/./Kavro.dat";
  std::string failure = test::RunInChild([&] {
    test::ChildExpect expect;
    alarm(10);
    expect(WriteSectionLine(file_, "Data", "start") == 0, "start");
    expect(WriteKeyValue(other_spelling, "COMMON", "COM", "2") == 0, "nested change");
    {
      const DataFileLock nested(file_);
      expect(!nested.error(), "nested lock");
    }
    expect(WriteSectionLine(file_, "Data", "0250=x") == 0, "line");
    expect(WriteSectionLine(file_, "Data", "end") == 0, "end");
    return expect.failure();
  });
  EXPECT_EQ(failure, "");
  EXPECT_EQ(Value("0250"), "x");
}

// The lock file is made beside the data file like any file of the user; where something else
// holds its name, no change is made.
TEST_F(FileLock, TheLockFileSitsBesideTheDataFile) {
  ASSERT_EQ(WriteKeyValue(file_, "Data", "0001", "x"), 0);
  EXPECT_EQ(test::ModeOf(file_ + ".lock"), 0666 & ~test::CurrentUmask());

  const std::string before = test::ReadBytes(file_);
  ASSERT_EQ(unlink((file_ + ".lock").c_str()), 0);
  ASSERT_EQ(mkdir((file_ + ".lock").c_str(), 0700), 0);
  FileError error;
  EXPECT_EQ(WriteKeyValue(file_, "Data", "0001", "y", &error), -1);
  EXPECT_EQ(error.fault, FileFault::kNotRegular);
  EXPECT_EQ(WriteSectionLine(file_, "Data", "start", &error), -1);
  EXPECT_EQ(test::ReadBytes(file_), before);
}

}  // namespace
}  // namespace kavro
