#include "sim/tcp_acceptor.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lumivex::sim {

int BindTcp(const std::string& host, uint16_t port, std::string& error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    error = host + ": not an IPv4 address";
    return -1;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    error = "cannot bind TCP " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

uint16_t BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

int ConnectTcp(const sockaddr_in& address, int ms) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (errno != EINPROGRESS || poll(&p, 1, ms) != 1 ||
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      close(fd);
      return -1;
    }
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

TcpAcceptor::TcpAcceptor(Handler handler) : handler_(std::move(handler)) {}

TcpAcceptor::~TcpAcceptor() { Stop(); }

bool TcpAcceptor::Start(const std::string& host, uint16_t port, std::string& error) {
  listenFd_ = BindTcp(host, port, error);
  if (listenFd_ < 0) return false;
  if (listen(listenFd_, 32) != 0) {
    error = "cannot listen on " + host + ": " + std::strerror(errno);
    close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  port_ = BoundPort(listenFd_);
  acceptor_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void TcpAcceptor::Stop() {
  stop_ = true;
  if (listenFd_ >= 0) shutdown(listenFd_, SHUT_RDWR);  // wakes the accept loop's poll at once
  if (acceptor_.joinable()) acceptor_.join();
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
  {
    std::lock_guard lock(mutex_);
    for (auto& w : workers_)
      if (!w->closed) shutdown(w->fd, SHUT_RDWR);
  }
  Reap(true);
}

void TcpAcceptor::AcceptLoop() {
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0 || stop_) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    Reap(false);
    std::lock_guard lock(mutex_);
    if (workers_.size() >= static_cast<std::size_t>(kMaxConnections)) {
      close(fd);
      continue;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto worker = std::make_unique<Worker>();
    Worker* w = worker.get();
    w->fd = fd;
    w->thread = std::thread([this, w] {
      handler_(w->fd);
      {
        std::lock_guard lock(mutex_);
        close(w->fd);
        w->closed = true;
      }
      w->done = true;
    });
    workers_.push_back(std::move(worker));
  }
}

void TcpAcceptor::Reap(bool all) {
  std::list<std::unique_ptr<Worker>> finished;
  {
    std::lock_guard lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (all || (*it)->done) {
        finished.push_back(std::move(*it));
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& w : finished) w->thread.join();
}

}  // namespace lumivex::sim
