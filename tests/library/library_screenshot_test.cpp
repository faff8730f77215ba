// The window as a user sees it, with codes drawn in both traces. Set KAVRO_LIBRARY_SCREENSHOT to
// a file name to have the picture written there (docs/screenshots/library.png is made so).
#include <QImage>
#include <QPixmap>
#include <QRadioButton>

#include <cstdlib>

#include "library/signal_image.h"
#include "tests/library/library_fixture.h"

namespace kavro::test {
namespace {

// A remote's code of three frames, as learned: 32 bits, a repeat of 16 and a short tail of 8.
constexpr const char* kThreeFrames = "2A0E0081AC40D28C6001A8204C8A0001684010B64FE33AC5A55A0FF000";
constexpr const char* kOneFrame = "300F000180400A0000000000000000000000001A2B3C4D000000000000";

TEST_F(LibraryTest, WindowShowsTheListAndBothTraces) {
  WriteFile({std::string("0012=") + kOneFrame + " " + ToSjis(QStringLiteral("テレビ 電源")),
             std::string("0250=") + kThreeFrames + " " + ToSjis(QStringLiteral("エアコン 冷房")),
             std::string("0260=") + kOneFrame + " " + ToSjis(QStringLiteral("照明 全灯")),
             std::string("0270=") + kThreeFrames + " " + ToSjis(QStringLiteral("照明 消灯"))});
  Open();
  Select(1);
  Find<QRadioButton>("Logic2")->click();
  Select(2);
  window->MsgOut("Send(0260)");

  const QImage shot = window->grab().toImage();
  if (const char* path = std::getenv("KAVRO_LIBRARY_SCREENSHOT")) {
    EXPECT_TRUE(shot.save(path));
  }

  // Both traces hold black lines, at the places the image takes in the window.
  const QImage& traces = window->Image().Image();
  int upper = 0, lower = 0;
  for (int y = 0; y < traces.height(); ++y)
    for (int x = 0; x < traces.width(); ++x)
      if (traces.pixelColor(x, y) == Qt::black) ++(y < traces.height() / 2 ? upper : lower);
  EXPECT_GT(upper, 500);
  EXPECT_GT(lower, 500);
  const QPoint at = window->Image().mapTo(window.get(), QPoint(0, 0));
  EXPECT_EQ(shot.copy(QRect(at, traces.size())).convertToFormat(traces.format()), traces);
}

}  // namespace
}  // namespace kavro::test
