#pragma once
// CPlaybkCanvas: the playback window's video area, a fixed 640 x 360. The
// session converts every picture to DrawingSize() and presents it; the
// canvas paints it 1:1, or the status picture stretched over the area, with
// the progress blocks while connecting.
//
// Threads: DrawingSize, BackBuffer, Present and ShowStatus come from the
// session's threads; stateMutex_ guards what they share with painting, and
// the repaint is queued to the GUI thread. Everything else is the GUI
// thread's.

#include <QImage>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "stream/video_surface.h"
#include "ui/connecting_animation.h"

namespace lumivex {

class CPlaybkCanvas : public QWidget, public VideoSurface {
  Q_OBJECT

 public:
  enum class Shown { kIdle, kConnecting, kFailed, kPicture };

  CPlaybkCanvas(const std::string& resFolder, QWidget* parent);

  // VideoSurface
  PictureSize DrawingSize() const override;
  Picture& BackBuffer() override { return buffers_.Back(); }
  void Present(const FrameOverlay& overlay) override;
  void ShowStatus(StatusPicture status) override;

  Shown shown() const;
  // Pictures presented so far.
  uint64_t presented() const { return presented_; }
  bool picturesLoaded() const { return !idle_.isNull() && !failed_.isNull(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct State {
    Shown shown = Shown::kIdle;
    std::string caption;
  };

  State Snapshot() const;
  void RequestRepaint();
  void PaintPicture(QPainter& painter);
  void PaintStatus(QPainter& painter, const State& state);

  const QImage idle_, failed_;
  PictureBuffers buffers_;
  std::atomic<uint64_t> presented_{0};
  ConnectingAnimation animation_{*this, 300};  // GUI thread
  std::atomic<bool> repaintPosted_{false};
  mutable std::mutex stateMutex_;
  State state_;  // guarded by stateMutex_
};

}  // namespace lumivex
