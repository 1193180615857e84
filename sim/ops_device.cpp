// Device operations inside the envelope: the listing, the settings, the
// sharing, connection negotiation and the playback catalogue.

#include <algorithm>

#include "core/text.h"
#include "sim/operations.h"

namespace lumivex::sim {
namespace {

constexpr FieldRule kDevList[] = {{"uid", Kind::kUser}, {"mac", Kind::kMac},  {"token", Kind::kToken},
                                  {"exp", Kind::kExp},  {"mod", Kind::kMod},  {"page", Kind::kInt},
                                  {"size", Kind::kLiteral, "10"}};

constexpr FieldRule kSetAlarm[] = {{"uid", Kind::kUser},     {"sid", Kind::kText},      {"mac", Kind::kMac},
                                   {"token", Kind::kToken},  {"status", Kind::kOnOff},  {"umac", Kind::kMac}};

constexpr FieldRule kSetAlarmTime[] = {{"uid", Kind::kUser},    {"sid", Kind::kText},   {"mac", Kind::kMac},
                                       {"token", Kind::kToken}, {"umac", Kind::kText},  {"start", Kind::kInt},
                                       {"end", Kind::kInt}};

constexpr FieldRule kSwitch[] = {{"uid", Kind::kUser},    {"sid", Kind::kText},  {"mac", Kind::kMac},
                                 {"token", Kind::kToken}, {"umac", Kind::kText}, {"status", Kind::kOnOff}};

constexpr FieldRule kDevName[] = {{"uid", Kind::kUser}, {"sid", Kind::kText},    {"name", Kind::kPercent},
                                  {"mac", Kind::kMac},  {"token", Kind::kToken}};

constexpr FieldRule kDeleteDev[] = {{"uid", Kind::kUser},    {"sid", Kind::kText}, {"mac", Kind::kMac},
                                    {"token", Kind::kToken}, {"psd", Kind::kMd5}};

// The client adds the page: the listing has no other way to go on.
constexpr FieldRule kBindUserList[] = {{"uid", Kind::kUser}, {"sid", Kind::kText},    {"exp", Kind::kExp},
                                       {"mod", Kind::kMod},  {"mac", Kind::kMac},     {"token", Kind::kToken},
                                       {"page", Kind::kInt}};

constexpr FieldRule kAddUser[] = {{"uid", Kind::kUser}, {"sid", Kind::kText},    {"exp", Kind::kExp},
                                  {"mod", Kind::kMod},  {"mac", Kind::kMac},     {"token", Kind::kToken},
                                  {"name", Kind::kUser}};

constexpr FieldRule kDeleteBindUser[] = {{"uid", Kind::kUser},    {"sid", Kind::kText}, {"mac", Kind::kMac},
                                         {"token", Kind::kToken}, {"name", Kind::kText}};

constexpr FieldRule kCurrent[] = {
    {"uid", Kind::kUser},         {"sid", Kind::kText},          {"mac", Kind::kMac},
    {"token", Kind::kToken},      {"exp", Kind::kExp},           {"mod", Kind::kMod},
    {"net", Kind::kLiteral, "4"}, {"inner", Kind::kIpv4OrEmpty}, {"us", Kind::kLiteral, "0"},
    {"ts", Kind::kLiteral, "1"},  {"play", Kind::kFlag},         {"date", Kind::kDateOrEmpty},
    {"umac", Kind::kText},        {"ispub", Kind::kEmpty}};

constexpr FieldRule kPlayBack[] = {{"uid", Kind::kUser}, {"sid", Kind::kText}, {"mac", Kind::kMac},
                                   {"exp", Kind::kExp},  {"mod", Kind::kMod},  {"token", Kind::kToken}};

std::string Num(int v) { return std::to_string(v); }

// The signed-in account's own device named by "sid"; null means NODEV.
Device* OwnDevice(OpContext& ctx) {
  const Account* account = ctx.world.FindAccount(ctx.session.user);
  const std::string& sid = ctx.f["sid"];
  if (!account || std::find(account->devices.begin(), account->devices.end(), sid) == account->devices.end())
    return nullptr;
  return ctx.world.FindDevice(sid);
}

bool IsBound(const Device& d, std::string_view user) {
  return d.admin == user || std::find(d.boundUsers.begin(), d.boundUsers.end(), user) != d.boundUsers.end();
}

void Unlist(Scenario& world, std::string_view user, std::string_view sid) {
  if (Account* a = world.FindAccount(user)) std::erase(a->devices, sid);
}

bool PageNumber(OpContext& ctx, int& page) {
  page = DecimalPrefix(ctx.f["page"]);
  return page >= 1;
}

OpReply DevList(OpContext& ctx) {
  int page = 0;
  if (!PageNumber(ctx, page)) return Refuse(ctx, "page starts at 1");
  const Account* account = ctx.world.FindAccount(ctx.session.user);
  if (!account) return Status("NOUSR");
  OpReply reply;
  reply.inner["result"] = DevicePage(ctx.world, *account, page);
  return reply;
}

OpReply SetAlarm(OpContext& ctx) {
  Device* d = OwnDevice(ctx);
  if (!d) return Status("NODEV");
  if (d->status != 1) return Status("OFFLINE");
  d->alarmStatus = ctx.f["status"] == "on" ? 1 : 0;
  return Status("OK");
}

OpReply SetAlarmTime(OpContext& ctx) {
  int start = DecimalPrefix(ctx.f["start"]), end = DecimalPrefix(ctx.f["end"]);
  if (start < 0 || start > 23 || end < 0 || end > 23) return Refuse(ctx, "hours must be 0 to 23");
  Device* d = OwnDevice(ctx);
  if (!d) return Status("NODEV");
  if (d->status != 1) return Status("OFFLINE");
  d->alarmStatus = 1;
  d->alarmStartTime = start;
  d->alarmEndTime = end;
  return Status("OK");
}

OpReply SetLed(OpContext& ctx) {
  Device* d = OwnDevice(ctx);
  if (!d) return Status("NODEV");
  d->ledStatus = ctx.f["status"] == "on" ? 1 : 0;
  return Status("OK");
}

OpReply SetVoice(OpContext& ctx) {
  Device* d = OwnDevice(ctx);
  if (!d) return Status("NODEV");
  d->soundLeadStatus = ctx.f["status"] == "on" ? 1 : 0;
  return Status("OK");
}

OpReply DevName(OpContext& ctx) {
  std::string name = PercentDecode(ctx.f["name"]);
  long units = Utf16Length(name);
  if (units < 1 || units > 30) return Refuse(ctx, "name must be 1 to 30 UTF-16 units of UTF-8");
  Device* d = OwnDevice(ctx);
  if (!d) return Status("NODEV");
  d->name = name;
  return Status("OK");
}

OpReply DeleteDev(OpContext& ctx) {
  Device* d = OwnDevice(ctx);
  if (!d) return Status("NODEV");
  const Account* account = ctx.world.FindAccount(ctx.session.user);
  if (ctx.f["psd"] != account->passwordMd5) return Status("ERRORPSD");
  std::erase(d->boundUsers, account->user);
  if (d->admin == account->user) d->admin.clear();
  Unlist(ctx.world, account->user, d->sid);
  return Status("OK");
}

OpReply BindUserList(OpContext& ctx) {
  int page = 0;
  if (!PageNumber(ctx, page)) return Refuse(ctx, "page starts at 1");
  Device* d = OwnDevice(ctx);
  if (!d) return Status("NODEV");
  OpReply reply;
  reply.inner["userList"] = BoundUserPage(*d, page);
  return reply;
}

OpReply AddUser(OpContext& ctx) {
  Device* d = OwnDevice(ctx);
  if (!d) return Status("NODEV");
  if (d->admin != ctx.session.user) return Status("NOTADMIN");
  const std::string& name = ctx.f["name"];
  if (IsBound(*d, name)) return Status("REPEAT");
  Account* other = ctx.world.FindAccount(name);
  if (!other) return Status("NOUSER");
  if (static_cast<int>(d->boundUsers.size()) + (d->admin.empty() ? 0 : 1) >= d->maxUsers) return Status("OUTMAX");
  d->boundUsers.push_back(name);
  if (std::find(other->devices.begin(), other->devices.end(), d->sid) == other->devices.end())
    other->devices.push_back(d->sid);
  return Status("OK");
}

OpReply DeleteBindUser(OpContext& ctx) {
  Device* d = OwnDevice(ctx);
  if (!d) return Status("NODEV");
  if (d->admin != ctx.session.user) return Status("NOTADMIN");
  const std::string& name = ctx.f["name"];
  if (name == d->admin) return Refuse(ctx, "the administrator cannot be unbound");
  if (std::erase(d->boundUsers, name) == 0) return Status("NOUSER");
  Unlist(ctx.world, name, d->sid);
  return Status("OK");
}

OpReply Current(OpContext& ctx) {
  bool playback = ctx.f["play"] == "1";
  if (playback == ctx.f["date"].empty()) return Refuse(ctx, "play 1 needs a date and play 0 none");
  Device* d = OwnDevice(ctx);
  if (!d) return Status("NODEV");
  Json::Value bean(Json::objectValue);
  bean["status"] = d->connection.status.value_or(d->status == 1 ? 2 : 1);
  for (const auto& [key, value] : d->connection.members) bean[key] = value;
  OpReply reply;
  reply.inner["serverBean"] = bean;
  return reply;
}

OpReply PlayBack(OpContext& ctx) {
  Device* d = OwnDevice(ctx);
  if (!d) return Status("NODEV");
  if (d->status != 1) return Status("OFFLINE");
  if (!d->sdcard) return Status("NOSDCARD");
  if (d->videoDaylist.empty()) return Status("NOLIST");
  OpReply reply;
  reply.inner["playBack"]["videoDaylist"] = d->videoDaylist;
  return reply;
}

const Operation kDeviceOperations[] = {
    {"devList", true, LayoutOf<kDevList>, DevList},
    {"setAlarm", true, LayoutOf<kSetAlarm>, SetAlarm},
    {"setAlarmTime", true, LayoutOf<kSetAlarmTime>, SetAlarmTime},
    {"setLed", true, LayoutOf<kSwitch>, SetLed},
    {"setVoice", true, LayoutOf<kSwitch>, SetVoice},
    {"devName", true, LayoutOf<kDevName>, DevName},
    {"deleteDev", true, LayoutOf<kDeleteDev>, DeleteDev},
    {"bindUserList", true, LayoutOf<kBindUserList>, BindUserList},
    {"addUser", true, LayoutOf<kAddUser>, AddUser},
    {"deleteBindUser", true, LayoutOf<kDeleteBindUser>, DeleteBindUser},
    {"current", true, LayoutOf<kCurrent>, Current},
    {"playBack", true, LayoutOf<kPlayBack>, PlayBack},
};

}  // namespace

std::span<const Operation> DeviceOperations() { return kDeviceOperations; }

Json::Value DeviceObject(const Device& d, std::string_view user) {
  Json::Value o(Json::objectValue);
  o["sid"] = d.sid;
  o["name"] = d.name;
  o["showAlarm"] = Num(d.showAlarm);
  o["alarmStatus"] = Num(d.alarmStatus);
  o["alarmStartTime"] = Num(d.alarmStartTime);
  o["alarmEndTime"] = Num(d.alarmEndTime);
  o["ledStatus"] = Num(d.ledStatus);
  o["soundLeadStatus"] = Num(d.soundLeadStatus);
  o["lock"] = Num(d.lock);
  o["lockPsd"] = d.lockPsd;
  o["type"] = d.type;
  o["version"] = d.version;
  o["img"] = d.img;
  o["init"] = !d.admin.empty() && d.admin == user ? 1 : 0;
  o["status"] = d.status;
  o["showLED"] = Num(d.showLED);
  o["showSound"] = Num(d.showSound);
  return o;
}

Json::Value DevicePage(const Scenario& world, const Account& account, int page) {
  Json::Value list(Json::arrayValue);
  const std::size_t first = static_cast<std::size_t>(page - 1) * kPageSize;
  for (std::size_t i = first; i < account.devices.size() && i < first + kPageSize; ++i) {
    if (const Device* d = world.FindDevice(account.devices[i])) list.append(DeviceObject(*d, account.user));
  }
  return list;
}

Json::Value BoundUserPage(const Device& d, int page) {
  std::vector<std::pair<std::string, int>> all;
  for (const std::string& user : d.boundUsers) all.emplace_back(user, 0);
  if (!d.admin.empty()) {
    std::size_t at = std::min<std::size_t>(static_cast<std::size_t>(d.adminPosition), all.size());
    all.insert(all.begin() + static_cast<std::ptrdiff_t>(at), {d.admin, 1});
  }
  Json::Value list(Json::arrayValue);
  const std::size_t first = static_cast<std::size_t>(page - 1) * kPageSize;
  for (std::size_t i = first; i < all.size() && i < first + kPageSize; ++i) {
    Json::Value entry;
    entry["uid"] = all[i].first;
    entry["isAdmin"] = all[i].second;
    list.append(entry);
  }
  return list;
}

}  // namespace lumivex::sim
