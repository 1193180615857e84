#include "sim/test_client.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "webservice/crypto.h"

namespace lumivex::sim::test {
namespace {

std::string Hex(const unsigned char* bytes, unsigned size) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < size; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

// Empty for anything but pairs of hex digits.
std::string FromHex(const std::string& hex) {
  auto nibble = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) return {};
    out.push_back(static_cast<char>(hi * 16 + lo));
  }
  return out;
}

bool ParseJson(const std::string& text, Json::Value& out) {
  Json::CharReaderBuilder b;
  std::unique_ptr<Json::CharReader> r(b.newCharReader());
  return r->parse(text.data(), text.data() + text.size(), &out, nullptr);
}

std::string Padded(const std::string& text, int spaces) {
  if (spaces < 0) spaces = 8 - static_cast<int>(text.size() % 8);
  return text + std::string(static_cast<std::size_t>(spaces), ' ');
}

std::string DesHex(const std::string& key, const std::string& padded) {
  std::string cipher;
  if (!DesEcbEncrypt(key, padded, cipher)) return "bad-padding";
  return Hex(reinterpret_cast<const unsigned char*>(cipher.data()), static_cast<unsigned>(cipher.size()));
}

}  // namespace

std::string OpenSslTokenOf(const std::string& text) {
  const std::string secret = "Rk3wPz8eVb2q@mYd@";
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned len = 0;
  HMAC(EVP_sha1(), secret.data(), static_cast<int>(secret.size()), reinterpret_cast<const unsigned char*>(text.data()),
       text.size(), mac, &len);
  return Hex(mac, len);
}

std::string OpenSslMd5Hex(const std::string& text) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned len = 0;
  EVP_Digest(text.data(), text.size(), md, &len, EVP_md5(), nullptr);
  return Hex(md, len);
}

std::string PercentEncodeAll(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += '%';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

TestClient::TestClient(Service& service) : service_(service), key_(ClientKeyPair::Generate()) {}

std::string TestClient::OwnWrap(const std::string& text) const {
  const std::string key = "0a1b2c3d";
  return key + DesHex(key, Padded(text, -1));
}

std::string TestClient::SharedWrap(const std::string& text, int spaces) const {
  const std::string clear = "9e8f";
  return clear + DesHex(keyValue + clear, Padded(text, spaces));
}

std::string TestClient::EnvelopeText(const std::string& fields, const std::string& withTm) const {
  const std::string aesKey = "Zq4bN7xW2mLp9sTe";
  std::string bizCipher, skCipher;
  AesEcbEncryptPkcs7(aesKey, fields, bizCipher);
  std::size_t colon = serverPublicKey.find(':');
  RsaEncryptPublicHex(serverPublicKey.substr(0, colon), serverPublicKey.substr(colon + 1), aesKey, skCipher);
  return "biz:" + Base64Encode(bizCipher) + "&cl:pc&cv:2.0&pv:2.0&sk:" + Base64Encode(skCipher) + "&tm:" + withTm;
}

Reply TestClient::Send(const std::string& op, const std::string& data, bool ownKeyReply) {
  HttpResponse http = service_.Handle("/velmor/" + op + ".do?data=" + data);
  Reply reply;
  reply.http = http.status;
  reply.refused = http.refused;
  std::size_t clear = ownKeyReply ? 8 : 4;
  if (http.body.size() < clear) return reply;
  std::string key = ownKeyReply ? http.body.substr(0, 8) : keyValue + http.body.substr(0, 4);
  std::string plain;
  if (!DesEcbDecrypt(key, FromHex(http.body.substr(clear)), plain)) return reply;
  if (!ParseJson(plain, reply.outer)) return reply;
  if (!reply.outer.isMember("sk")) return reply;
  std::string sealedKey, aesKey, bizCipher, inner;
  if (Base64Decode(reply.outer["sk"].asString(), sealedKey, 1024) && key_->Decrypt(sealedKey, aesKey) &&
      Base64Decode(reply.outer["biz"].asString(), bizCipher, 1 << 20) && AesEcbDecryptRaw(aesKey, bizCipher, inner) &&
      !inner.empty()) {
    inner.resize(inner.size() - static_cast<unsigned char>(inner.back()));
    ParseJson(inner, reply.inner);
    if (reply.inner.isMember("serverBean") && reply.inner["serverBean"].isMember("pubKey")) {
      std::string pubCipher, pub;
      Base64Decode(reply.inner["serverBean"]["pubKey"].asString(), pubCipher, 4096);
      AesEcbDecryptRaw(aesKey, pubCipher, pub);
      if (!pub.empty()) pub.resize(pub.size() - static_cast<unsigned char>(pub.back()));
      reply.inner["serverBean"]["pubKeyText"] = pub;
    }
  }
  return reply;
}

bool TestClient::Handshake(const std::string& withTm) {
  tm = withTm;
  const std::string handshakeKey = OpenSslTokenOf("pcvelmor2.02.0").substr(0, 16);
  std::string pkCipher;
  AesEcbEncryptPkcs7(handshakeKey, exp() + ":" + mod(), pkCipher);
  std::string fields = "cl:pc&cv:2.0&pv:2.0&pk:" + Base64Encode(pkCipher) + "&tm:" + tm +
                       "&token:" + OpenSslTokenOf("2.0" + tm + "2.0pc");
  Reply reply = Send("security", OwnWrap(fields), true);
  if (reply.status() != "OK") return false;
  keyValue = reply.inner["serverBean"]["keyValue"].asString();
  serverPublicKey = reply.inner["serverBean"]["pubKeyText"].asString();
  return keyValue.size() == 4 && serverPublicKey.find(':') != std::string::npos;
}

Reply TestClient::Call(const std::string& op, const std::string& fields) {
  return Send(op, SharedWrap(EnvelopeText(fields, tm)));
}

bool TestClient::Login(const std::string& user, const std::string& password, Reply* out) {
  Reply reply = Call("login", "uid:" + user + "&psd:" + OpenSslMd5Hex(password) + "&exp:" + exp() + "&mod:" + mod() +
                                  "&isnew:1&mac:" + mac);
  if (out) *out = reply;
  if (reply.status() != "OK") return false;
  token = reply.inner["userBean"]["token"].asString();
  return !token.empty();
}

}  // namespace lumivex::sim::test
