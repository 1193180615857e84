#pragma once
// Endpoints that fail on purpose, for the client's fall-backs: a port that
// refuses every connection, and one where connecting hangs until the
// client gives up.

#include <cstdint>
#include <string>
#include <vector>

namespace lumivex::sim {

// Bound but not listening, so the port stays ours and every connect is
// answered with a reset.
class RefusingPort {
 public:
  RefusingPort() = default;
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  bool Open(const std::string& host, std::string& error);
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// A listener with a backlog of 0 whose queue is filled by connections of
// its own and never accepted: the kernel drops further SYNs, so a
// client's connect neither succeeds nor fails until its own time-out.
class Blackhole {
 public:
  Blackhole() = default;
  ~Blackhole();
  Blackhole(const Blackhole&) = delete;
  Blackhole& operator=(const Blackhole&) = delete;

  bool Open(const std::string& host, std::string& error);
  uint16_t port() const { return port_; }

 private:
  int listenFd_ = -1;
  std::vector<int> fillers_;
  uint16_t port_ = 0;
};

}  // namespace lumivex::sim
