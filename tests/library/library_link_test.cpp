// The library window learning and sending through a real controller link: the serial component
// on a pseudo-terminal with the controller simulator behind it.
#include <QTest>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "link/code_table.h"
#include "link/commx_channel.h"
#include "link/controller_link.h"
#include "serial/commx.h"
#include "serial/plain_dispatcher.h"
#include "serial/port_table.h"
#include "tests/library/library_fixture.h"
#include "tests/link/link_fakes.h"
#include "tests/link/sim_process.h"

namespace kavro::test {
namespace {

using namespace std::chrono_literals;

// What the simulator learns, and the text the library receives (absent frame 3 cleared).
constexpr const char* kSimCode = "200A000140400A8012014040A0000102030405112233445566778899AA";
constexpr const char* kStoredCode = "200A000140400A8012014040A0000000000000112233445566778899AA";

// The main window's side as far as the library sees it: the link's user interface, whose
// LearnData goes to the library window, and the library's host on top of the link.
class LinkedMainWindow : public FakeUi, public LibraryHost {
 public:
  void LearnData(std::string_view text) override {
    FakeUi::LearnData(text);
    if (library) library->LearnData(text);
  }
  SetLearnModeResult SetLearnMode() override { return link->SetLearnMode(); }
  void CancelLearn() override { link->CancelLearn(); }
  void LearnCountdown(int seconds_left) override {
    if (library) library->LearnCountdown(seconds_left);
  }
  SendIrDataResult SendIrData(std::string_view data_text) override {
    return link->SendIrData(data_text);
  }
  std::string DataFileName() const override { return path; }
  void ShowMainWindow() override {}
  void EnableMainWindow() override {}

  ControllerLink* link = nullptr;
  TForm3* library = nullptr;
  std::string path;
};

class LibraryLinkTest : public LibraryTest {
 protected:
  LibraryLinkTest() {
    main.link = &link;
    main.path = host.path;
    window_host = &main;
  }
  ~LibraryLinkTest() override {
    link.CloseLink();
    PortTable::Clear();
  }

  std::unique_ptr<SimProcess> StartSim(std::vector<std::string> options) {
    options.insert(options.begin(), "--pty");
    auto sim = std::make_unique<SimProcess>(std::move(options));
    EXPECT_FALSE(sim->FirstLine().empty());
    PortTable::Set(1, sim->FirstLine());
    return sim;
  }
  TForm3& OpenLinked() {
    TForm3& form = Open();
    main.library = &form;
    return form;
  }
  bool WaitIdle() {
    return dispatcher.RunUntil([this] { return link.State() == kIdle && !ticks.enabled; }, 5s);
  }

  PlainDispatcher dispatcher;
  TCommX commx{dispatcher};
  CommxChannel channel{commx};
  CodeTable codes;
  FakeTcp tcp;
  FakeTicks ticks;
  LinkedMainWindow main;
  ControllerLink link{main, codes, channel, tcp, ticks};
};

TEST_F(LibraryLinkTest, LearnsThenSendsTheLearnedEntry) {
  auto sim = StartSim({"--learn-delay", "0", "--learn-code", kSimCode});
  WriteFile({});
  OpenLinked();
  SeqNum()->setText("0300");
  IrComm()->setText("tv");
  window->IrLearnClick();
  EXPECT_EQ(Message(), "Push Controller!");
  EXPECT_FALSE(SeqNum()->isEnabled());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(window->Entries(),
            std::vector<std::string>{std::string("0300 ") + kStoredCode + " tv"});
  EXPECT_EQ(SeqNum()->text(), "0310");
  EXPECT_TRUE(SeqNum()->isEnabled());
  EXPECT_EQ(sim->Count("learn"), 1);
  // Nothing of the library's learn lands in the main window's table.
  EXPECT_TRUE(codes.Data(0).empty());

  Select(0);
  window->IrSendClick();
  EXPECT_EQ(Message(), "Send(0300)");
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(sim->Count("irsend"), 1);
  EXPECT_TRUE(main.Take().empty());
}

// Esc while the controller waits for a remote: the link lets the learn go, and the code the
// controller sends a little later is stored nowhere.
TEST_F(LibraryLinkTest, AGivenUpLearnStoresTheLateCodeNowhere) {
  auto sim = StartSim({"--learn-delay", "100", "--learn-code", kSimCode});
  WriteFile({});
  OpenLinked();
  SeqNum()->setText("0300");
  IrComm()->setText("tv");
  window->IrLearnClick();
  dispatcher.RunFor(20ms);
  ASSERT_EQ(link.State(), kLearning);
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_EQ(Message(), "Learn cancelled");
  EXPECT_EQ(link.State(), kIdle);
  dispatcher.RunFor(200ms);
  EXPECT_TRUE(window->Entries().empty());
  EXPECT_FALSE(window->Modified());
  EXPECT_EQ(Message(), "Learn cancelled");
  EXPECT_TRUE(SeqNum()->isEnabled());
}

TEST_F(LibraryLinkTest, TimeOutsComeBackToTheLibrary) {
  auto sim = StartSim({"--silent"});
  WriteFile({std::string("0400=") + kSimCode + " vtr"});
  OpenLinked();
  SeqNum()->setText("0300");
  IrComm()->setText("tv");
  window->IrLearnClick();
  ASSERT_FALSE(SeqNum()->isEnabled());
  dispatcher.RunFor(20ms);
  ticks.Tick(100);
  EXPECT_EQ(Message(), "RS232C timeout!");
  EXPECT_TRUE(SeqNum()->isEnabled());
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
  EXPECT_EQ(window->Entries().size(), 1u);

  Select(0);
  window->IrSendClick();
  EXPECT_EQ(Message(), "Send(0400)");
  ticks.Tick(10);
  EXPECT_EQ(Message(), "RS232C timeout!");
  EXPECT_TRUE(main.Take().empty());  // the main window's status line saw none of it
}

}  // namespace
}  // namespace kavro::test
