#pragma once
// Everything behind current.do: the simulated cameras (a listener each, or
// the shared camera port), the relay, the traversal server, the dead-end
// ports of the fall-back tests, and what the cameras report: the frame
// log, the control log and the talk-back files.

#include <netinet/in.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/camera_session.h"
#include "sim/dead_ends.h"
#include "sim/relay.h"
#include "sim/scenario.h"
#include "sim/tcp_acceptor.h"
#include "sim/traversal.h"

namespace lumivex::sim {

// The sim's own endpoints, by the names a scenario may use for them.
struct SimEndpoints {
  std::string host;  // dotted IPv4
  std::map<std::string, uint16_t> camera;  // by sid
  uint16_t relay = 0, traversal = 0, blackhole = 0, refuse = 0;
};

// Fills current.do's endpoint members of every device that the scenario
// leaves out, by connection type: 2 devInner, 3 devOuter, with devPortTcp
// the camera; 4 penetrateIP/penetratePort the traversal server; tranIP/
// tranPortTcp the relay in 2 to 5. A member given as "camera", "relay",
// "traversal", "blackhole" or "refuse" names that endpoint (its address
// for an address member, its port for a port member). The login's
// defTranIP/defTranPortTcp likewise default to the relay when the
// scenario has devices.
void FillEndpoints(Scenario& scenario, const SimEndpoints& endpoints);

// Where the cameras report what they sent and heard; empty: not at all.
struct CameraOutputs {
  std::string frameLog;    // --frame-log
  std::string controlLog;  // --control-log
  std::string talkDir;     // --talk-dir
};

class CameraWorld {
 public:
  CameraWorld(const Scenario& scenario, KeyRing keys);
  ~CameraWorld();
  CameraWorld(const CameraWorld&) = delete;
  CameraWorld& operator=(const CameraWorld&) = delete;

  // host must be IPv4 text.
  bool Start(const std::string& host, const CameraOutputs& outputs, std::string& error);
  // With the frame log only (empty: none).
  bool Start(const std::string& host, const std::string& frameLogPath, std::string& error);
  void Stop();

  const SimEndpoints& endpoints() const { return endpoints_; }
  SimCamera* FindCamera(const std::string& sid);
  // Where the camera takes TCP connections (a refusing port for "refuse").
  bool CameraAddress(const std::string& sid, sockaddr_in& out) const;

 private:
  void ServeOwn(SimCamera& camera, int fd);
  void ServeShared(int fd);

  KeyRing keys_;
  int relayResetAfterSeconds_ = 0;
  std::atomic<bool> stop_{false};
  ClipCache clips_;
  AudioCache audio_;
  FrameLog frameLog_;
  ControlLog controlLog_;
  TalkFiles talkFiles_;
  CameraServices services_{clips_, audio_, frameLog_, controlLog_, talkFiles_, stop_};
  std::vector<std::unique_ptr<SimCamera>> cameras_;
  std::vector<std::unique_ptr<TcpAcceptor>> listeners_;
  RefusingPort refusing_;
  Blackhole blackhole_;
  SimEndpoints endpoints_;
  std::unique_ptr<Relay> relay_;
  std::unique_ptr<TraversalServer> traversal_;
  bool udtStarted_ = false;
};

}  // namespace lumivex::sim
