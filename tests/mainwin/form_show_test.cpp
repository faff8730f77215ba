// Loading at every showing: defaults, odd stored values, a port that is no number, values
// longer than their slots, and the reload when the window is shown again.
#include "tests/mainwin/mainwin_fixture.h"

#include "datafile/store.h"
#include "link/tcp_channel.h"

namespace kavro::test {
namespace {

bool Checked(TForm1& form, const char* name) {
  return form.findChild<QAction*>(QString::fromLatin1(name))->isChecked();
}

TEST_F(MainWindowTest, MissingFileGivesEveryDefault) {
  Start();
  EXPECT_TRUE(Checked(*form, "COM12"));
  EXPECT_EQ(form->Link().PortChoice(), 1);
  EXPECT_EQ(form->ClientSocket1().Host(), "127.0.0.1");
  EXPECT_EQ(form->ClientSocket1().Port(), 1024);
  EXPECT_EQ(Text("SpeedButton7"), "TV");
  EXPECT_EQ(form->TvVtrOffset(), 0);
  EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(Checked(*form, "Page11"));
  EXPECT_EQ(form->windowTitle(), "Kavro(page1)");
  EXPECT_EQ(Text("Button26"), "EXT1");
  EXPECT_EQ(Text("Button31"), "EXT6");
  EXPECT_EQ(Text("RB1"), "1");
  EXPECT_EQ(Text("Message"), "");
  EXPECT_TRUE(Find("RComment")->isHidden());
  EXPECT_EQ(Text("CommLabel"), "");
  Click("Button1");
  EXPECT_EQ(Text("Message"), "None Data!");
  Stop();
  EXPECT_TRUE(errors.empty());
}

// A data file that is there but cannot be read is said at once, not passed off as defaults,
// and the run's end writes nothing over it.
TEST_F(MainWindowTest, UnreadableDataFileIsSaidAtShowing) {
  std::filesystem::create_directory(data_file);
  Start();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].endsWith(QString::fromStdString(data_file + ": not a regular file")))
      << errors[0].toStdString();
  Trigger("COM32");
  Stop();
  EXPECT_TRUE(std::filesystem::is_directory(data_file));
}

struct OddValues {
  std::vector<std::string> common;
  const char* port_item;
  bool stay_on_top;
  const char* tv_vtr_caption;
  const char* title;
  const char* first_row;
  const char* list_page_after_exit;
};

TEST_F(MainWindowTest, OddStoredValuesAreReadByTheirFirstCharacterOrExactly) {
  const OddValues cases[] = {
      {{"COM=9", "PAGE=4", "PAGE2=12", "StayOnTop=TRUE", "TV_VTR=2"},
       "COM12",
       false,
       "TV",
       "Kavro(page1)",
       "1",
       "PAGE2=0"},
      {{"COM=55", "PAGE=3x", "Page2=7x", "StayOnTop=true ", "TV_VTR=1"},
       "COM52",
       false,
       "VTR",
       "Kavro(page3)",
       "71",
       "Page2=7x"},
      {{"COM=x", "PAGE=2", "PAGE2=", "StayOnTop=true", "TV_VTR=10"},
       "COM12",
       true,
       "VTR",
       "Kavro(page2)",
       "1",
       "PAGE2="},
  };
  for (const OddValues& c : cases) {
    std::vector<std::string> lines{"[COMMON]"};
    lines.insert(lines.end(), c.common.begin(), c.common.end());
    WriteDataFile(lines);
    Start();
    EXPECT_TRUE(Checked(*form, c.port_item)) << c.port_item;
    EXPECT_EQ(bool(form->windowFlags() & Qt::WindowStaysOnTopHint), c.stay_on_top) << c.title;
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Text("SpeedButton7"), c.tv_vtr_caption);
    EXPECT_EQ(form->windowTitle(), c.title);
    EXPECT_EQ(Text("RB1"), c.first_row);
    Stop();
    // A list page of 12 was reset to 0 and is written back; the others match what is stored.
    EXPECT_NE(FileText().find(std::string(c.list_page_after_exit) + "\n"), std::string::npos)
        << FileText();
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(MainWindowTest, PortThatIsNoNumberStopsTheShowingWithAnError) {
  WriteDataFile({"[COMMON]", "COM=6", "TV_VTR=1", "PAGE=2", "[Lan]", "Host=192.0.2.7", "Port=10x24",
                 "[EXT]", "msg11=照明"});
  Start();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].contains("10x24")) << errors[0].toStdString();
  EXPECT_TRUE(form->isVisible());
  // Steps up to the host were done, the rest was not.
  EXPECT_TRUE(Checked(*form, "RaViz1"));
  EXPECT_EQ(form->ClientSocket1().Host(), "192.0.2.7");
  EXPECT_EQ(Text("SpeedButton7"), "TV");
  EXPECT_EQ(Text("Button26"), "EXT1");
  EXPECT_TRUE(Checked(*form, "Page11"));

  // A number that is no port is refused the same way, not cut to 16 bits.
  errors.clear();
  WriteKeyValue(data_file, "Lan", "Port", "70000");
  form->hide();
  form->show();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(form->ClientSocket1().Port(), 1024);
}

TEST_F(MainWindowTest, StoredValuesLongerThanTheirSlotsAreCutOnCharacterBoundaries) {
  const std::string data70(70, 'A');
  WriteDataFile({"[EXT]",
                 "msg11=あいうえおかきくけこ",  // 20 bytes: 19 holds nine characters
                 "msg36=EXT-LABEL-OF-21-BYTES", "[Data]",
                 "0001=" + data70 + " 一二三四五六七八九十十一",  // comment of 24 bytes
                 "0007=A1B2C3", "0250=A1B2C3 not mine", "abc=A1B2C3 no number"});
  Start();
  EXPECT_EQ(Text("Button26"), Q("あいうえおかきくけ"));
  EXPECT_EQ(form->ExtLabel(3, 6), "EXT-LABEL-OF-21-BYT");
  EXPECT_EQ(form->Codes().Data(1), std::string(60, 'A'));
  EXPECT_EQ(form->Codes().Comment(1), Sjis("一二三四五六七八九十"));
  EXPECT_EQ(Text("RC1"), Q("一二三四五六七八九十"));
  EXPECT_EQ(form->Codes().Data(7), "A1B2C3");
  EXPECT_EQ(Text("RC7"), "");
  EXPECT_EQ(form->Codes().Data(250), "");
}

TEST_F(MainWindowTest, ShowingAgainReloadsFromTheFile) {
  WriteDataFile(
      {"[EXT]", "msg12=エアコン", "[Data]", "0005=A1B2C3 古い名前", "0006=A1B2C3 消える"});
  Start();
  EXPECT_EQ(Text("RC6"), Q("消える"));
  WriteDataFile({"[EXT]", "msg12=照明", "[Data]", "0005=C3B2A1 新しい名前"});
  form->hide();
  form->show();
  EXPECT_EQ(Text("Button27"), Q("照明"));
  EXPECT_EQ(form->Codes().Data(5), "C3B2A1");
  EXPECT_EQ(Text("RC5"), Q("新しい名前"));
  // A code no longer stored shows no comment.
  EXPECT_EQ(form->Codes().Data(6), "");
  EXPECT_EQ(Text("RC6"), "");
}

}  // namespace
}  // namespace kavro::test
