// The link over a real pseudo-terminal, with the serial component and the controller simulator.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "link/commx_channel.h"
#include "serial/commx.h"
#include "serial/plain_dispatcher.h"
#include "serial/port_table.h"
#include "tests/link/link_fixture.h"
#include "tests/link/sim_process.h"

namespace kavro::test {
namespace {

using namespace std::chrono_literals;
using Messages = std::vector<std::string>;

// What the simulator learns: a code with two frames whose block carries stray bytes where the
// absent third frame would be (14..18), and the text it is stored as, with those bytes cleared.
constexpr const char* kSimCode = "200A000140400A8012014040A0000102030405112233445566778899AA";
constexpr const char* kStoredCode = "200A000140400A8012014040A0000000000000112233445566778899AA";

class PtySimTest : public ::testing::Test {
 protected:
  ~PtySimTest() override {
    link.CloseLink();
    PortTable::Clear();
  }

  // Starts a simulator as port `port_no`.
  std::unique_ptr<SimProcess> StartSim(int port_no, std::vector<std::string> options) {
    options.insert(options.begin(), "--pty");
    auto sim = std::make_unique<SimProcess>(std::move(options));
    EXPECT_FALSE(sim->FirstLine().empty());
    PortTable::Set(port_no, sim->FirstLine());
    return sim;
  }
  bool WaitIdle() {
    return dispatcher.RunUntil([this] { return link.State() == kIdle && !ticks.enabled; }, 5s);
  }

  PlainDispatcher dispatcher;
  TCommX commx{dispatcher};
  CommxChannel channel{commx};
  FakeUi ui;
  CodeTable codes;
  FakeTcp tcp;
  FakeTicks ticks;
  ControllerLink link{ui, codes, channel, tcp, ticks};
};

std::string SimBlockText() { return kSimCode; }

TEST_F(PtySimTest, SendAndLearnOnThePad) {
  auto sim =
      StartSim(1, {"--learn-delay", "0", "--learn-prefix", "AC", "--learn-code", SimBlockText()});
  codes.SetData(101, SimBlockText());
  link.Send(1);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ui.Take(), Messages{"Send(101)"});
  EXPECT_EQ(sim->Count("preamble"), 1);
  EXPECT_EQ(sim->Count("irsend"), 1);

  link.LearnL1Click();
  link.Send(2);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ui.Take(), (Messages{"Click Button!", "Push Controller!", "Learn OK!"}));
  EXPECT_EQ(codes.Data(102), kStoredCode);
  EXPECT_EQ(codes.Comment(102), "P1 TV 2");
  EXPECT_TRUE(codes.Changed(102));
  EXPECT_EQ(sim->Count("preamble"), 1);
}

TEST_F(PtySimTest, LibraryLearnAndSendErrors) {
  auto sim =
      StartSim(1, {"--learn-delay", "0", "--learn-code", SimBlockText(), "--send-reply", "85"});
  ASSERT_EQ(link.SetLearnMode(), kLearnStarted);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ui.learn_data, std::vector<std::string>{kStoredCode});
  ASSERT_EQ(link.SendIrData(SimBlockText()), kSendStarted);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ui.Take(), Messages{"IR Data Error! (0x85)"});
}

TEST_F(PtySimTest, LearnErrorKeepsLearnMode) {
  auto sim = StartSim(1, {"--learn-delay", "0", "--learn-fail"});
  link.LearnL1Click();
  link.Send(1);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ui.Take(), (Messages{"Click Button!", "Push Controller!", "Learn error!"}));
  EXPECT_TRUE(link.LearnMode());
}

TEST_F(PtySimTest, SilentControllerTimesOutAndThePortCloses) {
  auto sim = StartSim(1, {"--silent"});
  codes.SetData(101, SimBlockText());
  link.Send(1);
  dispatcher.RunFor(20ms);
  ticks.Tick(10);
  EXPECT_EQ(ui.Take(), (Messages{"Send(101)", "RS232C timeout!"}));
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
  EXPECT_EQ(commx.Handle(), 0xFFFFFFFFu);
}

TEST_F(PtySimTest, BusyWhileTheControllerIsSending) {
  auto sim = StartSim(1, {"--send-delay", "200"});
  codes.SetData(101, SimBlockText());
  link.Send(1);
  link.Send(1);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ui.Take(), (Messages{"Send(101)", "Send(101)", "RS232C using!"}));
  EXPECT_EQ(sim->Count("irsend"), 1);
}

TEST_F(PtySimTest, RawFrameThenSendIsRefused) {
  auto sim = StartSim(1, {"--silent"});
  codes.SetData(101, SimBlockText());
  link.SendData("\"Z\"");
  link.Send(1);
  EXPECT_EQ(ui.Take(), (Messages{"SendData length = 1", "Send(101)", "RS232C send error!"}));
  EXPECT_EQ(link.State(), kIrSending);
  ticks.Tick(20);
  EXPECT_EQ(ui.Take(), Messages{"RS232C timeout!"});
  EXPECT_EQ(link.State(), kIdle);
}

TEST_F(PtySimTest, DisconnectDuringALearnThenAPortChange) {
  auto first = StartSim(1, {"--silent"});
  auto second = StartSim(2, {"--send-reply", "85"});
  link.LearnL1Click();
  link.Send(1);
  dispatcher.RunFor(20ms);
  link.DisConnectD1Click();
  EXPECT_TRUE(link.LearnMode());
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_EQ(link.LinkPort(), kLinkClosed);

  // Output writes arm no timer, so the link stays open on COM1 after the choice of COM2.
  link.OutPort("1", "1");
  link.SetPortChoice(2);
  link.OutPort("1", "2");
  dispatcher.RunUntil([&] { return first->Count("output") == 2; }, 5s);
  EXPECT_EQ(first->Count("output"), 2);
  EXPECT_EQ(first->Count("preamble"), 2);
  EXPECT_EQ(second->Count("preamble"), 0);

  link.DisConnectD1Click();
  link.LearnL1Click();  // learn mode off, to send
  ui.Take();
  codes.SetData(101, SimBlockText());
  link.Send(1);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ui.Take(), (Messages{"Send(101)", "IR Data Error! (0x85)"}));
  EXPECT_EQ(second->Count("preamble"), 1);
  EXPECT_EQ(second->Count("irsend"), 1);
}

TEST_F(PtySimTest, IoPageReadsAndWrites) {
  auto sim = StartSim(1, {"--indata", "5A"});
  ui.page = LinkPage::kIo;
  link.OutPort("3", "ff");
  link.InData();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ui.Take(), (Messages{"OutPort 03,FF", " S:03FF", "InData", " S:40", " R:5A"}));
  EXPECT_EQ(sim->Count("output"), 1);
}

TEST_F(PtySimTest, SplitRepliesAreJoined) {
  auto sim = StartSim(1, {"--learn-delay", "0", "--learn-code", SimBlockText(), "--split", "7",
                          "--split-pause", "5"});
  link.LearnL1Click();
  link.Send(3);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(codes.Data(103), kStoredCode);
}

TEST_F(PtySimTest, PortThatCannotBeOpenedThrowsWithItsReasonAndLeavesTheLinkClosed) {
  PortTable::Set(4, "/nonexistent/kavro-port");
  link.SetPortChoice(4);
  codes.SetData(101, SimBlockText());
  try {
    link.Send(1);
    ADD_FAILURE() << "opened";
  } catch (const ECommError& e) {
    EXPECT_EQ(e.Detail(), "COM4 (/nonexistent/kavro-port): No such file or directory");
  }
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_FALSE(ticks.enabled);
}

}  // namespace
}  // namespace kavro::test
