// current.do's endpoints and the login's default relay, from the sim's own
// listeners.

#include <string_view>

#include "sim/camera_world.h"

namespace lumivex::sim {
namespace {

constexpr std::string_view kAddressMembers[] = {"devInner", "devOuter", "tranIP", "penetrateIP", "defTranIP"};

bool IsAddressMember(std::string_view name) {
  for (std::string_view m : kAddressMembers)
    if (m == name) return true;
  return false;
}

// The value of a member that names one of the sim's endpoints; other
// values stay as the scenario gives them.
std::string Resolve(const std::string& member, const std::string& value, const std::string& sid,
                    const SimEndpoints& e) {
  uint16_t port = 0;
  if (value == "camera") {
    auto it = e.camera.find(sid);
    port = it != e.camera.end() ? it->second : e.refuse;
  } else if (value == "relay") {
    port = e.relay;
  } else if (value == "traversal") {
    port = e.traversal;
  } else if (value == "blackhole") {
    port = e.blackhole;
  } else if (value == "refuse") {
    port = e.refuse;
  } else {
    return value;
  }
  return IsAddressMember(member) ? e.host : std::to_string(port);
}

}  // namespace

void FillEndpoints(Scenario& scenario, const SimEndpoints& e) {
  for (Device& d : scenario.devices) {
    auto& members = d.connection.members;
    auto fill = [&](const char* name, const char* endpoint) { members.try_emplace(name, endpoint); };
    const int type = d.connection.status.value_or(d.status == 1 ? 2 : 1);
    if (type == 2) fill("devInner", "camera");
    if (type == 3) fill("devOuter", "camera");
    if (type == 2 || type == 3) fill("devPortTcp", "camera");
    if (type == 4) {
      fill("penetrateIP", "traversal");
      fill("penetratePort", "traversal");
    }
    if (type >= 2 && type <= 5) {
      fill("tranIP", "relay");
      fill("tranPortTcp", "relay");
    }
    for (auto& [name, value] : members) value = Resolve(name, value, d.sid, e);
  }
  // Without cameras there is nothing to relay to, and the login's serverBean
  // stays exactly as the scenario gives it.
  if (!scenario.devices.empty()) {
    scenario.servers.try_emplace("defTranIP", "relay");
    scenario.servers.try_emplace("defTranPortTcp", "relay");
  }
  for (auto& [name, value] : scenario.servers) value = Resolve(name, value, {}, e);
}

}  // namespace lumivex::sim
