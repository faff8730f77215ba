// JSON at the server's edges. Text in the store is Shift-JIS; JSON is UTF-8, so conversions are
// passed in (the server uses the windows' code page 932 coder; the fuzz target a plain one).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "server/code_store.h"

namespace kavro::server {

// Objects keep the order their fields were written in, so answers read as documented.
using Json = nlohmann::ordered_json;

struct TextCodec {
  std::function<std::string(std::string_view sjis)> to_utf8;
  // Nothing when the text is not UTF-8 or holds a character code page 932 has no code for.
  std::function<std::optional<std::string>(std::string_view utf8)> to_sjis;
};

// {"number", "data", "comment", "decode"}; "decode" is null when the protocol is not known,
// otherwise {"protocol", "device", "subdevice", "function", "confident"}.
Json CodeJson(const StoredCode& code, const TextCodec& codec);

// One line of compact JSON; text that is not UTF-8 is replaced rather than thrown on.
std::string Dump(const Json& value);

}  // namespace kavro::server
