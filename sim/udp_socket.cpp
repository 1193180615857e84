#include "sim/udp_socket.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/wire.h"
#include "sim/traffic_dump.h"

namespace lumivex::sim {

int BindUdp(const std::string& host, std::string& error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    error = host + ": not an IPv4 address";
    return -1;
  }
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    error = "cannot bind UDP " + host + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

uint16_t BoundUdpPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

bool SendDatagram(int fd, const sockaddr_in& to, uint8_t type, const Json::Value& message,
                  const std::string& keyValue) {
  std::string datagram;
  if (!SealMessage(type, message, keyValue, kDatagramHeader, datagram)) return false;
  DumpDatagram(keyValue, datagram);
  return sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
         static_cast<ssize_t>(datagram.size());
}

bool ReceiveDatagram(int fd, std::string& out, sockaddr_in& from) {
  char buffer[2048];
  socklen_t length = sizeof from;
  ssize_t n = recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
  if (n <= 0) return false;
  out.assign(buffer, static_cast<std::size_t>(n));
  return true;
}

bool SameEndpoint(const sockaddr_in& a, const sockaddr_in& b) {
  return a.sin_port == b.sin_port && a.sin_addr.s_addr == b.sin_addr.s_addr;
}

}  // namespace lumivex::sim
