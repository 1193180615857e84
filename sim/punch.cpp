#include "sim/punch.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "sim/sim_log.h"
#include "sim/udp_socket.h"

namespace lumivex::sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

}  // namespace

Punch::Punch(SimCamera& camera, SessionKey key, std::string umac, const sockaddr_in& client, KeyRing keys,
             CameraServices& services)
    : camera_(camera), key_(std::move(key)), umac_(std::move(umac)), client_(client), keys_(std::move(keys)),
      services_(services) {}

Punch::~Punch() {
  if (thread_.joinable()) thread_.join();
  if (announced_ >= 0) close(announced_);
  if (other_ >= 0) close(other_);
}

bool Punch::Open(const std::string& host, std::string& error) {
  announced_ = BindUdp(host, error);
  if (announced_ < 0) return false;
  announcedPort_ = BoundUdpPort(announced_);
  if (camera_.config.helloFromOtherPort && (other_ = BindUdp(host, error)) < 0) return false;
  return true;
}

void Punch::Start() {
  thread_ = std::thread([this] {
    Run();
    done_ = true;
  });
}

bool Punch::Serves(const std::string& sid, const sockaddr_in& client) const {
  return sid == camera_.sid && SameEndpoint(client, client_);
}

Json::Value Punch::Identity() const {
  Json::Value m(Json::objectValue);
  m["sid"] = camera_.sid;
  m["umac"] = umac_;
  return m;
}

void Punch::Run() {
  const std::string who = "camera " + camera_.sid;
  sockaddr_in punched{};
  if (!Exchange(punched)) {
    if (!services_.stop) LogNote(who + ": the client " + AddressText(client_) + " never became ready over UDP");
    return;
  }
  int& fd = other_ >= 0 ? other_ : announced_;
  int udp = fd;
  fd = -1;  // UDT takes it over
  ConnectAndServe(udp, punched);
}

bool Punch::Exchange(sockaddr_in& punched) {
  const int sender = other_ >= 0 ? other_ : announced_;
  const auto deadline = Clock::now() + milliseconds(kExchangeMs);
  auto nextHello = Clock::now();
  // Hellos go where the server saw the client until the client's own
  // datagrams show where its NAT maps it for this camera (which may differ).
  punched = client_;
  Clock::time_point bothSince{};
  bool helloSeen = false, ackSeen = false;
  while (!services_.stop && Clock::now() < deadline) {
    auto now = Clock::now();
    if (now >= nextHello) {
      SendDatagram(sender, punched, kPunchHello, Identity(), key_.keyValue);
      nextHello = now + milliseconds(kHelloGapMs);
    }
    if (helloSeen && ackSeen && now - bothSince >= milliseconds(kReadyGraceMs)) return true;

    pollfd p[2] = {{announced_, POLLIN, 0}, {other_, POLLIN, 0}};
    auto wait = std::chrono::duration_cast<milliseconds>(nextHello - now).count();
    if (poll(p, other_ >= 0 ? 2 : 1, static_cast<int>(std::max<long long>(wait, 0))) <= 0) continue;
    for (const pollfd& entry : p) {
      if (entry.fd < 0 || !(entry.revents & POLLIN)) continue;
      std::string datagram;
      sockaddr_in from{};
      Json::Value m;
      while (ReceiveDatagram(entry.fd, datagram, from)) {
        if (!OpenMessage(datagram, key_.keyValue, kDatagramHeader, m)) continue;  // not ours or not sound
        const uint8_t type = static_cast<uint8_t>(datagram[0]);
        LogDetail("camera " + camera_.sid + " got datagram " + std::to_string(type) + " from " + AddressText(from));
        if (type != kPunchReady && type != kPunchHello && type != kPunchHold) continue;
        if (!SameEndpoint(from, punched)) nextHello = Clock::now();  // greet the new address at once
        punched = from;
        if (type == kPunchReady) return true;
        if (type == kPunchHello) {
          Json::Value ack = Identity();
          ack["type"] = "10";
          SendDatagram(sender, from, kPunchHold, ack, key_.keyValue);
          if (!helloSeen && ackSeen) bothSince = Clock::now();
          helloSeen = true;
        } else if (m["type"] == "10") {
          if (!ackSeen && helloSeen) bothSince = Clock::now();
          ackSeen = true;
        }
      }
    }
  }
  return false;
}

void Punch::ConnectAndServe(int fd, const sockaddr_in& punched) {
  const std::string who = "camera " + camera_.sid;
  UDTSOCKET u = UDT::socket(AF_INET, SOCK_STREAM, 0);
  if (u == UDT::INVALID_SOCK) {
    close(fd);
    return LogError(who + ": no UDT socket: " + UDT::getlasterror().getErrorMessage());
  }
  // Every close of it at once: UDT's default linger holds a close (and so the
  // sim's stop) up to 180 s while a client that went away owes acknowledgements.
  linger none{0, 0};
  UDT::setsockopt(u, 0, UDT_LINGER, &none, sizeof none);
  if (UDT::bind2(u, fd) == UDT::ERROR) {
    LogError(who + ": UDT cannot take the UDP socket: " + UDT::getlasterror().getErrorMessage());
    UDT::close(u);
    close(fd);
    return;
  }
  if (UDT::connect(u, reinterpret_cast<const sockaddr*>(&punched), sizeof punched) == UDT::ERROR) {
    LogNote(who + ": UDT connect to " + AddressText(punched) + " failed: " + UDT::getlasterror().getErrorMessage());
    UDT::close(u);
    return;
  }
  LogNote(who + ": UDT connected to " + AddressText(punched));
  UdtLink link(u);
  PacketSplitter splitter;
  ConnectRequest request;
  if (!ReadConnect(link, keys_, splitter, services_.stop, who, request)) return;
  ServeCamera(link, true, camera_, request, splitter, services_);
}

}  // namespace lumivex::sim
