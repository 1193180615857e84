#pragma once
// The look the dialogs share with the main and the sign-in window: a white
// body under a band of the program's blue, a one-pixel blue frame, flat blue
// push buttons that Enter never presses, and a drag by the body.

#include <QColor>
#include <QDialog>
#include <QRect>
#include <QString>

class QKeyEvent;
class QLabel;
class QPushButton;
class QWidget;

namespace lumivex {

inline const QColor kDialogBlue(64, 155, 228);

QPushButton* MakeDialogButton(const QString& text, const char* name, const QRect& where, QWidget* parent);
// A label that lets a drag start on it.
QLabel* MakeDialogLabel(const QString& text, const QRect& where, QWidget* parent,
                        const QColor& ink = QColor(Qt::black));

// A question with OK and Cancel, Cancel the default so that Enter is the
// safe answer; true for OK.
bool AskOkCancel(QWidget* parent, const QString& title, const QString& text);

// Return or the keypad's Enter.
bool IsEnterKey(const QKeyEvent* event);

class BandedDialog : public QDialog {
  Q_OBJECT

 public:
  // bandHeight 0: white up to the frame.
  BandedDialog(QWidget* parent, int bandHeight);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  const int bandHeight_;
};

}  // namespace lumivex
