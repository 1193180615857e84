#pragma once
// The four pan/tilt arrow buttons drawn over a video window.

#include "ui/geometry/rect.h"

namespace lumivex::ui {

inline constexpr int kPtzButtonSize = 40;
inline constexpr int kPtzShowMargin = 20;

struct PtzButtons {
  Rect up;
  Rect down;
  Rect left;
  Rect right;
};

// Client coordinates for a window of width x height.
PtzButtons PtzButtonRects(int clientWidth, int clientHeight);

// The buttons show only for a pan/tilt model that is playing, and only while
// the cursor is inside the client area less 20 pixels on every side.
bool PtzButtonsShown(bool panTiltModel, bool playing, int cursorX, int cursorY, int clientWidth,
                     int clientHeight);

}  // namespace lumivex::ui
