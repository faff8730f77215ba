#include "server/mqtt_topics.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "datafile/hex_text.h"
#include "datafile/signal_block.h"

namespace kavro::server {
namespace {

using Kind = MqttCommand::Kind;

constexpr int kMaxTimes = 20;

// Digits only, no sign, no leading zero (the topic spells the number one way), within 0..max.
std::optional<int> StrictNumber(std::string_view text, int max) {
  if (text.empty() || text.size() > 5 || (text.size() > 1 && text.front() == '0')) return {};
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return {};
    value = value * 10 + (c - '0');
  }
  if (value > max) return {};
  return value;
}

MqttCommand Of(Kind kind) {
  MqttCommand command;
  command.kind = kind;
  return command;
}

MqttCommand Refused(std::string_view topic, std::string_view why) {
  MqttCommand command = Of(Kind::kError);
  command.error = std::string(topic) + ": " + std::string(why);
  return command;
}

MqttCommand ParseCodeSend(std::string_view topic, std::string_view number_text,
                          std::string_view payload) {
  const std::optional<int> number = StrictNumber(number_text, CodeStore::kLastNumber);
  if (!number)
    return Refused(topic, "the code number must be 0 to 9999, in digits without leading zeros");
  MqttCommand command = Of(Kind::kSendCode);
  command.number = *number;
  if (payload == "PRESS") return command;
  const std::optional<int> times = StrictNumber(payload, kMaxTimes);
  if (!times || *times == 0)
    return Refused(topic, "the payload must be \"PRESS\" or a count from 1 to 20");
  command.times = *times;
  return command;
}

MqttCommand ParseLearn(std::string_view topic, std::string_view payload) {
  const Json body = Json::parse(payload, nullptr, false);
  if (body.is_discarded() || !body.is_object())
    return Refused(topic, "the payload must be a JSON object {\"number\": n, \"comment\": text}");
  const auto number = body.find("number");
  if (number == body.end() || !number->is_number_integer() || number->get<long long>() < 0 ||
      number->get<long long>() > CodeStore::kLastNumber)
    return Refused(topic, "\"number\" must be an integer from 0 to 9999");
  MqttCommand command = Of(Kind::kLearn);
  command.number = static_cast<int>(number->get<long long>());
  if (const auto comment = body.find("comment"); comment != body.end()) {
    // Control bytes can be refused before any conversion; the rest of the comment's rule
    // (StoredComment) needs the codec and is the front end's.
    if (!comment->is_string() || HasControlBytes(comment->get_ref<const std::string&>()))
      return Refused(topic, "\"comment\" must be a string without control characters");
    command.comment = comment->get<std::string>();
  }
  return command;
}

// Blanks only, full-width spaces included: such a comment names no button.
bool Blank(std::string_view utf8) {
  constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";
  while (!utf8.empty()) {
    if (utf8.front() == ' ' || utf8.front() == '\t')
      utf8.remove_prefix(1);
    else if (utf8.starts_with(kIdeographicSpace))
      utf8.remove_prefix(kIdeographicSpace.size());
    else
      return false;
  }
  return true;
}

Json Device(const MqttNames& names, std::string_view sw_version) {
  return {{"identifiers", Json::array({"kavro_" + names.node})},
          {"name", "Kavro " + names.node},
          {"manufacturer", "Kavro"},
          {"sw_version", std::string(sw_version)}};
}

}  // namespace

std::string NodeIdFrom(std::string_view text) {
  if (text.empty()) return "kavro";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    const bool kept = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    out.push_back(kept ? c : '_');
  }
  return out;
}

std::string MqttNames::CodeSend(int number) const {
  return Root() + "/code/" + std::to_string(number) + "/send";
}

std::vector<std::string> MqttNames::Subscriptions() const {
  std::vector<std::string> out = {Root() + "/code/+/send", Send(), Learn()};
  if (!prefix.empty()) out.push_back(HomeAssistantStatus());
  return out;
}

std::string MqttNames::ButtonConfig(int number) const {
  return prefix + "/button/kavro_" + node + "_" + std::to_string(number) + "/config";
}

std::string MqttNames::SensorConfig() const {
  return prefix + "/sensor/kavro_" + node + "_last_learned/config";
}

MqttCommand ParseMqttCommand(const MqttNames& names, std::string_view topic,
                             std::string_view payload, bool retained) {
  const std::string code_head = names.Root() + "/code/";
  constexpr std::string_view kCodeTail = "/send";
  const bool code_send = topic.size() >= code_head.size() + kCodeTail.size() &&
                         topic.starts_with(code_head) && topic.ends_with(kCodeTail);
  const bool send = topic == names.Send();
  const bool learn = topic == names.Learn();
  if (retained) return {};
  if (!names.prefix.empty() && topic == names.HomeAssistantStatus())
    return Of(payload == "online" ? Kind::kAnnounce : Kind::kNone);
  if (!code_send && !send && !learn) return {};
  if (payload.size() > kMaxPayload)
    return Refused(topic, "payload over " + std::to_string(kMaxPayload) + " bytes");
  // An empty payload is what clearing a retained message delivers: not a command.
  if (payload.empty()) return {};
  if (code_send)
    return ParseCodeSend(
        topic, topic.substr(code_head.size(), topic.size() - code_head.size() - kCodeTail.size()),
        payload);
  if (learn) return ParseLearn(topic, payload);
  if (!IsFullDataText(payload)) return Refused(topic, "the payload must be 58 hex digits");
  MqttCommand command = Of(Kind::kSendData);
  command.data = payload;
  return command;
}

RetainedSet DiscoveryConfigs(const MqttNames& names, const std::vector<StoredCode>& codes,
                             const TextCodec& codec, std::string_view sw_version) {
  RetainedSet out;
  if (names.prefix.empty()) return out;
  const Json device = Device(names, sw_version);
  for (const StoredCode& code : codes) {
    const std::string name = codec.to_utf8(code.comment);
    if (Blank(name)) continue;
    const std::string n = std::to_string(code.number);
    const Json config = {{"name", name},
                         {"unique_id", "kavro_" + names.node + "_" + n},
                         {"command_topic", names.CodeSend(code.number)},
                         {"payload_press", "PRESS"},
                         {"availability_topic", names.Status()},
                         {"device", device}};
    // The store lists a number once; should it not, the first record wins, as in the store.
    out.try_emplace(names.ButtonConfig(code.number), Dump(config));
  }
  const Json sensor = {{"name", "Last learned code"},
                       {"unique_id", "kavro_" + names.node + "_last_learned"},
                       {"state_topic", names.LastLearned()},
                       {"value_template", "{{ value_json.data }}"},
                       {"json_attributes_topic", names.LastLearned()},
                       {"availability_topic", names.Status()},
                       {"device", device}};
  out.emplace(names.SensorConfig(), Dump(sensor));
  return out;
}

std::vector<std::pair<std::string, std::string>> RetainedChanges(const RetainedSet& before,
                                                                 const RetainedSet& after) {
  std::vector<std::pair<std::string, std::string>> out;
  auto old = before.begin();
  auto now = after.begin();
  while (old != before.end() || now != after.end()) {
    if (now == after.end() || (old != before.end() && old->first < now->first)) {
      out.emplace_back(old->first, "");
      ++old;
    } else if (old == before.end() || now->first < old->first) {
      out.push_back(*now);
      ++now;
    } else {
      if (old->second != now->second) out.push_back(*now);
      ++old;
      ++now;
    }
  }
  return out;
}

std::string EventPayload(std::string_view type, std::optional<int> number, std::string_view data,
                         std::string_view error, std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto millis = floor<milliseconds>(time);
  const auto whole = floor<seconds>(millis);
  const std::time_t seconds_since = system_clock::to_time_t(whole);
  std::tm utc{};
  gmtime_r(&seconds_since, &utc);
  char stamp[96];  // wide enough for any int in every field: nothing is ever cut
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>((millis - whole).count()));
  auto text = [](std::string_view value) {
    return value.empty() ? Json(nullptr) : Json(std::string(value));
  };
  const Json event = {{"type", std::string(type)},
                      {"number", number ? Json(*number) : Json(nullptr)},
                      {"data", text(data)},
                      {"error", text(error)},
                      {"time", stamp}};
  return Dump(event);
}

std::string LastLearnedPayload(std::optional<int> number, std::string_view data,
                               std::string_view comment, const TextCodec& codec) {
  Json out =
      CodeJson(StoredCode{number.value_or(0), "", std::string(data), std::string(comment)}, codec);
  if (!number) out["number"] = nullptr;
  return Dump(out);
}

}  // namespace kavro::server
