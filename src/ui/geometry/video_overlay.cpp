#include "ui/geometry/video_overlay.h"

namespace lumivex::ui {

namespace {

// counter % n that stays in 0..n-1 after the counter has wrapped.
int32_t Wrapped(int32_t counter, int32_t n) {
  int32_t r = counter % n;
  return r < 0 ? r + n : r;
}

}  // namespace

OverlayIcons OverlayIconRects(int w, int h) {
  const int s = kOverlayIconSize;
  return {
      {w - 43, 10, s, s},
      {w / 5, h - 28, s, s},
      {3 * (w / 4) - 28, h - 28, s, s},
  };
}

ProgressBlocks ProgressBlockRects(int W, int H, int32_t counter, ProgressStyle style) {
  bool live = style == ProgressStyle::kLive;
  int height = live ? H / 25 : H / 20;
  int firstX = W / 5;
  int width = (3 * (W / 5) - 40) / 6;
  bool fixed = width > 30 || (live ? height >= 16 : height > 15);
  if (fixed) {
    height = live ? 14 : 15;
    firstX = W / 2 - 110;
    width = 30;
  }
  ProgressBlocks result;
  if (width <= 0 || height <= 0) return result;
  int y = (H / 5) * 4;
  for (int k = 0; k < kProgressBlocks; ++k) {
    result.blocks.push_back({firstX + k * (width + 8), y, width, height});
  }
  result.active = Wrapped(counter, kProgressBlocks);
  return result;
}

}  // namespace lumivex::ui
