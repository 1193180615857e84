#include "sim/envelope_side.h"

#include <algorithm>
#include <array>

#include "core/text.h"
#include "sim/field_check.h"
#include "sim/traffic_dump.h"
#include "webservice/crypto.h"

namespace lumivex::sim {
namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";
constexpr std::string_view kAesKeyAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kMaxRequestText = 65536;

bool IsLowerHexText(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return kHexDigits.find(c) != std::string_view::npos; });
}

bool HexToBytes(std::string_view hex, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(kHexDigits.find(hex[i]) * 16 + kHexDigits.find(hex[i + 1])));
  return true;
}

// clear key characters + lowercase hex of whole DES blocks
bool OpenDes(std::string_view data, std::size_t clearChars, std::string_view keyHalf, std::string& text,
             std::string& error) {
  if (data.size() < clearChars + 16) {
    error = "DES layer too short";
    return false;
  }
  std::string_view clear = data.substr(0, clearChars);
  std::string_view hex = data.substr(clearChars);
  if (!IsLowerHexText(clear)) {
    error = "DES key characters are not lowercase hex digits";
    return false;
  }
  if (!IsLowerHexText(hex) || hex.size() % 16 != 0 || hex.size() / 2 > kMaxRequestText) {
    error = "DES ciphertext is not whole blocks of lowercase hex";
    return false;
  }
  std::string cipher, plain;
  HexToBytes(hex, cipher);
  std::string key = std::string(keyHalf) + std::string(clear);
  if (!DesEcbDecrypt(key, cipher, plain)) {
    error = "DES decryption failed";
    return false;
  }
  std::size_t spaces = 0;
  while (spaces < plain.size() && plain[plain.size() - 1 - spaces] == ' ') ++spaces;
  if (spaces < 1 || spaces > 8) {
    error = "DES padding is " + std::to_string(spaces) + " spaces, expected 1 to 8";
    return false;
  }
  plain.resize(plain.size() - spaces);
  text = std::move(plain);
  return true;
}

std::string SealDes(std::string_view key, std::string_view clear, std::string_view text) {
  std::string padded(text);
  padded.append(8 - padded.size() % 8, ' ');
  std::string cipher;
  if (!DesEcbEncrypt(key, padded, cipher)) return {};
  return std::string(clear) + HexLower(cipher);
}

constexpr FieldRule kEnvelope[] = {
    {"biz", Kind::kBase64},         {"cl", Kind::kLiteral, "pc"},   {"cv", Kind::kLiteral, "2.0"},
    {"pv", Kind::kLiteral, "2.0"}, {"sk", Kind::kBase64},          {"tm", Kind::kTime},
};

}  // namespace

bool OpenOwnKeyRequest(std::string_view data, std::string& text, std::string& error) {
  return OpenDes(data, 8, {}, text, error);
}

bool OpenSharedKeyRequest(std::string_view data, std::string_view keyValue, std::string& text,
                          std::string& error) {
  return OpenDes(data, 4, keyValue, text, error);
}

bool SharedKeyOpensTo(std::string_view data, std::string_view keyValue, std::string_view prefix) {
  if (data.size() < 4 + 16 || prefix.size() > 8) return false;
  std::string_view clear = data.substr(0, 4), hex = data.substr(4, 16);
  if (!IsLowerHexText(clear) || !IsLowerHexText(hex)) return false;
  std::string cipher, plain;
  HexToBytes(hex, cipher);
  if (!DesEcbDecrypt(std::string(keyValue) + std::string(clear), cipher, plain)) return false;
  return std::string_view(plain).starts_with(prefix);
}

std::string SealOwnKeyReply(std::string_view text) {
  std::string key = RandomChars(kHexDigits, 8);
  std::string body = SealDes(key, key, text);
  DumpWebReply("", body);
  return body;
}

std::string SealSharedKeyReply(std::string_view keyValue, std::string_view text) {
  std::string clear = RandomChars(kHexDigits, 4);
  std::string body = SealDes(std::string(keyValue) + clear, clear, text);
  DumpWebReply(keyValue, body);
  return body;
}

bool OpenEnvelope(std::string_view text, const ClientKeyPair& serviceKey, Envelope& out, std::string& error) {
  Fields f;
  std::string why;
  if (!ParseFields(text, kEnvelope, f, why)) {
    error = "envelope: " + why;
    return false;
  }
  std::string sealedKey, key;
  if (!Base64Decode(f["sk"], sealedKey, 1024) || !serviceKey.Decrypt(sealedKey, key)) {
    error = "envelope: sk does not open with the service key";
    return false;
  }
  if (key.size() != 16 ||
      !std::all_of(key.begin(), key.end(), [](char c) { return kAesKeyAlphabet.find(c) != std::string_view::npos; })) {
    error = "envelope: the AES key is not 16 letters and digits";
    return false;
  }
  std::string fields;
  if (!AesOpen(key, f["biz"], fields, why)) {
    error = "envelope: biz " + why;
    return false;
  }
  out.tm = f["tm"];
  out.fields = std::move(fields);
  return true;
}

std::string NewAesKey() { return RandomChars(kAesKeyAlphabet, 16); }

bool AesSeal(std::string_view key16, std::string_view plain, std::string& base64) {
  std::string cipher;
  if (!AesEcbEncryptPkcs7(key16, plain, cipher)) return false;
  base64 = Base64Encode(cipher);
  return true;
}

bool AesOpen(std::string_view key16, std::string_view base64, std::string& plain, std::string& error) {
  std::string cipher, raw;
  if (!Base64Decode(base64, cipher, kMaxRequestText) || base64.find_first_of("\r\n") != std::string_view::npos) {
    error = "is not valid Base64";
    return false;
  }
  if (cipher.empty() || cipher.size() % 16 != 0 || !AesEcbDecryptRaw(key16, cipher, raw)) {
    error = "is not whole AES blocks";
    return false;
  }
  unsigned pad = static_cast<unsigned char>(raw.back());
  if (pad < 1 || pad > 16 ||
      !std::all_of(raw.end() - pad, raw.end(), [pad](char c) { return static_cast<unsigned char>(c) == pad; })) {
    error = "has no valid PKCS#7 padding";
    return false;
  }
  raw.resize(raw.size() - pad);
  plain = std::move(raw);
  return true;
}

bool SealKeyFor(std::string_view expHex, std::string_view modHex, std::string_view key16, std::string& sk) {
  std::string cipher;
  if (!RsaEncryptPublicHex(expHex, modHex, key16, cipher)) return false;
  sk = Base64Encode(cipher);
  return true;
}

}  // namespace lumivex::sim
