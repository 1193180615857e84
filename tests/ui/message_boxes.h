#pragma once
// The message boxes the notifier opened, for the Qt tests.

#include <QApplication>
#include <QMessageBox>
#include <QStringList>

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

}  // namespace lumivex::test
