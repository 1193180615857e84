#pragma once
// The relay server: a client connects and sends its connect message; the
// relay opens it (with any session's keyValue) to learn the camera's sid,
// connects to that camera, hands on the connect message as it came, and
// from then on copies the bytes both ways unchanged.

#include <netinet/in.h>

#include <atomic>
#include <functional>
#include <string>

#include "sim/session_key.h"
#include "sim/tcp_acceptor.h"

namespace lumivex::sim {

class Relay {
 public:
  static constexpr int kCameraConnectMs = 3000;
  // Where the camera with this sid accepts TCP; false for an unknown sid.
  using CameraFinder = std::function<bool(const std::string& sid, sockaddr_in& out)>;

  Relay(KeyRing keys, CameraFinder find, const std::atomic<bool>& stop);

  bool Start(const std::string& host, std::string& error) { return acceptor_.Start(host, 0, error); }
  uint16_t port() const { return acceptor_.port(); }
  void Stop() { acceptor_.Stop(); }

 private:
  void Serve(int clientFd);

  KeyRing keys_;
  CameraFinder find_;
  const std::atomic<bool>& stop_;
  TcpAcceptor acceptor_;
};

// Copies bytes both ways between two connected sockets until one side
// hangs up, a side stops reading for 10 s, or stop is set.
void Pipe(int a, int b, const std::atomic<bool>& stop);

}  // namespace lumivex::sim
