// The transmit side: blocks, the queue bound, discarding, the half-duplex switch and breaks.
#include <algorithm>
#include <future>
#include <thread>

#include "tests/serial/comm_fixture.h"

namespace kavro::test {
namespace {

using std::chrono::milliseconds;

std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return s;
}

bool AllSent(PlainDispatcher& dispatcher, TCommX& comm) {
  return dispatcher.RunUntil([&] { return comm.GetTransBlockCount() == 0; }, milliseconds(5000));
}

TEST_F(CommTest, SendsInBlocksOfBufLenTransInOrderFromACopyOfTheCallersBytes) {
  Seam()->SetTrace([&](const std::string& entry) { log.Add(entry); });
  comm.PortOpen();
  const std::string data = Pattern(5000);
  std::string buffer = data;
  EXPECT_TRUE(Send(buffer));
  std::fill(buffer.begin(), buffer.end(), 'z');  // reusable at once
  EXPECT_EQ(device.Read(data.size()), data);
  ASSERT_TRUE(AllSent(dispatcher, comm));
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"write 2048", "write 2048", "write 904"}));
  EXPECT_EQ(comm.GetTransLength(), 0);
}

class StalledReaderTest : public CommTest {
 protected:
  StalledReaderTest() {
    comm.SetBufLenTrans(256);
    comm.SetTimeOutTrans(0);  // a stalled write waits for good
    comm.PortOpen();
  }
  // More than the pseudo-terminal holds (about 12 KB) plus 32 blocks.
  const std::string data = Pattern(64 * 1024);
};

TEST_F(StalledReaderTest, AtMost32BlocksWaitAndTheCallerServesItsEventsMeanwhile) {
  bool returned = false;
  bool ranInsideTheWait = false;
  std::string got;
  std::thread reader;
  dispatcher.Post([&] {
    ranInsideTheWait = !returned;
    EXPECT_GT(comm.GetTransBlockCount(), 0);
    EXPECT_LE(comm.GetTransBlockCount(), 32);
    EXPECT_LE(comm.GetTransLength(), 32 * 256);
    reader = std::thread([&] { got = device.Read(data.size()); });
  });
  EXPECT_TRUE(Send(data));
  returned = true;
  EXPECT_TRUE(ranInsideTheWait);
  reader.join();
  EXPECT_EQ(got, data);
}

TEST_F(StalledReaderTest, AWaitingTransBlockGivesFalseWhenThePortClosesMeanwhile) {
  dispatcher.Post([&] { comm.PortClose(); });
  EXPECT_FALSE(Send(data));
  EXPECT_EQ(comm.Handle(), 0xFFFFFFFF);
}

TEST_F(StalledReaderTest, ClearTransBufFreesQueuedBlocksUnwrittenAndLeavesBothCountsAtZero) {
  // Feed the device until it stops taking bytes and blocks wait in the queue. How much a
  // pseudo-terminal holds varies, so no fixed amount is sure to stall it.
  std::string some;
  const std::string chunk(1024, 'a');
  while (some.size() < 64 * 1024) {
    EXPECT_TRUE(Send(chunk));
    some += chunk;
    dispatcher.RunFor(milliseconds(5));
    if (comm.GetTransBlockCount() > 0) break;
  }
  EXPECT_GT(comm.GetTransBlockCount(), 0);
  comm.ClearTransBuf();
  EXPECT_EQ(comm.GetTransLength(), 0);
  EXPECT_EQ(comm.GetTransBlockCount(), 0);

  EXPECT_TRUE(Send("END"));
  const std::string got = device.ReadUntil("END");
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ(got.substr(got.size() - 3), "END");
  EXPECT_LT(got.size() - 3, some.size());
  EXPECT_EQ(got.find_first_not_of('a'), got.size() - 3);
}

// The transmit thread reports a failed write's line errors and waits for the owner to handle
// them; ClearTransBuf, which does not serve the owner's events, must not wait for it for ever.
TEST_F(CommTest, ClearTransBufReturnsWhileTheTransmitThreadWaitsForAnErrorNotice) {
  comm.OnError = [&](TCustomCommX*, uint32_t flags) { log.Add("error " + std::to_string(flags)); };
  comm.OnReceive = [&](TCustomCommX* sender, int32_t size) {
    std::string bytes(static_cast<size_t>(size), '\0');
    sender->ReceiveBlock(reinterpret_cast<uint8_t*>(bytes.data()), size);
    log.Add("receive " + bytes);
  };
  auto seam = Seam();
  comm.PortOpen();
  seam->failWrites = true;
  seam->InjectLineErrors(kCommErrOverrun);
  EXPECT_TRUE(Send("lost"));
  ASSERT_TRUE(dispatcher.WaitUntilPending(1, milliseconds(5000)));

  comm.ClearTransBuf();
  EXPECT_EQ(comm.GetTransLength(), 0);

  // The notice is still delivered, and before anything reported after it.
  seam->InjectInput("z");
  ASSERT_TRUE(dispatcher.WaitUntilPending(2, milliseconds(5000)));
  dispatcher.ProcessPending();
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"error 2", "receive z"}));
}

class HalfDuplexTest : public CommTest {
 protected:
  ~HalfDuplexTest() override {
    Release();
    comm.PortClose();  // before the members the pauses use are gone
  }

  // Pauses go into the same log as the port's calls; the first one holds the transmit thread
  // until the test lets it go, so that two blocks can be queued into one burst.
  void Arrange(TCommFlowCtrls flow) {
    comm.SetFlowCtrl(flow);
    comm.SetPauseFunction([this](int32_t ms) {
      log.Add("pause " + std::to_string(ms));
      std::unique_lock lock(mutex);
      released.wait(lock, [this] { return go; });
    });
    Seam()->SetTrace([this](const std::string& entry) { log.Add(entry); });
    comm.PortOpen();
  }
  void Release() {
    {
      std::lock_guard lock(mutex);
      go = true;
    }
    released.notify_all();
  }
  // Two blocks queued back to back while the burst is starting.
  void SendTwoBlocks() {
    EXPECT_TRUE(Send("one"));
    ASSERT_TRUE(log.WaitFor("pause 50"));
    EXPECT_TRUE(Send("two"));
    Release();
    EXPECT_EQ(device.Read(6), "onetwo");
    ASSERT_TRUE(AllSent(dispatcher, comm));
  }

  std::mutex mutex;
  std::condition_variable released;
  bool go = false;
};

TEST_F(HalfDuplexTest, HalfHighRaisesRtsOnceBeforeABurstAndLowersItOnceAfter) {
  Arrange(cfcHalfHigh);
  SendTwoBlocks();
  ASSERT_TRUE(log.WaitFor("rts off"));
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"pause 50", "rts on", "pause 2", "write 3",
                                                     "write 3", "pause 2", "rts off"}));
}

TEST_F(HalfDuplexTest, HalfLowLowersRtsForABurstAndTheCharacterTimeFollowsTheBitRate) {
  Arrange(cfcHalfLow);
  comm.SetBitRate(19200);  // 1000 / 1920 + 1 = 1 ms
  SendTwoBlocks();
  ASSERT_TRUE(log.WaitFor("rts on"));
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"pause 50", "rts off", "pause 1", "write 3",
                                                     "write 3", "pause 1", "rts on"}));
}

TEST_F(HalfDuplexTest, OtherFlowControlsNeverTouchRts) {
  Release();
  for (TCommFlowCtrls flow : {cfcRtsCts, cfcDtrDsr, cfcXonXoff, cfcNone}) {
    SCOPED_TRACE(static_cast<int>(flow));
    Arrange(flow);
    EXPECT_TRUE(Send("data"));
    EXPECT_EQ(device.Read(4), "data");
    ASSERT_TRUE(AllSent(dispatcher, comm));
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{"write 4"}));
    comm.PortClose();
    log.Clear();
  }
}

TEST_F(HalfDuplexTest, SendBreakHoldsTheBreakFor300Ms) {
  Release();
  Arrange(cfcRtsCts);
  comm.SendBreak();
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"break on", "pause 300", "break off"}));
}

}  // namespace
}  // namespace kavro::test
