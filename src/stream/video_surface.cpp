#include "stream/video_surface.h"

namespace lumivex {

void Picture::Resize(int newWidth, int newHeight) {
  if (newWidth == width && newHeight == height && !pixels.empty()) return;
  width = newWidth < 0 ? 0 : newWidth;
  height = newHeight < 0 ? 0 : newHeight;
  stride = width * 4;
  pixels.assign(static_cast<std::size_t>(stride) * height, 0);
}

bool RecordMarkVisible(int32_t blinkCounter, int32_t videoTimeGapMs) {
  if (videoTimeGapMs <= 0) return true;
  const int32_t period = 1500 / videoTimeGapMs;
  if (period < 3) return true;
  const int32_t phase = ((blinkCounter % period) + period) % period;  // after the counter wrapped too
  return phase < period / 3;
}

void PictureBuffers::Swap() {
  std::lock_guard lock(mutex_);
  front_ = 1 - front_;
}

}  // namespace lumivex
