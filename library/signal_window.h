// The signal window: one or two stored codes drawn as logic waveforms in a resizable window, to
// be zoomed, panned and read piece by piece. Where the fixed panel of the library window shows a
// code at one scale, this one is for looking closely: a time axis in ms (or in counts while the
// controller's time unit is unknown), the decode of each code, and a readout of the piece under
// the mouse.
//
// Both draw from the codec's one walk of the block, so they always show the same pieces in the
// same order with the same durations. The walk is made once per code when the codes are set;
// a paint goes only through the pieces that fall in the visible time span.
#pragma once

#include <QStaticText>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "codec/pieces.h"

class QComboBox;
class QLabel;

namespace kavro {

// One code to show.
struct SignalCode {
  std::string number;     // "0117"
  std::string comment;    // Shift-JIS bytes
  std::string data_text;  // the stored hex data text
};

// What the readout says of one piece of a trace.
struct PieceReadout {
  std::string number;  // the code's
  int piece = 0;       // index in the walk
  codec::PieceKind kind = codec::PieceKind::kLeaderMark;
  int frame = 0;  // a pause carries the frame it follows
  std::int32_t counts = 0;
  std::int64_t start = 0;        // counts from the start of the code
  std::optional<double> micros;  // the duration, when the time unit is known
  // Data bits run on across frames from 0, as the walk takes them; nothing for other pieces.
  std::optional<int> bit_index;
  bool bit = false;

  bool IsMark() const {
    return kind == codec::PieceKind::kLeaderMark || kind == codec::PieceKind::kBitMark;
  }
};

// "0117  space  bit space  frame 1  48 counts  1262.4 µs  bit 5 = 1" (UTF-8); a pause reads
// "pause  after frame 1", and the µs are left out while the time unit is unknown.
std::string ReadoutText(const PieceReadout& readout);

class SignalWindow : public QWidget {
  Q_OBJECT

 public:
  explicit SignalWindow(QWidget* parent = nullptr);
  ~SignalWindow() override;

  // One or two codes (any further ones are left out, and the decode line says so); unit_ns: the
  // controller's time unit when known (time axis in ms), else the axis is in counts. The view
  // is fitted to the longer code.
  void SetCodes(std::vector<SignalCode> codes, std::optional<double> unit_ns);

  enum class Layout { kStacked, kOverlaid };
  void SetLayout(Layout layout);
  Layout CurrentLayout() const { return layout_; }

  // The traces as set: their walks, total times, and why one shows no signal (empty when drawn).
  int TraceCount() const;
  const std::vector<codec::Piece>& Pieces(int trace) const;
  std::int64_t TotalCounts(int trace) const;
  const std::string& Problem(int trace) const;
  // "0117  TV power": the number and the comment as a trace is labelled.
  QString Title(int trace) const;
  // The decode of every code, one line each: "0117  NEC1  device 4.251  function 8  67.5 ms".
  QString DecodeText() const;

  // The visible time span in counts, and its bounds: the fitted span (the longest code with a
  // margin either side) and the smallest span zooming in reaches.
  double ViewStart() const { return view_start_; }
  double ViewSpan() const { return view_span_; }
  double FitSpan() const { return fit_span_; }
  double MinSpan() const;
  void Fit();
  // Zooms by `factor` (above 1 in, below 1 out) keeping the time at plot x `x` where it is.
  void ZoomAt(double x, double factor);
  // Moves the view as a drag by `dx` pixels does (right: towards earlier times).
  void PanBy(double dx);
  // Plot x (in the drawing area's own coordinates) to time in counts, and back.
  double TimeAtX(double x) const;
  double XAtTime(double t) const;

  // The drawing area.
  QWidget* Plot() const { return plot_; }
  // The pieces of `trace` that the current view paints: [first, last) of its walk.
  std::pair<int, int> VisiblePieces(int trace) const;

  // The piece of `trace` under time `time_counts`; nothing before the start, from the end on,
  // or on a trace without signal.
  std::optional<PieceReadout> ReadoutAt(int trace, double time_counts) const;
  // What the readout under the plot says with the mouse at `pos` (plot coordinates): the piece
  // of the trace there (of each trace when overlaid, one line each), or how to use the plot.
  QString ReadoutTextAt(QPoint pos) const;

 private:
  friend class SignalWindowPlot;
  struct TraceData;
  struct Geometry;

  Geometry PlotGeometry() const;
  double ClampStart(double start) const;
  void SetView(double start, double span);
  // The readouts under plot position `pos`, with the trace of each.
  std::vector<PieceReadout> ReadoutsAt(QPoint pos, std::vector<int>* traces) const;

  void Paint(QPainter& painter) const;
  void PaintAxis(QPainter& painter, const Geometry& g) const;
  void PaintTrace(QPainter& painter, const Geometry& g, int trace) const;

  // From the plot's mouse.
  void Hover(QPoint pos);
  void Leave();
  void PressAt(QPoint pos);
  void DragTo(QPoint pos);
  void Release();

  std::vector<TraceData> traces_;
  std::optional<double> unit_ns_;
  Layout layout_ = Layout::kStacked;
  std::string extra_codes_;  // what the decode line says of codes beyond two

  double fit_start_ = 0;
  double fit_span_ = 1;
  double view_start_ = 0;
  double view_span_ = 1;

  // The pieces under the mouse, highlighted: trace and walk index of each.
  std::vector<std::pair<int, int>> hovered_;
  bool dragging_ = false;
  int press_x_ = 0;
  double press_start_ = 0;

  // A bit's value written over it, laid out once.
  QStaticText digits_[2];

  QComboBox* layout_box_ = nullptr;
  QWidget* plot_ = nullptr;
  QLabel* readout_ = nullptr;
  QLabel* decode_ = nullptr;
};

}  // namespace kavro
