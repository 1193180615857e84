#include "sim/dead_ends.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/tcp_acceptor.h"

namespace lumivex::sim {

RefusingPort::~RefusingPort() {
  if (fd_ >= 0) close(fd_);
}

bool RefusingPort::Open(const std::string& host, std::string& error) {
  fd_ = BindTcp(host, 0, error);
  if (fd_ < 0) return false;
  port_ = BoundPort(fd_);
  return true;
}

Blackhole::~Blackhole() {
  for (int fd : fillers_) close(fd);
  if (listenFd_ >= 0) close(listenFd_);
}

bool Blackhole::Open(const std::string& host, std::string& error) {
  listenFd_ = BindTcp(host, 0, error);
  if (listenFd_ < 0) return false;
  if (listen(listenFd_, 0) != 0) {
    error = std::string("blackhole: cannot listen: ") + std::strerror(errno);
    return false;
  }
  port_ = BoundPort(listenFd_);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port_);
  inet_pton(AF_INET, host.c_str(), &address.sin_addr);
  // Fill the queue until a connect no longer completes; that one is
  // dropped by the kernel like the client's will be.
  for (int i = 0; i < 8; ++i) {
    int fd = ConnectTcp(address, 200);
    if (fd < 0) return true;
    fillers_.push_back(fd);
  }
  error = "blackhole: the listen queue does not fill up";
  return false;
}

}  // namespace lumivex::sim
