#pragma once
// A lumivex-sim on loopback as its clients see it: the ports and CA of its
// ready line, and a client's process state pointed at it (the service, its
// CA, and a loopback network so the LAN probe stays on this machine).

#include <chrono>
#include <cstdint>
#include <regex>
#include <string>

#include "core/global.h"
#include "support/child_process.h"

namespace lumivex::test {

struct SimEndpoint {
  uint16_t webPort = 0, lanPort = 0;
  std::string caFile;
};

// Waits for the sim's "lumivex-sim: ready web=.. lan=.. ca=.." line; false
// when it did not come within bound.
inline bool WaitForSimReady(ChildProcess& sim, SimEndpoint& out,
                            std::chrono::milliseconds bound = std::chrono::seconds(30)) {
  const std::string ready = sim.WaitForLine("lumivex-sim: ready", bound);
  static const std::regex kReady(R"(web=(\d+) lan=(\d+) ca=(\S+))");
  std::smatch m;
  if (!std::regex_search(ready, m, kReady)) return false;
  out.webPort = static_cast<uint16_t>(std::stoi(m[1]));
  out.lanPort = static_cast<uint16_t>(std::stoi(m[2]));
  out.caFile = m[3];
  return true;
}

inline void PointAtLoopbackSim(Global& g, uint16_t webPort, const std::string& caFile, uint16_t lanPort) {
  g.m_Host = "127.0.0.1";
  g.port = webPort;
  g.m_WebPort = webPort;
  g.caFile = caFile;
  g.localIpOverride = "127.0.0.1";
  g.localMaskOverride = "255.0.0.0";
  g.lanProbePort = lanPort;
}

}  // namespace lumivex::test
