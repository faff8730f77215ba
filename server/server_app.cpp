#include "server/server_app.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <ostream>

#include "link/serial_devices.h"
#include "link/sjis_utf8.h"

namespace kavro::server {

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
            routes_.Handle(request, client,
                           [answer](HttpResponse response) { answer->Send(std::move(response)); });
          },
          HttpFront::Limits{}) {
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
  // An IPv6 address is bracketed, so that the port after the last colon reads as one.
  auto address = [](const std::string& host, int port) {
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
           std::to_string(port);
  };
  out_ << "listening line " << address(options_.line_host, line_.Port()) << '\n'
       << "listening http " << address(options_.http_host, http_.Port()) << std::endl;
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
