#include "sim/traversal.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "sim/sim_log.h"
#include "sim/udp_socket.h"

namespace lumivex::sim {

TraversalServer::TraversalServer(KeyRing keys, CameraLookup cameras, CameraServices& services)
    : keys_(std::move(keys)), cameras_(std::move(cameras)), services_(services) {}

TraversalServer::~TraversalServer() { Stop(); }

bool TraversalServer::Start(const std::string& host, std::string& error) {
  host_ = host;
  fd_ = BindUdp(host, error);
  if (fd_ < 0) return false;
  port_ = BoundUdpPort(fd_);
  thread_ = std::thread([this] { Loop(); });
  return true;
}

void TraversalServer::Stop() {
  stop_ = true;
  if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);  // wakes the loop's poll
  if (thread_.joinable()) thread_.join();
  Reap(true);
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void TraversalServer::Loop() {
  while (!stop_) {
    Reap(false);
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0 || stop_) continue;
    std::string datagram;
    sockaddr_in from{};
    while (ReceiveDatagram(fd_, datagram, from)) Handle(datagram, from);
  }
}

void TraversalServer::Handle(const std::string& datagram, const sockaddr_in& from) {
  const std::string peer = AddressText(from);
  Json::Value m;
  SessionKey key;
  if (!OpenWithAnyKey(datagram, keys_ ? keys_() : std::vector<SessionKey>{}, kDatagramHeader, m, key))
    return LogRefused("traversal", peer + ": a datagram that opens with no session's keyValue");
  const uint8_t type = static_cast<uint8_t>(datagram[0]);
  if (type != kPunchRegister && type != kPunchConfirm)
    return LogRefused("traversal", peer + ": datagram type " + std::to_string(type));
  if (!m["sid"].isString() || !m["umac"].isString())
    return LogRefused("traversal", peer + ": \"sid\" and \"umac\" must be strings");
  const std::string sid = m["sid"].asString(), umac = m["umac"].asString();
  if (!key.umac.empty() && umac != key.umac)
    return LogRefused("traversal", peer + ": \"umac\" is \"" + umac + "\", the session's is " + key.umac);
  SimCamera* camera = cameras_(sid);
  if (!camera) return LogRefused("traversal", peer + ": no camera \"" + sid + "\"");

  if (type == kPunchConfirm) {
    if (m["type"] != "K") return LogRefused("traversal", peer + ": 'K' without \"type\" \"K\"");
    LogNote("traversal: " + sid + " confirmed by " + peer);
    Json::Value hold(Json::objectValue);
    hold["sid"] = sid;
    SendDatagram(fd_, from, kPunchHold, hold, key.keyValue);
    return;
  }
  switch (camera->config.traversal) {
    case TraversalAnswer::kSilent:
      return LogNote("traversal: " + sid + " registered by " + peer + ", not answered (traversal silent)");
    case TraversalAnswer::kHold: {
      LogNote("traversal: " + sid + " registered by " + peer + ", held (traversal hold)");
      Json::Value hold(Json::objectValue);
      hold["sid"] = sid;
      SendDatagram(fd_, from, kPunchHold, hold, key.keyValue);
      return;
    }
    case TraversalAnswer::kPeerAddress:
      return Register(*camera, key, umac, from);
  }
}

void TraversalServer::Register(SimCamera& camera, const SessionKey& key, const std::string& umac,
                               const sockaddr_in& from) {
  Punch* punch = nullptr;
  for (auto& p : punches_)
    if (!p->done() && p->Serves(camera.sid, from)) punch = p.get();
  if (!punch) {
    if (punches_.size() >= kMaxPunches) return LogNote("traversal: too many traversals at once");
    auto fresh = std::make_unique<Punch>(camera, key, umac, from, keys_, services_);
    std::string error;
    if (!fresh->Open(host_, error)) return LogError("traversal: " + error);
    punch = fresh.get();
    punches_.push_back(std::move(fresh));
    punch->Start();
    LogNote("traversal: " + camera.sid + " registered by " + AddressText(from) + ", camera at " + host_ + ":" +
            std::to_string(punch->announcedPort()));
  }
  Json::Value address(Json::objectValue);
  address["ip"] = host_;
  address["port"] = std::to_string(punch->announcedPort());
  SendDatagram(fd_, from, kPunchPeerAddress, address, key.keyValue);
}

void TraversalServer::Reap(bool all) {
  punches_.remove_if([all](const std::unique_ptr<Punch>& p) { return all || p->done(); });
}

}  // namespace lumivex::sim
