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

}  // namespace lumivex
