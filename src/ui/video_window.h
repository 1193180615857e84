#pragma once
// CSubCanvas: one video window of the wall. Sessions hand it pictures that
// are already the drawing rectangle's size and orientation (Present) or the
// status to show (ShowStatus); it stores what to draw and paints it on the
// GUI thread: the picture 1:1, the caption and overlay icons over it, or the
// status picture stretched with the progress blocks; then the selection mark
// and the border. Mouse and keys go to the wall (selection, drag and drop,
// whole-wall mode) and to the pan/tilt requests.
//
// Threads: Present, ShowStatus, DrawingSize and the state setters may be
// called from any thread; stateMutex_ guards what they share with painting.
// camera_ and order_ are written only under the wall's mutex. Everything
// else is the GUI thread's.

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <array>
#include <atomic>
#include <mutex>
#include <string>

#include "stream/video_surface.h"
#include "ui/connecting_animation.h"

class QAbstractButton;

namespace lumivex {

class CCamera;
class CCanvas;

// The pictures of res/ that every window draws, loaded once by the wall. A
// missing file leaves its picture null, and nothing is drawn for it.
struct WallPictures {
  QImage idle, failed;                   // status pictures
  QImage record, deviceAudio, talkBack;  // overlay icons
  struct ButtonImages {
    QPixmap normal, pressed, focused;
  };
  std::array<ButtonImages, 4> ptz;  // up, down, left, right

  static WallPictures Load(const std::string& resFolder);
};

class CSubCanvas : public QWidget, public VideoSurface {
  Q_OBJECT

 public:
  CSubCanvas(CCanvas& wall, const WallPictures& pictures, QWidget* parent);

  // VideoSurface
  PictureSize DrawingSize() const override;
  Picture& BackBuffer() override { return buffers_.Back(); }
  void Present(const FrameOverlay& overlay) override;
  void ShowStatus(StatusPicture status) override;

  CCamera* camera() const { return camera_.load(); }
  // Position within its page; equals its slot after a layout, exchanged by
  // drag and drop.
  int order() const { return order_.load(); }

  // Under the wall's mutex, not under the window's lease. A new or no camera
  // starts from its status picture.
  void SetCamera(CCamera* camera);
  void SetOrder(int order) { order_ = order; }
  // The selected window draws one pixel in and frames itself.
  void SetSelected(bool selected);
  bool selected() const;
  // Filling the whole wall: the picture takes the whole client area.
  void SetFullCanvas(bool full);
  bool fullCanvas() const;

  // Moves the window (GUI thread); the drawing size follows at once, also
  // while the window is hidden.
  void Place(const QRect& geometry);
  // Client coordinates of the picture.
  QRect drawingRect() const;
  // Up, down, left, right (tests and the wall's painting).
  QAbstractButton* ptzButton(int which) const { return ptzButtons_[static_cast<std::size_t>(which)]; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  enum class Shown { kIdle, kConnecting, kFailed, kPicture };
  struct State {
    Shown shown = Shown::kIdle;
    FrameOverlay overlay;
    bool selected = false;
    bool fullCanvas = false;
    int width = 0;  // client size
    int height = 0;
  };

  State Snapshot() const;
  static QRect DrawingRectOf(const State& state);
  // Posts one repaint to the GUI thread however often it is asked for.
  void RequestRepaint();
  void PaintPicture(QPainter& painter, const QRect& draw, const FrameOverlay& overlay, int rotation);
  void PaintStatus(QPainter& painter, const QRect& draw, const State& state);
  void PaintMarks(QPainter& painter, bool selected);
  void MakePtzButtons();
  void UpdatePtzButtons(const QPoint& cursor);
  void HidePtzButtons();
  void Drag(const QPoint& globalCursor);

  CCanvas& wall_;
  const WallPictures& pictures_;
  PictureBuffers buffers_;
  std::atomic<CCamera*> camera_{nullptr};
  std::atomic<int> order_{0};
  std::atomic<bool> repaintPosted_{false};
  mutable std::mutex stateMutex_;
  State state_;  // guarded by stateMutex_
  ConnectingAnimation animation_{*this, 500};  // GUI thread

  // Drag and drop (GUI thread): cursor to the window's edges, screen pixels.
  bool buttonDown_ = false;
  bool dragging_ = false;
  int moveCount_ = 0;
  int grabLeft_ = 0, grabTop_ = 0, grabRight_ = 0, grabBottom_ = 0;
  std::array<QAbstractButton*, 4> ptzButtons_{};
};

}  // namespace lumivex
