// Fuzz target over the line protocol of one connection. Whatever the bytes and however they are
// cut: the same commands come out in the same order, a send holds exactly 58 hex digits, every
// answer is one of the protocol's refusals or nothing, a line ends at most one command, and a
// partial line is reported while one is held.
//
// Input: one byte choosing how the rest is cut into Feed calls, then the received bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "datafile/hex_text.h"
#include "server/line_session.h"

namespace {

using kavro::server::Exchange;
using kavro::server::LineSession;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

std::string Describe(const LineSession::Command& command) {
  if (command.kind == LineSession::Command::Kind::kAnswer) return "answer " + command.answer;
  return "run " + std::to_string(static_cast<int>(command.exchange.kind)) + " " +
         command.exchange.data;
}

void CheckCommand(const LineSession::Command& command) {
  if (command.kind == LineSession::Command::Kind::kAnswer) {
    Check(command.answer.empty() || command.answer == "ERROR unknown command\r\n" ||
              command.answer == "ERROR line too long\r\n",
          "an answer the protocol does not have");
    return;
  }
  const Exchange& exchange = command.exchange;
  Check(exchange.kind == Exchange::Kind::kSend || exchange.kind == Exchange::Kind::kLearn,
        "a request the protocol does not have");
  if (exchange.kind == Exchange::Kind::kLearn) {
    Check(exchange.data.empty(), "learn with data");
    return;
  }
  Check(exchange.data.size() == 58 && exchange.repeat == 1, "send of the wrong size");
  for (char c : exchange.data) Check(kavro::HexDigitValue(c) >= 0, "send with a non-hex digit");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::size_t step = 1 + data[0] % 64;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  LineSession whole;
  std::vector<std::string> at_once;
  for (const LineSession::Command& command : whole.Feed(bytes)) {
    CheckCommand(command);
    at_once.push_back(Describe(command));
  }

  // Pieces of 1, 2, ... step bytes, over again.
  LineSession cut;
  std::vector<std::string> in_pieces;
  for (std::size_t at = 0, n = 1; at < bytes.size(); at += n, n = n % step + 1)
    for (const LineSession::Command& command : cut.Feed(bytes.substr(at, n)))
      in_pieces.push_back(Describe(command));
  Check(in_pieces == at_once, "the commands depend on how the bytes were cut");

  // A line gives one command or one refusal; a line not ended yet at most its refusal.
  std::size_t lines = 0;
  for (char c : bytes) lines += c == '\n';
  const std::size_t tail = bytes.size() - (bytes.rfind('\n') + 1);
  Check(at_once.size() <= lines + (tail > 0 ? 1 : 0), "more commands than lines");
  Check(whole.HoldsPartialLine() == (tail > 0), "partial line not told");
  Check(cut.HoldsPartialLine() == whole.HoldsPartialLine(), "partial line depends on the cut");
  return 0;
}
