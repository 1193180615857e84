#include "device/connection.h"

#include <arpa/inet.h>
#include <unistd.h>

#include "device/udt_runtime.h"

namespace lumivex {

sockaddr_in DeviceConnection::PeerAddress() const {
  std::lock_guard lock(peerMutex_);
  return peerAddress_;
}

void DeviceConnection::SetPeerAddress(const sockaddr_in& address) {
  std::lock_guard lock(peerMutex_);
  peerAddress_ = address;
}

void DeviceConnection::Close() {
  if (tcpSocket >= 0) ::close(tcpSocket);
  tcpSocket = -1;
  // A stop must not wait for a camera that went away to acknowledge.
  if (udtSocket != kNoUdtSocket) CloseUdtAtOnce(udtSocket);
  udtSocket = kNoUdtSocket;
  if (udtListenSocket != kNoUdtSocket) CloseUdtAtOnce(udtListenSocket);
  udtListenSocket = kNoUdtSocket;
  if (udpSocket >= 0 && !udpSocketOwnedByUdt) ::close(udpSocket);
  udpSocket = -1;
  udpSocketOwnedByUdt = false;
}

void DeviceConnection::Reset() {
  Close();
  m_Ip.clear();
  m_DstPort = 0;
  m_DeviceNATType = -1;
  SetPeerAddress(sockaddr_in{});
}

std::string DottedAddress(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  if (!inet_ntop(AF_INET, &address.sin_addr, text, sizeof text)) return {};
  return text;
}

uint16_t PortOf(const sockaddr_in& address) { return ntohs(address.sin_port); }

bool MakeAddress(std::string_view ip, uint16_t port, sockaddr_in& out) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  std::string text(ip);
  if (ip.find('\0') != std::string_view::npos ||
      inet_pton(AF_INET, text.c_str(), &address.sin_addr) != 1)
    return false;
  out = address;
  return true;
}

}  // namespace lumivex
