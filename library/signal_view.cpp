#include "library/signal_view.h"

namespace kavro {
namespace {

constexpr int kFirstBitByte = 19;
constexpr int kBitBytes = 10;

}  // namespace

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

  SendIrData(false, selection);
  total_time_ = time_;
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
  SendIrData(true, selection);
  surface_.LineTo(width, low_line_);
  return 0;
}

int SignalView::SwitchTrace(Trace trace, int selection) {
  const SignalBlock& record = records_[Index(trace)];
  if (IsEmpty(record)) return -1;
  current_ = record;
  return DispLogic(trace, selection);
}

void SignalView::SendIrData(bool draw, int selection) {
  time_ = 0;
  bit_mask_ = 0x80;
  bit_index_ = 0;
  header_ = 3;

  const int long_time = current_.LongTime();
  const int short_time = current_.ShortTime();
  const int alt_time = current_.AltTime() != 0 ? current_.AltTime() : short_time;
  if (current_.WidthCoding()) {
    one_mark_ = long_time;
    one_space_ = short_time;
    zero_mark_ = alt_time;
    zero_space_ = short_time;
  } else {
    one_mark_ = short_time;
    one_space_ = long_time;
    zero_mark_ = short_time;
    zero_space_ = alt_time;
  }

  SendIrDataSub(draw, selection == 0 || selection == 1);
  if ((Byte(7) & 0x80) == 0 || selection == 1) return;

  piece_high_ = Byte(7) & 0x7F;
  piece_low_ = Byte(8);
  SendIrBit();
  if (draw && selection == 0) surface_.LineTo(X(time_), low_line_);
  if (selection == 2) time_ = 0;
  header_ = 9;
  SendIrDataSub(draw, selection == 0 || selection == 2);
  if ((Byte(13) & 0x80) == 0 || selection == 2) return;

  piece_high_ = Byte(13) & 0x7F;
  piece_low_ = Byte(14);
  SendIrBit();
  if (draw && selection == 0) surface_.LineTo(X(time_), low_line_);
  if (selection == 3) time_ = 0;
  header_ = 15;
  SendIrDataSub(draw, selection == 0 || selection == 3);
}

void SignalView::SendIrDataSub(bool draw, bool frame_on) {
  const bool drawing = draw && frame_on;
  const int h = header_;
  const int bit_count = Byte(h + 2) >> 1;

  piece_high_ = Byte(h) & 3;
  piece_low_ = Byte(h + 1);
  EmitMark(drawing);
  piece_high_ = Byte(h + 2) & 1;
  piece_low_ = Byte(h + 3);
  EmitSpace(drawing);

  for (int i = 0; i < bit_count; ++i) {
    const bool one = NextBit();
    piece_high_ = 0;
    piece_low_ = one ? one_mark_ : zero_mark_;
    EmitMark(drawing);
    piece_low_ = one ? one_space_ : zero_space_;
    EmitSpace(drawing);
    bit_mask_ >>= 1;
    if (bit_mask_ == 0) {
      ++bit_index_;
      bit_mask_ = 0x80;
    }
  }
}

void SignalView::SendIrBit() { time_ += piece_high_ * 256 + piece_low_; }

void SignalView::EmitMark(bool draw) {
  if (draw) surface_.LineTo(X(time_), high_line_);
  SendIrBit();
  if (draw) {
    surface_.LineTo(X(time_), high_line_);
    surface_.LineTo(X(time_), low_line_);
  }
}

void SignalView::EmitSpace(bool draw) {
  SendIrBit();
  if (draw) surface_.LineTo(X(time_), low_line_);
}

bool SignalView::NextBit() {
  if (bit_index_ >= kBitBytes) return false;
  return (Byte(kFirstBitByte + bit_index_) & bit_mask_) != 0;
}

int SignalView::X(std::int32_t t) const {
  // The product is formed in 64 bits so that a drawing area wider than this window's cannot
  // overflow; within 32 bits the result is the same.
  return static_cast<int>(static_cast<std::int64_t>(span_) * t / total_time_) + left_margin_;
}

}  // namespace kavro
