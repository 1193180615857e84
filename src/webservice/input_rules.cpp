#include "webservice/input_rules.h"

#include <regex>

#include "core/text.h"
#include "webservice/envelope.h"

namespace lumivex {
namespace {

constexpr char kEnterUser[] = "请输入用户名";
constexpr char kUserRule[] = "用户名必须为字母、数字、下划线，长度为4-20位";
constexpr char kPasswordRule[] = "密码必须为字母、数字、下划线，长度为6-18位";
constexpr long kMaxDeviceNameUnits = 30;
constexpr long kMaxFeedbackUnits = 299;

// Whole-text match; the patterns are ASCII, so any other byte fails them.
bool Matches(std::string_view text, const char* pattern) {
  try {
    const std::regex re(pattern);
    return std::regex_match(text.begin(), text.end(), re);
  } catch (const std::regex_error&) {  // the engine gave up: not a match
    return false;
  }
}

}  // namespace

std::string CheckSignInUser(std::string_view user) {
  if (user.empty()) return kEnterUser;
  if (!Matches(user, "^([a-zA-Z0-9]|[@._]){4,20}$")) return kUserRule;
  return "";
}

std::string CheckSignInPassword(std::string_view password) {
  if (password.empty()) return "请输入密码";
  if (!Matches(password, "^([a-zA-Z0-9]|[@_]|[.]){6,18}$")) return kPasswordRule;
  return "";
}

std::string CheckRecoveryUser(std::string_view user) {
  if (user.empty()) return kEnterUser;
  if (!Matches(user, "^([a-zA-Z0-9]|[_]){4,20}$")) return kUserRule;
  return "";
}

std::string CheckRecoveryAnswer(std::string_view answer) {
  return answer.empty() ? "请输入安全问题答案" : "";
}

std::string CheckRecoveryPassword(std::string_view password, std::string_view confirmation) {
  if (password.empty()) return "请输入新密码";
  if (!Matches(password, "^([a-zA-Z0-9]|[_]|[.]){6,18}$")) return kPasswordRule;
  if (confirmation.empty()) return "请输入确认密码";
  if (confirmation != password) return "新密码和确认密码不一致，请重新输入";
  return "";
}

std::string CheckBindUserName(std::string_view name) {
  if (name.empty()) return kEnterUser;
  if (!Matches(name, "^([a-zA-Z0-9]|[_]){4,20}$")) return kUserRule;
  return "";
}

std::string CheckDeviceName(std::string_view name) {
  long units = Utf16Length(name);
  if (units < 0 || units > kMaxDeviceNameUnits) return "设备名称超过最大限制长度";
  return "";
}

std::string CheckFeedback(std::string_view text) {
  return CutUtf16(text, kMaxFeedbackUnits).empty() ? "请输入意见反馈信息" : "";
}

PasswordChangeCheck CheckPasswordChange(std::string_view oldPassword, std::string_view newPassword,
                                        std::string_view confirmation,
                                        std::string_view rememberedPassword) {
  static const char kChangeRule[] = "^([a-zA-Z0-9]|[@,._]){6,16}$";
  if (oldPassword.empty()) return {"请输入旧密码", "old", false};
  if (newPassword.empty()) return {"请输入新密码", "new", false};
  if (confirmation.empty()) return {"请输入确认密码", "confirm", false};
  if (!Matches(oldPassword, kChangeRule)) return {"密码格式错误", "old", true};
  if (!Matches(newPassword, kChangeRule)) return {"新密码格式错误", "new", true};
  if (newPassword != confirmation) return {"两次输入密码不一致", "confirm", true};
  if (!MatchesStoredPassword(oldPassword, rememberedPassword)) return {"旧密码错误", "old", true};
  return {};
}

}  // namespace lumivex
