// What the MQTT benchmarks add to server_child.h: a broker of their own (the system's mosquitto
// on a free loopback port, stopped by its pid with the bench) and a client on libmosquitto, the
// library the server uses too.
#pragma once

#include <mosquitto.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "bench/server/server_child.h"

namespace kavro::bench {

// The broker program, or nothing when it is not installed.
inline std::optional<std::string> FindBroker() {
  std::vector<std::string> folders = {"/usr/sbin", "/usr/local/sbin"};
  if (const char* path = std::getenv("PATH")) {
    std::istringstream list(path);
    for (std::string folder; std::getline(list, folder, ':');) folders.push_back(folder);
  }
  for (const std::string& folder : folders)
    if (access((folder + "/mosquitto").c_str(), X_OK) == 0) return folder + "/mosquitto";
  return std::nullopt;
}

// A loopback port nobody listens on right now (the broker may still lose it to another program
// before it binds: Broker tries again then).
inline int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    throw std::runtime_error("cannot find a free loopback port");
  close(fd);
  return ntohs(address.sin_port);
}

// mosquitto on 127.0.0.1, anonymous, nothing kept on disk, with `more` configuration lines.
class Broker {
 public:
  Broker(const std::string& program, const std::string& folder, const std::string& more = {}) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      port_ = FreeLoopbackPort();
      const std::string config = folder + "/mosquitto.conf";
      std::ofstream(config) << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n"
                            << "persistence false\n"
                            << more;
      child_ = std::make_unique<ChildProcess>(std::vector<std::string>{program, "-c", config},
                                              folder + "/mosquitto.log");
      if (Listening()) return;
      child_.reset();
    }
    throw std::runtime_error("mosquitto did not start; its log says: " +
                             ReadWholeFile(folder + "/mosquitto.log"));
  }
  int Port() const { return port_; }

 private:
  // Until the port takes connections, or the broker has ended (its port was taken meanwhile).
  bool Listening() {
    const Clock::time_point give_up = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < give_up && !child_->Exited()) {
      try {
        close(ConnectLoopback(port_));
        return true;
      } catch (const std::runtime_error&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    return false;
  }

  int port_ = 0;
  std::unique_ptr<ChildProcess> child_;
};

// One MQTT connection. Without a thread of its own, Publish writes at once and Take runs the
// library's loop in the caller; with one (`threaded`), messages are taken in by the library's
// thread, each stamped with the time it arrived. `nodelay` turns Nagle off, as interactive
// clients have it; the library leaves it on (and so does the server).
class MqttClient {
 public:
  struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;
    Clock::time_point at;
  };

  MqttClient(int port, const std::string& id, bool threaded, bool nodelay = true)
      : threaded_(threaded) {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    mosq_ = mosquitto_new(id.c_str(), true, this);
    if (mosq_ == nullptr) throw std::runtime_error("mosquitto_new failed");
    if (nodelay) mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
      auto* client = static_cast<MqttClient*>(self);
      Message message{m->topic,
                      std::string(static_cast<const char*>(m->payload),
                                  static_cast<std::size_t>(std::max(0, m->payloadlen))),
                      m->retain, Clock::now()};
      const std::lock_guard lock(client->mutex_);
      client->messages_.push_back(std::move(message));
      client->arrived_.notify_all();
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
      auto* client = static_cast<MqttClient*>(self);
      const std::lock_guard lock(client->mutex_);
      ++client->subscribed_;
      client->arrived_.notify_all();
    });
    if (const int rc = mosquitto_connect(mosq_, "127.0.0.1", port, 60); rc != MOSQ_ERR_SUCCESS)
      throw std::runtime_error("MQTT connect: " + std::string(mosquitto_strerror(rc)));
    if (threaded_ && mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS)
      throw std::runtime_error("mosquitto_loop_start failed");
  }
  ~MqttClient() {
    mosquitto_disconnect(mosq_);
    if (threaded_) mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
  }
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;

  // Returns once the broker has granted the subscription.
  void Subscribe(const std::string& filter, int qos) {
    const int before = Subscribed();
    if (mosquitto_subscribe(mosq_, nullptr, filter.c_str(), qos) != MOSQ_ERR_SUCCESS)
      throw std::runtime_error("cannot subscribe to " + filter);
    Await([&] { return subscribed_ > before; }, std::chrono::seconds(10));
  }

  void Publish(const std::string& topic, const std::string& payload, int qos = 0,
               bool retain = false) {
    const int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(),
                                     static_cast<int>(payload.size()), payload.data(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS)
      throw std::runtime_error("publish on " + topic + ": " + mosquitto_strerror(rc));
  }

  // The messages in so far; when there are none, waits up to `wait` for one (throws after that).
  std::vector<Message> Take(std::chrono::milliseconds wait = std::chrono::seconds(10)) {
    Await([this] { return !messages_.empty(); }, wait);
    const std::lock_guard lock(mutex_);
    std::vector<Message> out(std::make_move_iterator(messages_.begin()),
                             std::make_move_iterator(messages_.end()));
    messages_.clear();
    return out;
  }

 private:
  int Subscribed() {
    const std::lock_guard lock(mutex_);
    return subscribed_;
  }

  // Until `done` (called with the lock held) says so.
  template <typename Done>
  void Await(Done done, std::chrono::milliseconds wait) {
    const Clock::time_point give_up = Clock::now() + wait;
    std::unique_lock lock(mutex_);
    while (!done()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(give_up - Clock::now());
      if (left.count() <= 0) throw std::runtime_error("nothing from the broker in time");
      if (threaded_) {
        arrived_.wait_for(lock, left);
      } else {
        lock.unlock();
        const int rc = mosquitto_loop(mosq_, static_cast<int>(left.count()), 1);
        if (rc != MOSQ_ERR_SUCCESS)
          throw std::runtime_error("MQTT connection: " + std::string(mosquitto_strerror(rc)));
        lock.lock();
      }
    }
  }

  const bool threaded_;
  mosquitto* mosq_ = nullptr;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Message> messages_;
  int subscribed_ = 0;
};

}  // namespace kavro::bench
