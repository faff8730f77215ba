// The link over TCP to the network IR server: the pending line, the longer time-outs, reply
// lines, the server closing the connection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/link/link_fixture.h"

namespace kavro::test {
namespace {

using Messages = std::vector<std::string>;
using Lines = std::vector<std::string>;

class TcpLinkTest : public LinkTest {
 protected:
  TcpLinkTest() { link.SetPortChoice(kTcpPort); }

  std::string SendLine(const Bytes& block) { return *FrameToLine(IrFrame(block)); }

  // Opens the connection with a send that is answered: the connection stands, the link idles.
  void OpenConnection() {
    Load(101, OneFrameBlock());
    link.Send(1);
    tcp.Connect();
    tcp.Deliver("RE\r\n");
    tcp.TakeSent();
    ui.Take();
  }
};

TEST_F(TcpLinkTest, FirstSendWaitsAsThePendingLineUntilConnected) {
  Load(101, OneFrameBlock());
  link.Send(1);
  EXPECT_EQ(ui.Take(), Messages{"Send(101)"});
  EXPECT_EQ(tcp.activations, 1);
  EXPECT_EQ(link.LinkPort(), kTcpPort);
  EXPECT_EQ(link.PendingLine(), SendLine(OneFrameBlock()));
  EXPECT_TRUE(link.TransmitPending());
  EXPECT_EQ(link.Countdown(), 120);
  EXPECT_TRUE(tcp.sent.empty());
  EXPECT_EQ(serial.opens, 0);

  tcp.Connect();
  EXPECT_EQ(tcp.TakeSent(), Lines{SendLine(OneFrameBlock())});
  EXPECT_EQ(link.PendingLine(), "");
  EXPECT_FALSE(link.TransmitPending());

  tcp.Deliver("RE\r\n");
  EXPECT_TRUE(ui.Take().empty());
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_FALSE(ticks.enabled);

  // On the open connection: sent at once, 10 + 20 ticks.
  link.Send(1);
  EXPECT_EQ(tcp.TakeSent(), Lines{SendLine(OneFrameBlock())});
  EXPECT_EQ(link.Countdown(), 30);
  EXPECT_EQ(tcp.activations, 1);
}

TEST_F(TcpLinkTest, LearnSendsRavizCAndAcknowledgesWithRavizD) {
  OpenConnection();
  link.LearnL1Click();
  link.Send(26);
  EXPECT_EQ(tcp.TakeSent(), Lines{"RAVIZ C\r\n"});
  EXPECT_EQ(link.Countdown(), 120);
  tcp.Deliver("RG" + BytesToHexText(OneFrameBlock()) + "\r\n");
  EXPECT_EQ(ui.Take(), (Messages{"Click Button!", "Push Controller!", "Learn OK!"}));
  EXPECT_EQ(codes.Data(126), BytesToHexText(OneFrameBlock()));
  EXPECT_EQ(codes.Comment(126), "P1 EXT 1");
  EXPECT_EQ(tcp.TakeSent(), Lines{"RAVIZ D\r\n"});
  EXPECT_EQ(link.State(), kIdle);
}

TEST_F(TcpLinkTest, LibraryLearnSendsNoRavizD) {
  OpenConnection();
  ASSERT_EQ(link.SetLearnMode(), kLearnStarted);
  tcp.TakeSent();
  tcp.Deliver("RG" + BytesToHexText(OneFrameBlock()) + "\r\n");
  EXPECT_EQ(ui.learn_data, std::vector<std::string>{BytesToHexText(OneFrameBlock())});
  EXPECT_TRUE(tcp.TakeSent().empty());
}

TEST_F(TcpLinkTest, LearnTimesOutAfter12Seconds) {
  OpenConnection();
  link.LearnL1Click();
  link.Send(1);
  ui.Take();
  ticks.Tick(119);
  EXPECT_TRUE(ui.Take().empty());
  ticks.Tick();
  EXPECT_EQ(ui.Take(), Messages{"RS232C timeout!"});
  EXPECT_FALSE(link.LearnMode());
  EXPECT_FALSE(tcp.active);
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
}

TEST_F(TcpLinkTest, ShortRgLineCountsAsAWholeReplyWithTheRestCleared) {
  OpenConnection();
  link.LearnL1Click();
  link.Send(1);
  Bytes twenty(20, 0x42);
  tcp.Deliver("RG" + BytesToHexText(twenty) + "\r\n");
  EXPECT_EQ(codes.Data(101), BytesToHexText(twenty) + std::string(18, '0'));
}

TEST_F(TcpLinkTest, ServerTextsAreShownOrIgnored) {
  OpenConnection();
  tcp.Deliver("ERROR 85\r\n");
  tcp.Deliver("MOK\r\n");
  tcp.Deliver("hello\r\n");
  // Escape sequences are shown, never acted on; the line end is no part of the text.
  tcp.Deliver("E\x1B[2J\x1B]0;owned\x07\r\n");
  EXPECT_EQ(ui.Take(), (Messages{"ERROR 85", "MESSAGE", "E\\x1B[2J\\x1B]0;owned\\x07"}));
}

TEST_F(TcpLinkTest, TwoLinesInOneReadAreOneText) {
  OpenConnection();
  link.LearnL1Click();
  link.Send(1);
  ui.Take();
  tcp.Deliver("RA\r\nRG" + BytesToHexText(OneFrameBlock()) + "\r\n");
  EXPECT_EQ(link.State(), kLearning);
  EXPECT_EQ(codes.Data(101),
            BytesToHexText(OneFrameBlock()));  // loaded by OpenConnection, untouched
  EXPECT_FALSE(codes.Changed(101));
  EXPECT_TRUE(ui.Take().empty());
}

TEST_F(TcpLinkTest, OneReadTakesAtMost4000Characters) {
  OpenConnection();
  tcp.incoming.assign(5000, 'E');
  tcp.on_read();
  const Messages shown = ui.Take();
  ASSERT_EQ(shown.size(), 1u);
  // A long server text is cut for showing, with a mark of how much was left out.
  EXPECT_EQ(shown[0], std::string(200, 'E') + "...(3800 more bytes)");
  EXPECT_EQ(tcp.incoming.size(), 1000u);
}

TEST_F(TcpLinkTest, FramesWithoutALineAreNotSentButStillTimeOut) {
  OpenConnection();
  ui.page = LinkPage::kIo;
  link.InPort("12");
  EXPECT_EQ(ui.Take(), (Messages{"InPort 12", " S:12"}));
  EXPECT_TRUE(tcp.TakeSent().empty());
  EXPECT_EQ(link.Countdown(), 25);
  ticks.Tick(25);
  EXPECT_EQ(ui.Take(), Messages{"RS232C timeout!"});
  EXPECT_FALSE(tcp.active);
}

TEST_F(TcpLinkTest, OutputWriteThatOpensTheConnectionArms120Ticks) {
  link.OutPort("3", "ff");
  EXPECT_EQ(tcp.activations, 1);
  EXPECT_EQ(link.Countdown(), 120);
  EXPECT_EQ(link.PendingLine(), "");
  tcp.Connect();
  EXPECT_TRUE(tcp.TakeSent().empty());
  ticks.Tick(120);
  EXPECT_EQ(ui.Take(), (Messages{"OutPort 03,FF", "RS232C timeout!"}));
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
}

TEST_F(TcpLinkTest, InputReadThatOpensTheConnectionGets120Ticks) {
  link.InData();
  EXPECT_EQ(link.Countdown(), 120);
}

TEST_F(TcpLinkTest, PendingLineIsDiscardedWhenTheLinkCloses) {
  Load(101, OneFrameBlock());
  link.Send(1);
  ticks.Tick(120);  // the connection never completed
  EXPECT_EQ(link.PendingLine(), "");
  // The next connection is opened by a frame without a line: nothing stale goes out.
  link.OutPort("1", "1");
  tcp.Connect();
  EXPECT_TRUE(tcp.TakeSent().empty());

  link.DisConnectD1Click();
  link.LearnL1Click();
  link.Send(1);
  EXPECT_EQ(link.PendingLine(), "RAVIZ C\r\n");
  link.DisConnectD1Click();
  EXPECT_EQ(link.PendingLine(), "");
  EXPECT_TRUE(link.LearnMode());
}

TEST_F(TcpLinkTest, ServerClosingLeavesTheLinkOnTcpUntilTheTimeout) {
  OpenConnection();
  tcp.ServerClose();
  EXPECT_FALSE(tcp.active);
  EXPECT_EQ(link.LinkPort(), kTcpPort);

  // The next line goes to a socket that is not connected: the socket reports it, the exchange
  // ends by its time-out, and the operation after that connects anew.
  link.Send(1);
  EXPECT_EQ(tcp.errors, Lines{SendLine(OneFrameBlock())});
  EXPECT_EQ(link.Countdown(), 30);
  ticks.Tick(30);
  EXPECT_EQ(ui.Take(), (Messages{"Send(101)", "RS232C timeout!"}));
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
  link.Send(1);
  EXPECT_EQ(tcp.activations, 2);
  EXPECT_EQ(link.PendingLine(), SendLine(OneFrameBlock()));
}

TEST_F(TcpLinkTest, RawFrameThenSendIsATcpSendError) {
  OpenConnection();
  link.SendData("\"L0\"");
  EXPECT_EQ(tcp.TakeSent(), Lines{"RAVIZ C\r\n"});
  EXPECT_EQ(link.Countdown(), 40);
  link.Send(1);
  EXPECT_EQ(ui.Take(), (Messages{"SendData length = 2", "Send(101)", "TCP/IP send error!"}));
  EXPECT_TRUE(tcp.TakeSent().empty());

  link.DisConnectD1Click();
  link.SendData("01 02");
  tcp.Connect();
  EXPECT_TRUE(tcp.TakeSent().empty());
}

TEST_F(TcpLinkTest, LineCutByTheNetworkIsPutTogether) {
  OpenConnection();
  link.Send(1);
  ui.Take();
  tcp.Deliver("R");
  EXPECT_EQ(link.State(), kIrSending);
  tcp.Deliver("E\r\n");
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_TRUE(ui.Take().empty());
}

TEST_F(TcpLinkTest, HeldLineStartIsDroppedWhenTheLinkCloses) {
  OpenConnection();
  link.Send(1);
  tcp.Deliver("R");
  link.DisConnectD1Click();
  link.Send(1);
  tcp.Connect();
  tcp.Deliver("E\r\n");  // a text of its own now
  EXPECT_EQ(ui.Take(), (Messages{"Send(101)", "Send(101)", "E"}));
}

}  // namespace
}  // namespace kavro::test
