#pragma once
// "login.do" and the worker body that performs it.

#include <cstdint>
#include <string>

#include "core/cancellation.h"

namespace lumivex {

struct ServiceContext;

struct LoginInput {
  std::string user;      // as typed (already checked by the window's rules)
  std::string password;
  bool rememberPassword = false;  // "记住密码"
  bool autoLogin = false;         // "自动登录"
  Cancellation cancel;   // the window's cancel button: the transfer ends, nothing is taken
};

// What the service granted, not yet taken into global.
struct LoginGrant {
  std::string token;
  struct Server {
    std::string ip;
    int32_t tcp = 0, udp = 0;
  };
  Server relay, detection1, detection2;
};

struct LoginOutcome {
  bool clearPassword = false;  // the password box is to be cleared ("ERRORPSD", "DUE")
  bool cancelled = false;      // the attempt was cancelled: there is nothing to report
  std::string status;          // the status-line text; empty on success
  LoginGrant grant;            // what RequestLogin obtained, when it returned 1
};

// The worker's half: asks the service and opens its reply. Writes no state
// that another attempt or the window reads: on 1, outcome.grant holds what
// TakeLogin records; on 0, outcome.status says why (nothing when cancelled).
[[nodiscard]] int RequestLogin(const ServiceContext& ctx, const LoginInput& input, LoginOutcome& outcome);

// The other half, on the thread that owns the sign-in: the password hash,
// servers and token into global, the user into UserSettings and the user's
// configuration file, then m_LoggedIn. 1 on success; 0 with outcome.status.
[[nodiscard]] int TakeLogin(ServiceContext& ctx, const LoginInput& input, LoginOutcome& outcome);

// Both halves in one: 1 on success, 0 on failure. Every outcome's
// status-line text goes to ctx.notifier.Status (empty text on success).
int Login_Start(ServiceContext& ctx, const LoginInput& input, LoginOutcome& outcome);

}  // namespace lumivex
