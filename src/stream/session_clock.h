#pragma once
// The two waits every session thread is made of: a sleep that a stop cuts
// short, and the frame clock that ticks once per frame interval. Both look
// at the session's stop flag at least every 100 ms, so a stop joins them
// quickly.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

namespace lumivex {

// Nanoseconds of the steady clock, for the sessions' counters.
int64_t SteadyNowNs();
// CPU nanoseconds the calling thread has used, for the sessions' cost counters.
int64_t ThreadCpuNs();

// true when the stop flag cut the sleep short.
bool SleepUnlessStopped(const std::atomic<bool>& stop, std::chrono::milliseconds time);

// Calls tick(late) once every period until stop is set; late is true when
// the tick comes more than a period after its time. After a stall of more
// than a second the clock starts afresh instead of catching up in a burst.
void RunFrameClock(std::chrono::milliseconds period, const std::atomic<bool>& stop,
                   const std::function<void(bool late)>& tick);

}  // namespace lumivex
