#pragma once
// The machine's network identity: MAC, IPv4 address and subnet mask of the
// first interface that is up (loopback excluded).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lumivex {

struct Global;

struct NetInterface {
  std::string name;
  bool up = false;        // administratively up and running
  bool loopback = false;
  std::array<uint8_t, 6> mac{};
  struct Ipv4 {
    std::string address;  // dotted
    std::string mask;     // dotted, or empty when the system gave none
  };
  std::vector<Ipv4> ipv4;  // in the system's order
};

// The interfaces as getifaddrs lists them, in order of first appearance.
std::vector<NetInterface> ListNetInterfaces();

// Only the first interface that is up is looked at; its last IPv4 address
// wins. Fails when it has none (m_Mac may already be written then).
bool GetLocalNetInfo(Global& g, const std::vector<NetInterface>& interfaces);
// The real interfaces; then, when global names the cameras' network
// (localIpOverride), that address and mask replace the detected ones.
bool GetLocalNetInfo(Global& g);

}  // namespace lumivex
