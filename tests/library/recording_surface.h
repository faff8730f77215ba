// A drawing surface that records what is drawn on it, for exact checks of the signal view.
#pragma once

#include <ostream>
#include <vector>

#include "library/draw_surface.h"

namespace kavro::test {

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Point& p) {
  return out << '(' << p.x << ", " << p.y << ')';
}

struct Fill {
  int left, top, right, bottom;
  Rgb colour;
  bool operator==(const Fill&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Fill& f) {
  return out << "fill(" << f.left << ", " << f.top << ", " << f.right << ", " << f.bottom << ", "
             << std::hex << f.colour << std::dec << ')';
}

class RecordingSurface : public DrawSurface {
 public:
  RecordingSurface(int width, int height) : width_(width), height_(height) {}

  int ClientWidth() const override { return width_; }
  int ClientHeight() const override { return height_; }
  void FillRect(int left, int top, int right, int bottom, Rgb colour) override {
    fills.push_back({left, top, right, bottom, colour});
  }
  void MoveTo(int x, int y) override { paths.push_back({{x, y}}); }
  void LineTo(int x, int y) override {
    if (paths.empty()) paths.push_back({{0, 0}});
    paths.back().push_back({x, y});
  }

  void Reset() {
    fills.clear();
    paths.clear();
  }

  // Every pen path: the move-to point, then each line-to point.
  std::vector<std::vector<Point>> paths;
  std::vector<Fill> fills;

 private:
  int width_;
  int height_;
};

}  // namespace kavro::test
