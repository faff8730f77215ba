#include "tools/kavro-sim/line_responder.h"

namespace kavro::sim {

namespace {

constexpr std::string_view kIrSendHead = "RAVIZ S53";
constexpr std::size_t kIrSendDigits = 58;

Bytes line(std::string_view text) {
  Bytes bytes = toBytes(text);
  bytes.push_back('\r');
  bytes.push_back('\n');
  return bytes;
}

}  // namespace

LineResponder::LineResponder(const SimOptions& options) : options_(options) {}

std::vector<Received> LineResponder::feed(const std::uint8_t* data, std::size_t size) {
  std::vector<Received> out;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\n') {
      if (!dropping_) {
        if (!held_.empty() && held_.back() == '\r') held_.pop_back();
        out.push_back(respond(held_));
      }
      held_.clear();
      dropping_ = false;
    } else if (!dropping_) {
      held_ += c;
      if (held_.size() > kMaxLine) {
        out.push_back(Received{"overlong", quoteText(held_.substr(0, 64)) + "...", true, {}});
        held_.clear();
        dropping_ = true;
      }
    }
  }
  return out;
}

Received LineResponder::respond(std::string_view text) const {
  Received r;
  r.detail = quoteText(text);
  if (text == "RAVIZ C") {
    r.kind = "learn";
    for (char c : options_.learnPrefix) r.replies.push_back({0, line(std::string("R") + c)});
    const std::string answer = options_.learnFail ? "RN" : "RG" + toHex(options_.learnCode);
    r.replies.push_back({options_.learnDelayMs, line(answer)});
  } else if (text.starts_with(kIrSendHead) && text.size() == kIrSendHead.size() + kIrSendDigits &&
             parseHex(text.substr(kIrSendHead.size()))) {
    r.kind = "irsend";
    const bool done = options_.sendReply == Bytes{'E'};
    r.replies.push_back(
        {options_.sendDelayMs, line(done ? "RE" : "ERROR " + toHex(options_.sendReply))});
  } else if (text == "RAVIZ D") {
    r.kind = "done";
    if (options_.answerD) r.replies.push_back({0, line("MOK")});
  } else {
    r.kind = "unknown";
  }
  return r;
}

}  // namespace kavro::sim
