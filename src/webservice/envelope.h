#pragma once
// The request envelope of the web service and the hash helpers that several
// operations share.
//
// A request travels as: field string -> AES under a fresh key ("biz"), that
// key RSA-encrypted for the service ("sk"), both with the fixed client fields
// -> DES under m_KeyValue plus four clear characters, in lowercase hex.
// A reply comes back through the same DES layer, then JSON whose "sk" and
// "biz" open with the client's own RSA key.
//
// All functions are re-entrant; they read the key fields of Global only.

#include <cstddef>
#include <string>
#include <string_view>

#include "core/global.h"
#include "webservice/crypto.h"

namespace lumivex {

inline constexpr std::size_t kMaxFieldString = 751;  // AES + Base64 must fit 1,024 bytes
inline constexpr std::size_t kMaxSkChars = 259;      // Base64 of the RSA-sealed request key
inline constexpr std::size_t kMaxWrapBytes = 32767;  // padded text of one DES wrap
inline constexpr std::size_t kMaxOwnKeyReplyBytes = 262144;
inline constexpr std::size_t kMaxSharedKeyReplyBytes = 524288;
inline constexpr std::size_t kMaxReplySkBytes = 1024;     // decoded "sk" of a reply
inline constexpr std::size_t kMaxReplyBizBytes = 262144;  // decoded "biz" of a reply

inline constexpr std::string_view kAesKeyAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
inline constexpr std::string_view kDesKeyAlphabet = "0123456789abcdef";
inline constexpr std::string_view kStoredFormKey = "Wq4Zr_tKebLoxsN@@5";

// urlOut = urlPrefix followed by the envelope of fields. Fails, leaving
// urlOut untouched, on a field string over kMaxFieldString bytes, a missing
// or malformed service key, or an "sk" over kMaxSkChars.
bool BuildEnvelope(const Global& g, std::string_view fields, std::string_view urlPrefix,
                   std::string& urlOut);

// DES layer alone. Both pad text in place with 1 to 8 spaces and write the
// four (shared key) or eight (own key) clear key characters followed by the
// lowercase hex ciphertext. They fail, text unchanged, when the padded text
// would exceed kMaxWrapBytes; the shared form also when keyValue is not 4
// characters.
bool SharedKeyWrap(std::string_view keyValue, std::string& text, std::string& out);
bool OwnKeyWrap(std::string& text, std::string& out);

// Reply DES layer. They never fail: a body too short for its key part, or
// one whose decoded text would not fit outCapacity - 1 bytes, gives an empty
// out, which the caller's JSON parse then refuses. Nothing is unpadded; the
// text ends at its first NUL.
void DecodeOwnKeyReply(std::string_view body, std::string& out, std::size_t outCapacity);
void DecodeSharedKeyReply(std::string_view keyValue, std::string_view body, std::string& out,
                          std::size_t outCapacity);

// Opens the inner layer of a successful reply: keyOut receives the 16-byte
// AES key, innerOut the inner JSON text. Fails on malformed Base64, an "sk"
// that does not decrypt to 16 bytes, a pad byte outside 1..16, or an inner
// text that does not fit innerCapacity - 1 bytes. Outputs are written only on
// success.
bool DecodeInnerReply(const ClientKeyPair& keys, std::string_view sk, std::string_view biz,
                      std::string& keyOut, std::string& innerOut, std::size_t innerCapacity);

// 40 lowercase hex digits of HMAC-SHA1 keyed with secret (m_AppSecret) over
// text up to its first NUL.
std::string TokenOf(std::string_view secret, std::string_view text);

// MD5 of the password's bytes, 32 lowercase hex digits.
std::string PasswordHash(std::string_view password);

// The remembered-password form: six pairs of HMAC-MD5 hex digits each
// followed by one password character, the other 20 digits, then the rest of
// the password. Needs at least 6 characters.
bool StoredPasswordForm(std::string_view password, std::string& out);
// Takes the password back out; fails on anything StoredPasswordForm would not
// have written.
bool RevealStoredPassword(std::string_view stored, std::string& out);
bool MatchesStoredPassword(std::string_view typed, std::string_view stored);

// Every byte of the UTF-8 text as "%XX" (uppercase). Refuses invalid UTF-8 and
// texts over maxBytes.
bool PercentEncode(std::string_view utf8, std::string& out, std::size_t maxBytes = 259);

}  // namespace lumivex
