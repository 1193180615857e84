#include "webservice/handshake.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "config/user_settings.h"
#include "core/deployment.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/notifier.h"
#include "core/text.h"
#include "webservice/envelope.h"
#include "webservice/request.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

constexpr std::size_t kHandshakeReplyBytes = 262144;
constexpr std::size_t kHandshakeInnerBytes = 1024;

bool PrepareClientKey(ServiceContext& ctx) {
  Global& g = ctx.g;
  if (!ctx.keyPair || !ctx.keyPair->Check()) {
    ctx.keyPair = ClientKeyPair::Generate();
    if (!ctx.keyPair) {
      LogLine("SecurityHandshake: no RSA key pair");
      return false;
    }
  }
  g.m_ClientExp = ctx.keyPair->ExponentHex();
  g.m_ClientMod = ctx.keyPair->ModulusHex();
  if (g.m_ClientExp.empty() || g.m_ClientMod.empty()) return false;
  g.m_ClientPubKey = g.m_ClientExp.str() + ":" + g.m_ClientMod.str();

  // Both sides derive this key from the secret and the version set.
  g.m_HandshakeKey = TokenOf(g.m_AppSecret.str(), g.m_AppIdent.str()).substr(0, 16);
  std::string sealed;
  if (!AesEcbEncryptPkcs7(g.m_HandshakeKey.str(), g.m_ClientPubKey.str(), sealed)) return false;
  g.m_EncClientKey = Base64Encode(sealed);
  return true;
}

// The service's key text, or empty when it cannot be opened (later
// envelopes then fail, which sign-in reports).
std::string OpenServerKey(std::string_view pubKey, std::string_view aesKey) {
  std::string cipher, plain;
  if (!Base64Decode(pubKey, cipher, 4096) || !AesEcbDecryptRaw(aesKey, cipher, plain) ||
      plain.empty())
    return "";
  std::size_t pad = static_cast<unsigned char>(plain.back());
  if (pad == 0 || pad > 16 || pad > plain.size()) return "";
  plain.resize(plain.size() - pad);
  plain = plain.substr(0, plain.find('\0'));
  // A cut key would be another key: refused rather than cut to the field.
  if (plain.size() > decltype(Global::m_ServerPubKey)::kMaxLength) return "";
  return plain;
}

// The first two non-empty parts between colons.
bool SplitServerKey(std::string_view text, std::string& exp, std::string& mod) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (parts.size() < 2 && start < text.size()) {
    std::size_t colon = std::min(text.find(':', start), text.size());
    if (colon > start) parts.push_back(text.substr(start, colon - start));
    start = colon + 1;
  }
  parts.resize(2);
  exp = std::string(parts[0]);
  mod = std::string(parts[1]);
  return !mod.empty();
}

int TakeKeys(ServiceContext& ctx, const ServiceReply& reply) {
  Global& g = ctx.g;
  Json::Value inner;
  std::string aesKey;
  if (OpenInnerReply(ctx, reply, kHandshakeInnerBytes, inner, &aesKey) != InnerResult::kOpened)
    return 0;
  const Json::Value* bean = nullptr;
  std::string keyValue, pubKey;
  if (!ReadObject(inner, "serverBean", bean) || !bean || !ReadText(*bean, "keyValue", keyValue) ||
      !ReadText(*bean, "pubKey", pubKey)) {
    LogLine("SecurityHandshake: serverBean is missing or malformed");
    return 0;
  }
  g.m_KeyValue = keyValue;  // a longer keyValue is cut to the four characters of the field
  g.m_DevKeyValue = keyValue;

  g.m_ServerPubKey = OpenServerKey(pubKey, aesKey);
  if (g.m_ServerPubKey.empty()) {
    LogLine("SecurityHandshake: the service key does not decrypt");
    g.m_ServerExp.clear();
    g.m_ServerMod.clear();
    return 1;
  }
  std::string exp, mod;
  bool complete = SplitServerKey(g.m_ServerPubKey.str(), exp, mod);
  g.m_ServerExp = exp;
  g.m_ServerMod = mod;
  if (!complete) {
    // Without a modulus no request could be sealed; better to say so now.
    LogLine("SecurityHandshake: the service key has no exponent:modulus form");
    return 0;
  }
  return 1;
}

int ForcedUpdate(ServiceContext& ctx) {
  if (!ctx.selfUpdate) {
    // This version is refused; the package manager brings the next one.
    ctx.notifier.MessageBoxAndWait("提示", kForcedPackageUpdateMessage);
    ctx.exitProcess(0);
    return 0;
  }
  ctx.notifier.MessageBoxAndWait("提示", kForcedUpdateMessage);
  if (!ctx.startUpdater(ctx.settings.updateUrl.str())) return 0;
  ctx.exitProcess(0);
  return 0;  // only when exitProcess was replaced by one that returns
}

}  // namespace

int SecurityHandshake(ServiceContext& ctx, std::string* cause) {
  Global& g = ctx.g;
  if (!PrepareClientKey(ctx)) return 0;
  g.m_TimeStamp = DecimalText(static_cast<long long>(std::time(nullptr)));
  g.m_HandshakeToken = TokenOf(g.m_AppSecret.str(), g.m_ClientVersion.str() + g.m_TimeStamp.str() +
                                                        g.m_ProtocolVersion.str() +
                                                        g.m_ClientType.str());
  ServiceRequest request;
  request.operation = "security";
  request.urlPrefix = OperationUrlPrefix(g, "security");
  request.fields.Add("cl", g.m_ClientType.str())
      .Add("cv", g.m_ClientVersion.str())
      .Add("pv", g.m_ProtocolVersion.str())
      .Add("pk", g.m_EncClientKey.str())
      .Add("tm", g.m_TimeStamp.str())
      .Add("token", g.m_HandshakeToken.str());
  request.wrap = Wrap::kOwnKey;
  request.replyCapacity = kHandshakeReplyBytes;

  ServiceReply reply = SendRequest(ctx, request);
  if (!reply.received()) {
    if (cause) *cause = NetworkCauseText(reply.cause);
    return 0;
  }
  if (reply.StatusIs("OK")) return TakeKeys(ctx, reply);
  if (reply.StatusIs("UPATE")) return ForcedUpdate(ctx);
  LogLine("SecurityHandshake: refused with status " + reply.status);
  return 0;
}

}  // namespace lumivex
