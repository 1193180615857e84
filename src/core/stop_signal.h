#pragma once
// One "stop now" for every wait of a session: the flag that loops check, a
// condition variable that timed waits sleep on, a descriptor that socket
// polls include, and the cancellation of the session's web requests. A
// request wakes all of them at once, so a stop never waits for a time-out.
// Reset makes it ready for the next session, after every waiter has ended.
//
// Threads: Request, requested, Wait* and Notify from any thread; mutex_
// guards nothing of its own but the waits' predicates, so that a Notify
// between a waiter's check and its sleep is not lost. The eventfd is written
// once per request and drained by Reset.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "core/cancellation.h"

namespace lumivex {

class StopSignal {
 public:
  using Clock = std::chrono::steady_clock;

  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  void Request();
  bool requested() const { return flag_.load(); }
  // Only when no thread waits on it any more.
  void Reset();

  // Until the stop, the deadline or done() (checked under the lock, and
  // again after every Notify); true when the stop came.
  bool WaitUntil(Clock::time_point deadline, const std::function<bool()>& done = {});
  bool WaitFor(Clock::duration time, const std::function<bool()>& done = {}) {
    return WaitUntil(Clock::now() + time, done);
  }
  // Wakes the waits to look at their done() again. Change what done()
  // reads before, or under lock().
  void Notify() const;
  std::mutex& mutex() { return mutex_; }

  // Readable from the request until Reset: for poll() beside a socket.
  int fd() const { return eventFd_; }
  // Cancelled by the request; a fresh one after Reset.
  Cancellation cancellation() const;

 private:
  std::atomic<bool> flag_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable wake_;
  Cancellation cancel_;  // guarded by mutex_
  int eventFd_ = -1;
};

}  // namespace lumivex
