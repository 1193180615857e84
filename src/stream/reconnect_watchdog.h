#pragma once
// The reconnect watchdog of a run: one thread that every period runs the
// check of each camera that has one (a failed session starts again). A
// camera adds its check with its first start and removes it when it goes;
// the thread starts with the first check and ends with the last.
//
// Threads: Add and Remove from any thread but a check; mutex_ guards the
// checks, generation_ and the thread, and is held while the checks run, so
// that a Remove returns only when its check runs no more.

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace lumivex {

class ReconnectWatchdog {
 public:
  using Check = std::function<void()>;

  ReconnectWatchdog() = default;
  ~ReconnectWatchdog();
  ReconnectWatchdog(const ReconnectWatchdog&) = delete;
  ReconnectWatchdog& operator=(const ReconnectWatchdog&) = delete;

  // Before the first Add (tests shorten it).
  void SetPeriod(std::chrono::milliseconds period) { period_ = period; }
  // Once per owner; the thread starts with the first.
  void Add(const void* owner, Check check);
  void Remove(const void* owner);

 private:
  void Run(uint64_t generation);
  // The running thread, told to end; join it with the lock released.
  std::thread EndThreadLocked();
  void Join(std::thread& ending);

  std::chrono::milliseconds period_{300000};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::map<const void*, Check> checks_;  // guarded by mutex_
  uint64_t generation_ = 0;              // guarded by mutex_: a thread of another one ends
  std::thread thread_;                   // guarded by mutex_
};

}  // namespace lumivex
