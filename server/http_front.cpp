// The HTTP listener on the Qt event loop. MHD runs without threads of its own: its epoll
// descriptor is watched by a socket notifier and its time-outs by a single-shot timer, and
// MHD_run() is called from those, so every callback of MHD (and so every handler) runs here.
//
// A request whose answer is not given at once suspends its connection. MHD does not watch a
// suspended connection at all (no reads, no time-out), so it would learn of a client that went
// away only when the answer is finally written. To tell the waiting side early, the sockets of
// suspended connections sit in a second epoll set of our own, watched for EPOLLRDHUP only (so
// pipelined requests waiting in the socket do not wake it): when the client closes, the answer
// becomes Gone() at once and the connection is resumed and dropped. The limit of that: a client
// that only shuts down its sending side but still waits for the answer looks the same as one
// that closed, and is taken as gone too.
#include "server/http_front.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <optional>
#include <set>
#include <utility>

namespace kavro::server {
namespace {

// MHD's own memory per connection: the request line, the headers and the socket buffers. The
// body goes to the request's string, which Limits::max_body bounds.
constexpr std::size_t kConnectionMemory = 32 * 1024;
constexpr int kListenBacklog = 64;

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// True when a Content-Length announces more than `limit` bytes (a value too big to read counts;
// one that is no number is left to MHD, which refuses it).
bool AnnouncesMore(const char* length, std::size_t limit) {
  std::size_t value = 0;
  const char* end = length + std::strlen(length);
  const std::errc failure = std::from_chars(length, end, value).ec;
  if (failure == std::errc::result_out_of_range) return true;
  return failure == std::errc() && value > limit;
}

HttpResponse TooLarge(std::size_t limit) {
  HttpResponse response;
  response.status = 413;
  response.body =
      "{\"error\":\"request body too large (over " + std::to_string(limit) + " bytes)\"}";
  return response;
}

}  // namespace

struct HttpFront::Impl {
  class Exchange;
  struct Request;

  Impl(HttpFront& owner, Handler handler, Limits limits)
      : owner(owner), handler(std::move(handler)), limits(limits) {
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &owner, [this] { Run(); });
  }
  ~Impl() { Stop(); }

  bool Start(int listen_fd, std::string& error);
  void Stop();
  void Run();
  void ScheduleRun();
  void ArmTimer();
  void Suspend(Exchange& exchange);
  void Resume(Exchange& exchange);
  void CheckHangups();

  MHD_Result HandOver(MHD_Connection* connection, Request& request);
  MHD_Result Resumed(MHD_Connection* connection, Request& request);
  static MHD_Result Queue(MHD_Connection* connection, const HttpResponse& response);

  static MHD_Result OnConnect(void* cls, const sockaddr* address, socklen_t length);
  static void* OnUri(void* cls, const char* uri, MHD_Connection* connection);
  static MHD_Result OnAccess(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char* version, const char* upload_data,
                             std::size_t* upload_size, void** request_slot);
  static void OnCompleted(void* cls, MHD_Connection* connection, void** request_slot,
                          MHD_RequestTerminationCode reason);

  // An answer of the listener's own, with the headers every answer carries.
  HttpResponse Own(HttpResponse response) const {
    response.headers.insert(response.headers.end(), own_headers.begin(), own_headers.end());
    return response;
  }

  HttpFront& owner;
  Handler handler;
  Limits limits;
  HttpHeaders own_headers;
  MHD_Daemon* daemon = nullptr;
  std::unique_ptr<QSocketNotifier> events;  // MHD's epoll descriptor
  QTimer timer;                             // MHD's next time-out
  int hangups = -1;                         // suspended connections' sockets, for EPOLLRDHUP
  std::unique_ptr<QSocketNotifier> hangup_events;
  std::set<Exchange*> exchanges;  // handed over, their connection not ended yet
  bool running = false;           // inside MHD_run(): MHD must not be re-entered or stopped
  bool run_queued = false;
  bool close_pending = false;  // Close() asked; inside MHD_run() it waits for its end
  bool stopping = false;
};

// The answer to one handed-over request. It outlives neither its usefulness nor the listener's
// state: `front` is cleared when the connection ends or the listener closes, so an answer kept
// longer touches nothing.
class HttpFront::Impl::Exchange : public HttpAnswer, public std::enable_shared_from_this<Exchange> {
 public:
  Exchange(Impl& front, MHD_Connection* connection) : front(&front), connection(connection) {}

  void Send(HttpResponse answer) override {
    if (sent || gone || front == nullptr) return;
    sent = true;
    response = std::move(answer);
    // Given inside the handler, the access callback queues it on return; given later, the
    // connection wakes up and the access callback is asked again.
    if (suspended) front->Resume(*this);
  }
  bool Gone() const override { return gone; }
  void OnGone(std::function<void()> handler) override {
    if (!handler) return;
    if (gone) {
      handler();
    } else if (!sent && front != nullptr) {
      on_gone.push_back(std::move(handler));
    }
  }

  // The connection ended (or will end) without an answer.
  void MarkGone() {
    if (gone || sent) return;
    gone = true;
    auto handlers = std::move(on_gone);
    on_gone.clear();
    auto keep = shared_from_this();  // a handler may drop the last other reference
    for (auto& handler : handlers) handler();
  }
  void Detach() {
    front = nullptr;
    connection = nullptr;
    on_gone.clear();
  }

  Impl* front;
  MHD_Connection* connection;
  int fd = -1;  // the connection's socket while suspended
  bool suspended = false;
  bool sent = false;
  bool gone = false;
  std::optional<HttpResponse> response;  // given, not yet queued
  std::vector<std::function<void()>> on_gone;
};

// One request as MHD's per-request slot holds it, from the request line to its end.
struct HttpFront::Impl::Request {
  HttpRequest request;
  bool head_seen = false;  // the access callback had its first call
  bool refused = false;    // answered 413
  std::shared_ptr<Exchange> exchange;
};

bool HttpFront::Impl::Start(int listen_fd, std::string& error) {
  hangups = epoll_create1(EPOLL_CLOEXEC);
  if (hangups < 0) {
    error = std::string("cannot watch connections: ") + std::strerror(errno);
    return false;
  }
  daemon = MHD_start_daemon(
      MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME, 0, &Impl::OnConnect, this, &Impl::OnAccess, this,
      MHD_OPTION_LISTEN_SOCKET, listen_fd,
      // At its own limit MHD stops accepting, and further clients wait unanswered in the
      // listen queue; one more lets OnConnect see them and refuse them at once.
      MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(std::max(1, limits.max_connections) + 1),
      MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(std::max(0, limits.idle_timeout_s)),
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_URI_LOG_CALLBACK,
      &Impl::OnUri, this, MHD_OPTION_NOTIFY_COMPLETED, &Impl::OnCompleted, this, MHD_OPTION_END);
  if (daemon == nullptr) {
    error = "cannot start the HTTP listener";
    ::close(hangups);
    hangups = -1;
    return false;
  }
  const int epoll_fd = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_EPOLL_FD)->epoll_fd;
  events = std::make_unique<QSocketNotifier>(epoll_fd, QSocketNotifier::Read);
  QObject::connect(events.get(), &QSocketNotifier::activated, &owner, [this] { Run(); });
  hangup_events = std::make_unique<QSocketNotifier>(hangups, QSocketNotifier::Read);
  QObject::connect(hangup_events.get(), &QSocketNotifier::activated, &owner,
                   [this] { CheckHangups(); });
  ArmTimer();
  return true;
}

void HttpFront::Impl::Stop() {
  if (daemon == nullptr || stopping) return;
  std::vector<std::shared_ptr<Exchange>> pending;
  for (Exchange* exchange : exchanges) pending.push_back(exchange->shared_from_this());
  // Every waiting answer learns at once that it is gone, even when MHD itself is stopped only
  // after the current MHD_run(); a handler answering another request meanwhile finds that one
  // gone as well.
  close_pending = true;
  for (auto& exchange : pending) exchange->MarkGone();
  if (running || daemon == nullptr) return;  // the latter: a gone-handler closed already
  stopping = true;
  events.reset();
  hangup_events.reset();
  timer.stop();
  // MHD refuses to stop while connections are suspended.
  for (auto& exchange : pending) {
    if (!exchange->suspended) continue;
    exchange->suspended = false;
    MHD_resume_connection(exchange->connection);
  }
  running = true;
  MHD_run(daemon);  // the resumed connections are let go; their access callback says no
  MHD_stop_daemon(daemon);
  running = false;
  daemon = nullptr;
  for (auto& exchange : pending) exchange->Detach();
  exchanges.clear();
  ::close(hangups);
  hangups = -1;
  close_pending = false;
  stopping = false;
}

void HttpFront::Impl::Run() {
  if (daemon == nullptr || running) return;
  running = true;
  MHD_run(daemon);
  running = false;
  if (close_pending) {
    Stop();
    return;
  }
  ArmTimer();
}

void HttpFront::Impl::ScheduleRun() {
  if (run_queued) return;
  run_queued = true;
  QMetaObject::invokeMethod(
      &owner,
      [this] {
        run_queued = false;
        Run();
      },
      Qt::QueuedConnection);
}

void HttpFront::Impl::ArmTimer() {
  MHD_UNSIGNED_LONG_LONG ms = 0;
  if (daemon != nullptr && MHD_get_timeout(daemon, &ms) == MHD_YES) {
    timer.start(static_cast<int>(std::min<MHD_UNSIGNED_LONG_LONG>(ms, INT_MAX)));
  } else {
    timer.stop();
  }
}

void HttpFront::Impl::Suspend(Exchange& exchange) {
  MHD_suspend_connection(exchange.connection);
  exchange.suspended = true;
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(exchange.connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  exchange.fd = info != nullptr ? info->connect_fd : -1;
  if (exchange.fd < 0) return;
  epoll_event event{};
  event.events = EPOLLRDHUP;
  event.data.ptr = &exchange;
  if (epoll_ctl(hangups, EPOLL_CTL_ADD, exchange.fd, &event) != 0) exchange.fd = -1;
}

void HttpFront::Impl::Resume(Exchange& exchange) {
  if (!exchange.suspended) return;
  if (exchange.fd >= 0) epoll_ctl(hangups, EPOLL_CTL_DEL, exchange.fd, nullptr);
  exchange.fd = -1;
  exchange.suspended = false;
  MHD_resume_connection(exchange.connection);
  ScheduleRun();
}

void HttpFront::Impl::CheckHangups() {
  epoll_event ready[16];
  const int count = epoll_wait(hangups, ready, 16, 0);
  std::vector<std::shared_ptr<Exchange>> ended;
  for (int i = 0; i < count; ++i) {
    ended.push_back(static_cast<Exchange*>(ready[i].data.ptr)->shared_from_this());
  }
  for (auto& exchange : ended) {
    if (!exchange->suspended) continue;  // answered or closed by an earlier handler
    Resume(*exchange);
    exchange->MarkGone();
  }
}

// Refuses a connection beyond Limits::max_connections: closed at once, unanswered. A connection
// that ends in the same round of MHD_run() as the new one arrives still counts.
MHD_Result HttpFront::Impl::OnConnect(void* cls, const sockaddr*, socklen_t) {
  Impl& impl = *static_cast<Impl*>(cls);
  const MHD_DaemonInfo* info =
      MHD_get_daemon_info(impl.daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
  const int open = info != nullptr ? static_cast<int>(info->num_connections) : 0;
  return !impl.close_pending && open < impl.limits.max_connections ? MHD_YES : MHD_NO;
}

void* HttpFront::Impl::OnUri(void*, const char* uri, MHD_Connection*) {
  // The raw target: MHD hands the access callback a decoded path without the query.
  auto* request = new Request;
  const std::string target = uri != nullptr ? uri : "";
  const std::size_t mark = target.find('?');
  request->request.path = target.substr(0, mark);
  if (mark != std::string::npos) request->request.query = target.substr(mark + 1);
  return request;
}

MHD_Result HttpFront::Impl::OnAccess(void* cls, MHD_Connection* connection, const char* url,
                                     const char* method, const char*, const char* upload_data,
                                     std::size_t* upload_size, void** request_slot) {
  Impl& impl = *static_cast<Impl*>(cls);
  auto* request = static_cast<Request*>(*request_slot);
  if (request == nullptr) {
    request = new Request;
    request->request.path = url;
    *request_slot = request;
  }
  HttpRequest& http = request->request;
  if (!request->head_seen) {
    request->head_seen = true;
    http.method = method;
    const char* authorization =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
    if (authorization != nullptr) http.authorization = authorization;
    const char* if_none_match =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_IF_NONE_MATCH);
    if (if_none_match != nullptr) http.if_none_match = if_none_match;
    const char* length =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (length != nullptr && AnnouncesMore(length, impl.limits.max_body)) {
      // Answered before the body is read: MHD then drops the rest and closes the connection.
      request->refused = true;
      return Queue(connection, impl.Own(TooLarge(impl.limits.max_body)));
    }
    return MHD_YES;
  }
  if (request->exchange) return impl.Resumed(connection, *request);
  if (*upload_size != 0) {
    if (http.body.size() + *upload_size > impl.limits.max_body) {
      // A body without a length that grows too big. MHD takes no answer while the body
      // arrives, so the 413 goes straight onto the socket (nothing else of this request has
      // been written) and the connection is dropped unread.
      request->refused = true;
      http.body.clear();
      const HttpResponse refusal = impl.Own(TooLarge(impl.limits.max_body));
      std::string answer =
          "HTTP/1.1 413 Payload Too Large\r\nConnection: close\r\n"
          "Content-Type: application/json\r\nCache-Control: no-store\r\n";
      for (const auto& [name, value] : refusal.headers) answer += name + ": " + value + "\r\n";
      answer +=
          "Content-Length: " + std::to_string(refusal.body.size()) + "\r\n\r\n" + refusal.body;
      const MHD_ConnectionInfo* info =
          MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
      if (info != nullptr) {
        (void)!::send(info->connect_fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        ::shutdown(info->connect_fd, SHUT_WR);
      }
      return MHD_NO;
    }
    http.body.append(upload_data, *upload_size);
    *upload_size = 0;
    return MHD_YES;
  }
  if (request->refused) return MHD_NO;
  return impl.HandOver(connection, *request);
}

MHD_Result HttpFront::Impl::HandOver(MHD_Connection* connection, Request& request) {
  if (close_pending) return MHD_NO;  // closing: no new work
  auto exchange = std::make_shared<Exchange>(*this, connection);
  request.exchange = exchange;
  exchanges.insert(exchange.get());
  try {
    handler(request.request, exchange);
  } catch (...) {
    HttpResponse failure;
    failure.status = 500;
    failure.body = "{\"error\":\"internal error\"}";
    exchange->Send(Own(std::move(failure)));
  }
  return Resumed(connection, request);
}

MHD_Result HttpFront::Impl::Resumed(MHD_Connection* connection, Request& request) {
  Exchange& exchange = *request.exchange;
  if (exchange.response) {
    const MHD_Result queued = Queue(connection, *exchange.response);
    exchange.response.reset();
    return queued;
  }
  if (exchange.gone) return MHD_NO;
  Suspend(exchange);
  return MHD_YES;
}

MHD_Result HttpFront::Impl::Queue(MHD_Connection* connection, const HttpResponse& response) {
  MHD_Response* reply = MHD_create_response_from_buffer(
      response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
  if (reply == nullptr) return MHD_NO;
  bool cache_control = false;
  for (const auto& [name, value] : response.headers) {
    cache_control = cache_control || SameName(name, MHD_HTTP_HEADER_CACHE_CONTROL);
    MHD_add_response_header(reply, name.c_str(), value.c_str());
  }
  if (!response.content_type.empty()) {
    MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, response.content_type.c_str());
    // API answers are about the controller's state now; no cache may keep them.
    if (!cache_control && response.content_type.starts_with("application/json")) {
      MHD_add_response_header(reply, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    }
  }
  const MHD_Result queued =
      MHD_queue_response(connection, static_cast<unsigned>(response.status), reply);
  MHD_destroy_response(reply);
  return queued;
}

void HttpFront::Impl::OnCompleted(void* cls, MHD_Connection*, void** request_slot,
                                  MHD_RequestTerminationCode reason) {
  Impl& impl = *static_cast<Impl*>(cls);
  std::unique_ptr<Request> request(static_cast<Request*>(*request_slot));
  *request_slot = nullptr;
  if (!request || !request->exchange) return;
  auto exchange = request->exchange;
  impl.exchanges.erase(exchange.get());
  if (reason != MHD_REQUEST_TERMINATED_COMPLETED_OK) exchange->MarkGone();
  exchange->Detach();
}

HttpFront::HttpFront(Handler handler, Limits limits, QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>(*this, std::move(handler), limits)) {}

HttpFront::~HttpFront() { impl_.reset(); }

bool HttpFront::Listen(const std::string& host, int port, std::string& error) {
  const bool v6 = host.find(':') != std::string::npos;
  const std::string where = (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
  if (impl_->daemon != nullptr) {
    error = where + ": already listening";
    return false;
  }
  if (port < 0 || port > 65535) {
    error = where + ": port out of range";
    return false;
  }
  sockaddr_storage address{};
  socklen_t length = 0;
  if (v6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET6, host.c_str(), &in6->sin6_addr) == 1) length = sizeof(sockaddr_in6);
  } else {
    auto* in4 = reinterpret_cast<sockaddr_in*>(&address);
    in4->sin_family = AF_INET;
    in4->sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &in4->sin_addr) == 1) length = sizeof(sockaddr_in);
  }
  if (length == 0) {
    error = where + ": not a numeric IPv4 or IPv6 address";
    return false;
  }
  // Our own socket rather than MHD's, so that a failing bind says why.
  const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = where + ": " + std::strerror(errno);
    return false;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (v6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(fd, kListenBacklog) != 0) {
    error = where + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  if (!impl_->Start(fd, error)) {
    ::close(fd);
    error = where + ": " + error;
    return false;
  }
  port_ = MHD_get_daemon_info(impl_->daemon, MHD_DAEMON_INFO_BIND_PORT)->port;
  return true;
}

void HttpFront::SetOwnAnswerHeaders(HttpHeaders headers) {
  impl_->own_headers = std::move(headers);
}

void HttpFront::Close() { impl_->Stop(); }

}  // namespace kavro::server
