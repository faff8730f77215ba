// The line protocol of one connection: which lines become requests, which are refused, lines
// that come in pieces or never end, and the answer line of every kind of result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "server/line_session.h"

namespace kavro::server {
namespace {

const std::string kData = "6020000200430088B00200028000000000000020DF10EF000000000000";
const std::string kUnknown = "ERROR unknown command\r\n";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// "learn", "send <data>", "silent" (a line that needs no answer) or the answer line.
std::string Describe(const LineSession::Command& command) {
  if (command.kind == LineSession::Command::Kind::kAnswer)
    return command.answer.empty() ? "silent" : command.answer;
  if (command.exchange.kind == Exchange::Kind::kLearn) return "learn";
  if (command.exchange.kind == Exchange::Kind::kSend)
    return "send " + command.exchange.data + " x" + std::to_string(command.exchange.repeat);
  return "other";
}

std::vector<std::string> FeedAll(LineSession& session, const std::vector<std::string>& pieces) {
  std::vector<std::string> out;
  for (const std::string& piece : pieces)
    for (const LineSession::Command& command : session.Feed(piece))
      out.push_back(Describe(command));
  return out;
}

struct LineCase {
  const char* name;
  std::vector<std::string> pieces;
  std::vector<std::string> expected;
};

const std::string kSend = "send " + kData + " x1";

const LineCase kLineCases[] = {
    {"Learn", {"RAVIZ C\r\n"}, {"learn"}},
    {"SendUpperCase", {"RAVIZ S53" + kData + "\r\n"}, {kSend}},
    {"SendLowerCase", {"RAVIZ S53" + Lower(kData) + "\r\n"}, {"send " + Lower(kData) + " x1"}},
    {"Send57Digits", {"RAVIZ S53" + kData.substr(1) + "\r\n"}, {kUnknown}},
    {"Send59Digits", {"RAVIZ S53" + kData + "0\r\n"}, {kUnknown}},
    {"SendNonHexDigit", {"RAVIZ S53" + kData.substr(0, 57) + "G\r\n"}, {kUnknown}},
    {"StoredIsSilent", {"RAVIZ D\r\n"}, {"silent"}},
    {"LfWithoutCr", {"RAVIZ C\n"}, {"learn"}},
    {"LowerCaseCommand", {"raviz c\r\n"}, {kUnknown}},
    {"TrailingBlank", {"RAVIZ C \r\n"}, {kUnknown}},
    {"CutAcrossFeeds",
     {"RAV", "IZ S53" + kData.substr(0, 20), kData.substr(20) + "\r", "\n"},
     {kSend}},
    {"SeveralLinesInOneFeed", {"RAVIZ C\r\nRAVIZ D\r\nRAVIZ X\r\n"}, {"learn", "silent", kUnknown}},
    {"NothingUntilTheLineEnds", {"RAVIZ C\r"}, {}},
};

class LineTable : public testing::TestWithParam<LineCase> {};

TEST_P(LineTable, GivesCommandsInOrder) {
  LineSession session;
  EXPECT_EQ(FeedAll(session, GetParam().pieces), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, LineTable, testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LineSession, AHugeLineIsRefusedOnceAndTheNextLineWorks) {
  const std::string huge(1 << 20, 'A');
  for (const std::size_t chunk : {huge.size(), std::size_t{4096}}) {
    SCOPED_TRACE(chunk);
    LineSession session;
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < huge.size(); at += chunk)
      pieces.push_back(huge.substr(at, chunk));
    pieces.push_back("\r\nRAVIZ C\r\n");
    EXPECT_EQ(FeedAll(session, pieces),
              (std::vector<std::string>{"ERROR line too long\r\n", "learn"}));
    EXPECT_FALSE(session.HoldsPartialLine());
  }
}

TEST(LineSession, TheLimitIsKMaxLineBytesHeld) {
  const std::string full(LineSession::kMaxLine, 'A');
  LineSession session;
  EXPECT_TRUE(FeedAll(session, {full}).empty());
  EXPECT_TRUE(session.HoldsPartialLine());
  // One byte more is refused at once, before the line ends: it is never held.
  EXPECT_EQ(FeedAll(session, {"A"}), std::vector<std::string>{"ERROR line too long\r\n"});
  EXPECT_TRUE(FeedAll(session, {"AAAA\n"}).empty());
  EXPECT_EQ(FeedAll(session, {full + "\n"}), std::vector<std::string>{kUnknown});
  // A CR LF line end, also cut between its two bytes, does not count against the limit.
  EXPECT_EQ(FeedAll(session, {full + "\r", "\n"}), std::vector<std::string>{kUnknown});
  EXPECT_EQ(FeedAll(session, {full + "\rA\n"}),
            (std::vector<std::string>{"ERROR line too long\r\n"}));
}

TEST(LineSession, AnswerLines) {
  using K = Result::Kind;
  const struct {
    Exchange::Kind kind;
    Result result;
    std::string line;
  } cases[] = {
      {Exchange::Kind::kSend, Result(K::kDone), "RE\r\n"},
      {Exchange::Kind::kLearn, Result(K::kLearned, -1, kData), "RG" + kData + "\r\n"},
      {Exchange::Kind::kLearn, Result(K::kLearnFailed), "RN\r\n"},
      {Exchange::Kind::kSend, Result(K::kControllerError, 0x4E), "ERROR controller error 0x4E\r\n"},
      {Exchange::Kind::kLearn, Result(K::kTimeout), "ERROR time-out\r\n"},
      {Exchange::Kind::kSend, Result(K::kOffline), "ERROR controller offline\r\n"},
      {Exchange::Kind::kSend, Result(K::kRefused, -1, "", "bad data text"),
       "ERROR bad data text\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(LineSession::AnswerLine(c.kind, c.result), c.line);
  }
}

}  // namespace
}  // namespace kavro::server
