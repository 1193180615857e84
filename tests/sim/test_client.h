#pragma once
// A hand-made client for the service tests: it builds the request layers
// and opens the replies step by step as the protocol describes them, with
// digests from OpenSSL (the service uses mbed TLS for them).

#include <json/json.h>

#include <memory>
#include <string>

#include "sim/service.h"
#include "webservice/crypto.h"

namespace lumivex::sim::test {

std::string OpenSslTokenOf(const std::string& text);
std::string OpenSslMd5Hex(const std::string& text);
std::string PercentEncodeAll(const std::string& bytes);

struct Reply {
  int http = 0;
  std::string refused;
  Json::Value outer;
  Json::Value inner;  // null unless "sk"/"biz" opened
  std::string status() const { return outer["status"].asString(); }
};

class TestClient {
 public:
  explicit TestClient(Service& service);

  // security.do with the given tm; true when keys came back.
  bool Handshake(const std::string& tm = "1700000000");
  bool Login(const std::string& user, const std::string& password, Reply* reply = nullptr);

  // The fields inside the envelope of op ("devList", ...).
  Reply Call(const std::string& op, const std::string& fields);
  // The envelope text E for fields, with the session's or another tm.
  std::string EnvelopeText(const std::string& fields, const std::string& tm) const;
  // data= value of a shared-key wrap of text with `spaces` padding spaces.
  std::string SharedWrap(const std::string& text, int spaces = -1) const;
  std::string OwnWrap(const std::string& text) const;
  // GET of "/velmor/<op>.do?data=<data>", opened with the shared or own key.
  Reply Send(const std::string& op, const std::string& data, bool ownKeyReply = false);

  std::string exp() const { return key_->ExponentHex(); }
  std::string mod() const { return key_->ModulusHex(); }

  std::string mac = "02-00-5e-10-00-01";
  std::string tm, keyValue, serverPublicKey, token;

 private:
  Service& service_;
  std::unique_ptr<ClientKeyPair> key_;
};

}  // namespace lumivex::sim::test
