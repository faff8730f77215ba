#include "server/exchange.h"

#include <cstdio>

namespace kavro::server {

Exchange Exchange::Send(std::string data, int repeat) {
  Exchange exchange = Of(Kind::kSend);
  exchange.data = std::move(data);
  exchange.repeat = repeat;
  return exchange;
}

Exchange Exchange::PortOut(int address, int value) {
  Exchange exchange = Of(Kind::kPortOut);
  exchange.address = address;
  exchange.value = value;
  return exchange;
}

Exchange Exchange::PortIn(int address) {
  Exchange exchange = Of(Kind::kPortIn);
  exchange.address = address;
  return exchange;
}

std::string FailureText(const Result& result) {
  switch (result.kind) {
    case Result::Kind::kDone:
    case Result::Kind::kLearned: return {};
    case Result::Kind::kLearnFailed: return "learn failed";
    case Result::Kind::kControllerError: {
      char text[40];
      std::snprintf(text, sizeof text, "controller error 0x%02X", result.reply & 0xFF);
      return text;
    }
    case Result::Kind::kTimeout: return "time-out";
    case Result::Kind::kOffline: return "controller offline";
    case Result::Kind::kRefused: return result.detail;
  }
  return {};
}

}  // namespace kavro::server
