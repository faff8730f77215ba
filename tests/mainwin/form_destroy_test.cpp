// The end of the run: settings written back only where they differ, learned codes saved after
// one question, and the hand-over to the code library window with its own question.
#include "tests/mainwin/mainwin_fixture.h"

#include "library/code_library_window.h"

namespace kavro::test {
namespace {

constexpr const char* kSimCode = "200A000140400A8012014040A0000102030405112233445566778899AA";
constexpr const char* kStoredCode = "200A000140400A8012014040A0000000000000112233445566778899AA";
const char kPrompt[] = "保存確認: 変更データを保存しますか？";

TEST_F(MainWindowTest, UnchangedSettingsLeaveTheFileAsItWas) {
  WriteDataFile({"[COMMON]", "COM=2", "PAGE=3", "PAGE2=04", "TV_VTR=1", "StayOnTop=true", "[Lan]",
                 "Host=192.0.2.1", "Port=4711", "[Data]", "0001=A1B2C3 テレビ"});
  const std::string before = FileBytes();
  Start();
  Stop();
  EXPECT_EQ(FileBytes(), before);
  EXPECT_TRUE(prompts.empty());
}

TEST_F(MainWindowTest, ChangedSettingsAreWrittenBackAndNothingElse) {
  WriteDataFile({"[COMMON]", "COM=1", "PAGE=1", "TV_VTR=0", "[Lan]", "Port=4711"});
  Start();
  Trigger("RaViz1");
  Trigger("Page21");
  Click("SpeedButton7");
  ShowTab(1);
  Click("PageRight");
  Click("PageRight");
  Stop();
  EXPECT_EQ(FileText(), "[COMMON]\nCOM=6\nPAGE=2\nTV_VTR=1\nPAGE2=2\n[Lan]\nPort=4711\n");
  EXPECT_TRUE(prompts.empty());
}

TEST_F(MainWindowTest, ModeStoredAsAnotherValueIsNotWritten) {
  WriteDataFile({"[COMMON]", "TV_VTR=2"});
  Start();
  Click("SpeedButton7");
  Stop();
  EXPECT_EQ(FileText(), "[COMMON]\nTV_VTR=2\n");
}

class LearnedCodeTest : public MainWindowTest {
 protected:
  void SetUp() override {
    sim = StartPtySim({"--learn-delay", "0", "--learn-code", kSimCode});
    WriteDataFile({"[COMMON]", "COM=1", "PAGE=1", "PAGE2=0", "TV_VTR=0", "[Serial]",
                   "COM1=" + sim->FirstLine(), "[Data]", "0001=A1B2C3 テレビ"});
  }
  // Key "5" on pad page 2 in VTR mode learns code 186.
  void LearnOnThePad() {
    Trigger("Page21");
    Click("SpeedButton7");
    Trigger("LearnL1");
    Click("Button5");
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(Text("Message"), "Learn OK!");
    ASSERT_TRUE(form->Codes().Changed(186));
  }

  std::unique_ptr<SimProcess> sim;
};

TEST_F(LearnedCodeTest, ExitAsksOnceAndOkSavesTheNamedCodeForTheNextRun) {
  Start();
  LearnOnThePad();
  Trigger("Exit");
  EXPECT_FALSE(form->isVisible());
  Stop();
  EXPECT_EQ(prompts, std::vector<QString>{Q(kPrompt)});
  EXPECT_NE(FileText().find(std::string("0186=") + kStoredCode + " P2 VTR 5\n"), std::string::npos)
      << FileText();

  // The next run loads it with its name and can send it.
  prompts.clear();
  Start();
  EXPECT_EQ(form->Codes().Data(186), kStoredCode);
  EXPECT_EQ(form->Codes().Comment(186), "P2 VTR 5");
  EXPECT_FALSE(form->Codes().Changed(186));
  EXPECT_EQ(form->windowTitle(), "Kavro(page2)");
  Click("Button5");
  EXPECT_EQ(Text("Message"), "Send(186)");
  ASSERT_TRUE(WaitIdle());
  Stop();
  EXPECT_TRUE(prompts.empty());
}

TEST_F(LearnedCodeTest, CancelAtExitWritesNoCode) {
  Start();
  LearnOnThePad();
  prompt_answer = false;
  Stop();
  EXPECT_EQ(prompts.size(), 1u);
  EXPECT_EQ(FileText().find("0186="), std::string::npos);
}

TEST_F(LearnedCodeTest, LibraryHandOverAsksAndCancelDropsTheLearnedCode) {
  Start();
  TForm3 library(*form);
  library.prompt = [](QWidget*, const QString&, const QString&) { return false; };
  form->SetLibraryWindow(&library);
  LearnOnThePad();
  const std::string before = FileBytes();
  prompt_answer = false;
  Trigger("management1");
  EXPECT_EQ(prompts, std::vector<QString>{Q(kPrompt)});
  EXPECT_TRUE(library.isVisible());
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->Codes().Changed(186));
  EXPECT_EQ(form->Codes().Data(186), kStoredCode);  // kept until the reload

  // The library hands back: the main window shows again and reloads from the unchanged file.
  library.hide();
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->Codes().Data(186), "");
  EXPECT_EQ(FileBytes(), before);
  form->SetLibraryWindow(nullptr);
  Stop();
  EXPECT_EQ(prompts.size(), 1u);
}

TEST_F(LearnedCodeTest, CodeThatCannotBeSavedIsReportedNotLostSilently) {
  Start();
  LearnOnThePad();
  // The data file has become something that cannot be rewritten.
  std::filesystem::remove(data_file);
  std::filesystem::create_directory(data_file);
  Stop();
  EXPECT_EQ(prompts.size(), 1u);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].endsWith(QString::fromStdString(data_file + ": not a regular file")))
      << errors[0].toStdString();
}

}  // namespace
}  // namespace kavro::test
