#include "serial/plain_dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace kavro {
namespace {

using std::chrono::milliseconds;

TEST(PlainDispatcher, RunsHandedOverCallsOnTheOwnerThreadInOrderWhileTheWorkerWaits) {
  PlainDispatcher dispatcher;
  auto gate = std::make_shared<HandOverGate>();
  const auto owner = std::this_thread::get_id();
  std::vector<int> order;
  std::atomic<int> returned{0};
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) {
      const bool ran = dispatcher.RunAndWait(gate, [&, i] {
        EXPECT_EQ(std::this_thread::get_id(), owner);
        order.push_back(i);
      });
      EXPECT_TRUE(ran);
      // The call has run to its end before the worker goes on.
      EXPECT_EQ(order.size(), static_cast<size_t>(i + 1));
      ++returned;
    }
  });
  EXPECT_TRUE(dispatcher.RunUntil([&] { return returned == 3; }, milliseconds(5000)));
  worker.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(PlainDispatcher, ClosingTheGateReleasesTheWorkerAndTheCallNeverRuns) {
  PlainDispatcher dispatcher;
  auto gate = std::make_shared<HandOverGate>();
  bool ran = false;
  auto result = std::async(std::launch::async,
                           [&] { return dispatcher.RunAndWait(gate, [&] { ran = true; }); });
  ASSERT_TRUE(dispatcher.WaitUntilPending(1, milliseconds(5000)));
  gate->Close();
  EXPECT_FALSE(result.get());
  dispatcher.ProcessPending();
  EXPECT_FALSE(ran);
  // A closed gate takes no new calls either.
  EXPECT_FALSE(std::async(std::launch::async, [&] {
                 return dispatcher.RunAndWait(gate, [&] { ran = true; });
               }).get());
  dispatcher.ProcessPending();
  EXPECT_FALSE(ran);
}

TEST(PlainDispatcher, AHandlerThatClosesTheGateDoesNotWaitForItsOwnWorker) {
  PlainDispatcher dispatcher;
  auto gate = std::make_shared<HandOverGate>();
  std::promise<bool> released;
  std::thread worker([&] {
    released.set_value(dispatcher.RunAndWait(gate, [&] {
      gate->Close();
      // The worker is free before the handler returns: a close that joins it cannot deadlock.
      auto status = released.get_future().wait_for(milliseconds(5000));
      EXPECT_EQ(status, std::future_status::ready);
    }));
  });
  dispatcher.RunUntil([&] { return gate->IsClosed(); }, milliseconds(5000));
  worker.join();
}

TEST(PlainDispatcher, GivingUpEndsTheWaitButTheCallStillRunsInItsTurn) {
  PlainDispatcher dispatcher;
  auto gate = std::make_shared<HandOverGate>();
  std::atomic<bool> giveUp{false};
  std::vector<int> order;
  auto first = std::async(std::launch::async, [&] {
    return dispatcher.RunAndWait(
        gate, [&] { order.push_back(1); }, [&] { return giveUp.load(); });
  });
  ASSERT_TRUE(dispatcher.WaitUntilPending(1, milliseconds(5000)));
  giveUp = true;
  gate->Wake();
  EXPECT_FALSE(first.get());
  auto second = std::async(
      std::launch::async, [&] { return dispatcher.RunAndWait(gate, [&] { order.push_back(2); }); });
  EXPECT_TRUE(dispatcher.RunUntil([&] { return order.size() == 2; }, milliseconds(5000)));
  EXPECT_TRUE(second.get());
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace kavro
