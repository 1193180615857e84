// Overlay icons, the recording mark's blinking, the progress blocks and the
// pan/tilt buttons, worked out by hand.

#include <gtest/gtest.h>

#include <vector>

#include "ui/geometry/ptz_buttons.h"
#include "ui/geometry/video_overlay.h"

namespace lumivex::ui {
namespace {

std::vector<int> Xs(const ProgressBlocks& p) {
  std::vector<int> xs;
  for (const Rect& r : p.blocks) xs.push_back(r.x);
  return xs;
}

TEST(ProgressBlocks, LargeSlotUsesTheFixedBlocks) {
  // 480 x 270: width (3*96 - 40)/6 = 41 > 30, so height 14, first x
  // 240 - 110 = 130, width 30; y = (270/5)*4 = 216; x = 130 + 38k.
  ProgressBlocks p = ProgressBlockRects(480, 270, 0, ProgressStyle::kLive);
  ASSERT_EQ(p.blocks.size(), 6u);
  EXPECT_EQ(p.blocks[0], (Rect{130, 216, 30, 14}));
  EXPECT_EQ(Xs(p), (std::vector<int>{130, 168, 206, 244, 282, 320}));
  EXPECT_EQ(p.active, 0);
  EXPECT_EQ(ProgressBlockRects(480, 270, 7, ProgressStyle::kLive).active, 1);  // 7 mod 6
}

TEST(ProgressBlocks, SmallSlotScalesTheBlocks) {
  // 251 x 150 (a 4x4 cell): height 150/25 = 6, first x 251/5 = 50, width
  // (3*50 - 40)/6 = 18; y = (150/5)*4 = 120; x = 50 + 26k.
  ProgressBlocks p = ProgressBlockRects(251, 150, 11, ProgressStyle::kLive);
  ASSERT_EQ(p.blocks.size(), 6u);
  EXPECT_EQ(p.blocks[0], (Rect{50, 120, 18, 6}));
  EXPECT_EQ(Xs(p), (std::vector<int>{50, 76, 102, 128, 154, 180}));
  EXPECT_EQ(p.active, 5);
}

TEST(ProgressBlocks, TallSlotSwitchesOnItsHeight) {
  // 200 x 375: height 15 < 16, width (3*40 - 40)/6 = 13: proportional.
  EXPECT_EQ(ProgressBlockRects(200, 375, 0, ProgressStyle::kLive).blocks[0],
            (Rect{40, 300, 13, 15}));
  // 160 x 400: height 16, fixed: first x 80 - 110 = -30, y = 320.
  EXPECT_EQ(ProgressBlockRects(160, 400, 0, ProgressStyle::kLive).blocks[0],
            (Rect{-30, 320, 30, 14}));
}

TEST(ProgressBlocks, PlaybackAreaHasTallerBlocks) {
  // 640 x 360: height 360/20 = 18 > 15, fixed at 15: first x 320 - 110 = 210,
  // y = (360/5)*4 = 288.
  ProgressBlocks p = ProgressBlockRects(640, 360, 0, ProgressStyle::kPlayback);
  EXPECT_EQ(p.blocks[0], (Rect{210, 288, 30, 15}));
  EXPECT_EQ(p.blocks[5].x, 400);  // 210 + 5*38
  // 200 x 300: height 15 is not above 15, width 13: proportional.
  EXPECT_EQ(ProgressBlockRects(200, 300, 0, ProgressStyle::kPlayback).blocks[0],
            (Rect{40, 240, 13, 15}));
  // 200 x 320: height 16 > 15: fixed, first x 100 - 110 = -10, y 256.
  EXPECT_EQ(ProgressBlockRects(200, 320, 0, ProgressStyle::kPlayback).blocks[0],
            (Rect{-10, 256, 30, 15}));
}

TEST(ProgressBlocks, NoBlocksWhenNothingFitsAndTheActiveOneStaysInRange) {
  // 60 x 50: width (36 - 40)/6 = 0.
  EXPECT_TRUE(ProgressBlockRects(60, 50, 0, ProgressStyle::kLive).blocks.empty());
  EXPECT_TRUE(ProgressBlockRects(0, 0, 0, ProgressStyle::kPlayback).blocks.empty());
  EXPECT_TRUE(ProgressBlockRects(-100, -100, 0, ProgressStyle::kLive).blocks.empty());
  EXPECT_EQ(ProgressBlockRects(480, 270, -1, ProgressStyle::kLive).active, 5);
}

TEST(OverlayIcons, PositionsForASlot) {
  // 480 x 270: (480 - 43, 10), (480/5, 270 - 28), (3*(480/4) - 28, 242).
  OverlayIcons icons = OverlayIconRects(480, 270);
  EXPECT_EQ(icons.recording, (Rect{437, 10, 23, 23}));
  EXPECT_EQ(icons.deviceAudio, (Rect{96, 242, 23, 23}));
  EXPECT_EQ(icons.talkBack, (Rect{332, 242, 23, 23}));
  // 251 x 150: 3*(251/4) - 28 = 3*62 - 28 = 158.
  OverlayIcons small = OverlayIconRects(251, 150);
  EXPECT_EQ(small.recording, (Rect{208, 10, 23, 23}));
  EXPECT_EQ(small.deviceAudio, (Rect{50, 122, 23, 23}));
  EXPECT_EQ(small.talkBack, (Rect{158, 122, 23, 23}));
}

TEST(PtzButtons, ArrowsAroundTheMiddle) {
  // 400 x 300: up (200 - 10, 15), down (190, 300 - 55), left (15, 150 - 10),
  // right (400 - 55, 140).
  PtzButtons b = PtzButtonRects(400, 300);
  EXPECT_EQ(b.up, (Rect{190, 15, 40, 40}));
  EXPECT_EQ(b.down, (Rect{190, 245, 40, 40}));
  EXPECT_EQ(b.left, (Rect{15, 140, 40, 40}));
  EXPECT_EQ(b.right, (Rect{345, 140, 40, 40}));
}

TEST(PtzButtons, ShownOnlyInsideTheInnerAreaOfAPlayingPanTiltCamera) {
  // Inner area: x 20..379, y 20..279.
  EXPECT_TRUE(PtzButtonsShown(true, true, 20, 20, 400, 300));
  EXPECT_TRUE(PtzButtonsShown(true, true, 379, 279, 400, 300));
  EXPECT_FALSE(PtzButtonsShown(true, true, 19, 100, 400, 300));
  EXPECT_FALSE(PtzButtonsShown(true, true, 380, 100, 400, 300));
  EXPECT_FALSE(PtzButtonsShown(true, true, 200, 280, 400, 300));
  EXPECT_FALSE(PtzButtonsShown(true, false, 200, 150, 400, 300));  // connecting
  EXPECT_FALSE(PtzButtonsShown(false, true, 200, 150, 400, 300));  // no pan/tilt
  EXPECT_FALSE(PtzButtonsShown(true, true, 20, 20, 30, 30));       // no inner area
}

}  // namespace
}  // namespace lumivex::ui
