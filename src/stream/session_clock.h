#pragma once
// The clocks the sessions' counters read.

#include <chrono>
#include <cstdint>

namespace lumivex {

// Nanoseconds of the steady clock, for the sessions' counters.
int64_t SteadyNowNs();
// CPU nanoseconds the calling thread has used, for the sessions' cost counters.
int64_t ThreadCpuNs();

}  // namespace lumivex
