// The program's windows around the main window: what the Com_Lan menu and the About dialog say
// of the link, and the code library window made only when it is first needed.
#include "tests/mainwin/mainwin_fixture.h"

#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTcpServer>

#include "library/code_library_window.h"
#include "mainwin/about_dialog.h"
#include "mainwin/program_style.h"
#include "mainwin/program_windows.h"

namespace kavro::test {
namespace {

class LinkInSightTest : public MainWindowTest {
 protected:
  QString ItemText(const char* name) { return Find<QAction>(name)->text(); }
  // The About dialog's link line, as a user opening it now sees it.
  QString AboutLinkLine() {
    TForm2 about(form.get());
    form->SetAboutDialog(&about);
    Trigger("VersionV1");
    const QString line = about.findChild<QLabel*>(QStringLiteral("LinkState"))->text();
    about.Button1Click();
    form->SetAboutDialog(nullptr);
    return line;
  }
};

TEST_F(LinkInSightTest, SerialPortsNameTheirDevicesAndTheAboutDialogTheLinkInUse) {
  WriteDataFile({"[COMMON]", "COM=2", "[Lan]", "Host=192.0.2.7", "Port=2048", "[Serial]",
                 "COM2=/dev/ttyUSB0", "COM3=/dev/serial/by-id/usb-A&B"});
  Start();
  EXPECT_EQ(ItemText("COM12"), "COM1 (/dev/ttyS0)");
  EXPECT_EQ(ItemText("COM22"), "COM2 (/dev/ttyUSB0)");
  // An "&" in a path is shown as itself, not taken for an access key.
  EXPECT_EQ(ItemText("COM32"), "COM3 (/dev/serial/by-id/usb-A&&B)");
  EXPECT_EQ(ItemText("RaViz1"), "RaViz (192.0.2.7:2048)");
  EXPECT_TRUE(Find<QAction>("COM22")->isChecked());
  EXPECT_EQ(AboutLinkLine(), "Link: COM2 (/dev/ttyUSB0), closed");

  // Every showing names them anew from the file.
  WriteDataFile({"[COMMON]", "COM=2", "[Serial]", "COM2=/dev/ttyACM1"});
  form->hide();
  form->show();
  EXPECT_EQ(ItemText("COM22"), "COM2 (/dev/ttyACM1)");
  EXPECT_EQ(ItemText("COM32"), "COM3 (/dev/ttyS2)");
  EXPECT_EQ(ItemText("RaViz1"), "RaViz (127.0.0.1:1024)");
}

TEST_F(LinkInSightTest, TheAboutDialogSaysWhetherTheTcpLinkIsOpen) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
  const std::string port = std::to_string(server.serverPort());
  WriteDataFile({"[COMMON]", "COM=6", "[Lan]", "Host=127.0.0.1", "Port=" + port});
  Start();
  const QString name = QString::fromStdString("RaViz (127.0.0.1:" + port + ")");
  EXPECT_EQ(ItemText("RaViz1"), name);
  EXPECT_EQ(AboutLinkLine(), "Link: " + name + ", closed");
  form->Link().Open();
  EXPECT_EQ(AboutLinkLine(), "Link: " + name + ", open");
  Trigger("DisConnectD1");
  EXPECT_EQ(AboutLinkLine(), "Link: " + name + ", closed");
}

TEST_F(MainWindowTest, AboutAndLibraryWindowsAreMadeWhenFirstNeeded) {
  auto windows_named = [](const char* name) {
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
      count += window->objectName() == QString::fromLatin1(name);
    return count;
  };
  ProgramWindows windows({data_file}, "/nonexistent/kavro");
  windows.Show();
  EXPECT_EQ(windows_named("Form2"), 0);
  EXPECT_EQ(windows_named("Form3"), 0);
  // What the link has for the library goes nowhere while there is none.
  windows.Form1().LearnData("301000014040A000000000000000000000000010EF11EE000000000000");
  EXPECT_EQ(windows_named("Form3"), 0);

  auto trigger = [&windows](const char* name) {
    windows.Form1().findChild<QAction*>(QString::fromLatin1(name))->trigger();
  };
  trigger("VersionV1");
  ASSERT_EQ(windows_named("Form2"), 1);
  EXPECT_TRUE(windows.Form2().isVisible());
  EXPECT_FALSE(windows.Form1().isEnabled());
  windows.Form2().Button1Click();

  trigger("management1");
  ASSERT_EQ(windows_named("Form3"), 1);
  EXPECT_TRUE(windows.Form3().isVisible());
  EXPECT_FALSE(windows.Form1().isVisible());
  // Handing back and opening it again uses the same window.
  windows.Form3().hide();
  EXPECT_TRUE(windows.Form1().isVisible());
  trigger("management1");
  EXPECT_EQ(windows_named("Form3"), 1);
  windows.Form3().hide();
}

// The tab frame drawn in bands, to spare the start Qt's painting threads, is the platform
// style's to the pixel at any scale.
TEST(ProgramLook, BandedTabFrameMatchesThePlatformStyle) {
  App();
  std::unique_ptr<QStyle> platform(QStyleFactory::create(QStringLiteral("fusion")));
  ProgramStyle banded;
  banded.setBaseStyle(QStyleFactory::create(QStringLiteral("fusion")));
  for (const qreal ratio : {1.0, 2.0}) {
    auto draw = [ratio](const QStyle& style) {
      QImage image(QSize(161, 345) * ratio, QImage::Format_ARGB32_Premultiplied);
      image.setDevicePixelRatio(ratio);
      image.fill(Qt::transparent);
      QPainter painter(&image);
      QStyleOptionTabWidgetFrame frame;
      frame.rect = QRect(0, 0, 161, 345);
      frame.palette = QApplication::palette();
      style.drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter);
      return image;
    };
    EXPECT_EQ(draw(banded), draw(*platform)) << ratio;
  }
}

}  // namespace
}  // namespace kavro::test
