#include "server/line_session.h"

#include <algorithm>

#include "datafile/hex_text.h"
#include "datafile/signal_block.h"

namespace kavro::server {
namespace {

constexpr std::string_view kLearnLine = "RAVIZ C";
constexpr std::string_view kSendHead = "RAVIZ S53";
constexpr std::string_view kDoneLine = "RAVIZ D";

}  // namespace

std::vector<LineSession::Command> LineSession::Feed(std::string_view bytes) {
  std::vector<Command> out;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (!dropping_) {
      // The CR of a CR LF line end is no part of the line's length.
      const bool cr_last =
          piece.empty() ? (!held_.empty() && held_.back() == '\r') : piece.back() == '\r';
      if (held_.size() + piece.size() > kMaxLine + (cr_last ? 1 : 0)) {
        out.push_back({Command::Kind::kAnswer, {}, ErrorLine("line too long")});
        held_.clear();
        dropping_ = true;
      } else {
        held_.append(piece);
      }
    }
    if (end == std::string_view::npos) break;
    if (!dropping_) {
      std::string_view line(held_);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      out.push_back(Parse(line));
    }
    held_.clear();
    dropping_ = false;
    bytes.remove_prefix(end + 1);
  }
  return out;
}

LineSession::Command LineSession::Parse(std::string_view line) {
  Command command;
  if (line == kLearnLine) {
    command.kind = Command::Kind::kRun;
    command.exchange.kind = Exchange::Kind::kLearn;
  } else if (line.starts_with(kSendHead) && IsFullDataText(line.substr(kSendHead.size()))) {
    command.kind = Command::Kind::kRun;
    command.exchange.kind = Exchange::Kind::kSend;
    command.exchange.data = std::string(line.substr(kSendHead.size()));
  } else if (line == kDoneLine) {
    command.kind = Command::Kind::kAnswer;  // nothing to say
  } else {
    command.answer = ErrorLine("unknown command");
  }
  return command;
}

std::string LineSession::AnswerLine(Exchange::Kind kind, const Result& result) {
  switch (result.kind) {
    case Result::Kind::kLearned: return "RG" + result.data + "\r\n";
    case Result::Kind::kLearnFailed: return "RN\r\n";
    case Result::Kind::kDone: return kind == Exchange::Kind::kSend ? "RE\r\n" : "";
    default: return ErrorLine(FailureText(result));
  }
}

std::string LineSession::ErrorLine(std::string_view reason) {
  std::string line = "ERROR ";
  line.append(reason);
  line += "\r\n";
  return line;
}

}  // namespace kavro::server
