#include "stream/session_clock.h"

#include <time.h>

#include <thread>

namespace lumivex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

}  // namespace

int64_t SteadyNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

int64_t ThreadCpuNs() {
  timespec t{};
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0) return 0;
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

bool SleepUnlessStopped(const std::atomic<bool>& stop, std::chrono::milliseconds time) {
  const auto end = Clock::now() + time;
  for (;;) {
    if (stop) return true;
    auto left = end - Clock::now();
    if (left <= 0ms) return false;
    std::this_thread::sleep_for(std::min<Clock::duration>(left, 100ms));
  }
}

void RunFrameClock(std::chrono::milliseconds period, const std::atomic<bool>& stop,
                   const std::function<void(bool late)>& tick) {
  auto next = Clock::now() + period;
  while (!stop) {
    const auto now = Clock::now();
    if (now < next) {
      std::this_thread::sleep_for(std::min<Clock::duration>(next - now, 100ms));
      continue;
    }
    tick(now - next > period);
    next += period;
    if (Clock::now() - next > 1s) next = Clock::now() + period;
  }
}

}  // namespace lumivex
