#include "server/json_text.h"

#include "codec/decode.h"
#include "datafile/signal_block.h"

namespace kavro::server {

Json CodeJson(const StoredCode& code, const TextCodec& codec) {
  Json out = {
      {"number", code.number}, {"data", code.data}, {"comment", codec.to_utf8(code.comment)}};
  const codec::Decoded decoded = codec::Decode(SignalBlockFromText(code.data));
  if (!decoded.Known()) {
    out["decode"] = nullptr;
    return out;
  }
  auto number = [](const std::optional<int>& value) {
    return value ? Json(*value) : Json(nullptr);
  };
  out["decode"] = {
      {"protocol", decoded.protocol},           {"device", number(decoded.device)},
      {"subdevice", number(decoded.subdevice)}, {"function", number(decoded.function)},
      {"confident", decoded.confident},         {"brief", codec::DecodeBrief(decoded)}};
  return out;
}

bool HasControlBytes(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

std::optional<std::string> StoredComment(std::string_view utf8, const TextCodec& codec,
                                         std::string& error) {
  std::optional<std::string> sjis = codec.to_sjis(utf8);
  if (!sjis)
    error = "holds a character Shift-JIS cannot store";
  else if (HasControlBytes(*sjis))
    error = "must not hold control characters";
  else if (sjis->size() > kMaxCommentBytes)
    error = "is longer than 255 bytes in Shift-JIS";
  else
    return sjis;
  return std::nullopt;
}

std::string Dump(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace kavro::server
