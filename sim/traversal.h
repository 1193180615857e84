#pragma once
// The NAT-traversal server: one UDP socket. A registration ('C') is
// answered with 0x0B, the camera's UDP endpoint for this client (a punch
// of its own per client endpoint, which then starts its hellos); a
// confirmation ('K') with 0x09 (hold). The camera's "traversal" knob can
// make the server answer 0x09 instead of 0x0B, or nothing.

#include <netinet/in.h>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "sim/punch.h"

namespace lumivex::sim {

class TraversalServer {
 public:
  static constexpr std::size_t kMaxPunches = 64;
  using CameraLookup = std::function<SimCamera*(const std::string& sid)>;

  TraversalServer(KeyRing keys, CameraLookup cameras, CameraServices& services);
  ~TraversalServer();
  TraversalServer(const TraversalServer&) = delete;
  TraversalServer& operator=(const TraversalServer&) = delete;

  bool Start(const std::string& host, std::string& error);
  uint16_t port() const { return port_; }
  // The sim's stop flag must be set first, so the punches end too.
  void Stop();

 private:
  void Loop();
  void Handle(const std::string& datagram, const sockaddr_in& from);
  void Register(SimCamera& camera, const SessionKey& key, const std::string& umac, const sockaddr_in& from);
  void Reap(bool all);

  KeyRing keys_;
  CameraLookup cameras_;
  CameraServices& services_;
  std::string host_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::list<std::unique_ptr<Punch>> punches_;  // the loop's thread only
};

}  // namespace lumivex::sim
