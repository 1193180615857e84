#pragma once
// What the live view draws into: one surface per video window of the wall.
// The session converts each shown picture straight to the surface's size
// and orientation (RGB32, the byte order QImage::Format_RGB32 blits as it
// is) into the surface's back buffer and presents it; the window paints the
// front buffer 1:1. Status pictures (idle, connecting, failed) are the
// window's to draw; the session only says which one.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace lumivex {

struct PictureSize {
  int width = 0;
  int height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
  friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// 32 bits a pixel: blue, green, red, 0xFF in memory.
struct Picture {
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes a row
  std::vector<uint8_t> pixels;

  // Keeps the allocation when the size does not change.
  void Resize(int newWidth, int newHeight);
};

// What the window draws over the picture.
struct FrameOverlay {
  std::string caption;       // "<name>  <n.nn>K/s"
  bool recordMark = false;   // the blinking recording mark is visible now
  bool deviceAudio = false;  // this camera's sound is playing
  bool talkBack = false;     // the microphone goes to this camera
};

// Whether the recording mark shows on this frame: it blinks once every
// 1500 ms worth of frames, visible for the first third. A camera so slow
// that the period is under three frames would never show the mark, so it
// then stays on, as it does for a frame interval that is not positive.
bool RecordMarkVisible(int32_t blinkCounter, int32_t videoTimeGapMs);

enum class StatusPicture { kIdle, kConnecting, kFailed };

class VideoSurface {
 public:
  virtual ~VideoSurface() = default;

  // The drawing rectangle's current size; any thread.
  virtual PictureSize DrawingSize() const = 0;
  // Only the presenting session writes it, between two Present calls.
  virtual Picture& BackBuffer() = 0;
  // The back buffer becomes the picture shown; any thread.
  virtual void Present(const FrameOverlay& overlay) = 0;
  // No picture: the status picture. The window animates the connecting
  // one itself until another picture or status comes.
  virtual void ShowStatus(StatusPicture status) = 0;

  // Held by the lease of the camera drawing into the window, and by the
  // wall while it gives the window to another camera (VideoWall::Lease).
  std::mutex& leaseMutex() { return leaseMutex_; }

 private:
  std::mutex leaseMutex_;
};

// Two pictures for a surface: the session fills the back one while the
// window paints the front one.
class PictureBuffers {
 public:
  Picture& Back() { return pictures_[1 - front_]; }
  void Swap();
  // Runs f(front picture) under the lock.
  template <typename F>
  void WithFront(F f) const {
    std::lock_guard lock(mutex_);
    f(pictures_[front_]);
  }

 private:
  mutable std::mutex mutex_;
  Picture pictures_[2];
  int front_ = 0;  // guarded by mutex_
};

}  // namespace lumivex
