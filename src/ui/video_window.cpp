#include "ui/video_window.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "stream/camera.h"
#include "ui/geometry/pictures.h"
#include "ui/geometry/ptz_buttons.h"
#include "ui/geometry/video_overlay.h"
#include "ui/geometry/wall_cells.h"
#include "ui/video_wall_widget.h"

namespace lumivex {
namespace {

namespace pictures = ui::pictures;

const QColor kCaptionColour(64, 128, 255);
const QColor kSelectionColour(64, 155, 225);
const QColor kBorderColour(64, 155, 228);
constexpr int kSelectionWidth = 2;
constexpr int kDragStartMoves = 4;

// Up, down, left, right: the buttons, the arrow keys and the requests.
constexpr PtzDirection kPtzDirections[] = {PtzDirection::kUp, PtzDirection::kDown, PtzDirection::kLeft,
                                           PtzDirection::kRight};
const char* const kPtzNames[] = {pictures::kPtzUp, pictures::kPtzDown, pictures::kPtzLeft, pictures::kPtzRight};

QRect ToQRect(const ui::Rect& r) { return {r.x, r.y, r.width, r.height}; }

QImage LoadImage(const std::string& folder, const std::string& name) {
  return QImage(QString::fromStdString(folder + "/" + name));
}

const QFont& CaptionFont() {
  static const QFont font = [] {
    QFont f;
    f.setFamilies({QStringLiteral("NSimSun"), QStringLiteral("新宋体"), QStringLiteral("WenQuanYi Micro Hei Mono"),
                   QStringLiteral("WenQuanYi Micro Hei")});
    f.setPixelSize(12);
    f.setWeight(QFont::Normal);
    return f;
  }();
  return font;
}

// An arrow over the picture, drawn from its three pictures.
class PtzButton : public QAbstractButton {
 public:
  PtzButton(const WallPictures::ButtonImages& images, QWidget* parent) : QAbstractButton(parent), images_(images) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QPixmap& image = isDown() ? images_.pressed : underMouse() ? images_.focused : images_.normal;
    if (!image.isNull()) p.drawPixmap(rect(), image);
  }

 private:
  const WallPictures::ButtonImages& images_;
};

}  // namespace

WallPictures WallPictures::Load(const std::string& folder) {
  WallPictures p;
  p.idle = LoadImage(folder, pictures::kCameraRect);
  p.failed = LoadImage(folder, pictures::kCameraRectFailed);
  p.record = LoadImage(folder, pictures::kVideoRecord);
  p.deviceAudio = LoadImage(folder, pictures::kDevAudio);
  p.talkBack = LoadImage(folder, pictures::kLocalAudio);
  for (std::size_t i = 0; i < p.ptz.size(); ++i) {
    auto path = [&](pictures::ButtonState s) {
      return QString::fromStdString(folder + "/" + pictures::ButtonPicture(kPtzNames[i], s));
    };
    p.ptz[i] = {QPixmap(path(pictures::ButtonState::kNormal)), QPixmap(path(pictures::ButtonState::kPressed)),
                QPixmap(path(pictures::ButtonState::kFocused))};
  }
  return p;
}

CSubCanvas::CSubCanvas(CCanvas& wall, const WallPictures& pictures, QWidget* parent)
    : QWidget(parent), wall_(wall), pictures_(pictures) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted
  setMouseTracking(true);                 // the arrows follow the cursor
  setFocusPolicy(Qt::ClickFocus);         // the arrow keys steer
  MakePtzButtons();
  hide();
}

void CSubCanvas::MakePtzButtons() {
  for (std::size_t i = 0; i < ptzButtons_.size(); ++i) {
    auto* b = new PtzButton(pictures_.ptz[i], this);
    b->resize(ui::kPtzButtonSize, ui::kPtzButtonSize);
    b->hide();
    connect(b, &QAbstractButton::pressed, this, [this, i] {
      if (CCamera* c = camera()) c->RequestPanTilt(kPtzDirections[i]);
    });
    ptzButtons_[i] = b;
  }
}

CSubCanvas::State CSubCanvas::Snapshot() const {
  std::lock_guard lock(stateMutex_);
  return state_;
}

QRect CSubCanvas::DrawingRectOf(const State& s) {
  if (s.fullCanvas) return {0, 0, std::max(0, s.width), std::max(0, s.height)};
  return ToQRect(ui::DrawingRect(s.width, s.height, s.selected));
}

QRect CSubCanvas::drawingRect() const { return DrawingRectOf(Snapshot()); }

PictureSize CSubCanvas::DrawingSize() const {
  const QRect r = drawingRect();
  return {r.width(), r.height()};
}

void CSubCanvas::Present(const FrameOverlay& overlay) {
  buffers_.Swap();
  bool first;
  {
    std::lock_guard lock(stateMutex_);
    first = state_.shown != Shown::kPicture;
    state_.shown = Shown::kPicture;
    state_.overlay = overlay;
  }
  if (first) wall_.WindowPlaying();
  RequestRepaint();
}

void CSubCanvas::ShowStatus(StatusPicture status) {
  {
    std::lock_guard lock(stateMutex_);
    state_.shown = status == StatusPicture::kFailed       ? Shown::kFailed
                   : status == StatusPicture::kConnecting ? Shown::kConnecting
                                                          : Shown::kIdle;
  }
  RequestRepaint();
}

void CSubCanvas::SetCamera(CCamera* camera) {
  std::lock_guard hold(leaseMutex());  // a tick drawing into the window ends first
  camera_ = camera;
  // A camera moved here by a layout change shows its status at once; its
  // next picture follows.
  const int32_t status = camera ? camera->m_VideoStatus.load() : STATUS_READY;
  {
    std::lock_guard lock(stateMutex_);
    state_.shown = status == STATUS_VIDEO_CONNECTING ? Shown::kConnecting
                   : status == STATUS_VIDEO_FAILED   ? Shown::kFailed
                                                     : Shown::kIdle;
    state_.overlay = {};
  }
  RequestRepaint();
}

void CSubCanvas::SetSelected(bool selected) {
  {
    std::lock_guard lock(stateMutex_);
    if (state_.selected == selected) return;
    state_.selected = selected;
  }
  RequestRepaint();
}

bool CSubCanvas::selected() const { return Snapshot().selected; }

void CSubCanvas::SetFullCanvas(bool full) {
  {
    std::lock_guard lock(stateMutex_);
    state_.fullCanvas = full;
  }
  RequestRepaint();
}

bool CSubCanvas::fullCanvas() const { return Snapshot().fullCanvas; }

void CSubCanvas::RequestRepaint() {
  if (repaintPosted_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        repaintPosted_ = false;
        if (!camera()) HidePtzButtons();
        update();
      },
      Qt::QueuedConnection);
}

void CSubCanvas::Place(const QRect& geometry) {
  setGeometry(geometry);
  std::lock_guard lock(stateMutex_);
  state_.width = geometry.width();
  state_.height = geometry.height();
}

void CSubCanvas::resizeEvent(QResizeEvent*) {
  {
    std::lock_guard lock(stateMutex_);
    state_.width = width();
    state_.height = height();
  }
  const ui::PtzButtons at = ui::PtzButtonRects(width(), height());
  const ui::Rect rects[] = {at.up, at.down, at.left, at.right};
  for (std::size_t i = 0; i < ptzButtons_.size(); ++i) ptzButtons_[i]->setGeometry(ToQRect(rects[i]));
}

void CSubCanvas::paintEvent(QPaintEvent*) {
  const State s = Snapshot();
  animation_.Follow(s.shown == Shown::kConnecting);
  const QRect draw = DrawingRectOf(s);
  QPainter p(this);
  CCamera* shown = camera();
  if (shown && s.shown == Shown::kPicture)
    PaintPicture(p, draw, s.overlay, shown->rotation);
  else
    PaintStatus(p, draw, shown ? s : State{});
  PaintMarks(p, shown && s.selected);
}

// The picture was made at the drawing rectangle's size: it is copied, never
// scaled. Until the next one arrives after a size change, what it leaves
// uncovered is black.
void CSubCanvas::PaintPicture(QPainter& p, const QRect& draw, const FrameOverlay& overlay, int rotation) {
  buffers_.WithFront([&](const Picture& picture) {
    const bool usable = picture.width > 0 && picture.height > 0 && picture.stride >= picture.width * 4 &&
                        picture.pixels.size() >= static_cast<std::size_t>(picture.stride) * picture.height;
    if (!usable || picture.width < draw.width() || picture.height < draw.height()) p.fillRect(draw, Qt::black);
    if (!usable) return;
    const QImage image(picture.pixels.data(), picture.width, picture.height, picture.stride, QImage::Format_RGB32);
    p.drawImage(draw.topLeft(), image,
                QRect(0, 0, std::min(picture.width, draw.width()), std::min(picture.height, draw.height())));
  });
  p.setFont(CaptionFont());
  p.setPen(kCaptionColour);
  const QPoint at = rotation == 0 ? QPoint(6, 12) : QPoint(6, 4);
  p.drawText(QRect(at, QPoint(std::max(at.x(), draw.right()), std::max(at.y(), draw.bottom()))),
             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QString::fromStdString(overlay.caption));
  const ui::OverlayIcons icons = ui::OverlayIconRects(width(), height());
  auto icon = [&](bool on, const ui::Rect& r, const QImage& image) {
    if (on && !image.isNull()) p.drawImage(ToQRect(r), image);
  };
  icon(overlay.recordMark, icons.recording, pictures_.record);
  icon(overlay.deviceAudio, icons.deviceAudio, pictures_.deviceAudio);
  icon(overlay.talkBack, icons.talkBack, pictures_.talkBack);
}

void CSubCanvas::PaintStatus(QPainter& p, const QRect& draw, const State& s) {
  const QImage& image = s.shown == Shown::kFailed ? pictures_.failed : pictures_.idle;
  if (image.isNull()) {
    p.fillRect(draw, Qt::black);
  } else {
    p.setRenderHint(QPainter::SmoothPixmapTransform);  // a status picture may be stretched
    p.drawImage(draw, image);
  }
  if (s.shown != Shown::kConnecting) return;
  const ui::ProgressBlocks blocks = ui::ProgressBlockRects(width(), height(), animation_.step(), ui::ProgressStyle::kLive);
  for (std::size_t k = 0; k < blocks.blocks.size(); ++k) {
    const bool active = static_cast<int>(k) == blocks.active;
    p.fillRect(ToQRect(blocks.blocks[k]), QColor::fromRgba(active ? ui::kProgressActiveArgb : ui::kProgressBlockArgb));
  }
}

void CSubCanvas::PaintMarks(QPainter& p, bool selected) {
  const int w = width(), h = height();
  auto frame = [&](int thickness, const QColor& colour) {
    p.fillRect(0, 0, w, thickness, colour);
    p.fillRect(0, h - thickness, w, thickness, colour);
    p.fillRect(0, 0, thickness, h, colour);
    p.fillRect(w - thickness, 0, thickness, h, colour);
  };
  if (selected) frame(kSelectionWidth, kSelectionColour);
  frame(1, kBorderColour);
}

void CSubCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  wall_.HideLayoutChooser();
  if (!camera()) return;
  buttonDown_ = true;
  dragging_ = false;
  moveCount_ = 0;
  const QPoint cursor = event->globalPosition().toPoint();
  const QPoint topLeft = mapToGlobal(QPoint(0, 0));
  grabLeft_ = cursor.x() - topLeft.x();
  grabTop_ = cursor.y() - topLeft.y();
  grabRight_ = topLeft.x() + width() - cursor.x();
  grabBottom_ = topLeft.y() + height() - cursor.y();
  wall_.SelectWindow(*this);
}

void CSubCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (buttonDown_ && (event->buttons() & Qt::LeftButton)) {
    if (++moveCount_ >= kDragStartMoves) dragging_ = true;
    if (dragging_) return Drag(event->globalPosition().toPoint());
  }
  UpdatePtzButtons(event->position().toPoint());
}

void CSubCanvas::Drag(const QPoint& cursor) {
  QWidget* area = parentWidget();
  const QPoint wallTopLeft = area->mapToGlobal(QPoint(0, 0));
  const int left = ui::DraggedEdge(cursor.x(), grabLeft_, grabRight_, wallTopLeft.x(), wallTopLeft.x() + area->width(),
                                   width());
  const int top = ui::DraggedEdge(cursor.y(), grabTop_, grabBottom_, wallTopLeft.y(), wallTopLeft.y() + area->height(),
                                  height());
  raise();
  move(area->mapFromGlobal(QPoint(left, top)));
}

void CSubCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !buttonDown_) return QWidget::mouseReleaseEvent(event);
  buttonDown_ = false;
  moveCount_ = 0;
  if (!dragging_) return;
  dragging_ = false;
  wall_.DropWindow(*this, parentWidget()->mapFromGlobal(event->globalPosition().toPoint()));
}

void CSubCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
  wall_.ToggleFullWall(*this);
}

void CSubCanvas::keyPressEvent(QKeyEvent* event) {
  int which = -1;
  switch (event->key()) {
    case Qt::Key_Up: which = 0; break;
    case Qt::Key_Down: which = 1; break;
    case Qt::Key_Left: which = 2; break;
    case Qt::Key_Right: which = 3; break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      return event->accept();  // swallowed, as in every video window
    default:
      return QWidget::keyPressEvent(event);
  }
  if (CCamera* c = camera()) c->RequestPanTilt(kPtzDirections[which]);
  event->accept();
}

void CSubCanvas::UpdatePtzButtons(const QPoint& cursor) {
  CCamera* shown = camera();
  const bool visible = shown && ui::PtzButtonsShown(wall_.IsPanTiltModel(*shown),
                                                    shown->m_VideoStatus == STATUS_VIDEO_PLAYING, cursor.x(),
                                                    cursor.y(), width(), height());
  for (QAbstractButton* b : ptzButtons_) b->setVisible(visible);
}

void CSubCanvas::HidePtzButtons() {
  for (QAbstractButton* b : ptzButtons_) b->hide();
}

}  // namespace lumivex
