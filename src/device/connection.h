#pragma once
// The transport side of one camera session: where the service said the
// camera can be reached, the sockets opened to it, the state words of the
// NAT traversal, and the stop flag and byte counter that every wait of the
// session observes. The live session (CCamera) and the playback session each
// own one; the session thread fills it, the session's workers share it.
//
// Threads: the negotiation and socket fields are written by the session
// thread (the traversal threads write theirs before they are joined) and
// read by the workers started after it; the state words, the connection type
// and the byte counter are atomics, the stop signal is for any thread; the peer address has a lock.

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "core/fixed_text.h"
#include "core/stop_signal.h"

namespace lumivex {

// Connection types of the service's answer.
inline constexpr int32_t DEVICE_OFFLINE = 1;
inline constexpr int32_t DEVICE_LAN = 2;
inline constexpr int32_t DEVICE_PORT_MAPPING = 3;
inline constexpr int32_t DEVICE_NAT_TRAVERSAL = 4;
inline constexpr int32_t DEVICE_TRAN_SRV = 5;

// UDT sockets are ints; -1 is UDT's invalid socket (UDT::INVALID_SOCK).
inline constexpr int kNoUdtSocket = -1;

enum class Transport { kTcp, kUdt };

struct DeviceConnection {
  DeviceConnection() = default;
  ~DeviceConnection() { Close(); }
  DeviceConnection(const DeviceConnection&) = delete;
  DeviceConnection& operator=(const DeviceConnection&) = delete;

  FixedText<18> sid;  // the camera, set by RequestStart

  // Negotiated by RequestStart.
  FixedText<17> m_Ip;
  uint16_t m_DstPort = 0;
  std::atomic<int32_t> m_DeviceNATType{-1};
  FixedText<17> m_TranIp;
  uint16_t m_DstTranPort = 0;
  int32_t transVideoLong = 0;
  // This session's traversal server: two sessions negotiating at once would
  // otherwise overwrite each other's endpoint before their sockets are made.
  FixedText<20> travSrvIp;
  int32_t travSrvPort = 0;

  // Live sessions enlarge the TCP receive buffer; playback ones do not.
  bool enlargeReceiveBuffer = true;

  // Opened by GetSocketByNATType; at most one of tcpSocket and udtSocket.
  int tcpSocket = -1;
  int udtSocket = kNoUdtSocket;
  int udpSocket = -1;
  int udtListenSocket = kNoUdtSocket;
  // Once UDT is bound onto udpSocket it owns that socket and closes it with
  // the last UDT socket on it; closing it here too could close a reused
  // descriptor of someone else.
  bool udpSocketOwnedByUdt = false;

  // Traversal state words. serverState: 0 register, 1 confirm, -2 hold,
  // -1 end. peerState: 0 hello, 1 acknowledge once, 2 ready, -2 hold, -1 end.
  std::atomic<int32_t> serverState{0};
  std::atomic<int32_t> peerState{0};

  // Requested by a stop; it wakes every wait of the session at once. The
  // next start resets it, when no thread of the last session is left.
  StopSignal stop;
  // Bytes received by the exact-length routines; the byte meter takes it.
  std::atomic<uint64_t> receivedBytes{0};
  // Several workers send on the socket; one whole packet at a time.
  std::mutex sendMutex;

  // The camera's public UDP endpoint (network byte order inside).
  sockaddr_in PeerAddress() const;
  void SetPeerAddress(const sockaddr_in& address);

  Transport transport() const { return udtSocket != kNoUdtSocket ? Transport::kUdt : Transport::kTcp; }

  // Closes every socket of the session. Call it after the session's threads
  // have been joined.
  void Close();
  // Close, then forget the negotiation: address, port, type -1.
  void Reset();

 private:
  mutable std::mutex peerMutex_;
  sockaddr_in peerAddress_{};  // guarded by peerMutex_
};

// "a.b.c.d" of an IPv4 socket address; "port" in host order.
std::string DottedAddress(const sockaddr_in& address);
uint16_t PortOf(const sockaddr_in& address);
// False when text is not an IPv4 dotted address.
bool MakeAddress(std::string_view ip, uint16_t port, sockaddr_in& out);

}  // namespace lumivex
