#include "sim/scenario.h"

#include <json/json.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <set>
#include <sstream>

#include "sim/digest.h"

namespace lumivex::sim {
namespace {

constexpr std::string_view kOperations[] = {
    "security",      "login",         "checkVersion",  "changePassword", "initPassword",
    "initPassword1", "initPassword2", "initPassword3", "saveAdvise",     "devList",
    "setAlarm",      "setAlarmTime",  "setLed",        "setVoice",       "devName",
    "deleteDev",     "bindUserList",  "addUser",       "deleteBindUser", "current",
    "playBack",      "img"};

constexpr std::string_view kServerMembers[] = {
    "defTranIP",         "defTranPortUdp",         "defTranPortTcp",
    "firstDetectionIP",  "firstDetectionPortTcp",  "firstDetectionPortUdp",
    "secondDetectionIP", "secondDetectionPortTcp", "secondDetectionPortUdp"};

constexpr std::string_view kConnectionMembers[] = {"devInner",    "devOuter",      "devPortTcp",
                                                   "tranIP",      "tranPortTcp",   "penetrateIP",
                                                   "penetratePort", "transVideoLong"};

template <std::size_t N>
bool Among(const std::string_view (&names)[N], std::string_view name) {
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

bool IsHex(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

bool IsDottedIpv4(std::string_view s) {
  int parts = 0;
  std::size_t i = 0;
  while (i <= s.size()) {
    std::size_t end = s.find('.', i);
    if (end == std::string_view::npos) end = s.size();
    std::string_view part = s.substr(i, end - i);
    if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    if (std::stoi(std::string(part)) > 255) return false;
    ++parts;
    i = end + 1;
  }
  return parts == 4;
}

// One JSON object being read, with its path for error messages. The first
// error wins; later reads do nothing.
class Reader {
 public:
  Reader(const Json::Value& value, std::string path, std::string& error)
      : value_(value), path_(std::move(path)), error_(error) {
    if (ok() && !value_.isObject()) Fail("", "expected an object");
  }

  bool ok() const { return error_.empty(); }

  void Fail(std::string_view key, const std::string& what) {
    if (error_.empty()) error_ = Place(key) + ": " + what;
  }

  std::string Place(std::string_view key) const {
    if (key.empty()) return path_.empty() ? "scenario" : path_;
    return path_.empty() ? std::string(key) : path_ + "." + std::string(key);
  }

  // Keys starting with "_" are notes for the reader of the file.
  void AllowOnly(std::initializer_list<std::string_view> allowed) {
    if (!ok()) return;
    for (const std::string& key : value_.getMemberNames()) {
      if (key.starts_with("_")) continue;
      if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) return Fail(key, "unknown key");
    }
  }

  bool Has(const char* key) const { return ok() && value_.isMember(key); }
  const Json::Value& Get(const char* key) const { return value_[key]; }
  std::vector<std::string> Keys() const { return ok() ? value_.getMemberNames() : std::vector<std::string>{}; }

  Reader Child(const char* key) const { return Reader(value_[key], Place(key), error_); }

  // Calls each(reader, index) for every element of the array at key.
  void Each(const char* key, const std::function<void(Reader&, int)>& each) {
    if (!Has(key)) return;
    const Json::Value& list = value_[key];
    if (!list.isArray()) return Fail(key, "expected an array");
    for (Json::ArrayIndex i = 0; i < list.size() && ok(); ++i) {
      Reader element(list[i], Place(key) + "[" + std::to_string(i) + "]", error_);
      if (element.ok()) each(element, static_cast<int>(i));
    }
  }

  void Text(const char* key, std::string& out, bool required = false) {
    if (!Present(key, required)) return;
    if (!value_[key].isString()) return Fail(key, "expected a string");
    out = value_[key].asString();
  }

  void Int(const char* key, int& out, bool required = false) {
    if (!Present(key, required)) return;
    if (!value_[key].isInt()) return Fail(key, "expected an integer");
    out = value_[key].asInt();
  }

  void Bool(const char* key, bool& out) {
    if (!Present(key, false)) return;
    if (!value_[key].isBool()) return Fail(key, "expected true or false");
    out = value_[key].asBool();
  }

  // A string, or an integer kept as its decimal text.
  void TextOrInt(const std::string& key, std::string& out) {
    const Json::Value& v = value_[key];
    if (v.isString()) out = v.asString();
    else if (v.isInt()) out = std::to_string(v.asInt());
    else Fail(key, "expected a string or an integer");
  }

  void TextList(const char* key, std::vector<std::string>& out) {
    if (!Present(key, false)) return;
    const Json::Value& list = value_[key];
    if (!list.isArray()) return Fail(key, "expected an array of strings");
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
      if (!list[i].isString()) return Fail(std::string(key) + "[" + std::to_string(i) + "]", "expected a string");
      out.push_back(list[i].asString());
    }
  }

 private:
  bool Present(const char* key, bool required) {
    if (!ok()) return false;
    if (value_.isMember(key)) return true;
    if (required) Fail(key, "missing");
    return false;
  }

  const Json::Value& value_;
  std::string path_;
  std::string& error_;
};

// "op": "STATUS"  or  "op": {"status": "STATUS", "times": N}
void ReadStatuses(Reader& parent, const char* key, StatusOverrides& out) {
  if (!parent.Has(key)) return;
  Reader map = parent.Child(key);
  for (const std::string& op : map.Keys()) {
    if (op.starts_with("_")) continue;
    if (!IsOperationName(op)) return map.Fail(op, "not an operation name");
    StatusOverride entry;
    const Json::Value& v = map.Get(op.c_str());
    if (v.isString()) {
      entry.status = v.asString();
    } else {
      Reader r = map.Child(op.c_str());
      r.AllowOnly({"status", "times"});
      r.Text("status", entry.status, true);
      r.Int("times", entry.times);
      if (r.ok() && r.Has("times") && entry.times < 1) r.Fail("times", "expected 1 or more");
      if (!r.ok()) return;
    }
    if (entry.status.empty()) return map.Fail(op, "empty status");
    out[op] = entry;
  }
}

void ReadAccount(Reader& r, Account& a) {
  r.AllowOnly({"user", "password", "questions", "devices", "statuses"});
  std::string password;
  r.Text("user", a.user, true);
  r.Text("password", password, true);
  a.passwordMd5 = Md5Hex(password);
  r.Each("questions", [&](Reader& q, int) {
    q.AllowOnly({"number", "answer"});
    Question question;
    q.Int("number", question.number, true);
    q.Text("answer", question.answer, true);
    if (q.ok() && (question.number < 1 || question.number > 12)) q.Fail("number", "expected 1 to 12");
    a.questions.push_back(question);
  });
  r.TextList("devices", a.devices);
  ReadStatuses(r, "statuses", a.statuses);
  if (r.ok() && a.user.empty()) r.Fail("user", "empty");
}

void ReadConnection(Reader& r, ConnectionAnswer& c) {
  for (const std::string& key : r.Keys()) {
    if (key.starts_with("_")) continue;
    if (key == "status") {
      int status = 0;
      r.Int("status", status);
      c.status = status;
    } else if (Among(kConnectionMembers, key)) {
      r.TextOrInt(key, c.members[key]);
    } else {
      return r.Fail(key, "unknown key");
    }
  }
}

void ReadLan(Reader& r, const std::string& sid, LanAnswer& lan) {
  r.AllowOnly({"id", "ip", "mac", "value", "repeat"});
  lan.id = sid;
  int value = 0;
  r.Text("id", lan.id);
  r.Text("ip", lan.ip, true);
  r.Text("mac", lan.mac, true);
  r.Int("value", value);
  r.Int("repeat", lan.repeat);
  if (!r.ok()) return;
  if (lan.id.empty() || lan.id.size() > 16) return r.Fail("id", "needs 1 to 16 bytes (the answer's id field)");
  if (!IsDottedIpv4(lan.ip)) return r.Fail("ip", "expected dotted IPv4 text");
  if (lan.mac.size() != 12 || !IsHex(lan.mac)) return r.Fail("mac", "expected 12 hexadecimal characters");
  if (value < 0 || value > 65535) return r.Fail("value", "expected 0 to 65535");
  if (lan.repeat < 1 || lan.repeat > 10) return r.Fail("repeat", "expected 1 to 10");
  lan.value = static_cast<uint16_t>(value);
}

void ReadDevice(Reader& r, Device& d) {
  r.AllowOnly({"sid", "name", "showAlarm", "alarmStatus", "alarmStartTime", "alarmEndTime",
               "ledStatus", "soundLeadStatus", "lock", "lockPsd", "lockPattern", "type", "version",
               "img", "status", "showLED", "showSound", "admin", "boundUsers", "adminPosition",
               "maxUsers", "connection", "videoDaylist", "sdcard", "lan", "statuses", "camera"});
  r.Text("sid", d.sid, true);
  d.name = d.sid;
  d.img = "/img/" + d.sid + ".png";
  r.Text("name", d.name);
  r.Int("showAlarm", d.showAlarm);
  r.Int("alarmStatus", d.alarmStatus);
  r.Int("alarmStartTime", d.alarmStartTime);
  r.Int("alarmEndTime", d.alarmEndTime);
  r.Int("ledStatus", d.ledStatus);
  r.Int("soundLeadStatus", d.soundLeadStatus);
  r.Int("lock", d.lock);
  r.Text("lockPsd", d.lockPsd);
  if (r.Has("lockPattern")) {
    if (r.Has("lockPsd")) return r.Fail("lockPattern", "give lockPsd or lockPattern, not both");
    std::string pattern;
    r.Text("lockPattern", pattern);
    if (pattern.empty() || !std::all_of(pattern.begin(), pattern.end(), [](char c) { return c >= '1' && c <= '9'; }))
      return r.Fail("lockPattern", "expected the pattern's digits 1 to 9");
    d.lockPsd = TokenOf(pattern);
  }
  r.Text("type", d.type);
  r.Text("version", d.version);
  r.Text("img", d.img);
  r.Int("status", d.status);
  r.Int("showLED", d.showLED);
  r.Int("showSound", d.showSound);
  r.Text("admin", d.admin);
  r.TextList("boundUsers", d.boundUsers);
  r.Int("adminPosition", d.adminPosition);
  r.Int("maxUsers", d.maxUsers);
  if (r.Has("connection")) {
    Reader c = r.Child("connection");
    if (c.ok()) ReadConnection(c, d.connection);
  }
  r.Text("videoDaylist", d.videoDaylist);
  r.Bool("sdcard", d.sdcard);
  if (r.Has("lan")) {
    Reader l = r.Child("lan");
    d.lan.emplace();
    if (l.ok()) ReadLan(l, d.sid, *d.lan);
  }
  ReadStatuses(r, "statuses", d.statuses);
  if (r.Has("camera")) {
    std::string key, what;
    if (!ParseCameraConfig(r.Get("camera"), d.camera, key, what))
      return r.Fail(key.empty() ? std::string("camera") : "camera." + key, what);
  }
  if (!r.ok()) return;
  if (d.sid.empty() || d.sid.size() > 17) return r.Fail("sid", "needs 1 to 17 characters");
  if (d.sid.find_first_of("&:") != std::string::npos) return r.Fail("sid", "must not hold '&' or ':'");
  if (d.adminPosition < 0) return r.Fail("adminPosition", "expected 0 or more");
  if (d.maxUsers < 1) return r.Fail("maxUsers", "expected 1 or more");
}

void ReadFault(Reader& r, Fault& f) {
  r.AllowOnly({"http404", "gzip", "gzipBomb", "delayMs", "status", "times"});
  r.Bool("http404", f.http404);
  r.Bool("gzip", f.gzip);
  r.Bool("gzipBomb", f.gzipBomb);
  r.Int("delayMs", f.delayMs);
  r.Text("status", f.status);
  r.Int("times", f.times);
  if (r.ok() && (f.delayMs < 0 || f.delayMs > 60000)) r.Fail("delayMs", "expected 0 to 60000");
  if (r.ok() && r.Has("times") && f.times < 1) r.Fail("times", "expected 1 or more");
}

void ReadTop(Reader& top, Scenario& s) {
  top.AllowOnly({"accounts", "devices", "servers", "update", "faults", "thumbnails", "relay"});
  top.Each("accounts", [&](Reader& r, int) { ReadAccount(r, s.accounts.emplace_back()); });
  top.Each("devices", [&](Reader& r, int) { ReadDevice(r, s.devices.emplace_back()); });
  if (top.Has("servers")) {
    Reader servers = top.Child("servers");
    for (const std::string& key : servers.Keys()) {
      if (key.starts_with("_")) continue;
      if (!Among(kServerMembers, key)) return servers.Fail(key, "unknown key");
      servers.TextOrInt(key, s.servers[key]);
    }
  }
  if (top.Has("update")) {
    Reader u = top.Child("update");
    u.AllowOnly({"resourceUrl", "updateStatus"});
    UpdateOffer& offer = s.update.emplace();
    u.Text("resourceUrl", offer.resourceUrl, true);
    u.Int("updateStatus", offer.updateStatus);
  }
  if (top.Has("faults")) {
    Reader faults = top.Child("faults");
    for (const std::string& op : faults.Keys()) {
      if (op.starts_with("_")) continue;
      if (!IsOperationName(op)) return faults.Fail(op, "not an operation name");
      Reader f = faults.Child(op.c_str());
      if (f.ok()) ReadFault(f, s.faults[op]);
    }
  }
  if (top.Has("relay")) {
    Reader relay = top.Child("relay");
    relay.AllowOnly({"resetAfterSeconds"});
    relay.Int("resetAfterSeconds", s.relayResetAfterSeconds);
    if (relay.ok() && (s.relayResetAfterSeconds < 0 || s.relayResetAfterSeconds > 86400))
      relay.Fail("resetAfterSeconds", "expected 0 to 86400");
  }
  top.Int("thumbnails", s.thumbnails);
  if (top.ok() && (s.thumbnails < 0 || s.thumbnails > 1000)) top.Fail("thumbnails", "expected 0 to 1000");
}

// Unique names and no dangling sid.
void CheckReferences(const Scenario& s, std::string& error) {
  std::set<std::string> users, sids;
  for (std::size_t i = 0; i < s.accounts.size(); ++i) {
    if (!users.insert(s.accounts[i].user).second) {
      error = "accounts[" + std::to_string(i) + "].user: \"" + s.accounts[i].user + "\" appears twice";
      return;
    }
  }
  for (std::size_t i = 0; i < s.devices.size(); ++i) {
    if (!sids.insert(s.devices[i].sid).second) {
      error = "devices[" + std::to_string(i) + "].sid: \"" + s.devices[i].sid + "\" appears twice";
      return;
    }
  }
  for (std::size_t i = 0; i < s.accounts.size(); ++i) {
    for (const std::string& sid : s.accounts[i].devices) {
      if (!sids.count(sid)) {
        error = "accounts[" + std::to_string(i) + "].devices: no device with sid \"" + sid + "\"";
        return;
      }
    }
  }
}

}  // namespace

bool IsOperationName(std::string_view name) { return Among(kOperations, name); }

Account* Scenario::FindAccount(std::string_view user) {
  for (Account& a : accounts)
    if (a.user == user) return &a;
  return nullptr;
}

const Account* Scenario::FindAccount(std::string_view user) const {
  return const_cast<Scenario*>(this)->FindAccount(user);
}

Device* Scenario::FindDevice(std::string_view sid) {
  for (Device& d : devices)
    if (d.sid == sid) return &d;
  return nullptr;
}

const Device* Scenario::FindDevice(std::string_view sid) const {
  return const_cast<Scenario*>(this)->FindDevice(sid);
}

bool ParseScenario(std::string_view text, Scenario& out, std::string& error) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  builder["allowComments"] = false;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string parseError;
  if (!reader->parse(text.data(), text.data() + text.size(), &root, &parseError)) {
    error = "not valid JSON: " + parseError;
    while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
    return false;
  }
  Scenario s;
  error.clear();
  Reader top(root, "", error);
  if (top.ok()) ReadTop(top, s);
  if (error.empty()) CheckReferences(s, error);
  if (!error.empty()) return false;
  out = std::move(s);
  return true;
}

bool LoadScenario(const std::string& path, Scenario& out, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot be read";
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (text.str().size() > (16u << 20)) {
    error = path + ": larger than 16 MiB";
    return false;
  }
  if (!ParseScenario(text.str(), out, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace lumivex::sim
