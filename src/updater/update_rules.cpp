#include "updater/update_rules.h"

#include <algorithm>
#include <cmath>

namespace lumivex {

std::string JoinArguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

UpdateCommandLine ParseUpdateCommandLine(std::string_view commandLine) {
  UpdateCommandLine parsed;
  parsed.update = commandLine.find("-u") != std::string_view::npos;
  std::size_t start = std::min(commandLine.find("http://"), commandLine.find("https://"));
  if (start == std::string_view::npos) return parsed;
  std::string_view address = commandLine.substr(start);
  if (address.size() > kMaxUpdateAddress) {
    parsed.kind = UpdateAddress::TooLong;
    return parsed;
  }
  parsed.kind = UpdateAddress::Given;
  parsed.address = std::string(address);
  return parsed;
}

std::optional<int> ProgressPercent(uint64_t received, uint64_t total) {
  if (total == 0) return std::nullopt;
  double percent = std::trunc(static_cast<double>(received) * 100.0 / static_cast<double>(total));
  return static_cast<int>(std::clamp(percent, 0.0, 100.0));
}

int BarFillWidth(int percent) { return percent * (kBarRight - kBarLeft) / 100; }

std::optional<int> ProgressTracker::Update(uint64_t received, uint64_t total) {
  std::optional<int> percent = ProgressPercent(received, total);
  if (!percent || *percent == last_) return std::nullopt;
  last_ = *percent;
  return percent;
}

}  // namespace lumivex
