#include "webservice/envelope.h"

#include <algorithm>

#include "core/text.h"

namespace lumivex {
namespace {

constexpr std::size_t kKeyValueChars = 4;
constexpr std::size_t kStoredFormMinLength = 38;
constexpr std::size_t kStoredFormClearChars = 6;

// Pads text with 1 to 8 spaces and seals it with DES under keyHalf followed
// by clearChars fresh characters, which lead the output in clear.
bool DesWrap(std::string_view keyHalf, std::size_t clearChars, std::string& text,
             std::string& out) {
  std::string padded = text;
  padded.append(8 - text.size() % 8, ' ');
  if (padded.size() > kMaxWrapBytes) return false;
  std::string clear = RandomChars(kDesKeyAlphabet, clearChars);
  if (clear.size() != clearChars) return false;
  std::string key(keyHalf);
  key += clear;
  std::string cipher;
  if (!DesEcbEncrypt(key, padded, cipher)) return false;
  text = std::move(padded);
  out = clear + HexLower(cipher);
  return true;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One byte per pair of characters: the value of the pair's leading hex
// digits (0 when there are none); an odd last character stands alone.
std::string ReadHexPairs(std::string_view hex, std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) {
    int high = HexDigitValue(hex[2 * i]);
    if (high < 0) continue;
    int low = 2 * i + 1 < hex.size() ? HexDigitValue(hex[2 * i + 1]) : -1;
    bytes[i] = static_cast<char>(low < 0 ? high : high * 16 + low);
  }
  return bytes;
}

void DecodeDesReply(std::string_view key, std::string_view hex, std::size_t maxBytes,
                    std::string& out, std::size_t outCapacity) {
  out.clear();
  std::size_t count = std::min((hex.size() + 1) / 2, maxBytes);
  std::size_t padded = (count + 7) / 8 * 8;  // a short last block is completed with zeros
  if (outCapacity == 0 || padded > outCapacity - 1) return;
  std::string cipher = ReadHexPairs(hex, count);
  cipher.resize(padded, '\0');
  std::string plain;
  if (!DesEcbDecrypt(key, cipher, plain)) return;
  out = plain.substr(0, plain.find('\0'));
}

}  // namespace

bool BuildEnvelope(const Global& g, std::string_view fields, std::string_view urlPrefix,
                   std::string& urlOut) {
  if (fields.size() > kMaxFieldString) return false;
  std::string aesKey = RandomChars(kAesKeyAlphabet, 16);
  std::string bizCipher, skCipher;
  if (aesKey.size() != 16 || !AesEcbEncryptPkcs7(aesKey, fields, bizCipher) ||
      !RsaEncryptPublicHex(g.m_ServerExp.str(), g.m_ServerMod.str(), aesKey, skCipher))
    return false;
  std::string sk = Base64Encode(skCipher);
  if (sk.empty() || sk.size() > kMaxSkChars) return false;
  // No escaping: Base64 and the fixed fields never hold "&" or ":".
  std::string text = "biz:" + Base64Encode(bizCipher) + "&cl:" + g.m_ClientType.str() +
                     "&cv:" + g.m_ClientVersion.str() + "&pv:" + g.m_ProtocolVersion.str() +
                     "&sk:" + sk + "&tm:" + g.m_TimeStamp.str();
  std::string wrapped;
  if (!SharedKeyWrap(g.m_KeyValue.str(), text, wrapped)) return false;
  urlOut.assign(urlPrefix);
  urlOut += wrapped;
  return true;
}

bool SharedKeyWrap(std::string_view keyValue, std::string& text, std::string& out) {
  if (keyValue.size() != kKeyValueChars) return false;
  return DesWrap(keyValue, 8 - kKeyValueChars, text, out);
}

bool OwnKeyWrap(std::string& text, std::string& out) { return DesWrap({}, 8, text, out); }

void DecodeOwnKeyReply(std::string_view body, std::string& out, std::size_t outCapacity) {
  out.clear();
  if (body.size() < 8) return;
  DecodeDesReply(body.substr(0, 8), body.substr(8), kMaxOwnKeyReplyBytes, out, outCapacity);
}

void DecodeSharedKeyReply(std::string_view keyValue, std::string_view body, std::string& out,
                          std::size_t outCapacity) {
  out.clear();
  if (keyValue.size() != kKeyValueChars || body.size() < 8 - kKeyValueChars) return;
  std::string key(keyValue);
  key += body.substr(0, 8 - kKeyValueChars);
  DecodeDesReply(key, body.substr(8 - kKeyValueChars), kMaxSharedKeyReplyBytes, out, outCapacity);
}

bool DecodeInnerReply(const ClientKeyPair& keys, std::string_view sk, std::string_view biz,
                      std::string& keyOut, std::string& innerOut, std::size_t innerCapacity) {
  std::string sealedKey, key, cipher, plain;
  if (!Base64Decode(sk, sealedKey, kMaxReplySkBytes) || !keys.Decrypt(sealedKey, key) ||
      key.size() != 16 || !Base64Decode(biz, cipher, kMaxReplyBizBytes) ||
      !AesEcbDecryptRaw(key, cipher, plain) || plain.empty())
    return false;
  // Only the last byte counts as the pad, as the service expects; a count it
  // could not have written is refused rather than trusted.
  std::size_t pad = static_cast<unsigned char>(plain.back());
  if (pad == 0 || pad > 16 || pad > plain.size()) return false;
  plain.resize(plain.size() - pad);
  if (innerCapacity == 0 || plain.size() > innerCapacity - 1) return false;
  keyOut = std::move(key);
  innerOut = plain.substr(0, plain.find('\0'));
  return true;
}

std::string TokenOf(std::string_view secret, std::string_view text) {
  return HexLower(HmacSha1(secret, text.substr(0, text.find('\0'))));
}

std::string PasswordHash(std::string_view password) { return HexLower(Md5(password)); }

bool StoredPasswordForm(std::string_view password, std::string& out) {
  if (password.size() < kStoredFormClearChars) return false;
  std::string digits = HexLower(HmacMd5(kStoredFormKey, password.substr(0, kStoredFormClearChars)));
  if (digits.size() != 32) return false;
  std::string form;
  for (std::size_t i = 0; i < kStoredFormClearChars; ++i) {
    form += digits.substr(2 * i, 2);
    form += password[i];
  }
  form += digits.substr(2 * kStoredFormClearChars);
  form += password.substr(kStoredFormClearChars);
  out = std::move(form);
  return true;
}

bool RevealStoredPassword(std::string_view stored, std::string& out) {
  if (stored.size() < kStoredFormMinLength) return false;
  std::string password;
  for (std::size_t i = 0; i < kStoredFormClearChars; ++i) password += stored[3 * i + 2];
  password += stored.substr(kStoredFormMinLength);
  // Anything but the exact form (a changed digit or character) is refused.
  if (!MatchesStoredPassword(password, stored)) return false;
  out = std::move(password);
  return true;
}

bool MatchesStoredPassword(std::string_view typed, std::string_view stored) {
  std::string form;
  return StoredPasswordForm(typed, form) && form == stored;
}

bool PercentEncode(std::string_view utf8, std::string& out, std::size_t maxBytes) {
  if (utf8.size() > maxBytes || Utf16Length(utf8) < 0) return false;
  static const char kDigits[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(utf8.size() * 3);
  for (char c : utf8) {
    auto b = static_cast<unsigned char>(c);
    encoded += '%';
    encoded += kDigits[b >> 4];
    encoded += kDigits[b & 15];
  }
  out = std::move(encoded);
  return true;
}

}  // namespace lumivex
