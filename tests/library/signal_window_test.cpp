// The signal window: the readout of known pieces, zoom and pan around the cursor within their
// bounds, agreement with the fixed panel's walk, and the two layouts as painted.
#include "library/signal_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>

#include <array>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "datafile/hex_text.h"
#include "library/signal_view.h"
#include "tests/library/library_fixture.h"
#include "tests/library/recording_surface.h"
#include "tests/library/test_blocks.h"

namespace kavro::test {
namespace {

std::string Text(const Block& block) { return BytesToHexText(block); }

class SignalWindowTest : public ::testing::Test {
 protected:
  SignalWindowTest() {
    window.resize(1000, 400);
    window.show();
  }
  void Show(const Block& block, std::optional<double> unit_ns = std::nullopt) {
    window.SetCodes({{"0117", "", Text(block)}}, unit_ns);
  }
  std::string ReadoutAt(double time) const {
    const std::optional<PieceReadout> readout = window.ReadoutAt(0, time);
    return readout ? ReadoutText(*readout) : "none";
  }

  QtApp app;
  SignalWindow window;
};

TEST_F(SignalWindowTest, ReadoutOfKnownPieces) {
  Show(ThreeFrameCode(), 26300);
  const struct {
    double time;
    const char* text;
  } cases[] = {
      {0, "0117  mark  leader mark  frame 1  8 counts  210.4 µs"},
      {11.9, "0117  space  leader space  frame 1  4 counts  105.2 µs"},
      {13, "0117  space  bit space  frame 1  3 counts  78.9 µs  bit 0 = 1"},
      {24, "0117  space  pause  after frame 1  100 counts  2630.0 µs"},
      // Bits run on into frame 2 from the fifth.
      {135.5, "0117  space  bit space  frame 2  3 counts  78.9 µs  bit 4 = 1"},
      {141, "0117  mark  bit mark  frame 2  1 count  26.3 µs  bit 6 = 0"},
      {205.9, "0117  space  bit space  frame 3  3 counts  78.9 µs  bit 8 = 1"},
      {-0.5, "none"},
      {206, "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadoutAt(c.time), c.text) << c.time;
  const std::optional<PieceReadout> bit = window.ReadoutAt(0, 135.5);
  ASSERT_TRUE(bit);
  EXPECT_EQ(bit->start, 134);
  EXPECT_FALSE(bit->IsMark());

  // The plot's mouse gets the same text at the same time.
  const int x = static_cast<int>(std::lround(window.XAtTime(135.5)));
  EXPECT_EQ(window.ReadoutTextAt(QPoint(x, 60)).toStdString(), ReadoutAt(window.TimeAtX(x)));

  // Without a time unit no µs; a pause of 0 counts is never under the cursor.
  Block no_gap = ThreeFrameCode();
  no_gap[8] = 0;
  Show(no_gap);
  EXPECT_EQ(ReadoutAt(24), "0117  mark  leader mark  frame 2  6 counts");
}

TEST_F(SignalWindowTest, ZoomAndPanKeepTheCursorTimeAndStayBounded) {
  Show(ThreeFrameCode());
  const double fit_start = window.ViewStart(), fit_span = window.ViewSpan();
  EXPECT_DOUBLE_EQ(fit_start, -0.02 * 206);
  EXPECT_DOUBLE_EQ(fit_span, 1.04 * 206);
  EXPECT_NEAR(window.TimeAtX(window.XAtTime(57.25)), 57.25, 1e-9);

  const double x = 300;
  const double t = window.TimeAtX(x);
  window.ZoomAt(x, 4);
  EXPECT_DOUBLE_EQ(window.ViewSpan(), fit_span / 4);
  EXPECT_NEAR(window.TimeAtX(x), t, 1e-9);
  for (int i = 0; i < 100; ++i) window.ZoomAt(x, 10);
  EXPECT_DOUBLE_EQ(window.ViewSpan(), window.MinSpan());
  EXPECT_NEAR(window.TimeAtX(x), t, 1e-9);
  for (double bad : {0.0, -2.0, std::nan(""), HUGE_VAL}) window.ZoomAt(x, bad);
  EXPECT_DOUBLE_EQ(window.ViewSpan(), window.MinSpan());
  window.ZoomAt(x, 1e-300);
  EXPECT_DOUBLE_EQ(window.ViewSpan(), fit_span);
  EXPECT_DOUBLE_EQ(window.ViewStart(), fit_start);

  // Panning stops at either end of the fitted span.
  window.ZoomAt(x, 4);
  window.PanBy(1e12);
  EXPECT_DOUBLE_EQ(window.ViewStart(), fit_start);
  window.PanBy(-1e12);
  EXPECT_DOUBLE_EQ(window.ViewStart() + window.ViewSpan(), fit_start + fit_span);

  // The mouse: a wheel notch zooms around the cursor, a drag pans, a double-click fits.
  window.Fit();
  QWidget* plot = window.Plot();
  const QPointF at(400, 50);
  const double under = window.TimeAtX(at.x());
  QWheelEvent wheel(at, plot->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(plot, &wheel);
  EXPECT_DOUBLE_EQ(window.ViewSpan(), fit_span / 1.25);
  EXPECT_NEAR(window.TimeAtX(at.x()), under, 1e-9);
  auto mouse = [&](QEvent::Type type, QPointF pos, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, plot->mapToGlobal(pos), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(plot, &event);
  };
  const double before = window.ViewStart();
  const double per_pixel = window.ViewSpan() / (plot->width() - 20);
  mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
  mouse(QEvent::MouseMove, at + QPointF(30, 5), Qt::LeftButton);
  mouse(QEvent::MouseButtonRelease, at + QPointF(30, 5), Qt::NoButton);
  EXPECT_NEAR(window.ViewStart(), before - 30 * per_pixel, 1e-9);
  mouse(QEvent::MouseButtonDblClick, at, Qt::LeftButton);
  EXPECT_DOUBLE_EQ(window.ViewSpan(), fit_span);

  // No signal: nothing to zoom into, a clear text, and a paint that still works.
  Block empty = ThreeFrameCode();
  empty[19] = 0;
  Show(empty);
  EXPECT_EQ(window.Problem(0), "no signal: empty block (byte 0 or byte 19 is zero)");
  window.ZoomAt(x, 1000);
  EXPECT_TRUE(std::isfinite(window.TimeAtX(x)));
  EXPECT_EQ(window.VisiblePieces(0), (std::pair<int, int>{0, 0}));
  EXPECT_FALSE(window.ReadoutAt(0, 0));
  EXPECT_FALSE(window.grab().isNull());
  window.SetCodes({{"0118", "", "03G1"}}, std::nullopt);
  EXPECT_EQ(window.Problem(0),
            "no signal: \"G\" at character 3 of the data text is not a hex digit");
  EXPECT_EQ(window.DecodeText().toStdString(), "0118  " + window.Problem(0));
}

// Whatever the code, the window paints exactly the walk the fixed panel draws, to the same total.
TEST_F(SignalWindowTest, DrawsTheSameWalkAsTheFixedPanel) {
  Block width_coded{};
  width_coded[0] = 0x30;
  width_coded[1] = 0x10;
  width_coded[2] = 0x20;
  width_coded[3] = 0x81;
  width_coded[4] = 0x40;
  width_coded[5] = 32 << 1;
  width_coded[6] = 0xA0;
  width_coded[19] = 0xA5;
  for (const Block& block : {ThreeFrameCode(), width_coded, LongFrameCode()}) {
    RecordingSurface surface(548, 67);
    SignalView view(surface);
    view.SetCurrent(SignalBlock(block));
    ASSERT_EQ(view.DispLogic(Trace::kUpper, kShowAllFrames), 0);
    Show(block);
    const std::vector<codec::Piece>& pieces = window.Pieces(0);
    const auto [first, last] = window.VisiblePieces(0);
    EXPECT_EQ(first, 0);
    ASSERT_EQ(last, static_cast<int>(pieces.size()));
    const std::int64_t drawn =
        std::accumulate(pieces.begin(), pieces.end(), std::int64_t{0},
                        [](std::int64_t sum, const codec::Piece& p) { return sum + p.counts; });
    EXPECT_EQ(drawn, view.TotalTime());
    EXPECT_EQ(window.TotalCounts(0), view.TotalTime());
  }
  // Zoomed in, only the pieces around the view are painted.
  window.ZoomAt(500, 50);
  const auto [first, last] = window.VisiblePieces(0);
  EXPECT_GT(first, 0);
  EXPECT_LT(last - first, 10);
}

// Stacked: each code in its own band in its colour; overlaid: both across the one band. Titles
// carry the comment as text, the decode line the protocol and the length.
TEST_F(SignalWindowTest, LayoutsTitlesAndDecode) {
  const std::string nec = "6020000200430088B00200028000000000000020DF10EF000000000000";
  window.SetCodes({{"0117", "\x83\x65\x83\x8c\x83\x72", nec}, {"0118", "", Text(ThreeFrameCode())}},
                  17625);
  EXPECT_EQ(window.Title(0), QString::fromUtf8("0117  テレビ"));
  EXPECT_EQ(window.Title(1), QString::fromUtf8("0118"));
  const QStringList decode = window.DecodeText().split('\n');
  ASSERT_EQ(decode.size(), 2);
  EXPECT_TRUE(decode[0].startsWith("0117  NEC1  device 4.251  function 8  "))
      << decode[0].toStdString();
  EXPECT_TRUE(decode[0].endsWith(" ms")) << decode[0].toStdString();

  // Which trace colours show in the upper and the lower half of the plot.
  auto colours = [&] {
    const QImage image = window.Plot()->grab().toImage();
    std::array<std::array<bool, 2>, 2> seen{};
    for (int y = 0; y < image.height() - 30; ++y)
      for (int x = 10; x < image.width() - 10; ++x) {
        const QRgb pixel = image.pixel(x, y);
        const int half = y < (image.height() - 30) / 2 ? 0 : 1;
        if (pixel == qRgb(0, 70, 170)) seen[half][0] = true;
        if (pixel == qRgb(200, 70, 0)) seen[half][1] = true;
      }
    return seen;
  };
  using Seen = std::array<std::array<bool, 2>, 2>;
  EXPECT_EQ(colours(), (Seen{{{true, false}, {false, true}}}));
  window.SetLayout(SignalWindow::Layout::kOverlaid);
  EXPECT_EQ(window.CurrentLayout(), SignalWindow::Layout::kOverlaid);
  EXPECT_EQ(colours(), (Seen{{{true, true}, {true, true}}}));
}

}  // namespace
}  // namespace kavro::test
