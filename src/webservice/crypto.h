#pragma once
// Thin wrappers over mbed TLS (Base64, DES, MD5, SHA-1, HMAC) and OpenSSL
// (RSA, AES, random bytes). Bytes travel in std::string, which is
// binary-safe; every function checks its sizes and reports failure as false
// instead of touching memory it was not given.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

typedef struct evp_pkey_st EVP_PKEY;

namespace lumivex {

// Standard alphabet with "=" padding, no line breaks.
std::string Base64Encode(std::string_view bytes);
// Skips CR LF pairs and single LFs; any other character outside the
// alphabet, a misplaced "=", an incomplete group, or a result of more than
// maxBytes fails. out is assigned only on success.
bool Base64Decode(std::string_view text, std::string& out, std::size_t maxBytes);

// Raw digests.
std::string Md5(std::string_view data);
std::string HmacMd5(std::string_view key, std::string_view data);
std::string Sha1(std::string_view data);
std::string HmacSha1(std::string_view key, std::string_view data);

// Single DES in ECB mode; the key's parity bits are ignored. data must be a
// multiple of 8 bytes.
bool DesEcbEncrypt(std::string_view key8, std::string_view data, std::string& out);
bool DesEcbDecrypt(std::string_view key8, std::string_view data, std::string& out);

// AES-128 in ECB mode. Encryption adds PKCS#7 padding; decryption removes
// nothing (the caller owns the padding rule) and needs whole blocks.
bool AesEcbEncryptPkcs7(std::string_view key16, std::string_view plain, std::string& out);
bool AesEcbDecryptRaw(std::string_view key16, std::string_view cipher, std::string& out);

// RSA PKCS#1 v1.5 encryption under a public key given as hexadecimal
// exponent and modulus. Empty or malformed hexadecimal fails.
bool RsaEncryptPublicHex(std::string_view expHex, std::string_view modHex, std::string_view plain,
                         std::string& out);

// count characters of alphabet from the system's CSPRNG, each equally
// likely. Empty when the generator fails or the alphabet is empty or longer
// than 256 characters.
std::string RandomChars(std::string_view alphabet, std::size_t count);

// The client's RSA key pair: 1024-bit modulus, public exponent 65537.
class ClientKeyPair {
 public:
  static constexpr int kBits = 1024;

  // Null when no key could be made.
  static std::unique_ptr<ClientKeyPair> Generate();

  ClientKeyPair(const ClientKeyPair&) = delete;
  ClientKeyPair& operator=(const ClientKeyPair&) = delete;
  ~ClientKeyPair();

  // Full consistency check of the private key.
  bool Check() const;
  // Uppercase hexadecimal as BN_bn2hex writes it: "010001" and 256 digits.
  std::string ExponentHex() const;
  std::string ModulusHex() const;
  // PKCS#1 v1.5 decryption; fails on anything that is not a valid block.
  bool Decrypt(std::string_view cipher, std::string& out) const;

 private:
  explicit ClientKeyPair(EVP_PKEY* key) : key_(key) {}
  EVP_PKEY* key_;
};

}  // namespace lumivex
