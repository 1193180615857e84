#pragma once
// The account dialogs beside the sign-in window: CBackPwd, the recovery of
// a forgotten password in three stages, and CFeedback. Their web steps run
// as background jobs on a copy of what they need; the result comes back to
// the dialog, which keeps the state between steps.

#include <QString>

#include "ui/dialog_look.h"
#include "webservice/account.h"

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace lumivex {

struct AppContext;

namespace account_controls {
inline constexpr char kUser[] = "user";                  // CBackPwd 1202
inline constexpr char kCheckUser[] = "checkUser";        // 1184 "用户验证"
inline constexpr char kQuestion[] = "question";          // 1200
inline constexpr char kAnswer[] = "answer";              // 1179
inline constexpr char kCheckAnswer[] = "checkAnswer";    // 1011 "问题验证"
inline constexpr char kNewPassword[] = "newPassword";    // 1052
inline constexpr char kConfirm[] = "confirm";            // 1183
inline constexpr char kSetPassword[] = "setPassword";    // 1136 "修改密码"
inline constexpr char kBack[] = "back";                  // 1186 "返回登录"
inline constexpr char kText[] = "text";                  // CFeedback 1179
inline constexpr char kSubmit[] = "submit";              // 1 "提交"
inline constexpr char kClose[] = "close";                // 2 "关闭"
}  // namespace account_controls

class CBackPwd : public BandedDialog {
  Q_OBJECT

 public:
  enum class Stage { kUser, kQuestion, kNewPassword };

  CBackPwd(AppContext& app, const QString& user, QWidget* parent = nullptr);

  Stage stage() const { return stage_; }
  bool busy() const { return running_; }

 public slots:
  void reject() override;  // Esc does nothing: only "返回登录" leaves

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void MakeStage(Stage stage, const char* firstLabel, const char* secondLabel, int top);
  void ShowStage(Stage stage);
  void CheckUser();
  void CheckAnswer();
  void SetPassword();
  // One step at a time; done gets the step's result and its state.
  void RunStep(std::function<int(RecoveryState&)> step, std::function<void(int)> done);
  void Back();

  AppContext& app_;
  Stage stage_ = Stage::kUser;
  RecoveryState state_;
  bool running_ = false;
  int generation_ = 0;  // "返回登录" drops the results of steps still running
  QLineEdit* user_ = nullptr;
  QComboBox* question_ = nullptr;
  QLineEdit* answer_ = nullptr;
  QLineEdit* newPassword_ = nullptr;
  QLineEdit* confirm_ = nullptr;
  std::vector<QWidget*> stages_[3];
};

class CFeedback : public BandedDialog {
  Q_OBJECT

 public:
  explicit CFeedback(AppContext& app, QWidget* parent = nullptr);

  bool sending() const { return sending_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Submit();

  AppContext& app_;
  QPlainTextEdit* text_ = nullptr;
  QAbstractButton* submit_ = nullptr;
  QAbstractButton* close_ = nullptr;
  bool sending_ = false;
};

}  // namespace lumivex
