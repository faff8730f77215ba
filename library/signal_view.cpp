#include "library/signal_view.h"

namespace kavro {

bool SignalView::IsEmpty(const SignalBlock& block) { return block.IsEmpty(); }

void SignalView::Clear() {
  current_ = SignalBlock();
  records_ = {};
}

int SignalView::DispLogic(Trace trace, int selection) {
  const int width = surface_.ClientWidth();
  const int height = surface_.ClientHeight();
  const int half = height / 2;
  if (trace == Trace::kUpper)
    surface_.FillRect(0, 0, width, half, kWhite);
  else
    surface_.FillRect(0, half, width, height, kWhite);

  if (selection < 0 || selection > 3 || IsEmpty(current_)) return -1;

  const std::vector<codec::Piece> pieces = codec::WalkBlock(current_);
  total_time_ = Walk(pieces, selection, false);
  if (total_time_ <= 0) return -1;

  const int u = height / 12;
  if (trace == Trace::kUpper) {
    high_line_ = u;
    low_line_ = half - u;
  } else {
    high_line_ = half + u;
    low_line_ = height - u;
  }
  records_[Index(trace)] = current_;

  // A frame the code lacks would leave only the lead-in and a slope to the right border: show
  // nothing rather than a picture of no signal.
  if ((selection == 2 && !current_.HasFrame2()) || (selection == 3 && !current_.HasFrame3()))
    return -1;

  left_margin_ = width / 50;
  span_ = width - 2 * left_margin_;

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
  return DispLogic(trace, selection);
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
