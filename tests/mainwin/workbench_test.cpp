// The pad as a place to work at: the learn countdown and Esc, what a key tells about its code,
// holding a key to repeat it, and learning a whole pad page key by key.
#include "tests/mainwin/mainwin_fixture.h"

#include <QApplication>
#include <QTextDocumentFragment>

#include <chrono>
#include <functional>
#include <utility>

#include "mainwin/key_look.h"

namespace kavro::test {
namespace {

// NEC1 device 4.251 function 8, and a block with no data bits in its first frame.
constexpr const char* kNec = "6020000200430000000000000000000000000020DF10EF000000000000";
constexpr const char* kCutShort = "6020000200010000000000000000000000000020DF10EF000000000000";

class WorkbenchTest : public MainWindowTest {
 protected:
  void StartWithSim(std::vector<std::string> options, std::vector<std::string> data = {}) {
    options.insert(options.end(), {"--frame-gap", "0"});
    sim = StartPtySim(std::move(options));
    std::vector<std::string> lines = {"[COMMON]", "COM=1", "[Serial]", "COM1=" + sim->FirstLine(),
                                      "[Data]"};
    lines.insert(lines.end(), data.begin(), data.end());
    WriteDataFile(lines);
    Start();
    QApplication::setActiveWindow(form.get());
  }
  // Waits the window asks for are kept here and run by the test.
  void HoldWaitsBack() {
    form->later = [this](std::chrono::milliseconds, std::function<void()> action) {
      waiting.push_back(std::move(action));
    };
  }
  void RunWaits() {
    std::vector<std::function<void()>> due = std::move(waiting);
    waiting.clear();
    for (auto& action : due) action();
  }
  void Key(Qt::Key key) { QTest::keyClick(form.get(), key); }
  QString Tip(const char* name) {
    return QTextDocumentFragment::fromHtml(Find<QAbstractButton>(name)->toolTip()).toPlainText();
  }
  KeyMark Mark(const char* name) { return MarkOf(Find<QAbstractButton>(name)); }

  std::unique_ptr<SimProcess> sim;
  std::vector<std::function<void()>> waiting;
};

TEST_F(WorkbenchTest, CountdownShowsEachSecondAndEscGivesTheLearnUp) {
  StartWithSim({"--learn-delay", "150"});
  Trigger("LearnL1");
  Key(Qt::Key_Escape);  // learn mode on, nothing awaited yet
  EXPECT_FALSE(form->Link().LearnMode());
  EXPECT_EQ(Text("Message"), "");

  Trigger("LearnL1");
  Click("Button1");
  EXPECT_EQ(Text("Message"), "Push Controller!");
  ticks.Tick(10);
  EXPECT_EQ(Text("Message"), "Push Controller! 9 s");
  ticks.Tick(10);
  EXPECT_EQ(Text("Message"), "Push Controller! 8 s");
  ASSERT_TRUE(QTest::qWaitFor([&] { return sim->Count("learn") == 1; }, 5000));
  Key(Qt::Key_Escape);
  EXPECT_EQ(Text("Message"), "");
  EXPECT_FALSE(form->Link().LearnMode());
  EXPECT_FALSE(form->Link().Busy());
  // The controller's answer comes after the learn was given up: it stores nothing.
  QTest::qWait(300);
  EXPECT_EQ(form->Codes().Data(101), "");
  EXPECT_FALSE(form->Codes().Changed(101));
  EXPECT_EQ(Text("Message"), "");
}

TEST_F(WorkbenchTest, KeysTellTheirCodeAndALearnedKeyShowsIt) {
  StartWithSim({"--learn-delay", "0", "--learn-code", kCutShort},
               {std::string("0117=") + kNec + " P1 TV VOL UP", std::string("0011=") + kNec});
  HoldWaitsBack();
  EXPECT_EQ(Tip("Button23"), QString::fromUtf8("0117 P1 TV VOL UP — NEC1 4.251 8"));
  EXPECT_FALSE(ShownDimmed(Find<QAbstractButton>("Button23")));
  EXPECT_EQ(Tip("Button1"), "0101 (no code)");
  EXPECT_TRUE(ShownDimmed(Find<QAbstractButton>("Button1")));
  EXPECT_TRUE(Tip("Button26").startsWith("EXT1")) << Tip("Button26").toStdString();
  EXPECT_TRUE(Tip("Button26").endsWith("0126 (no code)")) << Tip("Button26").toStdString();

  // The learned code is stored as any other, then said to be doubtful; the key shows it got it.
  Trigger("LearnL1");
  Click("Button1");
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Text("Message"), "learned code looks incomplete: learn again");
  EXPECT_EQ(form->Codes().Data(101), kCutShort);
  EXPECT_TRUE(form->Codes().Changed(101));
  EXPECT_EQ(Mark("Button1"), KeyMark::kLearned);
  EXPECT_TRUE(Tip("Button1").startsWith("0101 P1 TV 1")) << Tip("Button1").toStdString();
  EXPECT_FALSE(ShownDimmed(Find<QAbstractButton>("Button1")));
  RunWaits();
  EXPECT_EQ(Mark("Button1"), KeyMark::kNone);

  // PageDown and PageUp page the code list as its arrows do; the rows' tips follow.
  ShowTab(1);
  EXPECT_EQ(Tip("RB1"), "0001 (no code)");
  Key(Qt::Key_PageDown);
  EXPECT_EQ(form->ListPage(), 1);
  EXPECT_EQ(Tip("RB1"), QString::fromUtf8("0011 — NEC1 4.251 8"));
  Key(Qt::Key_PageUp);
  Key(Qt::Key_PageUp);
  EXPECT_EQ(form->ListPage(), 9);
}

TEST_F(WorkbenchTest, HeldKeyRepeatsUntilReleasedAndAClickSendsOnce) {
  StartWithSim({"--send-delay", "30"}, {std::string("0101=") + kNec});
  form->SetHoldTiming({std::chrono::milliseconds{0}, std::chrono::milliseconds{0}});
  int frames = 0;
  form->Link().SetTrafficObserver([&](ControllerLink::Traffic traffic, auto bytes) {
    if (traffic == ControllerLink::Traffic::kFrame && !bytes.empty() && bytes[0] == 'S') ++frames;
  });
  auto* key = Find<QAbstractButton>("Button1");

  Click("Button1");
  ASSERT_TRUE(WaitIdle());
  QTest::qWait(20);
  EXPECT_EQ(frames, 1);

  QTest::mousePress(key, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return frames >= 4 && form->Link().Busy(); }, 5000));
  QTest::mouseRelease(key, Qt::LeftButton);  // while an exchange is in flight
  const int held = frames;
  ASSERT_TRUE(WaitIdle());
  QTest::qWait(50);
  EXPECT_EQ(frames, held);
  EXPECT_EQ(Text("Message"), "Send(101)");  // no click after the hold, so no "busy"
  EXPECT_TRUE(QTest::qWaitFor([&] { return sim->Count("irsend") == held; }, 5000));

  // In learn mode a held key learns once, when it is let go.
  Trigger("LearnL1");
  QTest::mousePress(key, Qt::LeftButton);
  QTest::qWait(30);
  EXPECT_FALSE(form->Link().Busy());
  QTest::mouseRelease(key, Qt::LeftButton);
  EXPECT_EQ(form->Link().State(), kLearning);
  EXPECT_EQ(frames, held);
}

TEST_F(WorkbenchTest, LearnPageWalksTheKeysInOrderWithSkipAndStop) {
  StartWithSim({"--learn-delay", "0"});
  HoldWaitsBack();
  std::vector<QString> boxes;
  form->inform = [&](QWidget*, const QString& text) { boxes.push_back(text); };

  Trigger("LearnPage1");
  EXPECT_TRUE(form->PageLearnRunning());
  EXPECT_EQ(Text("Message"), "Push Controller! P1 TV 1");
  EXPECT_EQ(Mark("Button1"), KeyMark::kCurrent);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Mark("Button1"), KeyMark::kLearned);
  EXPECT_EQ(Mark("Button2"), KeyMark::kCurrent);  // next, after a pause
  RunWaits();
  EXPECT_EQ(Text("Message"), "Push Controller! P1 TV 2");
  ASSERT_TRUE(WaitIdle());

  Key(Qt::Key_Right);  // "3" is left as it is; the top PWR key comes next at once
  EXPECT_EQ(Text("Message"), "Push Controller! P1 TV POWER");
  EXPECT_EQ(Mark("SpeedButton4"), KeyMark::kCurrent);
  ASSERT_TRUE(WaitIdle());
  Key(Qt::Key_Escape);
  const QString summary = "Learned 3 keys: P1 TV 1, P1 TV 2, P1 TV POWER; skipped 1";
  EXPECT_EQ(Text("Message"), summary);
  RunWaits();
  EXPECT_EQ(boxes, std::vector<QString>{summary});
  EXPECT_FALSE(form->PageLearnRunning());
  EXPECT_FALSE(form->Link().LearnMode());
  EXPECT_EQ(sim->Count("learn"), 3);

  for (int code : {101, 102, 115}) {
    EXPECT_FALSE(form->Codes().Data(code).empty()) << code;
    EXPECT_TRUE(form->Codes().Changed(code)) << code;
  }
  EXPECT_EQ(form->Codes().Comment(115), "P1 TV POWER");
  EXPECT_FALSE(form->Codes().Changed(103));
  Stop();
  EXPECT_EQ(prompts.size(), 1u);
}

}  // namespace
}  // namespace kavro::test
