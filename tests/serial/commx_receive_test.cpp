// The receive side: events on the owner thread, their order, and nothing after closing.
#include <thread>

#include "tests/serial/comm_fixture.h"

namespace kavro::test {
namespace {

using std::chrono::milliseconds;

class ReceiveTest : public CommTest {
 protected:
  ReceiveTest() {
    comm.OnReceive = [this](TCustomCommX* sender, int32_t size) {
      EXPECT_EQ(std::this_thread::get_id(), owner);
      EXPECT_GT(size, 0);
      std::string bytes(static_cast<size_t>(size), '\0');
      EXPECT_EQ(sender->ReceiveBlock(reinterpret_cast<uint8_t*>(bytes.data()), size), size);
      received += bytes;
      events.push_back("receive " + bytes);
    };
    comm.OnBreak = [this](TCustomCommX* sender) {
      EXPECT_EQ(std::this_thread::get_id(), owner);
      EXPECT_EQ(sender, &comm);
      events.push_back("break");
    };
    comm.OnError = [this](TCustomCommX*, uint32_t flags) {
      EXPECT_EQ(std::this_thread::get_id(), owner);
      events.push_back("error " + std::to_string(flags));
    };
  }

  bool RunUntilReceived(size_t count) {
    return dispatcher.RunUntil([&] { return received.size() >= count; }, milliseconds(5000));
  }

  const std::thread::id owner = std::this_thread::get_id();
  std::string received;
  std::vector<std::string> events;
};

TEST_F(ReceiveTest, ArrivalsComeAsOnReceiveOnTheOwnerThreadWithTheirCount) {
  comm.PortOpen();
  device.Write("hello");
  ASSERT_TRUE(RunUntilReceived(5));
  EXPECT_EQ(received, "hello");
  EXPECT_EQ(comm.GetReceiveLength(), 0);

  device.Write(std::string("\xff\x00\x7f", 3));  // bytes that mean something to the marking
  ASSERT_TRUE(RunUntilReceived(8));
  EXPECT_EQ(received.substr(5), std::string("\xff\x00\x7f", 3));
  for (const std::string& e : events) EXPECT_EQ(e.rfind("receive", 0), 0u) << e;
}

TEST_F(ReceiveTest, ANoticeFindingTheBytesAlreadyReadFiresNothing) {
  comm.PortOpen();
  device.Write("abc");
  ASSERT_TRUE(dispatcher.WaitUntilPending(1, milliseconds(5000)));
  uint8_t buf[3];
  EXPECT_EQ(comm.ReceiveBlock(buf, 3), 3);
  EXPECT_EQ(std::string(buf, buf + 3), "abc");
  dispatcher.ProcessPending();
  EXPECT_TRUE(events.empty());
}

TEST_F(ReceiveTest, OneWakeGivesTheErrorThenTheBreakThenTheArrival) {
  auto seam = Seam();
  comm.PortOpen();
  // A break, then 'X' with a framing error (no parity is checked), then plain bytes and a 0xFF,
  // as the driver marks them.
  seam->InjectInput(std::string("\377\0\0\377\0Xab\377\377", 10));
  ASSERT_TRUE(RunUntilReceived(4));
  EXPECT_EQ(events, (std::vector<std::string>{"error 8", "break", "receive Xab\xff"}));
}

TEST_F(ReceiveTest, LineErrorsFromTheDriversCountersComeBeforeTheArrivalsOfTheirWake) {
  auto seam = Seam();
  comm.PortOpen();
  seam->InjectLineErrors(kCommErrParity);
  seam->InjectInput("q");
  ASSERT_TRUE(RunUntilReceived(1));
  seam->InjectLineErrors(kCommErrOverrun);
  seam->InjectInput("r");
  ASSERT_TRUE(RunUntilReceived(2));
  EXPECT_EQ(events, (std::vector<std::string>{"error 4", "receive q", "error 2", "receive r"}));
}

TEST_F(ReceiveTest, NoEventRunsAfterPortCloseEvenForNoticesAlreadyOnTheirWay) {
  auto seam = Seam();
  comm.PortOpen();
  seam->InjectInput(std::string("\377\0\0", 3) + "late");
  ASSERT_TRUE(dispatcher.WaitUntilPending(1, milliseconds(5000)));
  comm.PortClose();
  dispatcher.ProcessPending();
  EXPECT_TRUE(events.empty());

  // Not after a reopen either: the old notices belong to the old opening.
  comm.PortOpen();
  dispatcher.RunFor(milliseconds(20));
  EXPECT_TRUE(events.empty());
}

TEST_F(ReceiveTest, AHandlerMayCloseThePortWhileTheReceiveThreadWaitsForIt) {
  const int threadsBefore = ThreadBaseline();
  comm.OnReceive = [](TCustomCommX* sender, int32_t) { sender->PortClose(); };
  comm.PortOpen();
  device.Write("x");
  ASSERT_TRUE(dispatcher.RunUntil([&] { return comm.Handle() == 0xFFFFFFFF; }, milliseconds(5000)));
  EXPECT_EQ(ThreadCount(), threadsBefore);
  comm.PortOpen();
}

// The receive thread waits for the handler and reads nothing meanwhile; a handler that asks for
// more than has come must still get the bytes that come while it waits.
TEST_F(CommTest, AHandlerWaitingForMoreBytesGetsThemAsTheyCome) {
  comm.SetTimeOutReceive(10000);
  std::string got;
  std::thread writer;
  comm.OnReceive = [&](TCustomCommX* sender, int32_t) {
    if (!got.empty()) return;
    writer = std::thread([&] { device.Write("bcd"); });
    uint8_t buf[4];
    const int32_t n = sender->ReceiveBlock(buf, 4);
    got.assign(buf, buf + std::max(n, 0));
  };
  comm.PortOpen();
  device.Write("a");
  ASSERT_TRUE(dispatcher.RunUntil([&] { return !got.empty(); }, milliseconds(20000)));
  writer.join();
  EXPECT_EQ(got, "abcd");
}

TEST_F(CommTest, ReceiveBlockWaitsForTheRestUntilTheTimeOutAndReceiveCharTakesOneByte) {
  comm.SetTimeOutReceive(5000);
  comm.SetBufLenReceive(64);  // the receive thread stops and starts again as the queue fills
  comm.PortOpen();
  std::string data(10000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 % 256);
  std::thread writer([&] { device.Write(data); });
  std::string got(data.size(), '\0');
  EXPECT_EQ(
      comm.ReceiveBlock(reinterpret_cast<uint8_t*>(got.data()), static_cast<int32_t>(got.size())),
      static_cast<int32_t>(data.size()));
  writer.join();
  EXPECT_EQ(got, data);

  comm.SetTimeOutReceive(1);
  EXPECT_EQ(comm.ReceiveChar(), -1);  // nothing came within the time-out
  device.Write("\xfe");
  comm.SetTimeOutReceive(5000);
  EXPECT_EQ(comm.ReceiveChar(), 0xFE);
}

}  // namespace
}  // namespace kavro::test
