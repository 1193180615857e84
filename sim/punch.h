#pragma once
// The camera's side of one NAT traversal, begun when a client registers
// with the traversal server: the camera's UDP socket (the endpoint the
// server announces), hellos to the client every 200 ms, acknowledgements
// of the client's hellos, and, once the client is ready, the UDT
// connection from that socket to the client's punched port, on which the
// camera session runs.

#include <netinet/in.h>

#include <atomic>
#include <string>
#include <thread>

#include "sim/camera_session.h"

namespace lumivex::sim {

class Punch {
 public:
  static constexpr int kExchangeMs = 10000;  // without the client ready by then, the attempt ends
  static constexpr int kHelloGapMs = 200;
  static constexpr int kReadyGraceMs = 1000;  // both hellos seen: how long to wait for the ready

  // client: the client's endpoint as the traversal server saw it.
  Punch(SimCamera& camera, SessionKey key, std::string umac, const sockaddr_in& client, KeyRing keys,
        CameraServices& services);
  ~Punch();
  Punch(const Punch&) = delete;
  Punch& operator=(const Punch&) = delete;

  // The camera's socket(s) on host; then Start() runs the exchange.
  bool Open(const std::string& host, std::string& error);
  void Start();
  uint16_t announcedPort() const { return announcedPort_; }
  bool done() const { return done_; }
  bool Serves(const std::string& sid, const sockaddr_in& client) const;

 private:
  void Run();
  // True once the client is ready; punched: where its datagrams come from.
  bool Exchange(sockaddr_in& punched);
  void ConnectAndServe(int fd, const sockaddr_in& punched);
  Json::Value Identity() const;

  SimCamera& camera_;
  const SessionKey key_;
  const std::string umac_;
  const sockaddr_in client_;
  KeyRing keys_;
  CameraServices& services_;
  int announced_ = -1;
  int other_ = -1;  // helloFromOtherPort: hellos, answers and UDT leave from here
  uint16_t announcedPort_ = 0;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace lumivex::sim
