#include "sim/stream_clock.h"

#include <chrono>

namespace lumivex::sim {
namespace {

using Clock = std::chrono::steady_clock;

const Clock::time_point kEpoch = Clock::now();

}  // namespace

int32_t StreamClockMs() {
  return static_cast<int32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - kEpoch).count());
}

}  // namespace lumivex::sim
