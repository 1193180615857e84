#include "webservice/account.h"

#include <thread>

#include "config/user_config.h"
#include "config/user_settings.h"
#include "core/deployment.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/notifier.h"
#include "core/text.h"
#include "core/version.h"
#include "webservice/envelope.h"
#include "webservice/request.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

constexpr char kTitle[] = "提示";
constexpr std::size_t kUpdateReplyBytes = 65536;
constexpr std::size_t kPasswordReplyBytes = 65536;
constexpr std::size_t kRecoveryReplyBytes = 262144;
constexpr std::size_t kRecoveryInnerBytes = 8192;
constexpr std::size_t kFeedbackReplyBytes = 65536;
// The feedback box takes 299 UTF-16 units; each takes at most 3 UTF-8 bytes.
constexpr long kFeedbackUnits = 299;
constexpr std::size_t kFeedbackBytes = kFeedbackUnits * 3;

int Tell(ServiceContext& ctx, const std::string& text, int result) {
  ctx.notifier.MessageBox(kTitle, text);
  return result;
}

std::string VersionText() {
  return DecimalText(kProductMajor) + "." + DecimalText(kProductMinor);
}

constexpr int kAskAgain = 3;
constexpr char kPackageManagerUpdate[] = "检测到系统有新版本，请通过系统的软件包管理器更新";

// -1 failure, 0 none, 1 optional, 2 mandatory, or kAskAgain.
int AskForUpdate(ServiceContext& ctx) {
  ServiceRequest request;
  request.operation = "checkVersion";
  request.urlPrefix = WebPortUrlPrefix(ctx.g, "checkVersion");
  request.fields.Add("client", "pc")
      .Add("version", VersionText())
      .Add("token", TokenOf(ctx.g.m_AppSecret.str(), "pc" + VersionText()));
  request.wrap = Wrap::kOwnKey;
  request.replyCapacity = kUpdateReplyBytes;
  ServiceReply reply = SendRequest(ctx, request);
  if (!reply.received()) return -1;
  if (!reply.StatusIs("UPDATE")) return 0;

  const Json::Value* version = nullptr;
  std::string url;
  int32_t mode = -1;  // no mode given: ask again
  if (!ReadObject(reply.document, "version", version) ||
      (version && (!ReadText(*version, "resourceUrl", url) ||
                   !ReadNumber(*version, "updateStatus", mode, -1)))) {
    LogLine("checkVersion.do: version is malformed");
    return -1;
  }
  // A cut address would name another download.
  if (!ctx.settings.updateUrl.Assign(url)) {
    LogLine("checkVersion.do: the installer address is longer than 259 characters");
    ctx.settings.updateUrl.clear();
    return -1;
  }
  if (mode == 0) return 1;
  if (mode == 1) return 2;
  return kAskAgain;
}

void LaunchUpdater(ServiceContext& ctx, const std::function<void()>& endClient) {
  if (!ctx.selfUpdate) return;  // announced already; the package manager installs it
  if (!ctx.startUpdater(ctx.settings.updateUrl.str())) {
    ctx.notifier.MessageBox(kTitle, "启动更新失败，请重试");
    return;
  }
  endClient();
}

std::string RecoveryToken(const ServiceContext& ctx, const std::string& uid) {
  return TokenOf(ctx.g.m_AppSecret.str(), uid + ctx.g.m_Mac.str() + ctx.g.m_TimeStamp.str());
}

// "返回登录" cancels the dialog's step: its transfer ends and nothing is told.
ServiceReply SendRecoveryStep(const ServiceContext& ctx, const RecoveryState& state, const FieldString& fields) {
  ServiceRequest request = EnvelopeRequest(ctx, "initPassword", fields, kRecoveryReplyBytes);
  request.cancel = state.cancel;
  return SendRequest(ctx, request);
}

// "userBean" of a recovery reply; false when it is malformed.
bool ReadUserBean(const Json::Value& inner, std::string& code, std::string& uid,
                  const Json::Value** questions) {
  const Json::Value* bean = nullptr;
  if (!ReadObject(inner, "userBean", bean)) return false;
  static const Json::Value kNone(Json::objectValue);
  const Json::Value& b = bean ? *bean : kNone;
  if (!ReadText(b, "code", code) || !ReadText(b, "uid", uid)) return false;
  return !questions || ReadArray(b, "question", *questions);
}

// The question number of one entry; -1 when there is none to show.
int QuestionNumber(const Json::Value& list, Json::ArrayIndex index) {
  if (index >= list.size()) return -1;
  std::string number;
  if (!list[index].isObject() || !ReadText(list[index], "question", number)) return -1;
  int value = DecimalPrefix(number);
  return SecurityQuestionText(value).empty() ? -1 : value;
}

}  // namespace

int CheckForUpdate(ServiceContext& ctx) {
  for (int attempt = 1; attempt <= ctx.updateCheckAttempts; ++attempt) {
    int result = AskForUpdate(ctx);
    if (result != kAskAgain) return result;
    if (attempt < ctx.updateCheckAttempts) std::this_thread::sleep_for(ctx.updateCheckPause);
  }
  // The service kept answering neither optional nor mandatory: give up as a failure.
  LogLine("checkVersion.do: no usable update mode after " + DecimalText(ctx.updateCheckAttempts) +
          " attempts");
  return -1;
}

int RunUpdateCheck(ServiceContext& ctx) {
  int result = CheckForUpdate(ctx);
  ReactToUpdateCheck(ctx, result, [&ctx] { ctx.exitProcess(0); });
  return result;
}

void ReactToUpdateCheck(ServiceContext& ctx, int result, const std::function<void()>& endClient) {
  switch (result) {
    case 0:
      ctx.notifier.MessageBox(kTitle, "当前版本已经是最新");
      break;
    case 1:
    case 2:
      if (!ctx.selfUpdate) {
        ctx.notifier.MessageBox(kTitle, kPackageManagerUpdate);
      } else if (result == 1) {
        if (ctx.notifier.AskYesNo(kTitle, "检测到系统有更新，是否下载更新？")) LaunchUpdater(ctx, endClient);
      } else {
        ctx.notifier.MessageBoxAndWait(kTitle, "检测到系统有重要更新，请下载更新！");
        LaunchUpdater(ctx, endClient);
      }
      break;
    default:
      ctx.notifier.MessageBox(kTitle, "检测更新失败，请检查网络和防火墙设置");
      break;
  }
}

int ChangePassword(ServiceContext& ctx, const std::string& newPassword) {
  const Global& g = ctx.g;
  FieldString fields;
  fields.Add("uid", ctx.settings.userName.str())
      .Add("mac", g.m_Mac.str())
      .Add("token", g.m_Token.str())
      .Add("old", g.m_Password.str())
      .Add("psd", PasswordHash(newPassword));
  std::string stored;
  if (!StoredPasswordForm(newPassword, stored)) return Tell(ctx, "密码修改失败，请稍后重试", 0);
  ServiceReply reply =
      SendRequest(ctx, EnvelopeRequest(ctx, "changePassword", fields, kPasswordReplyBytes));
  if (!reply.StatusIs("OK")) return Tell(ctx, "密码修改失败，请稍后重试", 0);

  ctx.settings.rememberedPassword = stored;
  // Only a remembered password is replaced; "0" stays "0".
  bool saved = EditUserConfig(ctx.settings.configPath, [&](MarkupDocument& doc) {
    if (!IntoConfigElement(doc, "config1", "User") || doc.GetAttrib("Password") == "0") return false;
    return doc.SetAttrib("Password", stored);
  });
  if (!saved) LogLine("changePassword.do: no remembered password replaced in the config file");
  return Tell(ctx, "密码修改成功", 1);
}

std::string SecurityQuestionText(int number) {
  static const char* const kTexts[] = {
      "您母亲的姓名是？", "您父亲的姓名是？", "您配偶的姓名是？",
      "您的出生地是？",   "您高中班主任的名字是？", "您初中班主任的名字是？",
      "您小学班主任的名字是？", "您的小学校名是？", "您的学号（或工号）是？",
      "您父亲的生日是？", "您母亲的生日是？", "您配偶的生日是？"};
  if (number < 1 || number > 12) return "";
  return kTexts[number - 1];
}

int RecoverStep1(ServiceContext& ctx, RecoveryState& state, const std::string& user) {
  const Global& g = ctx.g;
  constexpr char kFailed[] = "用户名验证失败，请稍后重试";
  FieldString fields;
  fields.Add("uid", user)
      .Add("step", 1)
      .Add("exp", g.m_ClientExp.str())
      .Add("mod", g.m_ClientMod.str())
      .Add("token", RecoveryToken(ctx, user))
      .Add("mac", g.m_Mac.str());
  ServiceReply reply = SendRecoveryStep(ctx, state, fields);
  if (reply.result == ServiceReply::Result::kWrapFailed || reply.cancelled) return 0;
  if (!reply.received()) return Tell(ctx, kFailed, 0);
  if (reply.StatusIs("NOUSER")) return Tell(ctx, "用户名不存在", 0);
  if (!reply.StatusIs("OK")) return Tell(ctx, kFailed, 0);

  Json::Value inner;
  InnerResult opened = OpenInnerReply(ctx, reply, kRecoveryInnerBytes, inner);
  if (opened == InnerResult::kDecodeFailed) return 0;
  std::string code, uid;
  const Json::Value* questions = nullptr;
  if (opened != InnerResult::kOpened || !ReadUserBean(inner, code, uid, &questions))
    return Tell(ctx, kFailed, 0);

  state.code = code;
  state.questions.clear();
  state.noQuestions = !questions || questions->empty();
  if (state.noQuestions) return Tell(ctx, kNoSecurityQuestionMessage, 1);

  state.uid = uid;
  int first = QuestionNumber(*questions, 0);
  int second = QuestionNumber(*questions, 1);
  if (first == -1 || second == -1) return Tell(ctx, "加载安全问题失败", 0);
  state.questions = {{first, SecurityQuestionText(first)}, {second, SecurityQuestionText(second)}};
  return 1;
}

int RecoverStep2(ServiceContext& ctx, RecoveryState& state, int questionNumber,
                 const std::string& answer) {
  const Global& g = ctx.g;
  constexpr char kFailed[] = "安全问题验证失败，请确认后重试";
  std::string encoded;
  if (!PercentEncode(answer, encoded)) {
    LogLine("initPassword.do: the answer is not UTF-8 of at most 259 bytes");
    return 0;
  }
  FieldString fields;
  fields.Add("uid", state.uid)
      .Add("step", 2)
      .Add("question", questionNumber)
      .Add("answer", encoded)
      .Add("exp", g.m_ClientExp.str())
      .Add("mod", g.m_ClientMod.str())
      .Add("token", RecoveryToken(ctx, state.uid))
      .Add("mac", g.m_Mac.str())
      .Add("code", state.code);
  ServiceReply reply = SendRecoveryStep(ctx, state, fields);
  if (reply.result == ServiceReply::Result::kWrapFailed || reply.cancelled) return 0;
  if (!reply.received()) return Tell(ctx, kFailed, 0);
  if (reply.StatusIs("ERRORANSWER")) return Tell(ctx, "安全问题答案错误，请确认后重试", 0);
  if (!reply.StatusIs("OK")) return Tell(ctx, kFailed, 0);

  Json::Value inner;
  InnerResult opened = OpenInnerReply(ctx, reply, kRecoveryInnerBytes, inner);
  if (opened == InnerResult::kDecodeFailed) return 0;
  std::string code, uid;
  if (opened != InnerResult::kOpened || !ReadUserBean(inner, code, uid, nullptr))
    return Tell(ctx, "安全问题验证失败，请稍后重试", 0);
  state.code = code;
  state.uid = uid;
  return 1;
}

int RecoverStep3(ServiceContext& ctx, RecoveryState& state, const std::string& newPassword) {
  const Global& g = ctx.g;
  constexpr char kFailed[] = "密码修改失败，请稍后重试";
  FieldString fields;
  fields.Add("uid", state.uid)
      .Add("step", 3)
      .Add("psd", PasswordHash(newPassword))
      .Add("token", RecoveryToken(ctx, state.uid))
      .Add("mac", g.m_Mac.str())
      .Add("code", state.code);
  ServiceReply reply = SendRecoveryStep(ctx, state, fields);
  if (reply.result == ServiceReply::Result::kWrapFailed || reply.cancelled) return 0;
  if (!reply.received()) return Tell(ctx, kFailed, 0);
  if (reply.StatusIs("OK")) return Tell(ctx, "密码修改成功，请返回重新登录", 1);
  if (reply.StatusIs("NOUSER")) return Tell(ctx, "该用户未注册", 0);
  return Tell(ctx, kFailed, 0);
}

int SendFeedback(ServiceContext& ctx, const std::string& text) {
  constexpr char kFailed[] = "提交失败";
  const std::string& user = ctx.settings.userName.str();
  // The whole box fits: 299 units need up to 897 UTF-8 bytes, more than
  // the 260 of the original conversion buffer.
  std::string encoded;
  if (!PercentEncode(CutUtf16(text, kFeedbackUnits), encoded, kFeedbackBytes)) {
    LogLine("saveAdvise.do: the feedback is not UTF-8");
    return Tell(ctx, kFailed, 0);
  }
  ServiceRequest request;
  request.operation = "saveAdvise";
  request.urlPrefix = WebPortUrlPrefix(ctx.g, "saveAdvise");
  request.fields.Add("uid", user).Add("appAdvise", encoded).Add("token",
                                                               TokenOf(ctx.g.m_AppSecret.str(), user));
  request.wrap = Wrap::kSharedKey;
  request.replyCapacity = kFeedbackReplyBytes;
  ServiceReply reply = SendRequest(ctx, request);
  if (!reply.StatusIs("OK")) return Tell(ctx, kFailed, 0);
  return Tell(ctx, "提交成功", 1);
}

}  // namespace lumivex
