#pragma once
// The video wall as the live view sees it: windows handed out to sessions,
// the page on screen, the process-wide choice of the audio and talk-back
// cameras. The desktop program's wall implements it with its 64 windows;
// HeadlessWall below serves the command-line driver, the benchmark and the
// tests.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "stream/audio_switch.h"
#include "stream/video_surface.h"

namespace lumivex {

class CCamera;

struct WallPlace {
  int page = -1;
  int index = -1;
  bool valid() const { return page >= 0 && index >= 0; }
};

// A camera's window, held for one conversion and presentation: while the
// lease lives the window keeps its camera, so a layout change waits for the
// tick, and no tick draws into a window another camera has taken.
class SurfaceLease {
 public:
  SurfaceLease() = default;
  SurfaceLease(VideoSurface& surface, bool onScreen)
      : surface_(&surface), hold_(surface.leaseMutex()), onScreen_(onScreen) {}

  explicit operator bool() const { return surface_ != nullptr; }
  VideoSurface* operator->() const { return surface_; }
  VideoSurface& operator*() const { return *surface_; }
  // The window is on the page shown.
  bool onScreen() const { return onScreen_; }

 private:
  VideoSurface* surface_ = nullptr;
  std::unique_lock<std::mutex> hold_;
  bool onScreen_ = false;
};

// Which window shows which camera is the wall's alone, under its lock; the
// cameras ask it. Lock order: a camera's own locks, then the wall's, then
// a window's lease.
class VideoWall {
 public:
  virtual ~VideoWall() = default;
  // The first free window for camera (a layout change may move it later);
  // an invalid place when none is free.
  virtual WallPlace AssignWindow(CCamera& camera) = 0;
  // Frees the camera's window, if it has one, and shows it empty again.
  virtual void ReleaseWindow(CCamera& camera) = 0;
  virtual WallPlace PlaceOf(const CCamera& camera) const = 0;
  // The camera's window, held; empty when it has none. Not while holding
  // another lease.
  virtual SurfaceLease Lease(const CCamera& camera) = 0;
  virtual int currentPage() const = 0;
  virtual AudioSwitch& audio() = 0;
};

// A surface that keeps what it was given, for drivers without a screen.
class CountingSurface : public VideoSurface {
 public:
  explicit CountingSurface(PictureSize size) : size_(size) {}

  PictureSize DrawingSize() const override { return size_; }
  Picture& BackBuffer() override { return buffers_.Back(); }
  void Present(const FrameOverlay& overlay) override;
  void ShowStatus(StatusPicture status) override;

  uint64_t presented() const { return presented_; }
  int lastStatus() const { return lastStatus_; }  // StatusPicture, -1 before the first
  std::string lastCaption() const;
  FrameOverlay lastOverlay() const;
  const PictureBuffers& pictures() const { return buffers_; }

 private:
  const PictureSize size_;
  PictureBuffers buffers_;
  std::atomic<uint64_t> presented_{0};
  std::atomic<int> lastStatus_{-1};
  mutable std::mutex mutex_;
  FrameOverlay overlay_;  // guarded by mutex_
};

// One page of counting surfaces of one size.
class HeadlessWall : public VideoWall {
 public:
  HeadlessWall(int windows, PictureSize size);

  WallPlace AssignWindow(CCamera& camera) override;
  void ReleaseWindow(CCamera& camera) override;
  WallPlace PlaceOf(const CCamera& camera) const override;
  SurfaceLease Lease(const CCamera& camera) override;
  int currentPage() const override { return currentPage_; }
  AudioSwitch& audio() override { return audio_; }

  CountingSurface* surface(int index);
  // Another page than the windows' one: sessions decode but draw nothing.
  void SetCurrentPage(int page) { currentPage_ = page; }

 private:
  int IndexOfLocked(const CCamera& camera) const;

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<CountingSurface>> surfaces_;
  std::vector<const CCamera*> owners_;  // guarded by mutex_
  std::atomic<int> currentPage_{0};
  AudioSwitch audio_;
};

}  // namespace lumivex
