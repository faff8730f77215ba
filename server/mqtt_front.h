// The MQTT front end on libmosquitto's own network thread: its callbacks are handed to this
// object's thread as queued calls, so everything else runs on the server's thread like the other
// front ends. Commands go into the runner's queue; every outcome of every front end is published
// as an event; Home Assistant discovery configs follow the data file. The library reconnects by
// itself with a back-off growing from 1 s to 30 s.
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "server/code_store.h"
#include "server/exchange.h"
#include "server/json_text.h"
#include "server/mqtt_topics.h"

struct mosquitto;

namespace kavro::server {

class ControllerRunner;

class MqttFront : public QObject {
  Q_OBJECT

 public:
  struct Options {
    std::string host = "127.0.0.1";
    int port = 1883;
    MqttNames names;
    std::string cafile;  // TLS when not empty
    std::string user;
    std::string password;
    std::string sw_version;
  };
  // How often the data file is looked at for changed discovery configs.
  static constexpr std::chrono::milliseconds kWatchPeriod{2000};

  // `out` gets "mqtt connected HOST:PORT" at every connection; `log` the failures.
  MqttFront(Options options, ControllerRunner& runner, CodeStore& store, TextCodec codec,
            ClientId client, std::ostream& out, std::ostream& log, QObject* parent = nullptr);
  ~MqttFront() override;

  // Starts connecting (and retrying); false with `error` when the client cannot be set up.
  bool Start(std::string& error);
  // Says "offline" and disconnects.
  void Stop();

  // Every finished exchange of every front end, after its request was answered.
  void Outcome(const Exchange& exchange, const Result& result);
  void ControllerOnline(bool online);
  // Publishes the discovery configs that changed since the last look.
  void RefreshDiscovery();

 private:
  void OnConnect(int code);
  void OnDisconnect(int code);
  void OnMessage(const std::string& topic, const std::string& payload, bool retained);
  void RetryFirstConnect(std::chrono::seconds delay);
  void Run(Exchange exchange, std::optional<std::string> learn_comment);
  void Publish(const std::string& topic, const std::string& payload, bool retain, int qos = 1);
  void PublishEvent(std::string_view type, std::optional<int> number, std::string_view data,
                    std::string_view error);
  void PublishStatus();
  void PublishAllConfigs();

  const Options options_;
  ControllerRunner& runner_;
  CodeStore& store_;
  const TextCodec codec_;
  const ClientId client_;
  std::ostream& out_;
  std::ostream& log_;
  mosquitto* mosq_ = nullptr;
  bool connected_ = false;
  bool loop_started_ = false;
  std::string last_failure_;
  RetainedSet published_;
  std::uint64_t published_generation_ = 0;  // the store's generation `published_` was made from
  QTimer watch_;
};

}  // namespace kavro::server
