#include "stream/video_surface.h"

namespace lumivex {

void Picture::Resize(int newWidth, int newHeight) {
  if (newWidth == width && newHeight == height && !pixels.empty()) return;
  width = newWidth < 0 ? 0 : newWidth;
  height = newHeight < 0 ? 0 : newHeight;
  stride = width * 4;
  pixels.assign(static_cast<std::size_t>(stride) * height, 0);
}

void PictureBuffers::Swap() {
  std::lock_guard lock(mutex_);
  front_ = 1 - front_;
}

}  // namespace lumivex
