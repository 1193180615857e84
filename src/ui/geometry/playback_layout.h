#pragma once
// The playback window's controls: its dialog template in dialog units and
// their pixels. The template was laid out for 微软雅黑 9 pt at 96 dpi, whose
// base units are fixed here rather than measured, because the video area
// beside the lists and above the trackbar is placed in pixels.

#include <array>

#include "ui/geometry/rect.h"

namespace lumivex::ui {

struct DialogUnits {
  int baseX = 7;   // average character width of the template's font
  int baseY = 17;  // its line height
};

// A rectangle of the template in pixels, edge by edge, rounded as the
// window system maps a dialog rectangle.
Rect DialogRect(int x, int y, int width, int height, DialogUnits units = {});

inline constexpr int kPlaybackBandHeight = 45;
inline constexpr Rect kPlaybackCanvas{10, 55, 640, 360};

struct PlaybackLayout {
  Rect client;  // the whole window
  Rect close, trackbar, back, pause, forward, start;  // resume shares pause's place
  Rect title, currentTime, endTime;
  std::array<Rect, 4> lists;       // year, month, day, hour
  std::array<Rect, 4> listLabels;  // "年" "月" "日" "时" above them
  Rect canvas = kPlaybackCanvas;
};

PlaybackLayout LayOutPlayback(DialogUnits units = {});

}  // namespace lumivex::ui
