#include "ui/playback/playback_canvas.h"

#include <QPainter>

#include <algorithm>

#include "ui/geometry/pictures.h"
#include "ui/geometry/playback_layout.h"
#include "ui/geometry/video_overlay.h"

namespace lumivex {
namespace {

namespace pictures = ui::pictures;

const QColor kCanvasText(200, 200, 200);

QImage LoadImage(const std::string& folder, const char* name) {
  return QImage(QString::fromStdString(folder + "/" + name));
}

QRect ToQRect(const ui::Rect& r) { return {r.x, r.y, r.width, r.height}; }

}  // namespace

CPlaybkCanvas::CPlaybkCanvas(const std::string& resFolder, QWidget* parent)
    : QWidget(parent),
      idle_(LoadImage(resFolder, pictures::kPlayback)),
      failed_(LoadImage(resFolder, pictures::kPlaybackFailed)) {
  setObjectName(QStringLiteral("canvas"));
  setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted
  setGeometry(ToQRect(ui::kPlaybackCanvas));
}

// Fixed, so it is the same from any thread without a lock.
PictureSize CPlaybkCanvas::DrawingSize() const { return {ui::kPlaybackCanvas.width, ui::kPlaybackCanvas.height}; }

void CPlaybkCanvas::Present(const FrameOverlay& overlay) {
  buffers_.Swap();
  {
    std::lock_guard lock(stateMutex_);
    state_.shown = Shown::kPicture;
    state_.caption = overlay.caption;
  }
  ++presented_;
  RequestRepaint();
}

void CPlaybkCanvas::ShowStatus(StatusPicture status) {
  {
    std::lock_guard lock(stateMutex_);
    state_.shown = status == StatusPicture::kFailed       ? Shown::kFailed
                   : status == StatusPicture::kConnecting ? Shown::kConnecting
                                                          : Shown::kIdle;
  }
  RequestRepaint();
}

CPlaybkCanvas::State CPlaybkCanvas::Snapshot() const {
  std::lock_guard lock(stateMutex_);
  return state_;
}

CPlaybkCanvas::Shown CPlaybkCanvas::shown() const { return Snapshot().shown; }

// One repaint posted however often the session asks; Qt drops it when the
// canvas has gone.
void CPlaybkCanvas::RequestRepaint() {
  if (repaintPosted_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        repaintPosted_ = false;
        update();
      },
      Qt::QueuedConnection);
}

void CPlaybkCanvas::paintEvent(QPaintEvent*) {
  const State s = Snapshot();
  animation_.Follow(s.shown == Shown::kConnecting);
  QPainter p(this);
  if (s.shown == Shown::kPicture) {
    PaintPicture(p);
    if (!s.caption.empty()) {
      p.setPen(kCanvasText);
      p.drawText(rect().adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                 QString::fromStdString(s.caption));
    }
    return;
  }
  PaintStatus(p, s);
}

// The session made the picture at the drawing size: copied, never scaled;
// what a smaller one leaves uncovered is black.
void CPlaybkCanvas::PaintPicture(QPainter& p) {
  buffers_.WithFront([&](const Picture& picture) {
    const bool usable = picture.width > 0 && picture.height > 0 && picture.stride >= picture.width * 4 &&
                        picture.pixels.size() >= static_cast<std::size_t>(picture.stride) * picture.height;
    if (!usable || picture.width < width() || picture.height < height()) p.fillRect(rect(), Qt::black);
    if (!usable) return;
    const QImage image(picture.pixels.data(), picture.width, picture.height, picture.stride, QImage::Format_RGB32);
    p.drawImage(QPoint(0, 0), image,
                QRect(0, 0, std::min(picture.width, width()), std::min(picture.height, height())));
  });
}

void CPlaybkCanvas::PaintStatus(QPainter& p, const State& s) {
  const QImage& image = s.shown == Shown::kFailed ? failed_ : idle_;
  if (image.isNull()) {
    // Without res/ the area still says what it is doing.
    p.fillRect(rect(), Qt::black);
    p.setPen(kCanvasText);
    const char* text = s.shown == Shown::kFailed ? "播放失败" : s.shown == Shown::kConnecting ? "正在连接..." : "";
    p.drawText(rect(), Qt::AlignCenter, QString::fromUtf8(text));
  } else {
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), image);
  }
  if (s.shown != Shown::kConnecting) return;
  const ui::ProgressBlocks blocks =
      ui::ProgressBlockRects(width(), height(), animation_.step(), ui::ProgressStyle::kPlayback);
  for (std::size_t k = 0; k < blocks.blocks.size(); ++k) {
    const bool active = static_cast<int>(k) == blocks.active;
    p.fillRect(ToQRect(blocks.blocks[k]), QColor::fromRgba(active ? ui::kProgressActiveArgb : ui::kProgressBlockArgb));
  }
}

}  // namespace lumivex
