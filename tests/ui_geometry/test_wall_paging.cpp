// Paging: pages = ceil((cameras shown + closeCount) / windows per page).

#include <gtest/gtest.h>

#include <climits>

#include "ui/geometry/wall_paging.h"

namespace lumivex::ui {
namespace {

TEST(WallPaging, FiveCamerasOnTwoByTwoMakeTwoPagesThatWrapAround) {
  int pages = PageCount(5, 0, {2, 2, 0});  // ceil(5 / 4)
  EXPECT_EQ(pages, 2);
  EXPECT_EQ(NextPage(0, pages), 1);
  EXPECT_EQ(NextPage(1, pages), 0);
  EXPECT_EQ(PreviousPage(0, pages), 1);
  EXPECT_EQ(PreviousPage(1, pages), 0);
}

TEST(WallPaging, FewerThanTwoPagesChangeNothing) {
  EXPECT_EQ(PageCount(1, 0, {2, 2, 0}), 1);
  EXPECT_EQ(PageCount(0, 0, {2, 2, 0}), 0);
  EXPECT_EQ(NextPage(0, 1), 0);
  EXPECT_EQ(PreviousPage(0, 1), 0);
  EXPECT_EQ(NextPage(0, 0), 0);
}

TEST(WallPaging, CloseCommandsCountAsCameras) {
  // Four cameras left after one close command: 4 + 1 = 5, two pages.
  EXPECT_EQ(PageCount(4, 1, {2, 2, 0}), 2);
  EXPECT_EQ(PageCount(4, 0, {2, 2, 0}), 1);
  // "[M]" 3x3 shows 6 a page: 6 + 1 = 7 makes two; 4x4 "[M]" 8: 8 + 9 = 17, three.
  EXPECT_EQ(PageCount(6, 1, {3, 3, 1}), 2);
  EXPECT_EQ(PageCount(8, 9, {4, 4, 1}), 3);
  // Nine on 3x3 fit one page; an unknown layout counts as 2x2 (ceil(9 / 4) = 3).
  EXPECT_EQ(PageCount(9, 0, {3, 3, 0}), 1);
  EXPECT_EQ(PageCount(9, 0, {7, 7, 0}), 3);
}

TEST(WallPaging, PageCountNeverPassesTheSlotTable) {
  EXPECT_EQ(PageCount(64, 0, {1, 1, 0}), 64);
  EXPECT_EQ(PageCount(3, 1000, {1, 1, 0}), 64);
  EXPECT_EQ(PageCount(INT_MAX, INT_MAX, {1, 1, 0}), 64);
  EXPECT_EQ(PageCount(-5, -5, {1, 1, 0}), 0);
}

TEST(WallPaging, APageLeftPastTheEndStepsBackInside) {
  // Streams that ended by themselves shrink the count below the page shown.
  EXPECT_EQ(NextPage(3, 2), 0);
  EXPECT_EQ(PreviousPage(3, 2), 1);
  EXPECT_EQ(PreviousPage(2, 3), 1);
  EXPECT_EQ(NextPage(-1, 3), 0);
}

}  // namespace
}  // namespace lumivex::ui
