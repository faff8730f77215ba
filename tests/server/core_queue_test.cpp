// The one queue in front of the controller: order across clients, the bound on its depth,
// repeated sends, clients that go away and a controller that goes offline.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/request_queue.h"

namespace kavro::server {
namespace {

using Kind = Result::Kind;

std::string Answer(const std::string& tag, Kind kind = Kind::kDone) {
  return tag + ":" + std::to_string(static_cast<int>(kind));
}

// Answers as "tag:kind", in the order they came.
struct Answers {
  std::vector<std::string> got;
  RequestQueue::Reply For(std::string tag) {
    return [this, tag](const Result& result) { got.push_back(Answer(tag, result.kind)); };
  }
};

// Runs the head exchange and ends it with `result`; gives the data it ran with.
std::string RunOne(RequestQueue& queue, Result result = Result(Kind::kDone)) {
  const std::optional<Exchange> exchange = queue.StartNext();
  if (!exchange) return "<none>";
  queue.Finish(result);
  return exchange->data;
}

TEST(RequestQueue, FirstComeFirstServedAcrossClients) {
  RequestQueue queue(8);
  Answers answers;
  ASSERT_TRUE(queue.Push(1, Exchange::Send("a1"), answers.For("a1")));
  ASSERT_TRUE(queue.Push(2, Exchange::Send("b1"), answers.For("b1")));
  ASSERT_TRUE(queue.Push(1, Exchange::Send("a2"), answers.For("a2")));
  std::vector<std::string> ran;
  for (int i = 0; i < 3; ++i) ran.push_back(RunOne(queue));
  EXPECT_EQ(ran, (std::vector<std::string>{"a1", "b1", "a2"}));
  EXPECT_EQ(answers.got, (std::vector<std::string>{Answer("a1"), Answer("b1"), Answer("a2")}));
  EXPECT_FALSE(queue.StartNext());
}

TEST(RequestQueue, OneAtATimeAndTheLimitCountsTheRunningRequest) {
  RequestQueue queue(2);
  Answers answers;
  ASSERT_TRUE(queue.Push(1, Exchange::Send("a"), answers.For("a")));
  ASSERT_TRUE(queue.StartNext());
  EXPECT_FALSE(queue.StartNext());  // "a" is still on the line
  EXPECT_TRUE(queue.Push(2, Exchange::Send("b"), answers.For("b")));
  EXPECT_FALSE(queue.Push(3, Exchange::Send("c"), answers.For("c")));
  EXPECT_EQ(queue.Depth(), 2u);
  queue.Finish(Result(Kind::kDone));
  EXPECT_TRUE(queue.Push(3, Exchange::Send("c"), answers.For("c")));
  EXPECT_EQ(RunOne(queue), "b");
  EXPECT_EQ(RunOne(queue), "c");
  // The refused "c" was never answered.
  EXPECT_EQ(answers.got, (std::vector<std::string>{Answer("a"), Answer("b"), Answer("c")}));
}

TEST(RequestQueue, RepeatsRunInARowWithOneAnswerAndOneStart) {
  RequestQueue queue(8);
  Answers answers;
  int starts = 0;
  Exchange repeated = Exchange::Send("a", 3);
  repeated.on_start = [&starts] { ++starts; };
  ASSERT_TRUE(queue.Push(1, repeated, answers.For("a")));
  ASSERT_TRUE(queue.Push(2, Exchange::Send("b"), answers.For("b")));
  EXPECT_EQ(RunOne(queue), "a");
  EXPECT_EQ(RunOne(queue), "a");
  EXPECT_TRUE(answers.got.empty());
  EXPECT_EQ(RunOne(queue), "a");
  EXPECT_EQ(answers.got, std::vector<std::string>{Answer("a")});
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(RunOne(queue), "b");
}

TEST(RequestQueue, RepeatStopsAtTheFirstFailureWithThatAnswer) {
  RequestQueue queue(8);
  Answers answers;
  ASSERT_TRUE(queue.Push(1, Exchange::Send("a", 3), answers.For("a")));
  ASSERT_TRUE(queue.Push(2, Exchange::Send("b"), answers.For("b")));
  EXPECT_EQ(RunOne(queue), "a");
  EXPECT_EQ(RunOne(queue, Result(Kind::kTimeout)), "a");
  EXPECT_EQ(answers.got, std::vector<std::string>{Answer("a", Kind::kTimeout)});
  EXPECT_EQ(RunOne(queue), "b");
}

TEST(RequestQueue, DroppedClientLosesQueuedRequestsAndTheRunningAnswer) {
  RequestQueue queue(8);
  Answers answers;
  ASSERT_TRUE(queue.Push(1, Exchange::Send("a1", 3), answers.For("a1")));
  ASSERT_TRUE(queue.Push(2, Exchange::Send("b"), answers.For("b")));
  ASSERT_TRUE(queue.Push(1, Exchange::Send("a2"), answers.For("a2")));
  ASSERT_TRUE(queue.StartNext());
  queue.DropClient(1);
  EXPECT_TRUE(queue.Running());
  EXPECT_EQ(queue.Depth(), 2u);  // the running "a1" and "b"
  queue.Finish(Result(Kind::kDone));
  // "a1" gave up its other repeats; "a2" is gone.
  EXPECT_EQ(RunOne(queue), "b");
  EXPECT_FALSE(queue.StartNext());
  EXPECT_EQ(answers.got, std::vector<std::string>{Answer("b")});
}

TEST(RequestQueue, FailQueuedAnswersTheWaitingButNotTheRunning) {
  RequestQueue queue(8);
  Answers answers;
  ASSERT_TRUE(queue.Push(1, Exchange::Send("a"), answers.For("a")));
  ASSERT_TRUE(queue.Push(2, Exchange::Send("b"), answers.For("b")));
  ASSERT_TRUE(queue.Push(3, Exchange::Learn(), answers.For("c")));
  ASSERT_TRUE(queue.StartNext());
  queue.FailQueued(Result(Kind::kOffline));
  EXPECT_EQ(answers.got,
            (std::vector<std::string>{Answer("b", Kind::kOffline), Answer("c", Kind::kOffline)}));
  EXPECT_EQ(queue.Depth(), 1u);
  queue.Finish(Result(Kind::kDone));
  EXPECT_EQ(answers.got.back(), Answer("a"));
  EXPECT_FALSE(queue.StartNext());
}

TEST(RequestQueue, AReplyMayQueueTheNextRequest) {
  RequestQueue queue(1);
  Answers answers;
  ASSERT_TRUE(queue.Push(1, Exchange::Send("a"), [&](const Result&) {
    EXPECT_TRUE(queue.Push(1, Exchange::Send("b"), answers.For("b")));
  }));
  EXPECT_EQ(RunOne(queue), "a");
  EXPECT_EQ(RunOne(queue), "b");
  EXPECT_EQ(answers.got, std::vector<std::string>{Answer("b")});
}

}  // namespace
}  // namespace kavro::server
