#pragma once
// A rectangle in pixels. The widgets turn it into a QRect; here it keeps the
// rules free of any toolkit.

#include <algorithm>

namespace lumivex::ui {

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  int right() const { return x + width; }    // one past the last column
  int bottom() const { return y + height; }  // one past the last row

  // Left and top edges inside, right and bottom outside.
  bool Contains(int px, int py) const {
    return px >= x && px < right() && py >= y && py < bottom();
  }

  // By `by` pixels on every side; never a negative size.
  Rect Shrunk(int by) const {
    return {x + by, y + by, std::max(0, width - 2 * by), std::max(0, height - 2 * by)};
  }

  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace lumivex::ui
