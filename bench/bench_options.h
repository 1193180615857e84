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
};

// args without the program name; false with the reason in error.
bool ParseBenchOptions(const std::vector<std::string>& args, BenchOptions& out, std::string& error);

inline constexpr char kBenchUsage[] = "usage: lumivex_bench_live --sessions N --size WxH [--seconds S]";

}  // namespace lumivex::bench
