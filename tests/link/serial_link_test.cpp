// The link over a serial port: opening, sending, learning, busy, time-outs and closing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "datafile/store.h"
#include "serial/port_table.h"
#include "tests/link/link_fixture.h"

namespace kavro::test {
namespace {

using Messages = std::vector<std::string>;

TEST_F(LinkTest, FirstSendOpensTheChosenPortAndQueuesThePreambleFirst) {
  link.SetPortChoice(3);
  Load(101, OneFrameBlock());
  link.Send(1);

  EXPECT_EQ(ui.Take(), Messages{"Send(101)"});
  EXPECT_EQ(serial.opened_ports, std::vector<int>{3});
  Bytes expected = B("XXXXX");
  const Bytes frame = IrFrame(OneFrameBlock());
  expected.insert(expected.end(), frame.begin(), frame.end());
  EXPECT_EQ(serial.TakeWritten(), expected);
  EXPECT_EQ(link.LinkPort(), 3);
  EXPECT_EQ(link.State(), kIrSending);
  EXPECT_TRUE(ticks.enabled);
  EXPECT_EQ(link.Countdown(), 10);

  // The open port is used again, without a second preamble.
  serial.Deliver({'E'});
  link.Send(1);
  EXPECT_EQ(serial.opens, 1);
  EXPECT_EQ(serial.TakeWritten(), frame);
}

TEST_F(LinkTest, IrSendRepliesEndTheExchange) {
  Load(101, OneFrameBlock());
  link.Send(1);
  ui.Take();
  const int clears = serial.trans_clears;
  serial.Deliver({'E'});
  EXPECT_TRUE(ui.Take().empty());
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_FALSE(ticks.enabled);
  EXPECT_EQ(link.ReplyCount(), 0);
  EXPECT_EQ(serial.trans_clears, clears + 1);
  EXPECT_GE(serial.receive_clears, 1);

  link.Send(1);
  ui.Take();
  serial.Deliver({0x85});
  EXPECT_EQ(ui.Take(), Messages{"IR Data Error! (0x85)"});

  link.Send(1);
  ui.Take();
  serial.Deliver({0x45, 0x78});
  EXPECT_EQ(ui.Take(), Messages{"IR Data Error! (0x78)"});

  // Every byte that is not 'E' gives its own message; no leading zeros.
  link.Send(1);
  ui.Take();
  serial.Deliver({0x00, 0x0A, 'E'});
  EXPECT_EQ(ui.Take(), (Messages{"IR Data Error! (0x0)", "IR Data Error! (0xA)"}));
  EXPECT_EQ(link.State(), kIdle);
}

TEST_F(LinkTest, PadKeyWhileASendIsPendingIsBusy) {
  Load(101, OneFrameBlock());
  Load(102, OneFrameBlock());
  link.Send(1);
  serial.TakeWritten();
  ui.Take();
  link.Send(2);
  EXPECT_EQ(ui.Take(), (Messages{"Send(102)", "RS232C using!"}));
  EXPECT_TRUE(serial.TakeWritten().empty());
  EXPECT_EQ(link.Countdown(), 10);
  serial.Deliver({'E'});
  EXPECT_EQ(link.State(), kIdle);
}

TEST_F(LinkTest, CodeNumberComesFromThePadPageOrTheListPage) {
  ui.pad_base = 200;
  link.Send(45);
  EXPECT_EQ(ui.Take(), Messages{"None Data!"});
  Load(245, OneFrameBlock());
  link.Send(45);
  EXPECT_EQ(ui.Take(), Messages{"Send(245)"});
  serial.Deliver({'E'});

  ui.page = LinkPage::kCodeList;
  ui.list_page = 9;
  Load(100, OneFrameBlock(), "last one");
  ui.comment = "typed";
  link.Send(10);
  EXPECT_EQ(ui.Take(), Messages{"Send(100)"});
  // The comment box takes the stored comment, out of learn mode too.
  EXPECT_EQ(ui.comment, "last one");
}

TEST_F(LinkTest, DataLengthIsCheckedBeforeBusy) {
  codes.SetData(101, std::string(60, 'A'));  // 30 bytes
  link.Send(1);
  EXPECT_EQ(ui.Take(), (Messages{"Send(101)", "Data Length Error!"}));
  EXPECT_EQ(serial.opens, 0);
  EXPECT_EQ(link.State(), kIdle);
}

TEST_F(LinkTest, ShortDataTextIsSentAsAFull30ByteFrame) {
  codes.SetData(101, "8A1F");
  link.Send(1);
  Bytes frame(30, 0);
  frame[0] = 'S';
  frame[1] = 0x8A;
  frame[2] = 0x1F;
  const Bytes written = serial.TakeWritten();
  EXPECT_EQ(Bytes(written.begin() + 5, written.end()), frame);
}

class SendFromFileTest : public LinkTest {
 protected:
  SendFromFileTest() {
    dir = std::filesystem::temp_directory_path() /
          ("kavro-link-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    path = (dir / "codes.dat").string();
  }
  ~SendFromFileTest() override { std::filesystem::remove_all(dir); }

  std::filesystem::path dir;
  std::string path;
};

TEST_F(SendFromFileTest, MissingCodeIsFetchedFromTheDataFileAndKept) {
  ASSERT_EQ(WriteKeyValue(path, "Data", "0107", BytesToHexText(OneFrameBlock()) + " P1 TV 7 spare"),
            0);
  link.Send(7);
  EXPECT_EQ(ui.Take(), Messages{"None Data!"});  // no data file name known

  link.SetDataFileName(path);
  link.Send(7);
  EXPECT_EQ(ui.Take(), Messages{"Send(107)"});
  EXPECT_EQ(codes.Data(107), BytesToHexText(OneFrameBlock()));
  EXPECT_EQ(codes.Comment(107), "P1 TV 7 spare");
  EXPECT_FALSE(codes.Changed(107));
  const Bytes written = serial.TakeWritten();
  EXPECT_EQ(Bytes(written.begin() + 5, written.end()), IrFrame(OneFrameBlock()));

  link.Send(8);
  EXPECT_EQ(ui.Take(), Messages{"None Data!"});
}

TEST_F(SendFromFileTest, OverlongRecordIsCutToTheSlotsOnACharacterBoundary) {
  // A hand-edited record: 64 digits of data text and a Shift-JIS comment of 22 bytes whose 20th
  // byte is a lead byte.
  const std::string comment = std::string(19, 'k') + "\x82\xA0" + "x";
  ASSERT_EQ(WriteKeyValue(path, "Data", "0101", std::string(64, '1') + " " + comment), 0);
  link.SetDataFileName(path);
  link.Send(1);
  EXPECT_EQ(codes.Data(101), std::string(60, '1'));
  EXPECT_EQ(codes.Comment(101), std::string(19, 'k'));
  EXPECT_EQ(ui.Take(), (Messages{"Send(101)", "Data Length Error!"}));
}

TEST_F(LinkTest, SendTimesOutAfterTenTicksAndClosesThePort) {
  Load(101, OneFrameBlock());
  link.Send(1);
  ui.Take();
  serial.TakeWritten();
  ticks.Tick(9);
  EXPECT_TRUE(ui.Take().empty());
  EXPECT_TRUE(serial.open);
  ticks.Tick();
  EXPECT_EQ(ui.Take(), Messages{"RS232C timeout!"});
  EXPECT_FALSE(serial.open);
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_FALSE(ticks.enabled);

  // The next send opens the port again, with the preamble.
  link.Send(1);
  EXPECT_EQ(serial.opens, 2);
  EXPECT_EQ(serial.TakeWritten().size(), 5u + 30u);
}

TEST_F(LinkTest, LearnOnThePadStoresTheCodeUnderItsName) {
  link.LearnL1Click();
  EXPECT_EQ(ui.Take(), Messages{"Click Button!"});
  EXPECT_TRUE(link.LearnMode());
  EXPECT_FALSE(ui.comment_visible);  // the pad page has no comment box

  link.Send(45);
  EXPECT_EQ(ui.Take(), Messages{"Push Controller!"});
  EXPECT_EQ(serial.TakeWritten(), B("XXXXXL0"));
  EXPECT_EQ(link.State(), kLearning);
  EXPECT_EQ(link.LearnTarget(), 145);
  EXPECT_EQ(link.Countdown(), 100);

  serial.Deliver(LearnReply(OneFrameBlock()));
  EXPECT_EQ(ui.Take(), Messages{"Learn OK!"});
  EXPECT_EQ(codes.Data(145), BytesToHexText(OneFrameBlock()));
  EXPECT_EQ(codes.Data(145).size(), 58u);
  EXPECT_EQ(codes.Comment(145), "P1 VTR CH DOWN");
  EXPECT_TRUE(codes.Changed(145));
  EXPECT_FALSE(link.LearnMode());
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_FALSE(ticks.enabled);
  EXPECT_EQ(ui.page_displays, 0);
}

TEST_F(LinkTest, LearnedBlockClearsTheBytesOfAbsentFrames) {
  Bytes block(29, 0x5A);
  block[7] = 0;  // no frame 2: bytes 8..18 cleared
  link.LearnL1Click();
  link.Send(1);
  serial.Deliver(LearnReply(block));
  const std::string text = codes.Data(101);
  EXPECT_EQ(text.substr(0, 16), "5A5A5A5A5A5A5A00");
  EXPECT_EQ(text.substr(16, 22), std::string(22, '0'));
  EXPECT_EQ(text.substr(38), "5A5A5A5A5A5A5A5A5A5A");

  block.assign(29, 0x5A);
  block[7] = 0x80;
  block[13] = 0;  // frame 2 but no frame 3: bytes 14..18 cleared
  link.LearnL1Click();
  link.Send(2);
  serial.Deliver(LearnReply(block));
  const std::string second = codes.Data(102);
  EXPECT_EQ(second.substr(14, 2), "80");
  EXPECT_EQ(second.substr(16, 10), "5A5A5A5A5A");
  EXPECT_EQ(second.substr(26, 2), "00");
  EXPECT_EQ(second.substr(28, 10), std::string(10, '0'));
  EXPECT_EQ(second.substr(38), "5A5A5A5A5A5A5A5A5A5A");
}

TEST_F(LinkTest, LearnReplyLongerThan30BytesGivesA58DigitText) {
  link.LearnL1Click();
  link.Send(1);
  Bytes reply = LearnReply(OneFrameBlock());
  for (int i = 0; i < 8; ++i) reply.push_back(0xEE);
  serial.Deliver(reply);
  EXPECT_EQ(codes.Data(101), BytesToHexText(OneFrameBlock()));
}

TEST_F(LinkTest, LearnErrorLeavesLearnModeOnSoTheNextKeyLearnsAgain) {
  link.LearnL1Click();
  link.Send(3);
  ui.Take();
  serial.Deliver({'N'});
  EXPECT_EQ(ui.Take(), Messages{"Learn error!"});
  EXPECT_TRUE(link.LearnMode());
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_FALSE(ticks.enabled);

  link.Send(4);
  EXPECT_EQ(ui.Take(), Messages{"Push Controller!"});
  EXPECT_EQ(link.LearnTarget(), 104);
}

TEST_F(LinkTest, UnknownLearnReplyWaitsForTheTimeout) {
  link.LearnL1Click();
  link.Send(1);
  ui.Take();
  serial.Deliver({'Z'});
  EXPECT_EQ(link.State(), kLearning);
  EXPECT_EQ(link.ReplyCount(), 1);
  ticks.Tick(99);
  EXPECT_TRUE(ui.Take().empty());
  ticks.Tick();
  EXPECT_EQ(ui.Take(), Messages{"RS232C timeout!"});
  EXPECT_FALSE(link.LearnMode());
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
}

TEST_F(LinkTest, LearnOnTheCodeListTakesTheCommentBox) {
  ui.page = LinkPage::kCodeList;
  ui.list_page = 3;
  link.LearnL1Click();
  EXPECT_TRUE(ui.comment_visible);
  EXPECT_EQ(ui.comment_label, "Comment");

  // No stored comment: nothing is learned, whatever the box held.
  ui.comment = "typed before";
  link.Send(4);
  EXPECT_EQ(ui.Take(), (Messages{"Click Button!", "Comment nothing!"}));
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_EQ(serial.opens, 0);

  codes.SetComment(34, "Aircon");
  link.Send(4);
  EXPECT_EQ(ui.comment, "Aircon");
  EXPECT_EQ(ui.Take(), Messages{"Push Controller!"});
  ui.comment = "Aircon on 20 chars!!";  // edited while waiting; 20 bytes kept whole
  serial.Deliver(LearnReply(OneFrameBlock()));
  EXPECT_EQ(ui.Take(), Messages{"Learn OK!"});
  EXPECT_EQ(codes.Comment(34), "Aircon on 20 chars!!");
  EXPECT_EQ(codes.Data(34), BytesToHexText(OneFrameBlock()));
  EXPECT_TRUE(codes.Changed(34));
  EXPECT_FALSE(ui.comment_visible);
  EXPECT_EQ(ui.comment_label, "Comment");  // only learn mode switched by the user clears it
  EXPECT_EQ(ui.page_displays, 1);
}

TEST_F(LinkTest, BusyWinsOverAnEmptyComment) {
  Load(101, OneFrameBlock());
  link.Send(1);
  ui.page = LinkPage::kCodeList;
  link.LearnL1Click();
  ui.Take();
  link.Send(5);
  EXPECT_EQ(ui.Take(), Messages{"RS232C using!"});
}

TEST_F(LinkTest, ThePageShownWhenTheReplyArrivesDecidesTheComment) {
  ui.page = LinkPage::kCodeList;
  link.LearnL1Click();
  codes.SetComment(1, "row one");
  link.Send(1);
  ui.page = LinkPage::kPad;
  link.LearnModeOff();  // the tab change
  serial.Deliver(LearnReply(OneFrameBlock()));
  EXPECT_EQ(codes.Data(1), BytesToHexText(OneFrameBlock()));
  EXPECT_EQ(codes.Comment(1), "");  // no pad key has code 1
  EXPECT_EQ(ui.page_displays, 0);
}

TEST_F(LinkTest, LearnModeDisplayFollowsTheToggleOnTheCodeListOnly) {
  ui.page = LinkPage::kCodeList;
  link.LearnL1Click();
  link.LearnL1Click();
  EXPECT_EQ(ui.Take(), (Messages{"Click Button!", ""}));
  EXPECT_FALSE(ui.comment_visible);
  EXPECT_EQ(ui.comment_label, "");
  EXPECT_FALSE(link.LearnMode());
}

TEST_F(LinkTest, LibraryLearnHandsTheTextBackAndStoresNothing) {
  EXPECT_EQ(link.SetLearnMode(), kLearnStarted);
  EXPECT_TRUE(link.LearnMode());
  EXPECT_TRUE(link.LibraryFlag());
  EXPECT_EQ(link.LearnTarget(), 0);
  EXPECT_EQ(serial.TakeWritten(), B("XXXXXL0"));
  EXPECT_EQ(link.SetLearnMode(), kLearnAlreadyOn);

  serial.Deliver(Bytes{'A'});
  serial.Deliver(LearnReply(OneFrameBlock()));
  EXPECT_EQ(ui.learn_data, std::vector<std::string>{BytesToHexText(OneFrameBlock())});
  EXPECT_TRUE(ui.Take().empty());
  EXPECT_FALSE(codes.AnyChanged());
  EXPECT_EQ(codes.Data(0), "");
  EXPECT_FALSE(link.LearnMode());
}

TEST_F(LinkTest, SetLearnModeResults) {
  Load(101, OneFrameBlock());
  link.Send(1);
  EXPECT_EQ(link.SetLearnMode(), kLearnBusy);
  EXPECT_FALSE(link.LearnMode());
  link.LearnL1Click();
  // Already on is answered before the busy state is looked at.
  EXPECT_EQ(link.SetLearnMode(), kLearnAlreadyOn);
}

TEST_F(LinkTest, LibraryLearnTimeoutGoesToTheLibrary) {
  ASSERT_EQ(link.SetLearnMode(), kLearnStarted);
  ticks.Tick(100);
  EXPECT_EQ(ui.learn_data, std::vector<std::string>{"RS232C timeout!"});
  EXPECT_TRUE(ui.Take().empty());
  EXPECT_FALSE(link.LearnMode());
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
}

TEST_F(LinkTest, SendIrDataResults) {
  EXPECT_EQ(link.SendIrData(""), kSendEmpty);
  EXPECT_EQ(link.SendIrData(std::string(60, '0')), kSendTooLong);
  EXPECT_EQ(link.SendIrData(BytesToHexText(OneFrameBlock())), kSendStarted);
  EXPECT_EQ(link.Countdown(), 5);
  EXPECT_TRUE(link.LibraryFlag());
  EXPECT_EQ(link.SendIrData(BytesToHexText(OneFrameBlock())), kSendBusy);
  EXPECT_TRUE(ui.Take().empty());

  // Error bytes still go to the main window's messages.
  serial.Deliver({0x85});
  EXPECT_EQ(ui.Take(), Messages{"IR Data Error! (0x85)"});
  EXPECT_TRUE(ui.learn_data.empty());

  // A send that gets no answer is reported to the library.
  EXPECT_EQ(link.SendIrData(BytesToHexText(OneFrameBlock())), kSendStarted);
  ticks.Tick(5);
  EXPECT_EQ(ui.learn_data, std::vector<std::string>{"RS232C timeout!"});
}

TEST_F(LinkTest, PadLearnAfterALibraryLearnBelongsToTheMainWindow) {
  // A library learn that failed leaves learn mode and the library flag on.
  ASSERT_EQ(link.SetLearnMode(), kLearnStarted);
  serial.Deliver({'N'});
  ASSERT_TRUE(link.LearnMode());
  ASSERT_TRUE(link.LibraryFlag());

  link.Send(2);
  EXPECT_FALSE(link.LibraryFlag());
  serial.Deliver(LearnReply(OneFrameBlock()));
  EXPECT_TRUE(ui.learn_data.empty());
  EXPECT_EQ(codes.Data(102), BytesToHexText(OneFrameBlock()));
}

TEST_F(LinkTest, LearnToggleClearsTheLibraryFlag) {
  ASSERT_EQ(link.SetLearnMode(), kLearnStarted);
  link.LearnL1Click();  // off
  EXPECT_FALSE(link.LibraryFlag());
  EXPECT_FALSE(link.LearnMode());
}

// Learn mode turned off while the reply is awaited gives the learn up, on the pad and for the
// library alike: a reply that comes later is dropped, and no time-out follows.
TEST_F(LinkTest, CancelledLearnStoresNoLateReply) {
  for (const bool library : {false, true}) {
    Load(101, OneFrameBlock(), "P1 TV 1");
    codes.SetChanged(101, false);
    if (library) {
      ASSERT_EQ(link.SetLearnMode(), kLearnStarted);
    } else {
      link.LearnL1Click();
      link.Send(1);
    }
    ASSERT_EQ(link.State(), kLearning);
    ui.Take();
    link.LearnL1Click();  // off
    EXPECT_EQ(link.State(), kIdle) << library;
    EXPECT_FALSE(ticks.enabled);
    EXPECT_EQ(link.LinkPort(), kLinkClosed);
    Bytes other = OneFrameBlock();
    other[19] = 0x77;
    serial.Deliver(LearnReply(other));
    ticks.Tick(120);
    EXPECT_EQ(ui.Take(), Messages{""});
    EXPECT_TRUE(ui.learn_data.empty());
    EXPECT_EQ(codes.Data(101), BytesToHexText(OneFrameBlock()));
    EXPECT_FALSE(codes.Changed(101));
  }
}

// A learn reply whose block holds no signal (byte 0 or byte 19 zero) fails like 'N'.
TEST_F(LinkTest, EmptyLearnedBlockIsALearnError) {
  for (const int zero_byte : {0, 19}) {
    Load(101, OneFrameBlock());
    codes.SetChanged(101, false);
    link.LearnL1Click();
    link.Send(1);
    ui.Take();
    Bytes empty = OneFrameBlock();
    empty[zero_byte] = 0;
    serial.Deliver(LearnReply(empty));
    EXPECT_EQ(ui.Take(), Messages{"Learn error!"}) << zero_byte;
    EXPECT_EQ(link.State(), kIdle);
    EXPECT_TRUE(link.LearnMode());  // the next key learns again
    EXPECT_EQ(codes.Data(101), BytesToHexText(OneFrameBlock()));
    EXPECT_FALSE(codes.Changed(101));
    link.LearnL1Click();  // off again for the next round
    ui.Take();
  }
}

// A pulled adapter ends the exchange at once and names the port; the next press opens it again.
TEST_F(LinkTest, VanishedDeviceEndsTheExchangeAndClosesTheLink) {
  PortTable::Set(2, "/dev/ttyUSB7");
  link.SetPortChoice(2);
  link.LearnL1Click();
  link.Send(1);
  ui.Take();
  serial.Vanish();
  EXPECT_EQ(ui.Take(), Messages{"RS232C lost! COM2 (/dev/ttyUSB7) disappeared"});
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_FALSE(ticks.enabled);
  EXPECT_FALSE(link.LearnMode());
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
  EXPECT_FALSE(serial.open);
  // The library hears of it as it hears of a time-out.
  ASSERT_EQ(link.SetLearnMode(), kLearnStarted);
  serial.Vanish();
  EXPECT_EQ(ui.learn_data, Messages{"RS232C lost! COM2 (/dev/ttyUSB7) disappeared"});
  EXPECT_EQ(serial.opened_ports, (std::vector<int>{2, 2}));
  PortTable::Clear();
}

TEST_F(LinkTest, RawFrameThenPadKeyIsRefusedBySendError) {
  link.SendData("01 02");
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_EQ(link.Countdown(), 20);
  serial.TakeWritten();
  ui.Take();
  Load(101, OneFrameBlock());
  link.Send(1);
  EXPECT_EQ(ui.Take(), (Messages{"Send(101)", "RS232C send error!"}));
  EXPECT_TRUE(serial.TakeWritten().empty());
  EXPECT_EQ(link.State(), kIrSending);
  EXPECT_EQ(link.Countdown(), 20);
  // The raw frame's time-out ends both.
  ticks.Tick(20);
  EXPECT_EQ(ui.Take(), Messages{"RS232C timeout!"});
  EXPECT_EQ(link.State(), kIdle);
}

// A port that cannot be opened ends the exchange that wanted it and leaves the link closed, so
// the next press opens the port instead of answering "busy" until Disconnect.
TEST_F(LinkTest, PortThatCannotBeOpenedEndsTheExchange) {
  const std::vector<std::function<void()>> operations{
      [&] { link.Send(1); },        [&] { link.SendIrData(BytesToHexText(OneFrameBlock())); },
      [&] { link.SetLearnMode(); }, [&] { link.OutPort("1", "2"); },
      [&] { link.InPort("12"); },   [&] { link.InData(); },
      [&] { link.SendData("01"); },
  };
  link.SetPortChoice(2);
  Load(101, OneFrameBlock());
  for (std::size_t i = 0; i < operations.size(); ++i) {
    serial.fail_open = true;
    EXPECT_THROW(operations[i](), PortOpenError) << i;
    EXPECT_EQ(link.LinkPort(), kLinkClosed) << i;
    EXPECT_EQ(link.State(), kIdle) << i;
    EXPECT_FALSE(ticks.enabled) << i;
    EXPECT_FALSE(link.LearnMode()) << i;
    serial.fail_open = false;
    serial.TakeWritten();
    operations[i]();
    EXPECT_EQ(serial.opened_ports.back(), 2) << i;
    EXPECT_GT(serial.TakeWritten().size(), kPreamble.size()) << i;
    link.DisConnectD1Click();
    if (link.LearnMode()) link.LearnL1Click();  // the library's learn left it on
  }
  EXPECT_EQ(serial.opens, static_cast<int>(operations.size()));
}

TEST_F(LinkTest, DisconnectDuringALearnKeepsLearnMode) {
  link.LearnL1Click();
  link.Send(1);
  ui.Take();
  link.DisConnectD1Click();
  EXPECT_TRUE(ui.Take().empty());
  EXPECT_TRUE(link.LearnMode());
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_EQ(link.ExpectedLength(), 0);
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
  EXPECT_FALSE(serial.open);
  EXPECT_FALSE(ticks.enabled);
}

TEST_F(LinkTest, PortChoiceTakesEffectAtTheNextOpening) {
  Load(101, OneFrameBlock());
  link.Send(1);
  serial.Deliver({'E'});
  link.SetPortChoice(2);
  serial.TakeWritten();
  link.Send(1);
  EXPECT_EQ(serial.opened_ports, std::vector<int>{1});
  EXPECT_EQ(serial.TakeWritten(), IrFrame(OneFrameBlock()));
  serial.Deliver({'E'});

  link.DisConnectD1Click();
  link.Send(1);
  EXPECT_EQ(serial.opened_ports, (std::vector<int>{1, 2}));
  EXPECT_EQ(serial.TakeWritten().size(), 5u + 30u);

  link.SetPortChoice(9);
  EXPECT_EQ(link.PortChoice(), 1);
}

TEST_F(LinkTest, IdleBytesAreShownInOneLine) {
  Load(101, OneFrameBlock());
  link.Send(1);
  serial.Deliver({'E'});
  ui.Take();
  serial.Deliver({0x01, 0x02});
  EXPECT_EQ(ui.Take(), Messages{" R:0102"});

  // A full buffer of 256 bytes makes one line of 3 + 512 characters.
  serial.Deliver(Bytes(300, 0xAB));
  const Messages shown = ui.Take();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], " R:" + BytesToHexText(Bytes(256, 0xAB)));
  EXPECT_EQ(shown[0].size(), 515u);
}

TEST_F(LinkTest, ReceiveGuardDropsAFullBufferAndLeavesTheArrivalUnread) {
  link.LearnL1Click();
  link.Send(1);
  serial.Deliver(Bytes{'Z'});
  serial.Deliver(Bytes(199, 0x11));
  EXPECT_EQ(link.ReplyCount(), 200);
  // 200 held is not over the guard: the arrival is read as far as the buffer has room.
  serial.Deliver(Bytes(100, 0x22));
  EXPECT_EQ(link.ReplyCount(), 256);
  EXPECT_EQ(serial.incoming.size(), 44u);
  // Over 200 held: the held bytes are dropped and nothing is read.
  serial.Deliver(Bytes(3, 0x33));
  EXPECT_EQ(link.ReplyCount(), 0);
  EXPECT_EQ(serial.incoming.size(), 47u);
  EXPECT_EQ(link.State(), kLearning);
}

TEST_F(LinkTest, TrafficObserverSeesFramesAndReplies) {
  std::vector<std::string> seen;
  link.SetTrafficObserver([&](ControllerLink::Traffic t, std::span<const unsigned char> bytes) {
    seen.push_back((t == ControllerLink::Traffic::kFrame ? "S:" : "R:") + BytesToHexText(bytes));
  });
  link.InData();
  serial.Deliver({0x5A});
  EXPECT_EQ(seen, (std::vector<std::string>{"S:40", "R:5A"}));
}

}  // namespace
}  // namespace kavro::test
