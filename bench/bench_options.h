#pragma once
// The command line of lumivex_bench_live.

#include <string>
#include <vector>

namespace lumivex::bench {

struct BenchOptions {
  int sessions = 0;
  int width = 0;
  int height = 0;
  int seconds = 10;
  int windowWidth = 480;   // every session's wall window
  int windowHeight = 270;
  bool peerFfmpeg = false;  // --peer ffmpeg
  bool autoQuality = false;
  int reach = 2;  // --reach: the cameras' connection type, 2 LAN, 5 relay, 4 P2P (UDT)
};

// args without the program name; false with the reason in error.
bool ParseBenchOptions(const std::vector<std::string>& args, BenchOptions& out, std::string& error);

inline constexpr char kBenchUsage[] =
    "usage: lumivex_bench_live --sessions N --size WxH [--seconds S] [--window WxH] [--peer ffmpeg] "
    "[--auto-quality] [--reach lan|relay|p2p]";

}  // namespace lumivex::bench
