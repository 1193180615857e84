#include "ui/image_button.h"

#include <QCursor>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QToolTip>

#include "ui/geometry/pictures.h"

namespace lumivex {
namespace {

namespace pictures = ui::pictures;

constexpr int kTipDelayMs = 100;
const QColor kFallbackFace(64, 155, 228);

QPixmap Load(const std::string& folder, std::string_view base, pictures::ButtonState state) {
  return QPixmap(QString::fromStdString(folder + "/" + pictures::ButtonPicture(base, state)));
}

}  // namespace

ImageButton::ImageButton(const std::string& resFolder, std::string_view picture, int id, const QString& caption,
                         Focus focus, QWidget* parent)
    : QAbstractButton(parent),
      id_(id),
      caption_(caption),
      normal_(Load(resFolder, picture, pictures::ButtonState::kNormal)),
      pressed_(Load(resFolder, picture, pictures::ButtonState::kPressed)),
      focused_(Load(resFolder, picture, pictures::ButtonState::kFocused)) {
  setObjectName(QStringLiteral("b%1").arg(id));
  setAccessibleName(caption);
  setFocusPolicy(focus == Focus::kOnHover ? Qt::StrongFocus : Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);
  tipDelay_.setSingleShot(true);
  tipDelay_.setInterval(kTipDelayMs);
  connect(&tipDelay_, &QTimer::timeout, this, &ImageButton::ShowToolTip);
}

void ImageButton::SetDimmed(const QPixmap& picture) {
  dimmed_ = picture;
  update();
}

void ImageButton::ShowCaption(const QColor& ink) {
  captionInk_ = ink;
  update();
}

const QPixmap& ImageButton::Current() const {
  if (!dimmed_.isNull()) return dimmed_;
  if (isDown()) return pressed_;
  if (hasFocus() || underMouse()) return focused_;
  return normal_;
}

void ImageButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPixmap& picture = Current();
  if (!picture.isNull()) {
    p.drawPixmap(rect(), picture);
    if (captionInk_.isValid()) {
      p.setPen(captionInk_);
      p.drawText(rect(), Qt::AlignCenter, caption_);
    }
    return;
  }
  // No picture in res/: a plain face with the caption keeps the button usable.
  p.fillRect(rect(), isDown() ? kFallbackFace.darker(130) : kFallbackFace);
  p.setPen(hasFocus() ? Qt::yellow : Qt::white);
  p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, caption_);
}

void ImageButton::enterEvent(QEnterEvent* event) {
  if (focusPolicy() != Qt::NoFocus) setFocus(Qt::MouseFocusReason);
  if (!toolTip().isEmpty()) tipDelay_.start();
  update();
  QAbstractButton::enterEvent(event);
}

void ImageButton::leaveEvent(QEvent* event) {
  tipDelay_.stop();
  QToolTip::hideText();
  update();
  QAbstractButton::leaveEvent(event);
}

void ImageButton::focusInEvent(QFocusEvent* event) {
  update();
  QAbstractButton::focusInEvent(event);
}

void ImageButton::focusOutEvent(QFocusEvent* event) {
  update();
  QAbstractButton::focusOutEvent(event);
}

// The arrows are the window's (its focus ring), not the button's.
void ImageButton::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      event->ignore();
      return;
    default:
      QAbstractButton::keyPressEvent(event);
  }
}

bool ImageButton::event(QEvent* event) {
  // Our own 100 ms delay shows the tip; Qt's later one would show it twice.
  if (event->type() == QEvent::ToolTip) return true;
  return QAbstractButton::event(event);
}

void ImageButton::ShowToolTip() {
  // The text is asked for now: it may have changed since the mouse came.
  if (underMouse() && !toolTip().isEmpty()) QToolTip::showText(QCursor::pos(), toolTip(), this);
}

}  // namespace lumivex
