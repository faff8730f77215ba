// The remote pad: which code number every key sends on each pad page in both modes, and the
// TV/VTR key.
#include "tests/mainwin/mainwin_fixture.h"

#include <QApplication>

#include <cstdio>
#include <filesystem>
#include <set>

#include "mainwin/about_dialog.h"
#include "mainwin/pad_page.h"

namespace kavro::test {
namespace {

constexpr const char* kCode = "301000014040A000000000000000000000000010EF11EE000000000000";

// Every code a pad key can stand for, stored in the file, with the simulated controller as COM1.
std::vector<std::string> PadCodesFile(const std::string& device) {
  std::vector<std::string> lines = {"[COMMON]", "COM=1", "[Serial]", "COM1=" + device, "[Data]"};
  for (int base : {100, 150, 200})
    for (int key = 1; key <= 45; ++key) {
      char line[96];
      std::snprintf(line, sizeof line, "%04d=%s", base + key, kCode);
      lines.emplace_back(line);
    }
  return lines;
}

TEST_F(MainWindowTest, EveryKeySendsItsCodeOnEachPadPageInBothModes) {
  auto sim = StartPtySim({"--frame-gap", "0"});
  WriteDataFile(PadCodesFile(sim->FirstLine()));
  Start();

  int sent = 0;
  for (int page = 1; page <= 3; ++page) {
    Trigger(page == 1 ? "Page11" : page == 2 ? "Page21" : "Page31");
    for (bool vtr : {false, true}) {
      if ((form->TvVtrOffset() != 0) != vtr) Click("SpeedButton7");
      for (const PadKey& key : PadKeys()) {
        const int expected = 50 + 50 * page + key.index + (key.shifted && vtr ? 31 : 0);
        Click(key.name);
        EXPECT_EQ(Text("Message"), QStringLiteral("Send(%1)").arg(expected))
            << key.name << " page " << page << (vtr ? " VTR" : " TV");
        ASSERT_TRUE(WaitIdle()) << key.name;
        ++sent;
      }
    }
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return sim->Count("irsend") == sent; }, 5000));
  EXPECT_EQ(sim->Count("preamble"), 1);
}

TEST_F(MainWindowTest, TvVtrKeyTogglesTheBlockAndClearsTheStatusLine) {
  Start();
  Click("Button1");
  EXPECT_EQ(Text("Message"), "None Data!");
  Click("SpeedButton7");
  EXPECT_EQ(Text("SpeedButton7"), "VTR");
  EXPECT_EQ(form->TvVtrOffset(), 31);
  EXPECT_EQ(Text("Message"), "");
  Click("Button1");
  Click("SpeedButton7");
  EXPECT_EQ(Text("SpeedButton7"), "TV");
  EXPECT_EQ(form->TvVtrOffset(), 0);
  EXPECT_EQ(Text("Message"), "");
}

TEST_F(MainWindowTest, ExtensionCaptionsFollowThePadPage) {
  WriteDataFile({"[EXT]", "msg11=照明", "msg16=扇風機", "msg23=カーテン"});
  Start();
  EXPECT_EQ(Text("Button26"), Q("照明"));
  EXPECT_EQ(Text("Button28"), "EXT3");
  EXPECT_EQ(Text("Button31"), Q("扇風機"));
  Trigger("Page21");
  EXPECT_EQ(form->windowTitle(), "Kavro(page2)");
  EXPECT_EQ(Text("Button26"), "EXT1");
  EXPECT_EQ(Text("Button28"), Q("カーテン"));
  Trigger("Page31");
  EXPECT_EQ(Text("Button28"), "EXT3");
  // Other keys keep their captions.
  EXPECT_EQ(Text("Button21"), "CH+");
}

// Every key is reached with Tab and pressed with Space; a long extension caption is drawn cut at
// its end, whole in the tool tip; the About dialog names the data file by its absolute path.
TEST_F(MainWindowTest, PadWorksFromTheKeyboardAndShowsWholeNames) {
  const std::filesystem::path folder = std::filesystem::path(data_file).parent_path();
  WriteDataFile({"[EXT]", "msg11=Living Light"});
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  form = std::make_unique<TForm1>(MainWindowSetup{{"kavro.dat"}, "/nonexistent/kavro", &ticks});
  form->show();
  QApplication::setActiveWindow(form.get());

  Find<QWidget>("Button1")->setFocus();
  std::set<QString> reached;
  for (int i = 0; i < 60; ++i) {
    reached.insert(QApplication::focusWidget()->objectName());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  for (const PadKey& key : PadKeys()) EXPECT_TRUE(reached.count(key.name)) << key.name;
  EXPECT_TRUE(reached.count("SpeedButton7"));
  Find<QWidget>("SpeedButton4")->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_EQ(Text("Message"), "None Data!");  // PWR was pressed: code 115 has no data

  auto* ext = Find<ExtKey>("Button26");
  EXPECT_EQ(ext->text(), "Living Light");
  EXPECT_TRUE(ext->toolTip().contains("Living Light")) << ext->toolTip().toStdString();
  const QString shown = ext->ShownCaption();
  EXPECT_TRUE(shown.startsWith("Li") && shown.endsWith(QChar(0x2026))) << shown.toStdString();
  EXPECT_LT(ext->fontMetrics().horizontalAdvance(shown), ext->width());

  TForm2 about(form.get());
  form->SetAboutDialog(&about);
  Trigger("VersionV1");
  EXPECT_EQ(about.findChild<QLabel*>("UsingFile")->text().toStdString(),
            (folder / "kavro.dat").string());
  about.close();
  form->SetAboutDialog(nullptr);
  form.reset();
  std::filesystem::current_path(before);
}

}  // namespace
}  // namespace kavro::test
