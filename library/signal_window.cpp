#include "library/signal_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "datafile/hex_text.h"
#include "datafile/signal_block.h"
#include "gui/gui_text.h"
#include "library/code_exchange.h"

namespace kavro {
namespace {

constexpr int kMaxTraces = 2;
// Plot geometry in pixels: the time span runs between the side pads; the axis takes the bottom;
// each band holds a title row, a row for bit values, then the waveform.
constexpr int kSidePad = 10;
constexpr int kAxisHeight = 30;
constexpr int kTitleHeight = 18;
constexpr int kBitRowHeight = 14;
constexpr int kLowPad = 8;
// The second trace of an overlay sits a little lower, so that edges the two codes share stay
// visible in both colours.
constexpr int kOverlayOffset = 3;
// Fitting leaves this share of the longest code empty on either side, as the fixed panel does.
constexpr double kFitMargin = 0.02;
// Zooming in stops at a span of one count: finer steps show nothing the counts can hold.
constexpr double kMinSpanCounts = 1.0;
constexpr double kWheelStep = 1.25;  // zoom of one wheel notch
constexpr int kMaxWheelNotches = 10;
constexpr int kTickSpacing = 100;  // pixels wanted between labelled ticks
constexpr int kMaxTicks = 200;
constexpr int kMinBitWidth = 14;  // pixels a bit needs before its value is written over it

constexpr const char* kHint = "Wheel: zoom   Drag: pan   Double-click: fit";
constexpr const char* kNoCode = "no signal: no code chosen";

QColor TraceColour(int trace) { return trace == 0 ? QColor(0, 70, 170) : QColor(200, 70, 0); }

// Why a code shows no signal; empty when it is drawn. Blanks and commas, which the code list
// takes as separators, are let through; any other non-digit would be read as some arbitrary
// value, so it is named instead of drawn.
std::string ProblemOf(const std::string& text, const SignalBlock& block, std::int64_t total) {
  if (text.empty()) return "no signal: no data text";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (HexDigitValue(c) >= 0 || c == ' ' || c == ',' || c == '\t') continue;
    char what[64];
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F)
      std::snprintf(what, sizeof what, "\"%c\" at character %zu", c, i + 1);
    else
      std::snprintf(what, sizeof what, "byte 0x%02X at character %zu", byte, i + 1);
    return std::string("no signal: ") + what + " of the data text is not a hex digit";
  }
  if (block.IsEmpty()) return "no signal: empty block (byte 0 or byte 19 is zero)";
  if (total <= 0) return "no signal: total time 0";
  return {};
}

const char* PieceName(codec::PieceKind kind) {
  switch (kind) {
    case codec::PieceKind::kLeaderMark: return "leader mark";
    case codec::PieceKind::kLeaderSpace: return "leader space";
    case codec::PieceKind::kBitMark: return "bit mark";
    case codec::PieceKind::kBitSpace: return "bit space";
    case codec::PieceKind::kPause: return "pause";
  }
  return "";
}

// 1, 2 or 5 times a power of ten, at least `raw`.
double NiceStep(double raw) {
  if (!(raw > 0) || !std::isfinite(raw)) return 1;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / power;
  return (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * power;
}

}  // namespace

std::string ReadoutText(const PieceReadout& readout) {
  std::string text = readout.number + (readout.IsMark() ? "  mark  " : "  space  ");
  text += PieceName(readout.kind);
  text += readout.kind == codec::PieceKind::kPause ? "  after frame " : "  frame ";
  text += std::to_string(readout.frame) + "  " + std::to_string(readout.counts) +
          (readout.counts == 1 ? " count" : " counts");
  if (readout.micros) {
    char micros[48];
    std::snprintf(micros, sizeof micros, "  %.1f \u00b5s", *readout.micros);
    text += micros;
  }
  if (readout.bit_index)
    text += "  bit " + std::to_string(*readout.bit_index) + " = " + (readout.bit ? "1" : "0");
  return text;
}

struct SignalWindow::TraceData {
  SignalCode code;
  QString title;
  QStaticText title_text;
  std::string problem;
  std::string decode;
  std::vector<codec::Piece> pieces;
  std::vector<std::int64_t> starts;  // where each piece starts, then the total
  std::vector<int> bit_index;        // of each piece; -1 for leaders and pauses
  std::int64_t shortest_bit = 0;     // mark and space of the shortest data bit

  std::int64_t Total() const { return starts.empty() ? 0 : starts.back(); }
};

struct SignalWindow::Geometry {
  int width = 0;
  int height = 0;
  int left = 0;   // x of the view's start
  int right = 0;  // x of its end
  int axis_y = 0;
  int bands = 1;
  int band_height = 0;

  double Span() const { return right - left; }
  int BandTop(int band) const { return band * band_height; }
  int High(int band) const { return BandTop(band) + kTitleHeight + kBitRowHeight; }
  int Low(int band) const {
    return std::max(High(band) + 4, BandTop(band) + band_height - kLowPad);
  }
};

// The drawing area: paints what the window holds and hands it the mouse.
class SignalWindowPlot final : public QWidget {
 public:
  explicit SignalWindowPlot(SignalWindow& window) : QWidget(&window), window_(window) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(240, 140);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    window_.Paint(painter);
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) window_.PressAt(event->position().toPoint());
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (event->buttons() & Qt::LeftButton) window_.DragTo(event->position().toPoint());
    window_.Hover(event->position().toPoint());
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) window_.Release();
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) window_.Fit();
  }
  void wheelEvent(QWheelEvent* event) override {
    const double notches = std::clamp(event->angleDelta().y() / 120.0, -1.0 * kMaxWheelNotches,
                                      1.0 * kMaxWheelNotches);
    if (notches != 0) {
      window_.ZoomAt(event->position().x(), std::pow(kWheelStep, notches));
      window_.Hover(event->position().toPoint());
    }
    event->accept();
  }
  void leaveEvent(QEvent*) override { window_.Leave(); }

 private:
  SignalWindow& window_;
};

SignalWindow::SignalWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), digits_{QStaticText("0"), QStaticText("1")} {
  setWindowTitle(QStringLiteral("Signal"));
  for (QStaticText& digit : digits_) digit.setPerformanceHint(QStaticText::AggressiveCaching);

  layout_box_ = new QComboBox(this);
  layout_box_->setObjectName(QStringLiteral("Layout"));
  layout_box_->addItems({QStringLiteral("Stacked"), QStringLiteral("Overlaid")});
  connect(layout_box_, &QComboBox::currentIndexChanged, this,
          [this](int index) { SetLayout(index == 1 ? Layout::kOverlaid : Layout::kStacked); });
  auto* fit = new QPushButton(QStringLiteral("Fit"), this);
  fit->setObjectName(QStringLiteral("Fit"));
  connect(fit, &QPushButton::clicked, this, [this] { Fit(); });

  plot_ = new SignalWindowPlot(*this);
  plot_->setObjectName(QStringLiteral("Plot"));
  readout_ = NewTextLabel(QString::fromLatin1(kHint), this);
  readout_->setObjectName(QStringLiteral("Readout"));
  readout_->setMinimumHeight(2 * readout_->fontMetrics().lineSpacing());
  readout_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  decode_ = NewTextLabel(QString(), this);
  decode_->setObjectName(QStringLiteral("Decode"));

  auto* bar = new QHBoxLayout;
  bar->addWidget(new QLabel(QStringLiteral("Layout:"), this));
  bar->addWidget(layout_box_);
  bar->addWidget(fit);
  bar->addStretch(1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(bar);
  column->addWidget(plot_, 1);
  column->addWidget(readout_);
  column->addWidget(decode_);
  resize(960, 420);
}

SignalWindow::~SignalWindow() = default;

void SignalWindow::SetCodes(std::vector<SignalCode> codes, std::optional<double> unit_ns) {
  extra_codes_.clear();
  if (codes.size() > kMaxTraces) {
    extra_codes_ = "only the first two of " + std::to_string(codes.size()) + " codes are shown";
    codes.resize(kMaxTraces);
  }
  unit_ns_ = unit_ns && std::isfinite(*unit_ns) && *unit_ns > 0 ? unit_ns : std::nullopt;
  traces_.clear();
  std::int64_t longest = 0;
  for (SignalCode& code : codes) {
    TraceData trace;
    const SignalBlock block = SignalBlockFromText(code.data_text);
    trace.pieces = codec::WalkBlock(block);
    trace.starts.reserve(trace.pieces.size() + 1);
    trace.bit_index.reserve(trace.pieces.size());
    std::int64_t time = 0;
    int bits = 0;
    for (const codec::Piece& piece : trace.pieces) {
      trace.starts.push_back(time);
      time += piece.counts;
      if (piece.kind == codec::PieceKind::kBitMark) {
        trace.bit_index.push_back(bits);
      } else if (piece.kind == codec::PieceKind::kBitSpace) {
        trace.bit_index.push_back(bits++);
        const std::int64_t bit = time - trace.starts[trace.starts.size() - 2];
        if (trace.shortest_bit == 0 || bit < trace.shortest_bit) trace.shortest_bit = bit;
      } else {
        trace.bit_index.push_back(-1);
      }
    }
    trace.starts.push_back(time);
    trace.problem = ProblemOf(code.data_text, block, time);
    if (!trace.problem.empty()) {
      trace.pieces.clear();
      trace.starts.assign(1, 0);
      trace.bit_index.clear();
    }
    longest = std::max(longest, trace.Total());
    trace.title = QString::fromStdString(code.number);
    if (!code.comment.empty()) trace.title += QStringLiteral("  ") + FromSjis(code.comment);
    trace.title_text = QStaticText(trace.title);
    trace.decode = code.number + "  " +
                   (trace.problem.empty() ? DecodeLine(code.data_text, unit_ns_) : trace.problem);
    trace.code = std::move(code);
    traces_.push_back(std::move(trace));
  }
  if (longest > 0) {
    fit_start_ = -kFitMargin * static_cast<double>(longest);
    fit_span_ = (1 + 2 * kFitMargin) * static_cast<double>(longest);
  } else {
    fit_start_ = 0;
    fit_span_ = 1;
  }
  hovered_.clear();
  dragging_ = false;
  layout_box_->setEnabled(traces_.size() == kMaxTraces);
  readout_->setText(QString::fromLatin1(kHint));
  decode_->setText(DecodeText());
  Fit();
}

void SignalWindow::SetLayout(Layout layout) {
  layout_ = layout;
  const int index = layout == Layout::kOverlaid ? 1 : 0;
  if (layout_box_->currentIndex() != index) layout_box_->setCurrentIndex(index);
  hovered_.clear();
  readout_->setText(QString::fromLatin1(kHint));
  plot_->update();
}

int SignalWindow::TraceCount() const { return static_cast<int>(traces_.size()); }

const std::vector<codec::Piece>& SignalWindow::Pieces(int trace) const {
  return traces_.at(trace).pieces;
}

std::int64_t SignalWindow::TotalCounts(int trace) const { return traces_.at(trace).Total(); }

const std::string& SignalWindow::Problem(int trace) const { return traces_.at(trace).problem; }

QString SignalWindow::Title(int trace) const { return traces_.at(trace).title; }

QString SignalWindow::DecodeText() const {
  QStringList lines;
  for (const TraceData& trace : traces_) lines << QString::fromStdString(trace.decode);
  if (!extra_codes_.empty()) lines << QString::fromStdString(extra_codes_);
  if (traces_.empty()) lines << QString::fromLatin1(kNoCode);
  return lines.join(QLatin1Char('\n'));
}

double SignalWindow::MinSpan() const { return std::min(kMinSpanCounts, fit_span_); }

double SignalWindow::ClampStart(double start) const {
  // The fitted view is taken as it is: its end, computed back, may miss its start by a rounding.
  if (view_span_ >= fit_span_) return fit_start_;
  return std::max(fit_start_, std::min(start, fit_start_ + fit_span_ - view_span_));
}

void SignalWindow::SetView(double start, double span) {
  if (!std::isfinite(start) || !std::isfinite(span)) return;
  view_span_ = std::clamp(span, MinSpan(), fit_span_);
  view_start_ = ClampStart(start);
  // What was under the mouse has moved; the mouse's next move (or the wheel) reads it again.
  hovered_.clear();
  readout_->setText(QString::fromLatin1(kHint));
  plot_->update();
}

void SignalWindow::Fit() { SetView(fit_start_, fit_span_); }

void SignalWindow::ZoomAt(double x, double factor) {
  if (!std::isfinite(factor) || factor <= 0 || !std::isfinite(x)) return;
  const Geometry g = PlotGeometry();
  const double time = TimeAtX(x);
  const double span = std::clamp(view_span_ / factor, MinSpan(), fit_span_);
  SetView(time - (x - g.left) / g.Span() * span, span);
}

void SignalWindow::PanBy(double dx) {
  SetView(view_start_ - dx / PlotGeometry().Span() * view_span_, view_span_);
}

double SignalWindow::TimeAtX(double x) const {
  const Geometry g = PlotGeometry();
  return view_start_ + (x - g.left) / g.Span() * view_span_;
}

double SignalWindow::XAtTime(double t) const {
  const Geometry g = PlotGeometry();
  return g.left + (t - view_start_) / view_span_ * g.Span();
}

SignalWindow::Geometry SignalWindow::PlotGeometry() const {
  Geometry g;
  g.width = plot_->width();
  g.height = plot_->height();
  g.left = kSidePad;
  g.right = std::max(g.left + 1, g.width - kSidePad);
  g.axis_y = std::max(0, g.height - kAxisHeight);
  g.bands = layout_ == Layout::kStacked && traces_.size() == kMaxTraces ? 2 : 1;
  g.band_height = g.axis_y / g.bands;
  return g;
}

std::pair<int, int> SignalWindow::VisiblePieces(int trace) const {
  const TraceData& d = traces_.at(trace);
  if (d.pieces.empty()) return {0, 0};
  const double from = view_start_;
  const double to = view_start_ + view_span_;
  // Pieces that end at or before the view's start, and those that start before its end.
  const auto ends = d.starts.begin() + 1;
  const int first = static_cast<int>(
      std::upper_bound(ends, d.starts.end(), from,
                       [](double t, std::int64_t s) { return t < static_cast<double>(s); }) -
      ends);
  const int last = static_cast<int>(
      std::lower_bound(d.starts.begin(), d.starts.end() - 1, to,
                       [](std::int64_t s, double t) { return static_cast<double>(s) < t; }) -
      d.starts.begin());
  return {std::min(first, last), last};
}

std::optional<PieceReadout> SignalWindow::ReadoutAt(int trace, double time_counts) const {
  if (trace < 0 || trace >= TraceCount()) return std::nullopt;
  const TraceData& d = traces_[trace];
  if (d.pieces.empty() || !(time_counts >= 0) || time_counts >= static_cast<double>(d.Total()))
    return std::nullopt;
  // The last piece starting at or before the time: never one of 0 counts, as the next starts
  // at the same time.
  const int k = static_cast<int>(std::upper_bound(d.starts.begin(), d.starts.end() - 1, time_counts,
                                                  [](double t, std::int64_t s) {
                                                    return t < static_cast<double>(s);
                                                  }) -
                                 d.starts.begin()) -
                1;
  if (k < 0) return std::nullopt;
  const codec::Piece& piece = d.pieces[k];
  PieceReadout readout;
  readout.number = d.code.number;
  readout.piece = k;
  readout.kind = piece.kind;
  readout.frame = piece.frame;
  readout.counts = piece.counts;
  readout.start = d.starts[k];
  if (unit_ns_) readout.micros = piece.counts * *unit_ns_ / 1000.0;
  if (d.bit_index[k] >= 0) {
    readout.bit_index = d.bit_index[k];
    readout.bit = piece.bit;
  }
  return readout;
}

std::vector<PieceReadout> SignalWindow::ReadoutsAt(QPoint pos, std::vector<int>* traces) const {
  std::vector<PieceReadout> readouts;
  const Geometry g = PlotGeometry();
  if (pos.x() < g.left || pos.x() > g.right || pos.y() < 0 || pos.y() >= g.axis_y) return readouts;
  const double time = TimeAtX(pos.x());
  int first = 0, last = TraceCount();
  if (g.bands == 2) {
    first = std::clamp(pos.y() / std::max(1, g.band_height), 0, 1);
    last = first + 1;
  }
  for (int trace = first; trace < last; ++trace) {
    if (std::optional<PieceReadout> readout = ReadoutAt(trace, time)) {
      readouts.push_back(*readout);
      if (traces != nullptr) traces->push_back(trace);
    }
  }
  return readouts;
}

QString SignalWindow::ReadoutTextAt(QPoint pos) const {
  QStringList lines;
  for (const PieceReadout& readout : ReadoutsAt(pos, nullptr))
    lines << QString::fromStdString(ReadoutText(readout));
  return lines.isEmpty() ? QString::fromLatin1(kHint) : lines.join(QLatin1Char('\n'));
}

void SignalWindow::Hover(QPoint pos) {
  std::vector<int> traces;
  const std::vector<PieceReadout> readouts = ReadoutsAt(pos, &traces);
  std::vector<std::pair<int, int>> hovered;
  QStringList lines;
  for (std::size_t i = 0; i < readouts.size(); ++i) {
    hovered.emplace_back(traces[i], readouts[i].piece);
    lines << QString::fromStdString(ReadoutText(readouts[i]));
  }
  readout_->setText(lines.isEmpty() ? QString::fromLatin1(kHint) : lines.join(QLatin1Char('\n')));
  if (hovered != hovered_) {
    hovered_ = std::move(hovered);
    plot_->update();
  }
}

void SignalWindow::Leave() {
  readout_->setText(QString::fromLatin1(kHint));
  if (!hovered_.empty()) {
    hovered_.clear();
    plot_->update();
  }
}

void SignalWindow::PressAt(QPoint pos) {
  dragging_ = true;
  press_x_ = pos.x();
  press_start_ = view_start_;
  plot_->setCursor(Qt::ClosedHandCursor);
}

void SignalWindow::DragTo(QPoint pos) {
  if (!dragging_) return;
  SetView(press_start_ - (pos.x() - press_x_) / PlotGeometry().Span() * view_span_, view_span_);
}

void SignalWindow::Release() {
  dragging_ = false;
  plot_->unsetCursor();
}

void SignalWindow::Paint(QPainter& painter) const {
  const Geometry g = PlotGeometry();
  painter.fillRect(0, 0, g.width, g.height, Qt::white);
  if (traces_.empty()) {
    painter.setPen(Qt::darkGray);
    painter.drawText(QRect(0, 0, g.width, g.height), Qt::AlignCenter, QString::fromLatin1(kNoCode));
    return;
  }
  const bool drawn = std::any_of(traces_.begin(), traces_.end(),
                                 [](const TraceData& t) { return t.problem.empty(); });
  if (drawn) PaintAxis(painter, g);
  for (int trace = 0; trace < TraceCount(); ++trace) PaintTrace(painter, g, trace);
}

void SignalWindow::PaintAxis(QPainter& painter, const Geometry& g) const {
  // Ticks are placed in the unit shown (ms or counts) so that their labels come out round.
  const double scale = unit_ns_ ? *unit_ns_ / 1e6 : 1.0;
  const QString caption = unit_ns_ ? QStringLiteral("ms") : QStringLiteral("counts");
  const double from = view_start_ * scale;
  const double span = view_span_ * scale;
  const double step = NiceStep(span * kTickSpacing / g.Span());
  const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
  const QFontMetrics metrics = painter.fontMetrics();
  const int caption_left = g.width - kSidePad - metrics.horizontalAdvance(caption);
  const int label_y = g.axis_y + 6;

  painter.setPen(Qt::black);
  painter.drawLine(g.left, g.axis_y, g.right, g.axis_y);
  painter.drawText(QRect(caption_left, label_y, g.width, kAxisHeight), Qt::AlignLeft | Qt::AlignTop,
                   caption);
  const QPen grid(QColor(228, 228, 228));
  const double first = std::ceil(from / step);
  for (int i = 0; i < kMaxTicks; ++i) {
    const double value = (first + i) * step;
    if (value > from + span) break;
    const int x = static_cast<int>(std::lround(g.left + (value - from) / span * g.Span()));
    painter.setPen(grid);
    painter.drawLine(x, 0, x, g.axis_y - 1);
    painter.setPen(Qt::black);
    painter.drawLine(x, g.axis_y, x, g.axis_y + 4);
    const QString label = QString::number(std::abs(value) < step / 2 ? 0.0 : value, 'f', decimals);
    const int width = metrics.horizontalAdvance(label);
    const int left = x - width / 2;
    if (left >= 0 && left + width < caption_left - 6)
      painter.drawText(QRect(left, label_y, width + 1, kAxisHeight), Qt::AlignLeft | Qt::AlignTop,
                       label);
  }
}

void SignalWindow::PaintTrace(QPainter& painter, const Geometry& g, int trace) const {
  const TraceData& d = traces_[trace];
  const bool overlaid = g.bands == 1 && TraceCount() == kMaxTraces;
  const int band = g.bands == 2 ? trace : 0;
  const int top = g.BandTop(band);
  const QColor colour = TraceColour(trace);

  // Titles: one per band, or side by side over an overlay.
  int title_x = g.left;
  if (overlaid && trace == 1)
    title_x += static_cast<int>(traces_[0].title_text.size().width()) + 24;
  painter.setPen(colour);
  painter.drawStaticText(title_x, top + 2, d.title_text);
  if (!d.problem.empty()) {
    const QString problem = QString::fromStdString(d.problem);
    painter.setPen(Qt::darkGray);
    if (overlaid)
      painter.drawText(title_x + static_cast<int>(d.title_text.size().width()) + 12, top + 2,
                       g.right, kTitleHeight, Qt::AlignLeft | Qt::AlignTop, problem);
    else
      painter.drawText(QRect(0, top + kTitleHeight, g.width, g.band_height - kTitleHeight),
                       Qt::AlignCenter, problem);
    return;
  }

  const int shift = overlaid && trace == 1 ? kOverlayOffset : 0;
  const int high = g.High(band) + shift;
  const int low = g.Low(band) + shift;
  // Pieces reaching far outside the view are cut a little beyond its edges, which keeps every
  // coordinate small whatever the zoom.
  const double x_min = g.left - 2.0, x_max = g.right + 2.0;
  auto x_of = [&](std::int64_t t) {
    const double x = g.left + (static_cast<double>(t) - view_start_) / view_span_ * g.Span();
    return static_cast<int>(std::lround(std::clamp(x, x_min, x_max)));
  };

  painter.save();
  painter.setClipRect(QRect(g.left, top, g.right - g.left + 1, g.band_height));
  for (const auto& [hovered_trace, piece] : hovered_) {
    if (hovered_trace != trace || piece >= static_cast<int>(d.pieces.size())) continue;
    const int x0 = x_of(d.starts[piece]);
    painter.fillRect(
        QRect(x0, high - 3, std::max(1, x_of(d.starts[piece + 1]) - x0), low - high + 7),
        QColor(255, 242, 190));
  }

  const auto [first, last] = VisiblePieces(trace);
  std::vector<QPoint> line;
  line.reserve(2 * static_cast<std::size_t>(last - first) + 4);
  const int before = first == 0 ? low : (d.pieces[first - 1].IsMark() ? high : low);
  line.emplace_back(static_cast<int>(x_min), before);
  if (first < last) line.emplace_back(x_of(d.starts[first]), before);
  const QPen marker(QColor(150, 150, 150), 1, Qt::DashLine);
  // Bit values are written once every bit has room for one, so that none is left out; over an
  // overlay only the first code's, where they cannot collide.
  const bool digits = (!overlaid || trace == 0) &&
                      static_cast<double>(d.shortest_bit) / view_span_ * g.Span() >= kMinBitWidth;
  for (int k = first; k < last; ++k) {
    const codec::Piece& piece = d.pieces[k];
    const int level = piece.IsMark() ? high : low;
    const int x0 = x_of(d.starts[k]);
    line.emplace_back(x0, level);
    line.emplace_back(x_of(d.starts[k + 1]), level);
    if (piece.kind == codec::PieceKind::kLeaderMark && piece.frame > 1) {
      painter.setPen(marker);
      painter.drawLine(x0, high - kBitRowHeight, x0, low + 4);
      painter.drawText(x0 + 3, high - kBitRowHeight, 80, kBitRowHeight,
                       Qt::AlignLeft | Qt::AlignTop, QStringLiteral("frame %1").arg(piece.frame));
    } else if (digits && piece.kind == codec::PieceKind::kBitMark) {
      const int x1 = x_of(d.starts[k + 2]);
      const QStaticText& digit = digits_[piece.bit ? 1 : 0];
      painter.setPen(colour);
      painter.drawStaticText(QPointF((x0 + x1 - digit.size().width()) / 2.0, high - kBitRowHeight),
                             digit);
    }
  }
  // Before its start and after its end a code is at the low level.
  if (last == static_cast<int>(d.pieces.size()) || first == last)
    line.emplace_back(static_cast<int>(x_max), low);
  painter.setPen(QPen(colour, 1));
  painter.drawPolyline(line.data(), static_cast<int>(line.size()));
  painter.restore();
}

}  // namespace kavro
