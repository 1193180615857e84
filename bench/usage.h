#pragma once
// CPU time and memory of this process, of the calling thread, and of another
// process (the sim), as the kernel counts them.

#include <sys/types.h>

namespace lumivex::bench {

// User plus system time of every thread of this process (RUSAGE_SELF).
double ProcessCpuSeconds();
// The calling thread's CPU time (CLOCK_THREAD_CPUTIME_ID).
double ThreadCpuSeconds();

struct MemoryUse {
  long rssKib = 0;   // VmRSS now
  long peakKib = 0;  // VmHWM: the most ever resident
};
// From /proc/self/status; false when it cannot be read.
bool ReadMemoryUse(MemoryUse& out);

// utime + stime of pid from /proc/<pid>/stat; false when it cannot be read.
bool ProcessCpuSecondsOf(pid_t pid, double& seconds);

// The 1-minute load average, or -1.
double LoadAverage();

// Threads of this process now (/proc/self/task).
int ThreadCount();
// Voluntary context switches of every thread so far (getrusage), or -1:
// how often the process went to sleep waiting.
long VoluntarySwitches();

}  // namespace lumivex::bench
