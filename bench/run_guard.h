#pragma once
// The whole run's time limit: a benchmark that stops making progress (a
// session that never stops, a decoder that never returns) says where it
// was stuck, ends the sim and exits instead of hanging.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace lumivex::bench {

class RunGuard {
 public:
  explicit RunGuard(std::chrono::seconds bound);
  ~RunGuard();
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

  // What the run does now (a string literal), named when the bound passes.
  void Phase(const char* what) { phase_ = what; }
  // The child to end with the run.
  void Child(pid_t pid) { child_ = pid; }

 private:
  void Watch(std::chrono::seconds bound);

  std::atomic<const char*> phase_{"starting"};
  std::atomic<pid_t> child_{-1};
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace lumivex::bench
