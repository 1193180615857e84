#pragma once
// The service's side of the request and reply layers: opening the DES layer
// and the envelope the client builds, and sealing replies the way the client
// opens them.

#include <string>
#include <string_view>

namespace lumivex {
class ClientKeyPair;
}

namespace lumivex::sim {

// Request DES layer, own-key form: 8 clear key characters, then the
// ciphertext in lowercase hex. The text comes back without its 1 to 8
// padding spaces; any other padding, case or length is refused.
bool OpenOwnKeyRequest(std::string_view data, std::string& text, std::string& error);

// Shared-key form: 4 clear characters completing keyValue to the DES key.
bool OpenSharedKeyRequest(std::string_view data, std::string_view keyValue, std::string& text,
                          std::string& error);

// Cheap test of one session's key: the first block opens to prefix.
bool SharedKeyOpensTo(std::string_view data, std::string_view keyValue, std::string_view prefix);

// Reply DES layer: own key (8 characters) or keyValue + 4 characters, the
// text padded with 1 to 8 spaces, ciphertext in lowercase hex.
std::string SealOwnKeyReply(std::string_view text);
std::string SealSharedKeyReply(std::string_view keyValue, std::string_view text);

struct Envelope {
  std::string tm;
  std::string fields;  // the operation's plain field string
};

// "biz:..&cl:pc&cv:2.0&pv:2.0&sk:..&tm:..": sk opened with the service's
// private key (16 characters of the key alphabet), biz opened with it and
// its PKCS#7 padding checked.
bool OpenEnvelope(std::string_view text, const ClientKeyPair& serviceKey, Envelope& out, std::string& error);

// A fresh 16-character AES key from the client's key alphabet.
std::string NewAesKey();
// Base64 of AES-128-ECB with PKCS#7 padding.
bool AesSeal(std::string_view key16, std::string_view plain, std::string& base64);
// Opens Base64 of AES-128-ECB and checks and strips PKCS#7 padding.
bool AesOpen(std::string_view key16, std::string_view base64, std::string& plain, std::string& error);
// "sk": Base64 of RSA PKCS#1 v1.5 of key16 under the client's public key.
bool SealKeyFor(std::string_view expHex, std::string_view modHex, std::string_view key16, std::string& sk);

}  // namespace lumivex::sim
