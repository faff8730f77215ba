// kavro-sim as a child process of a test: started with arguments, its first output line (the pty
// path or the TCP address) read, killed when the test ends.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kavro::test {

class SimProcess {
 public:
  // Adds --log to the arguments so the test can read what the simulator received.
  explicit SimProcess(std::vector<std::string> args) {
    char pattern[] = "/tmp/kavro-link-sim-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) dir_ = pattern;
    log_path_ = dir_ + "/sim.log";
    args.insert(args.begin(), KAVRO_SIM_BIN);
    args.push_back("--log");
    args.push_back(log_path_);
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      std::vector<char*> argv;
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(KAVRO_SIM_BIN, argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    stdout_ = out[0];
    first_line_ = ReadLine();
  }
  ~SimProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) ::close(stdout_);
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The pty's slave path, or the TCP address as host:port; empty when it did not start.
  const std::string& FirstLine() const { return first_line_; }
  int TcpPort() const { return std::atoi(first_line_.substr(first_line_.rfind(':') + 1).c_str()); }

  std::string Log() const {
    std::ifstream in(log_path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // How many log lines name this kind of event ("preamble", "irsend", "learn", "done", ...).
  int Count(const std::string& kind) const {
    std::istringstream lines(Log());
    int n = 0;
    for (std::string line; std::getline(lines, line);)
      if (line.find(" " + kind + " ") != std::string::npos ||
          (line.size() >= kind.size() + 1 && line.ends_with(" " + kind)))
        ++n;
    return n;
  }

 private:
  std::string ReadLine() {
    std::string line;
    char c;
    while (::read(stdout_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

  pid_t pid_ = -1;
  int stdout_ = -1;
  std::string dir_;
  std::string log_path_;
  std::string first_line_;
};

}  // namespace kavro::test
