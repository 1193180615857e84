#pragma once
// "login.do" and the worker body that performs it.

#include <string>

namespace lumivex {

struct ServiceContext;

struct LoginInput {
  std::string user;      // as typed (already checked by the window's rules)
  std::string password;
  bool rememberPassword = false;  // "记住密码"
  bool autoLogin = false;         // "自动登录"
};

struct LoginOutcome {
  bool clearPassword = false;  // the password box is to be cleared ("ERRORPSD", "DUE")
};

// 1 on success, 0 on failure. Every outcome's status-line text goes to
// ctx.notifier.Status (empty text on success). On success m_LoggedIn is 1,
// global holds the token and servers, and the user's configuration file
// records the account.
int Login_Start(ServiceContext& ctx, const LoginInput& input, LoginOutcome& outcome);

}  // namespace lumivex
