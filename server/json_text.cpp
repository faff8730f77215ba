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
  out["decode"] = {{"protocol", decoded.protocol},
                   {"device", number(decoded.device)},
                   {"subdevice", number(decoded.subdevice)},
                   {"function", number(decoded.function)},
                   {"confident", decoded.confident}};
  return out;
}

std::string Dump(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace kavro::server
