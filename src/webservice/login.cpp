#include "webservice/login.h"

#include <sys/stat.h>

#include "config/user_config.h"
#include "config/user_settings.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/notifier.h"
#include "core/text.h"
#include "webservice/envelope.h"
#include "webservice/request.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

constexpr std::size_t kLoginReplyBytes = 524288;
constexpr char kRequestFailed[] = "登陆请求失败，请检查网络和防火墙设置";
constexpr char kReplyFailed[] = "登陆失败，请检查网络和防火墙设置";

int Fail(LoginOutcome& outcome, const std::string& text) {
  LogInfo("sign-in failed: " + text);
  outcome.status = text;
  return 0;
}

// The status-line text of a refusal, and whether it clears the password box.
std::string RefusalText(const ServiceReply& reply, LoginOutcome& outcome) {
  if (reply.StatusIs("ERRORPSD")) {
    outcome.clearPassword = true;
    return "密码错误！";
  }
  if (reply.StatusIs("NOUSR")) return "用户名不存在！";
  if (reply.StatusIs("DUE")) {
    outcome.clearPassword = true;
    return "为保证账号安全，请重新输入密码！";
  }
  return "登录验证失败，请检查用户名和密码是否正确！";
}

// Copies address and ports of one server; false on a member of another type.
bool ReadServer(const Json::Value& bean, const char* ipKey, const char* tcpKey, const char* udpKey,
                LoginGrant::Server& server) {
  std::string tcpText, udpText;
  if (!ReadText(bean, ipKey, server.ip) || !ReadText(bean, tcpKey, tcpText) || !ReadText(bean, udpKey, udpText))
    return false;
  // Port texts hold at most 8 characters before the decimal-prefix rule.
  server.tcp = DecimalPrefix(std::string_view(tcpText).substr(0, 8));
  server.udp = DecimalPrefix(std::string_view(udpText).substr(0, 8));
  return true;
}

bool ReadGrant(const Json::Value& inner, LoginGrant& grant) {
  const Json::Value* server = nullptr;
  const Json::Value* user = nullptr;
  if (!ReadObject(inner, "serverBean", server) || !ReadObject(inner, "userBean", user)) return false;
  static const Json::Value kNone(Json::objectValue);
  const Json::Value& s = server ? *server : kNone;
  return ReadServer(s, "defTranIP", "defTranPortTcp", "defTranPortUdp", grant.relay) &&
         ReadServer(s, "firstDetectionIP", "firstDetectionPortTcp", "firstDetectionPortUdp", grant.detection1) &&
         ReadServer(s, "secondDetectionIP", "secondDetectionPortTcp", "secondDetectionPortUdp", grant.detection2) &&
         ReadText(user ? *user : kNone, "token", grant.token);
}

// Address texts hold at most 16 characters: the fields cut them.
void TakeServer(const LoginGrant::Server& server, FixedText<17>& ip, int32_t& tcp, int32_t& udp) {
  ip = server.ip;
  tcp = server.tcp;
  udp = server.udp;
}

void TakeGrant(Global& g, const LoginGrant& grant) {
  TakeServer(grant.relay, g.m_TranSrvIpAddress, g.m_TranSrvTCPPort, g.m_TranSrvUDPPort);
  TakeServer(grant.detection1, g.m_NCSrv1IpAddress, g.m_NCSrv1TCPPort, g.m_NCSrv1UDPPort);
  TakeServer(grant.detection2, g.m_NCSrv2IpAddress, g.m_NCSrv2TCPPort, g.m_NCSrv2UDPPort);
  g.m_Token = grant.token;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

// Records the account in its configuration file; the status text on failure.
bool SaveAccount(ServiceContext& ctx, const LoginInput& input, std::string& failure) {
  UserSettings& settings = ctx.settings;
  failure = "保存用户信息失败，请重试！";
  settings.configPath = UserConfigPath(ctx.ConfigFolder(), input.user);
  if (settings.configPath.empty()) return false;
  if (!FileExists(settings.configPath) && !CreateDefaultUserConfig(settings, ctx.ConfigFolder()))
    return false;
  if (!SetConfigAttrib(settings.configPath, "config1", "User", "ID", input.user)) return false;

  failure = "保存用户信息失败，请重试";
  std::string stored = "0";
  if (input.rememberPassword && !StoredPasswordForm(input.password, stored)) return false;
  return SetConfigAttrib(settings.configPath, "config1", "User", "Password", stored) &&
         SetConfigText(settings.configPath, "config1", "AutoLogin", input.autoLogin ? "1" : "0");
}

}  // namespace

int RequestLogin(const ServiceContext& ctx, const LoginInput& input, LoginOutcome& outcome) {
  const Global& g = ctx.g;
  outcome = LoginOutcome{};
  LogLine("Login_Start");

  FieldString fields;
  fields.Add("uid", input.user)
      .Add("psd", PasswordHash(input.password))
      .Add("exp", g.m_ClientExp.str())
      .Add("mod", g.m_ClientMod.str())
      .Add("isnew", g.m_IsNew.load() != 0 ? 1 : 0)
      .Add("mac", g.m_Mac.str());
  ServiceRequest request = EnvelopeRequest(ctx, "login", fields, kLoginReplyBytes);
  request.cancel = input.cancel;
  LogLine("Login:RequestData");
  ServiceReply reply = SendRequest(ctx, request);
  if (reply.cancelled || input.cancel.cancelled()) {
    outcome.cancelled = true;
    return 0;
  }
  if (reply.result == ServiceReply::Result::kWrapFailed ||
      reply.result == ServiceReply::Result::kFetchFailed)
    return Fail(outcome, WithCause(kRequestFailed, NetworkCauseText(reply.cause)));
  LogLine("Login:RecvData");
  if (!reply.received()) return Fail(outcome, kReplyFailed);
  if (!reply.StatusIs("OK")) return Fail(outcome, RefusalText(reply, outcome));

  Json::Value inner;
  if (OpenInnerReply(ctx, reply, kLoginReplyBytes, inner) != InnerResult::kOpened)
    return Fail(outcome, kReplyFailed);
  if (!ReadGrant(inner, outcome.grant)) {
    LogLine("login.do: serverBean or userBean is malformed");
    return Fail(outcome, kReplyFailed);
  }
  return 1;
}

int TakeLogin(ServiceContext& ctx, const LoginInput& input, LoginOutcome& outcome) {
  Global& g = ctx.g;
  g.m_Password = PasswordHash(input.password);
  ctx.settings.userName = input.user;
  std::string stored;
  StoredPasswordForm(input.password, stored);  // the window's rules ensure 6 characters or more
  ctx.settings.rememberedPassword = stored;
  TakeGrant(g, outcome.grant);

  std::string failure;
  if (!SaveAccount(ctx, input, failure)) return Fail(outcome, failure);
  outcome.status.clear();
  g.m_LoggedIn = 1;
  LogLine("Login_Success");
  LogInfo("signed in as " + input.user);
  return 1;
}

int Login_Start(ServiceContext& ctx, const LoginInput& input, LoginOutcome& outcome) {
  ctx.g.m_Password = PasswordHash(input.password);
  int result = RequestLogin(ctx, input, outcome);
  if (result == 1) result = TakeLogin(ctx, input, outcome);
  if (!outcome.cancelled) ctx.notifier.Status(outcome.status);
  return result;
}

}  // namespace lumivex
