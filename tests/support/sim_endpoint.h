#pragma once
// Points a client's process state at a lumivex-sim on loopback: the service,
// its CA, and a loopback network so the LAN probe stays on this machine.

#include <cstdint>
#include <string>

#include "core/global.h"

namespace lumivex::test {

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
