#include "ui/tray.h"

#include <QAction>
#include <QSystemTrayIcon>
#include <QWidget>

#include <utility>

#include "core/logging.h"

namespace lumivex {

CTray::CTray(QWidget& window, const QIcon& icon, const QString& tip, std::function<void()> reveal)
    : window_(window), reveal_(std::move(reveal)) {
  toggle_ = menu_.addAction(QString());
  toggle_->setData(kToggleId);
  exit_ = menu_.addAction(QStringLiteral("退出"));
  exit_->setData(kExitId);
  connect(&menu_, &QMenu::aboutToShow, this, &CTray::UpdateEntries);
  connect(toggle_, &QAction::triggered, this, &CTray::Toggle);
  connect(exit_, &QAction::triggered, this, &CTray::exitRequested);
  UpdateEntries();

  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    LogLine("no notification area: the main window has no tray icon");
    return;
  }
  icon_ = new QSystemTrayIcon(icon, this);
  icon_->setToolTip(tip);
  icon_->setContextMenu(&menu_);
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) reveal_();
  });
  icon_->show();
}

CTray::~CTray() {
  if (icon_) icon_->hide();  // gone from the notification area at once
}

QMenu& CTray::menu() {
  UpdateEntries();
  return menu_;
}

void CTray::UpdateEntries() {
  toggle_->setText(window_.isVisible() ? QStringLiteral("最小化到托盘") : QStringLiteral("显示主窗口"));
}

void CTray::Toggle() {
  if (window_.isVisible())
    window_.hide();
  else
    reveal_();
}

}  // namespace lumivex
