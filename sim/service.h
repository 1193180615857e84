#pragma once
// The stand-in web service: the handshake's sessions, the dispatch of every
// "/velmor/<op>.do?data=..." request, the fault knobs and the thumbnails.
// Thread-safe: one lock around the scenario and the sessions.

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sim/http_response.h"
#include "sim/operations.h"
#include "sim/scenario.h"
#include "sim/session_key.h"

namespace lumivex {
class ClientKeyPair;
}

namespace lumivex::sim {

class Service {
 public:
  // serviceKey: the service's own RSA key pair (its public half goes to
  // every client in the handshake).
  Service(Scenario scenario, std::unique_ptr<ClientKeyPair> serviceKey);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // The thumbnails' only User-Agent.
  static constexpr char kThumbnailUserAgent[] = "velmor-Windows";

  HttpResponse Handle(const HttpRequest& request);
  // A request target of a GET ("/velmor/login.do?data=...") with no headers.
  HttpResponse Handle(std::string_view target);

  // The keyValue and, once signed in, the umac of every session, newest
  // first: what device packets are opened with.
  std::vector<SessionKey> DeviceKeys() const;

  // Copies of the state, for tests and diagnostics.
  Scenario World() const;
  std::vector<std::string> Feedback() const;

 private:
  HttpResponse Security(std::string_view data, const Fault& fault);
  HttpResponse CheckVersion(std::string_view data, const Fault& fault);
  HttpResponse SaveAdvise(std::string_view data, const Fault& fault);
  HttpResponse Enveloped(const Operation& op, std::string_view data, const Fault& fault);
  HttpResponse Thumbnail(std::string_view path) const;

  Session* FindSession(std::string_view data, std::string_view prefix);
  std::string ForcedStatus(const Fault& fault, std::vector<std::string> ops, const std::string& user,
                           const std::string& sid);
  Fault TakeFault(const std::string& op);
  std::string NewKeyValue() const;

  mutable std::mutex mutex_;
  Scenario world_;
  std::unique_ptr<ClientKeyPair> key_;
  std::string publicKeyText_;  // exp ":" mod
  std::deque<Session> sessions_;
  std::vector<std::string> feedback_;
};

// The AES key of the handshake's "pk": first 16 digits of TokenOf("pcvelmor2.02.0").
std::string HandshakeKey();

}  // namespace lumivex::sim
