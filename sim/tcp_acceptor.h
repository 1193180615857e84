#pragma once
// One TCP listener; each connection runs on a thread of its own, a
// bounded number at once. The acceptor owns the connection's descriptor:
// it closes it when the handler returns, and Stop() shuts down the ones
// still open so that no handler stays blocked on a peer.

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace lumivex::sim {

class TcpAcceptor {
 public:
  static constexpr int kMaxConnections = 64;
  using Handler = std::function<void(int fd)>;  // must not close fd

  explicit TcpAcceptor(Handler handler);
  ~TcpAcceptor();
  TcpAcceptor(const TcpAcceptor&) = delete;
  TcpAcceptor& operator=(const TcpAcceptor&) = delete;

  // Binds host:port (0: a free one) and starts accepting.
  bool Start(const std::string& host, uint16_t port, std::string& error);
  uint16_t port() const { return port_; }
  void Stop();

 private:
  struct Worker {
    int fd = -1;
    bool closed = false;  // guarded by the acceptor's mutex
    std::atomic<bool> done{false};
    std::thread thread;
  };

  void AcceptLoop();
  void Reap(bool all);

  Handler handler_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::list<std::unique_ptr<Worker>> workers_;
};

// A TCP socket bound to host:port (0: any free port), or -1 with error.
int BindTcp(const std::string& host, uint16_t port, std::string& error);
// The port a socket is bound to.
uint16_t BoundPort(int fd);
// Connects to address within ms; -1 when refused, unreachable or too slow.
int ConnectTcp(const sockaddr_in& address, int ms);

}  // namespace lumivex::sim
