// The signal view: a stored code drawn as a logic waveform (marks high, spaces low) along a time
// axis scaled to the drawing area, in one of two traces so that two codes can be compared.
//
// The pieces come from the codec's walk of the block (codec/pieces.h), in the order a transmitter
// emits them; they are gone through twice, once to measure the total time and once to draw.
// Durations are summed as 32-bit signed counts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "codec/pieces.h"
#include "datafile/signal_block.h"
#include "library/draw_surface.h"

namespace kavro {

// The two traces: the upper and the lower half of the drawing area.
enum class Trace { kUpper = 0, kLower = 1 };

// Frame selections, as the index of the "ALL", "-1-", "-2-", "-3-" list; anything else (-1
// included) is "no selection".
inline constexpr int kShowAllFrames = 0;

// Where a trace lies on a drawing area of any size: rows [top, bottom), its high and low lines,
// and the horizontal span the drawn part is scaled to (x of time t: span * t / total + margin).
struct TraceGeometry {
  int top = 0;
  int bottom = 0;
  int high_line = 0;
  int low_line = 0;
  int left_margin = 0;
  int span = 0;
};

class SignalView {
 public:
  explicit SignalView(DrawSurface& surface) : surface_(surface) {}

  // A block counts as empty when its byte 0 or byte 19 is zero: nothing of it is drawn.
  static bool IsEmpty(const SignalBlock& block);

  static TraceGeometry Geometry(Trace trace, int width, int height);

  // `label` names the code (its number and comment); it goes with the block into the trace's
  // record, so that a redraw of the trace can name it again.
  void SetCurrent(const SignalBlock& block, std::string label = {}) {
    current_ = block;
    current_label_ = std::move(label);
  }
  const SignalBlock& Current() const { return current_; }
  const SignalBlock& Record(Trace trace) const { return records_[Index(trace)]; }
  const std::string& Label(Trace trace) const { return labels_[Index(trace)]; }

  // Empties the current block and both trace records.
  void Clear();

  // Clears `trace` and draws the current block into it with frame selection `selection`.
  // Returns 0 when something was drawn, -1 when the trace was left white: no selection, an
  // empty block, a total time of 0, or a selected frame the code does not have.
  int DispLogic(Trace trace, int selection);

  // The trace was switched to `trace`: its record, when not empty, becomes the current block
  // and is redrawn; otherwise nothing is drawn and -1 is returned.
  int SwitchTrace(Trace trace, int selection);

  // Draws `trace` again from its record with the frame selection it was drawn with, leaving the
  // current block as it is: for a drawing area that changed its size. Returns as DispLogic.
  int Redraw(Trace trace);

  // The total time measured by the last DispLogic that got that far.
  std::int32_t TotalTime() const { return total_time_; }

 private:
  static int Index(Trace trace) { return trace == Trace::kUpper ? 0 : 1; }

  // Goes through the pieces of frame selection `selection` (as for DispLogic) and returns the
  // time they take: a frame selection stops after its frame and counts time from its leader.
  // With `draw`, the selected pieces are drawn as they pass.
  std::int32_t Walk(const std::vector<codec::Piece>& pieces, int selection, bool draw);
  int X(std::int32_t t) const;

  DrawSurface& surface_;
  SignalBlock current_;
  std::string current_label_;
  std::array<SignalBlock, 2> records_;
  std::array<std::string, 2> labels_;
  std::array<int, 2> selections_{};

  // Geometry of the draw under way.
  std::int32_t total_time_ = 0;
  int high_line_ = 0;
  int low_line_ = 0;
  int left_margin_ = 0;
  int span_ = 0;
};

}  // namespace kavro
