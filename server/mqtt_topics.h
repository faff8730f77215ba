// kavro-server's MQTT topics and payloads, and its Home Assistant discovery configs: pure
// functions from names, codes and messages to topics and payloads, so every rule can be tested
// without a broker. B stands for "<base>/<node>".
//
//   B/status             "online" / "offline", retained (the will says "offline")
//   B/code/<n>/send      "PRESS": send code n once; "k" (1..20): k times; "": nothing
//   B/send               a 58-digit data text
//   B/learn              {"number": n, "comment": "..."}
//   B/event              {"type": "sent"|"learned"|"error", "number", "data", "error", "time"}
//   B/last_learned       {"number", "data", "comment", "decode"}, retained
//
// A command that arrives retained is ignored: a stored message handed over at subscription
// must not fire IR. A payload over kMaxPayload bytes is refused.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/code_store.h"
#include "server/json_text.h"

namespace kavro::server {

inline constexpr std::size_t kMaxPayload = 64 * 1024;

// A host name (or any text) as a node id: lower-cased, every byte outside [a-z0-9_-] as '_'.
std::string NodeIdFrom(std::string_view text);

struct MqttNames {
  std::string base = "kavro";
  std::string node;
  std::string prefix = "homeassistant";  // empty: no discovery

  std::string Root() const { return base + "/" + node; }  // B
  std::string Status() const { return Root() + "/status"; }
  std::string CodeSend(int number) const;  // B/code/<n>/send
  std::string Send() const { return Root() + "/send"; }
  std::string Learn() const { return Root() + "/learn"; }
  std::string Event() const { return Root() + "/event"; }
  std::string LastLearned() const { return Root() + "/last_learned"; }
  // What the server subscribes to: B/code/+/send, B/send, B/learn, and <prefix>/status when
  // discovery is on.
  std::vector<std::string> Subscriptions() const;
  std::string ButtonConfig(int number) const;  // <prefix>/button/kavro_<node>_<n>/config
  std::string SensorConfig() const;            // <prefix>/sensor/kavro_<node>_last_learned/config
  std::string HomeAssistantStatus() const { return prefix + "/status"; }
};

struct MqttCommand {
  enum class Kind {
    kNone,      // nothing to do (a retained or empty command, another topic)
    kSendCode,  // send `number` `times` times
    kSendData,  // send `data` once
    kLearn,     // learn into `number` with `comment` (UTF-8)
    kAnnounce,  // Home Assistant came online: publish every config again
    kError,     // refused: `error` says why (published as an error event)
  };
  Kind kind = Kind::kNone;
  int number = -1;
  int times = 1;
  std::string data;
  std::string comment;
  std::string error;
};

MqttCommand ParseMqttCommand(const MqttNames& names, std::string_view topic,
                             std::string_view payload, bool retained);

// Topic → retained payload.
using RetainedSet = std::map<std::string, std::string>;

// One button config per code with a non-empty comment, and the last-learned sensor; empty when
// discovery is off.
RetainedSet DiscoveryConfigs(const MqttNames& names, const std::vector<StoredCode>& codes,
                             const TextCodec& codec, std::string_view sw_version);

// What to publish to go from `before` to `after`: changed and new topics with their payloads,
// and an empty payload for every topic that is gone (which deletes a retained message).
std::vector<std::pair<std::string, std::string>> RetainedChanges(const RetainedSet& before,
                                                                 const RetainedSet& after);

// The event payload; `number` nothing → null, empty `data`/`error` → null; `time` in ISO 8601
// UTC with milliseconds ("2026-12-08T06:42:42.123Z").
std::string EventPayload(std::string_view type, std::optional<int> number, std::string_view data,
                         std::string_view error, std::chrono::system_clock::time_point time);

// The last-learned payload: {"number", "data", "comment", "decode"} as CodeJson gives them, with
// number null when the learn had none (a line-protocol learn); `comment` is Shift-JIS.
std::string LastLearnedPayload(std::optional<int> number, std::string_view data,
                               std::string_view comment, const TextCodec& codec);

}  // namespace kavro::server
