#include "library/signal_view.h"

namespace kavro {

bool SignalView::IsEmpty(const SignalBlock& block) { return block.IsEmpty(); }

TraceGeometry SignalView::Geometry(Trace trace, int width, int height) {
  TraceGeometry g;
  const int half = height / 2;
  const int u = height / 12;
  if (trace == Trace::kUpper) {
    g.top = 0;
    g.bottom = half;
    g.high_line = u;
    g.low_line = half - u;
  } else {
    g.top = half;
    g.bottom = height;
    g.high_line = half + u;
    g.low_line = height - u;
  }
  g.left_margin = width / 50;
  g.span = width - 2 * g.left_margin;
  return g;
}

void SignalView::Clear() {
  current_ = SignalBlock();
  current_label_.clear();
  records_ = {};
  labels_ = {};
  selections_ = {};
}

int SignalView::DispLogic(Trace trace, int selection) {
  const int width = surface_.ClientWidth();
  const TraceGeometry g = Geometry(trace, width, surface_.ClientHeight());
  surface_.FillRect(0, g.top, width, g.bottom, kWhite);

  if (selection < 0 || selection > 3 || IsEmpty(current_)) return -1;

  const std::vector<codec::Piece> pieces = codec::WalkBlock(current_);
  total_time_ = Walk(pieces, selection, false);
  if (total_time_ <= 0) return -1;

  high_line_ = g.high_line;
  low_line_ = g.low_line;
  records_[Index(trace)] = current_;
  labels_[Index(trace)] = current_label_;
  selections_[Index(trace)] = selection;

  // A frame the code lacks would leave only the lead-in and a slope to the right border: show
  // nothing rather than a picture of no signal.
  if ((selection == 2 && !current_.HasFrame2()) || (selection == 3 && !current_.HasFrame3()))
    return -1;

  left_margin_ = g.left_margin;
  span_ = g.span;

  // The signal starts from the low level with a rising edge at the left margin.
  surface_.MoveTo(0, low_line_);
  surface_.LineTo(left_margin_, low_line_);
  surface_.LineTo(left_margin_, high_line_);
  Walk(pieces, selection, true);
  surface_.LineTo(width, low_line_);
  return 0;
}

int SignalView::SwitchTrace(Trace trace, int selection) {
  const SignalBlock& record = records_[Index(trace)];
  if (IsEmpty(record)) return -1;
  current_ = record;
  current_label_ = labels_[Index(trace)];
  return DispLogic(trace, selection);
}

int SignalView::Redraw(Trace trace) {
  const int i = Index(trace);
  if (IsEmpty(records_[i])) return -1;
  SignalBlock current = std::move(current_);
  std::string label = std::move(current_label_);
  current_ = records_[i];
  current_label_ = labels_[i];
  const int result = DispLogic(trace, selections_[i]);
  current_ = std::move(current);
  current_label_ = std::move(label);
  return result;
}

std::int32_t SignalView::Walk(const std::vector<codec::Piece>& pieces, int selection, bool draw) {
  using codec::PieceKind;
  std::int32_t time = 0;
  for (const codec::Piece& piece : pieces) {
    if (selection != kShowAllFrames &&
        (piece.frame > selection || (piece.frame == selection && piece.kind == PieceKind::kPause)))
      break;
    // A single frame is timed from its own leader; the frames before it only lead up to it.
    if (piece.frame == selection && piece.kind == PieceKind::kLeaderMark) time = 0;
    const bool drawing = draw && (selection == kShowAllFrames || piece.frame == selection);
    if (piece.IsMark()) {
      if (drawing) surface_.LineTo(X(time), high_line_);
      time += piece.counts;
      if (drawing) {
        surface_.LineTo(X(time), high_line_);
        surface_.LineTo(X(time), low_line_);
      }
    } else {
      // A space, or a pause: only "ALL" gets as far as drawing a pause, as a low stretch.
      time += piece.counts;
      if (drawing) surface_.LineTo(X(time), low_line_);
    }
  }
  return time;
}

int SignalView::X(std::int32_t t) const {
  // The product is formed in 64 bits so that a drawing area wider than this window's cannot
  // overflow; within 32 bits the result is the same.
  return static_cast<int>(static_cast<std::int64_t>(span_) * t / total_time_) + left_margin_;
}

}  // namespace kavro
