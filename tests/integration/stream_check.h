#pragma once
// Runs "lumivexctl connect" against a sim and compares what it received with
// what the sim's cameras sent.

#include <set>
#include <string>
#include <vector>

#include "integration/sim_fixture.h"

namespace lumivex::test {

struct ConnectRun {
  int exitCode = -1;
  int connectionType = -1;
  std::vector<std::string> frames;  // "<frameNumber> <bytes> <crc32>"
  std::string out, err;
};

// extraOptions go before the command (e.g. the network for a namespace run);
// launcher runs lumivexctl through another program (e.g. ip netns exec).
ConnectRun RunConnect(const std::vector<std::string>& options, const std::string& sid, int frames,
                      const std::vector<std::string>& launcher = {});

// The frames the sim logged for sid, as "<frameNumber> <bytes> <crc32>".
std::set<std::string> SentFrames(const SimServer& sim, const std::string& sid);

}  // namespace lumivex::test
