#pragma once
// How the campaign makes a bad network: the kernel's netem on the loopback
// of a network namespace of the process's own, where the kernel has netem
// and the campaign runs as root; otherwise the userspace impairment proxy.

#include <string>

namespace lumivex::test {

enum class NetworkMechanism { kNetem, kProxy };

// Probes once (a throwaway namespace) and, for netem, moves the whole
// process into a fresh network namespace with its loopback up. Call from
// main before any thread is started: only the calling thread moves, and
// threads started later follow it.
NetworkMechanism ChooseNetworkMechanism(std::string& why);
NetworkMechanism networkMechanism();

// netem on the process's loopback (both directions pass it). Empty: none.
// Returns false, with why, when tc failed.
bool SetNetem(const std::string& parameters, std::string& why);

}  // namespace lumivex::test
