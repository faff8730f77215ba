// The link over TCP on 127.0.0.1: the Qt socket channel against the network IR server simulator.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTest>
#include <string>
#include <vector>

#include "link/qt_tcp_channel.h"
#include "link/qt_tick_source.h"
#include "tests/link/link_fixture.h"
#include "tests/link/sim_process.h"

namespace kavro::test {
namespace {

using Messages = std::vector<std::string>;

constexpr const char* kSimCode = "200A000140400A8000000000A0000000000000112233445566778899AA";
constexpr int kPatienceMs = 5000;

void EnsureQtApplication() {
  static int argc = 1;
  static char name[] = "link_tests";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

class TcpSimTest : public ::testing::Test {
 protected:
  TcpSimTest() {
    EnsureQtApplication();
    channel.SetErrorHandler([this](const std::string& text) { socket_errors.push_back(text); });
    link.SetPortChoice(kTcpPort);
  }
  ~TcpSimTest() override { link.CloseLink(); }

  std::unique_ptr<SimProcess> StartSim(std::vector<std::string> options) {
    options.insert(options.begin(), {"--tcp", "127.0.0.1:0"});
    auto sim = std::make_unique<SimProcess>(std::move(options));
    EXPECT_FALSE(sim->FirstLine().empty());
    link.SetTcpHost("127.0.0.1");
    link.SetTcpPort(sim->TcpPort());
    return sim;
  }
  bool WaitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, kPatienceMs); }
  bool WaitIdle() {
    return WaitFor([this] { return link.State() == kIdle && !ticks.enabled; });
  }

  FakeUi ui;
  CodeTable codes;
  FakeSerial serial;
  QtTcpChannel channel;
  FakeTicks ticks;
  ControllerLink link{ui, codes, serial, channel, ticks};
  std::vector<std::string> socket_errors;
};

TEST_F(TcpSimTest, FirstSendGoesOutWhenTheConnectionCompletes) {
  auto sim = StartSim({});
  codes.SetData(101, kSimCode);
  link.Send(1);
  EXPECT_EQ(link.Countdown(), 120);
  EXPECT_FALSE(link.PendingLine().empty());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(link.PendingLine(), "");
  EXPECT_EQ(ui.Take(), Messages{"Send(101)"});
  EXPECT_EQ(sim->Count("irsend"), 1);

  link.Send(1);
  EXPECT_EQ(link.Countdown(), 30);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(sim->Count("irsend"), 2);
  EXPECT_TRUE(socket_errors.empty());
}

TEST_F(TcpSimTest, LearnOnThePadAndForTheLibrary) {
  auto sim = StartSim({"--learn-delay", "0", "--learn-code", kSimCode});
  link.LearnL1Click();
  link.Send(13);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ui.Take(), (Messages{"Click Button!", "Push Controller!", "Learn OK!"}));
  EXPECT_EQ(codes.Data(113), kSimCode);
  EXPECT_EQ(codes.Comment(113), "P1 TV CH UP");
  ASSERT_TRUE(WaitFor([&] { return sim->Count("done") == 1; }));

  ASSERT_EQ(link.SetLearnMode(), kLearnStarted);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ui.learn_data, std::vector<std::string>{kSimCode});
  EXPECT_EQ(sim->Count("learn"), 2);
  QTest::qWait(20);
  EXPECT_EQ(sim->Count("done"), 1);
}

TEST_F(TcpSimTest, ServerLearnFailureIsALearnErrorAtOnce) {
  auto sim = StartSim({"--learn-delay", "0", "--learn-fail"});
  link.LearnL1Click();
  link.Send(13);
  ASSERT_TRUE(WaitFor([this] { return link.State() == kIdle; }));
  EXPECT_GT(link.Countdown(), 0);  // ended by the reply, not by the time-out
  EXPECT_EQ(ui.Take(), (Messages{"Click Button!", "Push Controller!", "Learn error!"}));
  EXPECT_TRUE(link.LearnMode());
  EXPECT_EQ(codes.Data(113), "");
}

TEST_F(TcpSimTest, LearnedLineInPiecesIsPutTogether) {
  auto sim = StartSim(
      {"--learn-delay", "0", "--learn-code", kSimCode, "--split", "9", "--split-pause", "5"});
  link.LearnL1Click();
  link.Send(1);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(codes.Data(101), kSimCode);
}

TEST_F(TcpSimTest, ServerClosingTheConnection) {
  auto sim = StartSim({"--close-after", "1"});
  codes.SetData(101, kSimCode);
  link.Send(1);
  ASSERT_TRUE(WaitIdle());
  ASSERT_TRUE(WaitFor([&] { return !channel.IsConnected(); }));
  EXPECT_EQ(link.LinkPort(), kTcpPort);

  // The line goes to a socket that is not connected; the time-out resets the link.
  link.Send(1);
  EXPECT_EQ(socket_errors.size(), 1u);
  ticks.Tick(30);
  EXPECT_EQ(ui.Take(), (Messages{"Send(101)", "Send(101)", "RS232C timeout!"}));
  EXPECT_EQ(link.LinkPort(), kLinkClosed);

  link.Send(1);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(sim->Count("irsend"), 2);
}

TEST_F(TcpSimTest, RefusedConnectionIsReportedAndTimesOut) {
  // A port that was free a moment ago: nothing listens there.
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
  const int port = probe.serverPort();
  probe.close();
  link.SetTcpPort(port);
  codes.SetData(101, kSimCode);
  link.Send(1);
  ASSERT_TRUE(WaitFor([&] { return !socket_errors.empty(); }));
  ticks.Tick(120);
  EXPECT_EQ(ui.Take(), (Messages{"Send(101)", "RS232C timeout!"}));
  EXPECT_EQ(link.PendingLine(), "");
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
}

TEST_F(TcpSimTest, ServerTextsAreShown) {
  auto sim = StartSim({"--learn-delay", "0", "--answer-d", "--send-reply", "85"});
  codes.SetData(101, kSimCode);
  link.Send(1);
  ASSERT_TRUE(WaitFor([&] { return ui.messages.size() == 2; }));
  EXPECT_EQ(ui.Take(), (Messages{"Send(101)", "ERROR 85"}));
  ticks.Tick(120);  // "ERROR" ends nothing; the send that opened the connection times out
  ui.Take();

  link.LearnL1Click();
  link.Send(1);
  ASSERT_TRUE(WaitFor([&] { return ui.messages.size() == 4; }))
      << ::testing::PrintToString(ui.messages) << sim->Log();
  EXPECT_EQ(ui.Take(), (Messages{"Click Button!", "Push Controller!", "Learn OK!", "MESSAGE"}));
}

TEST(QtTickSource, TicksWhileStartedOnly) {
  EnsureQtApplication();
  QtTickSource ticks(1);
  int count = 0;
  ticks.SetTickHandler([&] {
    if (++count == 3) ticks.Stop();
  });
  EXPECT_FALSE(ticks.Enabled());
  ticks.Start();
  EXPECT_TRUE(ticks.Enabled());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !ticks.Enabled(); }, kPatienceMs));
  QTest::qWait(5);
  EXPECT_EQ(count, 3);
}

}  // namespace
}  // namespace kavro::test
