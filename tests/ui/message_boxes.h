#pragma once
// The message boxes the notifier opened, for the Qt tests.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>
#include <QTimer>
#include <algorithm>

namespace lumivex::test {

// The message boxes on screen, as "title: text"; they are closed.
inline QStringList TakeBoxes() {
  QStringList shown;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
      shown << box->windowTitle() + ": " + box->text();
      box->close();
    }
  return shown;
}

// A button's text without its mnemonic: "是(&Y)" and "&Yes" read 是 and Yes.
inline QString ButtonText(const QAbstractButton* button) {
  if (!button) return {};
  return button->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)"))).remove(QLatin1Char('&'));
}

// What a modal box showed: title, text, its buttons' texts left to right
// and the default button's text, without mnemonics.
struct SeenBox {
  QString title, text;
  QStringList buttons;
  QString defaultButton;
};

// The user's answer to the next modal box, once it is on screen.
inline void AnswerNextBox(QMessageBox::StandardButton answer, SeenBox* seen = nullptr) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, poll, [poll, answer, seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    if (seen) {
      QList<QAbstractButton*> buttons = box->buttons();
      std::sort(buttons.begin(), buttons.end(), [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
      *seen = {box->windowTitle(), box->text(), {}, ButtonText(box->defaultButton())};
      for (QAbstractButton* b : buttons) seen->buttons << ButtonText(b);
    }
    box->button(answer)->click();
    poll->deleteLater();
  });
  poll->start(20);
}

}  // namespace lumivex::test
