#pragma once
// The picture buttons of the windows' toolbars and caption bands: a normal,
// a pressed and a focused picture from res/, a tooltip that comes after
// 100 ms, and (main toolbar only) the keyboard focus as the mouse enters.
// A button whose pictures are missing draws its caption instead, so it can
// still be used.

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QString>
#include <QTimer>

#include <string>
#include <string_view>

namespace lumivex {

class ImageButton : public QAbstractButton {
  Q_OBJECT

 public:
  enum class Focus { kOnHover, kNone };

  ImageButton(const std::string& resFolder, std::string_view picture, int id, const QString& caption,
              Focus focus, QWidget* parent);

  int id() const { return id_; }
  // All three pictures were found.
  bool loaded() const { return !normal_.isNull() && !pressed_.isNull() && !focused_.isNull(); }
  const QString& caption() const { return caption_; }
  // One picture for every state (the "off" audio buttons of a model without
  // audio); a null picture brings the button's own back.
  void SetDimmed(const QPixmap& picture);
  bool dimmed() const { return !dimmed_.isNull(); }
  // Writes the caption over the pictures in ink (the tabs: one picture for
  // several captions).
  void ShowCaption(const QColor& ink);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void ShowToolTip();
  const QPixmap& Current() const;

  const int id_;
  const QString caption_;
  QPixmap normal_, pressed_, focused_, dimmed_;
  QColor captionInk_;  // invalid: the pictures carry their own
  QTimer tipDelay_;
};

}  // namespace lumivex
