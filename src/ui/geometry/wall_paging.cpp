#include "ui/geometry/wall_paging.h"

#include <algorithm>
#include <cstdint>

#include "ui/geometry/wall_cells.h"

namespace lumivex::ui {

int PageCount(int camerasShown, int closeCount, const WallLayout& layout) {
  int64_t count = int64_t{std::max(0, camerasShown)} + std::max(0, closeCount);
  int64_t perPage = WindowsPerPage(layout);
  return static_cast<int>(std::min<int64_t>((count + perPage - 1) / perPage, kWallPages));
}

// Cameras stopped by the stream itself leave closeCount as it was, so the
// page on screen may lie past the last page; both directions then land
// inside the range again.
int NextPage(int currentPage, int pageCount) {
  if (pageCount < 2) return currentPage;
  return currentPage >= pageCount - 1 || currentPage < 0 ? 0 : currentPage + 1;
}

int PreviousPage(int currentPage, int pageCount) {
  if (pageCount < 2) return currentPage;
  if (currentPage <= 0) return pageCount - 1;
  return std::min(currentPage - 1, pageCount - 1);
}

}  // namespace lumivex::ui
