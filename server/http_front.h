// The HTTP listener: GNU libmicrohttpd driven from the Qt event loop of the thread that made it
// (its epoll descriptor watched by a socket notifier, its time-outs by a timer), so handlers run
// on that thread and never need a lock. A request is handed over whole (headers and a body of
// at most Limits::max_body bytes); the answer may be given at once or later: the connection is
// suspended meanwhile, so a slow answer blocks nobody. Larger bodies get 413 without being read
// whole; idle or slow connections are closed after Limits::idle_timeout_s; connections beyond
// Limits::max_connections are refused.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/http_types.h"

class QSocketNotifier;
class QTimer;
struct MHD_Daemon;

namespace kavro::server {

// One request awaiting its answer. Kept by whoever answers later.
class HttpAnswer {
 public:
  virtual ~HttpAnswer() = default;
  // Sends the answer; only the first call counts, and nothing happens when the client is gone.
  virtual void Send(HttpResponse response) = 0;
  // True once the connection ended before an answer was sent.
  virtual bool Gone() const = 0;
  // Called once, on the listener's thread, when the connection ends before Send.
  virtual void OnGone(std::function<void()> handler) = 0;
};

class HttpFront : public QObject {
  Q_OBJECT

 public:
  struct Limits {
    int max_connections = 64;
    std::size_t max_body = 64 * 1024;
    int idle_timeout_s = 30;
  };
  using Handler = std::function<void(const HttpRequest&, std::shared_ptr<HttpAnswer>)>;

  HttpFront(Handler handler, Limits limits, QObject* parent = nullptr);
  ~HttpFront() override;

  // Starts listening on `host` (a numeric IPv4 or IPv6 address) and `port` (0: a free one).
  // False with `error` set when it cannot.
  bool Listen(const std::string& host, int port, std::string& error);
  // Headers for the answers the listener gives by itself (413, 500), which no handler sees.
  void SetOwnAnswerHeaders(HttpHeaders headers);
  // The port actually listened on.
  int Port() const { return port_; }
  // Stops listening and drops every connection; pending answers see Gone().
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

}  // namespace kavro::server
