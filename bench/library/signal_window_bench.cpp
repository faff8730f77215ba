// Times a redraw of the signal window at 1600 pixels wide (the whole window rendered into an
// image, offscreen), fitted and zoomed, with one and with two codes, against a plain fill of an
// image of the same size and the fixed panel's draw of the same code at the same width, both
// measured in the same run. Usage: library_signal_window_bench [runs]
#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <string>

#include "bench/library/sample_codes.h"
#include "bench/plain_file_baseline.h"
#include "datafile/signal_block.h"
#include "library/signal_image.h"
#include "library/signal_view.h"
#include "library/signal_window.h"

namespace {

using bench::g_sink;
using bench::kThreeFrames;
using bench::MedianMs;

constexpr int kWidth = 1600;
constexpr int kHeight = 420;
constexpr double kUnitNs = 17625;

constexpr const char* kNec = "6020000200430088B00200028000000000000020DF10EF000000000000";

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(11, std::atoi(argv[1])) : 1001;

  kavro::SignalWindow window;
  window.resize(kWidth, kHeight);
  window.show();
  QApplication::processEvents();
  QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
  auto redraw = [&] {
    window.render(&image);
    g_sink += static_cast<std::size_t>(image.pixel(kWidth / 2, kHeight / 2));
  };

  const double fill = MedianMs(runs, nullptr, [&] {
    image.fill(Qt::white);
    g_sink += static_cast<std::size_t>(image.pixel(0, 0));
  });
  kavro::SignalImage panel_image(kWidth, 67);
  kavro::SignalView panel(panel_image);
  panel.SetCurrent(kavro::SignalBlockFromText(kThreeFrames));
  const double fixed = MedianMs(runs, nullptr, [&] {
    panel_image.BeginBatch();
    g_sink += static_cast<std::size_t>(panel.DispLogic(kavro::Trace::kUpper, 0) + 1);
    panel_image.EndBatch();
  });

  window.SetCodes({{"0300", "aircon", kThreeFrames}}, kUnitNs);
  const double one = MedianMs(runs, nullptr, redraw);
  // A redraw that drew no trace would time nothing worth knowing.
  int traced = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) traced += image.pixel(x, y) == qRgb(0, 70, 170);
  if (traced < kWidth) {
    std::printf("the window's image shows no trace (%d pixels)\n", traced);
    return 1;
  }
  QImage plot_image(window.Plot()->size(), QImage::Format_ARGB32_Premultiplied);
  const double plot_only = MedianMs(runs, nullptr, [&] { window.Plot()->render(&plot_image); });
  window.ZoomAt(kWidth / 2.0, 8);
  const double zoomed = MedianMs(runs, nullptr, redraw);
  window.SetCodes({{"0300", "aircon", kThreeFrames}, {"0117", "tv", kNec}}, kUnitNs);
  const double two = MedianMs(runs, nullptr, redraw);
  window.SetLayout(kavro::SignalWindow::Layout::kOverlaid);
  const double overlaid = MedianMs(runs, nullptr, redraw);

  std::printf("signal window, %dx%d, three-frame code (80 bits, %zu pieces), median of %d runs\n",
              window.width(), window.height(), window.Pieces(0).size(), runs);
  std::printf("  %-40s %8.4f ms\n", "baseline: fill an image of that size", fill);
  std::printf("  %-40s %8.4f ms\n", "baseline: fixed panel DispLogic, 1600 px", fixed);
  auto line = [&](const char* what, double ms) {
    std::printf("  %-40s %8.4f ms  %6.1fx fill  %6.1fx fixed panel\n", what, ms, ms / fill,
                ms / fixed);
  };
  line("window redraw, one code, fitted", one);
  line("plot area alone, one code, fitted", plot_only);
  line("window redraw, one code, zoomed 8x", zoomed);
  line("window redraw, two codes, stacked", two);
  line("window redraw, two codes, overlaid", overlaid);
  return g_sink == 0;
}
