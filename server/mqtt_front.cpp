#include "server/mqtt_front.h"

#include <mosquitto.h>

#include <unistd.h>

#include <cstring>
#include <mutex>
#include <ostream>

#include "server/controller_runner.h"

namespace kavro::server {
namespace {

constexpr int kKeepAliveSeconds = 30;
// Status, configs and the last learned code must arrive; an event is news of the moment, and a
// QoS 1 event's acknowledgement would hold up the broker's next command to us (the broker
// delays small writes), so events go at QoS 0.
constexpr int kQos = 1;
constexpr int kEventQos = 0;

void InitLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

}  // namespace

MqttFront::MqttFront(Options options, ControllerRunner& runner, CodeStore& store, TextCodec codec,
                     ClientId client, std::ostream& out, std::ostream& log, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      runner_(runner),
      store_(store),
      codec_(std::move(codec)),
      client_(client),
      out_(out),
      log_(log) {
  watch_.setInterval(kWatchPeriod);
  connect(&watch_, &QTimer::timeout, this, [this] { RefreshDiscovery(); });
}

MqttFront::~MqttFront() {
  Stop();
  if (mosq_ != nullptr) mosquitto_destroy(mosq_);
}

bool MqttFront::Start(std::string& error) {
  InitLibraryOnce();
  const std::string id = "kavro-" + options_.names.node;
  mosq_ = mosquitto_new(id.c_str(), true, this);
  if (mosq_ == nullptr) {
    error = "cannot make an MQTT client: " + std::string(std::strerror(errno));
    return false;
  }
  const std::string status = options_.names.Status();
  mosquitto_will_set(mosq_, status.c_str(), 7, "offline", kQos, true);
  if (!options_.user.empty() &&
      mosquitto_username_pw_set(mosq_, options_.user.c_str(),
                                options_.password.empty() ? nullptr : options_.password.c_str()) !=
          MOSQ_ERR_SUCCESS) {
    error = "MQTT user or password not accepted by the client library";
    return false;
  }
  if (!options_.cafile.empty()) {
    // The library says only "invalid arguments" for a file it cannot read.
    if (::access(options_.cafile.c_str(), R_OK) != 0) {
      error = options_.cafile + ": cannot read the CA file: " + std::strerror(errno);
      return false;
    }
    const int rc =
        mosquitto_tls_set(mosq_, options_.cafile.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      error = options_.cafile + ": " + mosquitto_strerror(rc);
      return false;
    }
  }
  mosquitto_reconnect_delay_set(mosq_, 1, 30, true);
  // The library's thread calls these; each hands its data over to this object's thread.
  mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int code) {
    auto* front = static_cast<MqttFront*>(self);
    QMetaObject::invokeMethod(
        front, [front, code] { front->OnConnect(code); }, Qt::QueuedConnection);
  });
  mosquitto_disconnect_callback_set(mosq_, [](mosquitto*, void* self, int code) {
    auto* front = static_cast<MqttFront*>(self);
    QMetaObject::invokeMethod(
        front, [front, code] { front->OnDisconnect(code); }, Qt::QueuedConnection);
  });
  mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
    auto* front = static_cast<MqttFront*>(self);
    std::string topic(m->topic);
    std::string payload(static_cast<const char*>(m->payload),
                        static_cast<std::size_t>(std::max(0, m->payloadlen)));
    const bool retained = m->retain;
    QMetaObject::invokeMethod(
        front,
        [front, topic = std::move(topic), payload = std::move(payload), retained] {
          front->OnMessage(topic, payload, retained);
        },
        Qt::QueuedConnection);
  });
  // A broker that is not there yet, a name not resolved yet, a TLS handshake that failed: none is
  // fatal, the connection is tried again.
  const int rc =
      mosquitto_connect_async(mosq_, options_.host.c_str(), options_.port, kKeepAliveSeconds);
  const bool retry = rc == MOSQ_ERR_ERRNO || rc == MOSQ_ERR_EAI || rc == MOSQ_ERR_TLS;
  if (rc != MOSQ_ERR_SUCCESS && !retry) {
    error = options_.host + ":" + std::to_string(options_.port) + ": " + mosquitto_strerror(rc);
    return false;
  }
  if (retry) {
    last_failure_ = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
    if (!last_failure_.empty() && last_failure_.back() == '.') last_failure_.pop_back();
    log_ << "mqtt " << options_.host << ':' << options_.port << ": " << last_failure_
         << "; trying again" << std::endl;
  }
  if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS) {
    error = "cannot start the MQTT client's thread";
    return false;
  }
  loop_started_ = true;
  if (retry) RetryFirstConnect(std::chrono::seconds(1));
  return true;
}

void MqttFront::RetryFirstConnect(std::chrono::seconds delay) {
  QTimer::singleShot(delay, this, [this, delay] {
    if (!loop_started_ || mosquitto_reconnect_async(mosq_) == MOSQ_ERR_SUCCESS) return;
    RetryFirstConnect(std::min(delay * 2, std::chrono::seconds(30)));
  });
}

void MqttFront::Stop() {
  watch_.stop();
  if (mosq_ == nullptr || !loop_started_) return;
  if (connected_) {
    Publish(options_.names.Status(), "offline", true);
    mosquitto_disconnect(mosq_);
  }
  mosquitto_loop_stop(mosq_, !connected_);
  loop_started_ = false;
  connected_ = false;
}

void MqttFront::OnConnect(int code) {
  if (code != 0) {
    std::string why = mosquitto_connack_string(code);
    if (!why.empty() && why.back() == '.') why.pop_back();
    // Said once, not at every retry.
    if (why != last_failure_)
      log_ << "mqtt " << options_.host << ':' << options_.port << ": " << why << "; trying again"
           << std::endl;
    last_failure_ = why;
    return;
  }
  connected_ = true;
  last_failure_.clear();
  out_ << "mqtt connected " << options_.host << ':' << options_.port << std::endl;
  for (const std::string& topic : options_.names.Subscriptions())
    mosquitto_subscribe(mosq_, nullptr, topic.c_str(), kQos);
  PublishStatus();
  PublishAllConfigs();
  watch_.start();
}

void MqttFront::OnDisconnect(int code) {
  // A refused connection was said in OnConnect already; only a lost one is news here.
  const bool was_connected = connected_;
  connected_ = false;
  watch_.stop();
  if (was_connected && code != 0 && loop_started_)
    log_ << "mqtt " << options_.host << ':' << options_.port << ": connection lost; trying again"
         << std::endl;
}

void MqttFront::OnMessage(const std::string& topic, const std::string& payload, bool retained) {
  const MqttCommand command = ParseMqttCommand(options_.names, topic, payload, retained);
  switch (command.kind) {
    case MqttCommand::Kind::kNone: return;
    case MqttCommand::Kind::kAnnounce: return PublishAllConfigs();
    case MqttCommand::Kind::kError: return PublishEvent("error", std::nullopt, "", command.error);
    case MqttCommand::Kind::kSendData: return Run(Exchange::Send(command.data), std::nullopt);
    case MqttCommand::Kind::kSendCode: {
      FileError error;
      const std::optional<StoredCode> code = store_.Find(command.number, &error);
      if (error)
        return PublishEvent("error", command.number, "", FileErrorText(store_.Path(), error));
      if (!code || code->data.empty())
        return PublishEvent("error", command.number, "",
                            "no code " + std::to_string(command.number));
      Exchange exchange = Exchange::Send(code->data, command.times);
      exchange.number = command.number;
      return Run(std::move(exchange), std::nullopt);
    }
    case MqttCommand::Kind::kLearn: {
      std::string error;
      const std::optional<std::string> comment = StoredComment(command.comment, codec_, error);
      if (!comment) return PublishEvent("error", command.number, "", "the comment " + error);
      Exchange exchange = Exchange::Learn();
      exchange.number = command.number;
      return Run(std::move(exchange), comment);
    }
  }
}

void MqttFront::Run(Exchange exchange, std::optional<std::string> learn_comment) {
  const std::optional<int> number = exchange.number;
  // The outcome itself is published by Outcome, as for every front end; a learn stores its code
  // first, as an HTTP learn does.
  RequestQueue::Reply reply;
  if (learn_comment && number) {
    reply = [this, number = *number, comment = *learn_comment](const Result& result) {
      if (result.kind != Result::Kind::kLearned) return;
      if (const FileError error = store_.Put(number, result.data, comment, nullptr))
        PublishEvent("error", number, result.data,
                     FileErrorText(store_.Path(), error) + "; the learned code is " + result.data);
    };
  }
  switch (runner_.Submit(client_, std::move(exchange), std::move(reply))) {
    case ApiBackend::Admission::kQueued: return;
    case ApiBackend::Admission::kFull: return PublishEvent("error", number, "", "queue full");
    case ApiBackend::Admission::kOffline:
      return PublishEvent("error", number, "", "controller offline");
  }
}

void MqttFront::Outcome(const Exchange& exchange, const Result& result) {
  if (!connected_) return;
  if (!result.Ok())
    return PublishEvent("error", exchange.number, exchange.data, FailureText(result));
  if (exchange.kind == Exchange::Kind::kSend)
    return PublishEvent("sent", exchange.number, exchange.data, "");
  if (result.kind != Result::Kind::kLearned) return;
  std::string comment;
  if (exchange.number)
    if (const std::optional<StoredCode> code = store_.Find(*exchange.number))
      comment = code->comment;
  Publish(options_.names.LastLearned(),
          LastLearnedPayload(exchange.number, result.data, comment, codec_), true);
  PublishEvent("learned", exchange.number, result.data, "");
  RefreshDiscovery();
}

void MqttFront::ControllerOnline(bool) {
  if (connected_) PublishStatus();
}

void MqttFront::PublishStatus() {
  Publish(options_.names.Status(), runner_.Online() ? "online" : "offline", true);
}

void MqttFront::PublishAllConfigs() {
  if (!connected_) return;
  RetainedSet now = DiscoveryConfigs(options_.names, store_.All(), codec_, options_.sw_version);
  published_generation_ = store_.Generation();
  // A code deleted while the connection was down still has its config at the broker.
  for (const auto& [topic, payload] : published_)
    if (!now.contains(topic)) Publish(topic, "", true);
  published_ = std::move(now);
  for (const auto& [topic, payload] : published_) Publish(topic, payload, true);
}

void MqttFront::RefreshDiscovery() {
  if (!connected_) return;
  // Building a thousand configs costs more than the look at the file: only when it changed.
  const std::vector<StoredCode>& codes = store_.All();
  if (store_.Generation() == published_generation_) return;
  published_generation_ = store_.Generation();
  RetainedSet now = DiscoveryConfigs(options_.names, codes, codec_, options_.sw_version);
  for (const auto& [topic, payload] : RetainedChanges(published_, now))
    Publish(topic, payload, true);
  published_ = std::move(now);
}

void MqttFront::PublishEvent(std::string_view type, std::optional<int> number,
                             std::string_view data, std::string_view error) {
  if (!connected_) return;
  Publish(options_.names.Event(),
          EventPayload(type, number, data, error, std::chrono::system_clock::now()), false,
          kEventQos);
}

void MqttFront::Publish(const std::string& topic, const std::string& payload, bool retain,
                        int qos) {
  mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                    qos, retain);
}

}  // namespace kavro::server
