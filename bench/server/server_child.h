// What the server benchmarks share: kavro-server (and kavro-sim) started as child processes from
// the folder of the bench itself, a data file that names a pty as COM1, plain socket clients for
// the line protocol and for HTTP/1.1 with keep-alive, and a process's CPU time and memory read
// from /proc. The MQTT broker and client are in mqtt_child.h.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/serial/bench_pty.h"

namespace kavro::bench {

// The folder the running bench lives in: the build's bin/, where the programs are too.
inline std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw std::runtime_error("cannot find the bench's own folder");
  return self.parent_path().string();
}

inline std::string ProgramBeside(const std::string& name) {
  const std::string path = ProgramFolder() + "/" + name;
  if (access(path.c_str(), X_OK) != 0)
    throw std::runtime_error(path + " is missing: build the target " + name + " first");
  return path;
}

// A folder of its own under /tmp, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/kavro-server-bench.XXXXXX";
    if (mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = name;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A data file whose link is COM1 on `device`, with `codes` ("NNNN=data comment" lines, CR LF
// each) as its [Data] section when there are any.
inline std::string WriteDataFile(const std::string& folder, const std::string& device,
                                 const std::string& codes = {}) {
  const std::string path = folder + "/kavro.dat";
  std::ofstream out(path, std::ios::binary);
  out << "[COMMON]\r\nCOM=1\r\n\r\n[Serial]\r\nCOM1=" << device << "\r\n";
  if (!codes.empty()) out << "\r\n[Data]\r\n" << codes;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
  return path;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A program run as a child: its standard output comes through a pipe, its standard error goes
// to `log_file`. It is stopped with SIGTERM (SIGKILL after 5 s) when the object goes.
class ChildProcess {
 public:
  // `core` >= 0 pins the child to that core; otherwise it keeps the caller's affinity.
  ChildProcess(const std::vector<std::string>& args, const std::string& log_file, int core = -1)
      : log_file_(log_file) {
    // Everything the child needs is made before the fork: the bench has threads running, and
    // between fork and exec only plain system calls are safe.
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const bool pin = core >= 0 && sysconf(_SC_NPROCESSORS_ONLN) > core;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (pin) CPU_SET(core, &set);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      const int log = open(log_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (log >= 0) dup2(log, STDERR_FILENO);
      // Neither the bench's ptys nor its sockets belong to the child.
      close_range(3, ~0U, 0);
      if (pin) sched_setaffinity(0, sizeof set, &set);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
  }
  ~ChildProcess() {
    if (pid_ > 0 && !Exited()) {
      kill(pid_, SIGTERM);
      const Clock::time_point give_up = Clock::now() + std::chrono::seconds(5);
      while (waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (Clock::now() > give_up) {
          kill(pid_, SIGKILL);
          waitpid(pid_, nullptr, 0);
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    if (out_ >= 0) close(out_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }

  // True once the child has ended; it is reaped then, so its pid is never signalled again.
  bool Exited() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    return pid_ <= 0;
  }

  // The next line of the child's standard output, without its end; throws after `wait`.
  std::string ReadLine(std::chrono::milliseconds wait = std::chrono::seconds(10)) {
    const Clock::time_point give_up = Clock::now() + wait;
    for (;;) {
      if (const std::size_t end = pending_.find('\n'); end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(give_up - Clock::now());
      pollfd p{out_, POLLIN, 0};
      char buffer[512];
      ssize_t n = 0;
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
          (n = read(out_, buffer, sizeof buffer)) <= 0)
        throw std::runtime_error("no output line from the child; its log says: " +
                                 ReadWholeFile(log_file_));
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
  std::string log_file_;
};

// kavro-server on a data file whose COM1 is `device` and whose codes are `codes`, both listeners
// on free loopback ports, with `more` options after them.
class ServerChild {
 public:
  ServerChild(const std::string& folder, const std::string& device, int core = -1,
              const std::vector<std::string>& more = {}, const std::string& codes = {})
      : data_file_(WriteDataFile(folder, device, codes)),
        started_(Clock::now()),
        child_(Arguments(data_file_, more), folder + "/server.log", core) {
    line_port_ = PortOf(child_.ReadLine(), "listening line ");
    http_port_ = PortOf(child_.ReadLine(), "listening http ");
    std::string token = ReadWholeFile(folder + "/kavro-server.token");
    token_ = token.substr(0, token.find_first_of("\r\n"));
  }
  pid_t Pid() const { return child_.Pid(); }
  int LinePort() const { return line_port_; }
  int HttpPort() const { return http_port_; }
  const std::string& Token() const { return token_; }
  // Just before the fork.
  Clock::time_point StartedAt() const { return started_; }
  // The server's next output line after the two listening lines ("mqtt connected ...").
  std::string ReadLine(std::chrono::milliseconds wait = std::chrono::seconds(10)) {
    return child_.ReadLine(wait);
  }

 private:
  static std::vector<std::string> Arguments(const std::string& data_file,
                                            const std::vector<std::string>& more) {
    std::vector<std::string> args = {ProgramBeside("kavro-server"),
                                     "--data",
                                     data_file,
                                     "--line",
                                     "127.0.0.1:0",
                                     "--http",
                                     "127.0.0.1:0"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  static int PortOf(const std::string& line, const std::string& head) {
    if (!line.starts_with(head)) throw std::runtime_error("kavro-server said \"" + line + "\"");
    return std::atoi(line.c_str() + line.rfind(':') + 1);
  }
  std::string data_file_;
  Clock::time_point started_;
  ChildProcess child_;
  int line_port_ = 0;
  int http_port_ = 0;
  std::string token_;
};

// A connected TCP socket to 127.0.0.1:`port`, Nagle off as interactive clients have it.
inline int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

// Reads from `fd` into `held` until `held` holds `wanted` bytes or `end` is found in it.
inline void ReadUntil(int fd, std::string& held, std::size_t wanted, std::string_view end = {}) {
  while (held.size() < wanted && (end.empty() || held.find(end) == std::string::npos)) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) throw std::runtime_error("no answer within 10 s");
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) throw std::runtime_error("the server closed the connection");
    if (n < 0 && errno != EINTR && errno != EAGAIN) throw std::runtime_error("read failed");
    if (n > 0) held.append(buffer, static_cast<std::size_t>(n));
  }
}

// One line-protocol connection.
class LineClient {
 public:
  explicit LineClient(int port) : fd_(ConnectLoopback(port)) {}
  ~LineClient() { close(fd_); }
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  void Send(const std::string& line) { WriteAll(fd_, line.data(), line.size()); }
  // The next answer line, its CR LF dropped.
  std::string Answer() {
    ReadUntil(fd_, held_, SIZE_MAX, "\r\n");
    const std::size_t end = held_.find("\r\n");
    std::string line = held_.substr(0, end);
    held_.erase(0, end + 2);
    return line;
  }

 private:
  int fd_;
  std::string held_;
};

// One HTTP/1.1 connection kept alive, with the bearer token on every request.
class HttpClient {
 public:
  struct Response {
    int status = 0;
    std::string body;
  };
  HttpClient(int port, std::string token) : fd_(ConnectLoopback(port)), token_(std::move(token)) {}
  ~HttpClient() { close(fd_); }
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  void Send(const std::string& method, const std::string& path, const std::string& body = {}) {
    std::string request = method + " " + path +
                          " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token_ +
                          "\r\n";
    if (!body.empty())
      request +=
          "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
          "\r\n";
    request += "\r\n" + body;
    WriteAll(fd_, request.data(), request.size());
  }
  Response Read() {
    ReadUntil(fd_, held_, SIZE_MAX, "\r\n\r\n");
    const std::size_t head_end = held_.find("\r\n\r\n") + 4;
    std::string head = held_.substr(0, head_end);
    Response response;
    if (head.size() > 12) response.status = std::atoi(head.c_str() + 9);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t length = 0;
    if (const std::size_t at = head.find("\r\ncontent-length:"); at != std::string::npos)
      length = std::strtoul(head.c_str() + at + 17, nullptr, 10);
    ReadUntil(fd_, held_, head_end + length);
    response.body = held_.substr(head_end, length);
    held_.erase(0, head_end + length);
    return response;
  }
  Response Ask(const std::string& method, const std::string& path, const std::string& body = {}) {
    Send(method, path, body);
    return Read();
  }

 private:
  int fd_;
  std::string token_;
  std::string held_;
};

// CPU time of all threads of `pid`, from /proc/<pid>/stat: utime + stime, in clock ticks.
inline long long ProcessTicks(pid_t pid) {
  const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
  // The command name in parentheses may hold spaces: count the fields after its ')'.
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::atoll(field.c_str());
    if (i == 15) stime = std::atoll(field.c_str());
  }
  return utime + stime;
}

inline double TicksToMillis(long long ticks) { return ticks * 1000.0 / sysconf(_SC_CLK_TCK); }

// Time on the CPU and times scheduled onto it, summed over every thread of `pid`
// (/proc/<pid>/task/*/schedstat: nanoseconds, not ticks).
struct RunTime {
  long long nanoseconds = 0;
  long long wakeups = 0;
};
inline RunTime ProcessRunTime(pid_t pid) {
  RunTime total;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* folder = opendir(tasks.c_str());
  if (folder == nullptr) return total;
  while (const dirent* entry = readdir(folder)) {
    if (entry->d_name[0] == '.') continue;
    std::istringstream fields(ReadWholeFile(tasks + "/" + entry->d_name + "/schedstat"));
    long long on_cpu = 0, waited = 0, slices = 0;
    fields >> on_cpu >> waited >> slices;
    total.nanoseconds += on_cpu;
    total.wakeups += slices;
  }
  closedir(folder);
  return total;
}

// A value of /proc/<pid>/status in kB ("VmRSS", "VmHWM").
inline long long StatusKilobytes(pid_t pid, const std::string& key) {
  std::istringstream lines(ReadWholeFile("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with(key + ":")) return std::atoll(line.c_str() + key.size() + 1);
  return -1;
}

}  // namespace kavro::bench
