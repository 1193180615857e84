// NAT traversal through a real NAT: the client in a network namespace behind
// a masquerading router, the sim's service, traversal server and camera
// outside it. Skipped where namespaces or NAT rules cannot be made.

#include <gtest/gtest.h>
#include <unistd.h>

#include "integration/stream_check.h"

namespace lumivex::test {
namespace {

const std::string kTopology = std::string(LUMIVEX_TEST_DIR) + "/nat_topology.sh";

class Topology {
 public:
  Topology() : suffix_(std::to_string(getpid() % 100000)) {
    ProcessResult r = RunProgram("/bin/bash", {kTopology, "up", suffix_}, std::chrono::seconds(30));
    up_ = r.exitCode == 0;
    error_ = r.err;
  }
  ~Topology() { RunProgram("/bin/bash", {kTopology, "down", suffix_}, std::chrono::seconds(30)); }
  bool up() const { return up_; }
  const std::string& error() const { return error_; }
  std::vector<std::string> In(const char* role) const {
    return {"/usr/bin/env", "ip", "netns", "exec", std::string("lvx") + role + suffix_};
  }

 private:
  std::string suffix_;
  bool up_ = false;
  std::string error_;
};

TEST(NatTraversal, UdtSessionThroughAMasqueradingRouterCarriesVideo) {
  Topology net;
  if (!net.up()) GTEST_SKIP() << "cannot create network namespaces or NAT rules here: " << net.error();

  SimServer sim(R"({
    "accounts": [{"user": "viewer", "password": "secret77", "devices": ["outdoor"]}],
    "devices": [{"sid": "outdoor", "admin": "viewer", "connection": {"status": 4, "transVideoLong": -1}}]
  })",
                SimOptions{false, "10.231.2.2", net.In("o")});
  TempDir home;
  std::vector<std::string> options = {"--home", home.str(), "--host", "10.231.2.2", "--port",
                                      std::to_string(sim.webPort()), "--web-port", std::to_string(sim.webPort()),
                                      "--ca-file", sim.caFile(), "--local-net", "10.231.1.2/255.255.255.0",
                                      "--lan-port", std::to_string(sim.lanPort()), "-u", "viewer", "-p",
                                      "secret77"};
  ConnectRun run = RunConnect(options, "outdoor", 15, net.In("c"));
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err << sim.Log();
  EXPECT_EQ(run.connectionType, 4) << "not the relay: the hole was punched through the NAT";
  ASSERT_GE(run.frames.size(), 15u);
  std::set<std::string> sent = SentFrames(sim, "outdoor");
  for (const std::string& frame : run.frames) EXPECT_EQ(sent.count(frame), 1u) << frame;
  EXPECT_EQ(sim.Refusals(), "");
}

}  // namespace
}  // namespace lumivex::test
