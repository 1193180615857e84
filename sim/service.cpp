#include "sim/service.h"

#include <algorithm>

#include "core/text.h"
#include "sim/digest.h"
#include "sim/envelope_side.h"
#include "sim/png.h"
#include "sim/server.h"
#include "sim/sim_log.h"
#include "sim/traffic_dump.h"
#include "webservice/crypto.h"

namespace lumivex::sim {
namespace {

constexpr std::size_t kMaxSessions = 256;

constexpr FieldRule kSecurity[] = {{"cl", Kind::kLiteral, "pc"}, {"cv", Kind::kLiteral, "2.0"},
                                   {"pv", Kind::kLiteral, "2.0"}, {"pk", Kind::kBase64},
                                   {"tm", Kind::kTime},           {"token", Kind::kHex40}};

constexpr FieldRule kCheckVersion[] = {
    {"client", Kind::kLiteral, "pc"}, {"version", Kind::kText}, {"token", Kind::kHex40}};

constexpr FieldRule kSaveAdvise[] = {
    {"uid", Kind::kUser}, {"appAdvise", Kind::kPercent}, {"token", Kind::kHex40}};

std::string Compact(const Json::Value& v) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, v);
}

Json::Value StatusDocument(const std::string& status) {
  Json::Value doc(Json::objectValue);
  doc["status"] = status;
  return doc;
}

HttpResponse Json200(std::string body) {
  HttpResponse r;
  r.body = std::move(body);
  return r;
}

HttpResponse OwnKeyReply(const Json::Value& doc) {
  DumpOwnKeyDocument(doc);
  return Json200(SealOwnKeyReply(Compact(doc)));
}

HttpResponse OwnKeyRefusal(std::string reason) {
  HttpResponse r = OwnKeyReply(StatusDocument("ERROR"));
  r.refused = std::move(reason);
  return r;
}

HttpResponse SharedKeyRefusal(const Session& s, std::string reason) {
  HttpResponse r = Json200(SealSharedKeyReply(s.keyValue, Compact(StatusDocument("ERROR"))));
  r.refused = std::move(reason);
  return r;
}

// Without a session there is no key to seal with: a bare refusal.
HttpResponse BareRefusal(std::string reason) {
  HttpResponse r;
  r.status = 400;
  r.body = Compact(StatusDocument("ERROR"));
  r.refused = std::move(reason);
  return r;
}

bool IsMajorMinor(std::string_view v) {
  std::size_t dot = v.find('.');
  auto digits = [](std::string_view s) {
    return !s.empty() && s.size() <= 5 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  return dot != std::string_view::npos && digits(v.substr(0, dot)) && digits(v.substr(dot + 1));
}

// Sign-in, token, mac, key and umac: what every operation shares.
std::string CommonFault(const Operation& op, const Session& s, const Fields& f) {
  if (f.Has("exp") && (f["exp"] != s.clientExp || f["mod"] != s.clientMod))
    return "exp/mod are not the key sent in the handshake";
  if (!op.signedIn) return {};
  if (s.user.empty()) return "not signed in";
  if (f["uid"] != s.user) return "uid \"" + f["uid"] + "\" is not the signed-in user";
  if (f["token"] != s.token) return "token is not the one login issued";
  if (f["mac"] != s.mac) return "mac differs from the one sent at login";
  if (f.Has("umac")) {
    std::string expected = op.name == "setAlarm" ? s.mac : s.user + "," + s.mac;
    if (f["umac"] != expected) return "umac is \"" + f["umac"] + "\", expected \"" + expected + "\"";
  }
  return {};
}

}  // namespace

std::string HandshakeKey() { return TokenOf("pcvelmor2.02.0").substr(0, 16); }

Service::Service(Scenario scenario, std::unique_ptr<ClientKeyPair> serviceKey)
    : world_(std::move(scenario)), key_(std::move(serviceKey)) {
  publicKeyText_ = key_->ExponentHex() + ":" + key_->ModulusHex();
  // Made before the first request, so that its answer goes out at once.
  for (const auto& [op, fault] : world_.faults)
    if (fault.gzipBomb) GzipBomb();
}

Service::~Service() = default;

Scenario Service::World() const {
  std::lock_guard lock(mutex_);
  return world_;
}

std::vector<SessionKey> Service::DeviceKeys() const {
  std::lock_guard lock(mutex_);
  std::vector<SessionKey> keys;
  for (auto it = sessions_.rbegin(); it != sessions_.rend(); ++it)
    keys.push_back({it->keyValue, it->user.empty() ? std::string() : it->user + "," + it->mac});
  return keys;
}

std::vector<std::string> Service::Feedback() const {
  std::lock_guard lock(mutex_);
  return feedback_;
}

HttpResponse Service::Handle(std::string_view target) {
  HttpRequest request;
  request.target = target;
  return Handle(request);
}

// The client's thumbnail handle names itself; its other requests send no
// User-Agent at all. Anything else is refused, so that every test sees it.
HttpResponse Service::Handle(const HttpRequest& request) {
  std::string_view target = request.target;
  std::string_view path = target.substr(0, target.find('?'));
  std::string_view query = path.size() < target.size() ? target.substr(path.size() + 1) : std::string_view{};
  std::lock_guard lock(mutex_);
  if (path.starts_with("/img/")) {
    Fault fault = TakeFault("img");
    if (request.userAgent != kThumbnailUserAgent) {
      LogRefused("img", "User-Agent \"" + request.userAgent + "\" instead of " + kThumbnailUserAgent);
      HttpResponse refused;
      refused.status = 403;
      refused.body = "thumbnails only for " + std::string(kThumbnailUserAgent) + "\n";
      return refused;
    }
    HttpResponse r = fault.http404 ? NotFoundPage(target) : Thumbnail(path);
    r.gzip = fault.gzip;
    r.gzipBomb = fault.gzipBomb;
    r.delayMs = fault.delayMs;
    return r;
  }
  if (!path.starts_with("/velmor/") || !path.ends_with(".do")) return NotFoundPage(target);
  std::string op(path.substr(8, path.size() - 8 - 3));
  if (request.hasUserAgent) {
    LogRefused(op, "a User-Agent \"" + request.userAgent + "\"");
    return BareRefusal("a User-Agent");
  }
  const Operation* enveloped = FindOperation(op);
  if (!enveloped && op != "security" && op != "checkVersion" && op != "saveAdvise") return NotFoundPage(target);

  Fault fault = TakeFault(op);
  HttpResponse r;
  if (fault.http404) {
    r = NotFoundPage(target);
  } else if (!query.starts_with("data=")) {
    r = BareRefusal("the query is not data=...");
  } else {
    std::string_view data = query.substr(5);
    if (op == "security") r = Security(data, fault);
    else if (op == "checkVersion") r = CheckVersion(data, fault);
    else if (op == "saveAdvise") r = SaveAdvise(data, fault);
    else r = Enveloped(*enveloped, data, fault);
  }
  if (!r.refused.empty()) LogRefused(op, r.refused);
  r.gzip = fault.gzip;
  r.gzipBomb = fault.gzipBomb;
  r.delayMs = fault.delayMs;
  return r;
}

Fault Service::TakeFault(const std::string& op) {
  auto it = world_.faults.find(op);
  if (it == world_.faults.end()) return {};
  Fault f = it->second;
  if (it->second.times > 0 && --it->second.times == 0) world_.faults.erase(it);
  return f;
}

// The first override that applies: the operation's fault, then the
// account's, then the device's. An account or device override is spent
// only when used.
std::string Service::ForcedStatus(const Fault& fault, std::vector<std::string> ops, const std::string& user,
                                  const std::string& sid) {
  if (!fault.status.empty()) return fault.status;
  StatusOverrides* tables[] = {nullptr, nullptr};
  if (Account* a = world_.FindAccount(user)) tables[0] = &a->statuses;
  if (Device* d = sid.empty() ? nullptr : world_.FindDevice(sid)) tables[1] = &d->statuses;
  for (StatusOverrides* table : tables) {
    if (!table) continue;
    for (const std::string& op : ops) {
      auto it = table->find(op);
      if (it == table->end()) continue;
      std::string status = it->second.status;
      if (it->second.times > 0 && --it->second.times == 0) table->erase(it);
      return status;
    }
  }
  return {};
}

std::string Service::NewKeyValue() const {
  constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  while (true) {
    std::string kv = RandomChars(kAlphabet, 4);
    if (kv.empty()) return kv;
    if (std::none_of(sessions_.begin(), sessions_.end(), [&](const Session& s) { return s.keyValue == kv; }))
      return kv;
  }
}

Session* Service::FindSession(std::string_view data, std::string_view prefix) {
  for (auto it = sessions_.rbegin(); it != sessions_.rend(); ++it)
    if (SharedKeyOpensTo(data, it->keyValue, prefix)) return &*it;
  return nullptr;
}

HttpResponse Service::Security(std::string_view data, const Fault& fault) {
  std::string text, error;
  if (!OpenOwnKeyRequest(data, text, error)) return OwnKeyRefusal(error);
  LogDetail("security: " + text);
  Fields f;
  if (!ParseFields(text, kSecurity, f, error)) return OwnKeyRefusal(error);
  if (f["token"] != TokenOf(f["cv"] + f["tm"] + f["pv"] + f["cl"])) return OwnKeyRefusal("token is not TokenOf(cv tm pv cl)");
  std::string clientKey;
  if (!AesOpen(HandshakeKey(), f["pk"], clientKey, error)) return OwnKeyRefusal("pk " + error);
  std::size_t colon = clientKey.find(':');
  std::string exp = clientKey.substr(0, colon);
  std::string mod = colon == std::string::npos ? std::string() : clientKey.substr(colon + 1);
  if (!CheckValue({"pk exponent", Kind::kExp}, exp, error) || !CheckValue({"pk modulus", Kind::kMod}, mod, error))
    return OwnKeyRefusal(error);

  if (std::string forced = ForcedStatus(fault, {"security"}, {}, {}); !forced.empty()) {
    Json::Value doc = StatusDocument(forced);
    if (EqualsIgnoreCase(forced, "UPATE") && world_.update) doc["version"]["resourceUrl"] = world_.update->resourceUrl;
    LogDetail("security: answered " + forced);
    return OwnKeyReply(doc);
  }

  Session s;
  s.keyValue = NewKeyValue();
  s.tm = f["tm"];
  s.clientExp = exp;
  s.clientMod = mod;
  std::string aes = NewAesKey(), sk, pubKey, biz;
  Json::Value inner;
  inner["serverBean"]["keyValue"] = s.keyValue;
  if (s.keyValue.empty() || !SealKeyFor(exp, mod, aes, sk) || !AesSeal(aes, publicKeyText_, pubKey))
    return OwnKeyRefusal("cannot seal the reply for this client key");
  inner["serverBean"]["pubKey"] = pubKey;
  if (!AesSeal(aes, Compact(inner), biz)) return OwnKeyRefusal("cannot seal the reply");
  if (sessions_.size() >= kMaxSessions) sessions_.pop_front();
  sessions_.push_back(std::move(s));
  Json::Value doc = StatusDocument("OK");
  doc["sk"] = sk;
  doc["biz"] = biz;
  return OwnKeyReply(doc);
}

HttpResponse Service::CheckVersion(std::string_view data, const Fault& fault) {
  std::string text, error;
  if (!OpenOwnKeyRequest(data, text, error)) return OwnKeyRefusal(error);
  LogDetail("checkVersion: " + text);
  Fields f;
  if (!ParseFields(text, kCheckVersion, f, error)) return OwnKeyRefusal(error);
  if (!IsMajorMinor(f["version"])) return OwnKeyRefusal("version is not major.minor");
  if (f["token"] != TokenOf("pc" + f["version"])) return OwnKeyRefusal("token is not TokenOf(pc<version>)");
  if (std::string forced = ForcedStatus(fault, {"checkVersion"}, {}, {}); !forced.empty())
    return OwnKeyReply(StatusDocument(forced));
  if (!world_.update) return OwnKeyReply(StatusDocument("OK"));
  Json::Value doc = StatusDocument("UPDATE");
  doc["version"]["resourceUrl"] = world_.update->resourceUrl;
  doc["version"]["updateStatus"] = world_.update->updateStatus;
  return OwnKeyReply(doc);
}

HttpResponse Service::SaveAdvise(std::string_view data, const Fault& fault) {
  Session* s = FindSession(data, "uid:");
  if (!s) return BareRefusal("no session's keyValue opens the DES layer");
  std::string text, error;
  if (!OpenSharedKeyRequest(data, s->keyValue, text, error)) return SharedKeyRefusal(*s, error);
  LogDetail("saveAdvise: " + text);
  Fields f;
  if (!ParseFields(text, kSaveAdvise, f, error)) return SharedKeyRefusal(*s, error);
  if (f["token"] != TokenOf(f["uid"])) return SharedKeyRefusal(*s, "token is not TokenOf(uid)");
  if (s->user.empty() || f["uid"] != s->user) return SharedKeyRefusal(*s, "uid is not the signed-in user");
  if (f["appAdvise"].empty()) return SharedKeyRefusal(*s, "appAdvise is empty");
  std::string status = ForcedStatus(fault, {"saveAdvise"}, s->user, {});
  if (status.empty()) {
    status = "OK";
    feedback_.push_back(PercentDecode(f["appAdvise"]));
    LogDetail("saveAdvise: feedback \"" + feedback_.back() + "\"");
  }
  return Json200(SealSharedKeyReply(s->keyValue, Compact(StatusDocument(status))));
}

HttpResponse Service::Enveloped(const Operation& op, std::string_view data, const Fault& fault) {
  Session* s = FindSession(data, "biz:");
  if (!s) return BareRefusal("no session's keyValue opens the DES layer");
  std::string text, error;
  if (!OpenSharedKeyRequest(data, s->keyValue, text, error)) return SharedKeyRefusal(*s, error);
  Envelope envelope;
  if (!OpenEnvelope(text, *key_, envelope, error)) return SharedKeyRefusal(*s, error);
  if (envelope.tm != s->tm) return SharedKeyRefusal(*s, "tm " + envelope.tm + " is not the handshake's " + s->tm);
  LogDetail(std::string(op.name) + ": " + envelope.fields);
  Fields f;
  if (!ParseFields(envelope.fields, op.layout(envelope.fields), f, error)) return SharedKeyRefusal(*s, error);
  if (std::string why = CommonFault(op, *s, f); !why.empty()) return SharedKeyRefusal(*s, why);

  std::vector<std::string> keys = {std::string(op.name)};
  if (op.name == "initPassword") keys.insert(keys.begin(), "initPassword" + f["step"]);
  std::string user = op.signedIn ? s->user : f["uid"];
  if (std::string forced = ForcedStatus(fault, keys, user, f["sid"]); !forced.empty()) {
    LogDetail(std::string(op.name) + ": answered " + forced);
    return Json200(SealSharedKeyReply(s->keyValue, Compact(StatusDocument(forced))));
  }

  OpContext ctx{world_, *s, f, {}};
  OpReply reply = op.run(ctx);
  if (!ctx.refused.empty()) return SharedKeyRefusal(*s, ctx.refused);
  if (reply.status != "OK") LogDetail(std::string(op.name) + ": answered " + reply.status);
  Json::Value doc = StatusDocument(reply.status);
  DumpInnerReply(op.name, reply.inner);
  if (!reply.inner.isNull()) {
    std::string aes = NewAesKey(), sk, biz;
    if (!SealKeyFor(f["exp"], f["mod"], aes, sk) || !AesSeal(aes, Compact(reply.inner), biz))
      return SharedKeyRefusal(*s, "cannot seal the reply for this client key");
    doc["sk"] = sk;
    doc["biz"] = biz;
  }
  return Json200(SealSharedKeyReply(s->keyValue, Compact(doc)));
}

HttpResponse Service::Thumbnail(std::string_view path) const {
  bool known = std::any_of(world_.devices.begin(), world_.devices.end(), [&](const Device& d) { return d.img == path; });
  for (int k = 1; k <= world_.thumbnails && !known; ++k) known = path == "/img/thumb" + std::to_string(k) + ".png";
  if (!known || !path.ends_with(".png")) return NotFoundPage(path);
  HttpResponse r;
  r.contentType = "image/png";
  r.body = MakeThumbnail(path);
  return r;
}

}  // namespace lumivex::sim
