// The digital I/O page: field checks and their messages, the log's cap, a session's log, and the
// log saved with the time of each line.
#include "tests/mainwin/mainwin_fixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>

#include "mainwin/io_page.h"

namespace kavro::test {
namespace {

class IoPageTest : public MainWindowTest {
 protected:
  void SetField(const char* name, const char* text) {
    Find<QLineEdit>(name)->setText(QString::fromLatin1(text));
  }
  QListWidget* Log() { return Find<QListWidget>("LogMsg"); }
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    for (int i = 0; i < Log()->count(); ++i) lines.push_back(Log()->item(i)->text().toStdString());
    return lines;
  }
};

TEST_F(IoPageTest, FieldsAreCheckedBeforeAnythingIsSent) {
  Start();
  ShowTab(2);
  struct Case {
    const char* button;
    const char* address;
    const char* data;
    const char* message;
  } cases[] = {
      {"OutPort", "", "01", "address error!"},
      {"OutPort", "g", "01", "address error!"},
      {"OutPort", "10", "01", "address error!(0x0-0xf)"},
      {"OutPort", "-1", "01", "address error!(0x0-0xf)"},
      {"OutPort", "f", "", "data error!"},
      {"OutPort", "f", "-1", "data error!(0x00-0xff)"},
      {"InPort", "", nullptr, "address error!"},
      {"InPort", "0f", nullptr, "address error!(0x10-0x1f)"},
      {"InPort", "20", nullptr, "address error!(0x10-0x1f)"},
      {"SendData", nullptr, "", "data error!"},
      {"SendData", nullptr, " , ", "data error!"},
  };
  for (const Case& c : cases) {
    if (std::string(c.button) == "OutPort") {
      SetField("OutAdr", c.address);
      SetField("OutData", c.data);
    } else if (std::string(c.button) == "InPort") {
      SetField("InAdr", c.address);
    } else {
      SetField("SendBuff", c.data);
    }
    const int before = Log()->count();
    Click(c.button);
    ASSERT_EQ(Log()->count(), before + 1) << c.message;
    EXPECT_EQ(Log()->item(before)->text().toStdString(), c.message);
  }
  EXPECT_EQ(form->Link().LinkPort(), kLinkClosed);
  // Showing the window again empties the fields.
  form->hide();
  form->show();
  EXPECT_EQ(Find<QLineEdit>("OutAdr")->text(), "");
}

TEST_F(IoPageTest, LogKeepsTheNewest501LinesInView) {
  Start();
  ShowTab(2);
  Find<QLabel>("Message")->setText("kept");
  for (int i = 1; i <= 600; ++i) form->MsgOut("line " + std::to_string(i));
  ASSERT_EQ(Log()->count(), 501);
  EXPECT_EQ(Log()->item(0)->text(), "line 100");
  EXPECT_EQ(Log()->item(500)->text(), "line 600");
  EXPECT_EQ(Log()->verticalScrollBar()->value(), Log()->verticalScrollBar()->maximum());
  EXPECT_EQ(Text("Message"), "kept");
  EXPECT_EQ(Text("Message2"), "");
}

TEST_F(IoPageTest, SavedLogHasEachLineWithTheTimeItWasLogged) {
  Start();
  ShowTab(2);
  auto* traffic = Find<TrafficLog>("LogMsgTraffic");
  QDateTime now(QDate(2026, 12, 8), QTime(9, 12, 3, 456));
  traffic->clock = [&now] {
    const QDateTime logged = now;
    now = now.addMSecs(1500);
    return logged;
  };
  form->MsgOut("OutPort 03,FF");
  form->MsgOut(" S:03FF");
  // Timestamps show the time of day in the list; off again, the lines are exactly as logged.
  traffic->timestamps_action->trigger();
  EXPECT_EQ(Log()->item(1)->text(), "09:12:04.956  S:03FF");
  form->MsgOut(Sjis("変更データ"));
  EXPECT_EQ(Log()->item(2)->text(), Q("09:12:06.456 変更データ"));
  traffic->timestamps_action->trigger();
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"OutPort 03,FF", " S:03FF", "変更データ"}));

  const std::filesystem::path folder = std::filesystem::path(data_file).parent_path();
  QString chosen = QString::fromStdString((folder / "log.txt").string());
  traffic->choose_file = [&chosen](QWidget*) { return chosen; };
  Click("SaveLog");
  std::ifstream in(folder / "log.txt", std::ios::binary);
  std::stringstream saved;
  saved << in.rdbuf();
  EXPECT_EQ(saved.str(),
            "2026-12-08 09:12:03.456 OutPort 03,FF\n"
            "2026-12-08 09:12:04.956  S:03FF\n"
            "2026-12-08 09:12:06.456 変更データ\n");

  // A folder that is not there: the message names the file and why, and the log stays.
  chosen = QString::fromStdString((folder / "gone" / "log.txt").string());
  traffic->save_action->trigger();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "The log could not be saved: " + chosen + ": no such file or folder");
  EXPECT_EQ(Log()->count(), 3);
}

TEST_F(IoPageTest, SessionOverTheSimulatorLogsFramesAndReplies) {
  auto sim = StartPtySim({"--in-value", "5A"});
  WriteDataFile({"[COMMON]", "COM=1", "[Serial]", "COM1=" + sim->FirstLine()});
  Start();
  ShowTab(2);
  SetField("OutAdr", "03");
  SetField("OutData", "FF");
  Click("OutPort");
  // The output write leaves the link idle, so the read goes out at once.
  SetField("InAdr", "12");
  Click("InPort");
  ASSERT_TRUE(WaitIdle());
  Find<QLineEdit>("SendBuff")->setText(QStringLiteral("\"ABC\"0d0a"));
  Click("SendData");
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{"OutPort 03,FF", " S:03FF", "InPort 12", " S:12", " R:5A",
                                      "SendData length = 5", " S:4142430D0A"}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return sim->Count("output") == 2; }, 5000)) << sim->Log();
  // No answer to the raw bytes: the time-out ends it and closes the port.
  ticks.Tick(20);
  EXPECT_EQ(LogLines().back(), "RS232C timeout!");
  EXPECT_EQ(form->Link().LinkPort(), kLinkClosed);
}

}  // namespace
}  // namespace kavro::test
