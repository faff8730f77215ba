// kavro-server as a whole over loopback sockets, with kavro-sim on a pty as the controller. The
// server runs on a thread of its own with its own event loop, so the clients here may block.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "link/controller_stack.h"
#include "server/server_app.h"
#include "tests/link/link_fakes.h"
#include "tests/link/sim_process.h"

namespace kavro::test {
namespace {

namespace fs = std::filesystem;
using server::ServerApp;
using server::ServerOptions;

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";
constexpr const char* kCode = "200A000140400A8000000000A0000000000000112233445566778899AA";

void EnsureQtApplication() {
  static int argc = 1;
  static char name[] = "server_tests";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

// A data text unique to (client, n), so the log shows which request each frame carried.
std::string DataFor(int client, int n) {
  char text[59];
  std::snprintf(text, sizeof text,
                "200A000140400A8000000000A000000000000011223344556677%02X%02X%02X", client, n,
                0x5A);
  return text;
}

// The server on its own thread: made, started and stopped there.
class ServerThread : public QThread {
 public:
  explicit ServerThread(ServerOptions options, std::chrono::milliseconds first_backoff)
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
  std::string Log() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return log_.str();
  }

 protected:
  void run() override {
    std::ostringstream out;
    LockedStream log(*this);
    ServerApp app(options_, out, log);
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
  // The runner writes its log on the server thread; tests read it on theirs.
  struct LockedBuf : std::stringbuf {
    explicit LockedBuf(ServerThread& t) : thread(t) {}
    int sync() override {
      std::lock_guard<std::mutex> hold(thread.mutex_);
      thread.log_ << str();
      str("");
      return 0;
    }
    ServerThread& thread;
  };
  struct LockedStream : std::ostream {
    explicit LockedStream(ServerThread& t) : std::ostream(&buf), buf(t) {}
    LockedBuf buf;
  };

  const ServerOptions options_;
  const std::chrono::milliseconds first_backoff_;
  std::promise<void> ready_;
  std::atomic<int> line_port_ = 0;
  std::atomic<int> http_port_ = 0;
  mutable std::mutex mutex_;
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

class ServerTest : public ::testing::Test {
 protected:
  ServerTest() {
    EnsureQtApplication();
    dir_ = fs::temp_directory_path() / ("kavro-server-test-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    data_file_ = (dir_ / "kavro.dat").string();
    device_ = (dir_ / "ttyKAVRO").string();
  }
  ~ServerTest() override {
    server_.reset();
    fs::remove_all(dir_);
  }

  // The simulator behind the device link the data file names.
  std::unique_ptr<SimProcess> StartSim(std::vector<std::string> options) {
    options.insert(options.begin(), "--pty");
    auto sim = std::make_unique<SimProcess>(std::move(options));
    fs::remove(device_);
    fs::create_symlink(sim->FirstLine(), device_);
    return sim;
  }
  void StartServer(std::size_t queue = 64) {
    std::ofstream(data_file_) << "[COMMON]\r\nCOM=1\r\n[Serial]\r\nCOM1=" << device_
                              << "\r\n[Data]\r\n0101=" << kCode << " TV POWER\r\n";
    ServerOptions options;
    options.data_file = data_file_;
    options.line_port = 0;
    options.http_port = 0;
    options.token = kToken;
    options.queue_limit = queue;
    server_ = std::make_unique<ServerThread>(options, std::chrono::milliseconds(20));
    ASSERT_TRUE(server_->Begin());
  }
  static bool WaitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 5000); }

  fs::path dir_;
  std::string data_file_;
  std::string device_;
  std::unique_ptr<ServerThread> server_;
};

TEST_F(ServerTest, DesktopLinkAndKavroCliWorkThroughTheServer) {
  auto sim = StartSim({"--learn-delay", "0", "--learn-code", kCode});
  StartServer();

  // The desktop program's link, on its TCP choice.
  FakeUi ui;
  ControllerStack stack(ui);
  ControllerLink& link = stack.Link();
  link.SetPortChoice(kTcpPort);
  link.SetTcpHost("127.0.0.1");
  link.SetTcpPort(server_->LinePort());
  stack.Codes().SetData(101, kCode);
  link.Send(1);
  ASSERT_TRUE(WaitFor([&] { return link.State() == kIdle && !stack.Ticks().Enabled(); }));
  link.LearnL1Click();
  link.Send(13);
  ASSERT_TRUE(WaitFor([&] { return link.State() == kIdle && !stack.Ticks().Enabled(); }));
  EXPECT_EQ(ui.Take(), (std::vector<std::string>{"Send(101)", "Click Button!", "Push Controller!",
                                                 "Learn OK!"}));
  EXPECT_EQ(stack.Codes().Data(113), kCode);
  link.CloseLink();

  // kavro-cli on the same data file, through the server.
  auto cli = [&](QStringList args) {
    QProcess process;
    process.start(KAVRO_CLI, QStringList{"--data", QString::fromStdString(data_file_), "--link",
                                         "RaViz", "--host", "127.0.0.1", "--port",
                                         QString::number(server_->LinePort())} +
                                 args);
    process.waitForFinished(10000);
    return process.exitCode();
  };
  EXPECT_EQ(cli({"send", "101"}), 0);
  EXPECT_EQ(cli({"learn", "300", "fan"}), 0);
  std::string value;
  Client http(server_->HttpPort());
  EXPECT_EQ(http.Http("GET", "/api/v1/codes/300", "", &value), 200);
  EXPECT_NE(value.find(std::string("\"data\":\"") + kCode + "\",\"comment\":\"fan\""),
            std::string::npos)
      << value;
  EXPECT_EQ(sim->Count("irsend"), 2);
  EXPECT_EQ(sim->Count("learn"), 2);
}

TEST_F(ServerTest, ManyClientsEachGetTheirOwnAnswersAndEveryFrameOnce) {
  auto sim = StartSim({});
  StartServer();
  constexpr int kClients = 20, kSends = 20;
  std::vector<std::thread> clients;
  std::atomic<int> good = 0;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      const bool line = c % 2 == 0;
      Client client(line ? server_->LinePort() : server_->HttpPort());
      for (int n = 0; n < kSends; ++n) {
        if (line) {
          client.Write("RAVIZ S53" + DataFor(c, n) + "\r\n");
          if (client.Line() == "RE") ++good;
        } else {
          std::string answer;
          if (client.Http("POST", "/api/v1/send", "{\"data\":\"" + DataFor(c, n) + "\"}",
                          &answer) == 200 &&
              answer == "{\"result\":\"done\"}\n")
            ++good;
        }
      }
    });
  }
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(good, kClients * kSends);
  const std::string log = sim->Log();
  for (int c = 0; c < kClients; ++c)
    for (int n = 0; n < kSends; ++n) {
      const std::string frame = "irsend 53" + DataFor(c, n);
      const std::size_t first = log.find(frame);
      ASSERT_NE(first, std::string::npos) << frame;
      EXPECT_EQ(log.find(frame, first + 1), std::string::npos) << frame;
    }
  EXPECT_EQ(sim->Count("irsend"), kClients * kSends);
}

TEST_F(ServerTest, ClientGoneMidLearnDisturbsNobody) {
  auto sim = StartSim({"--learn-delay", "300", "--learn-code", kCode});
  StartServer();
  Client leaving(server_->LinePort());
  leaving.Write("RAVIZ C\r\n");
  ASSERT_TRUE(WaitFor([&] { return sim->Count("learn") == 1; }));
  leaving.Close();
  Client staying(server_->LinePort());
  staying.Write("RAVIZ S53" + DataFor(1, 1) + "\r\n");
  EXPECT_EQ(staying.Line(), "RE");
  staying.Write("RAVIZ C\r\n");
  EXPECT_EQ(staying.Line(), std::string("RG") + kCode);
  EXPECT_EQ(sim->Count("learn"), 2);
}

TEST_F(ServerTest, DeviceGoneMidExchangeFailsFastAndComesBack) {
  auto sim = StartSim({"--silent", "--close-after", "1"});
  StartServer();
  Client http(server_->HttpPort());
  std::string answer;
  EXPECT_EQ(http.Http("POST", "/api/v1/codes/101/send", "", &answer), 503);
  EXPECT_EQ(answer, "{\"error\":\"controller offline\"}\n");
  EXPECT_EQ(http.Http("GET", "/api/v1/status", "", &answer), 200);
  EXPECT_NE(answer.find("\"online\":false"), std::string::npos) << answer;
  Client line(server_->LinePort());
  line.Write("RAVIZ S53" + DataFor(1, 1) + "\r\n");
  EXPECT_EQ(line.Line(), "ERROR controller offline");

  sim = StartSim({});
  ASSERT_TRUE(WaitFor([&] {
    return http.Http("GET", "/api/v1/status", "", &answer) == 200 &&
           answer.find("\"online\":true") != std::string::npos;
  }));
  EXPECT_EQ(http.Http("POST", "/api/v1/codes/101/send", "", &answer), 200);
  EXPECT_EQ(sim->Count("irsend"), 1);
  EXPECT_NE(server_->Log().find("disappeared"), std::string::npos) << server_->Log();
}

TEST_F(ServerTest, FullQueueAndBadInputAreRefusedAtOnce) {
  auto sim = StartSim({"--send-delay", "300"});
  StartServer(2);
  Client line(server_->LinePort());
  for (int n = 0; n < 3; ++n) line.Write("RAVIZ S53" + DataFor(2, n) + "\r\n");
  // The refusal is made at once but answered in the order of the lines.
  EXPECT_EQ(line.Line(), "RE");
  EXPECT_EQ(line.Line(), "RE");
  EXPECT_EQ(line.Line(), "ERROR queue full");

  // A 1 MiB line without its end costs one error line, and the connection still serves.
  line.Write(std::string(1 << 20, 'X'));
  EXPECT_EQ(line.Line(), "ERROR line too long");
  line.Write("\r\nRAVIZ D\r\nRAVIZ X\r\n");
  EXPECT_EQ(line.Line(), "ERROR unknown command");

  Client http(server_->HttpPort());
  std::string answer;
  EXPECT_EQ(http.Http("GET", "/api/v1/status", "", &answer, "wrong"), 401);
  EXPECT_EQ(http.Http("PUT", "/api/v1/codes/5", std::string(70000, ' '), &answer), 413);
  Client fresh(server_->HttpPort());
  EXPECT_EQ(
      fresh.Http("POST", "/api/v1/send", "{\"data\":\"" + std::string(57, '0') + "G\"}", &answer),
      400);
  EXPECT_EQ(fresh.Http("GET", "/api/v1/nothing", "", &answer), 404);
}

}  // namespace
}  // namespace kavro::test
