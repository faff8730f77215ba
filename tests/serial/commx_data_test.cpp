// Data integrity both ways, and a device that goes away under an open port.
#include <random>
#include <thread>

#include "tests/serial/comm_fixture.h"

namespace kavro::test {
namespace {

using std::chrono::milliseconds;

// Random blocks of random sizes, rich in 0xFF (the byte the error marking doubles).
std::vector<std::string> RandomBlocks(unsigned seed, int count) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> size(1, 3000), byte(0, 255), pick(0, 3);
  std::vector<std::string> blocks;
  for (int i = 0; i < count; ++i) {
    std::string block(static_cast<size_t>(size(random)), '\0');
    for (char& c : block) c = static_cast<char>(pick(random) == 0 ? 0xFF : byte(random));
    blocks.push_back(std::move(block));
  }
  return blocks;
}

std::string Joined(const std::vector<std::string>& blocks) {
  std::string all;
  for (const std::string& b : blocks) all += b;
  return all;
}

TEST_F(CommTest, RandomBlocksKeepTheirOrderAndCountBothWays) {
  comm.SetBufLenTrans(1000);  // blocks of the caller cut across the component's blocks
  comm.PortOpen();

  const std::vector<std::string> out = RandomBlocks(1, 200);
  const std::string expectedOut = Joined(out);
  std::string gotOut;
  std::thread reader([&] { gotOut = device.Read(expectedOut.size()); });
  for (const std::string& block : out) ASSERT_TRUE(Send(block));
  reader.join();
  EXPECT_EQ(gotOut.size(), expectedOut.size());
  EXPECT_TRUE(gotOut == expectedOut);

  const std::vector<std::string> in = RandomBlocks(2, 200);
  const std::string expectedIn = Joined(in);
  std::string gotIn;
  comm.OnReceive = [&](TCustomCommX* sender, int32_t size) {
    std::string bytes(static_cast<size_t>(size), '\0');
    ASSERT_EQ(sender->ReceiveBlock(reinterpret_cast<uint8_t*>(bytes.data()), size), size);
    gotIn += bytes;
  };
  std::thread writer([&] {
    for (const std::string& block : in) device.Write(block);
  });
  EXPECT_TRUE(
      dispatcher.RunUntil([&] { return gotIn.size() >= expectedIn.size(); }, milliseconds(10000)));
  writer.join();
  EXPECT_EQ(gotIn.size(), expectedIn.size());
  EXPECT_TRUE(gotIn == expectedIn);
}

// The other end goes away (as an unplugged adapter does): one port idle, one with a write
// stalled and more blocks queued. Neither hangs nor spins; each reports once and closes.
TEST(DeviceGone, NoHangNoSpinReportedOnceAndBothThreadsJoined) {
  const int threadsBefore = ThreadBaseline();
  PtyDevice idleDevice, busyDevice;
  PortTable::Set(1, idleDevice.path());
  PortTable::Set(2, busyDevice.path());
  TestDispatcher dispatcher;
  TCommX idle(dispatcher), busy(dispatcher);
  busy.SetPortNo(2);
  busy.SetTimeOutTrans(0);
  int idleGone = 0, busyGone = 0;
  idle.OnError = [&](TCustomCommX*, uint32_t flags) { idleGone += flags == kCommErrDeviceGone; };
  busy.OnError = [&](TCustomCommX*, uint32_t flags) { busyGone += flags == kCommErrDeviceGone; };
  idle.PortOpen();
  busy.PortOpen();
  const std::string lots(20000, 'q');  // more than the device takes: a write stalls
  ASSERT_TRUE(busy.TransBlock(reinterpret_cast<const uint8_t*>(lots.data()), 20000));
  ASSERT_GT(busy.GetTransLength(), 0);

  idleDevice.CloseMaster();
  busyDevice.CloseMaster();
  ASSERT_TRUE(
      dispatcher.RunUntil([&] { return idleGone == 1 && busyGone == 1; }, milliseconds(5000)));
  // Writes to a device that is gone are dropped, not retried.
  EXPECT_TRUE(dispatcher.RunUntil([&] { return busy.GetTransLength() == 0; }, milliseconds(5000)));
  EXPECT_TRUE(busy.TransString("more"));

  const auto cpuBefore = ProcessCpuTime();
  std::this_thread::sleep_for(milliseconds(1000));
  dispatcher.ProcessPending();
  const auto cpuUsed = ProcessCpuTime() - cpuBefore;
  EXPECT_LT(cpuUsed, milliseconds(100)) << "threads kept running on a vanished device";
  EXPECT_EQ(idleGone, 1);
  EXPECT_EQ(busyGone, 1);

  idle.PortClose();
  busy.PortClose();
  EXPECT_EQ(ThreadCount(), threadsBefore);
  PortTable::Clear();
}

}  // namespace
}  // namespace kavro::test
