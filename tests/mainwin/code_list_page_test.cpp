// The code list page: numbering and wrap-around, comments, and learning with the comment box.
#include "tests/mainwin/mainwin_fixture.h"

#include <QLineEdit>

namespace kavro::test {
namespace {

constexpr const char* kCode = "301000014040A000000000000000000000000010EF11EE000000000000";
// What the simulator learns: the third frame is absent, so its bytes come back cleared.
constexpr const char* kSimCode = "200A000140400A8012014040A0000102030405112233445566778899AA";
constexpr const char* kStoredCode = "200A000140400A8012014040A0000000000000112233445566778899AA";

TEST_F(MainWindowTest, ListPagesNumberTheRowsAndWrapRound) {
  WriteDataFile({"[Data]", std::string("0001=") + kCode + " テレビ電源",
                 std::string("0002=") + kCode, std::string("0100=") + kCode + " 最後"});
  Start();
  ShowTab(1);
  EXPECT_EQ(Text("RB1"), "1");
  EXPECT_EQ(Text("RB10"), "10");
  EXPECT_EQ(Text("RC1"), Q("テレビ電源"));
  EXPECT_EQ(Text("RC2"), "");  // data but no comment

  form->MsgOut("old message");
  EXPECT_EQ(Text("Message2"), "old message");
  Click("PageLeft");
  EXPECT_EQ(Text("Message2"), "");
  EXPECT_EQ(form->ListPage(), 9);
  EXPECT_EQ(Text("RB1"), "91");
  EXPECT_EQ(Text("RB10"), "100");
  EXPECT_EQ(Text("RC10"), Q("最後"));
  EXPECT_EQ(Text("RC1"), "");

  Click("PageRight");
  EXPECT_EQ(form->ListPage(), 0);
  EXPECT_EQ(Text("RB1"), "1");
  Click("PageRight");
  EXPECT_EQ(Text("RB1"), "11");
}

class CodeListLearnTest : public MainWindowTest {
 protected:
  void StartWithSim(std::vector<std::string> options) {
    sim = StartPtySim(std::move(options));
    WriteDataFile({"[COMMON]", "COM=1", "[Serial]", "COM1=" + sim->FirstLine(), "[Data]",
                   std::string("0001=") + kCode, std::string("0003=") + kCode + " 音量－"});
    Start();
    ShowTab(1);
  }
  QLineEdit* Comment() { return Find<QLineEdit>("RComment"); }

  std::unique_ptr<SimProcess> sim;
};

TEST_F(CodeListLearnTest, LearnTakesTheCommentBoxTextWhenTheCodeArrives) {
  StartWithSim({"--learn-delay", "0", "--learn-code", kSimCode});
  Trigger("LearnL1");
  EXPECT_FALSE(Comment()->isHidden());
  EXPECT_EQ(Text("CommLabel"), "Comment");

  Click("RB3");
  EXPECT_EQ(Comment()->text(), Q("音量－"));  // the stored comment, to be edited
  EXPECT_EQ(Text("Message2"), "Push Controller!");
  // Twenty bytes of Shift-JIS: ten double-byte characters fit whole.
  Comment()->setText(Q("新しい名前の音量です"));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Text("Message2"), "Learn OK!");
  EXPECT_EQ(form->Codes().Data(3), kStoredCode);
  EXPECT_EQ(form->Codes().Comment(3), Sjis("新しい名前の音量です"));
  EXPECT_TRUE(form->Codes().Changed(3));
  EXPECT_EQ(Text("RC3"), Q("新しい名前の音量です"));
  EXPECT_TRUE(Comment()->isHidden());
  EXPECT_FALSE(form->Link().LearnMode());
}

TEST_F(CodeListLearnTest, CodeWithoutCommentIsNotLearnedAndBusyIsToldFirst) {
  StartWithSim({"--silent"});
  Trigger("LearnL1");
  Comment()->setText("typed before");
  Click("RB2");
  EXPECT_EQ(Text("Message2"), "Comment nothing!");
  EXPECT_EQ(Comment()->text(), "");
  EXPECT_EQ(form->Link().State(), kIdle);
  EXPECT_EQ(form->Link().LinkPort(), kLinkClosed);

  // A send that the silent controller never answers keeps the link busy.
  Trigger("LearnL1");
  Click("RB1");
  EXPECT_TRUE(form->Link().Busy());
  Trigger("LearnL1");
  Click("RB2");
  EXPECT_EQ(Text("Message2"), "RS232C using!");
}

}  // namespace
}  // namespace kavro::test
