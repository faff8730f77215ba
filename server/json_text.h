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

// A comment longer than this (in Shift-JIS) is refused rather than cut: the caller should know.
inline constexpr std::size_t kMaxCommentBytes = 255;

// True when `text` holds a control byte (0x00-0x1F, 0x7F); those mean the same in UTF-8 and
// Shift-JIS, and a line break would end the record in the data file.
bool HasControlBytes(std::string_view text);

// A comment from outside (UTF-8) as the data file stores it: Shift-JIS, without control bytes,
// at most kMaxCommentBytes. Nothing, with `error` saying what was wrong, otherwise.
std::optional<std::string> StoredComment(std::string_view utf8, const TextCodec& codec,
                                         std::string& error);

// {"number", "data", "comment", "decode"}; "decode" is null when the protocol is not known,
// otherwise {"protocol", "device", "subdevice", "function", "confident", "brief"}.
Json CodeJson(const StoredCode& code, const TextCodec& codec);

// One line of compact JSON; text that is not UTF-8 is replaced rather than thrown on.
std::string Dump(const Json& value);

}  // namespace kavro::server
