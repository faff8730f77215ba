// Opening, closing and configuring the port, and every failure message.
#include <sys/ioctl.h>

#include "tests/serial/comm_fixture.h"

// The kernel's termios with free bit rates, to read back a rate without a B constant.
struct termios2 {
  tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed, c_ospeed;
};

namespace kavro::test {
namespace {

constexpr uint32_t kClosed = 0xFFFFFFFF;

TEST_F(CommTest, OpensClosesAndReopensLeavingNoThreadBehind) {
  const int threadsBefore = ThreadBaseline();
  for (int round = 0; round < 3; ++round) {
    comm.PortOpen();
    EXPECT_NE(comm.Handle(), kClosed);
    EXPECT_TRUE(Send("round" + std::to_string(round)));
    EXPECT_EQ(device.Read(6), "round" + std::to_string(round));
    comm.PortClose();
    EXPECT_EQ(comm.Handle(), kClosed);
    EXPECT_EQ(ThreadCount(), threadsBefore);
  }
  comm.PortClose();  // closing a closed port does nothing

  {
    TCommX other(dispatcher);
    PortTable::Set(2, device.path());
    other.SetPortNo(2);
    other.PortOpen();
  }  // destroyed while open
  EXPECT_EQ(ThreadCount(), threadsBefore);
  comm.PortOpen();  // the device was given back
}

TEST_F(CommTest, AppliesTheDefaultsToTheDeviceAndRestoresItsSettingsOnClose) {
  const termios before = SlaveSettings();
  comm.PortOpen();
  const termios t = SlaveSettings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_FALSE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(t.c_cflag & CREAD);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));  // raw: no echo, no line buffering
  EXPECT_FALSE(t.c_oflag & OPOST);
  EXPECT_FALSE(t.c_iflag & (ICRNL | IXON | ISTRIP | IGNBRK | BRKINT | IGNPAR));
  EXPECT_TRUE(t.c_iflag & INPCK);
  EXPECT_TRUE(t.c_iflag & PARMRK);

  comm.PortClose();
  const termios after = SlaveSettings();
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
}

TEST_F(CommTest, PropertyWritesAreStoredWhileClosedAndAppliedWhileOpen) {
  comm.SetBitRate(19200);
  comm.SetStopBit(csb2);
  EXPECT_EQ(comm.BitRate(), 19200);
  EXPECT_FALSE(SlaveSettings().c_cflag & CSTOPB);  // closed: only stored
  comm.PortOpen();
  EXPECT_EQ(SlaveSpeed(), static_cast<speed_t>(B19200));
  EXPECT_TRUE(SlaveSettings().c_cflag & CSTOPB);

  comm.SetStopBit(csb1);
  EXPECT_FALSE(SlaveSettings().c_cflag & CSTOPB);
  comm.SetXonChar('A');
  comm.SetXoffChar('B');
  comm.SetFlowCtrl(cfcXonXoff);
  termios t = SlaveSettings();
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 'A');
  EXPECT_EQ(t.c_cc[VSTOP], 'B');
  comm.SetFlowCtrl(cfcNone);
  t = SlaveSettings();
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & IXON);

  // A rate without a standard constant goes through the free-rate call.
  comm.SetBitRate(250000);
  termios2 t2{};
  ASSERT_EQ(ioctl(device.slave(), TCGETS2, &t2), 0);
  EXPECT_EQ(t2.c_ospeed, 250000u);

  // Values beyond the enumerations are kept but never applied, and raise nothing.
  const tcflag_t cflag = SlaveSettings().c_cflag;
  comm.SetParityBit(static_cast<TCommParityBits>(7));
  comm.SetStopBit(static_cast<TCommStopBits>(9));
  EXPECT_EQ(comm.ParityBit(), 7);
  EXPECT_EQ(comm.StopBit(), 9);
  EXPECT_EQ(SlaveSettings().c_cflag, cflag);
}

// A pseudo-terminal has eight data bits and no parity, whatever it is asked: a setting that
// does not take is reported, not passed over.
TEST_F(CommTest, SettingsTheDeviceCannotTakeRaiseTheSettersMessage) {
  comm.PortOpen();
  EXPECT_COMM_ERROR(comm.SetCharSize(7), comm_msg::kCharSize);
  EXPECT_EQ(comm.CharSize(), 7);
  comm.SetCharSize(8);
  EXPECT_COMM_ERROR(comm.SetParityBit(cpbEven), comm_msg::kParity);
  comm.SetParityBit(cpbNone);
  EXPECT_TRUE(Send("fine"));
  EXPECT_EQ(device.Read(4), "fine");
}

TEST_F(CommTest, WritingPortNoReopensAnOpenPortOnTheNewDevice) {
  PtyDevice second;
  PortTable::Set(2, second.path());
  comm.SetPortNo(2);  // closed: only stored
  EXPECT_EQ(comm.Handle(), kClosed);
  comm.SetPortNo(1);
  comm.PortOpen();
  comm.SetPortNo(2);
  EXPECT_NE(comm.Handle(), kClosed);
  EXPECT_TRUE(Send("two"));
  EXPECT_EQ(second.Read(3), "two");
  // The first device is free again.
  TCommX other(dispatcher);
  other.PortOpen();
}

TEST_F(CommTest, ASecondOpenIsRefusedAndTheFirstKeepsWorking) {
  comm.PortOpen();
  const uint32_t handle = comm.Handle();
  EXPECT_COMM_ERROR(comm.PortOpen(), comm_msg::kAlreadyOpen);
  EXPECT_EQ(comm.Handle(), handle);

  TCommX other(dispatcher);
  EXPECT_COMM_ERROR(other.PortOpen(), comm_msg::kOpenFailed);
  EXPECT_EQ(other.Handle(), kClosed);

  EXPECT_TRUE(Send("still"));
  EXPECT_EQ(device.Read(5), "still");
}

TEST_F(CommTest, OpeningFailsWithTheOpenMessageThePortAndTheReason) {
  const std::string tooLong = "/dev/" + std::string(5000, 'x');
  const struct {
    std::string path;
    std::string detail;
  } cases[] = {
      {"/nonexistent/ttyX", "COM7 (/nonexistent/ttyX): No such file or directory"},
      {"/dev/null", "COM7 (/dev/null): not a serial device"},
      {tooLong, "COM7 (" + tooLong + "): device name too long"},
      {"", "COM7: no device stands for this port"},
  };
  for (const auto& c : cases) {
    PortTable::Set(7, c.path);
    comm.SetPortNo(7);
    try {
      comm.PortOpen();
      ADD_FAILURE() << c.path << " opened";
    } catch (const ECommError& e) {
      EXPECT_EQ(e.Message(), comm_msg::kOpenFailed);
      EXPECT_EQ(e.Detail(), c.detail);
      EXPECT_EQ(std::string(e.what()), std::string(comm_msg::kOpenFailed) + ": " + c.detail);
    }
    EXPECT_EQ(comm.Handle(), kClosed);
  }
  comm.SetPortNo(0);  // no device stands for port 0
  EXPECT_COMM_ERROR(comm.PortOpen(), comm_msg::kOpenFailed);
}

// Each failing step of PortOpen raises its message and leaves the port closed and reusable.
TEST_F(CommTest, AFailedConfigurationClosesThePortAgain) {
  const int threadsBefore = ThreadBaseline();
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* message;
  };
  auto seam = Seam();
  const std::vector<Case> cases = {
      {"queue sizes refused", [&] { seam->failQueueSizes = true; }, comm_msg::kBufferLength},
      {"empty transmit blocks", [&] { comm.SetBufLenTrans(0); }, comm_msg::kBufferLength},
      {"negative input queue", [&] { comm.SetBufLenReceive(-1); }, comm_msg::kBufferLength},
      {"line settings refused", [&] { seam->failConfigure = true; }, comm_msg::kBitRate},
      {"data bits out of range", [&] { comm.SetCharSize(9); }, comm_msg::kCharSize},
      {"time-outs refused", [&] { seam->failTimeouts = true; }, comm_msg::kTimeOut},
      {"bit rate below 10", [&] { comm.SetBitRate(5); }, comm_msg::kTransThread},
      {"no transmit waker", [&] { seam->failWaker = 1; }, comm_msg::kTransThread},
      {"no receive waker", [&] { seam->failWaker = 2; }, comm_msg::kReceiveThread},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    EXPECT_COMM_ERROR(comm.PortOpen(), c.message);
    EXPECT_EQ(comm.Handle(), kClosed);
    EXPECT_EQ(ThreadCount(), threadsBefore);
    EXPECT_FALSE(Send("x"));

    // Undo the fault: a good port opens again.
    seam->failQueueSizes = seam->failConfigure = seam->failTimeouts = false;
    seam->failWaker = 0;
    comm.SetBufLenTrans(2048);
    comm.SetBufLenReceive(2048);
    comm.SetCharSize(8);
    comm.SetBitRate(9600);
    comm.PortOpen();
    EXPECT_TRUE(Send("ok"));
    EXPECT_EQ(device.Read(2), "ok");
    comm.PortClose();
  }
}

// A setter that the device refuses while open raises its own message; the value stays stored.
TEST_F(CommTest, EachSetterRaisesItsOwnMessageWhenTheDeviceRefuses) {
  auto seam = Seam();
  comm.PortOpen();
  seam->failConfigure = true;
  EXPECT_COMM_ERROR(comm.SetBitRate(4800), comm_msg::kBitRate);
  EXPECT_EQ(comm.BitRate(), 4800);
  EXPECT_COMM_ERROR(comm.SetCharSize(7), comm_msg::kCharSize);
  EXPECT_COMM_ERROR(comm.SetParityBit(cpbEven), comm_msg::kParity);
  EXPECT_COMM_ERROR(comm.SetStopBit(csb2), comm_msg::kStopBits);
  EXPECT_COMM_ERROR(comm.SetFlowCtrl(cfcNone), comm_msg::kFlowCtrl);
  EXPECT_COMM_ERROR(comm.SetXonChar('Q'), comm_msg::kXonChar);
  EXPECT_COMM_ERROR(comm.SetXoffChar('S'), comm_msg::kXoffChar);
  // The input queue size is applied, then the flow control again.
  EXPECT_COMM_ERROR(comm.SetBufLenReceive(1024), comm_msg::kFlowCtrl);
  seam->failConfigure = false;

  seam->failTimeouts = true;
  EXPECT_COMM_ERROR(comm.SetTimeOutTrans(100), comm_msg::kTimeOut);
  EXPECT_COMM_ERROR(comm.SetTimeOutReceive(100), comm_msg::kTimeOut);
  seam->failTimeouts = false;

  seam->failQueueSizes = true;
  EXPECT_COMM_ERROR(comm.SetBufLenTrans(512), comm_msg::kBufferLength);
  seam->failQueueSizes = false;
  EXPECT_EQ(comm.BufLenTrans(), 512);

  EXPECT_TRUE(Send("alive"));
  EXPECT_EQ(device.Read(5), "alive");
}

// Values that would divide by zero or never advance are refused, never used.
TEST_F(CommTest, RefusesBitRatesBelowTenAndEmptyTransmitBlocksWhileOpen) {
  comm.SetFlowCtrl(cfcHalfHigh);
  std::vector<int32_t> pauses;
  comm.SetPauseFunction([&](int32_t ms) { pauses.push_back(ms); });
  comm.PortOpen();
  EXPECT_COMM_ERROR(comm.SetBitRate(5), comm_msg::kBitRate);
  EXPECT_COMM_ERROR(comm.SetBitRate(0), comm_msg::kBitRate);
  EXPECT_COMM_ERROR(comm.SetBitRate(-9600), comm_msg::kBitRate);
  EXPECT_EQ(SlaveSpeed(), static_cast<speed_t>(B9600));
  EXPECT_TRUE(Send("a"));  // the character time is still that of 9600 bit/s
  EXPECT_EQ(device.Read(1), "a");
  EXPECT_TRUE(dispatcher.RunUntil([&] { return comm.GetTransBlockCount() == 0; },
                                  std::chrono::milliseconds(5000)));
  comm.PortClose();
  EXPECT_EQ(pauses, (std::vector<int32_t>{50, 2, 2}));

  comm.SetBitRate(9600);
  comm.PortOpen();
  EXPECT_COMM_ERROR(comm.SetBufLenTrans(0), comm_msg::kBufferLength);
  EXPECT_FALSE(Send("never"));
  EXPECT_EQ(comm.GetTransLength(), 0);
}

TEST_F(CommTest, AClosedPortQueuesNothingAndAnswersZero) {
  EXPECT_TRUE(comm.TransBlock(nullptr, 0));
  EXPECT_TRUE(comm.TransString(""));
  EXPECT_FALSE(Send("x"));
  EXPECT_FALSE(comm.TransChar('x'));
  uint8_t byte;
  EXPECT_EQ(comm.ReceiveBlock(&byte, 1), -1);
  EXPECT_EQ(comm.ReceiveChar(), -1);
  EXPECT_EQ(comm.GetTransLength(), 0);
  EXPECT_EQ(comm.GetReceiveLength(), 0);
  EXPECT_FALSE(comm.IsCtsSignal());
  comm.ClearTransBuf();
  comm.ClearReceiveBuf();
  comm.SendBreak();
  comm.SetRtsSignal(true);

  comm.PortOpen();
  EXPECT_FALSE(comm.TransBlock(reinterpret_cast<const uint8_t*>("x"), -1));
  EXPECT_EQ(comm.ReceiveBlock(nullptr, 1), -1);
  // A pseudo-terminal has no modem lines: the query answers false instead of failing.
  EXPECT_FALSE(comm.IsSignal(0xFFFFFFFF));
}

}  // namespace
}  // namespace kavro::test
