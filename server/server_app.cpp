#include "server/server_app.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <ostream>

#include "link/serial_devices.h"
#include "link/sjis_utf8.h"
#include "server/http_service.h"

namespace kavro::server {
namespace {

// An IPv6 address is bracketed, so that the port after the last colon reads as one.
std::string HostPort(const std::string& host, int port) {
  return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
         std::to_string(port);
}

bool IsLoopback(const std::string& address) {
  return address.starts_with("127.") || address == "::1" || address == "localhost";
}

}  // namespace

std::string ReachableHost(const std::string& host, const std::vector<std::string>& addresses,
                          const std::string& host_name) {
  const bool v6 = host == "::";
  if (host != "0.0.0.0" && !v6) return host;
  // An IPv6 listener takes IPv6 only; a link-local address would need a zone no browser takes.
  for (const std::string& address : addresses) {
    if (IsLoopback(address) || (address.find(':') != std::string::npos) != v6) continue;
    if (v6 && (address.starts_with("fe8") || address.starts_with("fe9") ||
               address.starts_with("fea") || address.starts_with("feb")))
      continue;
    return address;
  }
  return host_name.empty() ? host : host_name;
}

std::vector<std::string> InterfaceAddresses() {
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || !(entry->ifa_flags & IFF_UP)) continue;
    const int family = entry->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw = family == AF_INET
                          ? static_cast<const void*>(
                                &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr)
                          : static_cast<const void*>(
                                &reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr);
    if (::inet_ntop(family, raw, text, sizeof text) != nullptr) addresses.push_back(text);
  }
  ::freeifaddrs(list);
  return addresses;
}

std::string WebRemoteUrl(const std::string& host, int port, std::string_view token) {
  // The page reads the token with decodeURIComponent: anything but unreserved characters is
  // percent-encoded (a generated token is hex and needs none).
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : token) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 15];
    }
  }
  return "http://" + HostPort(host, port) + "/#token=" + encoded;
}

ServerApp::ServerApp(ServerOptions options, std::ostream& out, std::ostream& log, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      out_(out),
      log_(log),
      store_(options_.data_file),
      runner_(options_.port, options_.queue_limit, options_.verbose, log),
      routes_(*this, store_, TextCodec{SjisToUtf8, Utf8ToSjis}, options_.token),
      line_(runner_, [this] { return NextClient(); }),
      http_(
          [this](const HttpRequest& request, std::shared_ptr<HttpAnswer> answer) {
            const ClientId client = NextClient();
            answer->OnGone([this, client] { runner_.DropClient(client); });
            HandleHttp(routes_, request, client,
                       [answer](HttpResponse response) { answer->Send(std::move(response)); });
          },
          HttpFront::Limits{}) {
  http_.SetOwnAnswerHeaders(SecurityHeaders());
  const TextCodec codec{SjisToUtf8, Utf8ToSjis};
  if (options_.mqtt)
    mqtt_ =
        std::make_unique<MqttFront>(*options_.mqtt, runner_, store_, codec, NextClient(), out, log);
  // Every front end's outcomes reach MQTT's events, whoever asked.
  runner_.SetObserver([this](const Exchange& exchange, const Result& result) {
    if (mqtt_) mqtt_->Outcome(exchange, result);
  });
  runner_.SetOnlineObserver([this](bool online) {
    if (mqtt_) mqtt_->ControllerOnline(online);
  });
}

ServerApp::~ServerApp() {
  runner_.SetObserver(nullptr);
  runner_.SetOnlineObserver(nullptr);
  mqtt_.reset();
  http_.Close();
  line_.Close();
}

bool ServerApp::Start(std::string& error) {
  // Which device stands behind the port is the data file's business, as for the windows.
  LoadSerialDevices(options_.data_file);
  if (!line_.Listen(options_.line_host, options_.line_port, error)) return false;
  if (!http_.Listen(options_.http_host, options_.http_port, error)) return false;
  out_ << "listening line " << HostPort(options_.line_host, line_.Port()) << '\n'
       << "listening http " << HostPort(options_.http_host, http_.Port()) << '\n';
  if (options_.show_url) {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    const std::string host = ReachableHost(options_.http_host, InterfaceAddresses(), name);
    out_ << "open " << WebRemoteUrl(host, http_.Port(), options_.token) << '\n';
    if (IsLoopback(host))
      log_ << "the web remote: the HTTP listener is on the loopback address, so only this "
              "machine can open it; --http 0.0.0.0:"
           << http_.Port() << " listens on every address\n";
    else if (host != options_.http_host)
      log_ << "the web remote: the HTTP listener is on every address of this machine; the "
              "address to open names "
           << host << "\n";
  }
  out_.flush();
  if (mqtt_ && !mqtt_->Start(error)) return false;
  runner_.Start();
  return true;
}

void ServerApp::Stop(std::chrono::milliseconds patience) {
  runner_.Stop(patience);
  if (mqtt_) mqtt_->Stop();
  // The last answers are written; give the sockets a moment to take them before closing.
  const QDeadlineTimer flush(kFlushTime.count());
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  } while (line_.Unsent() > 0 && !flush.hasExpired());
  http_.Close();
  line_.Close();
}

ApiBackend::Admission ServerApp::Submit(ClientId client, Exchange exchange,
                                        RequestQueue::Reply reply) {
  return runner_.Submit(client, std::move(exchange), std::move(reply));
}

}  // namespace kavro::server
