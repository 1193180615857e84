// Sign-in and account maintenance inside the envelope: login,
// changePassword and the three steps of initPassword.

#include "sim/digest.h"
#include "sim/operations.h"
#include "webservice/crypto.h"

namespace lumivex::sim {
namespace {

constexpr std::string_view kCodeAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

constexpr FieldRule kLogin[] = {{"uid", Kind::kUser}, {"psd", Kind::kMd5},    {"exp", Kind::kExp},
                                {"mod", Kind::kMod},  {"isnew", Kind::kFlag}, {"mac", Kind::kMac}};

constexpr FieldRule kChangePassword[] = {{"uid", Kind::kUser},   {"mac", Kind::kMac}, {"token", Kind::kToken},
                                         {"old", Kind::kMd5},    {"psd", Kind::kMd5}};

constexpr FieldRule kRecover1[] = {{"uid", Kind::kUser},   {"step", Kind::kLiteral, "1"}, {"exp", Kind::kExp},
                                   {"mod", Kind::kMod},    {"token", Kind::kHex40},       {"mac", Kind::kMac}};

constexpr FieldRule kRecover2[] = {{"uid", Kind::kUser},      {"step", Kind::kLiteral, "2"},
                                   {"question", Kind::kInt},  {"answer", Kind::kPercent},
                                   {"exp", Kind::kExp},       {"mod", Kind::kMod},
                                   {"token", Kind::kHex40},   {"mac", Kind::kMac},
                                   {"code", Kind::kToken}};

constexpr FieldRule kRecover3[] = {{"uid", Kind::kUser},    {"step", Kind::kLiteral, "3"}, {"psd", Kind::kMd5},
                                   {"token", Kind::kHex40}, {"mac", Kind::kMac},           {"code", Kind::kToken}};

OpReply Login(OpContext& ctx) {
  Account* account = ctx.world.FindAccount(ctx.f["uid"]);
  if (!account) return Status("NOUSR");
  if (ctx.f["psd"] != account->passwordMd5) return Status("ERRORPSD");
  std::string token = RandomChars("0123456789abcdef", 32);
  if (token.empty()) return Refuse(ctx, "no random token");
  ctx.session.user = account->user;
  ctx.session.token = token;
  ctx.session.mac = ctx.f["mac"];
  OpReply reply;
  Json::Value servers(Json::objectValue);
  for (const auto& [key, value] : ctx.world.servers) servers[key] = value;
  reply.inner["serverBean"] = servers;
  reply.inner["userBean"]["token"] = token;
  return reply;
}

OpReply ChangePassword(OpContext& ctx) {
  Account* account = ctx.world.FindAccount(ctx.session.user);
  if (!account) return Status("NOUSR");
  if (ctx.f["old"] != account->passwordMd5) return Status("ERRORPSD");
  account->passwordMd5 = ctx.f["psd"];
  return Status("OK");
}

std::span<const FieldRule> RecoverLayout(std::string_view fields) {
  std::string step = PeekField(fields, "step");
  if (step == "2") return kRecover2;
  if (step == "3") return kRecover3;
  return kRecover1;
}

OpReply RecoverQuestions(OpContext& ctx, const Account& account) {
  std::string code = RandomChars(kCodeAlphabet, 16);
  ctx.session.recovery[account.user] = {code, 1};
  OpReply reply;
  Json::Value& bean = reply.inner["userBean"];
  bean["code"] = code;
  bean["uid"] = account.user;
  bean["question"] = Json::Value(Json::arrayValue);
  for (const Question& q : account.questions) {
    Json::Value entry;
    entry["question"] = std::to_string(q.number);
    bean["question"].append(entry);
  }
  return reply;
}

OpReply RecoverAnswer(OpContext& ctx, Account& account, Session::Recovery& recovery) {
  const Question* asked = nullptr;
  for (const Question& q : account.questions)
    if (std::to_string(q.number) == ctx.f["question"]) asked = &q;
  if (!asked) return Refuse(ctx, "question " + ctx.f["question"] + " is not one of the account's");
  if (PercentDecode(ctx.f["answer"]) != asked->answer) return Status("ERRORANSWER");
  recovery = {RandomChars(kCodeAlphabet, 16), 2};
  OpReply reply;
  reply.inner["userBean"]["code"] = recovery.code;
  reply.inner["userBean"]["uid"] = account.user;
  return reply;
}

OpReply InitPassword(OpContext& ctx) {
  const std::string& uid = ctx.f["uid"];
  const int step = ctx.f["step"][0] - '0';
  if (ctx.f["token"] != TokenOf(uid + ctx.f["mac"] + ctx.session.tm))
    return Refuse(ctx, "token is not TokenOf(uid mac tm)");
  Account* account = ctx.world.FindAccount(uid);
  if (step == 1) return account ? RecoverQuestions(ctx, *account) : Status("NOUSER");

  auto it = ctx.session.recovery.find(uid);
  if (it == ctx.session.recovery.end() || it->second.step != step - 1 || it->second.code != ctx.f["code"])
    return Refuse(ctx, "code is not the one step " + std::to_string(step - 1) + " gave");
  if (!account) return Status("NOUSER");
  if (step == 2) return RecoverAnswer(ctx, *account, it->second);
  account->passwordMd5 = ctx.f["psd"];
  ctx.session.recovery.erase(it);
  return Status("OK");
}

const Operation kAccountOperations[] = {
    {"login", false, LayoutOf<kLogin>, Login},
    {"changePassword", true, LayoutOf<kChangePassword>, ChangePassword},
    {"initPassword", false, RecoverLayout, InitPassword},
};

}  // namespace

std::span<const Operation> AccountOperations() { return kAccountOperations; }

}  // namespace lumivex::sim
