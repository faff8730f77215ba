// The whole kavro-server on a thread of its own with its own event loop, kavro-sim on a pty as
// the controller behind the device link the data file names, and a blocking TCP client: what the
// server's end-to-end tests share.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "server/server_app.h"
#include "tests/link/sim_process.h"

namespace kavro::test {

inline constexpr const char* kToken = "0123456789abcdef0123456789abcdef";
inline constexpr const char* kCode = "200A000140400A8000000000A0000000000000112233445566778899AA";

inline void EnsureQtApplication() {
  static int argc = 1;
  static char name[] = "server_tests";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

// The server on its own thread: made, started and stopped there.
class ServerThread : public QThread {
 public:
  explicit ServerThread(server::ServerOptions options, std::chrono::milliseconds first_backoff)
      : options_(std::move(options)), first_backoff_(first_backoff) {}
  ~ServerThread() override {
    quit();
    wait();
  }
  // Starts the thread and waits until both listeners are up; false when they could not be.
  bool Begin() {
    start();
    ready_.get_future().wait();
    return line_port_ > 0;
  }
  int LinePort() const { return line_port_; }
  int HttpPort() const { return http_port_; }
  // What the server wrote so far to its `out` and `log` streams.
  std::string Out() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return out_.str();
  }
  std::string Log() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return log_.str();
  }

 protected:
  void run() override {
    LockedStream out(*this, out_);
    LockedStream log(*this, log_);
    server::ServerApp app(options_, out, log);
    app.Runner().SetFirstBackoff(first_backoff_);
    std::string error;
    if (app.Start(error)) {
      line_port_ = app.LinePort();
      http_port_ = app.HttpPort();
    }
    ready_.set_value();
    exec();
    app.Stop(std::chrono::seconds(2));
  }

 private:
  // The server writes on its thread; tests read on theirs.
  struct LockedBuf : std::stringbuf {
    LockedBuf(ServerThread& t, std::ostringstream& s) : thread(t), target(s) {}
    int sync() override {
      std::lock_guard<std::mutex> hold(thread.mutex_);
      target << str();
      str("");
      return 0;
    }
    ServerThread& thread;
    std::ostringstream& target;
  };
  struct LockedStream : std::ostream {
    LockedStream(ServerThread& t, std::ostringstream& s) : std::ostream(&buf), buf(t, s) {}
    LockedBuf buf;
  };

  const server::ServerOptions options_;
  const std::chrono::milliseconds first_backoff_;
  std::promise<void> ready_;
  std::atomic<int> line_port_ = 0;
  std::atomic<int> http_port_ = 0;
  mutable std::mutex mutex_;
  std::ostringstream out_;
  std::ostringstream log_;
};

// A blocking TCP client with a time-out on every read.
class Client {
 public:
  explicit Client(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval patience{5, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { Close(); }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool Connected() const { return connected_; }
  void Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  // The next line without its CR LF; empty on time-out or close.
  std::string Line() {
    for (;;) {
      if (const std::size_t end = held_.find("\r\n"); end != std::string::npos) {
        std::string line = held_.substr(0, end);
        held_.erase(0, end + 2);
        return line;
      }
      if (!Fill()) return {};
    }
  }
  // One HTTP answer: the status, and the body in `body`.
  int Http(const std::string& method, const std::string& path, const std::string& body,
           std::string* answer = nullptr, const std::string& token = kToken) {
    Write(method + " " + path + " HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + token +
          "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    return ReadHttp(answer);
  }
  // Everything until the server closes the connection (or the read times out).
  std::string ReadToEnd() {
    while (Fill()) {
    }
    return std::exchange(held_, {});
  }
  int ReadHttp(std::string* answer) {
    std::size_t end;
    while ((end = held_.find("\r\n\r\n")) == std::string::npos)
      if (!Fill()) return 0;
    const std::string head = held_.substr(0, end);
    std::size_t length = 0;
    if (const std::size_t at = head.find("Content-Length: "); at != std::string::npos)
      length = std::stoul(head.substr(at + 16));
    while (held_.size() < end + 4 + length)
      if (!Fill()) return 0;
    if (answer != nullptr) *answer = held_.substr(end + 4, length);
    held_.erase(0, end + 4 + length);
    return std::stoi(head.substr(9, 3));
  }

 private:
  bool Fill() {
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    held_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  int fd_ = -1;
  bool connected_ = false;
  std::string held_;
};

// A temporary folder with the data file, the simulator behind its device link and the server.
class ServerFixture : public ::testing::Test {
 protected:
  ServerFixture() {
    EnsureQtApplication();
    char pattern[] = "/tmp/kavro-server-test-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) dir_ = pattern;
    data_file_ = (dir_ / "kavro.dat").string();
    device_ = (dir_ / "ttyKAVRO").string();
  }
  ~ServerFixture() override {
    server_.reset();
    std::filesystem::remove_all(dir_);
  }

  // The simulator behind the device link the data file names.
  std::unique_ptr<SimProcess> StartSim(std::vector<std::string> options) {
    options.insert(options.begin(), "--pty");
    auto sim = std::make_unique<SimProcess>(std::move(options));
    std::filesystem::remove(device_);
    std::filesystem::create_symlink(sim->FirstLine(), device_);
    return sim;
  }
  // The data file on COM1 with `data_lines` ("NNNN=data comment") in [Data].
  void WriteDataFile(const std::vector<std::string>& data_lines) {
    std::ofstream file(data_file_);
    file << "[COMMON]\r\nCOM=1\r\n[Serial]\r\nCOM1=" << device_ << "\r\n[Data]\r\n";
    for (const std::string& line : data_lines) file << line << "\r\n";
  }
  // Options for loopback listeners on free ports.
  server::ServerOptions Options(std::size_t queue = 64) const {
    server::ServerOptions options;
    options.data_file = data_file_;
    options.line_port = 0;
    options.http_port = 0;
    options.token = kToken;
    options.queue_limit = queue;
    return options;
  }
  void StartServer(const server::ServerOptions& options) {
    server_ = std::make_unique<ServerThread>(options, std::chrono::milliseconds(20));
    ASSERT_TRUE(server_->Begin());
  }
  static bool WaitFor(const std::function<bool()>& done, int millis = 5000) {
    return QTest::qWaitFor(done, millis);
  }

  std::filesystem::path dir_;
  std::string data_file_;
  std::string device_;
  std::unique_ptr<ServerThread> server_;
};

}  // namespace kavro::test
