#pragma once
// Where the windows of the video wall sit: the cells of a layout, the drawing
// rectangle of a window, the drop target and the clamped position of a
// window being dragged.

#include <span>
#include <vector>

#include "config/user_settings.h"
#include "ui/geometry/rect.h"

namespace lumivex::ui {

inline constexpr int kWallWindows = 64;   // the window pool
inline constexpr int kWallPages = 64;     // pages of the slot table
inline constexpr int kSlotsPerPage = 16;  // slots of one page

// Windows one page shows. A layout other than the six offered counts as 2x2.
int WindowsPerPage(const WallLayout& layout);

// The cells of a layout on a wall of width x height, in slot order: plain
// layouts row by row; "[M]" layouts the large cell first, then down the last
// column and along the last row. Up to cols - 1 pixels on the right and
// rows - 1 at the bottom stay empty. A layout other than the six is laid out
// as 2x2; a negative size counts as 0.
std::vector<Rect> LayoutCells(const WallLayout& layout, int width, int height);

// Where a window draws its picture: its client area, one pixel in on every
// side while it is the selected one so the selection frame stays visible.
Rect DrawingRect(int clientWidth, int clientHeight, bool selected);

// Index of the first cell holding the point, -1 when it falls in no cell.
int CellAt(std::span<const Rect> cells, int x, int y);

// One axis of a dragged window: its near edge keeps the grab offsets
// (cursor to the near and far edge), but never leaves the wall. Screen
// pixels; wallFar is one past the wall.
int DraggedEdge(int cursor, int nearOffset, int farOffset, int wallNear, int wallFar, int cellSize);

}  // namespace lumivex::ui
