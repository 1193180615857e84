#include "ui/geometry/main_window_geometry.h"

#include <algorithm>

namespace lumivex::ui {

namespace {

// Space around the wall: the tree column (275) and the caption band plus
// the toolbar (120); the wall itself keeps 1280:720.
constexpr int kAroundWidth = 275;
constexpr int kAroundHeight = 120;

}  // namespace

Rect DefaultPlacement(const Rect& workArea) {
  const int W = workArea.width;
  const int H = workArea.height;
  // Single precision, so that near ties fall the same way on every machine.
  float a = static_cast<float>(W - kAroundWidth) / 1280.0f;
  float b = static_cast<float>(H - kAroundHeight) / 720.0f;
  int w, h, left, top;
  if (b < a) {
    h = H - 180;
    w = static_cast<int>(int64_t{h} * 1280 / 720);
    left = (W - w - kAroundWidth) / 2;
    top = 30;
  } else {
    w = W - 375;
    h = static_cast<int>(int64_t{w} * 720 / 1280);
    left = 50;
    top = (H - h - kAroundHeight) / 2;
  }
  // A work area smaller than the margins leaves no wall, not a negative one.
  w = std::max(0, w);
  h = std::max(0, h);
  return {workArea.x + left, workArea.y + top, w + kAroundWidth, h + kAroundHeight};
}

Rect RestoredPlacement(const StoredPlacement& s, const Rect& workArea) {
  if (s.MainX1 == 0 || s.MainY1 == 0) return DefaultPlacement(workArea);
  // An inverted or empty rectangle would "fit" and open a window of no size.
  bool real = s.MainX1 > s.MainX && s.MainY1 > s.MainY;
  bool within = s.MainX >= workArea.x && s.MainY >= workArea.y && s.MainX1 <= workArea.right() &&
                s.MainY1 <= workArea.bottom();
  if (!real || !within) return DefaultPlacement(workArea);
  return {s.MainX, s.MainY, s.MainX1 - s.MainX, s.MainY1 - s.MainY};
}

MainWindowLayout LayOutMainWindow(int W, int H) {
  MainWindowLayout layout;
  // The buttons spread with the window: the same gap before each.
  int gap = (W - 870) / 11;
  for (int k = 1; k <= kToolbarPlaces; ++k) {
    layout.toolbar[k - 1] = {k * gap + kToolbarButtonWidth * (k - 1), H - 55, kToolbarButtonWidth,
                             kToolbarButtonHeight};
  }
  layout.wall = {5, 50, std::max(0, W - kAroundWidth), std::max(0, H - kAroundHeight)};
  layout.tree = {W - 265, 50, 260, std::max(0, H - 55)};
  layout.treeFrame = {layout.tree.x - 1, layout.tree.y - 1, layout.tree.width + 2,
                      layout.tree.height + 2};
  auto caption = [](int x) { return Rect{x, 4, kCaptionButtonWidth, kCaptionButtonHeight}; };
  layout.closeButton = caption(W - 32);
  layout.maximizeButton = caption(W - 62);
  layout.minimizeButton = caption(W - 92);
  layout.menuButton = caption(W - 122);
  layout.title = {10, 10, 190, 20};
  return layout;
}

// The zones overlap at the corners and differ by one pixel between sides;
// the order below decides, as the window has always behaved.
WindowHit HitTestBorder(int x, int y, int w, int h) {
  const int b = kBorderWidth;
  if (x < b && y < b) return WindowHit::kTopLeft;
  if (x <= b && y >= h - b) return WindowHit::kBottomLeft;
  if (x > w - b && y < b) return WindowHit::kTopRight;
  if (x >= w - b && y >= h - b) return WindowHit::kBottomRight;
  if (x < b) return WindowHit::kLeft;
  if (x >= w - b) return WindowHit::kRight;
  if (y <= 4) return WindowHit::kTop;
  if (y > h - b) return WindowHit::kBottom;
  return WindowHit::kClient;
}

}  // namespace lumivex::ui
