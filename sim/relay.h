#pragma once
// The relay server: a client connects and sends its connect message; the
// relay opens it (with any session's keyValue) to learn the camera's sid,
// connects to that camera, hands on the connect message as it came, and
// from then on copies the bytes both ways unchanged.

#include <netinet/in.h>

#include <atomic>
#include <chrono>
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

  // resetAfterSeconds > 0: each connection is reset (RST) this long after it opened.
  Relay(KeyRing keys, CameraFinder find, const std::atomic<bool>& stop, int resetAfterSeconds = 0);

  bool Start(const std::string& host, std::string& error) { return acceptor_.Start(host, 0, error); }
  uint16_t port() const { return acceptor_.port(); }
  void Stop() { acceptor_.Stop(); }

 private:
  void Serve(int clientFd);

  KeyRing keys_;
  CameraFinder find_;
  const std::atomic<bool>& stop_;
  int resetAfterSeconds_;
  TcpAcceptor acceptor_;
};

// Copies bytes both ways between two connected sockets until one side
// hangs up, a side stops reading for 10 s, stop is set or until has come;
// true when until ended it.
bool Pipe(int a, int b, const std::atomic<bool>& stop,
          std::chrono::steady_clock::time_point until = std::chrono::steady_clock::time_point::max());

}  // namespace lumivex::sim
