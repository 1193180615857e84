#include "stream/video_wall.h"

#include "stream/camera.h"

namespace lumivex {

void CountingSurface::Present(const FrameOverlay& overlay) {
  buffers_.Swap();
  {
    std::lock_guard lock(mutex_);
    overlay_ = overlay;
  }
  presented_.fetch_add(1);
}

void CountingSurface::ShowStatus(StatusPicture status) { lastStatus_ = static_cast<int>(status); }

std::string CountingSurface::lastCaption() const {
  std::lock_guard lock(mutex_);
  return overlay_.caption;
}

FrameOverlay CountingSurface::lastOverlay() const {
  std::lock_guard lock(mutex_);
  return overlay_;
}

HeadlessWall::HeadlessWall(int windows, PictureSize size) : owners_(static_cast<std::size_t>(windows), nullptr) {
  for (int i = 0; i < windows; ++i) surfaces_.push_back(std::make_unique<CountingSurface>(size));
}

WallPlace HeadlessWall::AssignWindow(CCamera& camera) {
  std::lock_guard lock(mutex_);
  WallPlace place;
  for (std::size_t i = 0; i < owners_.size() && !place.valid(); ++i)
    if (owners_[i] == &camera) place = {0, static_cast<int>(i)};
  for (std::size_t i = 0; i < owners_.size() && !place.valid(); ++i)
    if (!owners_[i]) {
      owners_[i] = &camera;
      place = {0, static_cast<int>(i)};
    }
  camera.wallPage = place.page;
  camera.wallIndex = place.index;
  return place;
}

void HeadlessWall::ReleaseWindow(CCamera& camera, WallPlace place) {
  std::lock_guard lock(mutex_);
  if (place.page != 0 || place.index < 0 || place.index >= static_cast<int>(owners_.size())) return;
  if (owners_[static_cast<std::size_t>(place.index)] != &camera) return;
  owners_[static_cast<std::size_t>(place.index)] = nullptr;
  surfaces_[static_cast<std::size_t>(place.index)]->ShowStatus(StatusPicture::kIdle);
}

VideoSurface* HeadlessWall::Surface(WallPlace place) { return place.page == 0 ? surface(place.index) : nullptr; }

CountingSurface* HeadlessWall::surface(int index) {
  if (index < 0 || index >= static_cast<int>(surfaces_.size())) return nullptr;
  return surfaces_[static_cast<std::size_t>(index)].get();
}

}  // namespace lumivex
