#pragma once
// The main window's placement on the screen, where its parts go on every
// resize, and which border a point over the window grabs.

#include <array>
#include <cstdint>

#include "ui/geometry/rect.h"

namespace lumivex::ui {

inline constexpr int kMinWindowWidth = 900;
inline constexpr int kMinWindowHeight = 500;
inline constexpr int kHeaderHeight = 45;  // the blue band; white below
inline constexpr int kBorderWidth = 5;    // the resize borders

// A window for a 1280:720 wall with the tree beside it and the toolbar
// below, centred on the free axis of the work area (screen pixels).
Rect DefaultPlacement(const Rect& workArea);

// The window edges the configuration file keeps (left, top, right, bottom).
struct StoredPlacement {
  int32_t MainX = 0;
  int32_t MainY = 0;
  int32_t MainX1 = 0;
  int32_t MainY1 = 0;
};

// The stored rectangle when it is a real one and lies within the work area;
// DefaultPlacement otherwise (nothing stored yet, or the edges of a window
// that was minimised or sat on a screen that is gone).
Rect RestoredPlacement(const StoredPlacement& stored, const Rect& workArea);

// The eleven places of the toolbar, left to right. A place holds one button
// or one pair (or the three quality buttons) of which one is visible.
enum class ToolbarPlace {
  kSplit,
  kCloseDevice,
  kQuality,
  kAlarm,
  kPreviousPage,
  kNextPage,
  kRotate,
  kSnapshot,
  kDeviceAudio,
  kLocalAudio,
  kRecording,
};
inline constexpr int kToolbarPlaces = 11;
inline constexpr int kToolbarButtonWidth = 50;
inline constexpr int kToolbarButtonHeight = 40;
inline constexpr int kCaptionButtonWidth = 30;
inline constexpr int kCaptionButtonHeight = 20;

// Client coordinates of every part of the window.
struct MainWindowLayout {
  std::array<Rect, kToolbarPlaces> toolbar;
  Rect wall;
  Rect tree;
  Rect treeFrame;  // the 1-pixel frame just outside the tree
  Rect closeButton;
  Rect maximizeButton;  // "maximise" and "restore" share it
  Rect minimizeButton;
  Rect menuButton;
  Rect title;

  const Rect& Toolbar(ToolbarPlace place) const { return toolbar[static_cast<int>(place)]; }
};

MainWindowLayout LayOutMainWindow(int clientWidth, int clientHeight);

enum class WindowHit {
  kClient,
  kLeft,
  kRight,
  kTop,
  kBottom,
  kTopLeft,
  kTopRight,
  kBottomLeft,
  kBottomRight,
};

// (x, y) relative to the window's top-left corner, width x height the
// window's size. Corners win over edges.
WindowHit HitTestBorder(int x, int y, int width, int height);

}  // namespace lumivex::ui
