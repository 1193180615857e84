#include "ui/close_prompt.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include "config/user_config.h"
#include "config/user_settings.h"
#include "core/logging.h"
#include "core/version.h"

namespace lumivex {
namespace {

const QColor kBorder(64, 155, 228);
constexpr int kWidth = 300;
constexpr int kHeight = 150;

}  // namespace

CClose::CClose(UserSettings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), settings_(settings) {
  setWindowTitle(QString::fromUtf8(kApplicationName));
  setFixedSize(kWidth, kHeight);

  toTray_ = new QRadioButton(QStringLiteral("最小化到系统托盘"), this);
  toTray_->setObjectName(close_controls::kToTray);
  toTray_->setGeometry(40, 20, 220, 24);
  exit_ = new QRadioButton(QStringLiteral("退出程序"), this);
  exit_->setObjectName(close_controls::kExit);
  exit_->setGeometry(40, 48, 220, 24);
  dontAsk_ = new QCheckBox(QStringLiteral("不再提示"), this);
  dontAsk_->setObjectName(close_controls::kDontAsk);
  dontAsk_->setGeometry(40, 80, 220, 24);

  auto* ok = new QPushButton(QStringLiteral("确定"), this);
  ok->setObjectName(close_controls::kOk);
  ok->setGeometry(100, 112, 80, 26);
  auto* cancel = new QPushButton(QStringLiteral("取消"), this);
  cancel->setObjectName(close_controls::kCancel);
  cancel->setGeometry(196, 112, 80, 26);
  // Enter works only on the button that has the focus (keyPressEvent).
  for (QPushButton* b : {ok, cancel}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  ok_ = ok;
  cancel_ = cancel;
  connect(ok, &QPushButton::clicked, this, &CClose::Confirm);
  connect(cancel, &QPushButton::clicked, this, [this] {
    choice_ = kCancelled;
    reject();
  });

  (settings_.ToTray ? toTray_ : exit_)->setChecked(true);
  dontAsk_->setChecked(!settings_.ShowClose);
}

void CClose::Confirm() {
  const bool askAgain = !dontAsk_->isChecked();
  if (!SetConfigText(settings_.configPath, "config1", "ShowClose", askAgain ? "1" : "0")) {
    LogLine("close prompt: the configuration file does not load");
    return;
  }
  settings_.ShowClose = askAgain ? 1 : 0;
  choice_ = toTray_->isChecked() ? kToTray : kExitProgram;
  accept();
}

void CClose::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setPen(kBorder);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CClose::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (focusWidget() == ok_ || focusWidget() == cancel_) static_cast<QAbstractButton*>(focusWidget())->click();
    return;  // anywhere else Enter does nothing
  }
  QDialog::keyPressEvent(event);
}

}  // namespace lumivex
