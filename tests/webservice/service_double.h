#pragma once
// The service's side of the wire for operation tests, written with OpenSSL
// alone (the client's wrappers use mbed TLS for DES and Base64): it opens the
// requests the client sends and seals the replies it reads. Header-only so
// that the playback tests can use it too.

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/des.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace lumivex::test {

namespace raw {

inline const unsigned char* U(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}
inline unsigned char* U(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

inline std::string Hex(const std::string& bytes) {
  std::string out;
  char pair[3];
  for (unsigned char c : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", c);
    out += pair;
  }
  return out;
}

inline bool Unhex(const std::string& hex, std::string& out) {
  if (hex.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(hex.c_str() + i, "%2x", &value) != 1) return false;
    out += static_cast<char>(value);
  }
  return true;
}

inline std::string Base64(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(U(out), U(bytes), static_cast<int>(bytes.size()));
  out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return out;
}

inline bool Unbase64(const std::string& text, std::string& out) {
  if (text.empty() || text.size() % 4 != 0) return false;
  out.assign(text.size(), '\0');
  int n = EVP_DecodeBlock(U(out), U(text), static_cast<int>(text.size()));
  if (n < 0) return false;
  std::size_t pad = text.back() == '=' ? (text[text.size() - 2] == '=' ? 2 : 1) : 0;
  out.resize(static_cast<std::size_t>(n) - pad);
  return true;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
inline std::string Des(bool encrypt, const std::string& key8, const std::string& data) {
  DES_cblock key;
  std::copy(key8.begin(), key8.begin() + 8, key);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&key, &schedule);
  std::string out(data.size(), '\0');
  for (std::size_t i = 0; i + 8 <= data.size(); i += 8)
    DES_ecb_encrypt(reinterpret_cast<const_DES_cblock*>(const_cast<char*>(data.data()) + i),
                    reinterpret_cast<DES_cblock*>(out.data() + i), &schedule,
                    encrypt ? DES_ENCRYPT : DES_DECRYPT);
  return out;
}

inline std::string RsaPublicEncrypt(const std::string& expHex, const std::string& modHex,
                                    const std::string& plain) {
  BIGNUM *e = nullptr, *n = nullptr;
  BN_hex2bn(&e, expHex.c_str());
  BN_hex2bn(&n, modHex.c_str());
  RSA* rsa = RSA_new();
  RSA_set0_key(rsa, n, e, nullptr);
  std::string out(RSA_size(rsa), '\0');
  int len =
      RSA_public_encrypt(static_cast<int>(plain.size()), U(plain), U(out), rsa, RSA_PKCS1_PADDING);
  RSA_free(rsa);
  out.resize(len > 0 ? static_cast<std::size_t>(len) : 0);
  return out;
}
#pragma GCC diagnostic pop

// AES-128-ECB; pkcs7 adds or removes the padding.
inline bool Aes(bool encrypt, const std::string& key16, const std::string& data, std::string& out) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, EVP_aes_128_ecb(), nullptr, U(key16), nullptr, encrypt ? 1 : 0);
  out.assign(data.size() + 16, '\0');
  int a = 0, b = 0;
  bool ok = EVP_CipherUpdate(ctx, U(out), &a, U(data), static_cast<int>(data.size())) == 1 &&
            EVP_CipherFinal_ex(ctx, U(out) + a, &b) == 1;
  EVP_CIPHER_CTX_free(ctx);
  out.resize(ok ? static_cast<std::size_t>(a + b) : 0);
  return ok;
}

inline std::string HmacSha1Hex(const std::string& key, const std::string& data) {
  unsigned char digest[20];
  unsigned int n = 0;
  HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), U(data), data.size(), digest, &n);
  return Hex(std::string(reinterpret_cast<char*>(digest), n));
}

inline std::string Md5Hex(const std::string& data) {
  unsigned char digest[16];
  unsigned int n = 0;
  EVP_Digest(data.data(), data.size(), digest, &n, EVP_md5(), nullptr);
  return Hex(std::string(reinterpret_cast<char*>(digest), n));
}

}  // namespace raw

// "name:value&..." -> the value of name (the first colon splits), or none.
inline bool FieldOf(const std::string& fields, const std::string& name, std::string& value) {
  std::size_t start = 0;
  while (start <= fields.size()) {
    std::size_t end = fields.find('&', start);
    if (end == std::string::npos) end = fields.size();
    std::string pair = fields.substr(start, end - start);
    if (pair.compare(0, name.size() + 1, name + ":") == 0) {
      value = pair.substr(name.size() + 1);
      return true;
    }
    start = end + 1;
  }
  return false;
}

class ServiceDouble {
 public:
  struct Request {
    std::string operation;  // "login"
    std::string fields;     // the plain field string
    std::string envelope;   // the text around it (envelope requests only), padding removed
  };

  ServiceDouble() {
    key_ = EVP_RSA_gen(1024);
    expHex = BnHex(OSSL_PKEY_PARAM_RSA_E);
    modHex = BnHex(OSSL_PKEY_PARAM_RSA_N);
  }
  ~ServiceDouble() { EVP_PKEY_free(key_); }
  ServiceDouble(const ServiceDouble&) = delete;
  ServiceDouble& operator=(const ServiceDouble&) = delete;

  std::string expHex, modHex;
  std::string keyValue = "k3Y9";

  // "/velmor/<op>.do?data=<data>" -> op and data.
  static bool SplitTarget(const std::string& target, std::string& op, std::string& data) {
    const std::string head = "/velmor/", tail = ".do?data=";
    std::size_t end = target.find(tail);
    if (target.compare(0, head.size(), head) != 0 || end == std::string::npos) return false;
    op = target.substr(head.size(), end - head.size());
    data = target.substr(end + tail.size());
    return true;
  }

  // The DES layer: the clear key part, then hex; trailing space padding removed.
  bool OpenDes(const std::string& data, bool ownKey, std::string& text) const {
    std::size_t clear = ownKey ? 8 : 4;
    std::string cipher;
    if (data.size() < clear || !raw::Unhex(data.substr(clear), cipher) || cipher.empty() ||
        cipher.size() % 8 != 0)
      return false;
    std::string key = (ownKey ? "" : keyValue) + data.substr(0, clear);
    text = raw::Des(false, key, cipher);
    std::size_t spaces = text.size() - text.find_last_not_of(' ') - 1;
    if (spaces < 1 || spaces > 8) return false;
    text.resize(text.size() - spaces);
    return true;
  }

  // A request of any form: own-key for security and checkVersion, shared
  // key alone for saveAdvise, the envelope otherwise.
  bool Open(const std::string& target, Request& out) const {
    std::string data, text;
    if (!SplitTarget(target, out.operation, data)) return false;
    bool ownKey = out.operation == "security" || out.operation == "checkVersion";
    if (!OpenDes(data, ownKey, text)) return false;
    if (ownKey || out.operation == "saveAdvise") {
      out.fields = text;
      return true;
    }
    out.envelope = text;
    std::string biz, sk, sealedKey, aesKey, cipher;
    if (!FieldOf(text, "biz", biz) || !FieldOf(text, "sk", sk) || !raw::Unbase64(sk, sealedKey) ||
        !Decrypt(sealedKey, aesKey) || aesKey.size() != 16 || !raw::Unbase64(biz, cipher))
      return false;
    return raw::Aes(false, aesKey, cipher, out.fields);
  }

  std::string SealShared(const std::string& json, const std::string& clear = "3f9a") const {
    return clear + raw::Hex(raw::Des(true, keyValue + clear, Padded(json)));
  }
  static std::string SealOwn(const std::string& json, const std::string& clear = "0123abcd") {
    return clear + raw::Hex(raw::Des(true, clear, Padded(json)));
  }

  // `,"sk":"...","biz":"..."` of an inner document under the client's key.
  static std::string InnerMembers(const std::string& inner, const std::string& clientExp,
                                  const std::string& clientMod,
                                  const std::string& aesKey = "Q1w2E3r4T5y6U7i8") {
    std::string biz;
    raw::Aes(true, aesKey, inner, biz);
    return ",\"sk\":\"" + raw::Base64(raw::RsaPublicEncrypt(clientExp, clientMod, aesKey)) +
           "\",\"biz\":\"" + raw::Base64(biz) + "\"";
  }

 private:
  static std::string Padded(std::string text) {
    text.append(8 - text.size() % 8, ' ');
    return text;
  }

  bool Decrypt(const std::string& cipher, std::string& out) const {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key_, nullptr);
    out.assign(512, '\0');
    std::size_t n = out.size();
    bool ok = EVP_PKEY_decrypt_init(ctx) == 1 &&
              EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
              EVP_PKEY_decrypt(ctx, raw::U(out), &n, raw::U(cipher), cipher.size()) == 1;
    EVP_PKEY_CTX_free(ctx);
    out.resize(ok ? n : 0);
    return ok;
  }

  std::string BnHex(const char* name) const {
    BIGNUM* bn = nullptr;
    EVP_PKEY_get_bn_param(key_, name, &bn);
    char* hex = BN_bn2hex(bn);
    std::string out(hex);
    OPENSSL_free(hex);
    BN_free(bn);
    return out;
  }

  EVP_PKEY* key_ = nullptr;
};

}  // namespace lumivex::test
