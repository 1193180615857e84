#include "ui/dialogs/device_dialogs.h"

#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/notifier.h"
#include "core/version.h"
#include "ui/qt_notifier.h"
#include "webservice/envelope.h"
#include "webservice/input_rules.h"

namespace lumivex {
namespace {

namespace names = dialog_controls;

const QColor kRed(255, 0, 0);
constexpr int kTipMs = 1000;
constexpr int kPatternDigits = 9;
constexpr int kDigitSize = 52;
constexpr int kDigitGap = 14;

const QString kDigitStyle = QStringLiteral(
    "QPushButton { background: white; color: rgb(64, 155, 228); border: 2px solid rgb(64, 155, 228);"
    " border-radius: 26px; font-size: 18px; }"
    "QPushButton:pressed { background: rgb(220, 236, 250); }");
const QString kChosenStyle = QStringLiteral(
    "QPushButton { background: rgb(64, 155, 228); color: white; border: 2px solid rgb(64, 155, 228);"
    " border-radius: 26px; font-size: 18px; }");

}  // namespace

CPwdConf::CPwdConf(std::string rememberedPassword, QWidget* parent)
    : BandedDialog(parent, 0), remembered_(std::move(rememberedPassword)) {
  setWindowTitle(QStringLiteral("确认密码"));
  setFixedSize(300, 150);
  MakeDialogLabel(QStringLiteral("登录密码"), QRect(28, 34, 70, 28), this, kDialogBlue);
  password_ = new QLineEdit(this);
  password_->setObjectName(names::kPassword);
  password_->setEchoMode(QLineEdit::Password);
  password_->setGeometry(100, 34, 172, 28);
  message_ = MakeDialogLabel(QString(), QRect(100, 64, 172, 22), this, kRed);
  message_->setObjectName(names::kMessage);
  connect(password_, &QLineEdit::textEdited, message_, &QLabel::clear);
  QPushButton* ok = MakeDialogButton(QStringLiteral("确定"), names::kOk, QRect(60, 100, 80, 28), this);
  QPushButton* cancel = MakeDialogButton(QStringLiteral("取消"), names::kCancel, QRect(160, 100, 80, 28), this);
  connect(ok, &QPushButton::clicked, this, &CPwdConf::Confirm);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CPwdConf::showEvent(QShowEvent* event) {
  BandedDialog::showEvent(event);
  password_->setFocus();
}

void CPwdConf::Confirm() {
  const std::string typed = password_->text().toStdString();
  if (!typed.empty() && MatchesStoredPassword(typed, remembered_)) return accept();
  password_->clear();
  message_->setText(typed.empty() ? QStringLiteral("请输入密码") : QStringLiteral("密码错误"));
  password_->setFocus();
}

// Enter is "确定" wherever the focus is; Esc is "取消" (QDialog's own).
void CPwdConf::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event)) return Confirm();
  BandedDialog::keyPressEvent(event);
}

CVideoLock::CVideoLock(PatternCheck accepts, QWidget* parent)
    : BandedDialog(parent, 0), accepts_(std::move(accepts)) {
  setWindowTitle(QStringLiteral("解锁"));
  const int grid = 3 * kDigitSize + 2 * kDigitGap;
  setFixedSize(grid + 60, grid + 100);
  MakeDialogLabel(QStringLiteral("请输入解锁图案"), QRect(30, 10, grid, 24), this, kDialogBlue);
  for (int k = 1; k <= kPatternDigits; ++k) {
    const QRect place(30 + (k - 1) % 3 * (kDigitSize + kDigitGap), 40 + (k - 1) / 3 * (kDigitSize + kDigitGap),
                      kDigitSize, kDigitSize);
    const QString caption = QString::number(k);
    QPushButton* digit = MakeDialogButton(caption, "", place, this);
    QPushButton* chosen = MakeDialogButton(caption, "", place, this);
    digit->setObjectName(QStringLiteral("digit%1").arg(k));
    chosen->setObjectName(QStringLiteral("chosen%1").arg(k));
    digit->setStyleSheet(kDigitStyle);
    chosen->setStyleSheet(kChosenStyle);
    chosen->setCursor(Qt::ArrowCursor);  // a digit counts once per attempt
    connect(digit, &QPushButton::clicked, this, [this, k] { Press(k); });
    digits_[k - 1] = digit;
    chosen_[k - 1] = chosen;
  }
  const int buttonsTop = 40 + grid + 16;
  QPushButton* again = MakeDialogButton(QStringLiteral("重新"), names::kAgain, QRect(30, buttonsTop, 80, 28), this);
  QPushButton* cancel =
      MakeDialogButton(QStringLiteral("取消"), names::kCancel, QRect(30 + grid - 80, buttonsTop, 80, 28), this);
  connect(again, &QPushButton::clicked, this, &CVideoLock::Reset);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  Reset();
}

void CVideoLock::Press(int k) {
  digits_[k - 1]->hide();
  chosen_[k - 1]->show();
  pattern_ += static_cast<char>('0' + k);
  if (accepts_ && accepts_(pattern_)) return accept();
  if (static_cast<int>(pattern_.size()) < kPatternDigits) return;
  Reset();
  ShowTip(this, QStringLiteral("密码错误"), kTipMs);
}

void CVideoLock::Reset() {
  pattern_.clear();
  for (int i = 0; i < kPatternDigits; ++i) {
    digits_[i]->show();
    chosen_[i]->hide();
  }
}

void CVideoLock::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event)) return;  // consumed
  BandedDialog::keyPressEvent(event);
}

CRename::CRename(Notifier& notifier, const QString& currentName, QWidget* parent)
    : BandedDialog(parent, 0), notifier_(notifier) {
  setWindowTitle(QStringLiteral("修改设备名称"));
  setFixedSize(300, 100);
  MakeDialogLabel(QStringLiteral("设备名称"), QRect(20, 18, 70, 28), this, kDialogBlue);
  edit_ = new QLineEdit(currentName, this);
  edit_->setObjectName(names::kName);
  edit_->setMaxLength(259);
  edit_->setGeometry(90, 18, 190, 28);
  edit_->selectAll();
  QPushButton* ok = MakeDialogButton(QStringLiteral("确定"), names::kOk, QRect(90, 60, 80, 28), this);
  QPushButton* cancel = MakeDialogButton(QStringLiteral("取消"), names::kCancel, QRect(200, 60, 80, 28), this);
  connect(ok, &QPushButton::clicked, this, &CRename::Confirm);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  ok_ = ok;
  cancel_ = cancel;
  move(QCursor::pos() - rect().center());
}

void CRename::showEvent(QShowEvent* event) {
  BandedDialog::showEvent(event);
  edit_->setFocus();
}

std::string CRename::name() const { return edit_->text().toStdString(); }

void CRename::Confirm() {
  const std::string refusal = CheckDeviceName(name());
  if (!refusal.empty()) return notifier_.MessageBox(kApplicationName, refusal);
  accept();
}

// Enter is "确定", but "取消" when that has the focus.
void CRename::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event)) return focusWidget() == cancel_ ? reject() : Confirm();
  BandedDialog::keyPressEvent(event);
}

}  // namespace lumivex
