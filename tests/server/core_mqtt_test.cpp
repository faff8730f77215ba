// The MQTT front end's pure part: node ids and topics, which messages become commands, the Home
// Assistant discovery configs, the retained messages to publish on a change, and the payloads.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "server/mqtt_topics.h"

namespace kavro::server {
namespace {

using K = MqttCommand::Kind;

const std::string kNec = "6020000200430000000000000000000000000020DF10EF000000000000";
const std::string kTvSjis = "\x83\x65\x83\x8C\x83\x72";  // "テレビ" in Shift-JIS
const std::string kTvUtf8 = "テレビ";
const std::string kFullWidthSpaceSjis = "\x81\x40";

// Shift-JIS for the two texts the tests use, every other text as it is.
const TextCodec kCodec{[](std::string_view sjis) {
                         if (sjis == kTvSjis) return kTvUtf8;
                         if (sjis == kFullWidthSpaceSjis) return std::string("\u3000");
                         return std::string(sjis);
                       },
                       [](std::string_view utf8) { return std::optional<std::string>(utf8); }};

MqttNames Names(std::string prefix = "homeassistant") {
  return MqttNames{"kavro", "den", std::move(prefix)};
}

TEST(MqttNames, NodeIdsAndTopics) {
  const std::pair<std::string, std::string> ids[] = {{"Living-Room_PC", "living-room_pc"},
                                                     {"pi.local", "pi_local"},
                                                     {"a+b#c/d e", "a_b_c_d_e"},
                                                     {"\xC3\xA9t\xC3\xA9", "__t__"},
                                                     {"", "kavro"}};
  for (const auto& [text, id] : ids) EXPECT_EQ(NodeIdFrom(text), id) << text;

  const MqttNames names = Names();
  EXPECT_EQ(names.CodeSend(101), "kavro/den/code/101/send");
  EXPECT_EQ(names.ButtonConfig(7), "homeassistant/button/kavro_den_7/config");
  EXPECT_EQ(names.SensorConfig(), "homeassistant/sensor/kavro_den_last_learned/config");
  EXPECT_EQ(names.Subscriptions(),
            (std::vector<std::string>{"kavro/den/code/+/send", "kavro/den/send", "kavro/den/learn",
                                      "homeassistant/status"}));
  EXPECT_EQ(Names("").Subscriptions().size(), 3u);
}

struct CommandCase {
  std::string topic;
  std::string payload;
  bool retained;
  K kind;
  int number;
  int times;
  std::string text;  // the data or the comment
};

struct RefusedCase {
  std::string topic;
  std::string payload;
  std::string error_part;
};

const std::string kCode = "kavro/den/code/";
const std::string kLearn = "kavro/den/learn";
const std::string kSend = "kavro/den/send";

TEST(MqttCommands, Accepted) {
  const CommandCase cases[] = {
      {kCode + "101/send", "PRESS", false, K::kSendCode, 101, 1, ""},
      {kCode + "9999/send", "20", false, K::kSendCode, 9999, 20, ""},
      {kSend, kNec, false, K::kSendData, -1, 1, kNec},
      {kLearn, R"({"number": 12, "comment": "テレビ"})", false, K::kLearn, 12, 1, kTvUtf8},
      {kLearn, R"({"number": 9999, "other": 1})", false, K::kLearn, 9999, 1, ""},
      {"homeassistant/status", "online", false, K::kAnnounce, -1, 1, ""},
      // Ignored: retained commands, empty payloads, other topics and statuses.
      {kCode + "101/send", "PRESS", true, K::kNone, -1, 1, ""},
      {kCode + "101/send", "", false, K::kNone, -1, 1, ""},
      {kSend, "", false, K::kNone, -1, 1, ""},
      {"homeassistant/status", "offline", false, K::kNone, -1, 1, ""},
      {"homeassistant/status", "online", true, K::kNone, -1, 1, ""},
      {"kavro/den/status", "online", false, K::kNone, -1, 1, ""},
      {"kavro/other/send", kNec, false, K::kNone, -1, 1, ""},
      {"kavro/den/code/send", "PRESS", false, K::kNone, -1, 1, ""},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.topic + " <- " + c.payload);
    const MqttCommand command = ParseMqttCommand(Names(), c.topic, c.payload, c.retained);
    ASSERT_EQ(command.kind, c.kind) << command.error;
    EXPECT_EQ(command.number, c.number);
    EXPECT_EQ(command.times, c.times);
    EXPECT_EQ(c.kind == K::kLearn ? command.comment : command.data, c.text);
  }
  // Without discovery nobody else's status is listened to.
  EXPECT_EQ(ParseMqttCommand(Names(""), "/status", "online", false).kind, K::kNone);
}

TEST(MqttCommands, Refused) {
  const RefusedCase cases[] = {
      {kCode + "101/send", "press", "code/101/send: the payload must be \"PRESS\" or a count"},
      {kCode + "101/send", "21", "1 to 20"},
      {kCode + "101/send", "03", "1 to 20"},
      {kCode + "0101/send", "PRESS", "code number"},
      {kCode + "10000/send", "PRESS", "code number"},
      {kCode + "+1/send", "PRESS", "code number"},
      {kCode + "1/2/send", "PRESS", "code number"},
      {kCode + "1/send", std::string(kMaxPayload + 1, '1'), "payload over 65536 bytes"},
      {kSend, kNec + "0", "58 hex digits"},
      {kSend, kNec.substr(1) + "G", "58 hex digits"},
      {kLearn, R"({"number": 10000})", "\"number\" must be"},
      {kLearn, R"({"number": "12"})", "\"number\" must be"},
      {kLearn, R"({"comment": "x"})", "\"number\" must be"},
      {kLearn, R"({"number": 1, "comment": 5})", "\"comment\""},
      {kLearn, R"({"number": 1, "comment": "a\tb"})", "\"comment\""},
      {kLearn, "[12]", "JSON object"},
      {kLearn, "{\"number\": 1, \"comment\": \"\xFF\"}", "JSON object"},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.topic + " <- " + c.payload.substr(0, 60));
    const MqttCommand command = ParseMqttCommand(Names(), c.topic, c.payload, false);
    ASSERT_EQ(command.kind, K::kError);
    EXPECT_NE(command.error.find(c.error_part), std::string::npos) << command.error;
  }
}

TEST(MqttDiscovery, ButtonsForNamedCodesAndTheSensor) {
  const std::vector<StoredCode> codes = {{101, "0101", kNec, kTvSjis},
                                         {7, "0007", kNec, "amp"},
                                         {3, "0003", kNec, ""},
                                         {4, "0004", kNec, " \t "},
                                         {5, "0005", kNec, kFullWidthSpaceSjis}};
  const RetainedSet configs = DiscoveryConfigs(Names(), codes, kCodec, "1.4.0");
  const std::string device =
      R"("device":{"identifiers":["kavro_den"],"name":"Kavro den","manufacturer":"Kavro","sw_version":"1.4.0"})";
  const RetainedSet expected = {
      {"homeassistant/button/kavro_den_101/config",
       R"({"name":"テレビ","unique_id":"kavro_den_101","command_topic":"kavro/den/code/101/send","payload_press":"PRESS","availability_topic":"kavro/den/status",)" +
           device + "}"},
      {"homeassistant/button/kavro_den_7/config",
       R"({"name":"amp","unique_id":"kavro_den_7","command_topic":"kavro/den/code/7/send","payload_press":"PRESS","availability_topic":"kavro/den/status",)" +
           device + "}"},
      {"homeassistant/sensor/kavro_den_last_learned/config",
       R"({"name":"Last learned code","unique_id":"kavro_den_last_learned","state_topic":"kavro/den/last_learned","value_template":"{{ value_json.data }}","json_attributes_topic":"kavro/den/last_learned","availability_topic":"kavro/den/status",)" +
           device + "}"}};
  EXPECT_EQ(configs, expected);
  EXPECT_TRUE(DiscoveryConfigs(Names(""), codes, kCodec, "1.4.0").empty());
}

TEST(MqttDiscovery, RetainedChanges) {
  const RetainedSet before = {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"e", "5"}};
  const RetainedSet after = {{"b", "2"}, {"c", "30"}, {"d", "4"}};
  using Changes = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(RetainedChanges(before, after),
            (Changes{{"a", ""}, {"c", "30"}, {"d", "4"}, {"e", ""}}));
  EXPECT_TRUE(RetainedChanges(after, after).empty());
  EXPECT_EQ(RetainedChanges({}, after), (Changes(after.begin(), after.end())));
}

TEST(MqttPayloads, EventAndLastLearned) {
  using namespace std::chrono;
  const auto day = sys_days{year{2026} / December / 8};
  EXPECT_EQ(EventPayload("sent", 101, kNec, "", day + 6h + 42min + 42s + 123ms),
            R"({"type":"sent","number":101,"data":")" + kNec +
                R"(","error":null,"time":"2026-12-08T06:42:42.123Z"})");
  // Milliseconds are cut, not rounded, and padded.
  EXPECT_EQ(
      EventPayload("error", std::nullopt, "", "controller offline", day + 7ms + microseconds(999)),
      R"({"type":"error","number":null,"data":null,"error":"controller offline",)"
      R"("time":"2026-12-08T00:00:00.007Z"})");

  const Json learned = Json::parse(LastLearnedPayload(12, kNec, kTvSjis, kCodec));
  EXPECT_EQ(learned["number"], 12);
  EXPECT_EQ(learned["comment"], kTvUtf8);
  EXPECT_TRUE(learned["decode"].is_object());
  // A line-protocol learn has no number; the fields keep their order.
  const std::string head = R"({"number":null,"data":")" + kNec + R"(","comment":"","decode":)";
  EXPECT_EQ(LastLearnedPayload(std::nullopt, kNec, "", kCodec).substr(0, head.size()), head);
}

}  // namespace
}  // namespace kavro::server
