// kavro-server as a whole: the code store, the runner with its queue, the HTTP routes and both
// listeners, made and taken apart in order. main() only parses options and waits for a signal.
#pragma once

#include <QObject>

#include <chrono>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/api_routes.h"
#include "server/code_store.h"
#include "server/controller_runner.h"
#include "server/http_front.h"
#include "server/line_front.h"
#include "server/mqtt_front.h"

namespace kavro::server {

struct ServerOptions {
  std::string data_file;
  int port = 1;  // COM1..COM5
  std::string line_host = "127.0.0.1";
  int line_port = 1024;
  std::string http_host = "127.0.0.1";
  int http_port = 8024;
  std::string token;
  std::size_t queue_limit = 64;
  bool verbose = false;
  // Prints the web remote's address, token included, after the listening lines.
  bool show_url = false;
  // MQTT is on when this is set.
  std::optional<MqttFront::Options> mqtt;
};

// Where a phone reaches an HTTP listener on `host`: `host` itself, but for the any-address
// (0.0.0.0 or ::) the first of the machine's `addresses` (numeric) of that family that is not
// loopback (nor, for IPv6, link-local), else `host_name`.
std::string ReachableHost(const std::string& host, const std::vector<std::string>& addresses,
                          const std::string& host_name);
// The machine's interface addresses, numeric, in the system's order.
std::vector<std::string> InterfaceAddresses();
// "http://HOST:PORT/#token=TOKEN": the token in the fragment, which browsers never send.
std::string WebRemoteUrl(const std::string& host, int port, std::string_view token);

class ServerApp : public QObject, public ApiBackend {
  Q_OBJECT

 public:
  // `out` gets the "listening" lines; `log` everything else.
  ServerApp(ServerOptions options, std::ostream& out, std::ostream& log, QObject* parent = nullptr);
  ~ServerApp() override;

  // Listens on both addresses, says so on `out` (flushed), then starts serving the controller.
  bool Start(std::string& error);
  // Stops listening, lets the exchange in progress finish and closes the port.
  void Stop(std::chrono::milliseconds patience = std::chrono::seconds(15));

  int LinePort() const { return line_.Port(); }
  int HttpPort() const { return http_.Port(); }
  ControllerRunner& Runner() { return runner_; }

  // ApiBackend
  Admission Submit(ClientId client, Exchange exchange, RequestQueue::Reply reply) override;
  ServerStatus Status() const override { return runner_.Status(); }

 private:
  ClientId NextClient() { return next_client_++; }
  static constexpr std::chrono::milliseconds kFlushTime{300};

  const ServerOptions options_;
  std::ostream& out_;
  std::ostream& log_;
  ClientId next_client_ = kNoClient + 1;
  CodeStore store_;
  ControllerRunner runner_;
  ApiRoutes routes_;
  LineFront line_;
  HttpFront http_;
  std::unique_ptr<MqttFront> mqtt_;
};

}  // namespace kavro::server
