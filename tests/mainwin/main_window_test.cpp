// The main window's frame: its layout and names, the tab change rules, the About dialog, and
// failures reaching the error display.
#include "tests/mainwin/mainwin_fixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

#include "mainwin/about_dialog.h"
#include "mainwin/program_windows.h"

namespace kavro::test {
namespace {

TEST_F(MainWindowTest, ClientAreaNotebookAndEveryNamedControl) {
  Start();
  EXPECT_EQ(form->centralWidget()->size(), QSize(160, 346));
  EXPECT_EQ(form->centralWidget()->y(), form->menuBar()->height());
  EXPECT_EQ(form->size(), QSize(160, 346 + form->menuBar()->height()));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());

  auto* note = Find<QTabWidget>("Note1");
  EXPECT_EQ(note->geometry(), QRect(0, 0, 161, 345));
  ASSERT_EQ(note->count(), 3);
  EXPECT_EQ(note->tabText(0), "IR1");
  EXPECT_EQ(note->tabText(1), "IR2");
  EXPECT_EQ(note->tabText(2), "I/O");

  for (const char* name : {"Message", "Message2", "CommLabel", "RC1", "RC10", "Button1", "Button12",
                           "Button14", "Button16", "Button21", "Button24", "Button26", "Button31",
                           "RB1", "RB10", "OutPort", "InPort", "InData", "SendData"})
    Find(name);
  for (const char* name : {"OutAdr", "OutData", "InAdr", "SendBuff", "RComment"})
    Find<QLineEdit>(name);
  Find<QListWidget>("LogMsg");
  for (const char* name : {"File1", "PageP1", "COM"}) Find<QMenu>(name);
  for (const char* name :
       {"Page11", "Page21", "Page31", "COM12", "COM22", "COM32", "COM42", "COM52", "RaViz1",
        "DisConnectD1", "management1", "VersionV1", "Exit", "LearnL1"})
    Find<QAction>(name);

  // Graphic buttons never take the focus from the comment box or the I/O fields by a click; Tab
  // reaches the pad's, so that the whole pad works from the keyboard.
  for (const char* name : {"SpeedButton1", "SpeedButton2", "SpeedButton3", "SpeedButton4",
                           "SpeedButton5", "SpeedButton6", "SpeedButton7"})
    EXPECT_EQ(Find<QToolButton>(name)->focusPolicy(), Qt::TabFocus) << name;
  for (const char* name : {"PageLeft", "PageRight"})
    EXPECT_EQ(Find<QToolButton>(name)->focusPolicy(), Qt::NoFocus) << name;
}

TEST_F(MainWindowTest, TabChangesTurnLearnModeOffSilentlyAndFollowTheMenuRules) {
  WriteDataFile({"[COMMON]", "PAGE=2"});
  Start();
  auto* learn = Find<QAction>("LearnL1");
  QAction* page_menu = Find<QMenu>("PageP1")->menuAction();

  Trigger("LearnL1");
  EXPECT_EQ(Text("Message"), "Click Button!");
  ShowTab(1);
  EXPECT_FALSE(form->Link().LearnMode());
  EXPECT_EQ(Text("Message"), "");
  EXPECT_EQ(Text("Message2"), "");
  EXPECT_EQ(form->windowTitle(), "Kavro");
  EXPECT_TRUE(learn->isEnabled());
  EXPECT_FALSE(page_menu->isEnabled());

  // Learn mode on the list shows the comment box; a tab change leaves the box as it is.
  Trigger("LearnL1");
  EXPECT_FALSE(Find("RComment")->isHidden());
  EXPECT_EQ(Text("CommLabel"), "Comment");
  ShowTab(2);
  EXPECT_FALSE(form->Link().LearnMode());
  EXPECT_EQ(Find<QListWidget>("LogMsg")->count(), 0);
  EXPECT_EQ(Text("Message2"), "");
  EXPECT_FALSE(learn->isEnabled());
  EXPECT_FALSE(page_menu->isEnabled());
  EXPECT_FALSE(Find("RComment")->isHidden());

  ShowTab(0);
  EXPECT_EQ(form->windowTitle(), "Kavro(page2)");
  EXPECT_TRUE(learn->isEnabled());
  EXPECT_TRUE(page_menu->isEnabled());

  // Showing the window again goes back to the pad through the same change.
  ShowTab(2);
  form->hide();
  form->show();
  EXPECT_EQ(Find<QTabWidget>("Note1")->currentIndex(), 0);
  EXPECT_TRUE(learn->isEnabled());
  EXPECT_EQ(form->windowTitle(), "Kavro(page2)");
}

TEST_F(MainWindowTest, AboutDialogKeepsTheMainWindowDisabledUntilItGoes) {
  Start();
  TForm2 about(form.get());
  form->SetAboutDialog(&about);
  auto* using_file = about.findChild<QLabel*>(QStringLiteral("UsingFile"));

  // Leaving by the button, by the title bar and by Esc all give the main window back.
  for (int way = 0; way < 3; ++way) {
    Trigger("VersionV1");
    EXPECT_TRUE(about.isVisible());
    EXPECT_FALSE(form->isEnabled());
    EXPECT_EQ(using_file->text().toStdString(), data_file);
    if (way == 0)
      QTest::mouseClick(about.findChild<QAbstractButton*>(QStringLiteral("Button1")),
                        Qt::LeftButton);
    else if (way == 1)
      about.close();
    else
      QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible()) << way;
    EXPECT_TRUE(form->isEnabled()) << way;
  }
  form->SetAboutDialog(nullptr);
}

TEST_F(MainWindowTest, PortAndConnectionFailuresReachTheErrorDisplay) {
  const std::string code = "301000014040A000000000000000000000000010EF11EE000000000000";
  WriteDataFile({"[COMMON]", "COM=1", "[Serial]", "COM1=/nonexistent/tty", "[Data]",
                 "0101=" + code + " P1 TV 1"});
  Start();
  Click("Button1");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(
      errors[0],
      Q("ポートをオープンできませんでした: COM1 (/nonexistent/tty): No such file or directory"));
  EXPECT_EQ(Text("Message"), "Send(101)");
  // The failed open ended the exchange: the next press tries the port again.
  Click("Button1");
  EXPECT_EQ(errors.size(), 2u);
  EXPECT_EQ(form->Link().State(), kIdle);

  // The network server that is not there: the connect failure arrives later, from the socket.
  errors.clear();
  Trigger("DisConnectD1");
  Trigger("RaViz1");
  ASSERT_TRUE(form->Link().PortChoice() == kTcpPort);
  // Port 1 on the loopback address: nothing listens there.
  WriteDataFile({"[COMMON]", "COM=6", "[Lan]", "Port=1", "[Data]", "0101=" + code});
  form->hide();
  form->show();
  Click("Button1");
  EXPECT_TRUE(QTest::qWaitFor([this] { return !errors.empty(); }, 5000));
  EXPECT_TRUE(form->isVisible());
}

TEST_F(MainWindowTest, ExitEndsTheRunAndTheEndSavesOnce) {
  WriteDataFile({"[COMMON]", "PAGE=1"});
  {
    ProgramWindows windows({data_file}, "/nonexistent/kavro");
    windows.Show();
    windows.Form1().findChild<QAction*>(QStringLiteral("Page31"))->trigger();
    QMetaObject::invokeMethod(
        &windows.Form1(),
        [&] { windows.Form1().findChild<QAction*>(QStringLiteral("Exit"))->trigger(); },
        Qt::QueuedConnection);
    QApplication::exec();  // returns once the main window has closed
    EXPECT_FALSE(windows.Form1().isVisible());
  }
  EXPECT_EQ(FileText(), "[COMMON]\nPAGE=3\n");
}

// An exception from an event handler that no wrapper guards still reaches the display.
TEST_F(MainWindowTest, ApplicationShowsAnExceptionThatEscapesAnEvent) {
  struct Throwing : QObject {
    bool event(QEvent*) override { throw std::runtime_error("failed in an event"); }
  } target;
  QEvent event(QEvent::User);
  QCoreApplication::sendEvent(&target, &event);
  EXPECT_EQ(errors, std::vector<QString>{"failed in an event"});
}

}  // namespace
}  // namespace kavro::test
