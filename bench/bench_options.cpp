#include "bench_options.h"

#include <charconv>

namespace lumivex::bench {
namespace {

// The sim's picture limits; the desktop wall has 64 windows.
constexpr int kMaxSessions = 64;
constexpr int kMinSide = 16, kMaxWidth = 1920, kMaxHeight = 1088;
constexpr int kMaxSeconds = 3600;

// The whole text as a decimal number within [low, high].
bool Number(std::string_view text, int low, int high, int& out) {
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return false;
  out = value;
  return true;
}

bool Size(const std::string& text, int& width, int& height) {
  const auto x = text.find('x');
  if (x == std::string::npos) return false;
  const std::string_view all(text);
  return Number(all.substr(0, x), kMinSide, kMaxWidth, width) &&
         Number(all.substr(x + 1), kMinSide, kMaxHeight, height) && width % 2 == 0 && height % 2 == 0;
}

}  // namespace

bool ParseBenchOptions(const std::vector<std::string>& args, BenchOptions& out, std::string& error) {
  BenchOptions o;
  bool haveSessions = false, haveSize = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--auto-quality") {
      o.autoQuality = true;
      continue;
    }
    if (a != "--sessions" && a != "--size" && a != "--seconds" && a != "--window" && a != "--peer" &&
        a != "--reach") {
      error = "unknown option " + a;
      return false;
    }
    if (i + 1 >= args.size()) {
      error = a + " without a value";
      return false;
    }
    const std::string& value = args[++i];
    if (a == "--sessions") {
      if (!Number(value, 1, kMaxSessions, o.sessions)) {
        error = "--sessions takes 1 to " + std::to_string(kMaxSessions);
        return false;
      }
      haveSessions = true;
    } else if (a == "--size") {
      if (!Size(value, o.width, o.height)) {
        error = "--size takes WxH, even, from 16x16 to 1920x1088";
        return false;
      }
      haveSize = true;
    } else if (a == "--window") {
      if (!Size(value, o.windowWidth, o.windowHeight)) {
        error = "--window takes WxH, even, from 16x16 to 1920x1088";
        return false;
      }
    } else if (a == "--reach") {
      o.reach = value == "lan" ? 2 : value == "relay" ? 5 : value == "p2p" ? 4 : 0;
      if (o.reach == 0) {
        error = "--reach takes lan, relay or p2p";
        return false;
      }
    } else if (a == "--peer") {
      if (value != "ffmpeg") {
        error = "--peer takes ffmpeg";
        return false;
      }
      o.peerFfmpeg = true;
    } else if (!Number(value, 1, kMaxSeconds, o.seconds)) {
      error = "--seconds takes 1 to " + std::to_string(kMaxSeconds);
      return false;
    }
  }
  if (!haveSessions || !haveSize) {
    error = "--sessions and --size are required";
    return false;
  }
  out = o;
  return true;
}

}  // namespace lumivex::bench
