#include "stream/video_wall.h"

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

int HeadlessWall::IndexOfLocked(const CCamera& camera) const {
  for (std::size_t i = 0; i < owners_.size(); ++i)
    if (owners_[i] == &camera) return static_cast<int>(i);
  return -1;
}

WallPlace HeadlessWall::AssignWindow(CCamera& camera) {
  std::lock_guard lock(mutex_);
  if (const int at = IndexOfLocked(camera); at >= 0) return {0, at};
  for (std::size_t i = 0; i < owners_.size(); ++i)
    if (!owners_[i]) {
      std::lock_guard hold(surfaces_[i]->leaseMutex());
      owners_[i] = &camera;
      return {0, static_cast<int>(i)};
    }
  return {};
}

void HeadlessWall::ReleaseWindow(CCamera& camera) {
  std::lock_guard lock(mutex_);
  const int at = IndexOfLocked(camera);
  if (at < 0) return;
  CountingSurface& surface = *surfaces_[static_cast<std::size_t>(at)];
  std::lock_guard hold(surface.leaseMutex());
  owners_[static_cast<std::size_t>(at)] = nullptr;
  surface.ShowStatus(StatusPicture::kIdle);
}

WallPlace HeadlessWall::PlaceOf(const CCamera& camera) const {
  std::lock_guard lock(mutex_);
  const int at = IndexOfLocked(camera);
  return at < 0 ? WallPlace{} : WallPlace{0, at};
}

SurfaceLease HeadlessWall::Lease(const CCamera& camera) {
  std::lock_guard lock(mutex_);
  const int at = IndexOfLocked(camera);
  if (at < 0) return {};
  return SurfaceLease(*surfaces_[static_cast<std::size_t>(at)], currentPage_ == 0);
}

CountingSurface* HeadlessWall::surface(int index) {
  if (index < 0 || index >= static_cast<int>(surfaces_.size())) return nullptr;
  return surfaces_[static_cast<std::size_t>(index)].get();
}

}  // namespace lumivex
