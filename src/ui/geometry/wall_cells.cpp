#include "ui/geometry/wall_cells.h"

#include <algorithm>

namespace lumivex::ui {

int WindowsPerPage(const WallLayout& layout) {
  WallLayout l = OfferedLayoutOr2x2(layout);
  int cells = l.xNums * l.yNums;
  return l.FirstLarger == 1 ? cells - (l.xNums - 1) * (l.yNums - 1) + 1 : cells;
}

namespace {

Rect GridCell(int index, int cols, int cw, int ch) {
  return {(index % cols) * cw, (index / cols) * ch, cw, ch};
}

std::vector<Rect> PlainCells(int cols, int rows, int cw, int ch) {
  std::vector<Rect> cells;
  for (int j = 0; j < cols * rows; ++j) cells.push_back(GridCell(j, cols, cw, ch));
  return cells;
}

// The large cell takes cols - 1 on both sides, which only fits the square
// grids the chooser offers; the rest walk down the last column, then along
// the last row.
std::vector<Rect> FirstLargerCells(int cols, int rows, int cw, int ch) {
  std::vector<Rect> cells{{0, 0, (cols - 1) * cw, (cols - 1) * ch}};
  int h = cols - 1;
  for (int k = cols - 2; h < cols * rows; --k) {
    cells.push_back(GridCell(h, cols, cw, ch));
    h += k > 0 ? cols : 1;
  }
  return cells;
}

}  // namespace

std::vector<Rect> LayoutCells(const WallLayout& layout, int width, int height) {
  WallLayout l = OfferedLayoutOr2x2(layout);
  int cw = std::max(0, width) / l.xNums;
  int ch = std::max(0, height) / l.yNums;
  return l.FirstLarger == 1 ? FirstLargerCells(l.xNums, l.yNums, cw, ch)
                            : PlainCells(l.xNums, l.yNums, cw, ch);
}

Rect DrawingRect(int clientWidth, int clientHeight, bool selected) {
  Rect client{0, 0, std::max(0, clientWidth), std::max(0, clientHeight)};
  return selected ? client.Shrunk(1) : client;
}

int CellAt(std::span<const Rect> cells, int x, int y) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (cells[i].Contains(x, y)) return static_cast<int>(i);
  }
  return -1;
}

int DraggedEdge(int cursor, int nearOffset, int farOffset, int wallNear, int wallFar,
                int cellSize) {
  if (cursor + farOffset >= wallFar) return wallFar - cellSize;
  return std::max(wallNear, cursor - nearOffset);
}

}  // namespace lumivex::ui
