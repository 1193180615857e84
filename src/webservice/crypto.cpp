#include "webservice/crypto.h"

#include <mbedtls/base64.h>
#include <mbedtls/des.h>
#include <mbedtls/md.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

namespace lumivex {
namespace {

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* p) const {
    Free(p);
  }
};
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, Deleter<EVP_CIPHER_CTX_free>>;
using ParamBldPtr = std::unique_ptr<OSSL_PARAM_BLD, Deleter<OSSL_PARAM_BLD_free>>;
using ParamPtr = std::unique_ptr<OSSL_PARAM, Deleter<OSSL_PARAM_free>>;

// OpenSSL counts lengths in int; nothing here comes near this.
constexpr std::size_t kMaxCipherInput = std::size_t{1} << 30;
// OpenSSL refuses RSA moduli above 16,384 bits anyway.
constexpr std::size_t kMaxKeyHexDigits = 4096;

// Never hands a null pointer to a C library, even for an empty view.
const unsigned char* Bytes(std::string_view s) {
  static const unsigned char kEmpty = 0;
  return s.empty() ? &kEmpty : reinterpret_cast<const unsigned char*>(s.data());
}
unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

// The OpenSSL error queue is per thread; leave it clean for the next user.
bool OpenSslFailed() {
  ERR_clear_error();
  return false;
}

bool IsBase64Symbol(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/' || c == '=';
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string Digest(mbedtls_md_type_t type, std::string_view data) {
  const mbedtls_md_info_t* info = mbedtls_md_info_from_type(type);
  if (info == nullptr) return {};
  std::string out(mbedtls_md_get_size(info), '\0');
  if (mbedtls_md(info, Bytes(data), data.size(), Bytes(out)) != 0) return {};
  return out;
}

std::string Hmac(mbedtls_md_type_t type, std::string_view key, std::string_view data) {
  const mbedtls_md_info_t* info = mbedtls_md_info_from_type(type);
  if (info == nullptr) return {};
  std::string out(mbedtls_md_get_size(info), '\0');
  if (mbedtls_md_hmac(info, Bytes(key), key.size(), Bytes(data), data.size(), Bytes(out)) != 0)
    return {};
  return out;
}

bool DesEcb(bool encrypt, std::string_view key8, std::string_view data, std::string& out) {
  if (key8.size() != MBEDTLS_DES_KEY_SIZE || data.size() % 8 != 0) return false;
  mbedtls_des_context ctx;
  mbedtls_des_init(&ctx);
  int rc = encrypt ? mbedtls_des_setkey_enc(&ctx, Bytes(key8))
                   : mbedtls_des_setkey_dec(&ctx, Bytes(key8));
  std::string result(data.size(), '\0');
  for (std::size_t i = 0; rc == 0 && i < data.size(); i += 8)
    rc = mbedtls_des_crypt_ecb(&ctx, Bytes(data) + i, Bytes(result) + i);
  mbedtls_des_free(&ctx);
  if (rc != 0) return false;
  out = std::move(result);
  return true;
}

bool AesEcb(bool encrypt, std::string_view key16, std::string_view in, std::string& out) {
  if (key16.size() != 16 || in.size() > kMaxCipherInput) return false;
  if (!encrypt && in.size() % 16 != 0) return false;
  CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_CipherInit_ex2(ctx.get(), EVP_aes_128_ecb(), Bytes(key16), nullptr,
                                 encrypt ? 1 : 0, nullptr) != 1)
    return OpenSslFailed();
  EVP_CIPHER_CTX_set_padding(ctx.get(), encrypt ? 1 : 0);
  std::string result(in.size() + 16, '\0');
  int head = 0, tail = 0;
  if (EVP_CipherUpdate(ctx.get(), Bytes(result), &head, Bytes(in), static_cast<int>(in.size())) !=
          1 ||
      EVP_CipherFinal_ex(ctx.get(), Bytes(result) + head, &tail) != 1)
    return OpenSslFailed();
  result.resize(static_cast<std::size_t>(head + tail));
  out = std::move(result);
  return true;
}

// Digits only: BN_hex2bn would also take a sign and stop early on junk.
BnPtr ParseHex(std::string_view hex) {
  if (hex.empty() || hex.size() > kMaxKeyHexDigits) return nullptr;
  for (char c : hex)
    if (!IsHexDigit(c)) return nullptr;
  std::string text(hex);
  BIGNUM* bn = nullptr;
  if (BN_hex2bn(&bn, text.c_str()) != static_cast<int>(text.size())) {
    BN_free(bn);
    return nullptr;
  }
  return BnPtr(bn);
}

PkeyPtr PublicKeyFromHex(std::string_view expHex, std::string_view modHex) {
  BnPtr e = ParseHex(expHex), n = ParseHex(modHex);
  if (!e || !n) return nullptr;
  ParamBldPtr build(OSSL_PARAM_BLD_new());
  if (!build || OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
      OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1)
    return nullptr;
  ParamPtr params(OSSL_PARAM_BLD_to_param(build.get()));
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  EVP_PKEY* key = nullptr;
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
      EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1)
    return nullptr;
  return PkeyPtr(key);
}

std::string BnParamHex(const EVP_PKEY* key, const char* name) {
  BIGNUM* raw = nullptr;
  if (EVP_PKEY_get_bn_param(key, name, &raw) != 1) {
    OpenSslFailed();
    return {};
  }
  BnPtr bn(raw);
  char* hex = BN_bn2hex(bn.get());
  if (hex == nullptr) return {};
  std::string out(hex);
  OPENSSL_free(hex);
  return out;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::size_t needed = 0;
  mbedtls_base64_encode(nullptr, 0, &needed, Bytes(bytes), bytes.size());
  std::string out(needed, '\0');  // needed counts the terminator
  std::size_t written = 0;
  if (mbedtls_base64_encode(Bytes(out), out.size(), &written, Bytes(bytes), bytes.size()) != 0)
    return {};
  out.resize(written);
  return out;
}

bool Base64Decode(std::string_view text, std::string& out, std::size_t maxBytes) {
  // mbed TLS also lets blanks through and drops an incomplete last group in
  // silence; both are refused here before it sees the text.
  std::size_t symbols = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\n') continue;
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      continue;
    }
    if (!IsBase64Symbol(c)) return false;
    ++symbols;
  }
  if (symbols % 4 != 0) return false;
  std::size_t needed = 0;
  int rc = mbedtls_base64_decode(nullptr, 0, &needed, Bytes(text), text.size());
  if (rc != 0 && rc != MBEDTLS_ERR_BASE64_BUFFER_TOO_SMALL) return false;
  if (needed > maxBytes) return false;
  std::string result(needed, '\0');
  std::size_t written = 0;
  if (needed > 0 &&
      mbedtls_base64_decode(Bytes(result), result.size(), &written, Bytes(text), text.size()) != 0)
    return false;
  result.resize(written);
  out = std::move(result);
  return true;
}

std::string Md5(std::string_view data) { return Digest(MBEDTLS_MD_MD5, data); }
std::string Sha1(std::string_view data) { return Digest(MBEDTLS_MD_SHA1, data); }
std::string HmacMd5(std::string_view key, std::string_view data) {
  return Hmac(MBEDTLS_MD_MD5, key, data);
}
std::string HmacSha1(std::string_view key, std::string_view data) {
  return Hmac(MBEDTLS_MD_SHA1, key, data);
}

bool DesEcbEncrypt(std::string_view key8, std::string_view data, std::string& out) {
  return DesEcb(true, key8, data, out);
}
bool DesEcbDecrypt(std::string_view key8, std::string_view data, std::string& out) {
  return DesEcb(false, key8, data, out);
}

bool AesEcbEncryptPkcs7(std::string_view key16, std::string_view plain, std::string& out) {
  return AesEcb(true, key16, plain, out);
}
bool AesEcbDecryptRaw(std::string_view key16, std::string_view cipher, std::string& out) {
  return AesEcb(false, key16, cipher, out);
}

bool RsaEncryptPublicHex(std::string_view expHex, std::string_view modHex, std::string_view plain,
                         std::string& out) {
  PkeyPtr key = PublicKeyFromHex(expHex, modHex);
  if (!key) return OpenSslFailed();
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  std::size_t size = 0;
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
      EVP_PKEY_encrypt(ctx.get(), nullptr, &size, Bytes(plain), plain.size()) != 1)
    return OpenSslFailed();
  std::string result(size, '\0');
  if (EVP_PKEY_encrypt(ctx.get(), Bytes(result), &size, Bytes(plain), plain.size()) != 1)
    return OpenSslFailed();
  result.resize(size);
  out = std::move(result);
  return true;
}

std::string RandomChars(std::string_view alphabet, std::size_t count) {
  if (alphabet.empty() || alphabet.size() > 256) return {};
  // Bytes at or above the last whole multiple of the alphabet size are
  // thrown away, so that no character is drawn more often than another.
  const unsigned limit = 256 - 256 % static_cast<unsigned>(alphabet.size());
  std::string out;
  out.reserve(count);
  unsigned char pool[64];
  while (out.size() < count) {
    if (RAND_bytes(pool, sizeof pool) != 1) {
      OpenSslFailed();
      return {};
    }
    for (unsigned char b : pool)
      if (b < limit && out.size() < count) out += alphabet[b % alphabet.size()];
  }
  return out;
}

std::unique_ptr<ClientKeyPair> ClientKeyPair::Generate() {
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  BnPtr exponent(BN_new());
  EVP_PKEY* key = nullptr;
  if (!ctx || !exponent || BN_set_word(exponent.get(), RSA_F4) != 1 ||
      EVP_PKEY_keygen_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), kBits) <= 0 ||
      EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), exponent.get()) <= 0 ||
      EVP_PKEY_generate(ctx.get(), &key) != 1) {
    OpenSslFailed();
    return nullptr;
  }
  return std::unique_ptr<ClientKeyPair>(new ClientKeyPair(key));
}

ClientKeyPair::~ClientKeyPair() { EVP_PKEY_free(key_); }

bool ClientKeyPair::Check() const {
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key_, nullptr));
  if (!ctx || EVP_PKEY_check(ctx.get()) != 1) return OpenSslFailed();
  return true;
}

std::string ClientKeyPair::ExponentHex() const { return BnParamHex(key_, OSSL_PKEY_PARAM_RSA_E); }
std::string ClientKeyPair::ModulusHex() const { return BnParamHex(key_, OSSL_PKEY_PARAM_RSA_N); }

bool ClientKeyPair::Decrypt(std::string_view cipher, std::string& out) const {
  if (cipher.empty()) return false;
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key_, nullptr));
  if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0)
    return OpenSslFailed();
#ifdef OSSL_ASYM_CIPHER_PARAM_IMPLICIT_REJECTION
  // Newer OpenSSL hands back random bytes for a bad block; a caller here
  // must learn that the key did not come through.
  unsigned int implicit = 0;
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_uint(OSSL_ASYM_CIPHER_PARAM_IMPLICIT_REJECTION, &implicit),
      OSSL_PARAM_construct_end()};
  if (EVP_PKEY_CTX_set_params(ctx.get(), params) != 1) return OpenSslFailed();
#endif
  std::size_t size = 0;
  if (EVP_PKEY_decrypt(ctx.get(), nullptr, &size, Bytes(cipher), cipher.size()) != 1)
    return OpenSslFailed();
  std::string result(size, '\0');
  if (EVP_PKEY_decrypt(ctx.get(), Bytes(result), &size, Bytes(cipher), cipher.size()) != 1)
    return OpenSslFailed();
  result.resize(size);
  out = std::move(result);
  return true;
}

}  // namespace lumivex
