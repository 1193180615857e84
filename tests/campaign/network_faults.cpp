#include "campaign/network_faults.h"

#include <sched.h>
#include <unistd.h>

#include <vector>

#include "support/child_process.h"

namespace lumivex::test {
namespace {

NetworkMechanism chosen = NetworkMechanism::kProxy;

ProcessResult Tool(const std::vector<std::string>& args) {
  return RunProgram("/usr/bin/env", args, std::chrono::seconds(10));
}

}  // namespace

NetworkMechanism ChooseNetworkMechanism(std::string& why) {
  chosen = NetworkMechanism::kProxy;
  if (geteuid() != 0) {
    why = "not root: no network namespace, so no netem; the userspace proxy instead";
    return chosen;
  }
  ProcessResult probe =
      Tool({"unshare", "-n", "sh", "-c", "ip link set lo up && tc qdisc add dev lo root netem delay 1ms"});
  if (probe.exitCode != 0) {
    why = "this kernel has no netem (" + probe.err.substr(0, probe.err.find('\n')) + "); the userspace proxy instead";
    return chosen;
  }
  if (unshare(CLONE_NEWNET) != 0 || Tool({"ip", "link", "set", "lo", "up"}).exitCode != 0) {
    why = "no network namespace of its own for the campaign; the userspace proxy instead";
    return chosen;
  }
  why = "netem on the loopback of the campaign's own network namespace";
  return chosen = NetworkMechanism::kNetem;
}

NetworkMechanism networkMechanism() { return chosen; }

bool SetNetem(const std::string& parameters, std::string& why) {
  std::vector<std::string> args = {"tc", "qdisc", parameters.empty() ? "del" : "replace", "dev", "lo", "root"};
  if (!parameters.empty()) {
    args.push_back("netem");
    for (std::size_t at = 0; at < parameters.size();) {
      std::size_t end = parameters.find(' ', at);
      if (end == std::string::npos) end = parameters.size();
      if (end > at) args.push_back(parameters.substr(at, end - at));
      at = end + 1;
    }
  }
  ProcessResult r = Tool(args);
  why = r.err;
  return r.exitCode == 0;
}

}  // namespace lumivex::test
