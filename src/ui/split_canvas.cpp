#include "ui/split_canvas.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

namespace lumivex {
namespace {

const QColor kBorder(64, 155, 228);
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 24;
constexpr int kGap = 4;

int PlainButtonFor(int columns) {
  for (const auto& choice : CSplitCanvas::kChoices)
    if (choice.layout.FirstLarger == 0 && choice.layout.xNums == columns) return choice.id;
  return 1002;  // 2x2, the wall's own fall-back
}

}  // namespace

CSplitCanvas::CSplitCanvas(QWidget* parent, const WallLayout& wallLayout)
    : QWidget(parent), current_(PlainButtonFor(wallLayout.xNums)) {
  const int rows = static_cast<int>(kChoices.size());
  setFixedSize(kButtonWidth + 2 * kGap, rows * (kButtonHeight + kGap) + kGap);
  for (std::size_t i = 0; i < kChoices.size(); ++i) {
    auto* b = new QPushButton(QString::fromLatin1(kChoices[i].caption), this);
    b->setGeometry(kGap, kGap + static_cast<int>(i) * (kButtonHeight + kGap), kButtonWidth, kButtonHeight);
    const int id = kChoices[i].id;
    connect(b, &QPushButton::clicked, this, [this, id] { Press(id); });
    buttons_[i] = b;
  }
  hide();
}

QPushButton* CSplitCanvas::button(int id) const {
  for (std::size_t i = 0; i < kChoices.size(); ++i)
    if (kChoices[i].id == id) return buttons_[i];
  return nullptr;
}

void CSplitCanvas::ShowAt(QPoint bottomLeft) {
  QPoint topLeft = bottomLeft - QPoint(0, height());
  move(parentWidget() ? parentWidget()->mapFromGlobal(topLeft) : topLeft);
  show();
  raise();
  if (QPushButton* b = button(current_)) b->setFocus();
}

void CSplitCanvas::Press(int id) {
  current_ = id;
  hide();
  for (const auto& choice : kChoices)
    if (choice.id == id) emit chosen(choice.layout);
}

void CSplitCanvas::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setPen(kBorder);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CSplitCanvas::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    hide();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace lumivex
