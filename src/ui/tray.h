#pragma once
// The main window's icon in the notification area: a left click brings the
// window back, the right button opens a menu to hide or show it and to end
// the program. The menu exists also where the desktop has no notification
// area; then there is no icon, and the window never hides in the tray.

#include <functional>

#include <QIcon>
#include <QMenu>
#include <QObject>

class QAction;
class QSystemTrayIcon;
class QWidget;

namespace lumivex {

class CTray : public QObject {
  Q_OBJECT

 public:
  static constexpr int kToggleId = 2008;
  static constexpr int kExitId = 2009;

  // reveal shows the window again (in the state it had).
  CTray(QWidget& window, const QIcon& icon, const QString& tip, std::function<void()> reveal);
  ~CTray() override;

  // False where the desktop has no notification area.
  bool available() const { return icon_ != nullptr; }
  // The entries follow the window: "最小化到托盘" while it is visible,
  // "显示主窗口" while hidden.
  QMenu& menu();
  QAction* toggleEntry() const { return toggle_; }
  QAction* exitEntry() const { return exit_; }

 signals:
  void exitRequested();

 private:
  void UpdateEntries();
  void Toggle();

  QWidget& window_;
  std::function<void()> reveal_;
  QMenu menu_;
  QAction* toggle_ = nullptr;
  QAction* exit_ = nullptr;
  QSystemTrayIcon* icon_ = nullptr;
};

}  // namespace lumivex
