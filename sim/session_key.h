#pragma once
// The key a client's device packets are sealed with: the four-character
// keyValue of its handshake, and the "umac" it must send once signed in.

#include <functional>
#include <string>
#include <vector>

namespace lumivex::sim {

struct SessionKey {
  std::string keyValue;
  std::string umac;  // empty: not signed in, not checked
};

// The keys of the sessions alive now, newest first.
using KeyRing = std::function<std::vector<SessionKey>()>;

}  // namespace lumivex::sim
