#pragma once
// What a video window draws over its picture or its status picture: the
// three overlay icons, the blinking of the recording mark, and the six
// progress blocks of a stream that is connecting.

#include <cstdint>
#include <vector>

#include "ui/geometry/rect.h"

namespace lumivex::ui {

inline constexpr int kOverlayIconSize = 23;

struct OverlayIcons {
  Rect recording;    // top right
  Rect deviceAudio;  // bottom, a fifth in
  Rect talkBack;     // bottom, three quarters in
};

// Positions for a slot of width x height (window coordinates).
OverlayIcons OverlayIconRects(int slotWidth, int slotHeight);

inline constexpr int kProgressBlocks = 6;
inline constexpr uint32_t kProgressBlockArgb = 0xFF5EB9FF;
inline constexpr uint32_t kProgressActiveArgb = 0xFF409BE4;

// The live wall's slots, or the playback window's video area, whose blocks
// are a little taller.
enum class ProgressStyle { kLive, kPlayback };

struct ProgressBlocks {
  std::vector<Rect> blocks;  // six, or none when the slot is too small
  int active = -1;           // the block drawn in the active colour
};

// Blocks at four fifths of the height, proportional to a small slot and of
// a fixed size on a large one. counter grows by one per repaint.
ProgressBlocks ProgressBlockRects(int width, int height, int32_t counter, ProgressStyle style);

}  // namespace lumivex::ui
