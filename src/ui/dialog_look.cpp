#include "ui/dialog_look.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QWindow>

namespace lumivex {
namespace {

const QString kButtonStyle = QStringLiteral(
    "QPushButton { background: rgb(64, 155, 228); color: white; border: none; border-radius: 3px; }"
    "QPushButton:pressed { background: rgb(44, 125, 198); }"
    "QPushButton:focus { border: 1px solid rgb(24, 95, 168); }"
    "QPushButton:disabled { background: rgb(190, 205, 220); }");

}  // namespace

QPushButton* MakeDialogButton(const QString& text, const char* name, const QRect& where, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setGeometry(where);
  button->setStyleSheet(kButtonStyle);
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

QLabel* MakeDialogLabel(const QString& text, const QRect& where, QWidget* parent, const QColor& ink) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(where);
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, ink);
  label->setPalette(palette);
  return label;
}

bool AskOkCancel(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
  box.setDefaultButton(QMessageBox::Cancel);
  box.setEscapeButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

bool IsEnterKey(const QKeyEvent* event) {
  return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

BandedDialog::BandedDialog(QWidget* parent, int bandHeight)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), bandHeight_(bandHeight) {}

void BandedDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  if (bandHeight_ > 0) p.fillRect(0, 0, width(), bandHeight_, kDialogBlue);
  p.setPen(kDialogBlue);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void BandedDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QDialog::mousePressEvent(event);
  if (windowHandle()) windowHandle()->startSystemMove();
}

}  // namespace lumivex
