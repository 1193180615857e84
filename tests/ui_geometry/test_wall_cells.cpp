// Cells of the six wall layouts on a 1005 x 603 wall, worked out by hand:
// cw = 1005 / cols, ch = 603 / rows (integer division).

#include <gtest/gtest.h>

#include <vector>

#include "ui/geometry/wall_cells.h"

namespace lumivex::ui {
namespace {

constexpr int kW = 1005;
constexpr int kH = 603;

TEST(WallCells, WindowsPerPageOfTheSixLayoutsAndTheFallback) {
  EXPECT_EQ(WindowsPerPage({1, 1, 0}), 1);
  EXPECT_EQ(WindowsPerPage({2, 2, 0}), 4);
  EXPECT_EQ(WindowsPerPage({3, 3, 0}), 9);
  EXPECT_EQ(WindowsPerPage({4, 4, 0}), 16);
  EXPECT_EQ(WindowsPerPage({3, 3, 1}), 6);  // 9 - 2*2 + 1
  EXPECT_EQ(WindowsPerPage({4, 4, 1}), 8);  // 16 - 3*3 + 1
  // Anything else is laid out as 2x2, including values that would divide by 0.
  for (WallLayout odd :
       {WallLayout{0, 0, 0}, WallLayout{5, 5, 0}, WallLayout{3, 4, 0}, WallLayout{2, 2, 1},
        WallLayout{1, 1, 1}, WallLayout{3, 3, 2}, WallLayout{-1, -1, 0}}) {
    EXPECT_EQ(WindowsPerPage(odd), 4);
    EXPECT_EQ(LayoutCells(odd, kW, kH), LayoutCells({2, 2, 0}, kW, kH));
  }
}

TEST(WallCells, PlainLayoutsRowByRow) {
  EXPECT_EQ(LayoutCells({1, 1, 0}, kW, kH), (std::vector<Rect>{{0, 0, 1005, 603}}));
  // 1005/2 = 502, 603/2 = 301: column 1004 and row 602 stay empty.
  std::vector<Rect> two = LayoutCells({2, 2, 0}, kW, kH);
  EXPECT_EQ(two,
            (std::vector<Rect>{
                {0, 0, 502, 301}, {502, 0, 502, 301}, {0, 301, 502, 301}, {502, 301, 502, 301}}));
  EXPECT_EQ(CellAt(two, 1004, 10), -1);
  EXPECT_EQ(CellAt(two, 10, 602), -1);
  EXPECT_EQ(CellAt(two, 1003, 601), 3);
  // 1005/3 = 335, 603/3 = 201: fills the wall exactly.
  std::vector<Rect> three = LayoutCells({3, 3, 0}, kW, kH);
  ASSERT_EQ(three.size(), 9u);
  EXPECT_EQ(three[0], (Rect{0, 0, 335, 201}));
  EXPECT_EQ(three[2], (Rect{670, 0, 335, 201}));
  EXPECT_EQ(three[4], (Rect{335, 201, 335, 201}));
  EXPECT_EQ(three[8], (Rect{670, 402, 335, 201}));
  // 1005/4 = 251, 603/4 = 150.
  std::vector<Rect> four = LayoutCells({4, 4, 0}, kW, kH);
  ASSERT_EQ(four.size(), 16u);
  EXPECT_EQ(four[1], (Rect{251, 0, 251, 150}));
  EXPECT_EQ(four[6], (Rect{502, 150, 251, 150}));
  EXPECT_EQ(four[15], (Rect{753, 450, 251, 150}));
}

TEST(WallCells, FirstLargerLayoutsGoDownTheLastColumnThenAlongTheLastRow) {
  // 3x3: large 2*335 x 2*201, then grid indices 2, 5, 6, 7, 8.
  EXPECT_EQ(LayoutCells({3, 3, 1}, kW, kH),
            (std::vector<Rect>{{0, 0, 670, 402},
                               {670, 0, 335, 201},       // 2: top right
                               {670, 201, 335, 201},     // 5: middle right
                               {0, 402, 335, 201},       // 6
                               {335, 402, 335, 201},     // 7
                               {670, 402, 335, 201}}));  // 8
  // 4x4: large 3*251 x 3*150, then grid indices 3, 7, 11, 12, 13, 14, 15.
  EXPECT_EQ(LayoutCells({4, 4, 1}, kW, kH), (std::vector<Rect>{{0, 0, 753, 450},
                                                               {753, 0, 251, 150},
                                                               {753, 150, 251, 150},
                                                               {753, 300, 251, 150},
                                                               {0, 450, 251, 150},
                                                               {251, 450, 251, 150},
                                                               {502, 450, 251, 150},
                                                               {753, 450, 251, 150}}));
  for (WallLayout layout : {WallLayout{3, 3, 1}, WallLayout{4, 4, 1}}) {
    EXPECT_EQ(static_cast<int>(LayoutCells(layout, kW, kH).size()), WindowsPerPage(layout));
  }
}

TEST(WallCells, NoNegativeCellsForAWallWithoutSize) {
  for (const Rect& cell : LayoutCells({3, 3, 1}, -50, -1)) {
    EXPECT_EQ(cell.width, 0);
    EXPECT_EQ(cell.height, 0);
  }
}

TEST(WallCells, DrawingRectShrinksByOnePixelWhenSelected) {
  EXPECT_EQ(DrawingRect(480, 270, false), (Rect{0, 0, 480, 270}));
  EXPECT_EQ(DrawingRect(480, 270, true), (Rect{1, 1, 478, 268}));
  EXPECT_EQ(DrawingRect(1, 1, true), (Rect{1, 1, 0, 0}));
}

TEST(WallCells, DropTargetIsTheFirstCellHoldingTheCursor) {
  std::vector<Rect> cells = LayoutCells({2, 2, 0}, kW, kH);
  EXPECT_EQ(CellAt(cells, 0, 0), 0);
  EXPECT_EQ(CellAt(cells, 501, 300), 0);
  EXPECT_EQ(CellAt(cells, 502, 300), 1);
  EXPECT_EQ(CellAt(cells, 502, 301), 3);
  EXPECT_EQ(CellAt(cells, -1, 5), -1);
}

TEST(WallCells, DraggedWindowKeepsItsGripButStaysOnTheWall) {
  // Wall from x = 100 to 1105 on the screen, cells 502 wide, grabbed 50
  // from the left edge and so 452 from the right one.
  EXPECT_EQ(DraggedEdge(300, 50, 452, 100, 1105, 502), 250);  // 300 - 50
  EXPECT_EQ(DraggedEdge(120, 50, 452, 100, 1105, 502), 100);  // 70 is left of the wall
  EXPECT_EQ(DraggedEdge(653, 50, 452, 100, 1105, 502), 603);  // 653 + 452 reaches 1105
  EXPECT_EQ(DraggedEdge(652, 50, 452, 100, 1105, 502), 602);  // 1104: not yet
}

}  // namespace
}  // namespace lumivex::ui
