#include "ui/geometry/ptz_buttons.h"

namespace lumivex::ui {

PtzButtons PtzButtonRects(int w, int h) {
  const int s = kPtzButtonSize;
  return {
      {w / 2 - 10, 15, s, s},
      {w / 2 - 10, h - 55, s, s},
      {15, h / 2 - 10, s, s},
      {w - 55, h / 2 - 10, s, s},
  };
}

bool PtzButtonsShown(bool panTiltModel, bool playing, int cursorX, int cursorY, int w, int h) {
  if (!panTiltModel || !playing) return false;
  return Rect{0, 0, w, h}.Shrunk(kPtzShowMargin).Contains(cursorX, cursorY);
}

}  // namespace lumivex::ui
