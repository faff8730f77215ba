// What the signal view needs of a drawing area: its size, a filled rectangle, and straight lines
// from a pen position with the area's own pen (black, one pixel wide), which the view never
// changes. The window paints onto an image; tests record the calls.
#pragma once

#include <cstdint>

namespace kavro {

// A colour as 0xRRGGBB.
using Rgb = std::uint32_t;
inline constexpr Rgb kWhite = 0xFFFFFF;

class DrawSurface {
 public:
  virtual ~DrawSurface() = default;

  virtual int ClientWidth() const = 0;
  virtual int ClientHeight() const = 0;
  // Fills x in [left, right), y in [top, bottom).
  virtual void FillRect(int left, int top, int right, int bottom, Rgb colour) = 0;
  virtual void MoveTo(int x, int y) = 0;
  // A line from the pen position to (x, y), which becomes the pen position.
  virtual void LineTo(int x, int y) = 0;
};

}  // namespace kavro
