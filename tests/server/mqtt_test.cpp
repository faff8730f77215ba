// kavro-server's MQTT front end against a real broker (mosquitto on a free loopback port, with a
// config of its own), with kavro-sim on a pty as the controller and libmosquitto as the test's
// own client.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <mosquitto.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <condition_variable>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "datafile/store.h"
#include "tests/server/server_fixture.h"

namespace kavro::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using namespace std::chrono_literals;

constexpr const char* kLearned = "200A000140400A8000000000A000000000000011223344556677889901";
constexpr int kPatience = 5000;  // ms

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

// Runs `args` with stdout and stderr appended to `log`; the pid.
pid_t Spawn(std::vector<std::string> args, const std::string& log) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fd, STDOUT_FILENO);
    ::dup2(fd, STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(fd);
  return pid;
}

// mosquitto in the foreground on a loopback port of its own. Started as root it reads its
// password file as user mosquitto, hence a folder and file anyone may read.
class Broker {
 public:
  // With a user, only that user with that password gets in.
  explicit Broker(const std::string& user = "", const std::string& password = "") {
    char pattern[] = "/tmp/kavro-broker-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) dir_ = pattern;
    ::chmod(dir_.c_str(), 0755);
    if (!user.empty()) {
      const std::string file = dir_ + "/passwd";
      const std::string make =
          std::string(KAVRO_MOSQUITTO_PASSWD) + " -b -c " + file + " " + user + " " + password;
      if (std::system(make.c_str()) == 0) {
        ::chmod(file.c_str(), 0644);
        config_ = "password_file " + file + "\nallow_anonymous false\n";
      }
    } else {
      config_ = "allow_anonymous true\n";
    }
  }
  ~Broker() {
    Stop();
    fs::remove_all(dir_);
  }
  // Retained messages outlive a restart, as on a broker in service.
  void Persist() {
    const std::string store = dir_ + "/store";
    fs::create_directory(store);
    ::chmod(store.c_str(), 0777);
    persistence_ = "persistence true\npersistence_location " + store + "/\n";
  }

  // The first start picks a free port; later starts keep it. True once it accepts connections.
  bool Start() {
    for (int attempt = 0; attempt < 20; ++attempt) {
      const bool first = port_ == 0;
      if (first) port_ = FreePort();
      std::ofstream(dir_ + "/mosquitto.conf") << "listener " << port_ << " 127.0.0.1\n"
                                              << config_ << persistence_;
      const std::size_t log_from = Log().size();
      pid_ = Spawn({KAVRO_MOSQUITTO, "-c", dir_ + "/mosquitto.conf"}, dir_ + "/broker.log");
      for (auto until = std::chrono::steady_clock::now() + 5s;
           std::chrono::steady_clock::now() < until;) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) break;  // e.g. "Address already in use"
        // Said once the listener is up.
        if (Log().find(" running", log_from) != std::string::npos) return true;
        std::this_thread::sleep_for(10ms);
      }
      Stop();
      if (first) port_ = 0;
    }
    return false;
  }
  void Stop() {
    if (pid_ <= 0) return;
    if (::kill(pid_, SIGTERM) == 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  int Port() const { return port_; }
  std::string Log() const { return ReadText(dir_ + "/broker.log"); }

 private:
  std::string dir_;
  std::string config_;
  std::string persistence_ = "persistence false\n";
  int port_ = 0;
  pid_t pid_ = -1;
};

struct Message {
  std::string topic;
  std::string payload;
  bool retained = false;
};
using Match = std::function<bool(const Message&)>;

Match On(const std::string& topic, std::optional<std::string> payload = std::nullopt) {
  return [=](const Message& m) { return m.topic == topic && (!payload || m.payload == *payload); };
}
Match Event(const std::string& type) {
  return [=](const Message& m) {
    if (m.topic != "kavro/test/event") return false;
    const Json event = Json::parse(m.payload, nullptr, false);
    return event.is_object() && event.value("type", "") == type;
  };
}

// The test's own client on libmosquitto's thread: subscribes at every connection, keeps every
// message it receives.
class MqttClient {
 public:
  MqttClient(int port, std::vector<std::string> topics, const std::string& user = "",
             const std::string& password = "")
      : topics_(std::move(topics)) {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    static std::atomic<int> serial = 0;
    const std::string id =
        "kavro-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    sync_topic_ = "kavro-sync/" + id;
    topics_.push_back(sync_topic_);
    mosq_ = mosquitto_new(id.c_str(), true, this);
    if (!user.empty()) mosquitto_username_pw_set(mosq_, user.c_str(), password.c_str());
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int code) {
      if (code != 0) return;
      for (const std::string& topic : static_cast<MqttClient*>(self)->topics_)
        mosquitto_subscribe(m, nullptr, topic.c_str(), 1);
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
      static_cast<MqttClient*>(self)->Note([](MqttClient& c) { ++c.subscribed_; });
    });
    mosquitto_publish_callback_set(mosq_, [](mosquitto*, void* self, int mid) {
      static_cast<MqttClient*>(self)->Note([mid](MqttClient& c) { c.acked_.push_back(mid); });
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
      Message message{m->topic,
                      std::string(static_cast<const char*>(m->payload),
                                  static_cast<std::size_t>(m->payloadlen)),
                      m->retain};
      static_cast<MqttClient*>(self)->Note([&](MqttClient& c) {
        if (c.hook_) c.hook_(message);
        c.messages_.push_back(std::move(message));
      });
    });
    connected_ = mosquitto_connect(mosq_, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
                 mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS;
  }
  ~MqttClient() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
  }

  // Connected and subscribed to every topic.
  bool Ready() {
    std::unique_lock<std::mutex> hold(mutex_);
    return connected_ && changed_.wait_for(hold, std::chrono::milliseconds(kPatience), [&] {
      return subscribed_ >= static_cast<int>(topics_.size());
    });
  }
  // Publishes at QoS 1 and waits for the broker's acknowledgement.
  bool Publish(const std::string& topic, const std::string& payload, bool retain = false) {
    int mid = 0;
    if (mosquitto_publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, retain) != MOSQ_ERR_SUCCESS)
      return false;
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, std::chrono::milliseconds(kPatience), [&] {
      return std::find(acked_.begin(), acked_.end(), mid) != acked_.end();
    });
  }
  // Returns once everything the broker queued for this client before now has arrived.
  bool Sync() {
    const std::string mark = std::to_string(++syncs_);
    return Publish(sync_topic_, mark) && Await(On(sync_topic_, mark));
  }
  // The first message that matches, waiting for it at most `millis`.
  std::optional<Message> Await(const Match& match, int millis = kPatience) {
    std::unique_lock<std::mutex> hold(mutex_);
    std::optional<Message> found;
    changed_.wait_for(hold, std::chrono::milliseconds(millis), [&] {
      const auto hit = std::find_if(messages_.begin(), messages_.end(), match);
      if (hit != messages_.end()) found = *hit;
      return found.has_value();
    });
    return found;
  }
  bool AwaitCount(const Match& match, int count, int millis = kPatience) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, std::chrono::milliseconds(millis),
                             [&] { return CountLocked(match) >= count; });
  }
  int Count(const Match& match) {
    std::lock_guard<std::mutex> hold(mutex_);
    return CountLocked(match);
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(mutex_);
    messages_.clear();
  }
  // Called on the library's thread with each message as it arrives.
  void SetHook(std::function<void(const Message&)> hook) {
    std::lock_guard<std::mutex> hold(mutex_);
    hook_ = std::move(hook);
  }

 private:
  template <typename Change>
  void Note(Change change) {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      change(*this);
    }
    changed_.notify_all();
  }
  int CountLocked(const Match& match) const {
    return static_cast<int>(std::count_if(messages_.begin(), messages_.end(), match));
  }

  std::vector<std::string> topics_;
  std::string sync_topic_;
  int syncs_ = 0;
  mosquitto* mosq_ = nullptr;
  bool connected_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  int subscribed_ = 0;
  std::vector<int> acked_;
  std::vector<Message> messages_;
  std::function<void(const Message&)> hook_;
};

const std::string kStatus = "kavro/test/status";
const std::string kSensorConfig = "homeassistant/sensor/kavro_test_last_learned/config";
std::string ButtonConfig(int n) {
  return "homeassistant/button/kavro_test_" + std::to_string(n) + "/config";
}

class MqttTest : public ServerFixture {
 protected:
  ~MqttTest() override { server_.reset(); }  // before its broker
  void StartBroker(const std::string& user = "", const std::string& password = "") {
    broker_ = std::make_unique<Broker>(user, password);
    ASSERT_TRUE(broker_->Start()) << KAVRO_MOSQUITTO << " did not start:\n" << broker_->Log();
  }
  // A client on everything the server publishes or reads.
  std::unique_ptr<MqttClient> Watch(const std::string& user = "",
                                    const std::string& password = "") {
    auto client = std::make_unique<MqttClient>(
        broker_->Port(), std::vector<std::string>{"kavro/test/#", "homeassistant/#"}, user,
        password);
    EXPECT_TRUE(client->Ready());
    return client;
  }
  server::ServerOptions MqttOptions(const std::string& user = "",
                                    const std::string& password = "") const {
    server::ServerOptions options = Options();
    server::MqttFront::Options mqtt;
    mqtt.port = broker_->Port();
    mqtt.names.node = "test";
    mqtt.user = user;
    mqtt.password = password;
    mqtt.sw_version = "9.8";
    options.mqtt = mqtt;
    return options;
  }
  // Starts the server and waits until it says it is online, which it does after subscribing.
  void StartOnline(MqttClient& watcher, const server::ServerOptions& options) {
    StartServer(options);
    ASSERT_TRUE(watcher.Await(On(kStatus, "online"))) << server_->Log();
  }

  std::unique_ptr<Broker> broker_;
};

TEST_F(MqttTest, CommandsSendAndLearnRetainedOnesAreIgnoredHugeOnesRefused) {
  auto sim = StartSim({"--learn-delay", "0", "--learn-code", kLearned});
  WriteDataFile({std::string("0101=") + kCode + " TV POWER"});
  StartBroker();
  auto client = Watch();
  // Handed to the server at its subscription: must not fire IR.
  ASSERT_TRUE(client->Publish("kavro/test/code/101/send", "PRESS", true));
  StartOnline(*client, MqttOptions());

  ASSERT_TRUE(client->Publish("kavro/test/code/101/send", "PRESS"));
  ASSERT_TRUE(client->Await(Event("sent")));
  EXPECT_EQ(sim->Count("irsend"), 1);
  ASSERT_TRUE(client->Publish("kavro/test/code/101/send", "3"));
  ASSERT_TRUE(client->AwaitCount(Event("sent"), 4));
  EXPECT_EQ(sim->Count("irsend"), 4);
  const Json sent = Json::parse(client->Await(Event("sent"))->payload);
  EXPECT_EQ(sent["number"], 101);
  EXPECT_EQ(sent["data"], kCode);

  // What the file holds at the moment each learn message arrives.
  std::vector<std::string> file_then;
  client->SetHook([&](const Message& m) {
    if (m.topic == "kavro/test/last_learned" || Event("learned")(m))
      file_then.push_back(ReadText(data_file_));
  });
  ASSERT_TRUE(client->Publish("kavro/test/learn", R"({"number": 300, "comment": "fan"})"));
  const std::optional<Message> learned = client->Await(Event("learned"));
  ASSERT_TRUE(learned);
  client->SetHook(nullptr);
  EXPECT_EQ(Json::parse(learned->payload)["data"], kLearned);
  ASSERT_EQ(file_then.size(), 2u);
  for (const std::string& file : file_then)
    EXPECT_NE(file.find(std::string("0300=") + kLearned + " fan\r\n"), std::string::npos) << file;
  MqttClient late(broker_->Port(), {"kavro/test/last_learned"});
  ASSERT_TRUE(late.Ready());
  const std::optional<Message> last = late.Await(On("kavro/test/last_learned"));
  ASSERT_TRUE(last);
  EXPECT_TRUE(last->retained);
  const Json last_json = Json::parse(last->payload);
  EXPECT_EQ(last_json["number"], 300);
  EXPECT_EQ(last_json["data"], kLearned);
  EXPECT_EQ(last_json["comment"], "fan");

  ASSERT_TRUE(client->Publish("kavro/test/send", std::string(1 << 20, 'A')));
  const std::optional<Message> refused = client->Await(Event("error"));
  ASSERT_TRUE(refused);
  EXPECT_NE(refused->payload.find("payload over"), std::string::npos) << refused->payload;
  // The queue runs in order, so a send made of the retained command would be over by now.
  EXPECT_EQ(sim->Count("irsend"), 4);
  EXPECT_EQ(client->Count(Event("sent")), 4);
}

TEST_F(MqttTest, DiscoveryConfigsFollowTheDataFile) {
  auto sim = StartSim({});
  WriteDataFile({std::string("0101=") + kCode + " TV POWER", std::string("0102=") + kCode,
                 std::string("0103=") + kCode + " VOL UP"});
  StartBroker();
  auto client = Watch();
  StartOnline(*client, MqttOptions());
  ASSERT_TRUE(client->Await(On(kSensorConfig)));
  ASSERT_TRUE(client->Sync());
  EXPECT_EQ(client->Count(On(ButtonConfig(101))), 1);
  EXPECT_EQ(client->Count(On(ButtonConfig(102))), 0);  // no name, no button
  EXPECT_EQ(client->Count(On(ButtonConfig(103))), 1);
  const Json config = Json::parse(client->Await(On(ButtonConfig(101)))->payload);
  EXPECT_EQ(config["name"], "TV POWER");
  EXPECT_EQ(config["unique_id"], "kavro_test_101");
  EXPECT_EQ(config["command_topic"], "kavro/test/code/101/send");
  EXPECT_EQ(config["payload_press"], "PRESS");
  EXPECT_EQ(config["availability_topic"], kStatus);
  EXPECT_EQ(config["device"]["identifiers"], Json::array({"kavro_test"}));

  // A code gone from the file loses its retained config at the next look.
  ASSERT_EQ(DeleteKeyValue(data_file_, "Data", "0103"), 1);
  ASSERT_TRUE(client->Await(On(ButtonConfig(103), ""),
                            kPatience + 2 * server::MqttFront::kWatchPeriod.count()));
  MqttClient late(broker_->Port(), {"homeassistant/#"});
  ASSERT_TRUE(late.Ready() && late.Sync());
  EXPECT_EQ(late.Count([](const Message& m) { return m.retained; }), 2);
  EXPECT_EQ(late.Count(On(ButtonConfig(101))), 1);
  EXPECT_EQ(late.Count(On(kSensorConfig)), 1);

  // Home Assistant back online gets every config again.
  client->Clear();
  ASSERT_TRUE(client->Publish("homeassistant/status", "online"));
  ASSERT_TRUE(client->Await(On(kSensorConfig)));
  ASSERT_TRUE(client->Sync());
  EXPECT_EQ(client->Count(On(ButtonConfig(101))), 1);
  EXPECT_EQ(client->Count(On(ButtonConfig(103))), 0);
}

TEST_F(MqttTest, ConfigOfACodeDeletedWhileTheBrokerWasAwayIsCleared) {
  auto sim = StartSim({});
  WriteDataFile(
      {std::string("0101=") + kCode + " TV POWER", std::string("0103=") + kCode + " VOL UP"});
  broker_ = std::make_unique<Broker>();
  broker_->Persist();
  ASSERT_TRUE(broker_->Start());
  auto client = Watch();
  StartOnline(*client, MqttOptions());
  ASSERT_TRUE(client->Await(On(kSensorConfig)));

  broker_->Stop();
  ASSERT_EQ(DeleteKeyValue(data_file_, "Data", "0103"), 1);
  ASSERT_TRUE(broker_->Start());
  // An event the server publishes after it reconnected: what it published at connecting is in.
  MqttClient after(broker_->Port(), {"kavro/test/event"});
  ASSERT_TRUE(after.Ready());
  ASSERT_TRUE(WaitFor([&] { return Occurrences(server_->Out(), "mqtt connected") == 2; }, 15000));
  // "mqtt connected" is said before the server's subscriptions are in place at the broker: a
  // press that comes before them is not delivered, so press until one is answered.
  ASSERT_TRUE(WaitFor(
      [&] {
        return after.Publish("kavro/test/code/101/send", "PRESS") &&
               after.Await(Event("sent"), 500);
      },
      15000));
  MqttClient late(broker_->Port(), {"homeassistant/#"});
  ASSERT_TRUE(late.Ready() && late.Sync());
  EXPECT_EQ(late.Count(On(ButtonConfig(101))), 1);
  EXPECT_EQ(late.Count(On(ButtonConfig(103))), 0);
}

TEST_F(MqttTest, BrokerRestartIsSurvivedAndTheWillSaysOffline) {
  auto sim = StartSim({});
  WriteDataFile({std::string("0101=") + kCode + " TV POWER"});
  StartBroker();
  auto client = Watch();
  StartOnline(*client, MqttOptions());

  // Both the server and this client reconnect by themselves; the broker kept nothing.
  client->Clear();
  broker_->Stop();
  ASSERT_TRUE(broker_->Start());
  ASSERT_TRUE(client->Await(On(kStatus, "online"), 15000)) << server_->Log();
  ASSERT_TRUE(client->Await(On(kSensorConfig)));
  EXPECT_EQ(Occurrences(server_->Out(), "mqtt connected 127.0.0.1:"), 2) << server_->Out();
  ASSERT_TRUE(client->Publish("kavro/test/code/101/send", "PRESS"));
  ASSERT_TRUE(client->Await(Event("sent")));
  EXPECT_EQ(sim->Count("irsend"), 1);
  server_.reset();

  // The will, from a server process that dies without a word.
  client->Clear();
  const pid_t child =
      Spawn({KAVRO_SERVER_BIN, "--data", data_file_, "--token-file", (dir_ / "token").string(),
             "--line", "127.0.0.1:0", "--http", "127.0.0.1:0", "--mqtt",
             "127.0.0.1:" + std::to_string(broker_->Port()), "--node", "test"},
            (dir_ / "server.log").string());
  const bool online = client->Await(On(kStatus, "online")).has_value();
  client->Clear();
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(online) << ReadText(dir_ / "server.log");
  ASSERT_TRUE(client->Await(On(kStatus, "offline")));
  MqttClient late(broker_->Port(), {kStatus});
  ASSERT_TRUE(late.Ready());
  const std::optional<Message> status = late.Await(On(kStatus));
  ASSERT_TRUE(status);
  EXPECT_EQ(status->payload, "offline");
  EXPECT_TRUE(status->retained);
}

TEST_F(MqttTest, BrokerNotUpYetAtStartIsWaitedFor) {
  auto sim = StartSim({});
  WriteDataFile({});
  StartBroker();
  broker_->Stop();
  StartServer(MqttOptions());  // its first attempt is made before this returns
  ASSERT_TRUE(broker_->Start());
  auto client = Watch();
  ASSERT_TRUE(client->Await(On(kStatus, "online"), 15000)) << server_->Log();
  EXPECT_LE(Occurrences(server_->Log(), "mqtt"), 1) << server_->Log();
}

TEST_F(MqttTest, WrongPasswordIsSaidOnceAndRetried) {
  auto sim = StartSim({});
  WriteDataFile({std::string("0101=") + kCode + " TV POWER"});
  StartBroker("kavro", "secret");
  StartServer(MqttOptions("kavro", "wrong"));
  ASSERT_TRUE(WaitFor([&] { return server_->Log().find("not authorised") != std::string::npos; }))
      << server_->Log();
  // Refused again after the library's first back-off (1 s), and not said again.
  ASSERT_TRUE(WaitFor([&] {
    return Occurrences(broker_->Log(), "disconnected, not authorised") >= 2;
  })) << broker_->Log();
  const std::string log = server_->Log();
  EXPECT_EQ(Occurrences(log, "mqtt"), 1) << log;
  EXPECT_EQ(server_->Out().find("mqtt connected"), std::string::npos);
  Client http(server_->HttpPort());
  EXPECT_EQ(http.Http("GET", "/api/v1/status", ""), 200);
  server_.reset();

  // The right password gets in.
  auto client = Watch("kavro", "secret");
  StartOnline(*client, MqttOptions("kavro", "secret"));
}

}  // namespace
}  // namespace kavro::test
