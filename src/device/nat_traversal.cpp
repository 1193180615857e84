#include "device/nat_traversal.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>

#include <udt/udt.h>

#include "config/user_settings.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/text.h"
#include "device/traversal_datagram.h"
#include "device/udt_runtime.h"
#include "webservice/request.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

using namespace std::chrono_literals;

constexpr int kBindAttempts = 5;
constexpr int kReceiveAttempts = 30;
constexpr int kDatagramWaitMs = 100;
constexpr auto kSendPause = 200ms;
constexpr auto kAcceptWait = 3000ms;
constexpr int kAcceptStepMs = 200;
constexpr int kListenBacklog = 10;

// What the four threads need besides the connection; fixed before they start.
struct Exchange {
  DeviceConnection& conn;
  std::string devKey;
  JsonMessage identity;  // "sid" and "umac"
  int udp;
};

bool SendDatagram(const Exchange& x, uint8_t type, JsonMessage message, const sockaddr_in& to) {
  std::string datagram;
  if (!SealTraversalDatagram(x.devKey, type, message, datagram)) return false;
  ssize_t sent = ::sendto(x.udp, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                          reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return sent == static_cast<ssize_t>(datagram.size());
}

JsonMessage With(JsonMessage message, const char* name, const char* value) {
  message[name] = value;
  return message;
}

// 1 a datagram, 0 none within the wait, -1 a failed wait or receive.
int ReceiveDatagram(int udp, std::string& datagram, sockaddr_in& from) {
  pollfd p{udp, POLLIN, 0};
  int r = ::poll(&p, 1, kDatagramWaitMs);
  if (r < 0) return errno == EINTR ? 0 : -1;
  if (r == 0) return 0;
  datagram.resize(kReceiveBufferBytes);
  socklen_t size = sizeof from;
  ssize_t n = ::recvfrom(udp, datagram.data(), datagram.size(), MSG_DONTWAIT,
                         reinterpret_cast<sockaddr*>(&from), &size);
  if (n < 0) return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
  datagram.resize(static_cast<std::size_t>(n));
  return n > 0 ? 1 : 0;  // an empty datagram has not even a type
}

bool Known(const sockaddr_in& a) { return a.sin_port != 0 && a.sin_addr.s_addr != 0; }

bool SameEndpoint(const sockaddr_in& a, const sockaddr_in& b) {
  return a.sin_port == b.sin_port && a.sin_addr.s_addr == b.sin_addr.s_addr;
}

// Registers until the server answers, then confirms once.
bool ServerSender(const Exchange& x) {
  sockaddr_in server{};
  if (!MakeAddress(x.conn.travSrvIp.str(), static_cast<uint16_t>(x.conn.travSrvPort), server)) return false;
  while (!x.conn.stop.requested()) {
    int32_t state = x.conn.serverState;
    if (state == -1) return true;
    if (state == 1) return SendDatagram(x, PunchConfirm, With(x.identity, "type", "K"), server);
    if (state == 0 && !SendDatagram(x, PunchRegister, x.identity, server)) return false;
    std::this_thread::sleep_for(kSendPause);
  }
  return true;
}

// The camera's public endpoint from a 0x0B datagram.
void TakePeerAddress(const Exchange& x, const std::string& datagram) {
  Json::Value answer;
  std::string ip, port;
  sockaddr_in peer{};
  if (!OpenTraversalDatagram(x.devKey, datagram, answer) || !ReadText(answer, "ip", ip) ||
      !ReadText(answer, "port", port) ||
      !MakeAddress(ip, static_cast<uint16_t>(DecimalPrefix(port) & 0xFFFF), peer)) {
    LogLine("traversal: the server's answer names no address");
    return;
  }
  x.conn.SetPeerAddress(peer);
  LogLine("traversal: the camera is at " + ip + ":" + std::to_string(PortOf(peer)));
}

void ServerReceiver(const Exchange& x) {
  std::string datagram;
  sockaddr_in from{};
  for (int attempt = 0; attempt < kReceiveAttempts && !x.conn.stop.requested(); ++attempt) {
    int r = ReceiveDatagram(x.udp, datagram, from);
    if (r < 0) break;
    if (r == 0) continue;
    uint8_t type = static_cast<uint8_t>(datagram[0]);
    if (type == PunchHold) x.conn.serverState = -2;
    if (type == PunchPeerAddress && OpenableDatagram(datagram)) {
      TakePeerAddress(x, datagram);
      x.conn.serverState = 1;
      return;
    }
  }
  x.conn.serverState = -1;
}

// Hello until the camera answers, the acknowledgement once per hello
// received, then ready until the receiver ends the exchange.
void PeerSender(const Exchange& x) {
  bool acknowledged = false;
  while (!x.conn.stop.requested()) {
    int32_t state = x.conn.peerState;
    if (state == -1) return;
    sockaddr_in peer = x.conn.PeerAddress();
    bool sent = true;
    if (state == 0) sent = SendDatagram(x, PunchHello, x.identity, peer);
    if (state == 1 || (state == 2 && !acknowledged)) {
      // The receiver may go from 1 straight on to 2: the camera still gets
      // its acknowledgement before the first ready.
      sent = SendDatagram(x, PunchHold, With(x.identity, "type", "10"), peer);
      acknowledged = true;
      // A camera whose hellos come faster than this loop would hold the
      // state at 1 and never hear a hello to acknowledge: one goes with each
      // acknowledgement.
      if (sent && state == 1) sent = SendDatagram(x, PunchHello, x.identity, peer);
      int32_t expected = 1;
      x.conn.peerState.compare_exchange_strong(expected, 0);  // never over a 2 set meanwhile
    }
    if (state == 2 && sent) sent = SendDatagram(x, PunchReady, x.identity, peer);
    if (!sent) return;
    std::this_thread::sleep_for(kSendPause);
  }
}

// Listens with UDT on the punched socket until the camera connects.
bool AcceptOnPunchedSocket(const Exchange& x) {
  DeviceConnection& conn = x.conn;
  if (!EnsureUdtStarted()) return false;
  UDTSOCKET listener = UDT::socket(AF_INET, SOCK_STREAM, 0);
  if (listener == UDT::INVALID_SOCK) return false;
  bool blocking = false;
  bool ok = UDT::setsockopt(listener, 0, UDT_SNDSYN, &blocking, sizeof blocking) != UDT::ERROR &&
            UDT::setsockopt(listener, 0, UDT_RCVSYN, &blocking, sizeof blocking) != UDT::ERROR &&
            UDT::bind2(listener, x.udp) != UDT::ERROR;
  if (ok) conn.udpSocketOwnedByUdt = true;
  ok = ok && UDT::listen(listener, kListenBacklog) != UDT::ERROR;
  bool readable = false;
  auto deadline = std::chrono::steady_clock::now() + kAcceptWait;
  while (ok && !readable && !conn.stop.requested() && std::chrono::steady_clock::now() < deadline) {
    UDT::UDSET set;
    UD_SET(listener, &set);
    timeval step{0, kAcceptStepMs * 1000};
    int r = UDT::select(0, &set, nullptr, nullptr, &step);
    ok = r != UDT::ERROR;
    readable = r > 0;
  }
  UDTSOCKET accepted = UDT::INVALID_SOCK;
  if (ok && readable) {
    sockaddr_in from{};
    int size = sizeof from;
    accepted = UDT::accept(listener, reinterpret_cast<sockaddr*>(&from), &size);
  }
  if (accepted == UDT::INVALID_SOCK) {
    LogLine("traversal: no UDT connection from the camera");
    CloseUdtAtOnce(listener);
    return false;
  }
  conn.udtListenSocket = listener;
  conn.udtSocket = accepted;
  return true;
}

bool PeerReceiver(const Exchange& x) {
  DeviceConnection& conn = x.conn;
  bool helloSeen = false, ackSeen = false, ready = false;
  std::string datagram;
  sockaddr_in from{};
  for (int attempt = 0; attempt < kReceiveAttempts && !ready && !conn.stop.requested(); ++attempt) {
    int r = ReceiveDatagram(x.udp, datagram, from);
    if (r < 0) break;
    if (r == 0) continue;
    uint8_t type = static_cast<uint8_t>(datagram[0]);
    Json::Value message;
    std::string kind;
    if (type == PunchHold && OpenTraversalDatagram(x.devKey, datagram, message) &&
        ReadText(message, "type", kind) && kind == "10") {
      ackSeen = true;
      ready = helloSeen;
      conn.peerState = ready ? 2 : -2;
    } else if (type == PunchHello) {
      helloSeen = true;
      conn.peerState = 1;
      if (!SameEndpoint(from, conn.PeerAddress())) {
        conn.SetPeerAddress(from);
        conn.m_Ip = DottedAddress(from);
        conn.m_DstPort = PortOf(from);
        LogLine("traversal: the camera said hello from " + conn.m_Ip.str() + ":" + std::to_string(conn.m_DstPort));
      }
      if (ackSeen) {
        ready = true;
        conn.peerState = 2;
      }
    }
  }
  bool connected = ready && !conn.stop.requested() && AcceptOnPunchedSocket(x);
  conn.peerState = -1;  // ends the sender
  return connected;
}

template <typename Routine>
bool Start(std::thread& thread, Routine routine) {
  try {
    thread = std::thread(routine);
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void Join(std::thread& a, std::thread& b) {
  if (a.joinable()) a.join();
  if (b.joinable()) b.join();
}

// Both exchanges; false when a thread could not be started.
bool RunExchanges(Exchange& x) {
  DeviceConnection& conn = x.conn;
  std::thread sender, receiver;
  if (!Start(sender, [&x] { ServerSender(x); }) || !Start(receiver, [&x] { ServerReceiver(x); })) {
    conn.serverState = -1;
    Join(sender, receiver);
    return false;
  }
  Join(sender, receiver);
  if (!Known(conn.PeerAddress()) || conn.stop.requested()) {
    LogLine("traversal: no peer address from the traversal server");
    return true;
  }
  if (!Start(sender, [&x] { PeerSender(x); }) || !Start(receiver, [&x] { PeerReceiver(x); }))
    conn.peerState = -1;
  Join(sender, receiver);
  return true;
}

// Binds to the next ports of the process-wide counter, skipping ports in use.
int BindUdpSocket(Global& g) {
  int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (udp < 0) return -1;
  for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(g.NextLocalUdpPort());
    if (::bind(udp, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) return udp;
    if (errno != EADDRINUSE) break;
  }
  ::close(udp);
  return -1;
}

}  // namespace

TraversalResult TraverseNat(ServiceContext& ctx, DeviceConnection& conn) {
  conn.serverState = 0;
  conn.peerState = 0;
  conn.SetPeerAddress(sockaddr_in{});
  int udp = BindUdpSocket(ctx.g);
  if (udp < 0) {
    LogLine("traversal: no UDP port could be bound");
    return TraversalResult::kFailed;
  }
  conn.udpSocket = udp;
  conn.udpSocketOwnedByUdt = false;
  Exchange x{conn, ctx.g.m_DevKeyValue.str(), {{"sid", conn.sid.str()}, {"umac", ctx.settings.umac.str()}}, udp};
  bool ran = RunExchanges(x);
  if (conn.udtSocket != kNoUdtSocket) return TraversalResult::kConnected;
  if (!conn.udpSocketOwnedByUdt) ::close(udp);
  conn.udpSocket = -1;
  conn.udpSocketOwnedByUdt = false;
  if (conn.stop.requested()) return TraversalResult::kStopped;
  return ran ? TraversalResult::kNoConnection : TraversalResult::kFailed;
}

}  // namespace lumivex
