#include "usage.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace lumivex::bench {
namespace {

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// "Name:   1234 kB" lines of /proc/self/status.
bool StatusKib(const std::string& line, const char* name, long& out) {
  const std::string key = std::string(name) + ":";
  if (line.rfind(key, 0) != 0) return false;
  std::istringstream in(line.substr(key.size()));
  long value = 0;
  std::string unit;
  if (!(in >> value >> unit) || unit != "kB" || value < 0) return false;
  out = value;
  return true;
}

}  // namespace

double ProcessCpuSeconds() {
  rusage u{};
  if (getrusage(RUSAGE_SELF, &u) != 0) return 0;
  return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

double ThreadCpuSeconds() {
  timespec t{};
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0) return 0;
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

bool ReadMemoryUse(MemoryUse& out) {
  std::ifstream in("/proc/self/status");
  bool rss = false, peak = false;
  for (std::string line; std::getline(in, line);) {
    rss |= StatusKib(line, "VmRSS", out.rssKib);
    peak |= StatusKib(line, "VmHWM", out.peakKib);
  }
  return rss && peak;
}

bool ProcessCpuSecondsOf(pid_t pid, double& seconds) {
  if (pid <= 0) return false;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return false;
  // The command name in parentheses may hold spaces; the fields follow its last ')'.
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream fields(stat.substr(close + 1));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // Fields 3 (state) to 13, then 14 utime and 15 stime, in clock ticks.
  for (int i = 3; i <= 13; ++i)
    if (!(fields >> field)) return false;
  if (!(fields >> utime >> stime)) return false;
  const long ticks = sysconf(_SC_CLK_TCK);
  if (ticks <= 0) return false;
  seconds = static_cast<double>(utime + stime) / static_cast<double>(ticks);
  return true;
}

double LoadAverage() {
  double load[1];
  return getloadavg(load, 1) == 1 ? load[0] : -1;
}

int ThreadCount() {
  std::error_code error;
  int n = 0;
  for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end; it.increment(error))
    ++n;
  return n;
}

long VoluntarySwitches() {
  rusage usage{};
  return ::getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_nvcsw : -1;
}

}  // namespace lumivex::bench
