// The main window's placement, layout and resize borders, worked out by hand.

#include <gtest/gtest.h>

#include "ui/geometry/main_window_geometry.h"

namespace lumivex::ui {
namespace {

TEST(DefaultPlacement, WideWorkAreaIsLimitedByItsHeight) {
  // a = 1645/1280 = 1.285, b = 920/720 = 1.2778 < a: h = 1040 - 180 = 860,
  // w = trunc(860 * 1280 / 720) = trunc(1528.9) = 1528,
  // left = (1920 - 1528 - 275) / 2 = 58, top = 30; window 1803 x 980.
  EXPECT_EQ(DefaultPlacement({0, 0, 1920, 1040}), (Rect{58, 30, 1803, 980}));
}

TEST(DefaultPlacement, SquareishWorkAreaIsLimitedByItsWidth) {
  // a = 1005/1280 = 0.7852, b = 904/720 = 1.2556: w = 1280 - 375 = 905,
  // h = trunc(905 * 720 / 1280) = trunc(509.06) = 509, left = 50,
  // top = (1024 - 509 - 120) / 2 = 197; window 1180 x 629.
  EXPECT_EQ(DefaultPlacement({0, 0, 1280, 1024}), (Rect{50, 197, 1180, 629}));
}

TEST(DefaultPlacement, ATieGoesToTheWidthAndTheWorkAreaOriginCounts) {
  // a = b = 1: w = 1555 - 375 = 1180, h = trunc(1180 * 720 / 1280) = 663,
  // left = 50, top = (840 - 663 - 120) / 2 = 28.
  EXPECT_EQ(DefaultPlacement({0, 0, 1555, 840}), (Rect{50, 28, 1455, 783}));
  // A panel above the work area moves the window down with it.
  EXPECT_EQ(DefaultPlacement({0, 40, 1920, 1040}), (Rect{58, 70, 1803, 980}));
}

TEST(DefaultPlacement, ATinyWorkAreaGivesNoNegativeSize) {
  Rect r = DefaultPlacement({0, 0, 300, 150});
  EXPECT_EQ(r.width, 275);  // a wall of 0 x 0 plus the margins
  EXPECT_EQ(r.height, 120);
}

TEST(RestoredPlacement, StoredEdgesWithinTheWorkAreaAreUsed) {
  Rect work{0, 0, 1920, 1040};
  EXPECT_EQ(RestoredPlacement({100, 100, 1100, 800}, work), (Rect{100, 100, 1000, 700}));
  EXPECT_EQ(RestoredPlacement({0, 0, 1920, 1040}, work), (Rect{0, 0, 1920, 1040}));
}

TEST(RestoredPlacement, AnythingElseFallsBackToTheDefault) {
  Rect work{0, 0, 1920, 1040};
  Rect fallback{58, 30, 1803, 980};
  EXPECT_EQ(RestoredPlacement({}, work), fallback);                                // none stored
  EXPECT_EQ(RestoredPlacement({100, 100, 1100, 0}, work), fallback);               // MainY1 0
  EXPECT_EQ(RestoredPlacement({-32000, -32000, -31840, -31972}, work), fallback);  // minimised
  EXPECT_EQ(RestoredPlacement({100, 100, 2000, 800}, work), fallback);             // too wide
  EXPECT_EQ(RestoredPlacement({100, 100, 1100, 1041}, work), fallback);            // too tall
  EXPECT_EQ(RestoredPlacement({1100, 800, 100, 100}, work), fallback);             // inverted
  EXPECT_EQ(RestoredPlacement({100, 100, 100, 800}, work), fallback);              // no width
}

TEST(MainWindowLayout, ToolbarSpreadsElevenPlacesOverTheWidth) {
  // a = (1500 - 870) / 11 = 57; x = 57k + 50(k - 1): 57, 164, 271, ..., 1127.
  MainWindowLayout l = LayOutMainWindow(1500, 800);
  const int expectedX[] = {57, 164, 271, 378, 485, 592, 699, 806, 913, 1020, 1127};
  for (int k = 0; k < kToolbarPlaces; ++k) {
    EXPECT_EQ(l.toolbar[k], (Rect{expectedX[k], 745, 50, 40})) << "place " << k + 1;  // 800 - 55
  }
  EXPECT_EQ(l.Toolbar(ToolbarPlace::kSplit).x, 57);
  EXPECT_EQ(l.Toolbar(ToolbarPlace::kQuality).x, 271);
  EXPECT_EQ(l.Toolbar(ToolbarPlace::kRecording).x, 1127);
}

TEST(MainWindowLayout, WallTreeAndCaptionButtons) {
  MainWindowLayout l = LayOutMainWindow(1500, 800);
  EXPECT_EQ(l.wall, (Rect{5, 50, 1225, 680}));         // 1500 - 275, 800 - 120
  EXPECT_EQ(l.tree, (Rect{1235, 50, 260, 745}));       // x 1500 - 265, down to 800 - 5
  EXPECT_EQ(l.treeFrame, (Rect{1234, 49, 262, 747}));  // one pixel outside
  EXPECT_EQ(l.closeButton, (Rect{1468, 4, 30, 20}));   // 1500 - 32
  EXPECT_EQ(l.maximizeButton, (Rect{1438, 4, 30, 20}));
  EXPECT_EQ(l.minimizeButton, (Rect{1408, 4, 30, 20}));
  EXPECT_EQ(l.menuButton, (Rect{1378, 4, 30, 20}));
  EXPECT_EQ(l.title, (Rect{10, 10, 190, 20}));
  // At the minimum width the gap is (900 - 870) / 11 = 2: the last place
  // ends at 11*2 + 50*10 + 50 = 572, left of the tree at 635.
  MainWindowLayout narrow = LayOutMainWindow(kMinWindowWidth, kMinWindowHeight);
  EXPECT_EQ(narrow.Toolbar(ToolbarPlace::kRecording).x, 522);
  EXPECT_EQ(narrow.tree.x, 635);
}

TEST(HitTestBorder, CornersThenEdgesWithTheirOnePixelDifferences) {
  const int w = 1000, h = 700;
  EXPECT_EQ(HitTestBorder(0, 0, w, h), WindowHit::kTopLeft);
  EXPECT_EQ(HitTestBorder(4, 4, w, h), WindowHit::kTopLeft);
  EXPECT_EQ(HitTestBorder(5, 4, w, h), WindowHit::kTop);           // x < 5 fails
  EXPECT_EQ(HitTestBorder(5, 695, w, h), WindowHit::kBottomLeft);  // x <= 5, y >= 695
  EXPECT_EQ(HitTestBorder(6, 695, w, h), WindowHit::kClient);      // y > 695 fails
  EXPECT_EQ(HitTestBorder(996, 4, w, h), WindowHit::kTopRight);    // x > 995
  EXPECT_EQ(HitTestBorder(995, 4, w, h), WindowHit::kRight);       // x >= 995 only
  EXPECT_EQ(HitTestBorder(995, 695, w, h), WindowHit::kBottomRight);
  EXPECT_EQ(HitTestBorder(999, 699, w, h), WindowHit::kBottomRight);
  EXPECT_EQ(HitTestBorder(4, 300, w, h), WindowHit::kLeft);
  EXPECT_EQ(HitTestBorder(5, 300, w, h), WindowHit::kClient);
  EXPECT_EQ(HitTestBorder(995, 300, w, h), WindowHit::kRight);
  EXPECT_EQ(HitTestBorder(994, 300, w, h), WindowHit::kClient);
  EXPECT_EQ(HitTestBorder(500, 4, w, h), WindowHit::kTop);
  EXPECT_EQ(HitTestBorder(500, 5, w, h), WindowHit::kClient);
  EXPECT_EQ(HitTestBorder(500, 695, w, h), WindowHit::kClient);
  EXPECT_EQ(HitTestBorder(500, 696, w, h), WindowHit::kBottom);
}

}  // namespace
}  // namespace lumivex::ui
