// CPage5, "其他设置": the update mode, "检测更新" and the running version, and
// the password change. The web operations run as background jobs; their
// results come back here on the GUI thread.

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include "core/logging.h"
#include "ui/app_context.h"
#include "ui/settings/settings_pages.h"
#include "ui/dialog_look.h"
#include "webservice/account.h"
#include "webservice/input_rules.h"

namespace lumivex {
namespace {

namespace names = settings_controls;

const QColor kBackground(253, 253, 253);
const QColor kHintRed(255, 0, 0);
constexpr int kRowHeight = 26;
constexpr int kMaxPasswordLength = 259;

}  // namespace

CPage5::CPage5(AppContext& app, const SettingsHooks& hooks, int updateMode, QWidget* parent)
    : QWidget(parent), app_(app), hooks_(hooks) {
  MakeDialogLabel(QStringLiteral("当系统有更新时："), QRect(20, 14, 200, kRowHeight), this);
  update_ = new QButtonGroup(this);
  const std::tuple<int, const char*, const char*> modes[] = {
      {kUpdateAutomatic, names::kUpdateAutomatic, "自动更新[推荐]"},
      {kUpdateAsk, names::kUpdateAsk, "不自动更新，提示我有更新"},
      {kUpdateOff, names::kUpdateOff, "关闭自动更新[不推荐]"}};
  int top = 42;
  for (const auto& [mode, name, text] : modes) {
    auto* radio = new QRadioButton(QString::fromUtf8(text), this);
    radio->setObjectName(name);
    radio->setGeometry(40, top, 320, kRowHeight);
    update_->addButton(radio, mode);
    radio->setChecked(mode == updateMode);
    top += 26;
  }
  check_ = MakeDialogButton(QStringLiteral("检测更新"), names::kCheckUpdate, QRect(40, 128, 96, 28), this);
  connect(check_, &QAbstractButton::clicked, this, &CPage5::CheckForUpdates);
  QLabel* version = MakeDialogLabel(
      QStringLiteral("当前版本 %1.%2").arg(app_.settings.productMajor).arg(app_.settings.productMinor),
      QRect(156, 128, 200, 28), this);
  version->setObjectName(names::kVersion);
  MakePasswordForm(168);
}

void CPage5::MakePasswordForm(int top) {
  MakeDialogLabel(QStringLiteral("修改登录密码："), QRect(20, top, 200, kRowHeight), this);
  const std::tuple<PasswordField*, const char*, const char*, const char*> fields[] = {
      {&old_, "旧密码", names::kOldPassword, names::kOldHint},
      {&new_, "新密码", names::kNewPassword, names::kNewHint},
      {&confirm_, "确认密码", names::kConfirmPassword, names::kConfirmHint}};
  for (const auto& [field, label, editName, hintName] : fields) {
    top += 30;
    MakeDialogLabel(QString::fromUtf8(label), QRect(40, top, 80, kRowHeight), this);
    field->edit = new QLineEdit(this);
    field->edit->setObjectName(editName);
    field->edit->setEchoMode(QLineEdit::Password);
    field->edit->setMaxLength(kMaxPasswordLength);
    field->edit->setGeometry(120, top, 200, kRowHeight);
    field->hint = MakeDialogLabel(QString(), QRect(330, top, 200, kRowHeight), this);
    field->hint->setObjectName(hintName);
    QPalette palette = field->hint->palette();
    palette.setColor(QPalette::WindowText, kHintRed);
    field->hint->setPalette(palette);
  }
  // Typing clears the field's own hint; the new password and its
  // confirmation clear each other's as well.
  connect(old_.edit, &QLineEdit::textEdited, old_.hint, &QLabel::clear);
  for (QLineEdit* edit : {new_.edit, confirm_.edit})
    connect(edit, &QLineEdit::textEdited, this, [this] {
      new_.hint->clear();
      confirm_.hint->clear();
    });
  change_ = MakeDialogButton(QStringLiteral("修改登录密码"), names::kChangePassword, QRect(120, top + 36, 120, 30),
                            this);
  connect(change_, &QAbstractButton::clicked, this, &CPage5::ChangePassword);
}

int CPage5::UpdateMode() const { return update_->checkedId() >= 0 ? update_->checkedId() : kUpdateNone; }

// The check itself runs as a job, so the sheet keeps painting; what it
// found is told, asked and acted on here.
void CPage5::CheckForUpdates() {
  if (checking_) return;
  checking_ = true;
  check_->setEnabled(false);
  ServiceContext& service = app_.service;
  app_.jobs.Run<int>(
      this, [&service] { return CheckForUpdate(service); },
      [this](int result) {
        checking_ = false;
        check_->setEnabled(true);
        ReactToUpdateCheck(app_.service, result, [this] { emit updaterStarted(); });
      });
}

CPage5::PasswordField& CPage5::FieldNamed(const std::string& name) {
  if (name == "old") return old_;
  return name == "new" ? new_ : confirm_;
}

// One change at a time: the worker replaces the remembered password that
// the next change's checks read.
void CPage5::ChangePassword() {
  if (changing_) return;
  const std::string oldPassword = old_.edit->text().toStdString();
  const std::string newPassword = new_.edit->text().toStdString();
  PasswordChangeCheck check = CheckPasswordChange(oldPassword, newPassword, confirm_.edit->text().toStdString(),
                                                  app_.settings.rememberedPassword.str());
  if (!check.text.empty()) {
    PasswordField& field = FieldNamed(check.field);
    if (check.clearField) field.edit->clear();
    field.hint->setText(QString::fromStdString(check.text));
    field.edit->setFocus();
    return;
  }
  changing_ = true;
  change_->setEnabled(false);
  ServiceContext& service = app_.service;
  app_.jobs.Run<int>(
      this, [&service, newPassword] { return lumivex::ChangePassword(service, newPassword); },
      [this](int result) {
        changing_ = false;
        change_->setEnabled(true);
        if (result != 1) return;
        for (PasswordField* field : {&old_, &new_, &confirm_}) field->edit->clear();
      });
}

void CPage5::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kBackground);
}

}  // namespace lumivex
