#include "webservice/sharing.h"

#include <algorithm>

#include "config/user_settings.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/notifier.h"
#include "core/text.h"
#include "core/version.h"
#include "webservice/request.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

constexpr char kTitle[] = "提示";
constexpr std::size_t kListReplyBytes = 262144;
constexpr std::size_t kListInnerBytes = 262144;
constexpr std::size_t kAddReplyBytes = 262144;
constexpr std::size_t kDeleteReplyBytes = 65536;
constexpr std::size_t kMaxNameBytes = 260;
constexpr int kPageSize = 10;
constexpr int kMaxPages = 100;  // a thousand users; no device has that many

int Tell(ServiceContext& ctx, const std::string& title, const std::string& text, int result) {
  ctx.notifier.MessageBox(title, text);
  return result;
}

enum class PageResult { kFailed, kShort, kFull, kClosing };

PageResult Refused(ServiceContext& ctx, const std::string& text) {
  ctx.notifier.MessageBox(kTitle, text);
  return PageResult::kFailed;
}

// One page of the bound users, merged into users: an administrator at the
// top, the others after the rows so far, every uid once. A page that brings
// no user not seen before ends the listing too: the service repeats itself.
PageResult ListPage(ServiceContext& ctx, const std::string& sid, int page,
                    std::vector<BoundUser>& users, const std::atomic<bool>* closing) {
  const Global& g = ctx.g;
  FieldString fields;
  fields.Add("uid", ctx.settings.userName.str())
      .Add("sid", sid)
      .Add("exp", g.m_ClientExp.str())
      .Add("mod", g.m_ClientMod.str())
      .Add("mac", g.m_Mac.str())
      .Add("token", g.m_Token.str())
      .Add("page", page);
  constexpr char kFailed[] = "获取绑定用户列表失败，请重试";
  ServiceReply reply =
      SendRequest(ctx, EnvelopeRequest(ctx, "bindUserList", fields, kListReplyBytes));
  if (reply.result == ServiceReply::Result::kWrapFailed) return PageResult::kFailed;
  if (!reply.received()) return Refused(ctx, kFailed);
  if (reply.StatusIs("NODEV")) return Refused(ctx, "设备不存在，请重试");
  if (reply.StatusIs("NOUSR")) return Refused(ctx, "用户不存在，请重试");
  if (!reply.StatusIs("OK")) return Refused(ctx, kFailed);

  Json::Value inner;
  InnerResult opened = OpenInnerReply(ctx, reply, kListInnerBytes, inner);
  if (opened == InnerResult::kDecodeFailed) return PageResult::kFailed;
  const Json::Value* list = nullptr;
  if (opened != InnerResult::kOpened || !ReadArray(inner, "userList", list))
    return Refused(ctx, kFailed);

  int objects = list ? static_cast<int>(list->size()) : 0;
  bool added = false;
  for (int i = 0; i < objects; ++i) {
    if (closing && closing->load()) return PageResult::kClosing;
    const Json::Value& object = (*list)[i];
    BoundUser user;
    int32_t admin = 0;
    if (!object.isObject() || !ReadText(object, "uid", user.uid) ||
        !ReadNumber(object, "isAdmin", admin) || user.uid.empty() || Utf16Length(user.uid) < 0) {
      LogLine("bindUserList.do: user object " + DecimalText(i) + " is malformed; skipped");
      continue;
    }
    auto same = [&](const BoundUser& u) { return u.uid == user.uid; };
    if (std::any_of(users.begin(), users.end(), same)) continue;
    user.isAdmin = admin == 1;
    users.insert(user.isAdmin ? users.begin() : users.end(), user);
    added = true;
  }
  if (objects < kPageSize || !added) return PageResult::kShort;
  return PageResult::kFull;
}

}  // namespace

int ListBoundUsers(ServiceContext& ctx, const std::string& sid, std::vector<BoundUser>& users,
                   const std::atomic<bool>* closing) {
  users.clear();
  for (int page = 1; page <= kMaxPages; ++page) {
    switch (ListPage(ctx, sid, page, users, closing)) {
      case PageResult::kFailed:
        users.clear();  // the list stays empty
        return 0;
      case PageResult::kClosing:
        return 0;
      case PageResult::kShort:
        return 1;
      case PageResult::kFull:
        break;
    }
  }
  LogLine("bindUserList.do: no short page after " + DecimalText(kMaxPages) + " pages");
  return 1;
}

int AddBoundUser(ServiceContext& ctx, const std::string& sid, const std::string& name) {
  const Global& g = ctx.g;
  FieldString fields;
  fields.Add("uid", ctx.settings.userName.str())
      .Add("sid", sid)
      .Add("exp", g.m_ClientExp.str())
      .Add("mod", g.m_ClientMod.str())
      .Add("mac", g.m_Mac.str())
      .Add("token", g.m_Token.str())
      .Add("name", name);
  ServiceReply reply = SendRequest(ctx, EnvelopeRequest(ctx, "addUser", fields, kAddReplyBytes));
  switch (reply.result) {
    case ServiceReply::Result::kWrapFailed:
      return 0;
    case ServiceReply::Result::kFetchFailed:
      return Tell(ctx, kTitle, "添加用户失败，请重试", 0);
    case ServiceReply::Result::kNotJson:
      return Tell(ctx, kApplicationName, "添加新用户失败，请重试", 0);
    case ServiceReply::Result::kReceived:
      break;
  }
  if (reply.StatusIs("OK")) return 1;
  if (reply.StatusIs("OUTMAX")) return Tell(ctx, kTitle, "设备绑定用户数量超过最大限制", 0);
  if (reply.StatusIs("NOUSER")) return Tell(ctx, kTitle, "用户名未注册，请先注册", 0);
  if (reply.StatusIs("REPEAT")) return Tell(ctx, kTitle, "用户名已绑定", 0);
  return Tell(ctx, kTitle, "添加新用户失败，请重试", 0);
}

int DeleteBoundUser(ServiceContext& ctx, const std::string& sid, const std::string& name) {
  if (name.size() > kMaxNameBytes || Utf16Length(name) < 0) {
    LogLine("deleteBindUser.do: the name is not UTF-8 of at most 260 bytes");
    return 0;
  }
  const Global& g = ctx.g;
  FieldString fields;
  fields.Add("uid", ctx.settings.userName.str())
      .Add("sid", sid)
      .Add("mac", g.m_Mac.str())
      .Add("token", g.m_Token.str())
      .Add("name", name);
  ServiceReply reply =
      SendRequest(ctx, EnvelopeRequest(ctx, "deleteBindUser", fields, kDeleteReplyBytes));
  if (reply.result == ServiceReply::Result::kWrapFailed) return 0;
  if (!reply.StatusIs("OK")) return Tell(ctx, kTitle, "删除用户失败，请重试", 0);
  return 1;
}

}  // namespace lumivex
