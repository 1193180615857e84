#pragma once
// Account maintenance: update check, password change, password recovery,
// feedback. Every message box is titled "提示".

#include <functional>
#include <string>
#include <vector>

#include "core/cancellation.h"

namespace lumivex {

struct ServiceContext;

// -1 failure, 0 no update, 1 optional update, 2 mandatory update. Stores the
// installer address in UserSettings.updateUrl on every "UPDATE" answer.
// Asks again, at most ctx.updateCheckAttempts times with ctx.updateCheckPause
// between, while the answer is neither optional nor mandatory; then -1.
int CheckForUpdate(ServiceContext& ctx);

// The "检测更新" button: CheckForUpdate, then ReactToUpdateCheck ending the
// client through ctx.exitProcess. Returns the CheckForUpdate result.
int RunUpdateCheck(ServiceContext& ctx);

// The message or question for a CheckForUpdate result, and the launch of
// the updater with UserSettings.updateUrl; endClient runs once it started.
// It asks the user and waits: call it where that may block (the GUI thread
// runs the boxes in place).
void ReactToUpdateCheck(ServiceContext& ctx, int result, const std::function<void()>& endClient);

// The worker of "修改登录密码" once the form's checks passed; shows
// "密码修改成功" or "密码修改失败，请稍后重试". 1 on success.
int ChangePassword(ServiceContext& ctx, const std::string& newPassword);

struct SecurityQuestion {
  int number = 0;
  std::string text;  // "您母亲的姓名是？" ...
};

// Kept by the recovery dialog between its steps.
struct RecoveryState {
  std::string code;
  std::string uid;
  std::vector<SecurityQuestion> questions;  // the two offered, entry 0 first
  bool noQuestions = false;  // the user set none: step 1 showed the service contacts
  Cancellation cancel;       // the dialog's: a cancelled step ends its transfer and tells nothing
};

// Shown by step 1 for a user who set no security question; the contacts
// are those of the service's customer desk.
inline constexpr char kNoSecurityQuestionMessage[] =
    "该用户未设置安全问题，无法通过安全问题找回密码。请联系客服：客服QQ 800061358，客服电话 400-820-6135";

// Text of a security question by number (1 to 12), empty for others.
std::string SecurityQuestionText(int number);

// Each 1 on success, 0 on failure, with the step's message boxes (none
// once state.cancel is cancelled). Step 1
// with no question set returns 1 with noQuestions (the dialog stays at the
// user stage); otherwise it fills the two questions.
int RecoverStep1(ServiceContext& ctx, RecoveryState& state, const std::string& user);
int RecoverStep2(ServiceContext& ctx, RecoveryState& state, int questionNumber,
                 const std::string& answer);
int RecoverStep3(ServiceContext& ctx, RecoveryState& state, const std::string& newPassword);

// "提交" of the feedback dialog; text already checked. Shows "提交成功" or "提交失败".
int SendFeedback(ServiceContext& ctx, const std::string& text);

}  // namespace lumivex
