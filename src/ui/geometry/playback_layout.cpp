#include "ui/geometry/playback_layout.h"

namespace lumivex::ui {
namespace {

// MulDiv: the product divided, rounded half away from zero.
int Scale(int value, int base, int divisor) {
  const long long product = static_cast<long long>(value) * base;
  return static_cast<int>(product >= 0 ? (product + divisor / 2) / divisor : -((-product + divisor / 2) / divisor));
}

constexpr int kListTop = 39;
constexpr int kListWidth = 31;
constexpr int kListHeight = 155;
constexpr int kListLefts[] = {385, 420, 454, 489};
constexpr int kListLabelTop = 29;
constexpr int kListLabelHeight = 9;

}  // namespace

Rect DialogRect(int x, int y, int width, int height, DialogUnits units) {
  const int left = Scale(x, units.baseX, 4), top = Scale(y, units.baseY, 8);
  return {left, top, Scale(x + width, units.baseX, 4) - left, Scale(y + height, units.baseY, 8) - top};
}

PlaybackLayout LayOutPlayback(DialogUnits u) {
  PlaybackLayout l;
  l.client = DialogRect(0, 0, 528, 239, u);
  l.close = DialogRect(507, 2, 17, 9, u);
  l.trackbar = DialogRect(43, 206, 287, 15, u);
  l.back = DialogRect(99, 219, 40, 14, u);
  l.pause = DialogRect(166, 219, 40, 14, u);
  l.forward = DialogRect(234, 219, 40, 14, u);
  l.start = DialogRect(420, 204, 70, 18, u);
  l.title = DialogRect(193, 8, 140, 9, u);
  l.currentTime = DialogRect(10, 208, 32, 8, u);
  l.endTime = DialogRect(341, 208, 32, 8, u);
  for (std::size_t i = 0; i < l.lists.size(); ++i) {
    l.lists[i] = DialogRect(kListLefts[i], kListTop, kListWidth, kListHeight, u);
    l.listLabels[i] = DialogRect(kListLefts[i], kListLabelTop, kListWidth, kListLabelHeight, u);
  }
  return l;
}

}  // namespace lumivex::ui
