#include "ui/dialogs/account_dialogs.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "core/notifier.h"
#include "core/text.h"
#include "ui/app_context.h"
#include "ui/qt_notifier.h"
#include "webservice/input_rules.h"

namespace lumivex {
namespace {

namespace names = account_controls;

constexpr int kRecoveryWidth = 400;
constexpr int kRecoveryHeight = 230;
constexpr int kRecoveryBand = 40;
constexpr int kFieldLeft = 120;
constexpr int kFieldWidth = 220;
constexpr int kFeedbackWidth = 420;
constexpr int kFeedbackHeight = 300;
constexpr int kFeedbackBand = 35;
constexpr long kFeedbackUnits = 299;
constexpr int kTipMs = 1000;

QLineEdit* MakeEdit(const char* name, const QRect& where, bool masked, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(where);
  edit->setMaxLength(259);
  if (masked) edit->setEchoMode(QLineEdit::Password);
  return edit;
}

}  // namespace

CBackPwd::CBackPwd(AppContext& app, const QString& user, QWidget* parent)
    : BandedDialog(parent, kRecoveryBand), app_(app) {
  setWindowTitle(QStringLiteral("找回密码"));
  setFixedSize(kRecoveryWidth, kRecoveryHeight);
  MakeDialogLabel(QStringLiteral("找回密码"), QRect(16, 0, 200, kRecoveryBand), this, Qt::white);
  const int top = kRecoveryBand + 24;

  stages_[0].push_back(MakeDialogLabel(QStringLiteral("用户名"), QRect(40, top, 80, 28), this, kDialogBlue));
  user_ = MakeEdit(names::kUser, QRect(kFieldLeft, top, kFieldWidth, 28), false, this);
  user_->setText(user);
  stages_[0].push_back(user_);
  stages_[0].push_back(MakeDialogButton(QStringLiteral("用户验证"), names::kCheckUser,
                                        QRect(kFieldLeft, top + 50, 100, 30), this));

  stages_[1].push_back(MakeDialogLabel(QStringLiteral("安全问题"), QRect(40, top, 80, 28), this, kDialogBlue));
  question_ = new QComboBox(this);
  question_->setObjectName(names::kQuestion);
  question_->setGeometry(kFieldLeft, top, kFieldWidth, 28);
  stages_[1].push_back(question_);
  stages_[1].push_back(MakeDialogLabel(QStringLiteral("问题答案"), QRect(40, top + 36, 80, 28), this, kDialogBlue));
  answer_ = MakeEdit(names::kAnswer, QRect(kFieldLeft, top + 36, kFieldWidth, 28), false, this);
  stages_[1].push_back(answer_);
  stages_[1].push_back(MakeDialogButton(QStringLiteral("问题验证"), names::kCheckAnswer,
                                        QRect(kFieldLeft, top + 80, 100, 30), this));

  stages_[2].push_back(MakeDialogLabel(QStringLiteral("新密码"), QRect(40, top, 80, 28), this, kDialogBlue));
  newPassword_ = MakeEdit(names::kNewPassword, QRect(kFieldLeft, top, kFieldWidth, 28), true, this);
  stages_[2].push_back(newPassword_);
  stages_[2].push_back(MakeDialogLabel(QStringLiteral("确认密码"), QRect(40, top + 36, 80, 28), this, kDialogBlue));
  confirm_ = MakeEdit(names::kConfirm, QRect(kFieldLeft, top + 36, kFieldWidth, 28), true, this);
  stages_[2].push_back(confirm_);
  stages_[2].push_back(MakeDialogButton(QStringLiteral("修改密码"), names::kSetPassword,
                                        QRect(kFieldLeft, top + 80, 100, 30), this));

  QPushButton* back = MakeDialogButton(QStringLiteral("返回登录"), names::kBack,
                                       QRect(kRecoveryWidth - 116, kRecoveryHeight - 44, 100, 30), this);
  connect(back, &QPushButton::clicked, this, &CBackPwd::Back);
  connect(findChild<QPushButton*>(names::kCheckUser), &QPushButton::clicked, this, &CBackPwd::CheckUser);
  connect(findChild<QPushButton*>(names::kCheckAnswer), &QPushButton::clicked, this, &CBackPwd::CheckAnswer);
  connect(findChild<QPushButton*>(names::kSetPassword), &QPushButton::clicked, this, &CBackPwd::SetPassword);
  ShowStage(Stage::kUser);
}

void CBackPwd::ShowStage(Stage stage) {
  stage_ = stage;
  for (int s = 0; s < 3; ++s)
    for (QWidget* w : stages_[s]) w->setVisible(s == static_cast<int>(stage));
}

void CBackPwd::RunStep(std::function<int(RecoveryState&)> step, std::function<void(int)> done) {
  if (running_) return;
  running_ = true;
  struct Outcome {
    int result = 0;
    RecoveryState state;
  };
  RecoveryState state = state_;
  const int generation = generation_;
  app_.jobs.Run<Outcome>(
      this,
      [step = std::move(step), state]() mutable {
        Outcome outcome;
        outcome.result = step(state);
        outcome.state = std::move(state);
        return outcome;
      },
      [this, generation, done = std::move(done)](Outcome outcome) {
        if (generation != generation_) return;
        running_ = false;
        state_ = std::move(outcome.state);
        done(outcome.result);
      });
}

void CBackPwd::CheckUser() {
  const std::string user = user_->text().toStdString();
  const std::string refusal = CheckRecoveryUser(user);
  if (!refusal.empty()) {
    if (!user.empty()) user_->clear();
    user_->setFocus();
    return app_.notifier.MessageBox("提示", refusal);
  }
  ServiceContext& service = app_.service;
  RunStep([&service, user](RecoveryState& state) { return RecoverStep1(service, state, user); },
          [this](int result) {
            if (result != 1 || state_.noQuestions) return;  // the user stage stays
            question_->clear();
            for (const SecurityQuestion& q : state_.questions)
              question_->addItem(QString::fromStdString(q.text), q.number);
            question_->setCurrentIndex(0);
            ShowStage(Stage::kQuestion);
          });
}

void CBackPwd::CheckAnswer() {
  const std::string answer = answer_->text().toStdString();
  const std::string refusal = CheckRecoveryAnswer(answer);
  if (!refusal.empty()) {
    answer_->setFocus();
    return app_.notifier.MessageBox("提示", refusal);
  }
  ServiceContext& service = app_.service;
  const int number = question_->currentData().toInt();
  RunStep([&service, number, answer](RecoveryState& state) { return RecoverStep2(service, state, number, answer); },
          [this](int result) {
            if (result == 1) ShowStage(Stage::kNewPassword);
          });
}

void CBackPwd::SetPassword() {
  const std::string password = newPassword_->text().toStdString();
  const std::string refusal = CheckRecoveryPassword(password, confirm_->text().toStdString());
  if (!refusal.empty()) {
    // The first two checks are of the new password alone.
    const bool aboutNew = !CheckRecoveryPassword(password, password).empty();
    (aboutNew ? newPassword_ : confirm_)->setFocus();
    return app_.notifier.MessageBox("提示", refusal);
  }
  ServiceContext& service = app_.service;
  RunStep([&service, password](RecoveryState& state) { return RecoverStep3(service, state, password); },
          [](int) {});  // the dialog stays; "返回登录" goes back to sign-in
}

// A step still running has its transfer aborted; its result goes nowhere.
void CBackPwd::Back() {
  state_.cancel.Cancel();
  ++generation_;
  running_ = false;
  BandedDialog::reject();
}

void CBackPwd::reject() {}

void CBackPwd::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event) || event->key() == Qt::Key_Escape) return;
  BandedDialog::keyPressEvent(event);
}

CFeedback::CFeedback(AppContext& app, QWidget* parent) : BandedDialog(parent, kFeedbackBand), app_(app) {
  setWindowTitle(QStringLiteral("意见反馈"));
  setFixedSize(kFeedbackWidth, kFeedbackHeight);
  MakeDialogLabel(QStringLiteral("请输入意见反馈信息[300字以内]"), QRect(16, 0, kFeedbackWidth - 32, kFeedbackBand),
                  this, Qt::white);
  text_ = new QPlainTextEdit(this);
  text_->setObjectName(names::kText);
  text_->setGeometry(16, kFeedbackBand + 12, kFeedbackWidth - 32, kFeedbackHeight - kFeedbackBand - 70);
  text_->setStyleSheet(QStringLiteral("QPlainTextEdit { border: 1px solid rgb(64, 155, 228); }"));
  submit_ = MakeDialogButton(QStringLiteral("提交"), names::kSubmit,
                             QRect(kFeedbackWidth - 232, kFeedbackHeight - 44, 100, 30), this);
  close_ = MakeDialogButton(QStringLiteral("关闭"), names::kClose,
                            QRect(kFeedbackWidth - 116, kFeedbackHeight - 44, 100, 30), this);
  connect(submit_, &QAbstractButton::clicked, this, &CFeedback::Submit);
  connect(close_, &QAbstractButton::clicked, this, &QDialog::reject);
  for (QWidget* w : {static_cast<QWidget*>(text_), static_cast<QWidget*>(submit_), static_cast<QWidget*>(close_)})
    w->installEventFilter(this);
}

// Every Enter is the dialog's: it presses "提交" or "关闭" when that has the
// focus and never breaks a line in the text.
bool CFeedback::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !IsEnterKey(static_cast<QKeyEvent*>(event)))
    return BandedDialog::eventFilter(watched, event);
  if (watched == submit_) Submit();
  if (watched == close_) reject();
  return true;
}

void CFeedback::Submit() {
  const std::string text = CutUtf16(text_->toPlainText().toStdString(), kFeedbackUnits);
  const std::string refusal = CheckFeedback(text);
  if (!refusal.empty()) {
    ShowTip(this, QString::fromStdString(refusal), kTipMs);
    text_->setFocus();
    return;
  }
  if (sending_) return;
  sending_ = true;
  ServiceContext& service = app_.service;
  app_.jobs.Run<int>(
      this, [&service, text] { return SendFeedback(service, text); },
      [this](int sent) {
        sending_ = false;
        if (sent == 1) text_->clear();
      });
}

}  // namespace lumivex
